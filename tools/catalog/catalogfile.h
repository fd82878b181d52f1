#pragma once

#include "catalog/schema.h"

#include <QSqlDatabase>
#include <QString>

namespace krt::install {

// A connection of its own to one catalog file, outside the program's connection; closed and
// removed again when it goes out of scope.
class CatalogConnection
{
public:
    explicit CatalogConnection(const QString &file);
    ~CatalogConnection();
    CatalogConnection(const CatalogConnection &) = delete;
    CatalogConnection &operator=(const CatalogConnection &) = delete;

    QSqlDatabase db() const;
    // Empty when the file was opened, otherwise the driver's text.
    const QString &error() const { return m_error; }

private:
    QString m_name;
    QString m_error;
};

// Creates a new, empty catalog file with every table of the family that the program uses.
// Returns an empty text on success, otherwise what failed.
QString createCatalog(const QString &file, const Schema &schema = {});

// Runs SQL statements (separated by ";" at line ends) on an existing catalog file.
QString runScript(const QString &file, const QString &script);

} // namespace krt::install
