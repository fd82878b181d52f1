#pragma once

#include <QString>
#include <QStringList>

namespace krt::install {

// Creates a new, empty catalog file with every table of the family that the program uses.
// Returns an empty text on success, otherwise what failed.
QString createCatalog(const QString &file);

// Runs SQL statements (separated by ";" at line ends) on an existing catalog file.
QString runScript(const QString &file, const QString &script);

} // namespace krt::install
