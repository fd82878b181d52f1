#include "bench/engine.h"

#include "bench/figures.h"
#include "bench/floor.h"
#include "bench/installations.h"

#include "catalog/catalogfile.h"
#include "pgserver/pgserver.h"
#include "pricing/pricestatements.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <unistd.h>

namespace krt::bench {

namespace {

// The category columns and the price columns of a price table: the nine of MGOODS, the three
// goods prices of the others.
QStringList digestColumns(PriceTable table)
{
    QStringList columns = {QStringLiteral("DAI_BUNRUI_CD"), QStringLiteral("CHU_BUNRUI_CD")};
    for (std::size_t i = 0; i < (table == PriceTable::MGoods ? pricing::MGoodsColumns.size() : 3); ++i)
        columns << QLatin1String(pricing::MGoodsColumns[i].name);
    return columns;
}

// The databases of the benchmark's server: the store, and the copy a run works on, named as the
// program names the catalog of the first data folder.
const QString ServerStore = QStringLiteral("store");
const QString ServerRun = QStringLiteral("TMCS00");

} // namespace

bool BenchEngine::openRun(Connection &connection) const
{
    return connection.open(runConnectionText()) ||
           fail(label() + QStringLiteral(": cannot open the run database: ") +
                connection.errors().value(0).description);
}

// ---------------------------------------------------------------------------------------------

EmbeddedEngine::EmbeddedEngine(QString root, QString kind, QString description)
    : m_root(std::move(root))
    , m_kind(std::move(kind))
    , m_description(std::move(description))
{}

bool EmbeddedEngine::prepare()
{
    return buildInChild(m_kind) &&
           prepareRunInstallation(runRoot(), installationRoot(m_root, m_kind), runConnectionText());
}

QString EmbeddedEngine::runRoot() const
{
    // The run installation of the main store keeps the name "run".
    return installationRoot(m_root,
                            m_kind == StoreKind ? QStringLiteral("run") : m_kind + QStringLiteral("-run"));
}

QString EmbeddedEngine::runConnectionText() const
{
    return install::connectionText(runRoot());
}

bool EmbeddedEngine::restoreRun(int stockMode)
{
    const QString file = catalogOf(runRoot());
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(file + suffix);
    if (!QFile::copy(catalogOf(installationRoot(m_root, m_kind)), file))
        return fail(QStringLiteral("cannot copy the store's catalog to ") + file);
    // The copy reaches the disk before the measurement, so that its write-back does not slow the
    // measured commits down.
    QFile copy(file);
    if (!copy.open(QIODevice::ReadWrite) || ::fsync(copy.handle()) != 0)
        return fail(QStringLiteral("cannot write ") + file + QStringLiteral(" to the disk"));
    copy.close();
    const QString error = install::runScript(
        file, QStringLiteral("UPDATE MSYSPARM SET NAIYO = '%1' WHERE PARM_NO = 1200;").arg(stockMode));
    return error.isEmpty() || fail(QStringLiteral("cannot set the stock mode: ") + error);
}

QString EmbeddedEngine::settings(const QSqlDatabase &db) const
{
    QStringList settings;
    for (const char *pragma : {"journal_mode", "synchronous", "cache_size", "busy_timeout"}) {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("PRAGMA ") + QLatin1String(pragma)) && query.next())
            settings << QLatin1String(pragma) + QLatin1Char(' ') + query.value(0).toString();
    }
    return settings.join(QStringLiteral(", "));
}

// Every copy of the store keeps the rowids of its rows: the rows are read in rowid order, each
// value as the engine's literal of it (its type told apart).
bool EmbeddedEngine::digests(PriceDigests &digests) const
{
    const install::CatalogConnection catalog(catalogOf(runRoot()));
    if (!catalog.error().isEmpty())
        return fail(QStringLiteral("cannot open the run catalog: ") + catalog.error());
    for (std::size_t t = 0; t < digests.size(); ++t) {
        QStringList values;
        for (const QString &column : digestColumns(PriceTables[t]))
            values << QStringLiteral("quote(%1)").arg(column);
        QSqlQuery query(catalog.db());
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                            .arg(values.join(QStringLiteral(" || '|' || ")), tableName(PriceTables[t]))))
            return fail(QStringLiteral("cannot read the prices of the run catalog: ") +
                        query.lastError().text());
        QCryptographicHash hash(QCryptographicHash::Md5);
        qint64 rows = 0;
        for (; query.next(); ++rows) {
            hash.addData(query.value(0).toString().toUtf8());
            hash.addData(QByteArrayView("\n"));
        }
        digests[t] = {rows, QString::fromLatin1(hash.result().toHex())};
    }
    return true;
}

// ---------------------------------------------------------------------------------------------

ServerEngine::ServerEngine(QString root, QString description)
    : m_root(std::move(root))
    , m_description(std::move(description))
{}

QString ServerEngine::unavailable()
{
    return test::PgServer::instance().skipReason();
}

// Starts the server, builds its store in a child process over the ODBC path and gathers the
// planner's statistics, which every copy of the store takes over with the visibility map.
bool ServerEngine::prepare()
{
    test::PgServer &server = test::PgServer::instance();
    if (!server.isRunning())
        return fail(QStringLiteral("the server did not start: ") + server.error());
    QTextStream(stdout) << "Server engine: PostgreSQL in " << QDir::toNativeSeparators(server.socketFolder())
                        << ", reached over QODBC\n";
    const QString error = server.createDatabase(ServerStore);
    if (!error.isEmpty())
        return fail(QStringLiteral("cannot create the server's store: ") + error);
    if (!buildInChild(ServerKind, server.connectionText(ServerStore)))
        return false;
    const QString analyze = server.psql(ServerStore, QStringLiteral("VACUUM ANALYZE"));
    if (!analyze.isEmpty())
        return fail(QStringLiteral("VACUUM ANALYZE failed on the server: ") + analyze);
    return prepareRunInstallation(runRoot(), installationRoot(m_root, StoreKind), runConnectionText());
}

QString ServerEngine::runRoot() const
{
    return installationRoot(m_root, QStringLiteral("server-run"));
}

QString ServerEngine::runConnectionText() const
{
    return test::PgServer::instance().connectionText(ServerRun);
}

bool ServerEngine::restoreRun(int stockMode)
{
    const test::PgServer &server = test::PgServer::instance();
    QString error = server.psql(QStringLiteral("postgres"),
                                QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(ServerRun));
    if (error.isEmpty())
        error = server.psql(QStringLiteral("postgres"),
                            QStringLiteral("CREATE DATABASE \"%1\" TEMPLATE \"%2\" STRATEGY FILE_COPY")
                                .arg(ServerRun, ServerStore));
    if (error.isEmpty())
        error = server.psql(
            ServerRun,
            QStringLiteral("UPDATE MSYSPARM SET NAIYO = '%1' WHERE PARM_NO = 1200").arg(stockMode));
    return error.isEmpty() || fail(QStringLiteral("cannot copy the server's store: ") + error);
}

QString ServerEngine::settings(const QSqlDatabase &db) const
{
    QStringList settings;
    for (const char *setting : {"server_version", "transaction_isolation", "fsync", "synchronous_commit",
                                "full_page_writes", "shared_buffers", "max_wal_size"}) {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("SHOW ") + QLatin1String(setting)) && query.next())
            settings << QLatin1String(setting) + QLatin1Char(' ') + query.value(0).toString();
    }
    return settings.join(QStringLiteral(", "));
}

// A row's place changes when it is updated: the digest is the server's own over the rows' texts
// in their sorted order, so that only the rows' values cross the connection's path.
bool ServerEngine::digests(PriceDigests &digests) const
{
    const QString name = QStringLiteral("krt550-bench-digest");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
        db.setDatabaseName(test::PgServer::instance().odbcText(ServerRun));
        ok = db.open();
        for (std::size_t t = 0; ok && t < digests.size(); ++t) {
            QSqlQuery query(db);
            ok = query.exec(QStringLiteral("SELECT COUNT(*), md5(string_agg(r, '|' ORDER BY r)) FROM (SELECT "
                                           "CAST(ROW(%1) AS TEXT) AS r FROM %2) x")
                                .arg(digestColumns(PriceTables[t]).join(QStringLiteral(", ")),
                                     tableName(PriceTables[t]))) &&
                 query.next();
            if (ok)
                digests[t] = {query.value(0).toLongLong(), query.value(1).toString()};
            else
                qWarning().noquote() << "krt550-bench:" << query.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok || fail(QStringLiteral("cannot read the prices of the server's run database"));
}

} // namespace krt::bench
