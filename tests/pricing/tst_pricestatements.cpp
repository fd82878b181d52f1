#include "pricing/pricestatements.h"

#include <QTest>

using namespace krt;
using namespace krt::pricing;

namespace {

// The price expression of a column for method 1 from 5 to 8, half up at the ones, built from the
// worked example of the builders (the column read as an exact decimal) by renaming its column.
QString expression(const QString &column)
{
    return QStringLiteral(
               "CASE WHEN ((CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) - FLOOR(CAST(HYOJYUN_PRC AS DECIMAL(19, 4)"
               ") * 5 / 105)) + FLOOR((CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) - FLOOR(CAST(HYOJYUN_PRC AS DEC"
               "IMAL(19, 4)) * 5 / 105)) * 8 / 100)) - POWER(10, 1) < 0 THEN ((CAST(HYOJYUN_PRC AS DECIMAL"
               "(19, 4)) - FLOOR(CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) * 5 / 105)) + FLOOR((CAST(HYOJYUN_PRC"
               " AS DECIMAL(19, 4)) - FLOOR(CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) * 5 / 105)) * 8 / 100)) EL"
               "SE FLOOR(((CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) - FLOOR(CAST(HYOJYUN_PRC AS DECIMAL(19, 4))"
               " * 5 / 105)) + FLOOR((CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) - FLOOR(CAST(HYOJYUN_PRC AS DECI"
               "MAL(19, 4)) * 5 / 105)) * 8 / 100)) / POWER(10, 1) + 0.5) * POWER(10, 1) END")
        .replace(QStringLiteral("HYOJYUN_PRC"), column);
}

ConversionParams halfUpAtTheOnes()
{
    ConversionParams p;
    p.CalcMethod = 1;
    p.TAX_ST = {QStringLiteral("0"), QStringLiteral("5"), QStringLiteral("10")};
    p.TAX_END = {QStringLiteral("10"), QStringLiteral("8"), QStringLiteral("0")};
    p.HASU_FLG = {HasuRoundHalfUp, HasuRoundHalfUp};
    p.HASU_ICHI = {0, 0};
    return p;
}

const StoredParams StoredHalfUpAtTheOnes{
    5, 8, QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("1")};

const QString KoushinDt = QStringLiteral("2014/04/01 09:07:03");
const QDate Today(2014, 4, 1);

QString mgoodsAssignments()
{
    QString sql;
    for (const char *column : {"HYOJYUN_PRC", "KOURI_PRC", "OROSI_PRC", "H_ADD1_PRC", "K_ADD1_PRC",
                               "O_ADD1_PRC", "H_ADD2_PRC", "K_ADD2_PRC", "O_ADD2_PRC"})
        sql += QLatin1String(column) + QStringLiteral(" = ") + expression(QLatin1String(column)) +
               QStringLiteral(", ");
    return sql;
}

QString stockAssignments(const QString &table, const QString &afterLast)
{
    return table + QStringLiteral(".HYOJYUN_PRC = ") + expression(QStringLiteral("HYOJYUN_PRC")) +
           QStringLiteral(", ") + table + QStringLiteral(".KOURI_PRC = ") +
           expression(QStringLiteral("KOURI_PRC")) + QStringLiteral(", ") + table +
           QStringLiteral(".OROSI_PRC = ") + expression(QStringLiteral("OROSI_PRC")) + afterLast;
}

} // namespace

class TestPriceStatements : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void subCategoryClause_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<int>("detailNo");
        QTest::addColumn<QString>("expected");
        QTest::newRow("major category in a price table")
            << QStringLiteral("CHU_BUNRUI_CD") << 0
            << QStringLiteral("AND ((CHU_BUNRUI_CD Is Null) OR (CHU_BUNRUI_CD = 0))");
        QTest::newRow("sub-category 12 in a price table")
            << QStringLiteral("CHU_BUNRUI_CD") << 12 << QStringLiteral("AND (CHU_BUNRUI_CD = 12)");
        QTest::newRow("major category in the control table")
            << QStringLiteral("DETAIL_NO") << 0
            << QStringLiteral("AND ((DETAIL_NO Is Null) OR (DETAIL_NO = 0))");
        QTest::newRow("sub-category 12 in the control table")
            << QStringLiteral("DETAIL_NO") << 12 << QStringLiteral("AND (DETAIL_NO = 12)");
    }
    void subCategoryClause()
    {
        QFETCH(QString, column);
        QFETCH(int, detailNo);
        QFETCH(QString, expected);
        QCOMPARE(pricing::subCategoryClause(column, detailNo), expected);
    }

    void workListPutsInventoryCategoriesFirst()
    {
        QCOMPARE(workListQuery(),
                 QStringLiteral("SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, INV_FLG FROM "
                                "MITEMCNT WHERE (MITEMCNT.CHK = 1) AND (UPDATE_DATE Is Null) ORDER "
                                "BY INV_FLG DESC"));
    }

    void goodsMasterStatement_data()
    {
        QTest::addColumn<QString>("itemCd");
        QTest::addColumn<int>("detailNo");
        QTest::addColumn<QString>("where");
        QTest::newRow("major category")
            << QStringLiteral("10") << 0
            << QStringLiteral("WHERE (DAI_BUNRUI_CD = '10') AND ((CHU_BUNRUI_CD Is Null) "
                              "OR (CHU_BUNRUI_CD = 0))");
        QTest::newRow("sub-category")
            << QStringLiteral("10") << 12
            << QStringLiteral("WHERE (DAI_BUNRUI_CD = '10') AND (CHU_BUNRUI_CD = 12)");
        QTest::newRow("quote in the code is doubled")
            << QStringLiteral("O'K") << 3
            << QStringLiteral("WHERE (DAI_BUNRUI_CD = 'O''K') AND (CHU_BUNRUI_CD = 3)");
    }
    void goodsMasterStatement()
    {
        QFETCH(QString, itemCd);
        QFETCH(int, detailNo);
        QFETCH(QString, where);
        const QString head = QStringLiteral("UPDATE MGOODS SET ") + mgoodsAssignments() +
                             QStringLiteral("UPDATE_DT = '2014/04/01 09:07:03' ");
        QCOMPARE(CategoryStatements(halfUpAtTheOnes(), 1, KoushinDt).mgoods(itemCd, detailNo), head + where);
        QCOMPARE(pendingMGoodsStatement(itemCd, detailNo, StoredHalfUpAtTheOnes, KoushinDt),
                 std::optional<QString>(head + QStringLiteral("FROM MGOODS ") + where));
    }

    void pendingStatementFailsOnAnExponentThatIsNotANumber()
    {
        StoredParams stored = StoredHalfUpAtTheOnes;
        stored.addOnExponent = QStringLiteral("a");
        QVERIFY(!pendingMGoodsStatement(QStringLiteral("10"), 0, stored, KoushinDt));
    }

    void stockMovementsFromTheSystemMonthOn()
    {
        QCOMPARE(
            CategoryStatements(halfUpAtTheOnes(), 1, {})
                .iioData(QStringLiteral("10"), 0, QStringLiteral("201404")),
            std::optional<QString>(QStringLiteral("UPDATE IIODATA SET ") +
                                   stockAssignments(QStringLiteral("IIODATA"), QStringLiteral(" ")) +
                                   QStringLiteral("WHERE (IO_YM >= 201404) AND (DAI_BUNRUI_CD = '10') AND "
                                                  "((CHU_BUNRUI_CD Is Null) OR (CHU_BUNRUI_CD = 0))")));
    }

    void stockMovementsRefuseAMonthThatIsNotDigits_data()
    {
        QTest::addColumn<QString>("sysYm");
        QTest::newRow("empty") << QString();
        QTest::newRow("letters") << QStringLiteral("2014AB");
        QTest::newRow("statement text") << QStringLiteral("0) OR (1 = 1");
        QTest::newRow("negative") << QStringLiteral("-1");
    }
    void stockMovementsRefuseAMonthThatIsNotDigits()
    {
        QFETCH(QString, sysYm);
        QVERIFY(!CategoryStatements(halfUpAtTheOnes(), 1, {}).iioData(QStringLiteral("10"), 0, sysYm));
    }

    void stockStatementSelectsRowsByInventoryVersion_data()
    {
        QTest::addColumn<bool>("inventNewVersion");
        QTest::addColumn<QString>("rows");
        QTest::newRow("new version: stock only") << true << QStringLiteral("WHERE (ZAIKO_QTY > 0) ");
        QTest::newRow("old version: stock or consignment")
            << false << QStringLiteral("WHERE ((ZAIKO_QTY > 0) OR (JYUTAKU_QTY > 0)) ");
    }
    void stockStatementSelectsRowsByInventoryVersion()
    {
        QFETCH(bool, inventNewVersion);
        QFETCH(QString, rows);
        QCOMPARE(CategoryStatements(halfUpAtTheOnes(), 1, KoushinDt)
                     .izaiko(QStringLiteral("10"), 12, inventNewVersion),
                 QStringLiteral("UPDATE IZAIKO SET ") +
                     stockAssignments(QStringLiteral("IZAIKO"), QStringLiteral(", ")) +
                     QStringLiteral("IZAIKO.KOUSHIN_DT = '2014/04/01 09:07:03' ") + rows +
                     QStringLiteral("AND (DAI_BUNRUI_CD = '10') AND (CHU_BUNRUI_CD = 12)"));
    }

    void pendingListReadsRecordedInventoryCategories()
    {
        QCOMPARE(pendingListQuery(),
                 QStringLiteral(
                     "SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, TAX_ST, TAX_END, GOODS_HASU_FLG, "
                     "GOODS_HASU_ICHI, GADD_HASU_FLG, GADD_HASU_ICHI FROM MITEMCNT WHERE (UPDATE_DATE Is Not "
                     "Null) AND (COMP_FLG = '0') AND (RTRIM(INV_FLG) = '1') "));
    }

    void recordStatement_data()
    {
        QTest::addColumn<QString>("itemCd");
        QTest::addColumn<int>("detailNo");
        QTest::addColumn<QString>("invFlg");
        QTest::addColumn<int>("goodsCode");
        QTest::addColumn<int>("goodsDigit");
        QTest::addColumn<QString>("expected");
        QTest::newRow("inventory category: recorded, not completed")
            << QStringLiteral("10") << 0 << QStringLiteral("1") << int(HasuRoundHalfUp) << 2
            << QStringLiteral(
                   "UPDATE MITEMCNT SET UPDATE_DATE = '2014/04/01', TAX_ST = 8, TAX_END = 10, "
                   "GOODS_HASU_FLG = '3', GOODS_HASU_ICHI = '3', GADD_HASU_FLG = '1', GADD_HASU_ICHI = '2' "
                   "WHERE (ITEM_CD = '10') AND ((DETAIL_NO Is Null) OR (DETAIL_NO = 0)) AND (UPDATE_DATE "
                   "Is Null)");
        QTest::newRow("other category: completed at once, exponent 0 without rounding")
            << QStringLiteral("20") << 12 << QStringLiteral("0") << int(HasuNone) << 2
            << QStringLiteral(
                   "UPDATE MITEMCNT SET UPDATE_DATE = '2014/04/01', COMP_FLG = '1', COMP_DATE = "
                   "'2014/04/01', TAX_ST = 8, TAX_END = 10, GOODS_HASU_FLG = '0', GOODS_HASU_ICHI = '0', "
                   "GADD_HASU_FLG = '1', GADD_HASU_ICHI = '2' WHERE (ITEM_CD = '20') AND (DETAIL_NO = 12) "
                   "AND (UPDATE_DATE Is Null)");
        QTest::newRow("only exactly 0 completes; quotes doubled")
            << QStringLiteral("A'B") << 0 << QStringLiteral(" 0") << int(HasuRoundDown) << 3
            << QStringLiteral(
                   "UPDATE MITEMCNT SET UPDATE_DATE = '2014/04/01', TAX_ST = 8, TAX_END = 10, "
                   "GOODS_HASU_FLG = '2', GOODS_HASU_ICHI = '4', GADD_HASU_FLG = '1', GADD_HASU_ICHI = '2' "
                   "WHERE (ITEM_CD = 'A''B') AND ((DETAIL_NO Is Null) OR (DETAIL_NO = 0)) AND "
                   "(UPDATE_DATE Is Null)");
    }
    void recordStatement()
    {
        QFETCH(QString, itemCd);
        QFETCH(int, detailNo);
        QFETCH(QString, invFlg);
        QFETCH(int, goodsCode);
        QFETCH(int, goodsDigit);
        QFETCH(QString, expected);
        ConversionParams p;
        p.CalcMethod = 1;
        p.TAX_ST = {QStringLiteral("0"), QStringLiteral("08"), QStringLiteral("5")};
        p.TAX_END = {QStringLiteral("3"), QStringLiteral("10"), QStringLiteral("0")};
        p.HASU_FLG = {goodsCode, HasuRoundUp};
        p.HASU_ICHI = {goodsDigit, 1};
        QCOMPARE(pricing::recordStatement(itemCd, detailNo, invFlg, p, 1, Today),
                 std::optional<QString>(expected));
    }

    void recordStatementStoresTheRatesOfTheSelectedMethod()
    {
        ConversionParams p;
        p.TAX_ST = {QStringLiteral("0"), QStringLiteral("5"), QStringLiteral("8")};
        p.TAX_END = {QStringLiteral("8"), QStringLiteral("10"), QStringLiteral("0")};
        const std::optional<QString> sql =
            pricing::recordStatement(QStringLiteral("1"), 1, QStringLiteral("1"), p, 2, Today);
        QVERIFY(sql);
        QVERIFY(sql->contains(QStringLiteral("TAX_ST = 8, TAX_END = 0, ")));
        // No method selected: both rates are recorded as 0.
        const std::optional<QString> none =
            pricing::recordStatement(QStringLiteral("1"), 1, QStringLiteral("1"), p, -1, Today);
        QVERIFY(none);
        QVERIFY(none->contains(QStringLiteral("TAX_ST = 0, TAX_END = 0, ")));
        // A rate that is not a whole number cannot be recorded.
        p.TAX_END[1].clear();
        QVERIFY(!pricing::recordStatement(QStringLiteral("1"), 1, QStringLiteral("1"), p, 1, Today));
    }

    void completionStatementCompletesRecordedInventoryCategories()
    {
        QCOMPARE(
            completionStatement(Today),
            QStringLiteral(
                "UPDATE MITEMCNT SET COMP_FLG = '1', COMP_DATE = '2014/04/01' WHERE (RTRIM(INV_FLG) = '1') "
                "AND (COMP_FLG = '0') AND (UPDATE_DATE Is Not Null) "));
    }

    void pendingClaimCompletesOnePendingCategory()
    {
        QCOMPARE(pendingClaimStatement(QStringLiteral("O'B"), 0, Today),
                 QStringLiteral(
                     "UPDATE MITEMCNT SET COMP_FLG = '1', COMP_DATE = '2014/04/01' WHERE (ITEM_CD = "
                     "'O''B') AND ((DETAIL_NO Is Null) OR (DETAIL_NO = 0)) AND (RTRIM(INV_FLG) = '1') AND "
                     "(COMP_FLG = '0') AND (UPDATE_DATE Is Not Null)"));
        QCOMPARE(
            pendingClaimStatement(QStringLiteral("002"), 12, Today),
            QStringLiteral("UPDATE MITEMCNT SET COMP_FLG = '1', COMP_DATE = '2014/04/01' WHERE (ITEM_CD = "
                           "'002') AND (DETAIL_NO = 12) AND (RTRIM(INV_FLG) = '1') AND (COMP_FLG = '0') AND "
                           "(UPDATE_DATE Is Not Null)"));
    }
};

QTEST_APPLESS_MAIN(TestPriceStatements)
#include "tst_pricestatements.moc"
