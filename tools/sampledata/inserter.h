#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <initializer_list>

namespace krt::install {

// Prepared INSERTs with bound values that take many rows per statement: the rows are
// collected and sent in groups, which spares most of the per-statement work for large tables.
// finish() sends the rows still collected.
class Inserter
{
public:
    static constexpr int RowsPerStatement = 64;

    Inserter(const QSqlDatabase &db, const QString &table, const QStringList &columns);

    // Adds one row, the values in the order of the columns; false on a failure, which error() tells.
    bool insert(std::initializer_list<QVariant> values);
    bool finish();
    const QString &error() const { return m_error; }

private:
    QString statement(int rows) const;
    bool send(QSqlQuery &query);

    QSqlDatabase m_db;
    QString m_table;
    QStringList m_columns;
    QSqlQuery m_full;
    bool m_prepared = false;
    QVariantList m_values;
    int m_rows = 0;
    QString m_error;
};

// Sends the rows the inserters still hold; the text of the first failure.
QString finishAll(std::initializer_list<Inserter *> inserters);

} // namespace krt::install
