// The console's store key paths and the texts of its store messages (Latin-1).
#pragma once

namespace ferry::console::texts {

inline constexpr const char* kConnecting = "Verbindung mit Remote Computer";
inline constexpr const char* kReading = "Einstellungen lesen";
inline constexpr const char* kNoConnectionTitle = "keine Verbindung";
inline constexpr const char* kNoConnectionBefore = "Verbindung mit Computer ";
inline constexpr const char* kNoConnectionAfter = " kann nicht hergestellt werden.";
inline constexpr const char* kNotInstalledTitle = "Dienst nicht installiert";
inline constexpr const char* kNotInstalledBefore = "Der Ferrylink Dienst ist auf dem Computer ";
inline constexpr const char* kNotInstalledAfter = " nicht installiert! Bitte w\xE4hlen Sie einen anderen Computer.";
inline constexpr const char* kErrorTitle = "Fehler";
inline constexpr const char* kNotInstalledHere = "Der Service ist auf diesem Rechner nicht installiert";
inline constexpr const char* kSaveFailedBefore = "Die Einstellungen konnten nicht gespeichert werden (";
inline constexpr const char* kSaveFailedAfter = "). Die gespeicherten Einstellungen sind unver\xE4ndert.";
inline constexpr const char* kRemoving = "Entfernen von ";
inline constexpr const char* kSaved = "Einstellungen gespeichert";
inline constexpr const char* kLibraryTitle = "Wertebibliothek fehlt";
inline constexpr const char* kLibraryBefore = "Die Wertebibliothek ";
inline constexpr const char* kLibraryMiddle = " kann nicht geladen werden: ";
inline constexpr const char* kLibraryStatus = "Wertebibliothek fehlt: ";

}  // namespace ferry::console::texts
