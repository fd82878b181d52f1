#include "support/formfixture.h"

#include "db/sqltext.h"
#include "widgets/numberedmessages.h"
#include "widgets/screenpointer.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <optional>

using namespace krt;
using namespace krt::testing;

namespace {

// The mark of one category key in a catalog's work list ("1", "0" or "<null>"); an empty number
// stands for a Null DETAIL_NO.
QString chk(const FormFixture &f, int position, const QString &itemCd, const QString &detailNo)
{
    const QString number = detailNo.isEmpty() ? QStringLiteral("IS NULL") : QStringLiteral("= ") + detailNo;
    const QStringList found =
        f.rows(position, QStringLiteral("SELECT CHK FROM MITEMCNT WHERE ITEM_CD = '%1' AND DETAIL_NO %2")
                             .arg(sqlText(itemCd), number));
    return found.size() == 1 ? found.first() : QStringLiteral("<%1 rows>").arg(found.size());
}

// The mark of a grid line's row in the table.
QString chkOfLine(const FormFixture &f, int position, int line)
{
    const CategoryGrid *grid = lstTbl(*f.form);
    return chk(f, position, grid->TextMatrix(line, 1), grid->TextMatrix(line, 3));
}

// Every row of a work list with its key, mark and conversion date.
QStringList workList(const FormFixture &f, int position = 0)
{
    return f.rows(position, QStringLiteral("SELECT ITEM_CD, DETAIL_NO, CHK, UPDATE_DATE FROM MITEMCNT "
                                           "ORDER BY ITEM_CD, DETAIL_NO"));
}

// The first line whose column holds the text, or -1.
int firstLine(const FormFixture &f, int col, const QString &text)
{
    return static_cast<int>(f.gridColumn(col).indexOf(text));
}

// The first line of a sub-category (a number other than 0), or -1.
int firstSubLine(const FormFixture &f)
{
    const QStringList numbers = f.gridColumn(3);
    for (int r = 0; r < numbers.size(); ++r)
        if (!numbers[r].isEmpty() && numbers[r] != QStringLiteral("0"))
            return r;
    return -1;
}

} // namespace

// The category grid of the real main form on real installations: marks through clicks and keys,
// converted lines, the stock-take check, the category clear and select all, and large lists.
class TestFormCategory : public QObject
{
    Q_OBJECT

private:
    // Runs the program once so that it fills the work list, converts the rows of the given keys
    // ("code|number") on the given days, and loads the form again as the next start does.
    static bool loadWithConverted(FormFixture &f, const QList<QPair<QString, QString>> &converted)
    {
        f.load();
        f.form.reset();
        for (const auto &[key, day] : converted) {
            const QStringList parts = key.split(QLatin1Char('|'));
            if (!f.sql(0, QStringLiteral("UPDATE MITEMCNT SET UPDATE_DATE = '%1', COMP_FLG = '1', "
                                         "COMP_DATE = '%1' WHERE ITEM_CD = '%2' AND DETAIL_NO = %3")
                              .arg(day, sqlText(parts[0]), parts[1])))
                return false;
        }
        f.boxes.clear();
        f.load();
        return f.boxes.isEmpty();
    }

    // The keys of a work list as "code|number", in code and numeric order.
    static QStringList keys(const FormFixture &f, int position = 0)
    {
        return f.rows(position,
                      QStringLiteral("SELECT ITEM_CD, DETAIL_NO FROM MITEMCNT ORDER BY ITEM_CD, DETAIL_NO"));
    }

    // The conversion history a category clear would throw away: the work list's records and the
    // saved rows of the sales management table.
    struct History
    {
        QStringList records;
        int saved = 0;
    };

    static QStringList records(const FormFixture &f)
    {
        return f.rows(0, QStringLiteral(
                             "SELECT ITEM_CD, DETAIL_NO, UPDATE_DATE, COMP_FLG FROM MITEMCNT ORDER BY 1, 2"));
    }

    // A new installation whose last category was converted on 2014/04/01, loaded into the form;
    // nothing when that could not be made.
    static std::optional<History> withHistory(FormFixture &f)
    {
        if (!f.install())
            return std::nullopt;
        f.load();
        if (!loadWithConverted(f, {{keys(f).last(), QStringLiteral("2014/04/01")}}))
            return std::nullopt;
        History history{records(f), f.count(0, QStringLiteral("SELECT COUNT(*) FROM IZSELL_MENT"))};
        return history.saved > 0 ? std::optional<History>(history) : std::nullopt;
    }

    // What differs from the history in the tables and in the grid's date column; empty when it
    // was kept.
    static QString lost(const FormFixture &f, const History &history)
    {
        if (records(f) != history.records)
            return QStringLiteral("the work list's records changed: ") + records(f).join(QLatin1Char(' '));
        const int saved = f.count(0, QStringLiteral("SELECT COUNT(*) FROM IZSELL_MENT"));
        if (saved != history.saved)
            return QStringLiteral("%1 saved rows, not %2").arg(saved).arg(history.saved);
        if (f.gridColumn(5).last() != QStringLiteral("2014/04/01"))
            return QStringLiteral("the grid shows the last line converted on ") + f.gridColumn(5).last();
        return {};
    }

    static QString lineKey(const FormFixture &f, int line)
    {
        return lstTbl(*f.form)->TextMatrix(line, 1) + QLatin1Char('|') + lstTbl(*f.form)->TextMatrix(line, 3);
    }

private Q_SLOTS:
    // A category whose inventory flag is neither 0 nor 1 is named when the database is opened,
    // never marked by select all, and refused on a click, with its flag.
    void aCategoryTheRunCannotConvertIsNamedAndNeverMarked()
    {
        FormFixture f;
        QVERIFY(f.install());
        f.load();
        f.form.reset();
        const QString code = f.value(0, QStringLiteral("SELECT MIN(ITEM_CD) FROM MITEMCNT")).toString();
        QVERIFY(f.sql(0, QStringLiteral("UPDATE MITEMCNT SET INV_FLG = '2' WHERE ITEM_CD = '%1'").arg(code)));
        f.boxes.clear();
        f.load();
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40425")});
        QVERIFY2(f.boxes[0].details.contains(code + QStringLiteral("-0 INV_FLG = '2'")),
                 qPrintable(f.boxes[0].details));
        const int line = f.lineOf(code, QStringLiteral("0"));
        QCOMPARE(lstTbl(*f.form)->TextMatrix(line, 0), Off);
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1 AND INV_FLG = '2'")),
                 0);
        f.clickLine(line);
        QCOMPARE(f.numbers().size(), 2);
        QCOMPARE(f.numbers()[1], QStringLiteral("40425"));
        QCOMPARE(lstTbl(*f.form)->TextMatrix(line, 0), Off);
    }

    // A work list the fill cannot complete (here a trigger refuses the new category) is said with
    // the database's words and closes the commands until F6 completes it; F1 refuses to convert
    // against a work list that lacks a category of the masters.
    void aWorkListThatCannotBeCompletedClosesTheCommandsUntilF6()
    {
        FormFixture f;
        QVERIFY(f.install());
        f.load();
        f.form.reset();
        QVERIFY(f.sql(0, QStringLiteral("CREATE TRIGGER no_additions BEFORE INSERT ON MITEMCNT BEGIN "
                                        "SELECT RAISE(ABORT, 'additions are locked'); END;\n"
                                        "INSERT INTO MITEMCD VALUES ('990', '新しい分類', '0', '0');")));
        f.boxes.clear();
        KRT550F1 &form = f.load();
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40426")});
        QVERIFY2(f.boxes[0].details.contains(QStringLiteral("additions are locked")),
                 qPrintable(f.boxes[0].details));
        QVERIFY(!QLB347U11(form)->FKeyEnabled(1) && !QLB347U11(form)->FKeyEnabled(7));
        QVERIFY(!pic_Jyoukein(form)->isEnabled());

        QVERIFY(f.sql(0, QStringLiteral("DROP TRIGGER no_additions;")));
        QTest::keyClick(&form, Qt::Key_F6);
        QCOMPARE(f.numbers().size(), 1);
        QVERIFY(QLB347U11(form)->FKeyEnabled(1) && pic_Jyoukein(form)->isEnabled());
        QVERIFY(f.lineOf(QStringLiteral("990"), QStringLiteral("0")) >= 0);

        QVERIFY(f.sql(0, QStringLiteral("INSERT INTO MITEMCD VALUES ('991', '後から来た分類', '0', '0');")));
        QTest::keyClick(&form, Qt::Key_F7);
        typeRates(form);
        QTest::keyClick(&form, Qt::Key_F1);
        QCOMPARE(f.numbers().size(), 2);
        QCOMPARE(f.numbers()[1], QStringLiteral("40426"));
        QVERIFY2(f.boxes[1].details.contains(QStringLiteral("991-0")), qPrintable(f.boxes[1].details));
        QVERIFY(f.confirmations.isEmpty());
        QVERIFY(!QLB347U11(form)->FKeyEnabled(1));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE UPDATE_DATE IS NOT NULL")),
                 0);
    }

    void aClickTogglesAnUnconvertedLineInGridAndTable()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        CategoryGrid *grid = lstTbl(form);
        const int rows = grid->Rows();
        QVERIFY(rows > 3);

        // The start-up marked every line: a click takes the mark away, a second gives it back.
        const int line = firstSubLine(f);
        QVERIFY(line >= 0);
        f.clickLine(line);
        QCOMPARE(grid->TextMatrix(line, 0), Off);
        QCOMPARE(chkOfLine(f, 0, line), QStringLiteral("0"));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), rows - 1);
        f.clickLine(line);
        QCOMPARE(grid->TextMatrix(line, 0), On);
        QCOMPARE(chkOfLine(f, 0, line), QStringLiteral("1"));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), rows);

        // Another database shows its lines unmarked with every mark Null: a major-category line and
        // a sub-category line each end unmarked with 0 after two clicks.
        f.selectDatabase(1);
        QCOMPARE(cmb_DAT(form)->currentIndex(), 1);
        QVERIFY(!f.gridColumn(0).contains(On));
        for (const int r : {firstLine(f, 3, QStringLiteral("0")), firstSubLine(f)}) {
            QVERIFY(r >= 0);
            QCOMPARE(chkOfLine(f, 1, r), QStringLiteral("<null>"));
            f.clickLine(r);
            QCOMPARE(grid->TextMatrix(r, 0), On);
            QCOMPARE(chkOfLine(f, 1, r), QStringLiteral("1"));
            f.clickLine(r);
            QCOMPARE(grid->TextMatrix(r, 0), Off);
            QCOMPARE(chkOfLine(f, 1, r), QStringLiteral("0"));
        }
        QCOMPARE(f.count(1, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK IS NOT NULL")), 2);
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
    }

    void convertedLinesFollowWithTheirDatesAndCannotBeMarked()
    {
        FormFixture f;
        QVERIFY(f.install());
        // Sub-category numbers of two digits sort after those of one digit.
        QVERIFY(f.sql(0, QStringLiteral("INSERT INTO MITEMDTL VALUES ('001', '71', 10, '十番');\n"
                                        "INSERT INTO MITEMDTL VALUES ('001', '71', 20, '二十番');")));
        f.load();
        const QStringList all = keys(f);
        QVERIFY(all.size() > 5);
        const QString first = all.first();
        const QString second = all.at(1);
        const QString last = all.last();
        QVERIFY(loadWithConverted(f, {{first, QStringLiteral("2014/04/01")},
                                      {second, QStringLiteral("2014/03/31")},
                                      {last, QStringLiteral("2014/03/31")}}));
        KRT550F1 &form = *f.form;
        CategoryGrid *grid = lstTbl(form);
        const int rows = grid->Rows();
        QCOMPARE(rows, static_cast<int>(all.size()));

        // Unconverted lines first, by code and by sub-category number as a whole number; then the
        // converted ones by date, and by code within the same date.
        QStringList unconverted = all;
        unconverted.removeAll(first);
        unconverted.removeAll(second);
        unconverted.removeAll(last);
        std::sort(unconverted.begin(), unconverted.end(), [](const QString &a, const QString &b) {
            const QStringList pa = a.split(QLatin1Char('|'));
            const QStringList pb = b.split(QLatin1Char('|'));
            return pa[0] != pb[0] ? pa[0] < pb[0] : pa[1].toInt() < pb[1].toInt();
        });
        QStringList shown;
        for (int r = 0; r < rows; ++r)
            shown.append(lineKey(f, r));
        QCOMPARE(shown, unconverted + QStringList({second, last, first}));
        QVERIFY(shown.indexOf(QStringLiteral("001|10")) < shown.indexOf(QStringLiteral("001|20")));
        QCOMPARE(f.gridColumn(5).mid(rows - 3),
                 (QStringList{QStringLiteral("2014/03/31"), QStringLiteral("2014/03/31"),
                              QStringLiteral("2014/04/01")}));
        QCOMPARE(f.gridColumn(5).mid(0, rows - 3), QStringList(rows - 3, QString()));

        // The start-up marked only the unconverted lines.
        QCOMPARE(f.gridColumn(0), QStringList(rows - 3, On) + QStringList(3, Off));

        // A click on a converted line keeps it as it is and stores 0, without a message.
        const int converted = rows - 1;
        QCOMPARE(chkOfLine(f, 0, converted), QStringLiteral("<null>"));
        f.clickLine(converted);
        QCOMPARE(grid->TextMatrix(converted, 0), Off);
        QCOMPARE(grid->TextMatrix(converted, 5), QStringLiteral("2014/04/01"));
        QCOMPARE(chkOfLine(f, 0, converted), QStringLiteral("0"));
        f.clickLine(converted);
        QCOMPARE(grid->TextMatrix(converted, 0), Off);
        QCOMPARE(chkOfLine(f, 0, converted), QStringLiteral("0"));
        QVERIFY(f.boxes.isEmpty());
    }

    void aLineWithoutANumberStandsForItsOwnRowOnly()
    {
        FormFixture f;
        QVERIFY(f.install());
        // A row another program created for the major category 001, without a number, beside the
        // row with number 0.
        QVERIFY(f.sql(
            0, QStringLiteral("INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, TAX_FREE_FLG, INV_FLG, "
                              "COMP_FLG) VALUES ('001', '手入力の分類', NULL, '0', '0', '0'), "
                              "('001', '衣料', 0, '0', '0', '0')")));
        KRT550F1 &form = f.load();
        CategoryGrid *grid = lstTbl(form);
        QVERIFY(f.boxes.isEmpty());

        const int withoutNumber = f.lineOf(QStringLiteral("001"), QString());
        const int major = f.lineOf(QStringLiteral("001"), QStringLiteral("0"));
        QCOMPARE(withoutNumber, 0);
        QCOMPARE(major, 1);
        QCOMPARE(grid->TextMatrix(withoutNumber, 2), QStringLiteral("手入力の分類"));
        QCOMPARE(grid->TextMatrix(withoutNumber, 3), QString());
        QCOMPARE(grid->TextMatrix(withoutNumber, 0), On);

        f.clickLine(withoutNumber);
        QCOMPARE(grid->TextMatrix(withoutNumber, 0), Off);
        QCOMPARE(grid->TextMatrix(major, 0), On);
        QCOMPARE(chk(f, 0, QStringLiteral("001"), QString()), QStringLiteral("0"));
        QCOMPARE(chk(f, 0, QStringLiteral("001"), QStringLiteral("0")), QStringLiteral("1"));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), grid->Rows() - 1);

        f.clickLine(withoutNumber);
        QCOMPARE(grid->TextMatrix(withoutNumber, 0), On);
        QCOMPARE(chk(f, 0, QStringLiteral("001"), QString()), QStringLiteral("1"));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), grid->Rows());

        // The major-category line is a row of its own.
        f.clickLine(major);
        QCOMPARE(chk(f, 0, QStringLiteral("001"), QStringLiteral("0")), QStringLiteral("0"));
        QCOMPARE(chk(f, 0, QStringLiteral("001"), QString()), QStringLiteral("1"));
        QVERIFY(f.boxes.isEmpty());
    }

    void aQuoteInACategoryCodeStaysPartOfTheCode_data()
    {
        QTest::addColumn<QString>("code");
        QTest::newRow("inside") << QStringLiteral("Q'1");
        QTest::newRow("alone") << QStringLiteral("'");
        QTest::newRow("a condition after it") << QStringLiteral("x') OR ('1' = '1");
    }
    void aQuoteInACategoryCodeStaysPartOfTheCode()
    {
        QFETCH(QString, code);
        FormFixture f;
        QVERIFY(f.install());
        QVERIFY(f.sql(0, QStringLiteral("INSERT INTO MITEMCD VALUES ('%1', '酒''類', '0', '0');\n"
                                        "INSERT INTO MITEMDTL VALUES ('%1', '71', 1, '吟醸''酒');")
                             .arg(sqlText(code))));
        KRT550F1 &form = f.load();
        CategoryGrid *grid = lstTbl(form);
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
        const int rows = grid->Rows();

        const int major = f.lineOf(code, QStringLiteral("0"));
        const int sub = f.lineOf(code, QStringLiteral("1"));
        QVERIFY(major >= 0);
        QVERIFY(sub >= 0);
        QCOMPARE(grid->TextMatrix(major, 2), QStringLiteral("酒'類"));
        QCOMPARE(grid->TextMatrix(sub, 4), QStringLiteral("吟醸'酒"));
        QCOMPARE(grid->TextMatrix(major, 0), On);

        // Each click reaches exactly the row of its line.
        f.clickLine(major);
        QCOMPARE(grid->TextMatrix(major, 0), Off);
        QCOMPARE(chk(f, 0, code, QStringLiteral("0")), QStringLiteral("0"));
        QCOMPARE(chk(f, 0, code, QStringLiteral("1")), QStringLiteral("1"));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), rows - 1);
        f.clickLine(sub);
        QCOMPARE(chk(f, 0, code, QStringLiteral("1")), QStringLiteral("0"));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), rows - 2);
        QVERIFY(f.boxes.isEmpty());

        // The next start adds nothing twice.
        f.load();
        QCOMPARE(lstTbl(*f.form)->Rows(), rows);
        QCOMPARE(
            f.count(0,
                    QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE ITEM_CD = '%1'").arg(sqlText(code))),
            2);
    }

    void aMarkTheTableRefusesLeavesTheLineAsItWas()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        CategoryGrid *grid = lstTbl(form);
        const int sub = firstSubLine(f);
        QVERIFY(sub >= 0);
        const QString code = grid->TextMatrix(sub, 1);
        const int major = f.lineOf(code, QStringLiteral("0"));
        QVERIFY(major >= 0);

        // The sub-category is unmarked before the table starts refusing the category's marks.
        f.clickLine(sub);
        QCOMPARE(grid->TextMatrix(sub, 0), Off);
        QVERIFY(f.sql(
            0, QStringLiteral("CREATE TRIGGER REFUSE_MARK BEFORE UPDATE OF CHK ON MITEMCNT "
                              "WHEN OLD.ITEM_CD = '%1' BEGIN SELECT RAISE(ABORT, '分類は使用中です'); END;")
                   .arg(code)));
        const QStringList before = workList(f);

        f.clickLine(major);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40420")});
        QCOMPARE(f.boxes[0].kind, BoxRequest::Kind::DbError);
        QCOMPARE(f.boxes[0].title, QStringLiteral("売価更新"));
        QVERIFY2(f.boxes[0].details.contains(QStringLiteral("分類は使用中です")),
                 qPrintable(f.boxes[0].details));
        QCOMPARE(grid->TextMatrix(major, 0), On);

        f.clickLine(sub);
        QCOMPARE(f.numbers(), (QStringList{QStringLiteral("40420"), QStringLiteral("40420")}));
        QCOMPARE(grid->TextMatrix(sub, 0), Off);
        QCOMPARE(workList(f), before);

        // Lines of other categories still toggle.
        f.boxes.clear();
        const int other =
            f.lineOf(code == QStringLiteral("001") ? QStringLiteral("002") : QStringLiteral("001"),
                     QStringLiteral("0"));
        QVERIFY(other >= 0);
        f.clickLine(other);
        QCOMPARE(grid->TextMatrix(other, 0), Off);
        QCOMPARE(chkOfLine(f, 0, other), QStringLiteral("0"));
        QVERIFY(f.boxes.isEmpty());
    }

    void thePriceTagStockTakeGuardsOtherCategories_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::addColumn<QString>("stockTakes"); // "dated", "empty" or "missing"
        QTest::addColumn<QDate>("latest");
        QTest::addColumn<bool>("inventoryLine");
        QTest::addColumn<QString>("message"); // empty: the line toggles

        const QDate older(2024, 3, 10);
        const QDate same(2024, 3, 11);
        const QDate later(2024, 3, 12);
        const QString refused = QStringLiteral("40422");
        const QString unreadable = QStringLiteral("40420");
        QTest::newRow("mode 0, older, other category") << 0 << "dated" << older << false << refused;
        QTest::newRow("mode 0, older, inventory category") << 0 << "dated" << older << true << QString();
        QTest::newRow("mode 0, on the business date") << 0 << "dated" << same << false << QString();
        QTest::newRow("mode 0, after the business date") << 0 << "dated" << later << false << QString();
        QTest::newRow("mode 0, no stock-take at all") << 0 << "empty" << older << false << QString();
        QTest::newRow("mode 0, unreadable, other category") << 0 << "missing" << older << false << unreadable;
        QTest::newRow("mode 0, unreadable, inventory category")
            << 0 << "missing" << older << true << QString();
        QTest::newRow("mode 1, older, other category") << 1 << "dated" << older << false << QString();
        QTest::newRow("mode 1, unreadable, other category") << 1 << "missing" << older << false << QString();
    }
    void thePriceTagStockTakeGuardsOtherCategories()
    {
        QFETCH(int, stockMode);
        QFETCH(QString, stockTakes);
        QFETCH(QDate, latest);
        QFETCH(bool, inventoryLine);
        QFETCH(QString, message);

        FormFixture f;
        install::Options options = f.smallOptions();
        options.stockMode = stockMode;
        options.stockTake = latest;
        QVERIFY(f.install(options));
        f.setSetting(QStringLiteral("Common/BusinessDate"), QStringLiteral("2024/03/11"));
        if (stockTakes == QStringLiteral("empty"))
            QVERIFY(f.sql(0, QStringLiteral("DELETE FROM INEFUDA_CNT")));
        else if (stockTakes == QStringLiteral("missing"))
            QVERIFY(f.sql(0, QStringLiteral("DROP TABLE INEFUDA_CNT")));

        KRT550F1 &form = f.load();
        // The load's select all asks once, and leaves the other categories unmarked when the
        // stock-take is not up to date.
        const bool refused =
            stockMode == 0 && (stockTakes == QStringLiteral("missing") ||
                               (stockTakes == QStringLiteral("dated") && latest < QDate(2024, 3, 11)));
        const QStringList atLoad = !refused ? QStringList()
                                   : stockTakes == QStringLiteral("missing")
                                       ? QStringList{QStringLiteral("40420")}
                                       : QStringList{QStringLiteral("40422")};
        QCOMPARE(f.numbers(), atLoad);
        f.boxes.clear();
        QCOMPARE(form.stockMode(), stockMode);
        QCOMPARE(QLB347U11(form)->BusinessDate(), QDate(2024, 3, 11));

        const int line = firstLine(f, 6, inventoryLine ? QStringLiteral("1") : QStringLiteral("0"));
        QVERIFY(line >= 0);
        const QStringList before = workList(f);
        f.clickLine(line);
        if (message.isEmpty()) {
            QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
            QCOMPARE(lstTbl(form)->TextMatrix(line, 0), Off);
            QCOMPARE(chkOfLine(f, 0, line), QStringLiteral("0"));
        } else {
            QCOMPARE(f.numbers(), QStringList{message});
            QCOMPARE(f.boxes[0].kind, BoxRequest::Kind::Numbered);
            QCOMPARE(f.boxes[0].title, QStringLiteral("売価更新"));
            QCOMPARE(lstTbl(form)->TextMatrix(line, 0), Off);
            QCOMPARE(workList(f), before);
        }
    }

    void theCategoryClearAnsweredNoKeepsTheHistory()
    {
        FormFixture f;
        const std::optional<History> history = withHistory(f);
        QVERIFY(history);
        KRT550F1 &form = *f.form;
        const QStringList lines = f.gridColumn(1);

        f.answer = [](const BoxRequest &) { return mb::IdNo; };
        QTest::keyClick(&form, Qt::Key_F5);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40418")});
        QCOMPARE(f.boxes[0].style, mb::YesNo);
        const QString kept = lost(f, *history);
        QVERIFY2(kept.isEmpty(), qPrintable(kept));
        QCOMPARE(f.gridColumn(1), lines);
        QCOMPARE(screenPointer(), PointerDefault);
    }

    // The real question box, answered from the keyboard as a hurried operator would: the key
    // reaches the focused button of the box's window; only Yes may throw the history away.
    void theCategoryClearIsNotConfirmedByEnterOrSpace_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Space") << int(Qt::Key_Space);
    }

    void theCategoryClearIsNotConfirmedByEnterOrSpace()
    {
        QFETCH(int, key);
        FormFixture f;
        const std::optional<History> history = withHistory(f);
        QVERIFY(history);
        KRT550F1 &form = *f.form;

        MessageBoxes::setResponder({});
        QString question;
        bool closedByKey = false;
        QTimer::singleShot(0, &form, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            // A box that the key did not close is closed with Yes, which the test then sees.
            QTimer::singleShot(1000, box, [box] { box->button(QMessageBox::Yes)->click(); });
            question = box->text();
            QVERIFY(QTest::qWaitForWindowActive(box));
            QTest::keyClick(box->windowHandle(), Qt::Key(key));
            closedByKey = !box->isVisible();
        });
        QTest::keyClick(&form, Qt::Key_F5);
        QVERIFY(question.contains(QStringLiteral("よろしいですか")));
        QVERIFY(closedByKey);
        const QString kept = lost(f, *history);
        QVERIFY2(kept.isEmpty(), qPrintable(kept));
    }

    void theCategoryClearDeletesNothingWhenTheQuestionCannotBeShown()
    {
        FormFixture f;
        const std::optional<History> history = withHistory(f);
        QVERIFY(history);
        KRT550F1 &form = *f.form;

        // The message display cannot load its texts: it names the number in a plain box.
        QTemporaryDir dir;
        QLB318C1::setCatalogPath(dir.filePath(QStringLiteral("missing.tsv")));
        f.answer = [](const BoxRequest &) { return mb::IdYes; };
        QTest::keyClick(&form, Qt::Key_F5);
        QLB318C1::setCatalogPath({});
        QCOMPARE(f.boxes.value(0).kind, BoxRequest::Kind::Plain);
        QCOMPARE(f.boxes.value(0).text, QStringLiteral("MsgBox Eorror MSGNO = 40418"));
        const QString kept = lost(f, *history);
        QVERIFY2(kept.isEmpty(), qPrintable(kept));
        QCOMPARE(screenPointer(), PointerDefault);
    }

    void theCategoryClearAnsweredYesBuildsTheListAnew()
    {
        FormFixture f;
        QVERIFY(f.install());
        f.load();
        const QString last = keys(f).last();
        QVERIFY(loadWithConverted(f, {{last, QStringLiteral("2014/04/01")}}));
        KRT550F1 &form = *f.form;
        CategoryGrid *grid = lstTbl(form);
        const int rows = grid->Rows();
        f.clickLine(0);
        f.clickLine(rows - 1);
        QVERIFY(grid->TopRow() > 0);

        f.answer = [](const BoxRequest &) { return mb::IdYes; };
        QTest::keyClick(&form, Qt::Key_F5);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40418")});
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")), rows);
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE UPDATE_DATE IS NOT NULL "
                                           "OR COMP_FLG <> '0' OR COMP_DATE IS NOT NULL")),
                 0);
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM IZSELL_MENT")), 0);
        QCOMPARE(grid->Rows(), rows);
        QCOMPARE(f.gridColumn(5), QStringList(rows, QString()));
        // The command marks every category after the clear.
        QCOMPARE(f.gridColumn(0), QStringList(rows, On));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), rows);
        QCOMPARE(grid->TopRow(), 0);
        QCOMPARE(screenPointer(), PointerDefault);
    }

    void aCategoryClearThatFailsHalfwayKeepsTheWorkList()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        const int rows = lstTbl(form)->Rows();
        QVERIFY(f.sql(0, QStringLiteral("DROP TABLE IZSELL_MENT")));
        f.answer = [](const BoxRequest &) { return mb::IdYes; };
        QTest::keyClick(&form, Qt::Key_F5);
        QCOMPARE(f.numbers(), (QStringList{QStringLiteral("40418"), QStringLiteral("11002")}));
        QCOMPARE(screenPointer(), PointerDefault);
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")), rows);
        QCOMPARE(lstTbl(form)->Rows(), rows);
        QVERIFY(!form.connection()->inTransaction());
    }

    void selectAllMarksEveryUnconvertedLine()
    {
        FormFixture f;
        QVERIFY(f.install());
        f.load();
        const QStringList all = keys(f);
        QVERIFY(loadWithConverted(
            f, {{all.first(), QStringLiteral("2014/04/01")}, {all.last(), QStringLiteral("2014/04/02")}}));
        KRT550F1 &form = *f.form;
        const int rows = lstTbl(form)->Rows();
        for (const int r : {0, 1, 2})
            f.clickLine(r);
        f.clickLine(rows - 1);
        QCOMPARE(f.gridColumn(0).count(Off), 5);

        QTest::keyClick(&form, Qt::Key_F7);
        QCOMPARE(f.gridColumn(0), QStringList(rows - 2, On) + QStringList(2, Off));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), rows - 2);
        QCOMPARE(chkOfLine(f, 0, rows - 1), QStringLiteral("0"));
        QCOMPARE(chkOfLine(f, 0, rows - 2), QStringLiteral("<null>"));
        QVERIFY(f.boxes.isEmpty());
    }

    void enterInTheGridMovesOnAsTabDoes_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Return") << int(Qt::Key_Return) << 0;
        QTest::newRow("Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    }
    void enterInTheGridMovesOnAsTabDoes()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        CategoryGrid *grid = lstTbl(form);
        f.clickLine(1);
        const QStringList before = workList(f);
        const QStringList marks = f.gridColumn(0);

        grid->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), grid);
        QTest::keyClick(grid, Qt::Key_Tab);
        QWidget *next = QApplication::focusWidget();
        QVERIFY(next);
        QVERIFY(next != grid);

        grid->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), grid);
        QTest::keyClick(grid, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(QApplication::focusWidget(), next);
        QCOMPARE(f.gridColumn(0), marks);
        QCOMPARE(workList(f), before);
        QVERIFY(f.boxes.isEmpty());
    }

    void deleteInTheGridDoesNothing()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        CategoryGrid *grid = lstTbl(form);
        f.clickLine(2);
        QTRY_COMPARE(QApplication::focusWidget(), grid);
        const QStringList before = workList(f);
        QList<QStringList> lines;
        for (int c = 0; c < grid->Cols(); ++c)
            lines.append(f.gridColumn(c));

        QTest::keyClick(grid, Qt::Key_Delete);
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(grid->Row(), 2);
        QCOMPARE(QApplication::focusWidget(), grid);
        for (int c = 0; c < grid->Cols(); ++c)
            QCOMPARE(f.gridColumn(c), lines[c]);
        QCOMPARE(workList(f), before);
        QVERIFY(f.boxes.isEmpty());
    }

    void beforeAPassedCheckClicksChangeNothing()
    {
        FormFixture f;
        install::Options options = f.smallOptions();
        options.unmatched = 4;
        QVERIFY(f.install(options));
        KRT550F1 &form = f.load();
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40424")});
        CategoryGrid *grid = lstTbl(form);
        const int rows = grid->Rows();
        QVERIFY(rows > 3);

        for (const int r : {0, 1, rows - 1})
            f.clickLine(r);
        QTest::keyClick(&form, Qt::Key_F7);
        QCOMPARE(f.gridColumn(0), QStringList(rows, Off));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK IS NOT NULL")), 0);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40424")});

        // Once the masters know every category, a check opens the clicks.
        QVERIFY(f.sql(0, QStringLiteral("DELETE FROM MGOODS WHERE DAI_BUNRUI_CD LIKE 'X%'")));
        QTest::keyClick(&form, Qt::Key_F6);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40424")});
        QVERIFY(form.inputEnabled());
        f.clickLine(1);
        QCOMPARE(grid->TextMatrix(1, 0), On);
        QCOMPARE(chkOfLine(f, 0, 1), QStringLiteral("1"));
    }

    void everyGridLoadClearsEveryMark()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        const int rows = lstTbl(form)->Rows();
        QCOMPARE(f.gridColumn(0), QStringList(rows, On));
        f.clickLine(0);

        f.selectDatabase(1);
        const int rows2 = lstTbl(form)->Rows();
        QCOMPARE(f.gridColumn(0), QStringList(rows2, Off));
        QCOMPARE(f.count(1, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK IS NOT NULL")), 0);
        // The database left behind keeps its marks until it is loaded again.
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), rows - 1);
        f.clickLine(1);
        QCOMPARE(chkOfLine(f, 1, 1), QStringLiteral("1"));

        f.selectDatabase(0);
        QCOMPARE(cmb_DAT(form)->currentIndex(), 0);
        QCOMPARE(lstTbl(form)->Rows(), rows);
        QCOMPARE(f.gridColumn(0), QStringList(rows, Off));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK IS NOT NULL")), 0);

        f.selectDatabase(1);
        QCOMPARE(f.gridColumn(0), QStringList(rows2, Off));
        QCOMPARE(f.count(1, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK IS NOT NULL")), 0);
        QVERIFY(f.boxes.isEmpty());
    }

    void anEmptyWorkListGivesAnEmptyGrid()
    {
        FormFixture f;
        QVERIFY(f.install());
        QVERIFY(f.sql(0, QStringLiteral("DELETE FROM MITEMCD;\nDELETE FROM MITEMDTL;\nDELETE FROM MGOODS;\n"
                                        "DELETE FROM IZAIKO;")));
        KRT550F1 &form = f.load();
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
        QVERIFY(form.inputEnabled());
        CategoryGrid *grid = lstTbl(form);
        QCOMPARE(grid->Rows(), 0);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->viewport()->rect().center());
        QTest::keyClick(&form, Qt::Key_F7);
        QCOMPARE(grid->Rows(), 0);
        QVERIFY(f.boxes.isEmpty());
    }

    void tenThousandLinesLoadQuickly()
    {
        FormFixture f;
        install::Options options = f.smallOptions();
        options.databases = 1;
        options.categories = 10000;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(f.install(options));
        qInfo("installation of 10,000 categories: %lld ms", static_cast<long long>(timer.elapsed()));

        timer.restart();
        KRT550F1 &form = f.load();
        const qint64 startUp = timer.elapsed();
        QVERIFY(f.boxes.isEmpty());
        CategoryGrid *grid = lstTbl(form);
        QCOMPARE(grid->Rows(), 10000);

        timer.restart();
        QCOMPARE(form.prfn_LoadItemGrid(), 0L);
        QCoreApplication::processEvents();
        const qint64 reload = timer.elapsed();
        qInfo("start-up with 10,000 lines: %lld ms; grid load: %lld ms", static_cast<long long>(startUp),
              static_cast<long long>(reload));
        QCOMPARE(grid->Rows(), 10000);
        QCOMPARE(f.gridColumn(0), QStringList(10000, Off));
        QVERIFY2(reload < 3000, "the grid load of 10,000 lines took too long");

        f.clickLine(9999);
        QCOMPARE(grid->TextMatrix(9999, 0), On);
        QCOMPARE(chkOfLine(f, 0, 9999), QStringLiteral("1"));
    }
};

QTEST_MAIN(TestFormCategory)
#include "tst_form_category.moc"
