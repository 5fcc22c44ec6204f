// The console's in-memory copy of the settings: the global record, one row
// per connection and one per account, as many as the store holds. Every field
// is a text of 8-bit (Latin-1) characters as the store keeps it; numbers are
// decimal texts, check boxes "0" or "1", a connection's interval in seconds.
//
// Each record also knows which of its values the person edited (or a command
// filled in on their behalf): a save writes only those, so a read followed by
// a save leaves the store as it was.
#pragma once

#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "console/model/console_view.h"

namespace ferry::schema {
struct ValueInfo;
}

namespace ferry::console {

// The names of the values edited since the last read or save.
using Edited = std::set<std::string>;

struct GlobalSettings {
  std::string listenRas;
  std::string bdwDir;
  std::string debugLevel;
  std::string proxyHost;
  std::string proxyPort;
  std::string triggerPort;
  std::string tickerEMail;
  std::string tlsCaFile;
  Edited edited;
};

// Where a row's values were read from. A save carries the values the console
// does not edit from that key to the row's key, also when the row was renamed
// or copied. Empty for rows made in the console.
struct StoreOrigin {
  std::string connection;
  std::string account;
  bool empty() const { return connection.empty(); }
};

struct ConnectionRow {
  std::string name;
  std::string enableLogging;
  std::string timeOut;  // seconds
  StoreOrigin origin;   // account stays empty
  Edited edited;
  bool made = false;  // made by "Neue Verbindung": its key is written even without values
};

// A news feed of an account. `origin` is the name its key had when it was
// read or last saved (empty for a feed added since): a save moves that key's
// other values along when the feed was renamed.
struct FeedRow : FeedEntry {
  std::string origin;
};

struct AccountRow {
  std::string connection;
  std::string name;
  std::string addressmode;
  std::string addressmodeTicker;
  std::string command;
  std::string enableCommand;
  std::string enableAccount;
  std::string enableUdp;
  std::string enableKeepAlive;
  std::string enableFromUdp;
  std::string enableWissenschaft;
  std::string logFile;
  std::string maxMails;
  std::string popDelete;
  std::string popHost;
  std::string popPasswort;
  std::string popUser;
  std::string smtpFrom;
  std::string smtpHost;
  std::string smtpTo;
  std::string udpPort;
  std::string popSecurity;
  std::string popPort;
  std::string smtpSecurity;
  std::string smtpPort;
  std::string smtpUser;
  std::string smtpPasswort;
  std::string tlsCaFile;
  std::string popAuth;
  std::string smtpAuth;
  std::string oauthTokenUrl;
  std::string oauthDeviceUrl;
  std::string oauthAuthorizeUrl;
  std::string oauthClientId;
  std::string oauthClientSecret;
  std::string oauthScope;
  std::string enableFeeds;
  std::string feedInterval;  // minutes
  // The subkeys of "Feeds"; changing the list puts schema::kFeedsSubkey into
  // `edited`, and a save then writes the list as it stands.
  std::vector<FeedRow> feeds;
  StoreOrigin origin;
  Edited edited;
};

using ConnectionTable = std::vector<ConnectionRow>;
using AccountTable = std::vector<AccountRow>;

struct Tables {
  GlobalSettings global;
  ConnectionTable connections;
  AccountTable accounts;
};

// Start values: the service's defaults of the global values, no rows.
void InitTables(Tables& tables);

// Removes the row at `index` (the rows after it move one place up).
void DeleteConnection(ConnectionTable& table, int index);
void DeleteAccount(AccountTable& table, int index);

// ---- The values the console reads, shows and writes ----
// Generated from the settings table: every value the console shows, at its
// key level, in the table's order. Each is bound to the field that holds it.
enum class ValueType : int32_t { Text = 1, Number = 4 };

template <class Row>
struct ConsoleValue {
  const char* name;  // the table's spelling
  ValueType type;
  std::string readDefault;  // what an absent value reads as: the service's default
  std::string Row::*field;
  bool written;  // the save writes it ("Enable KeepAlive" is only read)
  const schema::ValueInfo* info;  // the value's row of the settings table
};

using AccountValue = ConsoleValue<AccountRow>;
using GlobalValue = ConsoleValue<GlobalSettings>;
using ConnectionValue = ConsoleValue<ConnectionRow>;

std::span<const AccountValue> AccountValues();
std::span<const GlobalValue> GlobalValues();
std::span<const ConnectionValue> ConnectionValues();

}  // namespace ferry::console
