#pragma once

#include "db/connection.h"

#include <QString>
#include <QTemporaryDir>
#include <QVariantList>

#include <vector>

namespace krt::test {

// A TMCS catalog made by the installation tool in a folder of its own, with the program's
// connection open on it and a second connection for looking at the tables.
class PriceDb
{
public:
    PriceDb();

    // Empty when the catalog was made and both connections opened, otherwise what failed.
    QString error() const { return m_error; }

    Connection &connection() { return m_connection; }
    QString connectionText() const;

    // Runs statements (";" at line ends) through the installation tool; empty or what failed.
    QString fill(const QString &script) const;

    // Every row of a query, read through the second connection.
    std::vector<QVariantList> rows(const QString &sql);
    QVariant value(const QString &sql);

private:
    QTemporaryDir m_dir;
    QString m_file;
    QString m_error;
    Connection m_connection;
    Connection m_look;
};

} // namespace krt::test
