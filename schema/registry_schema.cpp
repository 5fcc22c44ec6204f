#include "schema/registry_schema.h"

#include <array>
#include <cctype>

namespace ferry::schema {
namespace {

constexpr std::array kValues{
    // Global
    ValueInfo{kProxyHost, Scope::Global, Kind::String, kShortWidth, 0, true},
    ValueInfo{kProxyPort, Scope::Global, Kind::Number, 4, 0, true},
    ValueInfo{kBdwDir, Scope::Global, Kind::String, kDirReadLimit, 0, true},
    ValueInfo{kCtDir, Scope::Global, Kind::String, kDirReadLimit, 0, false},
    ValueInfo{kTickerEMail, Scope::Global, Kind::String, kShortWidth, 0, true},
    ValueInfo{kCtEMail, Scope::Global, Kind::String, kShortWidth, 0, false},
    ValueInfo{kDebugLevel, Scope::Global, Kind::Number, 4, 0, true},
    ValueInfo{kListenRas, Scope::Global, Kind::Number, 4, 1, true},
    ValueInfo{kTriggerPort, Scope::Global, Kind::Number, 4, 2000, false},
    // Connection
    ValueInfo{kTimeout, Scope::Connection, Kind::Number, 4, -1, true},
    ValueInfo{kEnableLogging, Scope::Connection, Kind::Number, 4, 0, true},
    ValueInfo{kLogfile, Scope::Connection, Kind::String, kPathWidth, 0, false},
    ValueInfo{kUsingRouter, Scope::Connection, Kind::Number, 4, 0, false},
    ValueInfo{kDisableMt, Scope::Connection, Kind::Number, 4, 0, false},
    // Account
    ValueInfo{kEnableAccount, Scope::Account, Kind::Number, 4, 0, true},
    ValueInfo{kPopHost, Scope::Account, Kind::String, kShortWidth, 0, true},
    ValueInfo{kPopUser, Scope::Account, Kind::String, kShortWidth, 0, true},
    ValueInfo{kPopPassword, Scope::Account, Kind::String, kShortWidth, 0, true},
    ValueInfo{kPopDelete, Scope::Account, Kind::Number, 4, 0, true},
    ValueInfo{kSmtpHost, Scope::Account, Kind::String, kShortWidth, 0, true},
    ValueInfo{kSmtpFrom, Scope::Account, Kind::String, kShortWidth, 0, true},
    ValueInfo{kSmtpTo, Scope::Account, Kind::String, kShortWidth, 0, true},
    ValueInfo{kAddressmode, Scope::Account, Kind::Number, 4, 0, true},
    ValueInfo{kAddressmodeTicker, Scope::Account, Kind::Number, 4, 0, true},
    ValueInfo{kAddressmodeFrom, Scope::Account, Kind::Number, 4, 0, true},
    ValueInfo{kMaxMails, Scope::Account, Kind::Number, 4, 10, true},
    ValueInfo{kUdpPort, Scope::Account, Kind::Number, 4, 0, true},
    ValueInfo{kEnableUdp, Scope::Account, Kind::Number, 4, 0, true},
    ValueInfo{kEnableFromUdp, Scope::Account, Kind::Number, 4, 0, true},
    ValueInfo{kEnableCommand, Scope::Account, Kind::Number, 4, 0, true},
    ValueInfo{kCommand, Scope::Account, Kind::String, kCommandWidth, 0, true},
    ValueInfo{kLogfile, Scope::Account, Kind::String, kPathWidth, 0, true},
    ValueInfo{kEnableWissenschaft, Scope::Account, Kind::Number, 4, 0, true},
    ValueInfo{kEnableCt, Scope::Account, Kind::Number, 4, 0, false},
    ValueInfo{kEnableKeepAlive, Scope::Account, Kind::Number, 4, 0, true},
    ValueInfo{kInUse, Scope::Account, Kind::Number, 4, 0, true},
    // Volatile
    ValueInfo{kLastDate, Scope::Volatile, Kind::String, kShortWidth, 0, true},
    ValueInfo{kLastTitle, Scope::Volatile, Kind::String, kTitleWidth, 0, true},
};

constexpr std::array kOldNames{
    OldName{kOldEMailTo, kSmtpTo, Kind::String, kOldShortWidth},
    OldName{kOldEMailHost, kPopHost, Kind::String, kOldShortWidth},
    OldName{kOldEMailFrom, kSmtpFrom, Kind::String, kShortWidth},
    OldName{kOldEMailUser, kPopUser, Kind::String, kShortWidth},
    OldName{kOldEMailPassword, kPopPassword, Kind::String, kShortWidth},
    OldName{kOldSmtpHost, kSmtpHost, Kind::String, kShortWidth},
    OldName{kOldEMailDelete, kPopDelete, Kind::Number, 4},
    OldName{kOldEMailFlags, kAddressmode, Kind::Number, 4},
    OldName{kOldUdpPort, kUdpPort, Kind::Number, 4},
    OldName{kOldFlags, nullptr, Kind::Number, 4},
    OldName{kOldEnabled, nullptr, Kind::Number, 0},
    OldName{kOldLogEnabled, kEnableLogging, Kind::Number, 4},
};

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

std::span<const ValueInfo> Values() { return kValues; }
std::span<const OldName> OldAccountNames() { return kOldNames; }

const ValueInfo* FindValue(Scope scope, std::string_view name) {
  for (const ValueInfo& v : kValues) {
    if (v.scope == scope && SameName(v.name, name)) return &v;
  }
  return nullptr;
}

}  // namespace ferry::schema
