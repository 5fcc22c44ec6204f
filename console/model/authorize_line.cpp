#include "console/model/authorize_line.h"

#include <array>
#include <filesystem>

#include "console/model/far_store.h"
#include "console/model/text_rules.h"
#include "schema/registry_schema.h"

namespace ferry::console {
namespace {

// The values the program reads to authorise; an unsaved edit of one would
// make it authorise with what the store still holds.
constexpr std::array kOAuthValues{
    schema::kPopAuth,       schema::kSmtpAuth,          schema::kOAuthTokenUrl, schema::kOAuthDeviceUrl,
    schema::kOAuthAuthorizeUrl, schema::kOAuthClientId, schema::kOAuthClientSecret, schema::kOAuthScope,
};

bool ChoosesOAuth(const std::string& mechanism) { return ParseDecimal(Trim(mechanism)).value_or(0) != 0; }

std::string AuthorizeArguments(const AccountRow& row) {
  return " -authorize " + ShellQuote(row.connection) + " " + ShellQuote(row.name);
}

}  // namespace

std::vector<std::string> LocalAuthorizeProgram(const ConsoleSettings& settings, const std::string& consoleFolder) {
  if (std::vector<std::string> words = SplitCommandWords(settings.authorizeCommand); !words.empty()) return words;
  if (!consoleFolder.empty()) {
    for (const char* file : {"mailferry2", "mailferry2.exe"}) {
      const std::filesystem::path beside = std::filesystem::path(consoleFolder) / file;
      std::error_code ec;
      if (std::filesystem::is_regular_file(beside, ec)) return {beside.string()};
    }
  }
  return {kInstalledGatewayProgram};
}

AuthorizeLine MakeAuthorizeLine(const AccountRow& row, const ConsoleSettings& settings, const AuthorizePlace& place) {
  if (!ChoosesOAuth(row.popAuth) && !ChoosesOAuth(row.smtpAuth))
    return {{},
            "F\xFCr dieses Konto ist keine OAuth-Anmeldung gew\xE4hlt: \"POP Anmeldung\" und \"SMTP Anmeldung\" "
            "sind 0. W\xE4hlen Sie 1 (XOAUTH2) oder 2 (OAUTHBEARER) und speichern Sie die Einstellungen."};
  // The program finds the account under the name it is saved as.
  if (row.origin.connection != row.connection || row.origin.account != row.name)
    return {{}, "Das Konto \"" + row.name +
                    "\" ist noch nicht gespeichert. Bitte speichern Sie zuerst die Einstellungen."};
  for (const char* name : kOAuthValues) {
    if (row.edited.count(name) != 0)
      return {{}, "Die OAuth-Angaben des Kontos \"" + row.name +
                      "\" sind ge\xE4ndert, aber noch nicht gespeichert. Bitte speichern Sie zuerst die "
                      "Einstellungen."};
  }
  if (!place.sshHost.empty()) {
    const std::string program =
        Trim(settings.authorizeCommand).empty() ? std::string(kInstalledGatewayProgram) : settings.authorizeCommand;
    return {SshCommandLine(settings, place.sshHost, program + AuthorizeArguments(row)), {}};
  }
  std::vector<std::string> argv = LocalAuthorizeProgram(settings, place.consoleFolder);
  argv.insert(argv.end(), {"-authorize", row.connection, row.name});
  return {argv, {}};
}

}  // namespace ferry::console
