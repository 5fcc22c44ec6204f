// "Autorisieren" on an account's page: which command line authorises it.
#include "console/model/console.h"
#include "console/model/text_rules.h"

namespace ferry::console {
namespace {

constexpr const char* kAuthorizeTitle = "Autorisieren";

}  // namespace

std::vector<std::string> Console::AuthorizeShownAccount(const std::string& consoleFolder) {
  if (!shown_ || shown_->kind != NodeKind::Account || !StorePage()) return {};
  const AccountRow* row = nullptr;
  for (const AccountRow& r : tables_.accounts)
    if (r.connection == shown_->connection && r.name == shown_->account) row = &r;
  if (row == nullptr) return {};
  AuthorizePlace place{{}, consoleFolder};
  if (far_) {
    place.sshHost = far_->host();
  } else {
    std::string_view name = computerName_;
    while (name.starts_with('\\')) name.remove_prefix(1);
    if (!name.empty() && !SameTextIgnoringCase(name, LocalComputerName())) {
      dialogs_.MessageBox("Ein Konto auf " + computerName_ +
                              " kann nur \xFC" "ber SSH autorisiert werden, nicht \xFC" "ber die Fernwartung der "
                              "Einstellungen dieses Systems.",
                          kAuthorizeTitle, BoxStyle::Warning);
      return {};
    }
  }
  AuthorizeLine line = MakeAuthorizeLine(*row, settings_, place);
  if (!line.refusal.empty()) dialogs_.MessageBox(line.refusal, kAuthorizeTitle, BoxStyle::Warning);
  return line.argv;
}

}  // namespace ferry::console
