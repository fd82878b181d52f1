#include "catalog/catalogfile.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace krt::install {

namespace {

QString execute(const QString &file, const QStringList &statements)
{
    const CatalogConnection connection(file);
    if (!connection.error().isEmpty())
        return connection.error();
    QSqlDatabase db = connection.db();
    QSqlQuery query(db);
    db.transaction();
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            const QString error = query.lastError().text() + QStringLiteral(": ") + statement;
            db.rollback();
            return error;
        }
    }
    db.commit();
    return {};
}

} // namespace

QString createCatalog(const QString &file, const Schema &schema)
{
    if (QFileInfo::exists(file))
        return QStringLiteral("already exists: ") + file;
    const QStringList statements = schemaStatements(schema);
    if (statements.isEmpty())
        return QStringLiteral("schema not found");
    return execute(file, statements);
}

QString runScript(const QString &file, const QString &script)
{
    if (!QFileInfo::exists(file))
        return QStringLiteral("no such catalog: ") + file;
    return execute(file, scriptStatements(script));
}

CatalogConnection::CatalogConnection(const QString &file)
    : m_name(QStringLiteral("krt-catalog-") + QUuid::createUuid().toString(QUuid::Id128))
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setDatabaseName(file);
    if (!db.open())
        m_error = db.lastError().text();
}

CatalogConnection::~CatalogConnection()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase CatalogConnection::db() const
{
    return QSqlDatabase::database(m_name, false);
}

} // namespace krt::install
