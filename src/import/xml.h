// A whole XML document as a small tree, read by expat with the guards a file from anyone
// needs: no document type declaration (so no entities but the five predefined ones, and
// nothing fetched from outside), a bounded depth, and the caller's size limit.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
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

  // Without its namespace prefix ("mrng:Connections" is "Connections"); names and keys are the
  // caller's own (XmlNames), and a root of a name not among them has an empty one.
  std::string_view name;
  std::vector<std::pair<std::string_view, std::string>> attributes;
  std::string text;  // the character data directly inside, joined
  std::vector<std::unique_ptr<XmlElement>> children;
  const XmlElement* parent = nullptr;

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
// And more elements than this, or a tree of more than kMaxXmlTreeFactor times the document's
// size (with a megabyte to spare for a small one): each element takes over a hundred bytes in
// the tree, so a document of elements of a few bytes each would take twenty times its size
// and more. A server list, with text and layout between its elements, stays far below.
inline constexpr std::size_t kMaxXmlElements = 1'000'000;
inline constexpr std::size_t kMaxXmlTreeFactor = 10;

// The names a reader looks at. The tree leaves out the elements of other names, with all inside
// them, and the attributes of other names: a file can make an element or an attribute of a few
// bytes, and each takes a hundred in the tree. The root element is kept whatever its name. The
// names must outlive the tree: string literals, as the readers' are.
using XmlNames = std::unordered_set<std::string_view>;

// The document's root element, or null with "line N: what" in `error`.
std::unique_ptr<XmlElement> ParseXml(std::string_view bytes, std::string& error, const XmlNames& keep);

}  // namespace korvane::import
