#include "sampledata/inserter.h"

#include <QSqlError>

namespace krt::install {

Inserter::Inserter(const QSqlDatabase &db, const QString &table, const QStringList &columns)
    : m_db(db)
    , m_table(table)
    , m_columns(columns)
    , m_full(db)
{
    m_prepared = m_full.prepare(statement(RowsPerStatement));
    if (!m_prepared)
        m_error = m_full.lastError().text();
    m_values.reserve(RowsPerStatement * columns.size());
}

bool Inserter::insert(std::initializer_list<QVariant> values)
{
    if (!m_prepared)
        return false;
    for (const QVariant &value : values)
        m_values.append(value);
    return ++m_rows < RowsPerStatement || send(m_full);
}

bool Inserter::finish()
{
    if (!m_prepared)
        return false;
    if (m_rows == 0)
        return true;
    QSqlQuery rest(m_db);
    if (!rest.prepare(statement(m_rows))) {
        m_error = rest.lastError().text();
        return false;
    }
    return send(rest);
}

QString Inserter::statement(int rows) const
{
    QStringList marks;
    for (qsizetype i = 0; i < m_columns.size(); ++i)
        marks.append(QStringLiteral("?"));
    const QString row = QStringLiteral("(") + marks.join(QStringLiteral(", ")) + QStringLiteral(")");
    QStringList groups;
    for (int i = 0; i < rows; ++i)
        groups.append(row);
    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
        .arg(m_table, m_columns.join(QStringLiteral(", ")), groups.join(QStringLiteral(", ")));
}

bool Inserter::send(QSqlQuery &query)
{
    for (int i = 0; i < m_values.size(); ++i)
        query.bindValue(i, m_values.at(i));
    m_values.clear();
    m_rows = 0;
    if (!query.exec()) {
        m_error = query.lastError().text();
        return false;
    }
    return true;
}

QString finishAll(std::initializer_list<Inserter *> inserters)
{
    for (Inserter *inserter : inserters)
        if (!inserter->finish())
            return inserter->error();
    return {};
}

} // namespace krt::install
