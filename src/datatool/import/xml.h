// A whole XML document as a small tree, read by expat with the guards a file from anyone
// needs: no document type declaration (so no entities but the five predefined ones, and
// nothing fetched from outside), a bounded depth, and the caller's size limit.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane::import {

// A tree may hold passwords in clear (RDCMan keeps some so): its texts and attribute values are
// wiped when it goes.
struct XmlElement {
  XmlElement() = default;
  XmlElement(const XmlElement&) = delete;
  XmlElement& operator=(const XmlElement&) = delete;
  ~XmlElement();

  std::string name;  // without its namespace prefix: "mrng:Connections" is "Connections"
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;  // the character data directly inside, joined
  std::vector<std::unique_ptr<XmlElement>> children;
  const XmlElement* parent = nullptr;
  unsigned long line = 0;

  // The attribute's value; null when there is none.
  const std::string* Attribute(std::string_view key) const;
  // The attribute's value, or an empty text.
  std::string_view AttributeOr(std::string_view key) const;
  // The first child of that name; null when there is none.
  const XmlElement* Child(std::string_view childName) const;
};

// Elements nested deeper than this make the document refused: the readers walk the tree
// recursively, and no server list needs a hundredth of it.
inline constexpr std::size_t kMaxXmlDepth = 256;
// And more elements than this: a tree of small ones takes far more memory than its text.
inline constexpr std::size_t kMaxXmlElements = 1'000'000;

// The document's root element, or null with "line N: what" in `error`.
std::unique_ptr<XmlElement> ParseXml(std::string_view bytes, std::string& error);

}  // namespace korvane::import
