// The console's in-memory copy of the settings: the global record, 51
// connection rows and 251 account rows. Every field is a text of 8-bit
// (Latin-1) characters as the store keeps it; numbers are decimal texts,
// check boxes "0" or "1", a connection's interval in seconds.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace ferry::console {

struct GlobalSettings {
  std::string listenRas;
  std::string bdwDir;
  std::string debugLevel;
  std::string proxyHost;
  std::string proxyPort;
  std::string triggerPort;
  std::string tickerEMail;
  std::string tlsCaFile;
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
  StoreOrigin origin;
};

inline constexpr int kConnectionRows = 51;
inline constexpr int kAccountRows = 251;

using ConnectionTable = std::array<ConnectionRow, kConnectionRows>;
using AccountTable = std::array<AccountRow, kAccountRows>;

struct Tables {
  GlobalSettings global;
  ConnectionTable connections;
  AccountTable accounts;
};

// Start values: "Listen RAS" 1, debug level 4, everything else empty.
void InitTables(Tables& tables);

// Moves the rows after `index` one place up and empties the last row.
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
  std::string readDefault;  // what an absent value reads as
  std::string Row::*field;
  bool zeroWhenEmpty;  // a number: an empty field is saved and shown as "0"
  bool written;        // the save writes it ("Enable KeepAlive" is only read)
};

using AccountValue = ConsoleValue<AccountRow>;
using GlobalValue = ConsoleValue<GlobalSettings>;
using ConnectionValue = ConsoleValue<ConnectionRow>;

std::span<const AccountValue> AccountValues();
std::span<const GlobalValue> GlobalValues();
std::span<const ConnectionValue> ConnectionValues();

}  // namespace ferry::console
