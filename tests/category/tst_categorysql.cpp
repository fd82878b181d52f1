#include "category/categorysql.h"
#include "support/testcatalog.h"

#include <QTest>

using namespace krt::category;
using krt::testing::FillMajors;
using krt::testing::FillSubs;

namespace {

const QString MajorGuard = QStringLiteral(
    " and (not exists (select MITEMCNT.ITEM_CD from MITEMCNT where MITEMCNT.ITEM_CD = MITEMCD.ITEM_CD"
    " and ((MITEMCNT.DETAIL_NO Is Null) or (MITEMCNT.DETAIL_NO = '0'))))");
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
        QCOMPARE(fillMajorSql(inAdd), guarded ? FillMajors + MajorGuard : FillMajors);
        QCOMPARE(fillDetailSql(inAdd), guarded ? FillSubs + DetailGuard : FillSubs);
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
