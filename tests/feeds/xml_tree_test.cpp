// The XML tree of the platform seam gives the same tree on every system:
// names and namespaces, attributes, text joined across CDATA and references,
// declared single-byte encodings, and the same bounds.
#include <gtest/gtest.h>

#include <string>

#include "platform/xml_tree.h"

namespace ferry::xml {
namespace {

// {ns}name @{ns}attr=value ( children ), text in quotes.
std::string Shape(const Node& node) {
  if (node.IsText()) return "\"" + node.text + "\"";
  std::string out = (node.ns.empty() ? "" : "{" + node.ns + "}") + node.name;
  for (const Node::Attribute& a : node.attributes) {
    out += " @" + (a.ns.empty() ? "" : "{" + a.ns + "}") + a.name + "=" + a.value;
  }
  if (!node.children.empty()) {
    out += " (";
    for (const Node& c : node.children) out += " " + Shape(c);
    out += " )";
  }
  return out;
}

std::string Nested(int depth) {
  std::string s;
  for (int i = 0; i < depth; ++i) s += "<e>";
  for (int i = 0; i < depth; ++i) s += "</e>";
  return s;
}

TEST(XmlTree, ReadsTheSameTreeOnEverySystem) {
  struct Case {
    const char* name;
    std::string document;
    const char* shape;
  };
  const Case cases[] = {
      {"namespaces, attributes, joined text, whitespace kept",
       "<?xml version=\"1.0\"?>\n<!-- before -->\n<a:r xmlns:a=\"urn:a\" xmlns=\"urn:d\" a:x=\"1\" y='2 &amp; 3'>"
       "<b>t<![CDATA[<c>]]>&amp;&#252;<!-- c -->!</b> <?pi x?><c xml:lang=\"de\"/></a:r>\n<!-- after -->",
       "{urn:a}r @{urn:a}x=1 @y=2 & 3 ( {urn:d}b ( \"t<c>&\xC3\xBC!\" ) \" \" "
       "{urn:d}c @{http://www.w3.org/XML/1998/namespace}lang=de )"},
      {"ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><t a=\"\xE4\">Gr\xFCne</t>",
       "t @a=\xC3\xA4 ( \"Gr\xC3\xBCne\" )"},
      {"windows-1252", "<?xml version='1.0' encoding='windows-1252'?><t>\x80 5</t>", "t ( \"\xE2\x82\xAC 5\" )"},
      {"UTF-8 with byte order mark", "\xEF\xBB\xBF<t>\xE2\x82\xAC</t>", "t ( \"\xE2\x82\xAC\" )"},
      {"deepest allowed", Nested(kMaxXmlDepth), nullptr},
  };
  for (const Case& c : cases) {
    Node root;
    std::string error;
    ASSERT_TRUE(ParseXml(c.document, &root, &error)) << c.name << ": " << error;
    if (c.shape != nullptr) {
      EXPECT_EQ(Shape(root), c.shape) << c.name;
    }
  }
}

TEST(XmlTree, RefusesWhatIsNotWellFormedOrOverABound) {
  std::string manyNodes = "<r>";
  for (std::size_t i = 0; i <= kMaxXmlNodes; ++i) manyNodes += "<a/>";
  manyNodes += "</r>";
  struct Case {
    const char* name;
    std::string document;
  };
  const Case cases[] = {
      {"unclosed element", "<r><a></r>"},
      {"two document elements", "<r/><s/>"},
      {"ends inside an element", "<?xml version=\"1.0\"?><r><a>text"},
      {"nothing but a declaration", "<?xml version=\"1.0\"?>"},
      {"no document element", "<?xml version=\"1.0\"?>\n<!-- c -->"},
      {"one level too deep", Nested(kMaxXmlDepth + 1)},
      {"one node too many", manyNodes},
      {"too many bytes", "<r>" + std::string(kMaxXmlBytes, 'x') + "</r>"},
  };
  for (const Case& c : cases) {
    Node root;
    root.name = "stale";
    std::string error;
    EXPECT_FALSE(ParseXml(c.document, &root, &error)) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
    EXPECT_TRUE(root.name.empty() && root.children.empty()) << c.name;
  }
}

TEST(XmlTree, NeverReadsOrExpandsADeclaredEntity) {
  // A reader may refuse the document type declaration or keep it unused; it
  // never reads the file or repeats the entity.
  const std::string documents[] = {
      "<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/hostname\">]><r>[&x;]</r>",
      "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><r>[&b;]</r>",
  };
  for (const std::string& document : documents) {
    Node root;
    std::string error;
    if (ParseXml(document, &root, &error)) {
      EXPECT_EQ(root.AllText(), "[]") << document;
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}

}  // namespace
}  // namespace ferry::xml
