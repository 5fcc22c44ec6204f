#include "console/model/field_rules.h"

#include <charconv>
#include <cmath>

#include "console/model/console_view.h"
#include "console/model/text_rules.h"

namespace ferry::console {
namespace {

bool ControlCharacter(char c) {
  auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || c == kNotLatin1;
}

bool HasControlCharacter(std::string_view text) {
  for (char c : text)
    if (ControlCharacter(c)) return true;
  return false;
}

std::optional<int64_t> WholeNumber(std::string_view text) {
  std::string trimmed = Trim(text);
  if (trimmed.empty()) return std::nullopt;
  const char* begin = trimmed.data();
  const char* end = trimmed.data() + trimmed.size();
  if (*begin == '+') ++begin;
  int64_t value = 0;
  auto [stop, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::string Range(const schema::ValueInfo& value) {
  return "eine ganze Zahl von " + std::to_string(value.min) + " bis " + std::to_string(value.max);
}

}  // namespace

std::optional<std::string> NameFault(std::string_view name) {
  if (name.empty()) return "Der Name ist leer.";
  if (Trim(name).empty()) return "Der Name besteht nur aus Leerzeichen.";
  if (name.front() == ' ' || name.back() == ' ')
    return "Der Name darf nicht mit einem Leerzeichen beginnen oder enden.";
  if (name.find('\\') != std::string_view::npos)
    return "Der Name darf keinen umgekehrten Schr\xE4gstrich (\\) enthalten.";
  if (HasControlCharacter(name))
    return "Der Name enth\xE4lt ein Zeichen au\xDF" "erhalb von Latin-1 oder ein Steuerzeichen.";
  if (name.size() > kLongestName)
    return "Der Name ist l\xE4nger als " + std::to_string(kLongestName) + " Zeichen, mehr liest der Dienst nicht.";
  if (SameTextIgnoringCase(name, schema::kVolatileName))
    return std::string("Der Name \"") + schema::kVolatileName + "\" ist f\xFCr den Dienst reserviert.";
  return std::nullopt;
}

std::optional<std::string> TakenBy(std::string_view name, const std::vector<std::string>& siblings) {
  for (const std::string& sibling : siblings)
    if (SameTextIgnoringCase(sibling, name)) return sibling;
  return std::nullopt;
}

std::size_t TextLimit(const schema::ValueInfo& value) {
  std::size_t read = value.readLimit > 0 ? value.readLimit - 1 : 0;
  return value.maxLength < read ? value.maxLength : read;
}

std::optional<std::string> FieldFault(const schema::ValueInfo& value, std::string_view text) {
  if (value.type == schema::Type::Dword) {
    std::optional<int64_t> number = WholeNumber(text);
    if (!number) return "ist keine ganze Zahl; erlaubt ist " + Range(value) + ".";
    if (!schema::InRange(value, *number)) return "liegt au\xDF" "erhalb des Bereichs; erlaubt ist " + Range(value) + ".";
    return std::nullopt;
  }
  if (HasControlCharacter(text))
    return "enth\xE4lt ein Zeichen au\xDF" "erhalb von Latin-1 (etwa das Euro-Zeichen) oder ein Steuerzeichen.";
  if (text.size() > TextLimit(value))
    return "ist " + std::to_string(text.size()) + " Zeichen lang; der Dienst liest h\xF6" "chstens " +
           std::to_string(TextLimit(value)) + ".";
  return std::nullopt;
}

std::vector<std::string> FeedFaults(const FeedEntry& feed, const std::vector<std::string>& others) {
  std::vector<std::string> faults;
  auto fault = [&faults](const char* label, const std::string& why) {
    faults.push_back(std::string("\"") + label + "\" " + why);
  };
  const std::string name = Trim(feed.name);
  if (name.empty()) {
    fault(kFeedNameLabel, "ist leer.");
  } else if (feed.name.find('\\') != std::string::npos) {
    fault(kFeedNameLabel, "enth\xE4lt einen umgekehrten Schr\xE4gstrich (\\).");
  } else if (HasControlCharacter(feed.name)) {
    fault(kFeedNameLabel, "enth\xE4lt ein Zeichen au\xDF" "erhalb von Latin-1 oder ein Steuerzeichen.");
  } else if (name != feed.name) {
    fault(kFeedNameLabel, "darf nicht mit einem Leerzeichen beginnen oder enden.");
  } else if (feed.name.size() > kLongestFeedName) {
    fault(kFeedNameLabel, "ist l\xE4nger als " + std::to_string(kLongestFeedName) + " Zeichen.");
  } else if (auto taken = TakenBy(feed.name, others)) {
    fault(kFeedNameLabel, "hat schon der Newsfeed \"" + *taken +
                              "\" dieses Accounts (gro\xDF" "e und kleine Buchstaben z\xE4hlen als gleich).");
  }

  const std::string url = Trim(feed.url);
  auto startsWith = [&url](std::string_view scheme) {
    return url.size() > scheme.size() && SameTextIgnoringCase(url.substr(0, scheme.size()), scheme);
  };
  const bool web = startsWith("http://") || startsWith("https://");
  if (auto bad = FieldFault(*schema::FindValue(schema::Level::Feed, schema::kFeedUrl), feed.url)) {
    fault(kFeedUrlLabel, *bad);
  } else if (!web) {
    fault(kFeedUrlLabel, "muss mit http:// oder https:// und einem Rechnernamen beginnen.");
  } else if (url.find(' ') != std::string::npos) {
    fault(kFeedUrlLabel, "enth\xE4lt ein Leerzeichen; in einer Adresse steht es als %20.");
  }

  const std::string to = Trim(feed.to);
  if (auto bad = FieldFault(*schema::FindValue(schema::Level::Feed, schema::kFeedTo), feed.to)) {
    fault(kFeedToLabel, *bad);
  } else if (to.empty()) {
    fault(kFeedToLabel, "ist leer; die Meldungen des Newsfeeds brauchen einen Empf\xE4nger.");
  } else if (to.find(' ') != std::string::npos) {
    fault(kFeedToLabel, "enth\xE4lt ein Leerzeichen; erwartet ist eine Adresse wie name@firma.de.");
  }
  return faults;
}

std::string IntervalText(std::string_view seconds) {
  std::optional<int64_t> number = WholeNumber(seconds);
  if (!number) return std::string(seconds);
  if (*number < 0) return kNoPeriodicRun;
  std::string minutes = FormatDecimal(static_cast<double>(*number) / 60);
  for (char& c : minutes)
    if (c == '.') c = ',';
  return minutes;
}

IntervalReading IntervalSeconds(std::string_view text) {
  std::string trimmed = Trim(text);
  if (SameTextIgnoringCase(trimmed, kNoPeriodicRun) || SameTextIgnoringCase(trimmed, "nie")) return {"-1", {}};
  for (char& c : trimmed)
    if (c == ',') c = '.';
  std::optional<double> minutes = ParseDecimal(trimmed);
  const std::string allowed =
      std::string("erlaubt sind Minuten ab 0 (auch mit Komma) oder \"") + kNoPeriodicRun + "\".";
  if (!minutes) return {std::nullopt, "ist keine Zahl; " + allowed};
  double seconds = *minutes * 60;
  if (seconds < 0 || seconds > static_cast<double>(INT32_MAX)) return {std::nullopt, "liegt au\xDF" "erhalb des Bereichs; " + allowed};
  double whole = std::round(seconds);
  if (std::fabs(seconds - whole) > 1e-6) return {std::nullopt, "ergibt keine ganzen Sekunden."};
  return {std::to_string(static_cast<int64_t>(whole)), {}};
}

}  // namespace ferry::console
