// The rules a name or a field must meet before the console takes it: the
// limits of the store and of the service, as the settings table gives them.
// Each refusal is a German sentence (Latin-1) that says why.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/model/console_view.h"
#include "schema/registry_schema.h"

namespace ferry::console {

// The longest connection or account name the service can use.
inline constexpr std::size_t kLongestName = schema::kNameWidth - 1;

// Why `name` cannot name a connection or an account; nothing when it can.
std::optional<std::string> NameFault(std::string_view name);

// The sibling that `name` would be in the store (key names ignore letter case).
std::optional<std::string> TakenBy(std::string_view name, const std::vector<std::string>& siblings);

// The longest text the service uses of a text value.
std::size_t TextLimit(const schema::ValueInfo& value);

// Why `text` cannot be stored as `value` (a decimal number in the row's
// range, or a text within the service's width, of Latin-1 characters without
// control characters); nothing when it can.
std::optional<std::string> FieldFault(const schema::ValueInfo& value, std::string_view text);

// The labels of the feed dialog's fields, as messages name them.
inline constexpr const char* kFeedNameLabel = "Name";
inline constexpr const char* kFeedUrlLabel = "URL";
inline constexpr const char* kFeedToLabel = "An";

// The longest feed name the console writes (a key name of the store).
inline constexpr std::size_t kLongestFeedName = 255;

// Why the feed cannot be stored as it is, one sentence per fault, each
// starting with the field's label; empty when it can. `others` are the names
// of the account's other feeds (key names ignore letter case).
std::vector<std::string> FeedFaults(const FeedEntry& feed, const std::vector<std::string>& others);

// The interval as the page shows it: minutes with a decimal comma, "nie (nur
// Trigger)" for a negative number of seconds; a text that is no number as it is.
inline constexpr const char* kNoPeriodicRun = "nie (nur Trigger)";
std::string IntervalText(std::string_view seconds);

// The seconds of a shown interval, or why it is none.
struct IntervalReading {
  std::optional<std::string> seconds;
  std::string fault;
};
IntervalReading IntervalSeconds(std::string_view text);

}  // namespace ferry::console
