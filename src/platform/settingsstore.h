#pragma once

#include <QDate>
#include <QString>

#include <optional>

namespace krt {

// The per-user settings of the product family (application "VELD"). On Windows they are the
// registry keys the family's other programs share; elsewhere an INI file,
// $XDG_CONFIG_HOME/VELD/TMCS.ini (~/.config when the variable is unset), with the sections
// [Common] and [Version] standing for TMCS\Common and TMCS\Version.
namespace settings {

inline const QString Common = QStringLiteral("TMCS\\Common");
inline const QString Version = QStringLiteral("TMCS\\Version");

// The stored text, or the default when the value is absent.
QString GetSetting(const QString &section, const QString &key, const QString &defaultValue = {});
void SaveSetting(const QString &section, const QString &key, const QString &value);

// The business date a workstation may fix in the settings, [Common] BusinessDate ("yyyy/MM/dd");
// an invalid date when it is absent or no date, and the business date is then today.
QDate fixedBusinessDate();

// Where the store lives: the INI file path, or the registry path of the application.
QString storeLocation();

// The run log beside the settings: KRT550.log in the folder of TMCS.ini (on Windows in the
// family's folder of the user's application data).
QString runLogPath();

// Appends text and a line end, in UTF-8, to the file at path, making its folder when missing.
// The line is flushed and the file closed with both checked, so that a full disk is not taken
// for a written line. The result is the system's reason when the line could not be written
// whole, nothing when it was.
std::optional<QString> appendLine(const QString &path, const QString &text);

} // namespace settings
} // namespace krt
