#include "category/categorysql.h"

#include <QTest>

using namespace krt::category;

namespace {

const QString MajorFill = QStringLiteral(
    "INSERT INTO MITEMCNT( ITEM_CD, ITEM_NM, TAX_FREE_FLG, INV_FLG, COMP_FLG ,DETAIL_NO) "
    "SELECT MITEMCD.ITEM_CD, MITEMCD.ITEM_NM, MITEMCD.TAX_FREE_FLG, MITEMCD.INV_FLG, '0' AS COMP_FLG ,0"
    "FROM MITEMCD WHERE (MITEMCD.TAX_FREE_FLG = '0')");
const QString MajorGuard = QStringLiteral(
    " and (not exists (select MITEMCNT.ITEM_CD from MITEMCNT where MITEMCNT.ITEM_CD = MITEMCD.ITEM_CD"
    " and ((MITEMCNT.DETAIL_NO Is Null) or (MITEMCNT.DETAIL_NO = '0'))))");
const QString DetailFill = QStringLiteral(
    "INSERT INTO MITEMCNT( ITEM_CD, ITEM_NM, DETAIL_NO, DETAIL_NM, TAX_FREE_FLG, INV_FLG, COMP_FLG ) "
    "SELECT MITEMCD.ITEM_CD, MITEMCD.ITEM_NM, MITEMDTL.D_DETAIL_NO, MITEMDTL.D_DETAIL_NM, "
    "MITEMCD.TAX_FREE_FLG, MITEMCD.INV_FLG, '0' AS COMP_FLG "
    "FROM MITEMCD INNER JOIN MITEMDTL ON MITEMCD.ITEM_CD = MITEMDTL.D_BUNRUI_CD "
    "WHERE (MITEMCD.TAX_FREE_FLG = '0') AND (MITEMDTL.D_ITEM_NO = '71') AND (MITEMDTL.D_DETAIL_NO <> 0) ");
const QString DetailGuard = QStringLiteral(
    " and (not exists (select MITEMCNT.ITEM_CD from MITEMCNT where MITEMCNT.ITEM_CD = MITEMCD.ITEM_CD"
    " and MITEMCNT.DETAIL_NO = MITEMDTL.D_DETAIL_NO))");

} // namespace

class TestCategorySql : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onlyAnAdditiveFillCarriesTheGuards_data()
    {
        QTest::addColumn<int>("inAdd");
        QTest::addColumn<bool>("guarded");
        QTest::newRow("0: everything") << 0 << false;
        QTest::newRow("1: only what is missing") << 1 << true;
        QTest::newRow("2: everything") << 2 << false;
        QTest::newRow("-1: everything") << -1 << false;
    }
    void onlyAnAdditiveFillCarriesTheGuards()
    {
        QFETCH(int, inAdd);
        QFETCH(bool, guarded);
        QCOMPARE(fillMajorSql(inAdd), guarded ? MajorFill + MajorGuard : MajorFill);
        QCOMPARE(fillDetailSql(inAdd), guarded ? DetailFill + DetailGuard : DetailFill);
    }

    void fixedStatementsReadAsTheDatabaseExpectsThem_data()
    {
        QTest::addColumn<QString>("built");
        QTest::addColumn<QString>("expected");
        QTest::newRow("clear marks") << clearChecksSql() << QStringLiteral("UPDATE MITEMCNT SET CHK = Null");
        QTest::newRow("count all") << countSql({}) << QStringLiteral("SELECT COUNT(*) AS CNT FROM MITEMCNT");
        QTest::newRow("count marked") << countSql(QStringLiteral(" WHERE CHK = 1"))
                                      << QStringLiteral("SELECT COUNT(*) AS CNT FROM MITEMCNT WHERE CHK = 1");
        QTest::newRow("select all") << selectAllSql()
                                    << QStringLiteral(
                                           "UPDATE MITEMCNT SET CHK = 1 WHERE UPDATE_DATE Is Null AND "
                                           "(RTRIM(INV_FLG) IN ('0', '1'))");
        QTest::newRow("empty work list") << deleteWorkListSql() << QStringLiteral("DELETE FROM MITEMCNT");
        QTest::newRow("empty backup") << deleteSellMentSql() << QStringLiteral("DELETE FROM IZSELL_MENT");
        QTest::newRow("stock-take") << stockTakeSql()
                                    << QStringLiteral(
                                           "SELECT MAX(ZAIKOMENT_DT) AS MAX_DATE FROM INEFUDA_CNT");
        QTest::newRow("server date") << serverDateSql() << QStringLiteral("SELECT GETDATE() AS SYSDATE");
        QTest::newRow("system month") << sysYmSql() << QStringLiteral("SELECT SYS_YM1 FROM GDATECTL");
        QTest::newRow("grid") << gridSql()
                              << QStringLiteral(
                                     "SELECT CHK, ITEM_CD, ITEM_NM, CAST(DETAIL_NO AS INT) AS DETAIL_NO, "
                                     "DETAIL_NM, UPDATE_DATE, INV_FLG FROM MITEMCNT "
                                     "ORDER BY UPDATE_DATE, ITEM_CD, DETAIL_NO");
    }
    void fixedStatementsReadAsTheDatabaseExpectsThem()
    {
        QFETCH(QString, built);
        QFETCH(QString, expected);
        QCOMPARE(built, expected);
    }

    void aToggleNamesTheLinesRowAndDoublesQuotes_data()
    {
        QTest::addColumn<int>("mark");
        QTest::addColumn<QString>("itemCd");
        QTest::addColumn<QString>("detailNo");
        QTest::addColumn<QString>("expected");
        QTest::newRow("mark a sub-category")
            << 1 << QStringLiteral("A01") << QStringLiteral("12")
            << QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE (ITEM_CD = 'A01') AND (DETAIL_NO = '12') ");
        QTest::newRow("unmark a major category filled by the program")
            << 0 << QStringLiteral("A01") << QStringLiteral("0")
            << QStringLiteral("UPDATE MITEMCNT SET CHK = 0 WHERE (ITEM_CD = 'A01') AND (DETAIL_NO = '0') ");
        QTest::newRow("a line without number stands for a Null number")
            << 1 << QStringLiteral("A01") << QString()
            << QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE (ITEM_CD = 'A01') AND (DETAIL_NO IS NULL) ");
        QTest::newRow("quotes in the cells are doubled")
            << 1 << QStringLiteral("O'K") << QStringLiteral("1'")
            << QStringLiteral(
                   "UPDATE MITEMCNT SET CHK = 1 WHERE (ITEM_CD = 'O''K') AND (DETAIL_NO = '1''') ");
    }
    void aToggleNamesTheLinesRowAndDoublesQuotes()
    {
        QFETCH(int, mark);
        QFETCH(QString, itemCd);
        QFETCH(QString, detailNo);
        QFETCH(QString, expected);
        QCOMPARE(setMarkSql(mark, itemCd, detailNo), expected);
    }
};

QTEST_APPLESS_MAIN(TestCategorySql)
#include "tst_categorysql.moc"
