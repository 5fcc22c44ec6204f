// The settings reference, written from the settings table: Markdown for
// docs/settings.md and troff for the manual page mailferry2-settings(5).
// Pure functions of the table; the program around them only prints.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "schema/registry_schema.h"

namespace ferry::reference {

// One row's cells as words, shared by both formats.
struct RowText {
  std::string type;     // "REG_DWORD" or "REG_SZ"
  std::string fallback; // the service's default ("" for an empty text)
  std::string range;    // "0..65535", "up to 255 bytes"
  std::string notes;    // console use, who writes it, old name
};
RowText DescribeRow(const schema::ValueInfo& value);

std::string MarkdownReference(std::span<const schema::ValueInfo> values);

// `version` goes into the page's title line.
std::string ManPage(std::span<const schema::ValueInfo> values, std::string_view version);

// Text made safe for a troff line: backslashes as \e, and a line that would
// start with '.' or '\'' (a request) starts with \& instead.
std::string TroffEscape(std::string_view text);

}  // namespace ferry::reference
