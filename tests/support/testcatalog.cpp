#include "support/testcatalog.h"

#include "pgserver/pgserver.h"
#include "servertables/servertables.h"

#include <QDebug>
#include <QDir>

namespace krt::testing {

PriceDb::PriceDb(const QString &priceType)
{
    install::Schema schema;
    schema.priceType = priceType;
    m_error = m_catalog.create(QString(), schema);
    if (!m_error.isEmpty())
        return;
    if (!m_connection.open(connectionText()) || !m_look.open(connectionText()))
        m_error = QStringLiteral("cannot open ") + m_catalog.file();
}

PriceDb::PriceDb(test::PgServer &server, const QString &database, const QString &priceType)
    : m_server(&server)
    , m_database(database)
{
    m_error = server.createDatabase(database);
    if (!m_error.isEmpty())
        return;
    if (!m_look.open(connectionText())) {
        m_error = QStringLiteral("cannot open ") + database + QStringLiteral(": ") +
                  m_look.errors().value(0).description;
        return;
    }
    m_error = install::createServerTables(m_look.database(), priceType);
    if (m_error.isEmpty() && !m_connection.open(connectionText()))
        m_error = QStringLiteral("cannot open ") + database;
}

QString PriceDb::connectionText() const
{
    if (m_server)
        return m_server->connectionText(m_database);
    return m_catalog.connectionText();
}

QString PriceDb::fill(const QString &script) const
{
    if (m_server)
        return m_server->psql(m_database, script);
    return m_catalog.run(script);
}

std::vector<QVariantList> PriceDb::rows(const QString &sql)
{
    std::vector<QVariantList> all;
    std::optional<Recordset> result = m_look.openRecordset(sql);
    if (!result) {
        qWarning() << "query failed:" << sql << m_look.errors().value(0).description;
        return all;
    }
    for (; !result->eof(); result->moveNext()) {
        QVariantList row;
        for (int i = 0; i < result->fieldCount(); ++i)
            row.append(result->field(i));
        all.push_back(row);
    }
    return all;
}

QVariant PriceDb::value(const QString &sql)
{
    const std::vector<QVariantList> all = rows(sql);
    return all.empty() ? QVariant() : all.front().value(0);
}

} // namespace krt::testing
