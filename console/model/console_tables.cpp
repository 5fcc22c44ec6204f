#include "console/model/console_tables.h"

#include <stdexcept>
#include <vector>

#include "schema/registry_schema.h"

namespace ferry::console {
namespace {

// Which field holds which value: one binding per field. Types, defaults and
// what is written come from the settings table.
template <class Row>
struct Binding {
  const char* name;
  std::string Row::*field;
};

using A = AccountRow;
using G = GlobalSettings;
using C = ConnectionRow;

const std::array<Binding<A>, 36> kAccountFields{{
    {schema::kAddressmode, &A::addressmode},
    {schema::kAddressmodeTicker, &A::addressmodeTicker},
    {schema::kCommand, &A::command},
    {schema::kEnableAccount, &A::enableAccount},
    {schema::kEnableCommand, &A::enableCommand},
    {schema::kEnableFromUdp, &A::enableFromUdp},
    {schema::kEnableKeepAlive, &A::enableKeepAlive},
    {schema::kEnableUdp, &A::enableUdp},
    {schema::kEnableWissenschaft, &A::enableWissenschaft},
    {schema::kLogfile, &A::logFile},
    {schema::kMaxMails, &A::maxMails},
    {schema::kPopDelete, &A::popDelete},
    {schema::kPopHost, &A::popHost},
    {schema::kPopPassword, &A::popPasswort},
    {schema::kPopUser, &A::popUser},
    {schema::kSmtpFrom, &A::smtpFrom},
    {schema::kSmtpHost, &A::smtpHost},
    {schema::kSmtpTo, &A::smtpTo},
    {schema::kUdpPort, &A::udpPort},
    {schema::kPopSecurity, &A::popSecurity},
    {schema::kPopPort, &A::popPort},
    {schema::kSmtpSecurity, &A::smtpSecurity},
    {schema::kSmtpPort, &A::smtpPort},
    {schema::kSmtpUser, &A::smtpUser},
    {schema::kSmtpPassword, &A::smtpPasswort},
    {schema::kTlsCaFile, &A::tlsCaFile},
    {schema::kPopAuth, &A::popAuth},
    {schema::kSmtpAuth, &A::smtpAuth},
    {schema::kOAuthTokenUrl, &A::oauthTokenUrl},
    {schema::kOAuthDeviceUrl, &A::oauthDeviceUrl},
    {schema::kOAuthAuthorizeUrl, &A::oauthAuthorizeUrl},
    {schema::kOAuthClientId, &A::oauthClientId},
    {schema::kOAuthClientSecret, &A::oauthClientSecret},
    {schema::kOAuthScope, &A::oauthScope},
    {schema::kEnableFeeds, &A::enableFeeds},
    {schema::kFeedInterval, &A::feedInterval},
}};

const std::array<Binding<G>, 8> kGlobalFields{{
    {schema::kBdwDir, &G::bdwDir},
    {schema::kDebugLevel, &G::debugLevel},
    {schema::kListenRas, &G::listenRas},
    {schema::kProxyHost, &G::proxyHost},
    {schema::kProxyPort, &G::proxyPort},
    {schema::kTriggerPort, &G::triggerPort},
    {schema::kTickerEMail, &G::tickerEMail},
    {schema::kTlsCaFile, &G::tlsCaFile},
}};

const std::array<Binding<C>, 2> kConnectionFields{{
    {schema::kEnableLogging, &C::enableLogging},
    {schema::kTimeout, &C::timeOut},
}};

// The table's rows the console shows at `level`, each with its field. A shown
// row without a field, or a field without a shown row, is a fault of the
// program, found by the first use.
template <class Row, std::size_t N>
std::vector<ConsoleValue<Row>> Generate(schema::Level level, const std::array<Binding<Row>, N>& fields) {
  std::vector<ConsoleValue<Row>> values;
  for (const schema::ValueInfo& v : schema::Values()) {
    if (v.level != level || v.console == schema::ConsoleUse::Hidden) continue;
    const Binding<Row>* binding = nullptr;
    for (const Binding<Row>& b : fields)
      if (schema::FindValue(level, b.name) == &v) binding = &b;
    if (binding == nullptr) throw std::logic_error(std::string("the console has no field for ") + v.name);
    // Only the service changes what it owns.
    const bool written = v.console == schema::ConsoleUse::Edits && !v.serviceOwned;
    const bool number = v.type == schema::Type::Dword;
    // An absent value is shown as the service uses it.
    std::string serviceDefault = number ? std::to_string(v.defaultNumber) : std::string(v.defaultText);
    values.push_back({v.name, number ? ValueType::Number : ValueType::Text, std::move(serviceDefault),
                      binding->field, written, &v});
  }
  if (values.size() != N) throw std::logic_error("a console field is bound to a value the console does not show");
  return values;
}

}  // namespace

void InitTables(Tables& tables) {
  tables = Tables{};
  for (const GlobalValue& v : GlobalValues()) tables.global.*v.field = v.readDefault;
}

void DeleteConnection(ConnectionTable& table, int index) {
  if (index < 0 || index >= static_cast<int>(table.size())) return;
  table.erase(table.begin() + index);
}

void DeleteAccount(AccountTable& table, int index) {
  if (index < 0 || index >= static_cast<int>(table.size())) return;
  table.erase(table.begin() + index);
}

std::span<const AccountValue> AccountValues() {
  static const std::vector<AccountValue> values = Generate(schema::Level::Account, kAccountFields);
  return values;
}

std::span<const GlobalValue> GlobalValues() {
  static const std::vector<GlobalValue> values = Generate(schema::Level::Global, kGlobalFields);
  return values;
}

std::span<const ConnectionValue> ConnectionValues() {
  static const std::vector<ConnectionValue> values = Generate(schema::Level::Connection, kConnectionFields);
  return values;
}

}  // namespace ferry::console
