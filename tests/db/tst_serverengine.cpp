// The program's database path against a real server engine: a private PostgreSQL server reached
// through Qt's ODBC driver, unixODBC and the PostgreSQL ODBC driver, as SQL Server users reach
// theirs. The statements are the program's SQL Server texts; the adapter rewrites them.

#include "db/connection.h"
#include "pgserver/pgserver.h"
#include "servertables/servertables.h"
#include "support/testcatalog.h"

#include <QDateTime>
#include <QFile>
#include <QSqlDriver>
#include <QTemporaryDir>
#include <QTest>

using krt::Connection;
using krt::Engine;
using krt::test::PgServer;

namespace {

const QString Catalog = QStringLiteral("TMCS00");

// The conversion of one price from 5 % to 8 %, without rounding, as the builders wrote it before
// prices were read as exact decimals, and as they write it now.
QString plainConversion(const QString &column)
{
    const QString net = QStringLiteral("(%1 - FLOOR(%1 * 5 / 105))").arg(column);
    return QStringLiteral("(%1 + FLOOR(%1 * 8 / 100))").arg(net);
}

QVariant firstValue(Connection &connection, const QString &sql)
{
    std::optional<krt::Recordset> result = connection.openRecordset(sql);
    if (!result || result->eof())
        return {};
    return result->field(0);
}

} // namespace

class TestServerEngine : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        KRT_REQUIRE_TEST_SERVER();
        PgServer &server = PgServer::instance();
        // A data source of the user's own that names the server but not the engine; unixODBC reads
        // the file named by ODBCINI once, before the first connection.
        QFile ini(m_dir.filePath(QStringLiteral("odbc.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(
            QStringLiteral("[shopdb]\nDriver=PostgreSQL Unicode\nServername=%1\nPort=5432\nUsername=%2\n")
                .arg(server.socketFolder(), server.user())
                .toUtf8());
        ini.close();
        qputenv("ODBCINI", ini.fileName().toLocal8Bit());
        QCOMPARE(server.createDatabase(Catalog), QString());
        Connection setup;
        QVERIFY2(setup.open(server.connectionText(Catalog)), qPrintable(setup.errors().value(0).description));
        QCOMPARE(krt::install::createServerTables(setup.database(), QStringLiteral("integer")), QString());
    }

    // The family's connection text with the PostgreSQL driver named reaches the PostgreSQL entry of
    // the adapter, and so does a data source name that says nothing about the engine: there the
    // driver's own name for its database system decides.
    void theConnectionTextReachesTheServerEngine()
    {
        PgServer &server = PgServer::instance();
        Connection named;
        QVERIFY2(named.open(server.connectionText(Catalog)), qPrintable(named.errors().value(0).description));
        QCOMPARE(named.engine(), Engine::PostgreSql);
        QCOMPARE(named.database().driverName(), QStringLiteral("QODBC"));

        Connection bySourceName;
        const bool opened = bySourceName.open(QStringLiteral("Provider=MSDASQL;Initial Catalog=") + Catalog +
                                              QStringLiteral(";Data Source=shopdb;"));
        QVERIFY2(opened, qPrintable(bySourceName.errors().value(0).description));
        QCOMPARE(bySourceName.engine(), Engine::PostgreSql);
        QCOMPARE(firstValue(bySourceName, QStringLiteral("SELECT current_database()")).toString(), Catalog);
    }

    // The driver sets no savepoint around the statements of a transaction (two more round trips
    // each): a statement that fails takes the whole transaction with it, as a category's failure
    // does anyway. With the driver's savepoints the commit would keep the first UPDATE.
    void aFailedStatementTakesTheWholeTransaction()
    {
        Connection c;
        QVERIFY(c.open(PgServer::instance().connectionText(Catalog)));
        QVERIFY(c.execute(QStringLiteral("DELETE FROM MITEMCNT")));
        QVERIFY(c.execute(QStringLiteral("INSERT INTO MITEMCNT (ITEM_CD, DETAIL_NO, INV_FLG, COMP_FLG, CHK) "
                                         "VALUES ('001', 0, '0', '0', 0)")));
        QVERIFY(c.beginTrans());
        QVERIFY(c.execute(QStringLiteral("UPDATE MITEMCNT SET CHK = 1")));
        QVERIFY(!c.execute(QStringLiteral("UPDATE MITEMCNT SET NO_SUCH_COLUMN = 1")));
        c.commitTrans();
        QCOMPARE(firstValue(c, QStringLiteral("SELECT CHK FROM MITEMCNT")).toInt(), 0);
    }

    // The spellings the program's statements use that the server does not take are rewritten, and
    // the statements do what they say.
    void theProgramsStatementsRunOnTheServer()
    {
        Connection c;
        QVERIFY(c.open(PgServer::instance().connectionText(Catalog)));
        QVERIFY(c.execute(QStringLiteral("DELETE FROM MITEMCNT")));
        QVERIFY(
            c.execute(QStringLiteral("INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, INV_FLG, COMP_FLG, "
                                     "CHK) VALUES ('O''B', '食品・日用品', NULL, '1', '0', 1)")));
        std::optional<krt::Recordset> list = c.openRecordset(
            QStringLiteral("SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, ITEM_NM FROM MITEMCNT "
                           "WHERE (MITEMCNT.CHK = 1) AND (UPDATE_DATE Is Null) ORDER BY INV_FLG DESC"));
        QVERIFY2(list, qPrintable(c.errors().value(0).description));
        QVERIFY(!list->eof());
        QCOMPARE(list->field(QStringLiteral("ITEM_CD")).toString(), QStringLiteral("O'B"));
        QCOMPARE(list->field(1).toInt(), 0);
        QCOMPARE(list->field(2).toString(), QStringLiteral("食品・日用品"));

        const QDateTime now = firstValue(c, QStringLiteral("SELECT GETDATE() AS SYSDATE")).toDateTime();
        QVERIFY2(qAbs(now.secsTo(QDateTime::currentDateTime())) < 120, qPrintable(now.toString()));

        QVERIFY(c.execute(QStringLiteral("DELETE FROM IZAIKO")));
        QVERIFY(
            c.execute(QStringLiteral("INSERT INTO IZAIKO (TENPO_CD, JAN_CD, DAI_BUNRUI_CD, ZAIKO_QTY, "
                                     "HYOJYUN_PRC, KOURI_PRC) VALUES ('0001', '4901', '001', 1, 1050, 7)")));
        QVERIFY2(c.execute(QStringLiteral("UPDATE IZAIKO SET IZAIKO.HYOJYUN_PRC = HYOJYUN_PRC + 1, "
                                          "IZAIKO.KOUSHIN_DT = '2026/12/09 10:00:00' FROM IZAIKO "
                                          "WHERE (ZAIKO_QTY > 0) AND (DAI_BUNRUI_CD = '001') ")),
                 qPrintable(c.errors().value(0).description));
        QCOMPARE(c.rowsAffected(), 1);
        QCOMPARE(firstValue(c, QStringLiteral("SELECT HYOJYUN_PRC FROM IZAIKO")).toInt(), 1051);
        // "0FROM": a number run into a keyword.
        QCOMPARE(firstValue(c, QStringLiteral("SELECT COUNT(*) ,0FROM IZAIKO")).toInt(), 1);
        // POWER of a whole-number base stays a whole number, as on SQL Server: 7 / 10 is 0.
        QCOMPARE(firstValue(c, QStringLiteral("SELECT KOURI_PRC / POWER(10, 1) FROM IZAIKO")).toString(),
                 QStringLiteral("0"));
    }

    // Integer price columns: the expression texts without the exact decimal divide integers without
    // their fraction, toward zero, so a negative price converts wrongly; the exact form converts it
    // as the formula says. -52 from 5 % to 8 %: tax contained FLOOR(-260 / 105) = -3, net -49, new
    // tax FLOOR(-392 / 100) = -4, converted -53. Divided as integers: -260 / 105 = -2, net -50,
    // new tax -4, converted -54.
    void integerColumnsConvertExactlyOnlyAsDecimals()
    {
        Connection c;
        QVERIFY(c.open(PgServer::instance().connectionText(Catalog)));
        QVERIFY(c.execute(QStringLiteral("DELETE FROM MGOODS")));
        QVERIFY(c.execute(QStringLiteral("INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, HYOJYUN_PRC, KOURI_PRC) "
                                         "VALUES ('4901', '001', -52, -52)")));
        QVERIFY(c.execute(QStringLiteral("UPDATE MGOODS SET HYOJYUN_PRC = ") +
                          plainConversion(QStringLiteral("HYOJYUN_PRC")) + QStringLiteral(", KOURI_PRC = ") +
                          plainConversion(QStringLiteral("CAST(KOURI_PRC AS DECIMAL(19, 4))"))));
        std::optional<krt::Recordset> prices =
            c.openRecordset(QStringLiteral("SELECT HYOJYUN_PRC, KOURI_PRC FROM MGOODS"));
        QVERIFY(prices && !prices->eof());
        QCOMPARE(prices->field(0).toInt(), -54);
        QCOMPARE(prices->field(1).toInt(), -53);
    }

    // The installation tool builds a store on the server as on the embedded engine: every table
    // with the chosen price type, and the data of a catalog.
    void theInstallationToolBuildsAServerStore()
    {
        PgServer &server = PgServer::instance();
        QCOMPARE(server.createDatabase(QStringLiteral("TMCS01")), QString());
        Connection c;
        QVERIFY(c.open(server.connectionText(QStringLiteral("TMCS01"))));
        QCOMPARE(krt::install::createServerTables(c.database(), QStringLiteral("numeric(12,2)")), QString());
        QCOMPARE(firstValue(c, QStringLiteral("SELECT data_type || ' ' || numeric_precision || ',' || "
                                              "numeric_scale FROM information_schema.columns WHERE "
                                              "table_name = 'mgoods' AND column_name = 'o_add2_prc'"))
                     .toString(),
                 QStringLiteral("numeric 12,2"));
        QCOMPARE(firstValue(c, QStringLiteral("SELECT data_type FROM information_schema.columns WHERE "
                                              "table_name = 'izaiko' AND column_name = 'zaiko_qty'"))
                     .toString(),
                 QStringLiteral("real"));

        krt::install::Options options;
        options.categories = 30;
        options.goods = 500;
        options.stock = 400;
        options.movements = 900;
        options.sysYm = 202612;
        krt::install::CatalogFigures figures;
        QCOMPARE(krt::install::fillServerTables(c.database(), options, 7, figures), QString());
        QCOMPARE(firstValue(c, QStringLiteral("SELECT COUNT(*) FROM MGOODS")).toInt(), 500);
        QCOMPARE(firstValue(c, QStringLiteral("SELECT COUNT(*) FROM IZAIKO")).toInt(), 400);
        QCOMPARE(firstValue(c, QStringLiteral("SELECT COUNT(*) FROM IIODATA")).toInt(), 900);
        QCOMPARE(firstValue(c, QStringLiteral("SELECT MAX(SYS_YM1) FROM GDATECTL")).toInt(), 202612);
        QCOMPARE(firstValue(c, QStringLiteral("SELECT NAIYO FROM MSYSPARM WHERE PARM_NO = 1200")).toString(),
                 QStringLiteral("1"));
        QCOMPARE(figures.workList, qint64(30));
    }
};

QTEST_GUILESS_MAIN(TestServerEngine)
#include "tst_serverengine.moc"
