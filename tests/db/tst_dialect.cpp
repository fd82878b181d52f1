// The dialect adapter on every statement the program sends: each text is written as SQL Server
// takes it, adapted, and then run through the connection on a real catalog, where it must do
// what it says.

#include "db/connection.h"
#include "db/dialect.h"
#include "support/testcatalog.h"

#include <QTest>

#include <array>

using krt::toPostgresDialect;
using krt::toSqliteDialect;
using krt::toSqlServerDialect;
using krt::testing::FillMajors;
using krt::testing::FillSubs;

namespace {

const QString Stamp = QStringLiteral("2026/12/08 10:15:00");
const QString Today = QStringLiteral("2026/12/08");

// Masters, prices, stock and movements with every kind of row the statements distinguish.
const QString Data = krt::testing::CategoryMasters + QStringLiteral(R"(
INSERT INTO MGOODS VALUES ('4900000000016', 'しょうゆ', '001', NULL, 1050, 1050, 735, 105, 105, 73, 0, 0, 0, NULL);
INSERT INTO MGOODS VALUES ('4900000000023', 'みそ', '001', 0, 210, 189, 147, 0, 0, 0, NULL, NULL, NULL, NULL);
INSERT INTO MGOODS VALUES ('4900000000030', '米', '001', 2, 2100, 2100, 1470, 0, 0, 0, 0, 0, 0, NULL);
INSERT INTO MGOODS VALUES ('4900000000047', 'ビール', '002', 1, 231, 231, 162, 5, 5, 5, 0, 0, 0, NULL);
INSERT INTO MGOODS VALUES ('4900000000054', '商品券', '003', NULL, 1000, 1000, 1000, 0, 0, 0, 0, 0, 0, NULL);
INSERT INTO IZAIKO VALUES ('0001', '4900000000016', '001', NULL, 5, 0, 1050, 1050, 735, NULL);
INSERT INTO IZAIKO VALUES ('0002', '4900000000016', '001', NULL, 0, 3, 1050, 1050, 735, NULL);
INSERT INTO IZAIKO VALUES ('0003', '4900000000016', '001', NULL, -2, 0, 1050, 1050, 735, NULL);
INSERT INTO IZAIKO VALUES ('0001', '4900000000047', '002', 1, 12, 0, 231, 231, 162, NULL);
INSERT INTO IIODATA VALUES (202611, '0001', '4900000000016', '1', 1, '001', NULL, 10, 1050, 1050, 735);
INSERT INTO IIODATA VALUES (202612, '0001', '4900000000016', '2', 2, '001', NULL, -4, 1050, 1050, 735);
INSERT INTO IIODATA VALUES (202612, '0001', '4900000000030', '2', 3, '001', 2, -1, 2100, 2100, 1470);
INSERT INTO IZSELL_MENT VALUES ('4900000000016', '001', NULL, 1000, 1000, 700, '2014/03/31');
INSERT INTO INEFUDA_CNT VALUES ('0001', '2026-11-30');
INSERT INTO INEFUDA_CNT VALUES ('0002', '2026-12-01');
INSERT INTO GDATECTL VALUES (1, 202612);
INSERT INTO MSYSPARM VALUES (1200, '1');
INSERT INTO MSYSPARM VALUES (3080, '0.08');
)");

// The work list as a fill leaves it, one inventory category recorded and not completed, and a
// category whose code holds a quote and words of SQL.
const QString Filled = QStringLiteral(R"(
INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, DETAIL_NM, TAX_FREE_FLG, INV_FLG, COMP_FLG) VALUES ('001', '食品', 0, NULL, '0', '0', '0');
INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, DETAIL_NM, TAX_FREE_FLG, INV_FLG, COMP_FLG) VALUES ('001', '食品', 1, '国産', '0', '0', '0');
INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, DETAIL_NM, TAX_FREE_FLG, INV_FLG, COMP_FLG) VALUES ('001', '食品', 2, '輸入', '0', '0', '0');
INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, DETAIL_NM, TAX_FREE_FLG, INV_FLG, COMP_FLG, CHK, UPDATE_DATE, TAX_ST, TAX_END, GOODS_HASU_FLG, GOODS_HASU_ICHI, GADD_HASU_FLG, GADD_HASU_ICHI) VALUES ('002', '酒類', 0, NULL, '1', '1', '0', 1, '2026/12/01', 5, 8, '3', '1', '0', '0');
INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, DETAIL_NM, TAX_FREE_FLG, INV_FLG, COMP_FLG, CHK) VALUES ('002', '酒類', 1, 'ビール', '0', '1', '0', 1);
INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, DETAIL_NM, TAX_FREE_FLG, INV_FLG, COMP_FLG) VALUES ('O''B ISNULL(x, 0) GETDATE() 0FROM', '引用符', NULL, NULL, '0', '0', '0');
)");

// The price expression of one column: tax conversion from rate a to rate b, then rounding with
// method code c at exponent p.
QString price(const QString &column, int a, int b, int code, int p)
{
    const QString n = QStringLiteral("(%1 - FLOOR(%1 * %2 / %3))").arg(column).arg(a).arg(a + 100);
    const QString t = QStringLiteral("(%1 + FLOOR(%1 * %2 / 100))").arg(n).arg(b);
    const QString e = QString::number(p);
    QString rounded;
    switch (code) {
    case 0:
        rounded = QStringLiteral("FLOOR(%1 / POWER(10, 0)) * POWER(10, 0)").arg(t);
        break;
    case 1:
        rounded = QStringLiteral("FLOOR(%1 / POWER(10, %2) + 0.9999) * POWER(10, %2)").arg(t, e);
        break;
    case 2:
        rounded = QStringLiteral("FLOOR(%1 / POWER(10, %2)) * POWER(10, %2)").arg(t, e);
        break;
    default:
        rounded = QStringLiteral("FLOOR(%1 / POWER(10, %2) + 0.5) * POWER(10, %2)").arg(t, e);
    }
    return QStringLiteral("CASE WHEN %1 - POWER(10, %2) < 0 THEN %1 ELSE %3 END").arg(t, e, rounded);
}

// Method 1 from 5 % to 8 %, goods prices half up at the ones, add-on prices without rounding.
QString goodsPrice(const QString &column)
{
    return price(column, 5, 8, 3, 1);
}
QString addOnPrice(const QString &column)
{
    return price(column, 5, 8, 0, 0);
}

QString subClause(int detail)
{
    return detail == 0 ? QStringLiteral("AND ((CHU_BUNRUI_CD Is Null) OR (CHU_BUNRUI_CD = 0))")
                       : QStringLiteral("AND (CHU_BUNRUI_CD = %1)").arg(detail);
}

QString mgoodsAssignments()
{
    QString text = QStringLiteral("SET HYOJYUN_PRC = ") + goodsPrice(QStringLiteral("HYOJYUN_PRC")) +
                   QStringLiteral(", ") + QStringLiteral("KOURI_PRC = ") +
                   goodsPrice(QStringLiteral("KOURI_PRC")) + QStringLiteral(", ") +
                   QStringLiteral("OROSI_PRC = ") + goodsPrice(QStringLiteral("OROSI_PRC")) +
                   QStringLiteral(", ");
    for (const char *column :
         {"H_ADD1_PRC", "K_ADD1_PRC", "O_ADD1_PRC", "H_ADD2_PRC", "K_ADD2_PRC", "O_ADD2_PRC"})
        text += QLatin1String(column) + QStringLiteral(" = ") + addOnPrice(QLatin1String(column)) +
                QStringLiteral(", ");
    return text + QStringLiteral("UPDATE_DT = '") + Stamp + QStringLiteral("' ");
}

// "SET T.A = x, T.B = y, T.C = z" with or without the table before each column.
QString threePrices(const QString &prefix, const QString &last)
{
    return QStringLiteral("SET ") + prefix + QStringLiteral("HYOJYUN_PRC = ") +
           goodsPrice(QStringLiteral("HYOJYUN_PRC")) + QStringLiteral(", ") + prefix +
           QStringLiteral("KOURI_PRC = ") + goodsPrice(QStringLiteral("KOURI_PRC")) + QStringLiteral(", ") +
           prefix + QStringLiteral("OROSI_PRC = ") + goodsPrice(QStringLiteral("OROSI_PRC")) + last;
}

QString iiodata(const QString &prefix, int detail)
{
    return QStringLiteral("UPDATE IIODATA ") + threePrices(prefix, QStringLiteral(" ")) +
           QStringLiteral("WHERE (IO_YM >= 202612) AND (DAI_BUNRUI_CD = '001') ") + subClause(detail);
}

QString izaiko(const QString &prefix, const QString &rowCondition)
{
    return QStringLiteral("UPDATE IZAIKO ") + threePrices(prefix, QStringLiteral(", ")) + prefix +
           QStringLiteral("KOUSHIN_DT = '") + Stamp + QStringLiteral("' ") + rowCondition +
           QStringLiteral("AND (DAI_BUNRUI_CD = '001') ") + subClause(0);
}

QString record(const QString &itemCd, const QString &invFlg, int detail)
{
    QString text = QStringLiteral("UPDATE MITEMCNT SET UPDATE_DATE = '") + Today + QStringLiteral("', ");
    if (invFlg == QStringLiteral("0"))
        text += QStringLiteral("COMP_FLG = '1', COMP_DATE = '") + Today + QStringLiteral("', ");
    text += QStringLiteral("TAX_ST = 5, TAX_END = 8, GOODS_HASU_FLG = '3', GOODS_HASU_ICHI = '1', "
                           "GADD_HASU_FLG = '0', GADD_HASU_ICHI = '0' WHERE (ITEM_CD = '") +
            itemCd + QStringLiteral("') ");
    text += detail == 0 ? QStringLiteral("AND ((DETAIL_NO Is Null) OR (DETAIL_NO = 0))")
                        : QStringLiteral("AND (DETAIL_NO = %1)").arg(detail);
    return text;
}

const QString FillMajorsAdapted =
    QStringLiteral("INSERT INTO MITEMCNT( ITEM_CD, ITEM_NM, TAX_FREE_FLG, INV_FLG, COMP_FLG ,DETAIL_NO) "
                   "SELECT MITEMCD.ITEM_CD, MITEMCD.ITEM_NM, MITEMCD.TAX_FREE_FLG, MITEMCD.INV_FLG, '0' AS "
                   "COMP_FLG ,0 FROM MITEMCD "
                   "WHERE (MITEMCD.TAX_FREE_FLG = '0')");
const QString MajorsGuard =
    QStringLiteral(" and (not exists (select MITEMCNT.ITEM_CD from MITEMCNT where "
                   "MITEMCNT.ITEM_CD = MITEMCD.ITEM_CD and MITEMCNT.DETAIL_NO = '0'))");
const QString SubsGuard =
    QStringLiteral(" and (not exists (select MITEMCNT.ITEM_CD from MITEMCNT where "
                   "MITEMCNT.ITEM_CD = MITEMCD.ITEM_CD and MITEMCNT.DETAIL_NO = MITEMDTL.D_DETAIL_NO))");
const QString ZaikoNew = QStringLiteral("WHERE (ZAIKO_QTY > 0) ");
const QString ZaikoOld = QStringLiteral("WHERE ((ZAIKO_QTY > 0) OR (JYUTAKU_QTY > 0)) ");
const QString QuotedCode = QStringLiteral("O''B ISNULL(x, 0) GETDATE() 0FROM");

} // namespace

class TestDialect : public QObject
{
    Q_OBJECT

private slots:
    void expressionMatchesWorkedExample();
    void statements_data();
    void statements();
    void tokens_data();
    void tokens();
    void postgres_data();
    void postgres();
    void sqlServer_data();
    void sqlServer();
    void cachedShapes_data();
    void cachedShapes();
    void boundShapes_data();
    void boundShapes();
};

void TestDialect::expressionMatchesWorkedExample()
{
    // The sample texts below are built with the same expression the run sends.
    const QString expected = QStringLiteral(
        "CASE WHEN ((HYOJYUN_PRC - FLOOR(HYOJYUN_PRC * 5 / 105)) + FLOOR((HYOJYUN_PRC - FLOOR(HYOJYUN_PRC * "
        "5 / "
        "105)) * 8 / 100)) - POWER(10, 1) < 0 THEN ((HYOJYUN_PRC - FLOOR(HYOJYUN_PRC * 5 / 105)) + "
        "FLOOR((HYOJYUN_PRC - FLOOR(HYOJYUN_PRC * 5 / 105)) * 8 / 100)) ELSE FLOOR(((HYOJYUN_PRC - "
        "FLOOR(HYOJYUN_PRC * 5 / 105)) + FLOOR((HYOJYUN_PRC - FLOOR(HYOJYUN_PRC * 5 / 105)) * 8 / 100)) / "
        "POWER(10, 1) + 0.5) * POWER(10, 1) END");
    QCOMPARE(goodsPrice(QStringLiteral("HYOJYUN_PRC")), expected);
    QCOMPARE(expected.size(), 418);
}

void TestDialect::statements_data()
{
    QTest::addColumn<QString>("setup");    // rows added to the data before the statement
    QTest::addColumn<QString>("sql");      // as the program sends it to SQL Server
    QTest::addColumn<QString>("adapted");  // as SQLite gets it; empty: unchanged
    QTest::addColumn<QString>("check");    // a query on the result
    QTest::addColumn<QString>("expected"); // its first value as text

    const QString count = QStringLiteral("SELECT COUNT(*) FROM MITEMCNT");

    // The fill from the masters: majors not tax-free (001, 002), subs of kind '71' and number
    // not 0 of those (001-1, 001-2, 002-1).
    QTest::newRow("fill majors") << QString() << FillMajors << FillMajorsAdapted << count
                                 << QStringLiteral("2");
    QTest::newRow("fill majors, guarded") << Filled << FillMajors + MajorsGuard
                                          << FillMajorsAdapted + MajorsGuard << count << QStringLiteral("6");
    QTest::newRow("fill majors, guarded, adds what is missing")
        << QStringLiteral("INSERT INTO MITEMCNT (ITEM_CD, DETAIL_NO, CHK) VALUES ('001', 0, 1);")
        << FillMajors + MajorsGuard << FillMajorsAdapted + MajorsGuard
        << QStringLiteral("SELECT GROUP_CONCAT(ITEM_CD || ':' || IFNULL(CHK, '-'), ' ') FROM "
                          "(SELECT * FROM MITEMCNT ORDER BY ITEM_CD)")
        << QStringLiteral("001:1 002:-");
    QTest::newRow("fill subs")
        << QString() << FillSubs << QString()
        << QStringLiteral("SELECT GROUP_CONCAT(ITEM_CD || '-' || DETAIL_NO || ' ' || DETAIL_NM, ', ') "
                          "FROM (SELECT * FROM MITEMCNT ORDER BY ITEM_CD, DETAIL_NO)")
        << QStringLiteral("001-1 国産, 001-2 輸入, 002-1 ビール");
    QTest::newRow("fill subs, guarded")
        << Filled << FillSubs + SubsGuard << QString() << count << QStringLiteral("6");

    QTest::newRow("clear marks") << Filled << QStringLiteral("UPDATE MITEMCNT SET CHK = Null") << QString()
                                 << QStringLiteral("SELECT COUNT(CHK) FROM MITEMCNT") << QStringLiteral("0");
    QTest::newRow("count") << Filled << QStringLiteral("SELECT COUNT(*) AS CNT FROM MITEMCNT") << QString()
                           << QString() << QStringLiteral("6");
    QTest::newRow("count marked") << Filled
                                  << QStringLiteral("SELECT COUNT(*) AS CNT FROM MITEMCNT WHERE CHK = 1")
                                  << QString() << QString() << QStringLiteral("2");
    QTest::newRow("select all") << Filled
                                << QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE UPDATE_DATE Is Null")
                                << QString() << QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")
                                << QStringLiteral("6");
    QTest::newRow("clear work list") << Filled << QStringLiteral("DELETE FROM MITEMCNT") << QString() << count
                                     << QStringLiteral("0");
    QTest::newRow("clear backup") << Filled << QStringLiteral("DELETE FROM IZSELL_MENT") << QString()
                                  << QStringLiteral("SELECT COUNT(*) FROM IZSELL_MENT")
                                  << QStringLiteral("0");
    QTest::newRow("stock-take date") << QString()
                                     << QStringLiteral(
                                            "SELECT MAX(ZAIKOMENT_DT) AS MAX_DATE FROM INEFUDA_CNT")
                                     << QString() << QString() << QStringLiteral("2026-12-01");
    QTest::newRow("system month") << QString() << QStringLiteral("SELECT SYS_YM1 FROM GDATECTL") << QString()
                                  << QString() << QStringLiteral("202612");
    QTest::newRow("system parameter")
        << QString() << QStringLiteral("SELECT NAIYO FROM MSYSPARM WHERE PARM_NO = 3080") << QString()
        << QString() << QStringLiteral("0.08");
    QTest::newRow("server date") << QString() << QStringLiteral("SELECT GETDATE() AS SYSDATE")
                                 << QStringLiteral("SELECT DATETIME('now', 'localtime') AS SYSDATE")
                                 << QString()
                                 << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd"));

    QTest::newRow("grid")
        << Filled
        << QStringLiteral("SELECT CHK, ITEM_CD, ITEM_NM, CAST(DETAIL_NO AS INT) AS DETAIL_NO, DETAIL_NM, "
                          "UPDATE_DATE, INV_FLG FROM MITEMCNT ORDER BY UPDATE_DATE, ITEM_CD, DETAIL_NO")
        << QString() << QString() << QString();
    QTest::newRow("toggle major")
        << Filled
        << QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE (ITEM_CD = '001') AND (DETAIL_NO = '0') ")
        << QString() << QStringLiteral("SELECT CHK FROM MITEMCNT WHERE ITEM_CD = '001' AND DETAIL_NO = 0")
        << QStringLiteral("1");
    QTest::newRow("toggle sub")
        << Filled
        << QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE (ITEM_CD = '001') AND (DETAIL_NO = '2') ")
        << QString() << QStringLiteral("SELECT SUM(CHK) FROM MITEMCNT WHERE ITEM_CD = '001'")
        << QStringLiteral("1");
    // A category code with a quote (doubled) and words the adapter rewrites elsewhere: the
    // literal goes through untouched and still finds its row.
    QTest::newRow("toggle Null number, quoted code")
        << Filled
        << QStringLiteral("UPDATE MITEMCNT SET CHK = 0 WHERE (ITEM_CD = '") + QuotedCode +
               QStringLiteral("') AND (DETAIL_NO IS NULL) ")
        << QString() << QStringLiteral("SELECT CHK FROM MITEMCNT WHERE DETAIL_NO IS NULL")
        << QStringLiteral("0");

    QTest::newRow("work list")
        << Filled
        << QStringLiteral("SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, INV_FLG FROM MITEMCNT "
                          "WHERE (MITEMCNT.CHK = 1) AND (UPDATE_DATE Is Null) ORDER BY INV_FLG DESC")
        << QStringLiteral("SELECT ITEM_CD, IFNULL(DETAIL_NO, 0) AS DETAIL_NO, INV_FLG FROM MITEMCNT "
                          "WHERE (MITEMCNT.CHK = 1) AND (UPDATE_DATE Is Null) ORDER BY INV_FLG DESC")
        << QString() << QStringLiteral("002");

    // 1050 at 5 % holds 50 of tax: 1000 + 8 % = 1080; the add-on 105 becomes 108.
    const QString mgoods = QStringLiteral("UPDATE MGOODS ") + mgoodsAssignments() +
                           QStringLiteral("WHERE (DAI_BUNRUI_CD = '001') ");
    QTest::newRow("MGOODS major")
        << Filled << mgoods + subClause(0) << QString()
        << QStringLiteral("SELECT HYOJYUN_PRC || ' ' || H_ADD1_PRC || ' ' || UPDATE_DT FROM MGOODS "
                          "WHERE JAN_CD = '4900000000016'")
        << QStringLiteral("1080.0 108.0 ") + Stamp;
    QTest::newRow("MGOODS sub") << Filled << mgoods + subClause(2) << QString()
                                << QStringLiteral(
                                       "SELECT GROUP_CONCAT(HYOJYUN_PRC, ' ') FROM "
                                       "(SELECT * FROM MGOODS WHERE DAI_BUNRUI_CD = '001' ORDER BY JAN_CD)")
                                << QStringLiteral("1050.0 210.0 2160.0");
    QTest::newRow("MGOODS pending") << Filled
                                    << QStringLiteral("UPDATE MGOODS ") + mgoodsAssignments() +
                                           QStringLiteral("FROM MGOODS WHERE (DAI_BUNRUI_CD = '002') ") +
                                           subClause(0)
                                    << QStringLiteral("UPDATE MGOODS ") + mgoodsAssignments() +
                                           QStringLiteral("WHERE (DAI_BUNRUI_CD = '002') ") + subClause(0)
                                    << QStringLiteral(
                                           "SELECT COUNT(*) FROM MGOODS WHERE UPDATE_DT IS NOT NULL")
                                    << QStringLiteral("0");
    QTest::newRow("MGOODS pending, sub")
        << Filled
        << QStringLiteral("UPDATE MGOODS ") + mgoodsAssignments() +
               QStringLiteral("FROM MGOODS WHERE (DAI_BUNRUI_CD = '002') ") + subClause(1)
        << QStringLiteral("UPDATE MGOODS ") + mgoodsAssignments() +
               QStringLiteral("WHERE (DAI_BUNRUI_CD = '002') ") + subClause(1)
        << QStringLiteral("SELECT HYOJYUN_PRC FROM MGOODS WHERE DAI_BUNRUI_CD = '002'")
        << QStringLiteral("240");
    QTest::newRow("IIODATA major") << Filled << iiodata(QStringLiteral("IIODATA."), 0)
                                   << iiodata(QString(), 0)
                                   << QStringLiteral(
                                          "SELECT GROUP_CONCAT(IO_YM || ':' || HYOJYUN_PRC, ' ') FROM "
                                          "(SELECT * FROM IIODATA ORDER BY IO_SEQ)")
                                   << QStringLiteral("202611:1050.0 202612:1080.0 202612:2100.0");
    QTest::newRow("IIODATA sub") << Filled << iiodata(QStringLiteral("IIODATA."), 2) << iiodata(QString(), 2)
                                 << QStringLiteral("SELECT HYOJYUN_PRC FROM IIODATA WHERE IO_SEQ = 3")
                                 << QStringLiteral("2160");
    QTest::newRow("IZAIKO new inventory")
        << Filled << izaiko(QStringLiteral("IZAIKO."), ZaikoNew) << izaiko(QString(), ZaikoNew)
        << QStringLiteral("SELECT GROUP_CONCAT(TENPO_CD, ' ') FROM (SELECT * FROM IZAIKO "
                          "WHERE KOUSHIN_DT IS NOT NULL ORDER BY TENPO_CD)")
        << QStringLiteral("0001");
    QTest::newRow("IZAIKO old inventory")
        << Filled << izaiko(QStringLiteral("IZAIKO."), ZaikoOld) << izaiko(QString(), ZaikoOld)
        << QStringLiteral("SELECT GROUP_CONCAT(TENPO_CD, ' ') FROM (SELECT * FROM IZAIKO "
                          "WHERE KOUSHIN_DT IS NOT NULL ORDER BY TENPO_CD)")
        << QStringLiteral("0001 0002");

    QTest::newRow("pending list")
        << Filled
        << QStringLiteral(
               "SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, TAX_ST, TAX_END, GOODS_HASU_FLG, "
               "GOODS_HASU_ICHI, GADD_HASU_FLG, GADD_HASU_ICHI FROM MITEMCNT WHERE (UPDATE_DATE Is Not Null) "
               "AND (COMP_FLG = '0') AND (INV_FLG = '1') ")
        << QStringLiteral(
               "SELECT ITEM_CD, IFNULL(DETAIL_NO, 0) AS DETAIL_NO, TAX_ST, TAX_END, GOODS_HASU_FLG, "
               "GOODS_HASU_ICHI, GADD_HASU_FLG, GADD_HASU_ICHI FROM MITEMCNT WHERE (UPDATE_DATE Is Not Null) "
               "AND (COMP_FLG = '0') AND (INV_FLG = '1') ")
        << QString() << QStringLiteral("002");
    QTest::newRow("record, completes")
        << Filled << record(QStringLiteral("001"), QStringLiteral("0"), 0) << QString()
        << QStringLiteral("SELECT UPDATE_DATE || COMP_FLG || COMP_DATE || TAX_END FROM "
                          "MITEMCNT WHERE ITEM_CD = '001' AND DETAIL_NO = 0")
        << Today + QStringLiteral("1") + Today + QStringLiteral("8");
    QTest::newRow("record, inventory")
        << Filled << record(QStringLiteral("002"), QStringLiteral("1"), 1) << QString()
        << QStringLiteral("SELECT UPDATE_DATE || COMP_FLG || IFNULL(COMP_DATE, '-') FROM "
                          "MITEMCNT WHERE ITEM_CD = '002' AND DETAIL_NO = 1")
        << Today + QStringLiteral("0-");
    QTest::newRow("record, quoted code")
        << Filled << record(QuotedCode, QStringLiteral("0"), 0) << QString()
        << QStringLiteral("SELECT UPDATE_DATE FROM MITEMCNT WHERE DETAIL_NO IS NULL") << Today;
    QTest::newRow("completion")
        << Filled
        << QStringLiteral("UPDATE MITEMCNT SET COMP_FLG = '1', COMP_DATE = '") + Today +
               QStringLiteral("' WHERE (INV_FLG = '1') AND (COMP_FLG = '0') AND (UPDATE_DATE Is Not Null) ")
        << QString()
        << QStringLiteral(
               "SELECT GROUP_CONCAT(COMP_FLG, '') FROM (SELECT * FROM MITEMCNT WHERE ITEM_CD = '002' "
               "ORDER BY DETAIL_NO)")
        << QStringLiteral("10");
}

void TestDialect::statements()
{
    QFETCH(QString, setup);
    QFETCH(QString, sql);
    QFETCH(QString, adapted);
    QFETCH(QString, check);
    QFETCH(QString, expected);

    QCOMPARE(toSqliteDialect(sql), adapted.isEmpty() ? sql : adapted);

    krt::testing::TestCatalog catalog;
    QCOMPARE(catalog.create(Data + setup), QString());
    krt::Connection connection;
    QVERIFY(connection.open(catalog.connectionText()));
    QCOMPARE(connection.engine(), krt::Engine::Sqlite);

    if (sql.startsWith(QStringLiteral("SELECT"))) {
        std::optional<krt::Recordset> result = connection.openRecordset(sql);
        QVERIFY2(result, qPrintable(connection.errors().value(0).description));
        if (!expected.isEmpty()) {
            QVERIFY(!result->eof());
            QVERIFY2(result->field(0).toString().startsWith(expected),
                     qPrintable(result->field(0).toString()));
        }
        return;
    }
    QVERIFY2(connection.execute(sql), qPrintable(connection.errors().value(0).description));
    std::optional<krt::Recordset> result = connection.openRecordset(check);
    QVERIFY(result && !result->eof());
    QCOMPARE(result->field(0).toString(), expected);
}

// The adapter's own rules on texts the statements above do not reach.
void TestDialect::tokens_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("adapted");

    QTest::newRow("blank before the parenthesis")
        << QStringLiteral("SELECT ISNULL (CHK, 0), GETDATE ( ) FROM MITEMCNT")
        << QStringLiteral("SELECT IFNULL (CHK, 0), DATETIME('now', 'localtime') FROM MITEMCNT");
    QTest::newRow("lower case") << QStringLiteral("select isnull(CHK, 0), getdate() from MITEMCNT")
                                << QStringLiteral(
                                       "select IFNULL(CHK, 0), DATETIME('now', 'localtime') from MITEMCNT");
    QTest::newRow("names that only begin like a function")
        << QStringLiteral("SELECT ISNULL_FLG, GETDATE_X FROM T") << QString();
    QTest::newRow("quoted names") << QStringLiteral("SELECT [ISNULL](1), \"GETDATE\"() FROM T") << QString();
    QTest::newRow("literal with doubled quotes")
        << QStringLiteral("SELECT 'a''ISNULL(b, 0)''GETDATE()'' 0FROM' AS X") << QString();
    QTest::newRow("decimal and exponent") << QStringLiteral("SELECT 0.5, 1e3, 2E+2 FROM T") << QString();
    QTest::newRow("number into a keyword") << QStringLiteral("SELECT 1,0FROM T WHERE A=1AND B=2")
                                           << QStringLiteral("SELECT 1,0 FROM T WHERE A=1 AND B=2");
    QTest::newRow("FROM another table stays")
        << QStringLiteral(
               "UPDATE MGOODS SET KOURI_PRC = 1 FROM MITEMCNT WHERE MGOODS.DAI_BUNRUI_CD = MITEMCNT.ITEM_CD")
        << QString();
    QTest::newRow("qualified column in the condition stays")
        << QStringLiteral("UPDATE IZAIKO SET IZAIKO.ZAIKO_QTY = 0 WHERE IZAIKO.ZAIKO_QTY < 0")
        << QStringLiteral("UPDATE IZAIKO SET ZAIKO_QTY = 0 WHERE IZAIKO.ZAIKO_QTY < 0");
    QTest::newRow("qualified column inside an expression stays")
        << QStringLiteral(
               "UPDATE IZAIKO SET IZAIKO.KOURI_PRC = POWER(10, 1) * IZAIKO.HYOJYUN_PRC FROM IZAIKO")
        << QStringLiteral("UPDATE IZAIKO SET KOURI_PRC = POWER(10, 1) * IZAIKO.HYOJYUN_PRC ");
    QTest::newRow("other statements")
        << QStringLiteral("DELETE FROM MITEMCNT WHERE ITEM_CD = 'UPDATE X SET X.A = 1'") << QString();
    QTest::newRow("exact decimal becomes REAL")
        << QStringLiteral(
               "SELECT FLOOR(CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) * 5 / 105), CAST(X AS numeric) FROM T")
        << QStringLiteral("SELECT FLOOR(CAST(HYOJYUN_PRC AS REAL) * 5 / 105), CAST(X AS REAL) FROM T");
    QTest::newRow("other casts stay")
        << QStringLiteral("SELECT CAST(DETAIL_NO AS INT) AS DECIMAL_NO FROM T") << QString();
    QTest::newRow("POWER stays") << QStringLiteral("SELECT X / POWER(10, 2) FROM T") << QString();
    QTest::newRow("quote in a comment")
        << QStringLiteral("SELECT ISNULL(A, 0) -- the shop's code\nFROM T WHERE ISNULL(B, 0) = 1")
        << QStringLiteral("SELECT IFNULL(A, 0) -- the shop's code\nFROM T WHERE IFNULL(B, 0) = 1");
    QTest::newRow("quote in a quoted name with a doubled bracket")
        << QStringLiteral("SELECT [O]]'B] FROM T WHERE ISNULL(B, 0) = 1")
        << QStringLiteral("SELECT [O]]'B] FROM T WHERE IFNULL(B, 0) = 1");
    QTest::newRow("empty") << QString() << QString();
}

void TestDialect::tokens()
{
    QFETCH(QString, sql);
    QFETCH(QString, adapted);
    QCOMPARE(toSqliteDialect(sql), adapted.isEmpty() ? sql : adapted);
    static krt::DialectCache cache(toSqliteDialect);
    QCOMPARE(cache.adapt(sql), adapted.isEmpty() ? sql : adapted);
}

// The PostgreSQL entry: what the server does not take, or takes with another meaning.
void TestDialect::postgres_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("adapted");

    QTest::newRow("work list")
        << QStringLiteral("SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, INV_FLG FROM MITEMCNT "
                          "WHERE (MITEMCNT.CHK = 1) AND (UPDATE_DATE Is Null) ORDER BY INV_FLG DESC")
        << QStringLiteral("SELECT ITEM_CD, COALESCE(DETAIL_NO, 0) AS DETAIL_NO, INV_FLG FROM MITEMCNT "
                          "WHERE (MITEMCNT.CHK = 1) AND (UPDATE_DATE Is Null) ORDER BY INV_FLG DESC");
    QTest::newRow("server date") << QStringLiteral("SELECT GETDATE() AS SYSDATE")
                                 << QStringLiteral("SELECT LOCALTIMESTAMP AS SYSDATE");
    QTest::newRow("number into a keyword") << FillMajors << FillMajorsAdapted;
    QTest::newRow("qualified targets and FROM of the target")
        << QStringLiteral("UPDATE IZAIKO SET IZAIKO.KOURI_PRC = 1, IZAIKO.KOUSHIN_DT = 'x' FROM IZAIKO "
                          "WHERE (IZAIKO.ZAIKO_QTY > 0)")
        << QStringLiteral("UPDATE IZAIKO SET KOURI_PRC = 1, KOUSHIN_DT = 'x' WHERE (IZAIKO.ZAIKO_QTY > 0)");
    QTest::newRow("POWER of a whole number stays whole")
        << QStringLiteral("SELECT CASE WHEN T - POWER(10, 1) < 0 THEN T ELSE FLOOR(T / POWER(10, 1) + 0.5) * "
                          "POWER(10, 1) END FROM X")
        << QStringLiteral("SELECT CASE WHEN T - CAST(POWER(10, 1) AS INTEGER) < 0 THEN T ELSE FLOOR(T / "
                          "CAST(POWER(10, 1) AS INTEGER) + 0.5) * CAST(POWER(10, 1) AS INTEGER) END FROM X");
    QTest::newRow("POWER among qualified targets")
        << QStringLiteral(
               "UPDATE IIODATA SET IIODATA.A = FLOOR(X / POWER(10, 1)), IIODATA.B = 2 WHERE (C = 1)")
        << QStringLiteral(
               "UPDATE IIODATA SET A = FLOOR(X / CAST(POWER(10, 1) AS INTEGER)), B = 2 WHERE (C = 1)");
    QTest::newRow("POWER of a decimal stays")
        << QStringLiteral("SELECT POWER(2.5, 2), POWER(X, 2) FROM T") << QString();
    QTest::newRow("exact decimal stays")
        << QStringLiteral("SELECT CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) FROM T") << QString();
    QTest::newRow("literal untouched")
        << QStringLiteral("SELECT 'ISNULL(a, b) POWER(10, 1) GETDATE()' FROM T") << QString();
}

void TestDialect::postgres()
{
    QFETCH(QString, sql);
    QFETCH(QString, adapted);
    QCOMPARE(toPostgresDialect(sql), adapted.isEmpty() ? sql : adapted);
}

// The SQL Server entry: every string literal goes as a Unicode text, N'...'; nothing else changes.
void TestDialect::sqlServer_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("adapted");

    QTest::newRow("Japanese texts")
        << QStringLiteral("UPDATE MITEMCNT SET ITEM_NM = '髙島屋・𠮷野家' WHERE (ITEM_CD = '食品')")
        << QStringLiteral("UPDATE MITEMCNT SET ITEM_NM = N'髙島屋・𠮷野家' WHERE (ITEM_CD = N'食品')");
    QTest::newRow("doubled quotes, empty text")
        << QStringLiteral("UPDATE MITEMCNT SET DETAIL_NM = '' WHERE (ITEM_CD = 'O''B ''N''x'' -- /*')")
        << QStringLiteral("UPDATE MITEMCNT SET DETAIL_NM = N'' WHERE (ITEM_CD = N'O''B ''N''x'' -- /*')");
    QTest::newRow("already Unicode") << QStringLiteral(
                                            "SELECT ITEM_CD FROM T WHERE A = N'001' OR B = n'食品'")
                                     << QString();
    QTest::newRow("next to names and numbers")
        << QStringLiteral(
               "SELECT '0'AS COMP_FLG ,0'x' FROM T WHERE ITEM_CD='001'OR ITEM_NM LIKE'%N' OR N = 'a'")
        << QStringLiteral(
               "SELECT N'0'AS COMP_FLG ,0 N'x' FROM T WHERE ITEM_CD=N'001'OR ITEM_NM LIKE N'%N' OR N = N'a'");
    QTest::newRow("quoted names and comments stay")
        << QStringLiteral(
               "SELECT [O'B]]'x], \"a\"\"'b\" FROM T -- it's\nWHERE /* 'c' /* 'd' */ 'e' */ C = 'x'")
        << QStringLiteral(
               "SELECT [O'B]]'x], \"a\"\"'b\" FROM T -- it's\nWHERE /* 'c' /* 'd' */ 'e' */ C = N'x'");
    QTest::newRow("dates")
        << QStringLiteral("UPDATE MITEMCNT SET UPDATE_DATE = '2026/12/08', COMP_DATE = '2026/12/08 10:15:00' "
                          "WHERE (UPDATE_DATE Is Null)")
        << QStringLiteral(
               "UPDATE MITEMCNT SET UPDATE_DATE = N'2026/12/08', COMP_DATE = N'2026/12/08 10:15:00' "
               "WHERE (UPDATE_DATE Is Null)");
    QTest::newRow("SQL Server's own spellings stay")
        << QStringLiteral(
               "UPDATE IZAIKO SET IZAIKO.KOUSHIN_DT = GETDATE() FROM IZAIKO WHERE ISNULL(A, 0) = 1")
        << QString();
}

void TestDialect::sqlServer()
{
    QFETCH(QString, sql);
    QFETCH(QString, adapted);
    QCOMPARE(toSqlServerDialect(sql), adapted.isEmpty() ? sql : adapted);
    static krt::DialectCache cache(toSqlServerDialect);
    QCOMPARE(cache.adapt(sql), adapted.isEmpty() ? sql : adapted);
}

// One shape, many literals: every statement gets from the cache what the adapter gives it whole,
// also when a literal holds quotes, comment marks, the words the adapter rewrites or the cache's
// own placeholder character, and when it is not closed.
void TestDialect::cachedShapes_data()
{
    QTest::addColumn<int>("engine");
    QTest::newRow("embedded") << 0;
    QTest::newRow("PostgreSQL") << 1;
    QTest::newRow("SQL Server") << 2;
}

void TestDialect::cachedShapes()
{
    QFETCH(int, engine);
    const std::array<krt::DialectCache::Adapter, 3> adapters{toSqliteDialect, toPostgresDialect,
                                                             toSqlServerDialect};
    const krt::DialectCache::Adapter adapter = adapters.at(static_cast<std::size_t>(engine));
    krt::DialectCache cache(adapter);
    const QString shape = QStringLiteral(
        "UPDATE IZAIKO SET IZAIKO.KOUSHIN_DT = %1, IZAIKO.KOURI_PRC = ISNULL(KOURI_PRC, 0) / POWER(10, 1) "
        "FROM IZAIKO WHERE (DAI_BUNRUI_CD = %2) AND GETDATE() > %1 -- it's\n AND [O'B] = 1");
    const QStringList literals = {
        QStringLiteral("'001'"),
        QStringLiteral("'O''B'"),
        QStringLiteral("'-- /* ISNULL(x, 0)'"),
        QStringLiteral("N'食品'"),
        QStringLiteral("''"),
        QStringLiteral("'") + QChar(0xE000) + QStringLiteral("'"),
        QStringLiteral("'2026/12/10'"),
        QStringLiteral("'unclosed"),
    };
    for (int round = 0; round < 2; ++round)
        for (const QString &a : literals)
            for (const QString &b : literals) {
                const QString sql = shape.arg(a, b);
                QCOMPARE(cache.adapt(sql), adapter(sql));
            }
}

// Which statements go with their literals bound, and as what: a national literal only where a bound
// text is a Unicode text itself; a statement with a ?, a colon or a comment, without literals, not
// closed, or of another kind than SELECT, INSERT, UPDATE or DELETE goes as text (no shape).
void TestDialect::boundShapes_data()
{
    QTest::addColumn<int>("binding");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QStringList>("values");
    using B = krt::DialectCache::Binding;
    const QString update =
        QStringLiteral("UPDATE MITEMCNT SET ITEM_NM = 'O''B', DETAIL_NM = '' WHERE (ITEM_CD = N'001')");
    QTest::newRow("plain, national literal") << int(B::Plain) << update << QString() << QStringList();
    QTest::newRow("national") << int(B::National) << update
                              << QStringLiteral(
                                     "UPDATE MITEMCNT SET ITEM_NM = ?, DETAIL_NM = ? WHERE (ITEM_CD = ?)")
                              << QStringList{QStringLiteral("O'B"), QStringLiteral(""),
                                             QStringLiteral("001")};
    QTest::newRow("plain") << int(B::Plain)
                           << QStringLiteral("SELECT ITEM_CD FROM MITEMCNT WHERE ITEM_NM='食品'")
                           << QStringLiteral("SELECT ITEM_CD FROM MITEMCNT WHERE ITEM_NM=?")
                           << QStringList{QStringLiteral("食品")};
    QTest::newRow("none") << int(B::None) << QStringLiteral("SELECT 'a'") << QString() << QStringList();
    QTest::newRow("no literal") << int(B::Plain) << QStringLiteral("SELECT 1") << QString() << QStringList();
    QTest::newRow("? in a literal") << int(B::Plain) << QStringLiteral("SELECT 'a?'") << QString()
                                    << QStringList();
    QTest::newRow("colon") << int(B::Plain) << QStringLiteral("SELECT \"a:b\" FROM T WHERE C = 'x'")
                           << QString() << QStringList();
    QTest::newRow("comment") << int(B::Plain) << QStringLiteral("SELECT 'x' -- it's") << QString()
                             << QStringList();
    QTest::newRow("not closed") << int(B::Plain) << QStringLiteral("SELECT 'x''") << QString()
                                << QStringList();
    QTest::newRow("definition") << int(B::National) << QStringLiteral("ALTER TABLE T ADD C TEXT DEFAULT 'x'")
                                << QString() << QStringList();
    // SQL Server's driver would bind a text of more than 127 characters as ntext.
    const QString longest(127, QLatin1Char('x'));
    QTest::newRow("national, 127 characters")
        << int(B::National) << QStringLiteral("SELECT 1 FROM T WHERE C = '%1'").arg(longest)
        << QStringLiteral("SELECT 1 FROM T WHERE C = ?") << QStringList{longest};
    QTest::newRow("national, 128 characters")
        << int(B::National) << QStringLiteral("SELECT 1 FROM T WHERE C = '%1x'").arg(longest) << QString()
        << QStringList();
    QTest::newRow("plain, 128 characters")
        << int(B::Plain) << QStringLiteral("SELECT 1 FROM T WHERE C = '%1x'").arg(longest)
        << QStringLiteral("SELECT 1 FROM T WHERE C = ?") << QStringList{longest + QLatin1Char('x')};
}

void TestDialect::boundShapes()
{
    QFETCH(int, binding);
    QFETCH(QString, sql);
    QFETCH(QString, shape);
    QFETCH(QStringList, values);
    krt::DialectCache cache(binding == int(krt::DialectCache::Binding::National) ? toSqlServerDialect
                                                                                 : toPostgresDialect,
                            static_cast<krt::DialectCache::Binding>(binding));
    for (int round = 0; round < 2; ++round) {
        const std::optional<krt::BoundStatement> bound = cache.bind(sql);
        QCOMPARE(bound ? bound->shape : QString(), shape);
        QCOMPARE(bound ? bound->values : QStringList(), values);
        if (bound)
            QVERIFY(!bound->values.value(1, QStringLiteral("x")).isNull());
    }
}

QTEST_GUILESS_MAIN(TestDialect)
#include "tst_dialect.moc"
