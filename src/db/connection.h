#pragma once

#include "db/dialect.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>
#include <vector>

namespace krt {

// One entry of a connection's error collection: what the driver said about the operation that
// just failed, and which statement it was.
struct DbError
{
    QString description; // the driver's or database's text
    QString nativeCode;  // the engine's own error code, empty when the driver gives none
    QString statement;   // the statement text that failed, empty for connection-level failures
    QString source;      // the driver name (QSQLITE, QODBC)
};
using DbErrors = QList<DbError>;

// A failure found by the program itself rather than by a driver, as an entry of the same kind.
inline DbError programError(const QString &description, const QString &statement = {})
{
    return {description, {}, statement, QStringLiteral("KRT550")};
}

// An error collection as the messages show it: per error its source, text and native code, then
// the statement that failed.
QStringList errorLines(const DbErrors &errors);

// A result read completely when it is opened, so that its record count is exact and the
// statement holds no cursor on the server while the program works with the rows.
class Recordset
{
public:
    Recordset() = default;
    Recordset(QStringList fieldNames, std::vector<QVariantList> rows);

    bool eof() const { return m_pos >= m_rows.size(); }
    void moveNext();
    int recordCount() const { return static_cast<int>(m_rows.size()); }
    int fieldCount() const { return static_cast<int>(m_names.size()); }
    QString fieldName(int index) const { return m_names.value(index); }

    // The value of a field of the current record; a Null field gives a null QVariant
    // (QVariant::isNull), which stays distinct from an empty text.
    QVariant field(int index) const;
    QVariant field(const QString &name) const;
    bool isNull(int index) const { return field(index).isNull(); }

    void close();

private:
    QStringList m_names;
    std::vector<QVariantList> m_rows;
    std::size_t m_pos = 0;
};

// The engine behind an open connection; decides which dialect adapter statements go through
// before they are sent.
enum class Engine { None, Sqlite, SqlServer, PostgreSql, OtherOdbc };

// The statements a new session of the engine runs before any of the program's own. On SQL Server
// "SET NOCOUNT OFF": a server whose user options turn the counts of changed rows off would
// otherwise report -1 for every UPDATE, and the run decides from that count whether it recorded
// a category itself.
QStringList sessionStatements(Engine engine);

// The program's one database connection. Statements are written in SQL Server's dialect; on the
// embedded engine and on PostgreSQL the dialect adapter rewrites what the engine cannot take, and
// on SQL Server their string literals go as Unicode texts (N'...'). A statement with string
// literals goes as its shape, compiled once per connection, with the literals bound as values:
// a run sends the same few shapes for every category, with other codes and dates.
class Connection
{
public:
    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Opens the connection described by a connection text of the product family (OLE DB form).
    bool open(const QString &connectionText);
    void close();
    bool isOpen() const;
    Engine engine() const { return m_engine; }
    // The name of the open database: the connection text's Initial Catalog (TMCS00 ...).
    const QString &catalog() const { return m_catalog; }

    // Whether the database is still there: the engine answers a statement and, on the embedded
    // engine, the database file has not been removed under the open connection (the engine would
    // go on writing into a file nobody can open again). When it is gone, errors() says why.
    bool isAlive();

    bool execute(const QString &sql);
    // How many rows the last execute changed; -1 when it failed or the driver cannot tell.
    int rowsAffected() const { return m_rowsAffected; }
    // Reads the result whole, or its first maxRows rows when maxRows is not negative.
    std::optional<Recordset> openRecordset(const QString &sql, int maxRows = -1);
    // Reads the result row by row, each handed to row on the query standing on it, without
    // keeping it: for a large result the caller keeps in its own form. False, with the errors,
    // when the statement or a row fails.
    using RowReader = std::function<void(const QSqlQuery &query)>;
    bool readRows(const QString &sql, const RowReader &row);

    bool beginTrans();
    bool commitTrans();
    bool rollbackTrans();
    bool inTransaction() const { return m_inTransaction; }

    // While held, the embedded engine in WAL mode copies no committed transaction back into the
    // database file: a run's many small commits would otherwise each time the log passes its
    // limit wait for a copy and its disk flushes. Releasing copies everything at once, without
    // waiting for other readers. A crash meanwhile loses nothing committed: the log is kept and
    // the engine reads it on the next open. Other engines are not affected.
    void holdCheckpoints();
    void releaseCheckpoints();

    // The errors of the last failed operation; emptied when an operation starts.
    const DbErrors &errors() const { return m_errors; }

    QSqlDatabase database() const;

    // Lets tests and fault trials make the database reject a statement: the hook sees every
    // statement text (as the program wrote it) before it is sent and may refuse it with a
    // description, as a driver failure would.
    using StatementHook = std::function<std::optional<QString>(const QString &sql)>;
    void setStatementHook(StatementHook hook) { m_hook = std::move(hook); }

private:
    // Opens an ODBC connection again that the server dropped (restarted, or the session ended by an
    // administrator), when no transaction is open on it: nothing of it is pending, so the next
    // statement runs on a new session, set up by open() like the first, instead of failing for
    // good. False when it cannot be opened.
    bool revive();
    // Runs the engine's session statements on the connection just opened; false (and the error
    // kept) when one fails.
    bool startSession();
    // Sends a statement, forward only: the shape's prepared query with the literals bound when
    // the dialect binds them, otherwise the adapted text on a query of its own. Nothing, with the
    // errors, when it fails.
    std::optional<QSqlQuery> send(const QString &sql);
    // The prepared query of a shape, prepared now when it is new; none when the shape's query is
    // still being read (a statement sent while rows are read) or the engine does not prepare it.
    QSqlQuery *preparedQuery(const QString &shape);
    // Runs a query for reading; nothing, with the errors, when it fails. The reader finishes the
    // query when it is done, so that its prepared statement holds no result.
    std::optional<QSqlQuery> select(const QString &sql);
    bool refusedByHook(const QString &sql);
    void recordError(const QSqlError &error, const QString &statement);

    QString m_name;
    QString m_connectionText; // of the last successful open, for revive()
    Engine m_engine = Engine::None;
    QString m_catalog;
    bool m_inTransaction = false;
    int m_rowsAffected = -1;
    int m_autoCheckpoint = -1; // the engine's log limit in pages while checkpoints are held
    DialectCache m_dialect;
    QHash<QString, QSqlQuery> m_prepared; // by shape, for the connection open now
    DbErrors m_errors;
    StatementHook m_hook;
};

} // namespace krt
