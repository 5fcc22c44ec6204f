// The layout of the settings store shared by the service and the console: key
// paths, value names (current and old), types, field widths and defaults.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ferry::schema {

// ---- Keys (below HKEY_LOCAL_MACHINE) ----
inline constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\Mailferry Service";
inline constexpr const char* kParametersKey = "SYSTEM\\CurrentControlSet\\Services\\Mailferry Service\\Parameters";
inline constexpr const char* kConnectionKeyPattern =
    "SYSTEM\\CurrentControlSet\\Services\\Mailferry Service\\Parameters\\%s";
inline constexpr const char* kAccountKeyPattern =
    "SYSTEM\\CurrentControlSet\\Services\\Mailferry Service\\Parameters\\%s\\%s";
inline constexpr const char* kVolatileKey =
    "SYSTEM\\CurrentControlSet\\Services\\Mailferry Service\\Parameters\\volatile";
inline constexpr const char* kVolatileName = "volatile";
inline constexpr const char* kPermanentConnection = "NORAS";

std::string ConnectionKey(std::string_view connection);
std::string AccountKey(std::string_view connection, std::string_view account);

// ---- Install-time keys ----
inline constexpr const char* kServiceName = "Mailferry Service";
inline constexpr const char* kDisplayName = "POP3 Gateway Dienst";
inline constexpr const char* kEventSourceKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\MailFerry Service";
inline constexpr const char* kMessageFile = "%SystemRoot%\\System32\\MailFerryRes.dll";
inline constexpr const char* kConsoleKey = "Software\\Tarnwick\\MailFerryAdmin";  // below HKEY_CURRENT_USER
inline constexpr const char* kControlPanelKey = "Control Panel\\MMCPL";           // below HKEY_CURRENT_USER

// ---- Value names ----
// Global (Parameters)
inline constexpr const char* kProxyHost = "ProxyHost";
inline constexpr const char* kProxyPort = "ProxyPort";
inline constexpr const char* kBdwDir = "BDWDir";
inline constexpr const char* kCtDir = "CTDir";
inline constexpr const char* kTickerEMail = "TickerEMail";
inline constexpr const char* kCtEMail = "CTEMail";
inline constexpr const char* kDebugLevel = "DebugLevel";
inline constexpr const char* kListenRas = "Listen RAS";
inline constexpr const char* kTriggerPort = "TriggerPort";
// Connection
inline constexpr const char* kTimeout = "Timeout";
inline constexpr const char* kEnableLogging = "Enable Logging";
inline constexpr const char* kLogfile = "Logfile";
inline constexpr const char* kUsingRouter = "using Router";
inline constexpr const char* kDisableMt = "Disable MT";
// Account
inline constexpr const char* kEnableAccount = "Enable Account";
inline constexpr const char* kPopHost = "POP Host";
inline constexpr const char* kPopUser = "POP User";
inline constexpr const char* kPopPassword = "POP Passwort";
inline constexpr const char* kPopDelete = "POP Delete";
inline constexpr const char* kSmtpHost = "SMTP Host";
inline constexpr const char* kSmtpFrom = "SMTP From";
inline constexpr const char* kSmtpTo = "SMTP To";
inline constexpr const char* kAddressmode = "Addressmode";
inline constexpr const char* kAddressmodeTicker = "Addressmode Ticker";
inline constexpr const char* kAddressmodeFrom = "Addressmode From";
inline constexpr const char* kMaxMails = "Max Mails";
inline constexpr const char* kUdpPort = "UDP Port";
inline constexpr const char* kEnableUdp = "Enable UDP";
inline constexpr const char* kEnableFromUdp = "Enable From UDP";
inline constexpr const char* kEnableCommand = "Enable Command";
inline constexpr const char* kCommand = "Command";
inline constexpr const char* kEnableWissenschaft = "Enable Wissenschaft";
inline constexpr const char* kEnableCt = "Enable CT";
inline constexpr const char* kEnableKeepAlive = "Enable KeepAlive";
inline constexpr const char* kInUse = "In Use";
// Volatile
inline constexpr const char* kLastDate = "LastDate";
inline constexpr const char* kLastTitle = "LastTitle";
// Old names, still read and removed at every save
inline constexpr const char* kOldLogEnabled = "LogEnabled";
inline constexpr const char* kOldEMailTo = "EMailTo";
inline constexpr const char* kOldEMailHost = "EMailHost";
inline constexpr const char* kOldEMailFrom = "EMailFrom";
inline constexpr const char* kOldEMailUser = "EMailUser";
inline constexpr const char* kOldEMailPassword = "EMailPasswort";
inline constexpr const char* kOldSmtpHost = "SMTPHost";
inline constexpr const char* kOldEMailDelete = "EMailDelete";
inline constexpr const char* kOldEMailFlags = "EMailFlags";
inline constexpr const char* kOldUdpPort = "UDPPort";
inline constexpr const char* kOldFlags = "Flags";
inline constexpr const char* kOldEnabled = "Enabled";

// ---- Field widths in bytes, terminator included ----
inline constexpr uint32_t kNameWidth = 60;        // connection and account names in a run
inline constexpr uint32_t kShortWidth = 60;       // host names, users, addresses, LastDate
inline constexpr uint32_t kPathWidth = 256;       // Logfile, BDWDir, CTDir
inline constexpr uint32_t kDirReadLimit = 255;    // BDWDir and CTDir are read up to 255 bytes
inline constexpr uint32_t kCommandWidth = 160;
inline constexpr uint32_t kTitleWidth = 160;      // LastTitle
inline constexpr uint32_t kOldShortWidth = 30;    // EMailTo and EMailHost
inline constexpr uint32_t kSlotNameWidth = 30;    // names in a ConnectionRecord slot
inline constexpr uint32_t kRecordNameWidth = 32;  // ConnectionRecord name
inline constexpr int kMaxAccountSlots = 10;
inline constexpr uint32_t kConnectionScanWidth = 200;  // names enumerated by ResetInUseFlags

// ---- Defaults ----
inline constexpr int32_t kDefaultTimeout = -1;
inline constexpr int32_t kDefaultMaxMails = 10;
inline constexpr uint32_t kDefaultListenRas = 1;
inline constexpr uint32_t kDefaultTriggerPort = 2000;

// ---- The value table ----
enum class Scope { Global, Connection, Account, Volatile };
enum class Kind { String, Number };

struct ValueInfo {
  const char* name;
  Scope scope;
  Kind kind;
  uint32_t width;          // string: read limit in bytes; number: 4
  int32_t defaultNumber;   // numbers only
  bool writtenByService;   // SaveSettings writes it back
};

// Every current value of the store, in the order of the tables above.
std::span<const ValueInfo> Values();

struct OldName {
  const char* name;
  const char* replacedBy;  // nullptr: read without effect or never read
  Kind kind;
  uint32_t width;
};

// Old account value names; all are removed at every save.
std::span<const OldName> OldAccountNames();

// Finds a current value by name (letter case ignored) in a scope.
const ValueInfo* FindValue(Scope scope, std::string_view name);

}  // namespace ferry::schema
