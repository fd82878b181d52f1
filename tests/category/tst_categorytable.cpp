#include "category/categorysql.h"
#include "category/categorytable.h"
#include "category/markingrules.h"
#include "support/statementlog.h"
#include "support/testcatalog.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTest>

using namespace krt;
using namespace krt::category;

Q_DECLARE_METATYPE(krt::category::StockTake)

namespace {

// Category masters: two taxable major categories, one tax-free one, and details of every kind
// that the fill must take or leave.
const QString Masters = QStringLiteral(R"(
INSERT INTO MITEMCD VALUES ('A01', '衣料', '0', '1');
INSERT INTO MITEMCD VALUES ('B02', '食品', '0', '0');
INSERT INTO MITEMCD VALUES ('T09', '非課税', '1', '0');
INSERT INTO MITEMDTL VALUES ('A01', '71', 1, 'シャツ');
INSERT INTO MITEMDTL VALUES ('A01', '71', 2, 'ズボン');
INSERT INTO MITEMDTL VALUES ('A01', '71', 10, '靴下');
INSERT INTO MITEMDTL VALUES ('A01', '72', 3, '別の種類');
INSERT INTO MITEMDTL VALUES ('A01', '71', 0, '番号ゼロ');
INSERT INTO MITEMDTL VALUES ('T09', '71', 1, '非課税の中分類');
INSERT INTO MITEMDTL VALUES ('B02', '71', 5, '菓子');
INSERT INTO MITEMDTL VALUES ('Z99', '71', 1, '大分類なし');
)");

const QStringList FilledKeys = {QStringLiteral("A01|0"),  QStringLiteral("A01|1"), QStringLiteral("A01|2"),
                                QStringLiteral("A01|10"), QStringLiteral("B02|0"), QStringLiteral("B02|5")};

} // namespace

class TestCategoryTable : public QObject
{
    Q_OBJECT

private:
    testing::OpenCatalog m_db;

    bool open(const QString &script = {}) { return m_db.open(script); }

    bool run(const QString &script)
    {
        // The program's connection stays open; SQLite lets a second connection write meanwhile.
        const QString error = m_db.catalog().run(script);
        if (!error.isEmpty())
            qWarning() << error;
        return error.isEmpty();
    }

    // The rows of a query as "field|field|..." lines; Null fields read as "<null>".
    QStringList rows(const QString &sql)
    {
        QStringList lines;
        std::optional<Recordset> rs = m_db.conn().openRecordset(sql);
        if (!rs)
            return {QStringLiteral("<failed>")};
        for (; !rs->eof(); rs->moveNext()) {
            QStringList fields;
            for (int i = 0; i < rs->fieldCount(); ++i)
                fields.append(rs->isNull(i) ? QStringLiteral("<null>") : rs->field(i).toString());
            lines.append(fields.join(QLatin1Char('|')));
        }
        return lines;
    }

    QStringList keys()
    {
        return rows(QStringLiteral("SELECT ITEM_CD, DETAIL_NO FROM MITEMCNT ORDER BY ITEM_CD, DETAIL_NO"));
    }

private Q_SLOTS:
    void cleanup() { m_db.reset(); }

    void aFirstFillTakesEveryTaxableCategoryAndItsSubCategories()
    {
        QVERIFY(open(Masters));
        QCOMPARE(fill(m_db.conn(), 0), 0);
        // Tax-free categories, other detail kinds, number 0 and details without a major never get a row.
        QCOMPARE(keys(), FilledKeys);
        QCOMPARE(rows(QStringLiteral(
                     "SELECT ITEM_CD, DETAIL_NO, ITEM_NM, DETAIL_NM, TAX_FREE_FLG, INV_FLG, COMP_FLG, "
                     "CHK, UPDATE_DATE, COMP_DATE, TAX_ST FROM MITEMCNT "
                     "WHERE DETAIL_NO IN (0, 10) ORDER BY ITEM_CD, DETAIL_NO")),
                 QStringList({QStringLiteral("A01|0|衣料|<null>|0|1|0|<null>|<null>|<null>|<null>"),
                              QStringLiteral("A01|10|衣料|靴下|0|1|0|<null>|<null>|<null>|<null>"),
                              QStringLiteral("B02|0|食品|<null>|0|0|0|<null>|<null>|<null>|<null>")}));
    }

    void anAdditiveFillAddsOnlyNewCategoriesAndKeepsWhatRowsHold()
    {
        QVERIFY(open(Masters));
        QCOMPARE(fill(m_db.conn(), 0), 0);
        QVERIFY(run(QStringLiteral(
            "UPDATE MITEMCNT SET CHK = 1, UPDATE_DATE = '2014/03/05', COMP_FLG = '1', COMP_DATE = "
            "'2014/03/05', "
            "TAX_ST = 5, TAX_END = 8, GOODS_HASU_FLG = '3', GOODS_HASU_ICHI = '2', GADD_HASU_FLG = '1', "
            "GADD_HASU_ICHI = '1' WHERE ITEM_CD = 'A01' AND DETAIL_NO = 1;\n"
            "UPDATE MITEMCNT SET CHK = 1 WHERE ITEM_CD = 'B02';\n"
            "INSERT INTO MITEMDTL VALUES ('B02', '71', 6, 'パン');\n"
            "INSERT INTO MITEMCD VALUES ('C03', '雑貨', '0', '0');\n")));
        const QString everything = QStringLiteral(
            "SELECT ITEM_CD, DETAIL_NO, CHK, UPDATE_DATE, COMP_FLG, COMP_DATE, TAX_ST, TAX_END, "
            "GOODS_HASU_FLG, "
            "GOODS_HASU_ICHI, GADD_HASU_FLG, GADD_HASU_ICHI FROM MITEMCNT ORDER BY ITEM_CD, DETAIL_NO");
        const QStringList before = rows(everything);

        QCOMPARE(fill(m_db.conn(), 1), 0);
        QStringList after = rows(everything);
        QCOMPARE(after.size(), before.size() + 2);
        QVERIFY(after.removeOne(
            QStringLiteral("B02|6|<null>|<null>|0|<null>|<null>|<null>|<null>|<null>|<null>|<null>")));
        QVERIFY(after.removeOne(
            QStringLiteral("C03|0|<null>|<null>|0|<null>|<null>|<null>|<null>|<null>|<null>|<null>")));
        QCOMPARE(after, before);

        QCOMPARE(fill(m_db.conn(), 1), 0);
        QCOMPARE(keys().size(), before.size() + 2);
    }

    void aFailedMajorFillLeavesTheSubCategoriesAlone()
    {
        QVERIFY(open(Masters));
        {
            const testing::StatementLog log(&m_db.conn(), 1);
            QCOMPARE(fill(m_db.conn(), 0), -1);
            QCOMPARE(log.statements.size(), 1);
            QVERIFY(log.statements.constFirst().contains(QStringLiteral(",DETAIL_NO) ")));
        }
        QCOMPARE(keys(), QStringList());
    }

    void aFailedSubCategoryFillReportsFailure()
    {
        QVERIFY(open(Masters));
        m_db.conn().setStatementHook([](const QString &sql) -> std::optional<QString> {
            if (sql.contains(QStringLiteral("MITEMDTL")))
                return QStringLiteral("refused");
            return std::nullopt;
        });
        QCOMPARE(fill(m_db.conn(), 0), -1);
        m_db.conn().setStatementHook({});
        QCOMPARE(keys(), QStringList({QStringLiteral("A01|0"), QStringLiteral("B02|0")}));
    }

    void countsAllOrMarkedRows()
    {
        QVERIFY(open(Masters));
        QCOMPARE(count(m_db.conn(), {}), 0);
        QCOMPARE(count(m_db.conn(), QStringLiteral(" WHERE CHK = 1")), 0);
        QCOMPARE(fill(m_db.conn(), 0), 0);
        QVERIFY(run(QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE DETAIL_NO IN (1, 2);\n"
                                   "UPDATE MITEMCNT SET UPDATE_DATE = '2014/03/05' WHERE DETAIL_NO = 1;\n"
                                   "UPDATE MITEMCNT SET CHK = 0 WHERE DETAIL_NO = 10;\n")));
        QCOMPARE(count(m_db.conn(), {}), 6);
        // Marked rows count whether converted or not.
        QCOMPARE(count(m_db.conn(), QStringLiteral(" WHERE CHK = 1")), 2);
        QVERIFY(run(QStringLiteral("DROP TABLE MITEMCNT;")));
        QCOMPARE(count(m_db.conn(), {}), -1);
    }

    void clearingMarksLeavesEveryRowUnmarked()
    {
        QVERIFY(open(Masters));
        QCOMPARE(fill(m_db.conn(), 0), 0);
        QVERIFY(run(QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE DETAIL_NO = 1;\n"
                                   "UPDATE MITEMCNT SET CHK = 0 WHERE DETAIL_NO = 2;\n")));
        QCOMPARE(clearChecks(m_db.conn()), 0);
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK IS NOT NULL")),
                 QStringList(QStringLiteral("0")));
        QVERIFY(run(QStringLiteral("DROP TABLE MITEMCNT;")));
        QCOMPARE(clearChecks(m_db.conn()), -1);
    }

    void selectAllMarksOnlyUnconvertedRows()
    {
        QVERIFY(open(Masters));
        QCOMPARE(fill(m_db.conn(), 0), 0);
        QVERIFY(run(QStringLiteral(
            "UPDATE MITEMCNT SET UPDATE_DATE = '2014/03/05' WHERE DETAIL_NO = 1;\n"
            "UPDATE MITEMCNT SET UPDATE_DATE = '2014/03/05', CHK = 0 WHERE DETAIL_NO = 2;\n")));
        QVERIFY(selectAll(m_db.conn()));
        QCOMPARE(
            rows(QStringLiteral("SELECT ITEM_CD, DETAIL_NO, CHK FROM MITEMCNT ORDER BY ITEM_CD, DETAIL_NO")),
            QStringList({QStringLiteral("A01|0|1"), QStringLiteral("A01|1|<null>"), QStringLiteral("A01|2|0"),
                         QStringLiteral("A01|10|1"), QStringLiteral("B02|0|1"), QStringLiteral("B02|5|1")}));
    }

    void selectAllOnAFullyConvertedTableMarksNothing()
    {
        QVERIFY(open(Masters));
        QCOMPARE(fill(m_db.conn(), 0), 0);
        QVERIFY(run(QStringLiteral("UPDATE MITEMCNT SET UPDATE_DATE = '2014/03/05';")));
        QVERIFY(selectAll(m_db.conn()));
        QCOMPARE(count(m_db.conn(), QStringLiteral(" WHERE CHK = 1")), 0);
    }

    void theCategoryClearEmptiesThePriceBackupAndRefillsTheWorkList()
    {
        QVERIFY(
            open(Masters + QStringLiteral("INSERT INTO IZSELL_MENT (JAN_CD) VALUES ('4900000000001');\n")));
        QCOMPARE(fill(m_db.conn(), 0), 0);
        QVERIFY(run(QStringLiteral("UPDATE MITEMCNT SET UPDATE_DATE = '2014/03/05';")));
        DbErrors failure;
        QVERIFY(rebuildWorkList(m_db.conn(), failure));
        QCOMPARE(keys(), FilledKeys);
        QCOMPARE(count(m_db.conn(), QStringLiteral(" WHERE UPDATE_DATE Is Null")), 6);
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM IZSELL_MENT")), QStringList(QStringLiteral("0")));
    }

    void aFailedCategoryClearKeepsBothTablesAndTheHistory_data()
    {
        QTest::addColumn<QString>("refused");
        QTest::newRow("work list refused") << QStringLiteral("DELETE FROM MITEMCNT");
        QTest::newRow("backup refused") << QStringLiteral("DELETE FROM IZSELL_MENT");
        QTest::newRow("refill refused") << fillDetailSql(0);
    }
    void aFailedCategoryClearKeepsBothTablesAndTheHistory()
    {
        QFETCH(QString, refused);
        QVERIFY(
            open(Masters + QStringLiteral("INSERT INTO IZSELL_MENT (JAN_CD) VALUES ('4900000000001');\n")));
        QCOMPARE(fill(m_db.conn(), 0), 0);
        QVERIFY(run(QStringLiteral("UPDATE MITEMCNT SET UPDATE_DATE = '2014/03/05' WHERE ITEM_CD = 'B02';")));
        m_db.conn().setStatementHook([refused](const QString &sql) -> std::optional<QString> {
            if (sql == refused)
                return QStringLiteral("refused");
            return std::nullopt;
        });
        DbErrors failure;
        QVERIFY(!rebuildWorkList(m_db.conn(), failure));
        m_db.conn().setStatementHook({});
        QVERIFY(!m_db.conn().inTransaction());
        QCOMPARE(failure.value(0).description, QStringLiteral("refused"));
        QCOMPARE(count(m_db.conn(), {}), 6);
        QCOMPARE(count(m_db.conn(), QStringLiteral(" WHERE UPDATE_DATE Is Not Null")), 2);
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM IZSELL_MENT")), QStringList(QStringLiteral("1")));
    }

    void aCategoryMissingFromTheWorkListIsFoundAndAddedOnce()
    {
        QVERIFY(open(Masters));
        // A major category's row with a Null number stands for the category: the fill adds no
        // second row beside it.
        QVERIFY(
            run(QStringLiteral("INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, TAX_FREE_FLG, INV_FLG, "
                               "COMP_FLG) VALUES ('B02', '食品', NULL, '0', '0', '0');")));
        QCOMPARE(missingCategories(m_db.conn()).value_or(QStringList(QStringLiteral("<failed>"))),
                 QStringList({QStringLiteral("A01-0"), QStringLiteral("A01-1"), QStringLiteral("A01-2"),
                              QStringLiteral("A01-10"), QStringLiteral("B02-5")}));
        QCOMPARE(fill(m_db.conn(), 1), 0);
        QCOMPARE(missingCategories(m_db.conn()).value_or(QStringList(QStringLiteral("<failed>"))),
                 QStringList());
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE ITEM_CD = 'B02' AND "
                                     "(DETAIL_NO Is Null OR DETAIL_NO = 0)")),
                 QStringList(QStringLiteral("1")));
    }

    // One rule for the inventory flag, trailing blanks ignored: select all marks the categories
    // the run can convert and only those; the others are named with their flags.
    void theInventoryFlagDecidesWhatSelectAllMarks_data()
    {
        QTest::addColumn<bool>("inventoryOnly");
        QTest::addColumn<QStringList>("marked");
        QTest::newRow("every category") << false
                                        << QStringList({QStringLiteral("A01|0"), QStringLiteral("A01|1"),
                                                        QStringLiteral("A01|2"), QStringLiteral("B02|0")});
        QTest::newRow("inventory only")
            << true
            << QStringList({QStringLiteral("A01|0"), QStringLiteral("A01|1"), QStringLiteral("A01|2")});
    }
    void theInventoryFlagDecidesWhatSelectAllMarks()
    {
        QFETCH(bool, inventoryOnly);
        QFETCH(QStringList, marked);
        QVERIFY(open(Masters));
        QCOMPARE(fill(m_db.conn(), 0), 0);
        QVERIFY(run(
            QStringLiteral("UPDATE MITEMCNT SET INV_FLG = '1 ' WHERE ITEM_CD = 'A01' AND DETAIL_NO = 1;\n"
                           "UPDATE MITEMCNT SET INV_FLG = NULL WHERE ITEM_CD = 'A01' AND DETAIL_NO = 10;\n"
                           "UPDATE MITEMCNT SET INV_FLG = '0 ' WHERE ITEM_CD = 'B02' AND DETAIL_NO = 0;\n"
                           "UPDATE MITEMCNT SET INV_FLG = '2' WHERE ITEM_CD = 'B02' AND DETAIL_NO = 5;")));
        QVERIFY(selectAll(m_db.conn(), inventoryOnly));
        QCOMPARE(
            rows(QStringLiteral("SELECT ITEM_CD, DETAIL_NO FROM MITEMCNT WHERE CHK = 1 ORDER BY ITEM_CD, "
                                "DETAIL_NO")),
            marked);
        QCOMPARE(
            unknownFlagCategories(m_db.conn(), false).value_or(QStringList()),
            QStringList({QStringLiteral("A01-10 INV_FLG = (Null)"), QStringLiteral("B02-5 INV_FLG = '2'")}));
        QCOMPARE(unknownFlagCategories(m_db.conn(), true).value_or(QStringList(QStringLiteral("<failed>"))),
                 QStringList());
    }

    // What a line may carry and what select all marks, by conversion, inventory flag and stock
    // mode: "markable, needs the stock-take, marked by select all when it is up to date, when not".
    void theMarkingRulesDecideByRowAndStockMode_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QVariant>("flag");
        QTest::addColumn<int>("stockMode");
        QTest::addColumn<QString>("expected");
        QTest::newRow("deferred, other")
            << QString() << QVariant(QStringLiteral("0")) << 0 << QStringLiteral("1110");
        QTest::newRow("deferred, other padded")
            << QString() << QVariant(QStringLiteral("0 ")) << 0 << QStringLiteral("1110");
        QTest::newRow("deferred, inventory")
            << QString() << QVariant(QStringLiteral("1")) << 0 << QStringLiteral("1011");
        QTest::newRow("direct, other")
            << QString() << QVariant(QStringLiteral("0")) << 1 << QStringLiteral("1011");
        QTest::newRow("flag 2") << QString() << QVariant(QStringLiteral("2")) << 1 << QStringLiteral("0000");
        QTest::newRow("flag Null") << QString() << QVariant() << 0 << QStringLiteral("0000");
        QTest::newRow("converted") << QStringLiteral("2014/03/05") << QVariant(QStringLiteral("1")) << 0
                                   << QStringLiteral("0000");
        QTest::newRow("converted, deferred, other")
            << QStringLiteral("2014/03/05") << QVariant(QStringLiteral("0")) << 0 << QStringLiteral("0100");
    }
    void theMarkingRulesDecideByRowAndStockMode()
    {
        QFETCH(QString, date);
        QFETCH(QVariant, flag);
        QFETCH(int, stockMode);
        QFETCH(QString, expected);
        const WorkListRow row{QStringLiteral("A01"), {}, QStringLiteral("0"), {}, date, flag};
        const MarkingRules rules(stockMode);
        const auto bit = [](bool b) { return b ? QLatin1Char('1') : QLatin1Char('0'); };
        QCOMPARE(QString(bit(rules.markable(row))) + bit(rules.needsStockTake(row)) +
                     bit(rules.selectedByAll(row, true)) + bit(rules.selectedByAll(row, false)),
                 expected);
    }

    void aSystemMonthIsAYearAndAMonth_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("December") << QStringLiteral("202612") << true;
        QTest::newRow("January") << QStringLiteral("202701") << true;
        QTest::newRow("with a slash") << QStringLiteral("2026/12") << false;
        QTest::newRow("month 13") << QStringLiteral("202613") << false;
        QTest::newRow("month 0") << QStringLiteral("202600") << false;
        QTest::newRow("five digits") << QStringLiteral("20261") << false;
        QTest::newRow("statement text") << QStringLiteral("0) OR (1") << false;
    }
    void aSystemMonthIsAYearAndAMonth()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(isYearMonth(text), valid);
    }

    void theStockTakeIsOutdatedOnlyBeforeTheBusinessDate_data()
    {
        QTest::addColumn<QStringList>("dates");
        QTest::addColumn<StockTake>("expected");
        QTest::newRow("no stock-take at all") << QStringList() << StockTake::UpToDate;
        QTest::newRow("on the business date")
            << QStringList{QStringLiteral("2014/03/05")} << StockTake::UpToDate;
        QTest::newRow("one day earlier") << QStringList{QStringLiteral("2014/03/04")} << StockTake::Outdated;
        QTest::newRow("later") << QStringList{QStringLiteral("2014/03/06")} << StockTake::UpToDate;
        QTest::newRow("the latest of several counts")
            << QStringList{QStringLiteral("2014/02/01"), QStringLiteral("2014/03/05")} << StockTake::UpToDate;
        QTest::newRow("dashes") << QStringList{QStringLiteral("2014-03-04")} << StockTake::Outdated;
        QTest::newRow("late in the day before")
            << QStringList{QStringLiteral("2014/03/04 23:59:59")} << StockTake::Outdated;
        QTest::newRow("early on the business date")
            << QStringList{QStringLiteral("2014-03-05 00:00:00")} << StockTake::UpToDate;
        QTest::newRow("with milliseconds")
            << QStringList{QStringLiteral("2014-03-04 10:00:00.000")} << StockTake::Outdated;
        QTest::newRow("no such month") << QStringList{QStringLiteral("2014/13/01")} << StockTake::ReadFailed;
        QTest::newRow("no date") << QStringList{QStringLiteral("yesterday")} << StockTake::ReadFailed;
    }
    void theStockTakeIsOutdatedOnlyBeforeTheBusinessDate()
    {
        QFETCH(QStringList, dates);
        QFETCH(StockTake, expected);
        QString script;
        for (int i = 0; i < dates.size(); ++i)
            script +=
                QStringLiteral("INSERT INTO INEFUDA_CNT VALUES ('%1', '%2');\n").arg(i).arg(dates.at(i));
        QVERIFY(open(script));
        QCOMPARE(checkStockTake(m_db.conn(), QDate(2014, 3, 5)), expected);
    }

    void anUnreadableStockTakeIsAFailure()
    {
        QVERIFY(open(QStringLiteral("DROP TABLE INEFUDA_CNT;")));
        QCOMPARE(checkStockTake(m_db.conn(), QDate(2014, 3, 5)), StockTake::ReadFailed);
    }

    void theServerDateIsWrittenTheSameForBothEngines_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("SQL Server date-time") << QVariant(QDateTime(QDate(2014, 3, 5), QTime(21, 7, 3)))
                                              << QStringLiteral("2014/03/05 21:07:03");
        QTest::newRow("SQLite text") << QVariant(QStringLiteral("2014-03-05 21:07:03"))
                                     << QStringLiteral("2014/03/05 21:07:03");
        QTest::newRow("date-time with milliseconds as text")
            << QVariant(QStringLiteral("2014-03-05 21:07:03.250")) << QStringLiteral("2014/03/05 21:07:03");
        QTest::newRow("a date alone") << QVariant(QDate(2014, 3, 5)) << QStringLiteral("2014/03/05 00:00:00");
        QTest::newRow("morning") << QVariant(QStringLiteral("2014/03/05 09:07:03"))
                                 << QStringLiteral("2014/03/05 09:07:03");
        QTest::newRow("null") << QVariant() << QString();
        QTest::newRow("a number") << QVariant(20140305) << QString();
        QTest::newRow("garbage") << QVariant(QStringLiteral("5 March 2014")) << QString();
    }
    void theServerDateIsWrittenTheSameForBothEngines()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, expected);
        QCOMPARE(serverDateText(value).value_or(QString()), expected);
    }

    void theServerDateComesFromTheDatabase()
    {
        QVERIFY(open());
        const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
        const std::optional<QString> text = serverDate(m_db.conn());
        QVERIFY(text);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}$"))
                     .match(*text)
                     .hasMatch(),
                 qPrintable(*text));
        const QDateTime read = QDateTime::fromString(*text, QStringLiteral("yyyy/MM/dd HH:mm:ss"));
        QVERIFY(read >= before && read <= QDateTime::currentDateTime().addSecs(2));

        m_db.conn().setStatementHook(
            [](const QString &) { return std::optional<QString>(QStringLiteral("refused")); });
        QVERIFY(!serverDate(m_db.conn()));
    }

    void theSystemMonthIsReadAsItsDigits_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        QTest::newRow("number") << QStringLiteral("INSERT INTO GDATECTL VALUES (1, 201403);")
                                << QStringLiteral("201403");
        QTest::newRow("number stored as a double")
            << QStringLiteral("DROP TABLE GDATECTL;\nCREATE TABLE GDATECTL (CTL_KEY INTEGER, SYS_YM1 REAL);\n"
                              "INSERT INTO GDATECTL VALUES (1, 201410);")
            << QStringLiteral("201410");
        QTest::newRow("text") << QStringLiteral(
                                     "DROP TABLE GDATECTL;\nCREATE TABLE GDATECTL (SYS_YM1 TEXT);\n"
                                     "INSERT INTO GDATECTL VALUES ('201412');")
                              << QStringLiteral("201412");
        QTest::newRow("no row") << QString() << QString();
        QTest::newRow("null") << QStringLiteral(
                                     "DROP TABLE GDATECTL;\nCREATE TABLE GDATECTL (SYS_YM1 INTEGER);\n"
                                     "INSERT INTO GDATECTL VALUES (NULL);")
                              << QString();
        QTest::newRow("not a whole month")
            << QStringLiteral("DROP TABLE GDATECTL;\nCREATE TABLE GDATECTL (SYS_YM1 REAL);\n"
                              "INSERT INTO GDATECTL VALUES (201403.5);")
            << QString();
        QTest::newRow("no table") << QStringLiteral("DROP TABLE GDATECTL;") << QString();
    }
    void theSystemMonthIsReadAsItsDigits()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        QVERIFY(open(script));
        QCOMPARE(sysYm(m_db.conn()).value_or(QString()), expected);
    }

    void gridLinesComeUnconvertedFirstThenByDateCodeAndNumber()
    {
        QVERIFY(open(QStringLiteral(R"(
INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, DETAIL_NM, INV_FLG, CHK, UPDATE_DATE) VALUES
  ('C03', '雑貨', 0, NULL, '0', 1, '2014/03/05'),
  ('A01', '衣料', 1, 'シャツ', '1', NULL, '2014/03/06'),
  ('A01', '衣料', 10, '靴下', '1', 1, NULL),
  ('B02', '食品', 5, '菓子', '0', NULL, NULL),
  ('B02', '食品', 0, NULL, '0', 0, '2014/03/05'),
  ('A01', '衣料', 2, 'ズボン', '1', NULL, NULL),
  ('B02', '食品', NULL, NULL, '0', NULL, NULL),
  ('A01', '衣料', 0, NULL, '1', 1, NULL);
)")));
        const std::optional<QList<WorkListRow>> read = readWorkList(m_db.conn());
        QVERIFY(read);
        QStringList lines;
        for (const WorkListRow &row : *read)
            lines.append(QStringList{row.itemCd, row.itemNm, row.detailNo, row.detailNm, row.updateDate,
                                     row.invFlg.toString()}
                             .join(QLatin1Char('|')));
        const auto line = [](const char *itemCd, const char *itemNm, const char *detailNo,
                             const char *detailNm, const char *date, const char *inv) {
            return QStringList{QString::fromUtf8(itemCd),   QString::fromUtf8(itemNm),
                               QString::fromUtf8(detailNo), QString::fromUtf8(detailNm),
                               QString::fromUtf8(date),     QString::fromUtf8(inv)}
                .join(QLatin1Char('|'));
        };
        const QStringList expected = {
            line("A01", "衣料", "0", "", "", "1"),
            line("A01", "衣料", "2", "ズボン", "", "1"),
            line("A01", "衣料", "10", "靴下", "", "1"),
            line("B02", "食品", "", "", "", "0"),
            line("B02", "食品", "5", "菓子", "", "0"),
            line("B02", "食品", "0", "", "2014/03/05", "0"),
            line("C03", "雑貨", "0", "", "2014/03/05", "0"),
            line("A01", "衣料", "1", "シャツ", "2014/03/06", "1"),
        };
        QCOMPARE(lines, expected);
    }

    void anEmptyOrMissingWorkListReadsAsNoLinesOrFailure()
    {
        QVERIFY(open());
        const std::optional<QList<WorkListRow>> none = readWorkList(m_db.conn());
        QVERIFY(none);
        QVERIFY(none->isEmpty());
        QVERIFY(run(QStringLiteral("DROP TABLE MITEMCNT;")));
        QVERIFY(!readWorkList(m_db.conn()));
    }

    void aMarkGoesToTheLinesRowOnly()
    {
        QVERIFY(open(QStringLiteral(R"(
INSERT INTO MITEMCNT (ITEM_CD, DETAIL_NO, UPDATE_DATE) VALUES
  ('A01', 0, NULL), ('A01', NULL, NULL), ('A01', 1, NULL), ('A01', 10, '2014/03/05'), ('B02', 0, NULL);
)")));
        const QString marks =
            QStringLiteral("SELECT ITEM_CD, DETAIL_NO, CHK FROM MITEMCNT ORDER BY ITEM_CD, DETAIL_NO");
        QVERIFY(setMark(m_db.conn(), 1, QStringLiteral("A01"), QStringLiteral("0")));
        QVERIFY(setMark(m_db.conn(), 1, QStringLiteral("A01"), QString()));
        QVERIFY(setMark(m_db.conn(), 0, QStringLiteral("A01"), QStringLiteral("10")));
        QCOMPARE(rows(marks), QStringList({QStringLiteral("A01|<null>|1"), QStringLiteral("A01|0|1"),
                                           QStringLiteral("A01|1|<null>"), QStringLiteral("A01|10|0"),
                                           QStringLiteral("B02|0|<null>")}));
        QVERIFY(setMark(m_db.conn(), 0, QStringLiteral("A01"), QString()));
        QCOMPARE(rows(marks).at(0), QStringLiteral("A01|<null>|0"));

        m_db.conn().setStatementHook(
            [](const QString &) { return std::optional<QString>(QStringLiteral("refused")); });
        QVERIFY(!setMark(m_db.conn(), 1, QStringLiteral("B02"), QStringLiteral("0")));
    }

    void categoryCodesWithQuotesWorkFromFillToToggle()
    {
        const QString quoted = QStringLiteral("O'K");
        const QString injected = QStringLiteral("X') OR ('1'='1");
        QVERIFY(open(QStringLiteral(R"(
INSERT INTO MITEMCD VALUES ('O''K', 'オーケー', '0', '0');
INSERT INTO MITEMCD VALUES ('X'') OR (''1''=''1', '注入', '0', '0');
INSERT INTO MITEMCD VALUES ('B02', '食品', '0', '0');
INSERT INTO MITEMDTL VALUES ('O''K', '71', 1, 'その1');
)")));
        QCOMPARE(fill(m_db.conn(), 0), 0);
        QCOMPARE(fill(m_db.conn(), 1), 0);
        const std::optional<QList<WorkListRow>> read = readWorkList(m_db.conn());
        QVERIFY(read);
        QCOMPARE(read->size(), 4);
        QList<WorkListRow> ofQuoted;
        for (const WorkListRow &row : *read)
            if (row.itemCd == quoted)
                ofQuoted.append(row);
        QCOMPARE(ofQuoted.size(), 2);

        const WorkListRow &sub = ofQuoted.at(1);
        QCOMPARE(sub.detailNo, QStringLiteral("1"));
        QVERIFY(setMark(m_db.conn(), 1, sub.itemCd, sub.detailNo));
        QVERIFY(setMark(m_db.conn(), 1, injected, QStringLiteral("0")));
        QCOMPARE(
            rows(QStringLiteral("SELECT ITEM_CD, DETAIL_NO FROM MITEMCNT WHERE CHK = 1 ORDER BY ITEM_CD")),
            QStringList({quoted + QStringLiteral("|1"), injected + QStringLiteral("|0")}));
    }
};

QTEST_GUILESS_MAIN(TestCategoryTable)
#include "tst_categorytable.moc"
