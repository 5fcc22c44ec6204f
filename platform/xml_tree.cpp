#include "platform/xml_tree.h"

namespace ferry::xml {

std::string Node::Attr(std::string_view local, std::string_view uri) const {
  for (const Attribute& a : attributes) {
    if (a.name == local && a.ns == uri) return a.value;
  }
  return {};
}

const Node* Node::Child(std::string_view uri, std::string_view local) const {
  for (const Node& c : children) {
    if (c.Is(uri, local)) return &c;
  }
  return nullptr;
}

namespace {
void Collect(const Node& node, std::string& out) {
  if (node.IsText()) {
    out += node.text;
    return;
  }
  for (const Node& c : node.children) Collect(c, out);
}
}  // namespace

std::string Node::AllText() const {
  std::string out;
  Collect(*this, out);
  return out;
}

}  // namespace ferry::xml
