// The layout of the settings store shared by the service, the console and
// ferryreg: key paths, and the one table of every value (name, key level,
// stored type, widths, defaults, valid range, who shows and who writes it, old
// names, meaning). Everything that lists values iterates this table.
#pragma once

#include <cstdint>
#include <optional>
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
// Below an account: one subkey per news feed, named by the user.
inline constexpr const char* kFeedsSubkey = "Feeds";
inline constexpr const char* kPermanentConnection = "NORAS";

std::string ConnectionKey(std::string_view connection);
std::string AccountKey(std::string_view connection, std::string_view account);
// The key of a feed: the account key, "Feeds" and the feed's name.
std::string FeedKey(std::string_view connection, std::string_view account, std::string_view feed);

// ---- Install-time keys ----
inline constexpr const char* kServiceName = "Mailferry Service";
inline constexpr const char* kDisplayName = "POP3 Gateway Dienst";
inline constexpr const char* kEventSourceKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\MailFerry Service";
inline constexpr const char* kMessageFile = "%SystemRoot%\\System32\\MailFerryRes.dll";
inline constexpr const char* kConsoleKey = "Software\\Tarnwick\\MailFerryAdmin";  // below HKEY_CURRENT_USER
inline constexpr const char* kControlPanelKey = "Control Panel\\MMCPL";           // below HKEY_CURRENT_USER

// ---- Value names (the table below gives each its row) ----
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
inline constexpr const char* kMaxParallel = "Max Parallel";
inline constexpr const char* kTriggerHosts = "Trigger Hosts";
inline constexpr const char* kCommandTimeout = "Command Timeout";
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
inline constexpr const char* kEnableFeeds = "Enable Feeds";
inline constexpr const char* kFeedInterval = "Feed Interval";
inline constexpr const char* kFeedUrl = "URL";
inline constexpr const char* kFeedTo = "To";
inline constexpr const char* kEnableCt = "Enable CT";
inline constexpr const char* kEnableKeepAlive = "Enable KeepAlive";
inline constexpr const char* kInUse = "In Use";
// Account: the last run, written by the service at its end ("mailferry2 -status")
inline constexpr const char* kLastRun = "Last Run";
inline constexpr const char* kLastOutcome = "Last Outcome";
inline constexpr const char* kLastForwarded = "Last Forwarded";
inline constexpr const char* kLastLeft = "Last Left";
inline constexpr const char* kLastError = "Last Error";
inline constexpr const char* kKeepDays = "Keep Days";
// Volatile
inline constexpr const char* kLastDate = "LastDate";
inline constexpr const char* kLastTitle = "LastTitle";
// Transfer limits: the deadlines of the mail dialogues (global, seconds) and
// the largest message an account fetches.
inline constexpr const char* kSmtpReplyTimeout = "SMTP Reply Timeout";
inline constexpr const char* kSmtpDataTimeout = "SMTP Data Timeout";
inline constexpr const char* kSmtpBlockTimeout = "SMTP Block Timeout";
inline constexpr const char* kSmtpDataEndTimeout = "SMTP Data End Timeout";
inline constexpr const char* kPop3ReplyTimeout = "POP3 Reply Timeout";
inline constexpr const char* kReceiveIdleTimeout = "Receive Idle Timeout";
inline constexpr const char* kSlowTransferWindow = "Slow Transfer Window";
inline constexpr const char* kSendTimeout = "Send Timeout";
inline constexpr const char* kMaxSize = "Max Size";
// Envelopes: the recipients of a shared mailbox, and the gateway's EHLO name.
inline constexpr const char* kLocalDomains = "Local Domains";
inline constexpr const char* kEnvelopeHeader = "Envelope Header";
inline constexpr const char* kHeloName = "HELO Name";
// TLS and the SMTP login: the security mode and port of each side (account),
// the SMTP login, and a private CA's certificates (global and account).
inline constexpr const char* kPopSecurity = "POP Security";
inline constexpr const char* kSmtpSecurity = "SMTP Security";
inline constexpr const char* kPopPort = "POP Port";
inline constexpr const char* kSmtpPort = "SMTP Port";
inline constexpr const char* kSmtpUser = "SMTP User";
inline constexpr const char* kSmtpPassword = "SMTP Passwort";
inline constexpr const char* kTlsCaFile = "TLS CA File";
// OAuth 2.0 sign-in (account): the login mechanism of each side, the
// authorization server and the client registered there, and the tokens the
// service keeps.
inline constexpr const char* kPopAuth = "POP Auth";
inline constexpr const char* kSmtpAuth = "SMTP Auth";
inline constexpr const char* kOAuthTokenUrl = "OAuth Token URL";
inline constexpr const char* kOAuthDeviceUrl = "OAuth Device URL";
inline constexpr const char* kOAuthAuthorizeUrl = "OAuth Authorize URL";
inline constexpr const char* kOAuthClientId = "OAuth Client ID";
inline constexpr const char* kOAuthClientSecret = "OAuth Client Secret";
inline constexpr const char* kOAuthScope = "OAuth Scope";
inline constexpr const char* kOAuthRefreshToken = "OAuth Refresh Token";
inline constexpr const char* kOAuthAccessToken = "OAuth Access Token";
inline constexpr const char* kOAuthAccessExpiry = "OAuth Access Expiry";

// ---- Field widths of the service's reads, in bytes, terminator included ----
inline constexpr uint32_t kNameWidth = 60;        // connection and account names in a run
inline constexpr uint32_t kShortWidth = 60;       // host names, users, addresses, LastDate
inline constexpr uint32_t kPathWidth = 256;       // Logfile, BDWDir, CTDir
inline constexpr uint32_t kDirReadLimit = 255;    // BDWDir and CTDir are read up to 255 bytes
inline constexpr uint32_t kCommandWidth = 160;
inline constexpr uint32_t kTitleWidth = 160;      // LastTitle
inline constexpr uint32_t kOldShortWidth = 30;    // EMailTo and EMailHost
inline constexpr uint32_t kNameScanWidth = 200;  // connection and account names the scheduler reads
inline constexpr uint32_t kConnectionScanWidth = 200;  // names enumerated by ResetInUseFlags

// ---- The value table ----
// The key a value lives in.
// Feed: one subkey per news feed below the account's "Feeds" subkey.
enum class Level { Global, Connection, Account, Volatile, Feed };
// How the value is stored: REG_SZ text or REG_DWORD number.
enum class Type { String, Dword };
// What the console does with a value.
enum class ConsoleUse { Hidden, ReadOnly, Edits };

struct ValueInfo {
  const char* name;
  Level level;
  Type type;
  // Strings: the field widths of earlier versions (terminator included; kept
  // for reference, they cut nothing) and the longest text a writer may store,
  // which is also how much of a stored text the service uses: a text is read
  // whole up to `maxLength`, a longer one not at all. Numbers: 4 and 0.
  uint32_t readLimit = 4;
  uint32_t width = 4;
  uint32_t maxLength = 0;
  // The service's default: a number for Dword values, a text for String values.
  int64_t defaultNumber = 0;
  const char* defaultText = "";
  // Numbers: the valid range for writers (the value is read as a signed 32-bit
  // number when `min` is negative, as unsigned otherwise).
  int64_t min = 0;
  int64_t max = 0;
  ConsoleUse console = ConsoleUse::Hidden;
  // What the console shows for an absent value, where it differs from the
  // service's default (nullptr: the service's default).
  const char* consoleDefault = nullptr;
  // "-create" adds it when missing (a run writes back only what it owns).
  bool serviceWrites = false;
  // Run or ticker state: only the service changes it; other writers leave it.
  bool serviceOwned = false;
  // The name this value had before; read first, and moved to the current
  // name (unless that is stored) when a run reads it and by "-create".
  const char* oldName = nullptr;
  uint32_t oldReadLimit = 0;
  // One line for the settings reference.
  const char* meaning = "";
  // A credential: exports show it masked unless asked otherwise, logs never.
  bool secret = false;
};

// Every current value of the store: global, connection, account, volatile.
std::span<const ValueInfo> Values();

// Finds a current value by name (letter case ignored) at a key level.
const ValueInfo* FindValue(Level level, std::string_view name);

// Old names that no value replaces: removed from an account at every save
// ("Flags" is read there without effect, "Enabled" never read); the old
// connection name "LogEnabled" may stand in an account key too.
std::span<const char* const> RetiredAccountNames();
inline constexpr const char* kOldFlags = "Flags";

// Every old name an account key may hold (the renamed and the retired ones).
std::span<const char* const> OldAccountNames();

// The level of a key path below HKEY_LOCAL_MACHINE, when it lies in the
// Parameters tree (letter case ignored); nothing for any other key.
std::optional<Level> LevelOfKey(std::string_view path);

// Whether a number lies in the row's range, and the row's type and range as
// words for messages ("REG_DWORD 0..65535", "REG_SZ of at most 255 bytes").
bool InRange(const ValueInfo& value, int64_t number);
std::string Describe(const ValueInfo& value);

// The console's text of an absent value: its console default, else the
// service's default ("0" for numbers, "" for texts).
std::string ReadDefaultText(const ValueInfo& value);

}  // namespace ferry::schema

namespace ferry::schema {
// The service's default of a number value (0 for a name not in the table).
int64_t DefaultNumber(Level level, std::string_view name);
}  // namespace ferry::schema
