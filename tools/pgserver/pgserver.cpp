#include "pgserver/pgserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>

#include <unistd.h>

namespace krt::test {

namespace {

const QString Port = QStringLiteral("5432");
const QString OdbcDriver = QStringLiteral("PostgreSQL Unicode");

bool shopConfiguration = false;

QString binFolder()
{
    const QString chosen = qEnvironmentVariable("KRT_PG_BIN");
    return chosen.isEmpty() ? QStringLiteral("/usr/lib/postgresql/15/bin") : chosen;
}

QString binary(const QString &name)
{
    return QDir(binFolder()).filePath(name);
}

// Whether unixODBC knows the PostgreSQL driver: the system's or the user's odbcinst.ini.
bool odbcDriverRegistered()
{
    const QString systemFolder = qEnvironmentVariable("ODBCSYSINI", QStringLiteral("/etc"));
    for (const QString &file : {QDir(systemFolder).filePath(QStringLiteral("odbcinst.ini")),
                                QDir::homePath() + QStringLiteral("/.odbcinst.ini")}) {
        if (QFileInfo::exists(file) &&
            QSettings(file, QSettings::IniFormat).childGroups().contains(OdbcDriver))
            return true;
    }
    return false;
}

} // namespace

void PgServer::useShopConfiguration()
{
    shopConfiguration = true;
}

PgServer &PgServer::instance()
{
    static PgServer server;
    return server;
}

PgServer::PgServer()
{
    if (!QFileInfo(binary(QStringLiteral("initdb"))).isExecutable() ||
        !QFileInfo(binary(QStringLiteral("pg_ctl"))).isExecutable() ||
        !QFileInfo(binary(QStringLiteral("psql"))).isExecutable())
        m_skip =
            QStringLiteral("PostgreSQL 15 is not installed (no initdb, pg_ctl, psql in %1; scripts/setup "
                           "installs postgresql-15)")
                .arg(binFolder());
    else if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
        m_skip = QStringLiteral("Qt's ODBC driver QODBC is not installed (libqt6sql6-odbc)");
    else if (!odbcDriverRegistered())
        m_skip = QStringLiteral("the ODBC driver \"%1\" is not registered with unixODBC (odbc-postgresql)")
                     .arg(OdbcDriver);
    if (m_skip.isEmpty())
        start();
}

PgServer::~PgServer()
{
    stop();
}

QString PgServer::socketFolder() const
{
    return m_dir ? m_dir->filePath(QStringLiteral("socket")) : QString();
}

bool PgServer::run(const QString &program, const QStringList &arguments, QString *output) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // initdb refuses to run as root: the server's programs run as the package's own user, who owns
    // the server's folder.
    if (m_asRoot)
        process.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                                             QStringLiteral("--"), program} +
                                                     arguments);
    else
        process.start(program, arguments);
    const bool finished = process.waitForFinished(120000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void PgServer::start()
{
    m_asRoot = ::geteuid() == 0;
    m_dir = std::make_unique<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("krt-pg-XXXXXX")));
    if (!m_dir->isValid()) {
        m_error = QStringLiteral("no temporary folder for the server");
        return;
    }
    const QString data = m_dir->filePath(QStringLiteral("data"));
    if (!QDir().mkpath(socketFolder())) {
        m_error = QStringLiteral("cannot create ") + socketFolder();
        return;
    }
    if (m_asRoot &&
        QProcess::execute(QStringLiteral("chown"),
                          {QStringLiteral("-R"), QStringLiteral("postgres:"), m_dir->path()}) != 0) {
        m_error = QStringLiteral("cannot give %1 to the user postgres").arg(m_dir->path());
        return;
    }
    QString output;
    if (!run(binary(QStringLiteral("initdb")),
             {QStringLiteral("-D"), data, QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-U"),
              user(), QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C"),
              QStringLiteral("--no-sync"), QStringLiteral("--no-instructions")},
             &output)) {
        m_error = QStringLiteral("initdb failed: ") + output;
        return;
    }
    // Should this process die without stopping the server (a crash, a timeout's kill), a watcher
    // stops it and removes its folder once the process is gone.
    const QString asOwner = m_asRoot ? QStringLiteral("runuser -u postgres -- ") : QString();
    const QString watch =
        QStringLiteral("while kill -0 %1 2>/dev/null; do sleep 1; done; %2'%3' -D '%4' -m immediate stop "
                       ">/dev/null 2>&1; rm -rf '%5'")
            .arg(QCoreApplication::applicationPid())
            .arg(asOwner, binary(QStringLiteral("pg_ctl")), data, m_dir->path());
    QProcess::startDetached(QStringLiteral("sh"), {QStringLiteral("-c"), watch});
    // Unless asked for, no durability is needed: the server's data live as long as the tests. A
    // shop's server commits durably and holds its databases in memory; with PostgreSQL's own
    // buffer pool (128 MB) and WAL between checkpoints (1 GB), converting a store of a million goods
    // checkpoints every 20 seconds (the server's log says they come too often), and where the
    // checkpoints fall would decide the time of a run.
    const QString configuration = shopConfiguration
                                      ? QStringLiteral("-c shared_buffers=2GB -c max_wal_size=8GB ")
                                      : QStringLiteral("-c fsync=off -c synchronous_commit=off "
                                                       "-c full_page_writes=off ");
    const QString options = QStringLiteral("-k %1 -c listen_addresses='' %2-c deadlock_timeout=200ms -p %3")
                                .arg(socketFolder(), configuration, Port);
    if (!run(binary(QStringLiteral("pg_ctl")),
             {QStringLiteral("-D"), data, QStringLiteral("-l"), m_dir->filePath(QStringLiteral("server.log")),
              QStringLiteral("-w"), QStringLiteral("-o"), options, QStringLiteral("start")},
             &output)) {
        m_error = QStringLiteral("pg_ctl start failed: ") + output;
        return;
    }
    m_running = true;
}

void PgServer::stop()
{
    if (!m_running)
        return;
    run(binary(QStringLiteral("pg_ctl")),
        {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-m"),
         QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")});
    m_running = false;
}

QString PgServer::psql(const QString &database, const QString &sql) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(binary(QStringLiteral("psql")),
                  {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                   QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), socketFolder(),
                   QStringLiteral("-p"), Port, QStringLiteral("-U"), user(), QStringLiteral("-d"), database,
                   QStringLiteral("-c"), sql});
    if (!process.waitForFinished(600000))
        return QStringLiteral("psql did not finish");
    const QString output = QString::fromLocal8Bit(process.readAll());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return output.isEmpty() ? QStringLiteral("psql failed") : output;
    return {};
}

QString PgServer::createDatabase(const QString &name)
{
    if (!m_running)
        return m_error.isEmpty() ? QStringLiteral("the server is not running") : m_error;
    return psql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE \"%1\"").arg(name));
}

QString PgServer::odbcText(const QString &database) const
{
    return QStringLiteral("Driver={%1};Servername=%2;Port=%3;Database=%4;Username=%5;")
        .arg(OdbcDriver, socketFolder(), Port, database, user());
}

QString PgServer::connectionText(const QString &database) const
{
    return QStringLiteral("Provider=MSDASQL;Driver={%1};Servername=%2;Port=%3;Username=%4;Initial Catalog=%5;"
                          "Data Source=%2;")
        .arg(OdbcDriver, socketFolder(), Port, user(), database);
}

} // namespace krt::test
