#include <libxml/parser.h>
#include <libxml/tree.h>

#include <climits>
#include <memory>
#include <mutex>

#include "platform/xml_tree.h"

namespace ferry::xml {
namespace {

std::string Chars(const xmlChar* text) { return text != nullptr ? reinterpret_cast<const char*>(text) : ""; }

struct Builder {
  std::size_t nodes = 0;
  bool overflow = false;

  void Fill(const xmlNode* from, Node& to, int depth) {
    to.name = Chars(from->name);
    if (from->ns != nullptr) to.ns = Chars(from->ns->href);
    for (const xmlAttr* a = from->properties; a != nullptr; a = a->next) {
      Node::Attribute attribute;
      attribute.name = Chars(a->name);
      if (a->ns != nullptr) attribute.ns = Chars(a->ns->href);
      xmlChar* value = xmlNodeListGetString(from->doc, a->children, 1);
      attribute.value = Chars(value);
      xmlFree(value);
      to.attributes.push_back(std::move(attribute));
    }
    for (const xmlNode* c = from->children; c != nullptr && !overflow; c = c->next) {
      if (++nodes > kMaxXmlNodes || depth >= kMaxXmlDepth) {
        overflow = true;
        return;
      }
      if (c->type == XML_ELEMENT_NODE) {
        to.children.emplace_back();
        Fill(c, to.children.back(), depth + 1);
      } else if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
        if (!to.children.empty() && to.children.back().IsText()) {
          to.children.back().text += Chars(c->content);
        } else {
          to.children.emplace_back();
          to.children.back().text = Chars(c->content);
        }
      }
    }
  }
};

}  // namespace

bool ParseXml(std::string_view document, Node* root, std::string* error) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { xmlInitParser(); });
  *root = Node{};
  if (document.size() > kMaxXmlBytes || document.size() > static_cast<std::size_t>(INT_MAX)) {
    *error = "document too large";
    return false;
  }
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> doc(
      xmlReadMemory(document.data(), static_cast<int>(document.size()), nullptr, nullptr, options), xmlFreeDoc);
  if (!doc) {
    const xmlError* last = xmlGetLastError();
    *error = last != nullptr && last->message != nullptr ? "not well-formed XML: " + Chars(reinterpret_cast<const xmlChar*>(last->message))
                                                         : "not well-formed XML";
    while (!error->empty() && (error->back() == '\n' || error->back() == ' ')) error->pop_back();
    return false;
  }
  const xmlNode* top = xmlDocGetRootElement(doc.get());
  if (top == nullptr) {
    *error = "no document element";
    return false;
  }
  Builder builder;
  builder.Fill(top, *root, 1);
  if (builder.overflow) {
    *root = Node{};
    *error = "document too deep or too large";
    return false;
  }
  return true;
}

}  // namespace ferry::xml
