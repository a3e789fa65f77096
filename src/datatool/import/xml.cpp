#include "datatool/import/xml.h"
#include "datatool/messages.h"

#include <expat.h>

#include <climits>

namespace korvane::import {

using tool::Format;
using tool::Msg;

const std::string* XmlElement::Attribute(std::string_view key) const {
  for (const auto& [k, v] : attributes) {
    if (k == key) return &v;
  }
  return nullptr;
}

std::string XmlElement::AttributeOr(std::string_view key) const {
  const std::string* value = Attribute(key);
  return value ? *value : std::string();
}

const XmlElement* XmlElement::Child(std::string_view childName) const {
  for (const auto& child : children) {
    if (child->name == childName) return child.get();
  }
  return nullptr;
}

namespace {

struct ParserDeleter {
  void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

struct Builder {
  XML_Parser parser = nullptr;
  std::unique_ptr<XmlElement> root;
  std::vector<XmlElement*> open;
  std::string refusal;
  std::size_t elements = 0;

  void Refuse(std::string why) {
    if (refusal.empty()) refusal = std::move(why);
    XML_StopParser(parser, XML_FALSE);
  }
};

std::string LocalName(const char* name) {
  std::string_view full(name);
  const auto colon = full.rfind(':');
  return std::string(colon == std::string_view::npos ? full : full.substr(colon + 1));
}

void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto& b = *static_cast<Builder*>(data);
  if (b.open.size() >= kMaxXmlDepth) return b.Refuse(Format(Msg::kXmlTooDeep));
  if (++b.elements > kMaxXmlElements) return b.Refuse(Format(Msg::kXmlTooManyElements));
  auto element = std::make_unique<XmlElement>();
  element->name = LocalName(name);
  element->line = XML_GetCurrentLineNumber(b.parser);
  for (const XML_Char** a = attributes; a[0] != nullptr; a += 2) element->attributes.emplace_back(a[0], a[1]);
  XmlElement* raw = element.get();
  if (b.open.empty()) {
    b.root = std::move(element);
  } else {
    element->parent = b.open.back();
    b.open.back()->children.push_back(std::move(element));
  }
  b.open.push_back(raw);
}

void OnEnd(void* data, const XML_Char*) { static_cast<Builder*>(data)->open.pop_back(); }

void OnText(void* data, const XML_Char* text, int length) {
  auto& b = *static_cast<Builder*>(data);
  if (!b.open.empty()) b.open.back()->text.append(text, static_cast<size_t>(length));
}

// Entities are how an XML file makes a parser grow a few bytes into gigabytes or read files
// it was not given; no file of the tools read here has a document type declaration at all.
void OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  static_cast<Builder*>(data)->Refuse(Format(Msg::kXmlDoctype));
}

}  // namespace

std::unique_ptr<XmlElement> ParseXml(std::string_view bytes, std::string& error) {
  if (bytes.size() > static_cast<size_t>(INT_MAX)) {
    error = Format(Msg::kXmlTooLarge);
    return nullptr;
  }
  std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate(nullptr));
  if (!parser) {
    error = Format(Msg::kXmlOutOfMemory);
    return nullptr;
  }
  Builder b;
  b.parser = parser.get();
  XML_SetUserData(b.parser, &b);
  XML_SetElementHandler(b.parser, OnStart, OnEnd);
  XML_SetCharacterDataHandler(b.parser, OnText);
  XML_SetStartDoctypeDeclHandler(b.parser, OnDoctype);
  XML_SetParamEntityParsing(b.parser, XML_PARAM_ENTITY_PARSING_NEVER);
  const bool parsed = XML_Parse(b.parser, bytes.data(), static_cast<int>(bytes.size()), XML_TRUE) == XML_STATUS_OK;
  if (!parsed || !b.root) {
    const std::string what = !b.refusal.empty() ? b.refusal
                             : parsed           ? Format(Msg::kXmlNoElement)
                                                : XML_ErrorString(XML_GetErrorCode(b.parser));
    error = Format(Msg::kXmlLine, XML_GetCurrentLineNumber(b.parser), what);
    return nullptr;
  }
  return std::move(b.root);
}

}  // namespace korvane::import
