// settings_reference: prints the settings reference written from the settings
// table, as Markdown (docs/settings.md) or as the manual page
// mailferry2-settings(5).
//
//   settings_reference --markdown
//   settings_reference --man VERSION
#include <iostream>
#include <string_view>

#include "schema/registry_schema.h"
#include "tools/settings_reference/settings_reference.h"

int main(int argc, char** argv) {
  const std::string_view format = argc >= 2 ? argv[1] : "";
  if (argc == 2 && format == "--markdown") {
    std::cout << ferry::reference::MarkdownReference(ferry::schema::Values());
  } else if (argc == 3 && format == "--man") {
    std::cout << ferry::reference::ManPage(ferry::schema::Values(), argv[2]);
  } else {
    std::cerr << "usage: settings_reference --markdown | --man VERSION\n";
    return 2;
  }
  std::cout.flush();
  return std::cout ? 0 : 1;
}
