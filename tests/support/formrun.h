#pragma once

// The runs of the real main form and what they must make of the catalog: the conditions the
// operator enters, the price tables and the work list as the catalog holds them, their exact
// conversion by the one oracle, the statements a run sends, and the operator's hand on the form.

#include "support/formfixture.h"
#include "support/statementlog.h"
#include "widgets/runprogress.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QThread>

#include <map>
#include <optional>
#include <set>

namespace krt::testing {

// The workstation's day of every run: not the real day, so that only the form's clock can have
// written it.
inline const QDate Today(2031, 10, 1);
inline const QString TodayText = QStringLiteral("2031/10/01");

// What the operator enters on the panel. A rate is the text typed into its box; the methods
// without an old (0) or a new (2) rate box have the fixed zero.
struct Conditions
{
    int method = 1;
    QString oldRate;
    QString newRate;
    int goodsCode = HasuNone;
    int goodsDigit = 0;
    int addOnCode = HasuNone;
    int addOnDigit = 0;

    qint64 oldValue() const { return method == 0 ? 0 : oldRate.toLongLong(); }
    qint64 newValue() const { return method == 2 ? 0 : newRate.toLongLong(); }
    int code(PriceKind kind) const { return kind == Goods ? goodsCode : addOnCode; }
    int digit(PriceKind kind) const { return kind == Goods ? goodsDigit : addOnDigit; }
    int exponent(PriceKind kind) const { return code(kind) == HasuNone ? 0 : digit(kind) + 1; }
};

inline qint64 convertedPrice(qint64 price, const Conditions &c, PriceKind kind)
{
    return exactPrice(price, c.oldValue(), c.newValue(), c.code(kind), c.exponent(kind));
}

// ---------------------------------------------------------------------------------------------
// The price tables and the work list as the catalog holds them.

// A category key as "ITEM_CD|DETAIL_NO"; in the price tables a Null sub-category is 0.
using Key = QString;

inline Key keyOf(const QString &itemCd, const QVariant &detailNo)
{
    return itemCd + QLatin1Char('|') + QString::number(detailNo.isNull() ? 0 : detailNo.toLongLong());
}

struct PriceRow
{
    QString table;
    Key key;
    qint64 month = 0;     // IIODATA.IO_YM
    double onHand = 0;    // IZAIKO.ZAIKO_QTY
    double consigned = 0; // IZAIKO.JYUTAKU_QTY
    QVariantList prices;
    QVariant stamp; // MGOODS.UPDATE_DT, IZAIKO.KOUSHIN_DT
};
using PriceTables = std::map<QString, PriceRow>; // by table and row key

// The price kind of a price column by its position in the row.
inline PriceKind kindOf(const PriceRow &row, int column)
{
    return row.table == QStringLiteral("MGOODS") && column >= 3 ? AddOn : Goods;
}

inline PriceTables readPrices(const FormFixture &f)
{
    PriceTables tables;
    const auto readTable = [&](const QString &table, const QString &sql, int priceCount, auto fill) {
        const std::optional<QList<QVariantList>> rows = f.records(0, sql);
        if (!rows) {
            qWarning() << "cannot read" << table;
            return;
        }
        for (const QVariantList &r : *rows) {
            PriceRow row;
            row.table = table;
            row.key = keyOf(r[1].toString(), r[2]);
            const int first = static_cast<int>(r.size()) - priceCount - 1;
            row.prices = r.mid(first, priceCount);
            row.stamp = r.last();
            fill(row, r);
            tables[table + QLatin1Char(' ') + r[0].toString()] = row;
        }
    };
    const auto nothing = [](PriceRow &, const QVariantList &) {};
    readTable(
        QStringLiteral("MGOODS"),
        QStringLiteral("SELECT JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, HYOJYUN_PRC, KOURI_PRC, OROSI_PRC, "
                       "H_ADD1_PRC, K_ADD1_PRC, O_ADD1_PRC, H_ADD2_PRC, K_ADD2_PRC, O_ADD2_PRC, UPDATE_DT "
                       "FROM MGOODS"),
        9, nothing);
    readTable(QStringLiteral("IZAIKO"),
              QStringLiteral(
                  "SELECT TENPO_CD || '/' || JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, ZAIKO_QTY, JYUTAKU_QTY, "
                  "HYOJYUN_PRC, KOURI_PRC, OROSI_PRC, KOUSHIN_DT FROM IZAIKO"),
              3, [](PriceRow &row, const QVariantList &r) {
                  row.onHand = r[3].toDouble();
                  row.consigned = r[4].toDouble();
              });
    readTable(QStringLiteral("IIODATA"),
              QStringLiteral(
                  "SELECT IO_SEQ, DAI_BUNRUI_CD, CHU_BUNRUI_CD, IO_YM, HYOJYUN_PRC, KOURI_PRC, OROSI_PRC, "
                  "NULL FROM IIODATA"),
              3, [](PriceRow &row, const QVariantList &r) { row.month = r[3].toLongLong(); });
    return tables;
}

// The fields of a work-list row, by position.
enum WorkField {
    InvFlg,
    CompFlg,
    CompDate,
    Chk,
    UpdateDate,
    TaxSt,
    TaxEnd,
    GoodsFlg,
    GoodsIchi,
    GaddFlg,
    GaddIchi
};
using WorkList = std::map<Key, QVariantList>;

inline WorkList readWorkList(const FormFixture &f)
{
    WorkList list;
    const std::optional<QList<QVariantList>> rows =
        f.records(0, QStringLiteral("SELECT ITEM_CD, DETAIL_NO, INV_FLG, COMP_FLG, COMP_DATE, CHK, "
                                    "UPDATE_DATE, TAX_ST, TAX_END, GOODS_HASU_FLG, GOODS_HASU_ICHI, "
                                    "GADD_HASU_FLG, GADD_HASU_ICHI FROM MITEMCNT"));
    if (!rows)
        qWarning("cannot read MITEMCNT");
    for (const QVariantList &r : rows.value_or(QList<QVariantList>{}))
        list[keyOf(r[0].toString(), r[1])] = r.mid(2);
    return list;
}

inline QString fieldText(const QVariant &value)
{
    return value.isNull() ? QStringLiteral("<null>") : value.toString();
}

// The run values that decide which rows of a converted category a run rewrites.
struct Mode
{
    int stockMode = 1;
    bool inventNew = true;
    qint64 sysYm = 0;
};

inline bool rewrites(const PriceRow &row, const Mode &mode)
{
    if (row.table == QStringLiteral("MGOODS"))
        return true;
    if (mode.stockMode == 0)
        return false;
    if (row.table == QStringLiteral("IIODATA"))
        return row.month >= mode.sysYm;
    return row.onHand > 0 || (!mode.inventNew && row.consigned > 0);
}

// Whether a work-list row stands for prices already converted: in direct mode a recorded row, in
// deferred mode a completed one (a recorded inventory category waits for the pending conversion).
inline bool pricesConverted(const QVariantList &work, int stockMode)
{
    return stockMode != 0 ? !work[UpdateDate].isNull() : work[CompFlg].toString() == QStringLiteral("1");
}

inline const QRegularExpression ServerStamp(QStringLiteral("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}$"));

// Every difference between the price tables after a run and what the run must have made of them:
// the rows of each category in `converted` that the mode rewrites hold the exact conversion of
// their earlier prices (Null stays Null) and the run's timestamp; every other row is as it was.
inline QStringList priceProblems(const PriceTables &before, const PriceTables &after,
                                 const std::map<Key, Conditions> &converted, const Mode &mode,
                                 int *checked = nullptr)
{
    QStringList problems;
    if (before.size() != after.size())
        problems.append(
            QStringLiteral("%1 price rows before, %2 after").arg(before.size()).arg(after.size()));
    int rewritten = 0;
    for (const auto &[id, row] : before) {
        const auto found = after.find(id);
        if (found == after.end()) {
            problems.append(id + QStringLiteral(" is gone"));
            continue;
        }
        const PriceRow &now = found->second;
        const auto conditions = converted.find(row.key);
        const bool rewrite = conditions != converted.end() && rewrites(row, mode);
        rewritten += rewrite ? 1 : 0;
        for (int c = 0; c < row.prices.size(); ++c) {
            QVariant expected = row.prices[c];
            if (rewrite && !expected.isNull())
                expected = static_cast<double>(convertedPrice(static_cast<qint64>(row.prices[c].toDouble()),
                                                              conditions->second, kindOf(row, c)));
            const QVariant &actual = now.prices[c];
            if (expected.isNull() != actual.isNull() ||
                (!expected.isNull() && expected.toDouble() != actual.toDouble()))
                problems.append(
                    QStringLiteral("%1 (%2) price %3: %4 expected, %5 found")
                        .arg(id, row.key)
                        .arg(c)
                        .arg(fieldText(row.prices[c]) + QStringLiteral(" -> ") + fieldText(expected),
                             fieldText(actual)));
        }
        if (row.table != QStringLiteral("IIODATA")) {
            const bool stamped = now.stamp != row.stamp && ServerStamp.match(now.stamp.toString()).hasMatch();
            if (rewrite ? !stamped : now.stamp != row.stamp)
                problems.append(QStringLiteral("%1 (%2) stamp %3 -> %4")
                                    .arg(id, row.key, fieldText(row.stamp), fieldText(now.stamp)));
        }
    }
    if (checked)
        *checked = rewritten;
    return problems;
}

// Differences between two outcomes of runs on the same original tables: the same prices, and
// the same rows carrying a run's timestamp.
inline QStringList outcomeProblems(const PriceTables &original, const PriceTables &expected,
                                   const PriceTables &actual)
{
    QStringList problems;
    for (const auto &[id, row] : original) {
        const auto want = expected.find(id);
        const auto got = actual.find(id);
        if (want == expected.end() || got == actual.end()) {
            problems.append(id + QStringLiteral(" is missing"));
            continue;
        }
        if (want->second.prices != got->second.prices)
            problems.append(QStringLiteral("%1 (%2): prices %3 expected, %4 found")
                                .arg(id, row.key,
                                     QVariant(want->second.prices).toStringList().join(QLatin1Char(',')),
                                     QVariant(got->second.prices).toStringList().join(QLatin1Char(','))));
        if ((want->second.stamp != row.stamp) != (got->second.stamp != row.stamp))
            problems.append(
                QStringLiteral("%1 (%2): stamp %3").arg(id, row.key, fieldText(got->second.stamp)));
    }
    if (expected.size() != actual.size())
        problems.append(QStringLiteral("%1 rows expected, %2 found").arg(expected.size()).arg(actual.size()));
    return problems;
}

// What a row of a converted category holds: the day and the parameters of its run, and whether
// it is complete.
inline QStringList recordProblems(const Key &key, const QVariantList &work, const Conditions &c,
                                  bool complete)
{
    const QStringList expected = {TodayText,
                                  QString::number(c.oldValue()),
                                  QString::number(c.newValue()),
                                  QString::number(c.goodsCode),
                                  QString::number(c.exponent(Goods)),
                                  QString::number(c.addOnCode),
                                  QString::number(c.exponent(AddOn)),
                                  complete ? QStringLiteral("1") : QStringLiteral("0"),
                                  complete ? TodayText : QStringLiteral("<null>")};
    const QStringList found = {
        fieldText(work[UpdateDate]), fieldText(work[TaxSt]),     fieldText(work[TaxEnd]),
        fieldText(work[GoodsFlg]),   fieldText(work[GoodsIchi]), fieldText(work[GaddFlg]),
        fieldText(work[GaddIchi]),   fieldText(work[CompFlg]),   fieldText(work[CompDate])};
    if (expected == found)
        return {};
    return {QStringLiteral("%1: record %2, expected %3")
                .arg(key, found.join(QLatin1Char(',')), expected.join(QLatin1Char(',')))};
}

inline QString joined(const QStringList &problems)
{
    return problems.mid(0, 12).join(QLatin1Char('\n')) +
           (problems.size() > 12 ? QStringLiteral("\n... %1 in all").arg(problems.size()) : QString());
}

// ---------------------------------------------------------------------------------------------
// The statements a run sends, told in short: "BEGIN", "record 001|0", "MGOODS 001|0",
// "pending MGOODS 002|3", "pending list", "claim 002|3", "complete", "IIODATA 001|0",
// "IZAIKO 001|0", "COMMIT", or "other".

inline QString categoryIn(const QString &sql)
{
    static const QRegularExpression code(QStringLiteral("(?:ITEM_CD|DAI_BUNRUI_CD) = '((?:[^']|'')*)'\\)"));
    static const QRegularExpression number(QStringLiteral("(?:CHU_BUNRUI_CD|DETAIL_NO) = (\\d+)\\)"));
    const QRegularExpressionMatch c = code.match(sql);
    const QRegularExpressionMatch n = number.match(sql);
    return c.captured(1).replace(QStringLiteral("''"), QStringLiteral("'")) + QLatin1Char('|') +
           (n.hasMatch() ? n.captured(1) : QStringLiteral("?"));
}

inline QString describe(const QString &sql)
{
    if (sql == QStringLiteral("BEGIN TRANSACTION"))
        return QStringLiteral("BEGIN");
    if (sql == QStringLiteral("COMMIT TRANSACTION"))
        return QStringLiteral("COMMIT");
    if (sql.startsWith(QStringLiteral("UPDATE MITEMCNT SET UPDATE_DATE")))
        return QStringLiteral("record ") + categoryIn(sql);
    if (sql.startsWith(QStringLiteral("UPDATE MITEMCNT SET COMP_FLG")))
        return sql.contains(QStringLiteral("(ITEM_CD = '")) ? QStringLiteral("claim ") + categoryIn(sql)
                                                            : QStringLiteral("complete");
    if (sql.startsWith(QStringLiteral("UPDATE MGOODS ")))
        return (sql.contains(QStringLiteral("FROM MGOODS ")) ? QStringLiteral("pending MGOODS ")
                                                             : QStringLiteral("MGOODS ")) +
               categoryIn(sql);
    if (sql.startsWith(QStringLiteral("UPDATE IIODATA ")))
        return QStringLiteral("IIODATA ") + categoryIn(sql);
    if (sql.startsWith(QStringLiteral("UPDATE IZAIKO ")))
        return QStringLiteral("IZAIKO ") + categoryIn(sql);
    if (sql.startsWith(QStringLiteral("SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, TAX_ST")))
        return QStringLiteral("pending list");
    if (sql.startsWith(QStringLiteral("SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, INV_FLG")))
        return QStringLiteral("work list");
    return QStringLiteral("other");
}

// The statements of the conversion loop: from the first BEGIN to the last COMMIT, without the
// change list's reads of the goods before and after each MGOODS statement.
inline QStringList loopOf(const QStringList &statements)
{
    QStringList described;
    for (const QString &sql : statements)
        if (!sql.startsWith(QStringLiteral("SELECT ")) ||
            !sql.contains(QStringLiteral(" FROM MGOODS WHERE ")))
            described.append(describe(sql));
    const qsizetype first = described.indexOf(QStringLiteral("BEGIN"));
    const qsizetype last = described.lastIndexOf(QStringLiteral("COMMIT"));
    return first < 0 || last < first ? QStringList{} : described.mid(first, last - first + 1);
}

// ---------------------------------------------------------------------------------------------
// The operator.

inline Key lineKey(const FormFixture &f, int line)
{
    const CategoryGrid *grid = lstTbl(*f.form);
    const QString number = grid->TextMatrix(line, 3);
    return grid->TextMatrix(line, 1) + QLatin1Char('|') + (number.isEmpty() ? QStringLiteral("0") : number);
}

// Clicks the lines whose marks differ from the wanted set.
inline void markOnly(FormFixture &f, const std::set<Key> &wanted)
{
    for (int r = 0; r < lstTbl(*f.form)->Rows(); ++r)
        if ((lstTbl(*f.form)->TextMatrix(r, 0) == On) != (wanted.count(lineKey(f, r)) > 0))
            f.clickLine(r);
}

inline std::set<Key> markedLines(const FormFixture &f)
{
    std::set<Key> marked;
    for (int r = 0; r < lstTbl(*f.form)->Rows(); ++r)
        if (lstTbl(*f.form)->TextMatrix(r, 0) == On)
            marked.insert(lineKey(f, r));
    return marked;
}

// A key as the platform delivers it: to the widget that has the focus.
inline void press(Qt::Key key)
{
    QWidget *target = QApplication::focusWidget();
    QVERIFY2(target, "no widget has the focus");
    QTest::keyClick(target, key);
}

// Makes every category of the form's runs take longer than the progress dialog's paint interval,
// as a category of thousands of goods does, so that the dialog shows each step before it starts.
class VisibleSteps
{
public:
    explicit VisibleSteps(KRT550F1 &form)
        : m_connection(form.connection())
    {
        m_connection->setStatementHook([](const QString &sql) -> std::optional<QString> {
            if (sql.startsWith(QLatin1String("UPDATE MITEMCNT SET UPDATE_DATE")))
                QThread::msleep(RunProgress::PaintInterval + 10);
            return std::nullopt;
        });
    }
    ~VisibleSteps() { m_connection->setStatementHook({}); }
    VisibleSteps(const VisibleSteps &) = delete;
    VisibleSteps &operator=(const VisibleSteps &) = delete;

private:
    Connection *m_connection;
};

// Moves along an option row with the arrow keys: right for a positive count, left otherwise.
inline void moveAlong(int steps)
{
    for (int i = 0; i < qAbs(steps); ++i)
        press(steps > 0 ? Qt::Key_Right : Qt::Key_Left);
}

// Clicks into a rate box, deletes what it shows and types the rate.
inline void typeRate(QLineEdit *box, const QString &rate)
{
    QVERIFY(box->isEnabled());
    QTest::mouseClick(box, Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), box);
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, rate);
    QCOMPARE(box->text(), rate);
}

// Enters the conditions as the operator does: the method and the goods rounding with the mouse,
// the rates typed, the add-on rounding with Enter and the arrow keys.
inline void enterConditions(KRT550F1 &form, const Conditions &c)
{
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTest::mouseClick(opt(form, "opt_Tax", c.method), Qt::LeftButton);
    QVERIFY(opt(form, "opt_Tax", c.method)->isChecked());
    if (c.method != 0)
        typeRate(txt(form, "txt_Tax_From", c.method), c.oldRate);
    if (c.method != 2)
        typeRate(txt(form, "txt_Tax_To", c.method), c.newRate);
    if (QTest::currentTestFailed())
        return;

    const char *const methods[] = {"opt_Int", "opt_RoundUp", "opt_RoundDown", "opt_Round"};
    QTest::mouseClick(opt(form, methods[c.goodsCode]), Qt::LeftButton);
    if (c.goodsCode != HasuNone)
        QTest::mouseClick(opt(form, "opt_Keta", c.goodsDigit), Qt::LeftButton);

    // Enter goes on to the selected add-on method; the arrow keys move the choice along a row.
    const ConversionParams &p = pic_Jyoukein(form)->params();
    const int method = p.HASU_FLG[AddOn];
    press(Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(),
             opt(form, QString::fromLatin1(methods[method]) + QStringLiteral("_Add")));
    moveAlong(c.addOnCode - method);
    if (c.addOnCode != HasuNone) {
        const int digit = p.HASU_ICHI[AddOn];
        press(Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), opt(form, "opt_Keta_Add", digit));
        moveAlong(c.addOnDigit - digit);
    }

    QCOMPARE(form.selectedCalcMethod(), c.method);
    QCOMPARE(p.TAX_ST[c.method], c.method == 0 ? QStringLiteral("0") : c.oldRate);
    QCOMPARE(p.TAX_END[c.method], c.method == 2 ? QStringLiteral("0") : c.newRate);
    QCOMPARE(p.HASU_FLG[Goods], c.goodsCode);
    QCOMPARE(p.HASU_FLG[AddOn], c.addOnCode);
    QCOMPARE(p.exponent(Goods), c.exponent(Goods));
    QCOMPARE(p.exponent(AddOn), c.exponent(AddOn));
}

// Loads the form on the installation and fixes the workstation's day.
inline KRT550F1 &loadForm(FormFixture &f)
{
    KRT550F1 &form = f.load();
    form.clock().setFixed(QDateTime(Today, QTime(21, 30)));
    return form;
}

inline install::Options demoOptions(const FormFixture &f, int stockMode, const QString &invent)
{
    install::Options options;
    options.root = f.root();
    options.stockMode = stockMode;
    options.invent = invent;
    // The stock-take of the workstation's day lets the operator mark every category.
    options.stockTake = Today;
    return options;
}

inline Mode modeOf(const FormFixture &f, int stockMode, bool inventNew)
{
    return {stockMode, inventNew, f.value(0, QStringLiteral("SELECT SYS_YM1 FROM GDATECTL")).toLongLong()};
}

// Every conversion a run made: the categories whose prices were not converted before and are now.
inline std::map<Key, Conditions> newlyConverted(const WorkList &before, const WorkList &after, int stockMode,
                                                const Conditions &c)
{
    std::map<Key, Conditions> converted;
    for (const auto &[key, work] : after) {
        const auto earlier = before.find(key);
        const bool was = earlier != before.end() && pricesConverted(earlier->second, stockMode);
        if (!was && pricesConverted(work, stockMode))
            converted[key] = c;
    }
    return converted;
}

// The work list's record of every category a run recorded: the day, the parameters and, in
// direct mode, completion for non-inventory categories only.
inline QStringList recordsOfRun(const WorkList &before, const WorkList &after, int stockMode,
                                const Conditions &c)
{
    QStringList problems;
    for (const auto &[key, work] : after) {
        const auto earlier = before.find(key);
        const bool recordedBefore = earlier != before.end() && !earlier->second[UpdateDate].isNull();
        if (recordedBefore || work[UpdateDate].isNull())
            continue;
        const bool inventory = work[InvFlg].toString() != QStringLiteral("0");
        const bool complete =
            !inventory || (stockMode == 0 && work[CompFlg].toString() == QStringLiteral("1"));
        problems += recordProblems(key, work, c, complete);
    }
    return problems;
}

// Every line of a reloaded grid against the table: no mark, and the conversion day of its row.
inline QStringList gridProblems(const FormFixture &f)
{
    QStringList problems;
    const WorkList list = readWorkList(f);
    const CategoryGrid *grid = lstTbl(*f.form);
    if (static_cast<std::size_t>(grid->Rows()) != list.size())
        problems.append(QStringLiteral("%1 lines for %2 rows").arg(grid->Rows()).arg(list.size()));
    for (int r = 0; r < grid->Rows(); ++r) {
        const auto row = list.find(lineKey(f, r));
        if (row == list.end()) {
            problems.append(lineKey(f, r) + QStringLiteral(": no such row"));
            continue;
        }
        const QString day = row->second[UpdateDate].isNull() ? QString() : row->second[UpdateDate].toString();
        if (grid->TextMatrix(r, 5) != day || grid->TextMatrix(r, 0) != Off)
            problems.append(QStringLiteral("%1: line shows %2 %3, the table %4")
                                .arg(lineKey(f, r), grid->TextMatrix(r, 0), grid->TextMatrix(r, 5), day));
    }
    return problems;
}

// The marked categories a run has still to convert.
inline int unconverted(const FormFixture &f)
{
    return f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1 AND UPDATE_DATE IS NULL"));
}

// Puts a copy of a catalog file in place of another, nothing left of the other's write-ahead log.
inline bool copyCatalog(const QString &from, const QString &to)
{
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        if (QFileInfo::exists(to + suffix) && !QFile::remove(to + suffix))
            return false;
    return QFile::copy(from, to);
}

} // namespace krt::testing
