#include "db/connectiontext.h"

#include "conntext/entries.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace krt {

namespace {

// An ODBC attribute value, braced ("}" doubled inside) when it holds a character that would end
// it or be read as the start of another attribute, or blanks at either end, which a driver drops
// from a value that is not braced.
QString odbcValue(const QString &value)
{
    const bool plain = !value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('=')) &&
                       !value.contains(QLatin1Char('{')) && !value.contains(QLatin1Char('}')) &&
                       (value.isEmpty() || (!value.front().isSpace() && !value.back().isSpace()));
    if (plain)
        return value;
    return QLatin1Char('{') + QString(value).replace(QStringLiteral("}"), QStringLiteral("}}")) +
           QLatin1Char('}');
}

// The password as QSqlDatabase::setPassword takes it for Qt's ODBC driver. The driver appends
// ";PWD=" and the password to the connection string without quoting it, so a password with ";",
// "=", braces or blanks at its ends goes braced here and reaches the ODBC driver whole.
QString odbcPassword(const QList<ConnectionEntry> &entries)
{
    return odbcValue(entryValue(entries, QStringLiteral("Password")));
}

// The ODBC drivers registered with the driver manager (odbcinst.ini).
QStringList installedOdbcDrivers()
{
    QStringList files;
    const QString sysconf = qEnvironmentVariable("ODBCSYSINI");
    files << (sysconf.isEmpty() ? QStringLiteral("/etc") : sysconf) + QStringLiteral("/odbcinst.ini");
    files << QDir::homePath() + QStringLiteral("/.odbcinst.ini");
    QStringList drivers;
    for (const QString &file : files) {
        if (!QFileInfo::exists(file))
            continue;
        QSettings ini(file, QSettings::IniFormat);
        drivers << ini.childGroups();
    }
    return drivers;
}

QString sqlServerDriver(const QList<ConnectionEntry> &entries)
{
    const QString named = entryValue(entries, QStringLiteral("Driver"));
    if (!named.isEmpty())
        return named;
    const QStringList drivers = installedOdbcDrivers();
    for (const QString &preferred :
         {QStringLiteral("ODBC Driver 18 for SQL Server"), QStringLiteral("ODBC Driver 17 for SQL Server"),
          QStringLiteral("SQL Server")})
        if (drivers.contains(preferred))
            return preferred;
    return QStringLiteral("FreeTDS");
}

const QString OdbcTimeouts = QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=15;SQL_ATTR_CONNECTION_TIMEOUT=30");

PlanResult planSqlite(const QString &folder, const QString &catalog, bool readOnly)
{
    const QString file = QDir(folder).filePath(catalog + QStringLiteral(".db"));
    const QFileInfo info(file);
    if (!info.isFile())
        return {std::nullopt, QStringLiteral("データベースファイルがありません: ") + file};
    ConnectionPlan plan;
    plan.driver = QStringLiteral("QSQLITE");
    plan.databaseName = info.absoluteFilePath();
    // A writer that finds the database busy waits instead of failing at once.
    plan.connectOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000");
    if (readOnly)
        plan.connectOptions += QStringLiteral(";QSQLITE_OPEN_READONLY");
    plan.engine = Engine::Sqlite;
    return {plan, {}};
}

PlanResult planSqlServer(const QList<ConnectionEntry> &entries, const QString &server, const QString &catalog)
{
    const QString driver = sqlServerDriver(entries);
    QString text = QStringLiteral("DRIVER={%1};").arg(driver);
    if (driver.contains(QStringLiteral("FreeTDS"), Qt::CaseInsensitive)) {
        // FreeTDS names the port separately and needs a protocol version SQL Server accepts.
        const QString host = server.section(QLatin1Char(','), 0, 0);
        const QString port = server.section(QLatin1Char(','), 1, 1);
        text += QStringLiteral("SERVER=") + odbcValue(host) + QLatin1Char(';');
        if (!port.isEmpty())
            text += QStringLiteral("PORT=") + port + QLatin1Char(';');
        text += QStringLiteral("TDS_Version=7.4;ClientCharset=UTF-8;");
    } else {
        text += QStringLiteral("SERVER=") + odbcValue(server) + QLatin1Char(';');
        if (!hasEntry(entries, QStringLiteral("Encrypt")) && driver.contains(QStringLiteral("18")))
            text += QStringLiteral("TrustServerCertificate=yes;");
    }
    text += QStringLiteral("DATABASE=") + odbcValue(catalog) + QLatin1Char(';');
    ConnectionPlan plan;
    if (entryValue(entries, QStringLiteral("Integrated Security"))
                .compare(QStringLiteral("SSPI"), Qt::CaseInsensitive) == 0 ||
        entryValue(entries, QStringLiteral("Trusted_Connection"))
                .compare(QStringLiteral("yes"), Qt::CaseInsensitive) == 0) {
        text += QStringLiteral("Trusted_Connection=yes;");
    } else {
        plan.userName = entryValue(entries, QStringLiteral("User ID"));
        plan.password = odbcPassword(entries);
    }
    plan.driver = QStringLiteral("QODBC");
    plan.databaseName = text;
    plan.connectOptions = OdbcTimeouts;
    plan.engine = Engine::SqlServer;
    return {plan, {}};
}

PlanResult planOdbc(const QList<ConnectionEntry> &entries, const QString &dataSource, const QString &catalog)
{
    static const QStringList OleDbOnly = {
        QStringLiteral("Provider"),    QStringLiteral("Initial Catalog"),
        QStringLiteral("Data Source"), QStringLiteral("User ID"),
        QStringLiteral("Password"),    QStringLiteral("Persist Security Info")};
    QString text;
    bool named = false;
    for (const ConnectionEntry &e : entries) {
        if (OleDbOnly.contains(e.key, Qt::CaseInsensitive))
            continue;
        named = named || e.key.compare(QStringLiteral("DSN"), Qt::CaseInsensitive) == 0 ||
                e.key.compare(QStringLiteral("Driver"), Qt::CaseInsensitive) == 0;
        text += e.key + QLatin1Char('=') + odbcValue(e.value) + QLatin1Char(';');
    }
    const QString driver = entryValue(entries, QStringLiteral("Driver"));
    const bool sqlite = driver.contains(QStringLiteral("SQLite"), Qt::CaseInsensitive);
    if (!named)
        text = QStringLiteral("DSN=") + odbcValue(dataSource) + QLatin1Char(';') + text;
    if (sqlite) {
        // SQLite's ODBC driver takes the database file as its database.
        const QString file = QDir(dataSource).filePath(catalog + QStringLiteral(".db"));
        if (!QFileInfo(file).isFile())
            return {std::nullopt, QStringLiteral("データベースファイルがありません: ") + file};
        text += QStringLiteral("Database=") + odbcValue(QFileInfo(file).absoluteFilePath()) +
                QStringLiteral(";Timeout=30000;");
    } else {
        text += QStringLiteral("DATABASE=") + odbcValue(catalog) + QLatin1Char(';');
    }
    const bool postgres = driver.contains(QStringLiteral("PostgreSQL"), Qt::CaseInsensitive);
    if (postgres && !hasEntry(entries, QStringLiteral("Protocol")))
        // PostgreSQL's driver otherwise sets a savepoint before every statement of a transaction
        // and releases it after, two more round trips per statement. The program never goes on in
        // a transaction after a failed statement: it rolls the whole transaction back.
        text += QStringLiteral("Protocol=7.4-1;");
    ConnectionPlan plan;
    plan.driver = QStringLiteral("QODBC");
    plan.databaseName = text;
    plan.userName = entryValue(entries, QStringLiteral("User ID"));
    plan.password = odbcPassword(entries);
    plan.connectOptions = OdbcTimeouts;
    // The driver's own name for its database system decides once the connection is open; this
    // is the engine when it names none.
    plan.engine = sqlite ? Engine::Sqlite : postgres ? Engine::PostgreSql : Engine::OtherOdbc;
    return {plan, {}};
}

PlanResult planProvider(const QList<ConnectionEntry> &entries, const QString &catalog)
{
    const QString provider = entryValue(entries, QStringLiteral("Provider"));
    const QString dataSource = entryValue(entries, QStringLiteral("Data Source"));
    if (catalog.isEmpty())
        return {std::nullopt, QStringLiteral("接続文字列にデータベース名 (Initial Catalog) がありません。")};
    if (dataSource.isEmpty())
        return {std::nullopt, QStringLiteral("接続文字列に接続先 (Data Source) がありません。")};

    if (provider.compare(QStringLiteral("SQLite"), Qt::CaseInsensitive) == 0)
        // OLE DB's access mode: Mode=Read opens the database for reading only.
        return planSqlite(dataSource, catalog,
                          entryValue(entries, QStringLiteral("Mode"))
                                  .compare(QStringLiteral("Read"), Qt::CaseInsensitive) == 0);
    if (provider.startsWith(QStringLiteral("SQLOLEDB"), Qt::CaseInsensitive) ||
        provider.startsWith(QStringLiteral("SQLNCLI"), Qt::CaseInsensitive) ||
        provider.startsWith(QStringLiteral("MSOLEDBSQL"), Qt::CaseInsensitive))
        return planSqlServer(entries, dataSource, catalog);
    if (provider.startsWith(QStringLiteral("MSDASQL"), Qt::CaseInsensitive))
        return planOdbc(entries, dataSource, catalog);
    return {std::nullopt, QStringLiteral("対応していないプロバイダです: ") + provider};
}

} // namespace

PlanResult planConnection(const QString &connectionText)
{
    const QList<ConnectionEntry> entries = connectionEntries(connectionText);
    const QString catalog = entryValue(entries, QStringLiteral("Initial Catalog"));
    PlanResult result = planProvider(entries, catalog);
    if (result.plan)
        result.plan->catalog = catalog;
    return result;
}

QString maskPasswords(const QString &connectionText)
{
    QString masked = connectionText;
    const QList<ConnectionEntry> entries = connectionEntries(connectionText);
    // From the last entry back, so that the positions of the earlier ones stay valid.
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        if (it->key.compare(QStringLiteral("Password"), Qt::CaseInsensitive) == 0 ||
            it->key.compare(QStringLiteral("PWD"), Qt::CaseInsensitive) == 0)
            masked.replace(it->valueAt, it->valueEnd - it->valueAt, QStringLiteral("****"));
    }
    return masked;
}

} // namespace krt
