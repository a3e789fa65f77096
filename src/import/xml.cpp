#include "import/xml.h"
#include "import/import_text.h"

#include <expat.h>
#include <mbedtls/platform_util.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "import/text.h"

namespace korvane::import {


XmlElement::~XmlElement() {
  WipeText(text);
  for (auto& [key, value] : attributes) WipeText(value);
}

const std::string* XmlElement::Attribute(std::string_view key) const {
  for (const auto& [k, v] : attributes) {
    if (k == key) return &v;
  }
  return nullptr;
}

std::string_view XmlElement::AttributeOr(std::string_view key) const {
  const std::string* value = Attribute(key);
  return value ? std::string_view(*value) : std::string_view();
}

const XmlElement* XmlElement::Child(std::string_view childName) const {
  for (const auto& child : children) {
    if (child->name == childName) return child.get();
  }
  return nullptr;
}

namespace {

// Expat's own memory holds the document's text while it parses, passwords too.
const XML_Memory_Handling_Suite kWipingMemory = {WipingAllocate, WipingReallocate, WipingFree};

struct ParserDeleter {
  void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

struct Builder {
  XML_Parser parser = nullptr;
  std::unique_ptr<XmlElement> root;
  std::vector<XmlElement*> open;
  std::string refusal;
  std::size_t elements = 0;
  const XmlNames* keep = nullptr;

  // The caller's own name equal to `name`, or nullopt when it is none of them.
  std::optional<std::string_view> Kept(std::string_view name) const {
    const auto it = keep->find(name);
    return it == keep->end() ? std::nullopt : std::optional(*it);
  }
  std::size_t leftOut = 0;  // how deep inside an element left out the parser is
  std::size_t size = 0, budget = 0;  // what the tree takes in memory, near enough, and may take

  // False after refusing the document: the tree would grow beyond its budget.
  bool Take(std::size_t bytes) {
    size += bytes;
    if (size <= budget) return true;
    Refuse(Format(Msg::kXmlTooManyElements));
    return false;
  }

  void Refuse(std::string why) {
    if (refusal.empty()) refusal = std::move(why);
    XML_StopParser(parser, XML_FALSE);
  }
};

std::string_view LocalName(const char* name) {
  std::string_view full(name);
  const auto colon = full.rfind(':');
  return colon == std::string_view::npos ? full : full.substr(colon + 1);
}

void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto& b = *static_cast<Builder*>(data);
  if (b.open.size() + b.leftOut >= kMaxXmlDepth) return b.Refuse(Format(Msg::kXmlTooDeep));
  if (++b.elements > kMaxXmlElements) return b.Refuse(Format(Msg::kXmlTooManyElements));
  const auto kept = b.Kept(LocalName(name));
  if (b.leftOut > 0 || (!b.open.empty() && !kept)) {
    ++b.leftOut;
    return;
  }
  // The element, its allocation's overhead and its place among its parent's children.
  std::size_t bytes = sizeof(XmlElement) + 2 * sizeof(void*);
  std::size_t count = 0;
  for (const XML_Char** a = attributes; a[0] != nullptr; a += 2) {
    if (!b.Kept(a[0])) continue;
    ++count;
    bytes += sizeof(std::pair<std::string_view, std::string>) + std::strlen(a[1]);
  }
  if (!b.Take(bytes)) return;
  auto element = std::make_unique<XmlElement>();
  element->name = kept.value_or(std::string_view());
  element->attributes.reserve(count);  // never moved, so no copy of a value is left behind
  for (const XML_Char** a = attributes; a[0] != nullptr; a += 2) {
    if (const auto key = b.Kept(a[0])) element->attributes.emplace_back(*key, a[1]);
  }
  XmlElement* raw = element.get();
  if (b.open.empty()) {
    b.root = std::move(element);
  } else {
    element->parent = b.open.back();
    b.open.back()->children.push_back(std::move(element));
  }
  b.open.push_back(raw);
}

void OnEnd(void* data, const XML_Char*) {
  auto& b = *static_cast<Builder*>(data);
  if (b.leftOut > 0) {
    --b.leftOut;
  } else {
    b.open.pop_back();
  }
}

void OnText(void* data, const XML_Char* text, int length) {
  auto& b = *static_cast<Builder*>(data);
  if (b.open.empty() || b.leftOut > 0) return;
  std::string& own = b.open.back()->text;
  const auto size = static_cast<std::size_t>(length);
  if (!b.Take(size)) return;
  // Expat hands a text over in pieces (at each line break and reference): a text that outgrows
  // its room moves by hand, so that the room it leaves is wiped.
  if (own.size() + size > own.capacity()) {
    std::string larger;
    larger.reserve(std::max(2 * own.capacity(), own.size() + size));
    larger = own;
    WipeText(own);
    own.swap(larger);
  }
  own.append(text, size);
}

// Entities are how an XML file makes a parser grow a few bytes into gigabytes or read files
// it was not given; no file of the tools read here has a document type declaration at all.
void OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  static_cast<Builder*>(data)->Refuse(Format(Msg::kXmlDoctype));
}

}  // namespace

std::unique_ptr<XmlElement> ParseXml(std::string_view bytes, std::string& error, const XmlNames& keep) {
  if (bytes.size() > static_cast<size_t>(INT_MAX)) {
    error = Format(Msg::kXmlTooLarge);
    return nullptr;
  }
  std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate_MM(nullptr, &kWipingMemory, nullptr));
  if (!parser) {
    error = Format(Msg::kXmlOutOfMemory);
    return nullptr;
  }
  Builder b;
  b.parser = parser.get();
  b.keep = &keep;
  b.budget = kMaxXmlTreeFactor * bytes.size() + (1u << 20);
  XML_SetUserData(b.parser, &b);
  XML_SetElementHandler(b.parser, OnStart, OnEnd);
  XML_SetCharacterDataHandler(b.parser, OnText);
  XML_SetStartDoctypeDeclHandler(b.parser, OnDoctype);
  XML_SetParamEntityParsing(b.parser, XML_PARAM_ENTITY_PARSING_NEVER);
  // In pieces: given the whole document at once, expat would copy all of it into a buffer of
  // its own first.
  constexpr std::size_t kPiece = 64 << 10;
  bool parsed;
  std::size_t at = 0;
  do {
    const std::size_t size = std::min(kPiece, bytes.size() - at);
    const bool last = at + size == bytes.size();
    parsed = XML_Parse(b.parser, bytes.data() + at, static_cast<int>(size), last) == XML_STATUS_OK;
    at += size;
  } while (parsed && at < bytes.size());
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
