// The program's one database connection: opening the family's connection texts with Qt's
// drivers, complete results, transactions, the error collection, and every way a connection
// can fail. The ODBC path runs end to end through unixODBC with Debian's SQLite ODBC driver, and a
// password ODBC must get braced logs in on the tests' PostgreSQL server.

#include "db/connection.h"
#include "db/connectiontext.h"
#include "pgserver/pgserver.h"
#include "support/testcatalog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using krt::Connection;
using krt::Engine;
using krt::testing::CategoryMasters;
using krt::testing::FillMajors;
using krt::testing::FillSubs;

namespace {

const QString Count = QStringLiteral("SELECT COUNT(*) AS CNT FROM MITEMCNT");
const QString CountMarked = QStringLiteral("SELECT COUNT(*) AS CNT FROM MITEMCNT WHERE CHK = 1");

int countOf(Connection &connection, const QString &sql)
{
    std::optional<krt::Recordset> result = connection.openRecordset(sql);
    if (!result || result->eof())
        return -1;
    return result->field(QStringLiteral("CNT")).toInt();
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void openAndClose();
    void recordset();
    void transactions();
    void heldCheckpoints();
    void closingRollsBack();
    void errorCollection();
    void failures_data();
    void failures();
    void unreachableServer();
    void silentServerTimesOut();
    void plans_data();
    void plans();
    void maskPasswords_data();
    void maskPasswords();
    void odbcPasswords_data();
    void odbcPasswords();
    void passwordReachesTheServer();
    void sessionStatements_data();
    void sessionStatements();
    void odbcRoundTrip();
};

void TestConnection::openAndClose()
{
    krt::testing::TestCatalog catalog;
    QCOMPARE(catalog.create(CategoryMasters), QString());
    Connection connection;
    QVERIFY(!connection.isOpen());
    QCOMPARE(connection.engine(), Engine::None);
    QVERIFY(connection.open(catalog.connectionText()));
    QVERIFY(connection.isOpen());
    QCOMPARE(connection.engine(), Engine::Sqlite);
    QVERIFY(connection.errors().isEmpty());
    connection.close();
    QVERIFY(!connection.isOpen());
    QCOMPARE(connection.engine(), Engine::None);
    QVERIFY(!connection.execute(FillMajors));
    QVERIFY(!connection.errors().isEmpty());
    QVERIFY(!connection.errors().constFirst().description.isEmpty());
    // Opening again replaces the connection; a second connection object lives beside it.
    QVERIFY(connection.open(catalog.connectionText()));
    QVERIFY(connection.open(catalog.connectionText()));
    Connection other;
    QVERIFY(other.open(catalog.connectionText()));
    QVERIFY(connection.execute(FillMajors));
    QCOMPARE(countOf(other, Count), 2);
}

void TestConnection::recordset()
{
    krt::testing::TestCatalog catalog;
    QCOMPARE(catalog.create(CategoryMasters +
                            QStringLiteral("INSERT INTO MITEMCD VALUES ('004', '', '0', '0');\n")),
             QString());
    Connection connection;
    QVERIFY(connection.open(catalog.connectionText()));
    QVERIFY(connection.execute(FillMajors));
    QVERIFY(connection.execute(FillSubs));

    std::optional<krt::Recordset> result = connection.openRecordset(QStringLiteral(
        "SELECT CHK, ITEM_CD, ITEM_NM, CAST(DETAIL_NO AS INT) AS DETAIL_NO, DETAIL_NM, UPDATE_DATE, INV_FLG "
        "FROM MITEMCNT ORDER BY UPDATE_DATE, ITEM_CD, DETAIL_NO"));
    QVERIFY(result);
    // The count is exact before a single record was read.
    QCOMPARE(result->recordCount(), 6);
    QCOMPARE(result->fieldCount(), 7);
    QCOMPARE(result->fieldName(3), QStringLiteral("DETAIL_NO"));
    QStringList lines;
    for (; !result->eof(); result->moveNext()) {
        QCOMPARE(result->field(1), result->field(QStringLiteral("ITEM_CD")));
        QCOMPARE(result->field(QStringLiteral("item_nm")), result->field(2));
        QVERIFY(result->isNull(0));
        lines << result->field(1).toString() + QLatin1Char('/') + result->field(3).toString() +
                     QLatin1Char('/') +
                     (result->isNull(4) ? QStringLiteral("Null") : result->field(4).toString());
    }
    QCOMPARE(lines, QStringList({QStringLiteral("001/0/Null"), QStringLiteral("001/1/国産"),
                                 QStringLiteral("001/2/輸入"), QStringLiteral("002/0/Null"),
                                 QStringLiteral("002/1/ビール"), QStringLiteral("004/0/Null")}));
    QVERIFY(!result->field(0).isValid());
    result->moveNext();
    QVERIFY(result->eof());

    // An empty text stays a text, distinct from Null; an unknown field reads as nothing.
    result = connection.openRecordset(
        QStringLiteral("SELECT ITEM_NM, DETAIL_NM FROM MITEMCNT WHERE ITEM_CD = '004'"));
    QVERIFY(result);
    QCOMPARE(result->recordCount(), 1);
    QVERIFY(!result->field(0).isNull());
    QCOMPARE(result->field(0).toString(), QString());
    QVERIFY(result->field(1).isNull());
    QVERIFY(!result->field(QStringLiteral("NO_SUCH_FIELD")).isValid());
    QVERIFY(!result->field(7).isValid());
    result->close();
    QVERIFY(result->eof());
    QCOMPARE(result->recordCount(), 0);

    result = connection.openRecordset(QStringLiteral("SELECT ITEM_CD FROM MITEMCNT WHERE 1 = 0"));
    QVERIFY(result);
    QVERIFY(result->eof());
    QCOMPARE(result->recordCount(), 0);
    QCOMPARE(result->fieldCount(), 1);
}

void TestConnection::transactions()
{
    krt::testing::TestCatalog catalog;
    QCOMPARE(catalog.create(CategoryMasters), QString());
    Connection connection;
    QVERIFY(connection.open(catalog.connectionText()));
    QVERIFY(connection.execute(FillMajors));

    QVERIFY(connection.beginTrans());
    QVERIFY(connection.inTransaction());
    QVERIFY(connection.execute(FillSubs));
    QCOMPARE(countOf(connection, Count), 5);
    QVERIFY(connection.rollbackTrans());
    QVERIFY(!connection.inTransaction());
    QCOMPARE(countOf(connection, Count), 2);

    QVERIFY(connection.beginTrans());
    QVERIFY(connection.execute(FillSubs));
    QVERIFY(connection.commitTrans());
    QVERIFY(!connection.inTransaction());
    Connection reader;
    QVERIFY(reader.open(catalog.connectionText()));
    QCOMPARE(countOf(reader, Count), 5);

    // A failed statement inside a transaction keeps the transaction open until it is rolled
    // back; the rollback keeps the failure's errors for the message.
    QVERIFY(connection.beginTrans());
    QVERIFY(connection.execute(QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE UPDATE_DATE Is Null")));
    QVERIFY(!connection.execute(QStringLiteral("UPDATE NO_SUCH_TABLE SET CHK = 1")));
    QVERIFY(connection.rollbackTrans());
    QCOMPARE(connection.errors().size(), 1);
    QCOMPARE(connection.errors().constFirst().statement, QStringLiteral("UPDATE NO_SUCH_TABLE SET CHK = 1"));
    QCOMPARE(countOf(connection, CountMarked), 0);
}

// Many small commits in WAL mode: while checkpoints are held the log keeps every one of them
// (nothing is copied back, so the log file grows past the engine's limit of 1000 pages); once
// released, the log is reused from its start again. Without the hold the log is reused at its
// limit.
void TestConnection::heldCheckpoints()
{
    krt::testing::TestCatalog catalog;
    QCOMPARE(catalog.create(), QString());
    const QString wal = catalog.file() + QStringLiteral("-wal");
    Connection connection;
    QVERIFY(connection.open(catalog.connectionText()));
    QVERIFY(connection.execute(QStringLiteral("PRAGMA journal_mode = WAL")));
    QVERIFY(connection.execute(QStringLiteral("CREATE TABLE FILLER (B BLOB)")));
    const auto commits = [&connection] {
        for (int i = 0; i < 30; ++i) {
            QVERIFY(connection.beginTrans());
            QVERIFY(connection.execute(QStringLiteral("INSERT INTO FILLER VALUES (zeroblob(400000))")));
            QVERIFY(connection.commitTrans());
        }
    };
    const qint64 limit = 1000 * 4096;
    commits();
    QVERIFY2(QFileInfo(wal).size() < 2 * limit, qPrintable(QString::number(QFileInfo(wal).size())));

    connection.holdCheckpoints();
    commits();
    commits();
    QVERIFY2(QFileInfo(wal).size() > 4 * limit, qPrintable(QString::number(QFileInfo(wal).size())));
    connection.releaseCheckpoints();
    const qint64 held = QFileInfo(wal).size();
    commits();
    QCOMPARE(QFileInfo(wal).size(), held);
    QCOMPARE(countOf(connection, QStringLiteral("SELECT COUNT(*) AS CNT FROM FILLER")), 120);
}

void TestConnection::closingRollsBack()
{
    krt::testing::TestCatalog catalog;
    QCOMPARE(catalog.create(CategoryMasters), QString());
    {
        Connection connection;
        QVERIFY(connection.open(catalog.connectionText()));
        QVERIFY(connection.beginTrans());
        QVERIFY(connection.execute(FillMajors));
    }
    Connection connection;
    QVERIFY(connection.open(catalog.connectionText()));
    QCOMPARE(countOf(connection, Count), 0);
    QVERIFY(connection.beginTrans());
    QVERIFY(connection.execute(FillMajors));
    connection.close();
    QVERIFY(!connection.inTransaction());
    QVERIFY(connection.open(catalog.connectionText()));
    QCOMPARE(countOf(connection, Count), 0);
}

void TestConnection::errorCollection()
{
    krt::testing::TestCatalog catalog;
    QCOMPARE(catalog.create(CategoryMasters), QString());
    Connection connection;
    QVERIFY(connection.open(catalog.connectionText()));

    // The collection names the statement as the program wrote it, before any adaptation.
    const QString failing = QStringLiteral("SELECT ISNULL(NO_SUCH_COLUMN, 0) AS X FROM MITEMCNT");
    QVERIFY(!connection.openRecordset(failing));
    QCOMPARE(connection.errors().size(), 1);
    const krt::DbError error = connection.errors().constFirst();
    QCOMPARE(error.statement, failing);
    QCOMPARE(error.source, QStringLiteral("QSQLITE"));
    QVERIFY2(error.description.contains(QStringLiteral("NO_SUCH_COLUMN")), qPrintable(error.description));

    QVERIFY(!connection.execute(QStringLiteral("INSERT INTO MITEMCD VALUES ('001', 'x', '0', '0')")));
    QCOMPARE(connection.errors().size(), 1);
    QVERIFY2(
        connection.errors().constFirst().description.contains(QStringLiteral("UNIQUE"), Qt::CaseInsensitive),
        qPrintable(connection.errors().constFirst().description));
    QVERIFY(!connection.errors().constFirst().nativeCode.isEmpty());

    // The next operation starts with an empty collection.
    QVERIFY(connection.execute(FillMajors));
    QVERIFY(connection.errors().isEmpty());

    // A statement refused before it reaches the database is reported the same way.
    connection.setStatementHook([](const QString &sql) -> std::optional<QString> {
        if (sql.startsWith(QStringLiteral("DELETE")))
            return QStringLiteral("refused");
        return std::nullopt;
    });
    QVERIFY(!connection.execute(QStringLiteral("DELETE FROM MITEMCNT")));
    QCOMPARE(connection.errors().constFirst().description, QStringLiteral("refused"));
    QCOMPARE(connection.errors().constFirst().statement, QStringLiteral("DELETE FROM MITEMCNT"));
    QCOMPARE(countOf(connection, Count), 2);
}

void TestConnection::failures_data()
{
    QTest::addColumn<QString>("text"); // %1 stands for the catalog folder
    QTest::addColumn<QString>("says"); // a part of the description

    QTest::newRow("empty text") << QString() << QStringLiteral("Initial Catalog");
    QTest::newRow("garbage") << QStringLiteral(";;==;Provider;=x;") << QStringLiteral("Initial Catalog");
    QTest::newRow("no catalog") << QStringLiteral("Provider=SQLite;Data Source=%1;")
                                << QStringLiteral("Initial Catalog");
    QTest::newRow("no data source") << QStringLiteral("Provider=SQLite;Initial Catalog=TMCS00;")
                                    << QStringLiteral("Data Source");
    QTest::newRow("unknown provider")
        << QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Initial Catalog=TMCS00;Data Source=%1;")
        << QStringLiteral("Microsoft.Jet.OLEDB.4.0");
    QTest::newRow("no provider") << QStringLiteral("Initial Catalog=TMCS00;Data Source=%1;")
                                 << QStringLiteral("プロバイダ");
    QTest::newRow("missing catalog file")
        << QStringLiteral("Provider=SQLite;Initial Catalog=TMCS09;Data Source=%1;")
        << QStringLiteral("TMCS09.db");
    QTest::newRow("missing folder") << QStringLiteral(
                                           "Provider=SQLite;Initial Catalog=TMCS00;Data Source=%1/none;")
                                    << QStringLiteral("none");
    QTest::newRow("catalog is a folder")
        << QStringLiteral("Provider=SQLite;Initial Catalog=TMCS04;Data Source=%1;")
        << QStringLiteral("TMCS04.db");
    QTest::newRow("ODBC, missing catalog file")
        << QStringLiteral(
               "Provider=MSDASQL;Driver=SQLite3;Initial Catalog=TMCS09;Data Source=%1;Password=secret;")
        << QStringLiteral("TMCS09.db");
    QTest::newRow("ODBC, unknown driver") << QStringLiteral("Provider=MSDASQL;Driver=No Such Driver;Initial "
                                                            "Catalog=TMCS00;Data Source=%1;Password=secret;")
                                          << QString();
    QTest::newRow("ODBC, unknown data source name")
        << QStringLiteral(
               "Provider=MSDASQL;DSN=krt-no-such-dsn;Initial Catalog=TMCS00;Data Source=x;Password=secret;")
        << QString();
    QTest::newRow("SQL Server, unknown driver")
        << QStringLiteral(
               "Provider=SQLOLEDB;Driver=No Such Driver;Initial Catalog=TMCS00;Data Source=127.0.0.1;"
               "User ID=sa;Password=secret;")
        << QString();
}

// Every failure leaves no connection, a description, and no new file behind; no description
// shows a password.
void TestConnection::failures()
{
    QFETCH(QString, text);
    QFETCH(QString, says);
    krt::testing::TestCatalog catalog;
    QCOMPARE(catalog.create(), QString());
    const QString folder = QFileInfo(catalog.file()).absolutePath();
    QVERIFY(QDir(folder).mkdir(QStringLiteral("TMCS04.db")));
    const QStringList before = filesIn(folder);

    Connection connection;
    QVERIFY(!connection.open(text.contains(QStringLiteral("%1")) ? text.arg(folder) : text));
    QVERIFY(!connection.isOpen());
    QCOMPARE(connection.engine(), Engine::None);
    QVERIFY(!connection.errors().isEmpty());
    for (const krt::DbError &error : connection.errors()) {
        QVERIFY(!error.description.isEmpty());
        QVERIFY2(!error.description.contains(QStringLiteral("secret")), qPrintable(error.description));
    }
    QVERIFY2(connection.errors().constFirst().description.contains(says),
             qPrintable(connection.errors().constFirst().description));
    QCOMPARE(filesIn(folder), before);
    QVERIFY(!connection.execute(QStringLiteral("SELECT 1")));
}

// A server address where nothing listens: refused at once, reported, no crash.
void TestConnection::unreachableServer()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();

    Connection connection;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!connection.open(QStringLiteral("Provider=SQLOLEDB;Driver=FreeTDS;Initial Catalog=TMCS00;"
                                            "Data Source=127.0.0.1,%1;User ID=sa;Password=secret;")
                                 .arg(port)));
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!connection.isOpen());
    QVERIFY(!connection.errors().isEmpty());
    QCOMPARE(connection.errors().constFirst().source, QStringLiteral("QODBC"));
    for (const krt::DbError &error : connection.errors())
        QVERIFY2(!error.description.contains(QStringLiteral("secret")), qPrintable(error.description));
}

// A server that accepts the connection and never answers: the login gives up after its
// timeout instead of hanging.
void TestConnection::silentServerTimesOut()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    Connection connection;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!connection.open(QStringLiteral("Provider=SQLOLEDB;Driver=FreeTDS;Initial Catalog=TMCS00;"
                                            "Data Source=127.0.0.1,%1;User ID=sa;Password=secret;")
                                 .arg(silent.serverPort())));
    QVERIFY2(timer.elapsed() < 60000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!connection.isOpen());
    QVERIFY(!connection.errors().isEmpty());
    QVERIFY(!connection.errors().constFirst().description.isEmpty());
}

void TestConnection::plans_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<int>("engine");
    QTest::addColumn<QString>("databaseName"); // empty: not compared
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");

    const int sqlServer = static_cast<int>(Engine::SqlServer);
    QTest::newRow("SQLOLEDB, FreeTDS with a port")
        << QStringLiteral(
               "Provider=SQLOLEDB.1;Initial Catalog=TMCS01;Data Source=dbserver,1433;Driver=FreeTDS;"
               "User ID=tmcs;Password=secret;")
        << QStringLiteral("QODBC") << sqlServer
        << QStringLiteral("DRIVER={FreeTDS};SERVER=dbserver;PORT=1433;TDS_Version=7.4;ClientCharset=UTF-8;"
                          "DATABASE=TMCS01;")
        << QStringLiteral("tmcs") << QStringLiteral("secret");
    QTest::newRow("SQLNCLI, trusted")
        << QStringLiteral(
               "Provider=SQLNCLI11;Integrated Security=SSPI;Initial Catalog=TMCS00;Data Source=srv\\INST;"
               "Driver=ODBC Driver 17 for SQL Server;")
        << QStringLiteral("QODBC") << sqlServer
        << QStringLiteral("DRIVER={ODBC Driver 17 for SQL "
                          "Server};SERVER=srv\\INST;DATABASE=TMCS00;Trusted_Connection=yes;")
        << QString() << QString();
    QTest::newRow("MSOLEDBSQL, quoted password with a semicolon")
        << QStringLiteral(
               "Provider=MSOLEDBSQL;Initial Catalog=TMCS02;Data Source=srv;Driver=FreeTDS;User ID=u;"
               "Password=\"a;b\"\"c\";")
        << QStringLiteral("QODBC") << sqlServer << QString() << QStringLiteral("u")
        << QStringLiteral("{a;b\"c}");
    QTest::newRow("embedded SQLite") << QStringLiteral(
                                            "provider=sqlite;initial catalog=TMCS00;data source=%1")
                                     << QStringLiteral("QSQLITE") << static_cast<int>(Engine::Sqlite)
                                     << QString() << QString() << QString();
    QTest::newRow("ODBC SQLite")
        << QStringLiteral("Provider=MSDASQL;Driver=SQLite3;Initial Catalog=TMCS00;Data Source=%1;")
        << QStringLiteral("QODBC") << static_cast<int>(Engine::Sqlite) << QString() << QString() << QString();
    QTest::newRow("ODBC data source name")
        << QStringLiteral(
               "Provider=MSDASQL.1;Initial Catalog=TMCS03;Data Source=TMCSDSN;User ID=u;Password=p;")
        << QStringLiteral("QODBC") << static_cast<int>(Engine::OtherOdbc)
        << QStringLiteral("DSN=TMCSDSN;DATABASE=TMCS03;") << QStringLiteral("u") << QStringLiteral("p");
    QTest::newRow("ODBC, PostgreSQL: no savepoint around every statement")
        << QStringLiteral(
               "Provider=MSDASQL;Driver={PostgreSQL Unicode};Initial Catalog=TMCS00;Data Source=s;")
        << QStringLiteral("QODBC") << static_cast<int>(Engine::PostgreSql)
        << QStringLiteral("Driver=PostgreSQL Unicode;DATABASE=TMCS00;Protocol=7.4-1;") << QString()
        << QString();
    QTest::newRow("ODBC, PostgreSQL: the text's own level of rollback")
        << QStringLiteral(
               "Provider=MSDASQL;Driver={PostgreSQL Unicode};Protocol=7.4-2;Initial Catalog=TMCS00;"
               "Data Source=s;")
        << QStringLiteral("QODBC") << static_cast<int>(Engine::PostgreSql)
        << QStringLiteral("Driver=PostgreSQL Unicode;Protocol=7.4-2;DATABASE=TMCS00;") << QString()
        << QString();
    QTest::newRow("ODBC, value with a semicolon passed braced")
        << QStringLiteral("Provider=MSDASQL;DSN=x;App='KRT;550';Initial Catalog=TMCS00;Data Source=s;")
        << QStringLiteral("QODBC") << static_cast<int>(Engine::OtherOdbc)
        << QStringLiteral("DSN=x;App={KRT;550};DATABASE=TMCS00;") << QString() << QString();
}

// Which driver and engine a text gets; statements are adapted only for the SQLite engines, so
// texts for SQL Server and other ODBC sources reach them exactly as written.
void TestConnection::plans()
{
    QFETCH(QString, text);
    QFETCH(QString, driver);
    QFETCH(int, engine);
    QFETCH(QString, databaseName);
    QFETCH(QString, user);
    QFETCH(QString, password);
    krt::testing::TestCatalog catalog;
    QCOMPARE(catalog.create(), QString());
    const krt::PlanResult result = krt::planConnection(
        text.contains(QStringLiteral("%1")) ? text.arg(QFileInfo(catalog.file()).absolutePath()) : text);
    QVERIFY2(result.plan, qPrintable(result.error));
    QCOMPARE(result.plan->driver, driver);
    QCOMPARE(static_cast<int>(result.plan->engine), engine);
    if (!databaseName.isEmpty())
        QCOMPARE(result.plan->databaseName, databaseName);
    QCOMPARE(result.plan->userName, user);
    QCOMPARE(result.plan->password, password);
    if (driver == QStringLiteral("QODBC"))
        QVERIFY(result.plan->connectOptions.contains(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=")));
}

void TestConnection::maskPasswords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("masked");

    QTest::newRow("none") << QStringLiteral("Provider=P;Initial Catalog=TMCS00;Data Source=S;")
                          << QStringLiteral("Provider=P;Initial Catalog=TMCS00;Data Source=S;");
    QTest::newRow("Password") << QStringLiteral("Provider=P;User ID=sa;Password=secret;Data Source=S;")
                              << QStringLiteral("Provider=P;User ID=sa;Password=****;Data Source=S;");
    QTest::newRow("any case, blanks, last entry")
        << QStringLiteral("Provider=P; password = secret") << QStringLiteral("Provider=P; password = ****");
    QTest::newRow("PWD of ODBC") << QStringLiteral("DRIVER={FreeTDS};UID=sa;PWD=secret;")
                                 << QStringLiteral("DRIVER={FreeTDS};UID=sa;PWD=****;");
    QTest::newRow("quoted, with a semicolon") << QStringLiteral("Password=\"se;cr\"\"et\";Data Source=S;")
                                              << QStringLiteral("Password=****;Data Source=S;");
    QTest::newRow("single quotes") << QStringLiteral("Password='se;cret';User ID=u")
                                   << QStringLiteral("Password=****;User ID=u");
    QTest::newRow("braced") << QStringLiteral("PWD={se;}}cret};UID=u;") << QStringLiteral("PWD=****;UID=u;");
    QTest::newRow("twice") << QStringLiteral("Password=a;Password=b;")
                           << QStringLiteral("Password=****;Password=****;");
    QTest::newRow("key that only contains the word")
        << QStringLiteral("Persist Security Info=False;OldPassword=x;")
        << QStringLiteral("Persist Security Info=False;OldPassword=x;");
    QTest::newRow("empty") << QString() << QString();
}

void TestConnection::maskPasswords()
{
    QFETCH(QString, text);
    QFETCH(QString, masked);
    QCOMPARE(krt::maskPasswords(text), masked);
}

// The password as Qt's ODBC driver gets it, which puts it into the connection string as it stands:
// braced, "}" doubled, wherever ODBC would read it otherwise than whole.
void TestConnection::odbcPasswords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("password");

    const QString server =
        QStringLiteral("Provider=SQLOLEDB;Driver=FreeTDS;Initial Catalog=TMCS00;Data Source=s;");
    QTest::newRow("plain") << server + QStringLiteral("Password=Secret-1.") << QStringLiteral("Secret-1.");
    QTest::newRow("semicolon") << server + QStringLiteral("Password=\"se;cret\"")
                               << QStringLiteral("{se;cret}");
    QTest::newRow("equals sign") << server + QStringLiteral("Password=a=b") << QStringLiteral("{a=b}");
    QTest::newRow("closing brace") << server + QStringLiteral("Password=a}b") << QStringLiteral("{a}}b}");
    QTest::newRow("opening brace") << server + QStringLiteral("Password=a{b") << QStringLiteral("{a{b}");
    QTest::newRow("braced in the text")
        << server + QStringLiteral("Password={;=}}{}") << QStringLiteral("{;=}}{}");
    QTest::newRow("blanks at the ends")
        << server + QStringLiteral("Password=' pw '") << QStringLiteral("{ pw }");
    QTest::newRow("ODBC data source")
        << QStringLiteral(
               "Provider=MSDASQL;Initial Catalog=TMCS00;Data Source=TMCSDSN;User ID=u;Password='p;w=d}'")
        << QStringLiteral("{p;w=d}}}");
}

void TestConnection::odbcPasswords()
{
    QFETCH(QString, text);
    QFETCH(QString, password);
    const krt::PlanResult result = krt::planConnection(text);
    QVERIFY2(result.plan, qPrintable(result.error));
    QCOMPARE(result.plan->password, password);
}

// A login whose password holds ";", "=" and braces opens through the program's connection on the
// tests' PostgreSQL server, where that login alone must give its password.
void TestConnection::passwordReachesTheServer()
{
    KRT_REQUIRE_TEST_SERVER();
    krt::test::PgServer &server = krt::test::PgServer::instance();
    const QString role = QStringLiteral("krt_pw");
    QCOMPARE(server.psql(QStringLiteral("postgres"),
                         QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD 'p;w=d}{'").arg(role)),
             QString());
    {
        Connection admin;
        QVERIFY(admin.open(server.connectionText(QStringLiteral("postgres"))));
        std::optional<krt::Recordset> hba = admin.openRecordset(QStringLiteral("SHOW hba_file"));
        QVERIFY(hba && !hba->eof());
        QFile file(hba->field(0).toString());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray rules = file.readAll();
        file.close();
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("local all " + role.toUtf8() + " scram-sha-256\n" + rules);
        file.close();
        QVERIFY(admin.openRecordset(QStringLiteral("SELECT pg_reload_conf()")));
    }
    // The server's own login, less the login name, with the role and its password.
    QString text = server.connectionText(QStringLiteral("postgres"));
    text.remove(QStringLiteral("Username=") + server.user() + QLatin1Char(';'));
    text += QStringLiteral("User ID=") + role + QStringLiteral(";Password=");

    Connection wrong;
    QTRY_VERIFY2(!wrong.open(text + QStringLiteral("p")),
                 "the server still lets the role in without its password");
    Connection connection;
    QVERIFY2(connection.open(text + QStringLiteral("\"p;w=d}{\"")),
             qPrintable(connection.errors().value(0).description));
    std::optional<krt::Recordset> user = connection.openRecordset(QStringLiteral("SELECT current_user"));
    QVERIFY(user && !user->eof());
    QCOMPARE(user->field(0).toString(), role);
}

// What a new session runs first, for each engine.
void TestConnection::sessionStatements_data()
{
    QTest::addColumn<int>("engine");
    QTest::addColumn<QStringList>("statements");

    QTest::newRow("SQL Server") << static_cast<int>(Engine::SqlServer)
                                << QStringList{QStringLiteral("SET NOCOUNT OFF")};
    QTest::newRow("SQLite") << static_cast<int>(Engine::Sqlite) << QStringList();
    QTest::newRow("PostgreSQL") << static_cast<int>(Engine::PostgreSql) << QStringList();
}

void TestConnection::sessionStatements()
{
    QFETCH(int, engine);
    QFETCH(QStringList, statements);
    QCOMPARE(krt::sessionStatements(static_cast<Engine>(engine)), statements);
}

// The program's statements through ODBC: unixODBC, Debian's SQLite ODBC driver (SQLite3 in
// odbcinst.ini), Qt's QODBC; the dialect adapter serves this SQLite engine too.
void TestConnection::odbcRoundTrip()
{
    krt::testing::TestCatalog catalog;
    QCOMPARE(catalog.create(CategoryMasters), QString());
    const QString text =
        QStringLiteral("Provider=MSDASQL;Driver=SQLite3;Initial Catalog=TMCS00;Data Source=%1;")
            .arg(QFileInfo(catalog.file()).absolutePath());
    Connection connection;
    QVERIFY2(connection.open(text), qPrintable(connection.errors().value(0).description));
    QCOMPARE(connection.database().driverName(), QStringLiteral("QODBC"));
    QCOMPARE(connection.engine(), Engine::Sqlite);

    QCOMPARE(countOf(connection, Count), 0);
    QVERIFY2(connection.execute(FillMajors), qPrintable(connection.errors().value(0).description));
    QVERIFY2(connection.execute(FillSubs), qPrintable(connection.errors().value(0).description));
    QCOMPARE(countOf(connection, Count), 5);

    std::optional<krt::Recordset> list = connection.openRecordset(
        QStringLiteral("SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, ITEM_NM, DETAIL_NM FROM MITEMCNT "
                       "ORDER BY ITEM_CD, DETAIL_NO"));
    QVERIFY(list);
    QCOMPARE(list->recordCount(), 5);
    QCOMPARE(list->field(QStringLiteral("ITEM_NM")).toString(), QStringLiteral("食品"));
    QVERIFY(list->field(QStringLiteral("DETAIL_NM")).isNull());
    list->moveNext();
    QCOMPARE(list->field(1).toInt(), 1);
    QCOMPARE(list->field(3).toString(), QStringLiteral("国産"));

    QVERIFY(connection.beginTrans());
    QVERIFY(connection.execute(QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE UPDATE_DATE Is Null")));
    QCOMPARE(countOf(connection, CountMarked), 5);
    QVERIFY(connection.rollbackTrans());
    QCOMPARE(countOf(connection, CountMarked), 0);

    QVERIFY(connection.beginTrans());
    QVERIFY(connection.execute(
        QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE (ITEM_CD = '001') AND (DETAIL_NO = '2') ")));
    QVERIFY(connection.commitTrans());
    Connection embedded;
    QVERIFY(embedded.open(catalog.connectionText()));
    QCOMPARE(countOf(embedded, CountMarked), 1);

    const QString failing = QStringLiteral("UPDATE NO_SUCH_TABLE SET CHK = 1");
    QVERIFY(!connection.execute(failing));
    QCOMPARE(connection.errors().constFirst().statement, failing);
    QCOMPARE(connection.errors().constFirst().source, QStringLiteral("QODBC"));
    QVERIFY(!connection.errors().constFirst().description.isEmpty());
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
