// Pure text rules of the console: trimming, name comparison, letter case,
// decimal numbers and system texts. Texts are Latin-1 bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ferry::console {

// The text up to, not including, its first NUL (all of it without one), with
// leading and trailing blanks removed.
std::string StripNull(std::string_view text);

// The text without leading and trailing blanks.
std::string Trim(std::string_view text);

// Equal without regard to letter case (Latin-1 letters included).
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

// The text in capital letters (Latin-1 letters included).
std::string UpperCase(std::string_view text);

// Parses a plain decimal number with '.' as the separator.
std::optional<double> ParseDecimal(std::string_view text);

// A text of the system (a library's error) as Latin-1: valid UTF-8 is
// decoded, a character beyond Latin-1 becomes '?'; any other text is taken as
// Latin-1 already.
std::string Latin1FromSystem(std::string_view text);

// The shortest decimal text of a number (six places at most, '.' separator).
std::string FormatDecimal(double value);

}  // namespace ferry::console
