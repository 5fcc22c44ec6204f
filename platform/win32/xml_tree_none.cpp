#include "platform/xml_tree.h"

namespace ferry::xml {

bool ParseXml(std::string_view, Node*, std::string* error) {
  *error = "no XML reader on this system";
  return false;
}

}  // namespace ferry::xml
