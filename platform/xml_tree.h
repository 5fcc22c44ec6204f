// An XML document read whole into a small tree, through what each system
// ships: linux/xml_tree_libxml2.cpp (libxml2), win32/xml_tree_xmllite.cpp
// (XmlLite, bound at run time; a document declaring a single-byte encoding
// other than UTF-8/UTF-16 is converted to UTF-16 before it is read).
//
// Guarantees every implementation keeps:
// - Nothing is fetched from the network (no external DTD or entity), and
//   entities are not expanded beyond the predefined ones and character
//   references (XmlLite refuses a document type declaration outright).
// - Text is UTF-8; adjacent text and CDATA form one text node; whitespace
//   between elements is kept as text; comments and processing instructions
//   are dropped, and so are namespace declarations among the attributes.
// - The tree is bounded: documents over kMaxXmlBytes, deeper than
//   kMaxXmlDepth or with more than kMaxXmlNodes nodes are refused.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ferry::xml {

inline constexpr std::size_t kMaxXmlBytes = 8 * 1024 * 1024;
inline constexpr int kMaxXmlDepth = 64;
inline constexpr std::size_t kMaxXmlNodes = 200000;

struct Node {
  // An element has a local name (and its namespace URI, empty for none); a
  // text node (text and CDATA alike) has an empty name and its text.
  std::string ns;
  std::string name;
  std::string text;
  // Attributes by namespace URI, local name and value.
  struct Attribute {
    std::string ns;
    std::string name;
    std::string value;
  };
  std::vector<Attribute> attributes;
  std::vector<Node> children;

  bool IsText() const { return name.empty(); }
  bool Is(std::string_view uri, std::string_view local) const { return ns == uri && name == local; }
  // The value of the attribute `local` without a namespace (or in `uri`), or "".
  std::string Attr(std::string_view local, std::string_view uri = {}) const;
  // The first child element `local` in `uri`, or nullptr.
  const Node* Child(std::string_view uri, std::string_view local) const;
  // The text of every text node below, in document order.
  std::string AllText() const;
};

// Reads `document` into `root` (its document element). False with English
// words in `error` when it is not well-formed, over a bound, or no reader is
// available on this system.
bool ParseXml(std::string_view document, Node* root, std::string* error);

}  // namespace ferry::xml
