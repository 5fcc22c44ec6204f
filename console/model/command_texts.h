// The prompts, titles and messages of the toolbar commands (Latin-1).
#pragma once

namespace ferry::console::texts {

inline constexpr const char* kNewConnectionPrompt = "Geben Sie den Namen der neuen Verbindung ein.";
inline constexpr const char* kNewConnectionTitle = "Neue Verbindung";
inline constexpr const char* kNewConnectionDefault = "neue Verbindung";
inline constexpr const char* kConnectionExists = "Diese Verbindung existiert schon. W\xE4hlen Sie einen anderen Namen";
inline constexpr const char* kConnectionTitle = "Verbindung";
inline constexpr const char* kNameRefusedTitle = "Name nicht m\xF6glich";

inline constexpr const char* kChooseConnectionFirst = "W\xE4hlen Sie zuerst eine Verbindung aus";
inline constexpr const char* kChooseAccountFirst = "W\xE4hlen Sie zuerst einen Account aus";
// kNoConnectionTitle ("keine Verbindung") is in store_texts.h.

inline constexpr const char* kNewAccountPrompt = "Geben Sie den Namen des neuen Accounts ein.";
inline constexpr const char* kNewAccountTitle = "Neuer Account";
inline constexpr const char* kNewAccountDefault = "neuer Account";
inline constexpr const char* kAccountExists = "Dieser Account existiert schon. W\xE4hlen Sie einen anderen Namen";
inline constexpr const char* kAccountTitle = "Account";

inline constexpr const char* kComputerPrompt = "Geben Sie den Rechner ein, den Sie verwalten m\xF6" "chten.";
inline constexpr const char* kComputerTitle = "Rechner";

inline constexpr const char* kDeleteAccountQuestion = "M\xF6" "chten Sie den Account wirklich l\xF6schen?";
inline constexpr const char* kDeleteAccountTitle = "Account l\xF6schen";

inline constexpr const char* kConnectionKept = "Diese Verbindung darf nicht gel\xF6scht werden.";
inline constexpr const char* kDeleteConnectionTitle = "Verbindung l\xF6schen";
inline constexpr const char* kDeleteConnectionQuestion =
    "Das L\xF6schen der Verbindung beinhaltet auch das l\xF6schen aller enthaltenen Accounts. M\xF6"
    "chten Sie fortfahren?";

inline constexpr const char* kCopyTargetPrompt = "Geben Sie die Verbindung an, in die Sie den Account kopieren wollen.";
inline constexpr const char* kCopyNamePrompt = "Geben Sie den Namen des neuen Accounts an.";
inline constexpr const char* kCopyTitle = "Account kopieren";
inline constexpr const char* kConnectionMissing = "Diese Verbindung existiert nicht.";
inline constexpr const char* kOverwriteQuestion = "Dieser Account existiert schon. M\xF6" "chten Sie ihn \xFC" "berschreiben?";

inline constexpr const char* kTemplateQuestion =
    "Das Einf\xFCgen des Templates \xFC" "berschreibt alle Einstellungen in diesem Account. M\xF6" "chten Sie fortfahren?";
inline constexpr const char* kTemplateTitle = "Template kopieren";

inline constexpr const char* kRenameRefused = "Diese Verbindung kann nicht umbenannt werden";
inline constexpr const char* kRenameTitle = "Umbenennen";
inline constexpr const char* kRenamePrompt = "Geben Sie den neuen Namen der Verbindung ein!";

// The sample texts the template puts on an account page.
inline constexpr const char* kTemplatePopHost = "pop.provider.example";
inline constexpr const char* kTemplatePopUser = "popuser";
inline constexpr const char* kTemplateSmtpFrom = "gateway@office.example";
inline constexpr const char* kTemplateSmtpHost = "mail.provider.example";
inline constexpr const char* kTemplateSmtpTo = "user@office.example";
inline constexpr const char* kTemplateLogFile = "c:\\Log.txt";

}  // namespace ferry::console::texts
