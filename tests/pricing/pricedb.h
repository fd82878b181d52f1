#pragma once

#include "db/connection.h"

#include <QString>
#include <QTemporaryDir>
#include <QVariantList>

#include <vector>

namespace krt::test {

class PgServer;

// A TMCS catalog made by the installation tool, with the program's connection open on it and a
// second connection for looking at the tables: an embedded catalog in a folder of its own, or a
// database of the tests' PostgreSQL server. The price columns take the given SQL type.
class PriceDb
{
public:
    explicit PriceDb(const QString &priceType = QStringLiteral("REAL"));
    PriceDb(PgServer &server, const QString &database, const QString &priceType);

    // Empty when the catalog was made and both connections opened, otherwise what failed.
    QString error() const { return m_error; }

    Connection &connection() { return m_connection; }
    QString connectionText() const;

    // Runs statements (";" at line ends) outside the program's connection: through the
    // installation tool on the embedded engine, through psql on the server; empty or what failed.
    QString fill(const QString &script) const;

    // Every row of a query, read through the second connection.
    std::vector<QVariantList> rows(const QString &sql);
    QVariant value(const QString &sql);

private:
    QTemporaryDir m_dir;
    QString m_file;
    PgServer *m_server = nullptr;
    QString m_database;
    QString m_error;
    Connection m_connection;
    Connection m_look;
};

} // namespace krt::test
