#include "installation.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace krt::install {

namespace {

QStringList splitStatements(const QString &script)
{
    QStringList statements;
    QString current;
    for (const QString &line : script.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QStringLiteral("--")))
            continue;
        current += line + QLatin1Char('\n');
        if (trimmed.endsWith(QLatin1Char(';'))) {
            statements.append(current.trimmed());
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        statements.append(current.trimmed());
    return statements;
}

QString execute(const QString &file, const QStringList &statements)
{
    const QString name = QStringLiteral("krt-install-") + QUuid::createUuid().toString(QUuid::Id128);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery query(db);
            db.transaction();
            for (const QString &statement : statements) {
                if (!query.exec(statement)) {
                    error = query.lastError().text() + QStringLiteral(": ") + statement;
                    break;
                }
            }
            if (error.isEmpty())
                db.commit();
            else
                db.rollback();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

} // namespace

QString createCatalog(const QString &file)
{
    if (QFileInfo::exists(file))
        return QStringLiteral("already exists: ") + file;
    QFile schema(QStringLiteral(":/krt/install/schema.sql"));
    if (!schema.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringLiteral("schema not found");
    return execute(file, splitStatements(QString::fromUtf8(schema.readAll())));
}

QString runScript(const QString &file, const QString &script)
{
    if (!QFileInfo::exists(file))
        return QStringLiteral("no such catalog: ") + file;
    return execute(file, splitStatements(script));
}

} // namespace krt::install
