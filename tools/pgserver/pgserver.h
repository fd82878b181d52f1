#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace krt::test {

// A private PostgreSQL 15 server for the tests of one executable or for the benchmark, reached
// the way SQL Server users reach theirs: Qt's ODBC driver, unixODBC and the PostgreSQL ODBC
// driver. It lives in a temporary folder with its own socket folder and no TCP port, is started on
// first use and stopped when the executable ends, also when it fails or is killed.
class PgServer
{
public:
    // The one server of this executable, started on the first call.
    static PgServer &instance();
    // Makes the server, when called before the first instance(), run as a shop runs its server:
    // commit durably with PostgreSQL's own defaults (fsync, synchronous_commit and
    // full_page_writes on), with a buffer pool that holds a large store (2 GB) and room for the
    // WAL of a whole conversion between checkpoints (8 GB). Without it the server skips the
    // durability and keeps PostgreSQL's sizes: the tests' data live only as long as the tests.
    static void useShopConfiguration();

    ~PgServer();
    PgServer(const PgServer &) = delete;
    PgServer &operator=(const PgServer &) = delete;

    // Why the server cannot be had on this machine (binaries or ODBC driver missing); empty when
    // it can. Tests skip with this reason; the benchmark measures the embedded engine only.
    const QString &skipReason() const { return m_skip; }
    // What went wrong while starting a server that should have started; tests fail with it.
    const QString &error() const { return m_error; }
    bool isRunning() const { return m_running; }

    // Creates a new, empty database; empty text on success, otherwise what failed.
    QString createDatabase(const QString &name);

    // The ODBC connection string of a database, for QODBC.
    QString odbcText(const QString &database) const;
    // A connection text of the product family that opens the database through the program's
    // ODBC path (Provider=MSDASQL with the PostgreSQL driver named).
    QString connectionText(const QString &database) const;

    // Runs statements on a database through psql as the superuser, outside any connection of
    // the program; empty text on success, otherwise psql's messages.
    QString psql(const QString &database, const QString &sql) const;

    QString user() const { return QStringLiteral("krt"); }
    QString socketFolder() const;

private:
    PgServer();
    void start();
    void stop();
    // Runs one of the server's programs, as the server's owner; its output, and whether it ran
    // and ended with 0.
    bool run(const QString &program, const QStringList &arguments, QString *output = nullptr) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_skip;
    QString m_error;
    bool m_asRoot = false;
    bool m_running = false;
};

} // namespace krt::test
