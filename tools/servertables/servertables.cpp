#include "servertables/servertables.h"

#include "catalog/schema.h"

#include <QSqlError>
#include <QSqlQuery>

namespace krt::install {

QString createServerTables(const QSqlDatabase &db, const QString &priceType)
{
    Schema schema;
    schema.priceType = priceType;
    const QStringList statements = schemaStatements(schema);
    if (statements.isEmpty())
        return QStringLiteral("schema not found");
    QSqlDatabase server = db;
    QSqlQuery query(server);
    if (!server.transaction())
        return server.lastError().text();
    for (const QString &statement : statements) {
        // The statements end with the ";" that separates them in the script.
        const QString sql = statement.endsWith(QLatin1Char(';')) ? statement.chopped(1) : statement;
        if (!query.exec(sql)) {
            const QString error = query.lastError().text() + QStringLiteral(": ") + sql;
            server.rollback();
            return error;
        }
    }
    return server.commit() ? QString() : server.lastError().text();
}

QString fillServerTables(const QSqlDatabase &db, const Options &options, quint32 seed,
                         CatalogFigures &figures)
{
    QSqlDatabase server = db;
    if (!server.transaction())
        return server.lastError().text();
    const QString error = writeSampleData(server, options, seed, figures);
    if (!error.isEmpty()) {
        server.rollback();
        return error;
    }
    return server.commit() ? QString() : server.lastError().text();
}

} // namespace krt::install
