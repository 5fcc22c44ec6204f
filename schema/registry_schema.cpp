#include "schema/registry_schema.h"

#include <array>
#include <cctype>
#include <cstdint>

namespace ferry::schema {
namespace {

constexpr int64_t kSignedMax = INT32_MAX;

// Longest texts a writer may store: host names as DNS allows, addresses as
// RFC 5321 allows, secrets and tokens a few KB, paths and commands 1024.
constexpr uint32_t kHostLength = 255;
constexpr uint32_t kAddressLength = 254;
constexpr uint32_t kSecretLength = 4096;
constexpr uint32_t kPathLength = 1024;

constexpr ValueInfo Text(const char* name, Level level, uint32_t readLimit, uint32_t width, uint32_t maxLength,
                         const char* meaning) {
  ValueInfo v{name, level, Type::String};
  v.readLimit = readLimit;
  v.width = width;
  v.maxLength = maxLength;
  v.meaning = meaning;
  return v;
}

constexpr ValueInfo Number(const char* name, Level level, int64_t defaultNumber, int64_t min, int64_t max,
                           const char* meaning) {
  ValueInfo v{name, level, Type::Dword};
  v.defaultNumber = defaultNumber;
  v.min = min;
  v.max = max;
  v.meaning = meaning;
  return v;
}

constexpr ValueInfo Flag(const char* name, Level level, const char* meaning) {
  return Number(name, level, 0, 0, 1, meaning);
}

// Chainable adjustments of a row.
constexpr ValueInfo Console(ValueInfo v, ConsoleUse use, const char* consoleDefault = nullptr) {
  v.console = use;
  v.consoleDefault = consoleDefault;
  return v;
}
constexpr ValueInfo Written(ValueInfo v) {
  v.serviceWrites = true;
  return v;
}
constexpr ValueInfo Owned(ValueInfo v) {
  v.serviceWrites = true;
  v.serviceOwned = true;
  return v;
}
// Run state written at the end of each run, not with the settings.
constexpr ValueInfo Reported(ValueInfo v) {
  v.serviceOwned = true;
  return v;
}
constexpr ValueInfo Secret(ValueInfo v) {
  v.secret = true;
  return v;
}
constexpr ValueInfo Old(ValueInfo v, const char* oldName, uint32_t oldReadLimit) {
  v.oldName = oldName;
  v.oldReadLimit = oldReadLimit;
  return v;
}

constexpr auto G = Level::Global;
constexpr auto C = Level::Connection;
constexpr auto A = Level::Account;
constexpr auto V = Level::Volatile;
constexpr auto kEdits = ConsoleUse::Edits;

constexpr std::array kValues{
    // Global
    Written(Console(Text(kProxyHost, G, kShortWidth, kShortWidth, kHostLength,
                         "proxy host name; no behaviour of the service depends on it"),
                    kEdits, "0")),
    Written(Console(Number(kProxyPort, G, 0, 0, 65535, "proxy port; no behaviour of the service depends on it"),
                    kEdits)),
    Written(Console(Text(kBdwDir, G, kDirReadLimit, kPathWidth, kPathLength,
                         "folder of the science ticker's page copies"),
                    kEdits, "c:\\")),
    Text(kCtDir, G, kDirReadLimit, kPathWidth, kPathLength, "folder of the CT newsticker's page copies"),
    Written(Console(Text(kTickerEMail, G, kShortWidth, kShortWidth, kAddressLength,
                         "address of the science ticker mails"),
                    kEdits)),
    Text(kCtEMail, G, kShortWidth, kShortWidth, kAddressLength, "address of the CT newsticker mails"),
    Written(Console(Number(kDebugLevel, G, 0, 0, 9, "debug-log level: entries of this level and below are written"),
                    kEdits)),
    Written(Console(Number(kListenRas, G, 1, 0, 1,
                           "1: run the connections of dial-up lines that are up; 0: poll the permanent connection"),
                    kEdits, "0")),
    Console(Number(kTriggerPort, G, 2000, 1, 65535, "UDP port of the trigger listener"), kEdits, "15001"),
    Number(kMaxParallel, G, 10, 1, 250, "most account runs of one connection at a time; the rest wait in name order"),
    Text(kTriggerHosts, G, 1024, 1024, 1023,
         "senders whose trigger datagrams count (addresses or networks such as 192.168.1.0/24, separated by blanks "
         "or commas); empty: any sender"),
    Number(kCommandTimeout, G, 300, 1, kSignedMax,
           "seconds a pre-run command may take; then its process group is ended"),
    // Connection
    Written(Console(Number(kTimeout, C, -1, -1, kSignedMax,
                           "seconds between runs while the connection is up; negative: no periodic run"),
                    kEdits, "600")),
    Written(Old(Console(Flag(kEnableLogging, C, "1: the connection's accounts write a debug log"), kEdits),
                "LogEnabled", 4)),
    Text(kLogfile, C, kPathWidth, kPathWidth, kPathLength, "debug-log file of the connection's accounts"),
    Flag(kUsingRouter, C, "1: after a triggered run wait 10 s and take the lines that are up as known"),
    Flag(kDisableMt, C, "read with the connection; no behaviour of the service depends on it"),
    // Account
    Written(Console(Flag(kEnableAccount, A, "1: the account takes part in its connection's runs"), kEdits)),
    Written(Old(Console(Text(kPopHost, A, kShortWidth, kShortWidth, kHostLength, "POP3 server host name"), kEdits),
                "EMailHost", kOldShortWidth)),
    Written(Old(Console(Text(kPopUser, A, kShortWidth, kShortWidth, kHostLength, "POP3 user name"), kEdits),
                "EMailUser", kShortWidth)),
    Written(Old(Console(Text(kPopPassword, A, kShortWidth, kShortWidth, kSecretLength,
                             "POP3 password, stored as plain text"),
                        kEdits),
                "EMailPasswort", kShortWidth)),
    Written(Old(Console(Flag(kPopDelete, A, "1: delete the forwarded messages on the POP3 server"), kEdits, "1"),
                "EMailDelete", 4)),
    Written(Old(Console(Text(kSmtpHost, A, kShortWidth, kShortWidth, kHostLength, "SMTP server host name"), kEdits),
                "SMTPHost", kShortWidth)),
    Written(Old(Console(Text(kSmtpFrom, A, kShortWidth, kShortWidth, kAddressLength,
                             "sender address of the sender computation"),
                        kEdits),
                "EMailFrom", kShortWidth)),
    Written(Old(Console(Text(kSmtpTo, A, kShortWidth, kShortWidth, kAddressLength,
                             "recipient address of the recipient computation"),
                        kEdits),
                "EMailTo", kOldShortWidth)),
    Written(Old(Console(Number(kAddressmode, A, 0, 0, 7, "recipient mode of the mails (the two lowest bits)"),
                        kEdits, "3"),
                "EMailFlags", 4)),
    Written(Console(Number(kAddressmodeTicker, A, 0, 0, 7, "recipient mode while ticker mails are sent"), kEdits)),
    Written(Number(kAddressmodeFrom, A, 0, 0, 4, "sender mode")),
    Written(Console(Number(kMaxMails, A, 10, 0, kSignedMax,
                           "messages fetched before the collected ones are delivered; 0: no batches"),
                    kEdits)),
    Written(Old(Console(Number(kUdpPort, A, 0, 0, 65535, "destination port of the account's UDP notices"), kEdits,
                        "15002"),
                "UDPPort", 4)),
    Written(Console(Flag(kEnableUdp, A, "1: send the number of forwarded messages after the run"), kEdits)),
    Written(Console(Flag(kEnableFromUdp, A, "1: send the sender of each fetched message"), kEdits)),
    Written(Console(Flag(kEnableCommand, A, "1: run \"Command\" before the account's run"), kEdits)),
    Written(Console(Text(kCommand, A, kCommandWidth, kCommandWidth, kPathLength,
                         "command line run by the system's command interpreter"),
                    kEdits)),
    Written(Console(Text(kLogfile, A, kPathWidth, kPathWidth, kPathLength,
                         "debug-log file of this account (else the connection's)"),
                    kEdits, "c:\\Log.txt")),
    Written(Console(Flag(kEnableWissenschaft, A, "1: run the science ticker after the mail run"), kEdits)),
    Flag(kEnableCt, A, "1: run the CT newsticker after the mail run"),
    Console(Flag(kEnableFeeds, A,
                 "1: mail the new items of the account's news feeds (subkey \"Feeds\") after the mail run"),
            kEdits),
    Console(Number(kFeedInterval, A, 30, 1, 10080, "minutes between two fetches of one news feed"), kEdits),
    Console(Text(kFeedUrl, Level::Feed, kPathLength, kPathLength, kPathLength,
                 "http:// or https:// address of the feed"),
            kEdits),
    Console(Text(kFeedTo, Level::Feed, kAddressLength, kAddressLength, kAddressLength,
                 "address the feed's items are mailed to; empty: the account's \"Ticker EMail\""),
            kEdits),
    Written(Console(Flag(kEnableKeepAlive, A, "1: ticker item requests ask for a kept-alive connection"),
                    ConsoleUse::ReadOnly)),
    Owned(Flag(kInUse, A, "1 while a run of this account is in progress")),
    Reported(Text(kLastRun, A, kShortWidth, kShortWidth, kShortWidth - 1,
                  "local time the last run ended, YYYY-MM-DD hh:mm:ss")),
    Reported(Text(kLastOutcome, A, kShortWidth, kShortWidth, kShortWidth - 1,
                  "how the last run ended: \"ok\" or \"failed\"")),
    Reported(Number(kLastForwarded, A, 0, 0, kSignedMax, "messages the last run forwarded")),
    Reported(Number(kLastLeft, A, 0, 0, kSignedMax,
                    "messages of the mailbox the last run did not forward (kept, already forwarded or failed)")),
    Reported(Text(kLastError, A, kCommandWidth, kCommandWidth, kCommandWidth - 1,
                  "why the last run failed; empty after a run that ended well")),
    Written(Number(kKeepDays, A, 0, 0, 36500,
                   "without \"POP Delete\": days a forwarded message stays on the POP3 server; 0: for ever")),
    // Volatile
    Owned(Text(kLastDate, V, kShortWidth, kShortWidth, kShortWidth - 1,
               "modification date of the CT newsticker index last seen")),
    Owned(Text(kLastTitle, V, kTitleWidth, kTitleWidth, kPathLength, "title of the newest CT newsticker item handled")),
    // Transfer limits
    Number(kSmtpReplyTimeout, G, 300, 1, kSignedMax,
           "seconds an SMTP reply may take: the greeting and the replies to EHLO, MAIL, RCPT, RSET, QUIT"),
    Number(kSmtpDataTimeout, G, 120, 1, kSignedMax, "seconds the SMTP reply to DATA may take"),
    Number(kSmtpBlockTimeout, G, 180, 1, kSignedMax, "seconds sending one block of a message's text may take"),
    Number(kSmtpDataEndTimeout, G, 600, 1, kSignedMax,
           "seconds the SMTP reply to the end of a message's text may take"),
    Number(kPop3ReplyTimeout, G, 120, 1, kSignedMax, "seconds a POP3 status reply may take"),
    Number(kReceiveIdleTimeout, G, 120, 1, kSignedMax,
           "seconds without a byte after which a POP3 message or listing is given up"),
    Number(kSlowTransferWindow, G, 300, 1, kSignedMax,
           "seconds over which a POP3 message or listing must average 1 KB/s, else it is given up"),
    Number(kSendTimeout, G, 300, 1, kSignedMax, "seconds a send may make no progress before the dialogue ends"),
    Number(kMaxSize, A, 0, 0, UINT32_MAX,
           "largest message in bytes that is fetched; a larger one stays on the server; 0: no limit"),
    // Envelopes
    Text(kLocalDomains, A, kPathWidth, kPathWidth, kPathWidth - 1,
         "domains a shared mailbox collects (\"firma.de firma.com\"): in recipient modes 1 to 3 every To/Cc "
         "address in them gets the message; empty: the first To address only"),
    Text(kEnvelopeHeader, A, kShortWidth, kShortWidth, kShortWidth - 1,
         "header naming the recipients instead of To/Cc when the message has it (\"Delivered-To\", "
         "\"X-Original-To\"); only with \"Local Domains\""),
    Text(kHeloName, G, kPathWidth, kPathWidth, kHostLength,
         "name the gateway gives in EHLO; empty: the computer's fully qualified name"),
    // TLS and the SMTP login
    Written(Console(Number(kPopSecurity, A, 0, 0, 3,
                           "POP3 security: 0 none, 1 and 2 STLS required (CAPA, STLS, then the login), 3 TLS from the "
                           "connect (port 995)"),
                    kEdits)),
    Written(Console(Number(kSmtpSecurity, A, 0, 0, 3,
                           "SMTP security: 0 none, 1 STARTTLS when offered (a failed certificate check is a warning), "
                           "2 STARTTLS required, 3 TLS from the connect (port 465)"),
                    kEdits)),
    Written(
        Console(Number(kPopPort, A, 0, 0, 65535, "POP3 server port; 0: 110, or 995 with \"POP Security\" 3"), kEdits)),
    Written(
        Console(Number(kSmtpPort, A, 0, 0, 65535, "SMTP server port; 0: 25, or 465 with \"SMTP Security\" 3"), kEdits)),
    Written(Console(Text(kSmtpUser, A, kShortWidth, kShortWidth, kAddressLength,
                         "SMTP login user (AUTH PLAIN or LOGIN); empty: no login"),
                    kEdits)),
    Written(Console(
        Text(kSmtpPassword, A, kShortWidth, kShortWidth, kSecretLength, "SMTP login password, stored as plain text"),
        kEdits)),
    Written(Console(Text(kTlsCaFile, G, kPathWidth, kPathWidth, kPathLength,
                         "PEM file of CA certificates trusted besides the system's for every TLS connection"),
                    kEdits)),
    Written(
        Console(Text(kTlsCaFile, A, kPathWidth, kPathWidth, kPathLength,
                     "PEM file of CA certificates trusted for this account's POP3 and SMTP (replaces the global one)"),
                kEdits)),
    // OAuth 2.0 sign-in
    Written(Console(Number(kPopAuth, A, 0, 0, 2,
                   "POP3 login: 0 USER and PASS, 1 SASL XOAUTH2, 2 SASL OAUTHBEARER (both with an OAuth access token; "
                   "\"mailferry2 -authorize\" once first)"), kEdits)),
    Written(Console(Number(kSmtpAuth, A, 0, 0, 2,
                   "SMTP login: 0 AUTH PLAIN or LOGIN with \"SMTP User\", 1 SASL XOAUTH2, 2 SASL OAUTHBEARER"), kEdits)),
    Console(Text(kOAuthTokenUrl, A, kPathWidth, kPathWidth, kPathLength, "OAuth token endpoint (https URL)"), kEdits),
    Console(Text(kOAuthDeviceUrl, A, kPathWidth, kPathWidth, kPathLength,
         "OAuth device authorization endpoint (https URL); empty: authorise in a browser on this computer"), kEdits),
    Console(Text(kOAuthAuthorizeUrl, A, kPathWidth, kPathWidth, kPathLength,
         "OAuth authorization endpoint for the browser sign-in with a loopback redirect (https URL)"), kEdits),
    Console(Text(kOAuthClientId, A, kPathWidth, kPathWidth, kPathLength,
         "OAuth client id, registered by the user with the mail provider"), kEdits),
    Secret(Console(Text(kOAuthClientSecret, A, kPathWidth, kPathWidth, kPathLength,
                "OAuth client secret; empty for a public client"), kEdits)),
    Console(Text(kOAuthScope, A, kPathWidth, kPathWidth, kPathLength,
         "OAuth scopes asked for, separated by blanks (POP3 and SMTP access, and a refresh token)"), kEdits),
    Secret(Owned(Text(kOAuthRefreshToken, A, kPathWidth, kPathWidth, kSecretLength,
                      "OAuth refresh token, written by \"mailferry2 -authorize\" and by the runs when it rotates"))),
    Secret(Owned(Text(kOAuthAccessToken, A, kPathWidth, kPathWidth, kSecretLength,
                      "OAuth access token of the last run, used again until shortly before it expires"))),
    Owned(Number(kOAuthAccessExpiry, A, 0, 0, UINT32_MAX, "when the OAuth access token expires (seconds since 1970)")),
};

constexpr std::array<const char* const, 3> kRetired{kOldFlags, "Enabled", "LogEnabled"};

constexpr auto BuildOldAccountNames() {
  std::array<const char*, 12> names{};
  std::size_t n = 0;
  for (const ValueInfo& v : kValues)
    if (v.level == Level::Account && v.oldName != nullptr) names[n++] = v.oldName;
  for (const char* name : kRetired) names[n++] = name;
  return names;
}
constexpr auto kOldAccountNames = BuildOldAccountNames();
static_assert(kOldAccountNames.back() != nullptr, "every old account name has its place");

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

std::string ConnectionKey(std::string_view connection) {
  return std::string(kParametersKey) + "\\" + std::string(connection);
}

std::string AccountKey(std::string_view connection, std::string_view account) {
  return ConnectionKey(connection) + "\\" + std::string(account);
}

std::string FeedKey(std::string_view connection, std::string_view account, std::string_view feed) {
  return AccountKey(connection, account) + "\\" + kFeedsSubkey + "\\" + std::string(feed);
}

std::span<const ValueInfo> Values() { return kValues; }
std::span<const char* const> RetiredAccountNames() { return kRetired; }
std::span<const char* const> OldAccountNames() { return kOldAccountNames; }

const ValueInfo* FindValue(Level level, std::string_view name) {
  for (const ValueInfo& v : kValues) {
    if (v.level == level && SameName(v.name, name)) return &v;
  }
  return nullptr;
}

std::optional<Level> LevelOfKey(std::string_view path) {
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  const std::string_view parameters = kParametersKey;
  if (path.size() < parameters.size() || !SameName(path.substr(0, parameters.size()), parameters))
    return std::nullopt;
  if (path.size() == parameters.size()) return Level::Global;
  if (path[parameters.size()] != '\\') return std::nullopt;
  std::string_view rest = path.substr(parameters.size() + 1);
  const std::size_t separator = rest.find('\\');
  if (separator == std::string_view::npos) return SameName(rest, kVolatileName) ? Level::Volatile : Level::Connection;
  if (SameName(rest.substr(0, separator), kVolatileName)) return std::nullopt;
  const std::size_t third = rest.find('\\', separator + 1);
  if (third == std::string_view::npos) return Level::Account;
  const std::size_t fourth = rest.find('\\', third + 1);
  if (fourth == std::string_view::npos || !SameName(rest.substr(third + 1, fourth - third - 1), kFeedsSubkey) ||
      fourth + 1 == rest.size() || rest.find('\\', fourth + 1) != std::string_view::npos)
    return std::nullopt;
  return Level::Feed;
}

bool InRange(const ValueInfo& value, int64_t number) { return number >= value.min && number <= value.max; }

std::string Describe(const ValueInfo& value) {
  if (value.type == Type::String) return "REG_SZ of at most " + std::to_string(value.maxLength) + " bytes";
  return "REG_DWORD " + std::to_string(value.min) + ".." + std::to_string(value.max);
}

std::string ReadDefaultText(const ValueInfo& value) {
  if (value.consoleDefault != nullptr) return value.consoleDefault;
  if (value.type == Type::Dword) return std::to_string(value.defaultNumber);
  return value.defaultText;
}

}  // namespace ferry::schema

namespace ferry::schema {
int64_t DefaultNumber(Level level, std::string_view name) {
  const ValueInfo* value = FindValue(level, name);
  return value != nullptr ? value->defaultNumber : 0;
}
}  // namespace ferry::schema
