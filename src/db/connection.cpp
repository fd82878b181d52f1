#include "db/connection.h"

#include "db/connectiontext.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sql.h>
#include <sqlext.h>

namespace krt {

Recordset::Recordset(QStringList fieldNames, std::vector<QVariantList> rows)
    : m_names(std::move(fieldNames))
    , m_rows(std::move(rows))
{}

void Recordset::moveNext()
{
    if (!eof())
        ++m_pos;
}

QVariant Recordset::field(int index) const
{
    if (eof() || index < 0 || index >= m_names.size())
        return {};
    return m_rows[m_pos].value(index);
}

QVariant Recordset::field(const QString &name) const
{
    for (int i = 0; i < m_names.size(); ++i)
        if (m_names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return field(i);
    return {};
}

void Recordset::close()
{
    m_rows.clear();
    m_pos = 0;
}

namespace {

// Whether the embedded engine keeps a write-ahead log.
bool inWalMode(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("PRAGMA journal_mode")) && query.next() &&
           query.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) == 0;
}

// In WAL mode a commit on the embedded engine need not wait for the disk: the log reaches the disk
// when it is copied into the database file. A crash of the program loses nothing; a power failure
// can undo the last commits, each category whole with its record, and never damages the file.
// The other journal modes keep the engine's default, since there a power failure could.
void relaxCommitSync(const QSqlDatabase &db)
{
    if (inWalMode(db))
        QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
}

// The engine an ODBC connection reached, from the name the driver gives its database system; the
// planned engine when the driver names none this program knows.
Engine odbcEngine(const QSqlDatabase &db, Engine planned)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || handle.metaType() != QMetaType::fromType<SQLHANDLE>())
        return planned;
    const SQLHANDLE connection = *static_cast<const SQLHANDLE *>(handle.constData());
    SQLCHAR name[128] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(connection, SQL_DBMS_NAME, name, sizeof name, &length)))
        return planned;
    const QString dbms = QString::fromLatin1(reinterpret_cast<const char *>(name));
    if (dbms.contains(QStringLiteral("PostgreSQL"), Qt::CaseInsensitive))
        return Engine::PostgreSql;
    if (dbms.contains(QStringLiteral("SQL Server"), Qt::CaseInsensitive))
        return Engine::SqlServer;
    if (dbms.contains(QStringLiteral("SQLite"), Qt::CaseInsensitive))
        return Engine::Sqlite;
    return planned;
}

// The database name that makes Qt's ODBC driver connect with an ODBC connection string: the driver
// passes a string naming a DRIVER or SERVER as it stands and puts "DSN=" before any other, so a
// string that names its data source goes without that key.
QString odbcDatabaseName(const QString &connectionString)
{
    if (connectionString.contains(QStringLiteral("DRIVER="), Qt::CaseInsensitive) ||
        connectionString.contains(QStringLiteral("SERVER="), Qt::CaseInsensitive) ||
        !connectionString.startsWith(QStringLiteral("DSN="), Qt::CaseInsensitive))
        return connectionString;
    return connectionString.mid(4);
}

// Whether the ODBC driver knows its connection to the server to be lost; asked of the driver
// without a round trip to the server.
bool odbcConnectionDead(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || handle.metaType() != QMetaType::fromType<SQLHANDLE>())
        return false;
    const SQLHANDLE connection = *static_cast<const SQLHANDLE *>(handle.constData());
    SQLUINTEGER dead = SQL_CD_FALSE;
    return SQL_SUCCEEDED(SQLGetConnectAttr(connection, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
           dead == SQL_CD_TRUE;
}

// A run sends a handful of statement shapes; a bound keeps a caller's ever new shapes from holding
// statements on the server without end.
constexpr qsizetype MaxPrepared = 64;

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("krt550-%1").arg(counter.fetchAndAddRelaxed(1));
}
} // namespace

QStringList errorLines(const DbErrors &errors)
{
    QStringList lines;
    for (const DbError &e : errors) {
        QString line = e.source.isEmpty() ? e.description : e.source + QStringLiteral(": ") + e.description;
        if (!e.nativeCode.isEmpty())
            line += QStringLiteral(" (") + e.nativeCode + QStringLiteral(")");
        lines.append(line);
        if (!e.statement.isEmpty())
            lines.append(QStringLiteral("SQL: ") + e.statement);
    }
    return lines;
}

QStringList sessionStatements(Engine engine)
{
    if (engine == Engine::SqlServer)
        return {QStringLiteral("SET NOCOUNT OFF")};
    return {};
}

Connection::Connection()
    : m_name(nextConnectionName())
{}

Connection::~Connection()
{
    close();
}

bool Connection::open(const QString &connectionText)
{
    close();
    m_errors.clear();
    const PlanResult result = planConnection(connectionText);
    if (!result.plan) {
        m_errors.append(programError(result.error));
        return false;
    }
    const ConnectionPlan &plan = *result.plan;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(plan.driver, m_name);
        db.setDatabaseName(plan.driver == QStringLiteral("QODBC") ? odbcDatabaseName(plan.databaseName)
                                                                  : plan.databaseName);
        db.setUserName(plan.userName);
        db.setPassword(plan.password);
        db.setConnectOptions(plan.connectOptions);
        if (!db.open()) {
            recordError(db.lastError(), {});
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_name);
            return false;
        }
    }
    m_engine = plan.driver == QStringLiteral("QODBC") ? odbcEngine(database(), plan.engine) : plan.engine;
    m_catalog = plan.catalog;
    // Both the embedded engine and PostgreSQL's driver (which sends a bound text without a type, so
    // that the server gives it the type its place needs, as to a literal) take a bound text as they
    // take a literal; SQL Server's driver binds it as a Unicode text, as the adapter's N'...'.
    m_dialect =
        m_engine == Engine::Sqlite       ? DialectCache(toSqliteDialect, DialectCache::Binding::Plain)
        : m_engine == Engine::PostgreSql ? DialectCache(toPostgresDialect, DialectCache::Binding::Plain)
        : m_engine == Engine::SqlServer  ? DialectCache(toSqlServerDialect, DialectCache::Binding::National)
                                         : DialectCache();
    if (m_engine == Engine::Sqlite)
        relaxCommitSync(database());
    if (!startSession()) {
        close();
        return false;
    }
    m_connectionText = connectionText;
    return true;
}

bool Connection::startSession()
{
    // Past the statement hook, like isAlive: these statements belong to the session, not to the
    // program's work that fault trials count.
    QSqlQuery query(database());
    for (const QString &statement : sessionStatements(m_engine)) {
        if (!query.exec(statement)) {
            recordError(query.lastError(), statement);
            return false;
        }
    }
    return true;
}

bool Connection::revive()
{
    if (m_inTransaction || m_connectionText.isEmpty() || database().driverName() != QStringLiteral("QODBC") ||
        !odbcConnectionDead(database()))
        return true;
    const QString text = m_connectionText;
    return open(text);
}

void Connection::close()
{
    // The prepared queries belong to the session that ends here, and removing the connection while
    // they live would leave them dangling.
    m_prepared.clear();
    if (!QSqlDatabase::contains(m_name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (m_inTransaction)
            db.rollback();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_engine = Engine::None;
    m_autoCheckpoint = -1;
    m_catalog.clear();
    m_inTransaction = false;
}

bool Connection::isOpen() const
{
    return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

QSqlQuery *Connection::preparedQuery(const QString &shape)
{
    const auto found = m_prepared.find(shape);
    if (found != m_prepared.end())
        return found->isActive() && found->isSelect() ? nullptr : &*found;
    if (m_prepared.size() >= MaxPrepared)
        m_prepared.clear();
    QSqlQuery query(database());
    query.setForwardOnly(true);
    // A shape the engine refuses goes as text, which gives the engine's own error as ever.
    if (!query.prepare(shape))
        return nullptr;
    return &*m_prepared.insert(shape, query);
}

std::optional<QSqlQuery> Connection::send(const QString &sql)
{
    if (const std::optional<BoundStatement> bound = m_dialect.bind(sql)) {
        if (QSqlQuery *prepared = preparedQuery(bound->shape)) {
            for (qsizetype i = 0; i < bound->values.size(); ++i)
                prepared->bindValue(static_cast<int>(i), bound->values.at(i));
            if (prepared->exec())
                return *prepared;
            recordError(prepared->lastError(), sql);
            // Prepared anew next time, whatever state the failure left the statement in.
            m_prepared.remove(bound->shape);
            return std::nullopt;
        }
    }
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.exec(m_dialect.adapt(sql))) {
        recordError(query.lastError(), sql);
        return std::nullopt;
    }
    return query;
}

bool Connection::refusedByHook(const QString &sql)
{
    if (!m_hook)
        return false;
    if (const std::optional<QString> refusal = m_hook(sql)) {
        m_errors.append(programError(*refusal, sql));
        return true;
    }
    return false;
}

void Connection::recordError(const QSqlError &error, const QString &statement)
{
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.text();
    else if (!error.driverText().isEmpty() && error.driverText() != text)
        text = error.driverText() + QStringLiteral(": ") + text;
    const QString driverName = QSqlDatabase::contains(m_name) ? database().driverName() : QString();
    m_errors.append({text, error.nativeErrorCode(), statement, driverName});
}

bool Connection::isAlive()
{
    if (m_engine == Engine::Sqlite && database().driverName() == QStringLiteral("QSQLITE") &&
        !QFileInfo::exists(database().databaseName())) {
        m_errors = {
            programError(QStringLiteral("データベースファイルがありません: ") + database().databaseName())};
        return false;
    }
    // The question goes to the engine itself, past the statement hook: it is no statement of the
    // program's work, and fault trials count only those.
    m_errors.clear();
    if (!isOpen()) {
        m_errors.append(programError(QStringLiteral("データベースに接続されていません。")));
        return false;
    }
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT 1")) || !query.next()) {
        recordError(query.lastError(), QStringLiteral("SELECT 1"));
        return false;
    }
    return true;
}

bool Connection::execute(const QString &sql)
{
    m_errors.clear();
    m_rowsAffected = -1;
    if (!isOpen()) {
        m_errors.append(programError(QStringLiteral("データベースに接続されていません。"), sql));
        return false;
    }
    if (refusedByHook(sql) || !revive())
        return false;
    std::optional<QSqlQuery> query = send(sql);
    if (!query)
        return false;
    m_rowsAffected = query->numRowsAffected();
    // The statement is kept for its shape's next use: what it left on the engine goes now (a
    // result nobody reads, the further counts of a trigger on SQL Server), so that neither holds
    // the session or the statement.
    while (query->nextResult()) {
    }
    query->finish();
    return true;
}

std::optional<QSqlQuery> Connection::select(const QString &sql)
{
    m_errors.clear();
    if (!isOpen()) {
        m_errors.append(programError(QStringLiteral("データベースに接続されていません。"), sql));
        return std::nullopt;
    }
    if (refusedByHook(sql) || !revive())
        return std::nullopt;
    return send(sql);
}

std::optional<Recordset> Connection::openRecordset(const QString &sql, int maxRows)
{
    std::optional<QSqlQuery> query = select(sql);
    if (!query)
        return std::nullopt;
    const QSqlRecord record = query->record();
    QStringList names;
    names.reserve(record.count());
    for (int i = 0; i < record.count(); ++i)
        names.append(record.fieldName(i));
    std::vector<QVariantList> rows;
    while ((maxRows < 0 || rows.size() < static_cast<std::size_t>(maxRows)) && query->next()) {
        QVariantList row;
        row.reserve(record.count());
        for (int i = 0; i < record.count(); ++i)
            row.append(query->isNull(i) ? QVariant() : query->value(i));
        rows.push_back(std::move(row));
    }
    const QSqlError error = query->lastError();
    query->finish();
    if (error.isValid()) {
        recordError(error, sql);
        return std::nullopt;
    }
    return Recordset(std::move(names), std::move(rows));
}

bool Connection::readRows(const QString &sql, const RowReader &row)
{
    std::optional<QSqlQuery> query = select(sql);
    if (!query)
        return false;
    while (query->next())
        row(*query);
    const QSqlError error = query->lastError();
    query->finish();
    if (error.isValid()) {
        recordError(error, sql);
        return false;
    }
    return true;
}

bool Connection::beginTrans()
{
    m_errors.clear();
    if (!isOpen() || refusedByHook(QStringLiteral("BEGIN TRANSACTION")) || !revive())
        return false;
    QSqlDatabase db = database();
    if (!db.transaction()) {
        recordError(db.lastError(), QStringLiteral("BEGIN TRANSACTION"));
        return false;
    }
    m_inTransaction = true;
    return true;
}

bool Connection::commitTrans()
{
    m_errors.clear();
    if (!isOpen() || refusedByHook(QStringLiteral("COMMIT TRANSACTION")))
        return false;
    QSqlDatabase db = database();
    if (!db.commit()) {
        recordError(db.lastError(), QStringLiteral("COMMIT TRANSACTION"));
        return false;
    }
    m_inTransaction = false;
    return true;
}

void Connection::holdCheckpoints()
{
    if (m_engine != Engine::Sqlite || m_autoCheckpoint >= 0 || !isOpen())
        return;
    // Past the statement hook: these belong to the engine's housekeeping, not to the run's work.
    if (!inWalMode(database()))
        return;
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("PRAGMA wal_autocheckpoint")) || !query.next())
        return;
    const int limit = query.value(0).toInt();
    if (query.exec(QStringLiteral("PRAGMA wal_autocheckpoint = 0")))
        m_autoCheckpoint = limit;
}

void Connection::releaseCheckpoints()
{
    if (m_autoCheckpoint < 0)
        return;
    const int limit = m_autoCheckpoint;
    m_autoCheckpoint = -1;
    if (!isOpen())
        return;
    QSqlQuery query(database());
    query.exec(QStringLiteral("PRAGMA wal_autocheckpoint = %1").arg(limit));
    query.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
}

bool Connection::rollbackTrans()
{
    // A rollback keeps the errors of the failure that caused it, so that they can still be shown.
    if (!isOpen())
        return false;
    QSqlDatabase db = database();
    const bool done = db.rollback();
    m_inTransaction = false;
    return done;
}

} // namespace krt
