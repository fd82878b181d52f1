#include "pgserver/pgserver.h"
#include "pricing/changelistfile.h"
#include "pricing/priceupdate.h"
#include "support/priceoracle.h"
#include "support/testcatalog.h"

#include <QDebug>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>
#include <map>
#include <set>

using namespace krt;
using namespace krt::pricing;

namespace {

using testing::convertedPrice;
using testing::floorDiv;

// The exact price of a rounding method at a digit position (no rounding: the converted price).
qint64 expected(qint64 price, qint64 oldRate, qint64 newRate, int code, int digit)
{
    return testing::exactPrice(price, oldRate, newRate, code, code == HasuNone ? 0 : digit + 1);
}

struct RateCase
{
    int method;
    QString oldRate; // as typed
    QString newRate;
};

std::vector<RateCase> rateCases()
{
#ifdef KRT_DIFF_SERVER
    // Over the server's round trips every method with the rates that matter: a leading zero, the
    // rates of the real changes, rates rising and falling and none at all.
    return {{0, QStringLiteral("0"), QStringLiteral("8")},   {0, QStringLiteral("0"), QStringLiteral("10")},
            {0, QStringLiteral("0"), QStringLiteral("08")},  {2, QStringLiteral("5"), QStringLiteral("0")},
            {2, QStringLiteral("8"), QStringLiteral("0")},   {2, QStringLiteral("10"), QStringLiteral("0")},
            {1, QStringLiteral("5"), QStringLiteral("8")},   {1, QStringLiteral("8"), QStringLiteral("10")},
            {1, QStringLiteral("08"), QStringLiteral("10")}, {1, QStringLiteral("3"), QStringLiteral("5")},
            {1, QStringLiteral("10"), QStringLiteral("8")},  {1, QStringLiteral("0"), QStringLiteral("0")}};
#else
    const QStringList rates = {QStringLiteral("0"), QStringLiteral("3"),  QStringLiteral("5"),
                               QStringLiteral("8"), QStringLiteral("10"), QStringLiteral("08")};
    std::vector<RateCase> cases;
    for (const QString &rate : rates) {
        cases.push_back({0, QStringLiteral("0"), rate});
        cases.push_back({2, rate, QStringLiteral("0")});
        for (const QString &newRate : rates)
            cases.push_back({1, rate, newRate});
    }
    return cases;
#endif
}

// Prices whose converted value lies on and beside every rounding boundary: multiples of each
// power of ten, one above and below them, and the halves, for small and large multiples.
std::set<qint64> boundaryPrices(qint64 oldRate, qint64 newRate)
{
    std::set<qint64> prices;
    for (qint64 unit : {10, 100, 1000, 10000}) {
        for (qint64 k : {1, 2, 3, 9, 10, 11, 99, 1234, 99999}) {
            for (qint64 d : {-2LL, -1LL, 0LL, 1LL, 2LL, unit / 2 - 1, unit / 2, unit / 2 + 1}) {
                const qint64 target = k * unit + d;
                const qint64 guess = target * (100 + oldRate) / (100 + newRate);
                for (qint64 price = guess - 6; price <= guess + 6; ++price)
                    if (qAbs(convertedPrice(price, oldRate, newRate) - target) <= 1)
                        prices.insert(price);
            }
        }
    }
    return prices;
}

// Whether the prices reach, for every rounding unit, converted values on each side of the
// boundaries the rounding methods decide on.
bool reachesEveryBoundary(const std::vector<qint64> &prices, qint64 oldRate, qint64 newRate)
{
    for (qint64 unit : {10, 100, 1000, 10000}) {
        for (qint64 residue : {0LL, 1LL, unit - 1, unit / 2 - 1, unit / 2, unit / 2 + 1}) {
            const bool reached = std::any_of(prices.cbegin(), prices.cend(), [&](qint64 price) {
                const qint64 t = convertedPrice(price, oldRate, newRate);
                return t >= unit && t % unit == residue;
            });
            if (!reached)
                return false;
        }
    }
    return true;
}

std::vector<qint64> pricesFor(const RateCase &rates)
{
    std::set<qint64> prices = boundaryPrices(rates.oldRate.toInt(), rates.newRate.toInt());
    for (qint64 price = -30; price <= 300; ++price)
        prices.insert(price);
    for (qint64 price :
         {999LL, 1000LL, 1001LL, 1049LL, 1050LL, 1051LL, 9999LL, 10000LL, 10001LL, 99999LL, 100000LL,
          123456789LL, 999999999LL, 1000000000LL, -52LL, -99LL, -1050LL, -999999999LL, -1000000000LL})
        prices.insert(price);
    return {prices.cbegin(), prices.cend()};
}

struct Rounding
{
    int code;
    int digit;
};

// Every rounding method at every digit position.
std::array<Rounding, 16> roundings()
{
    std::array<Rounding, 16> all{};
    for (int i = 0; i < 16; ++i)
        all[i] = {i / 4, i % 4};
    return all;
}

const QStringList PriceColumnNames{
    QStringLiteral("HYOJYUN_PRC"), QStringLiteral("KOURI_PRC"),  QStringLiteral("OROSI_PRC"),
    QStringLiteral("H_ADD1_PRC"),  QStringLiteral("K_ADD1_PRC"), QStringLiteral("O_ADD1_PRC"),
    QStringLiteral("H_ADD2_PRC"),  QStringLiteral("K_ADD2_PRC"), QStringLiteral("O_ADD2_PRC")};

// A price as a number, the same for every way a database or a file writes it; empty for Null.
QString number(const QString &text)
{
    if (text.isEmpty())
        return text;
    bool isNumber = false;
    const double value = text.toDouble(&isNumber);
    return isNumber ? QString::number(value, 'f', 4) : QStringLiteral("not a number: ") + text;
}

// A type of the price columns and the largest price (in magnitude) it holds exactly together with
// its converted value.
struct PriceType
{
    const char *sql;
    qint64 limit;
};

#ifdef KRT_DIFF_SERVER
// The server engine's whole-number, decimal and floating-point types. A real holds whole numbers
// exactly up to 2^24, but this engine turns a real into a decimal with six significant digits, so
// real prices stay below a million here.
const std::array<PriceType, 7> PriceTypes{{{"integer", 1000000000},
                                           {"bigint", 1000000000},
                                           {"smallint", 27000},
                                           {"numeric(12,2)", 1000000000},
                                           {"numeric(19,4)", 1000000000},
                                           {"real", 999999},
                                           {"double precision", 1000000000}}};
#else
// The embedded engine's storage classes: REAL, and INTEGER and NUMERIC, which hold whole prices as
// integers.
const std::array<PriceType, 3> PriceTypes{
    {{"REAL", 1000000000}, {"INTEGER", 1000000000}, {"NUMERIC", 1000000000}}};
#endif

} // namespace

class TestPriceDifferential : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<testing::PriceDb> m_db;
    qint64 m_cases = 0;
    QStringList m_mismatches;

    // Fills every price table with the prices of one rate case: row i holds in column j the price
    // i + 37 j (cyclically), so that each column sees every price and a mix-up of columns shows.
    std::vector<std::array<qint64, 9>> stage(const std::vector<qint64> &prices)
    {
        std::vector<std::array<qint64, 9>> rows(prices.size());
        Connection &c = m_db->connection();
        c.execute(QStringLiteral("DELETE FROM DIFF_PRICES"));
        c.beginTrans();
        QStringList values;
        for (std::size_t i = 0; i < prices.size(); ++i) {
            QStringList row{QString::number(i)};
            for (std::size_t j = 0; j < 9; ++j) {
                rows[i][j] = prices[(i + 37 * j) % prices.size()];
                row.append(QString::number(rows[i][j]));
            }
            values.append(QLatin1Char('(') + row.join(QStringLiteral(", ")) + QLatin1Char(')'));
            if (values.size() == 200 || i + 1 == prices.size()) {
                if (!c.execute(QStringLiteral("INSERT INTO DIFF_PRICES VALUES ") +
                               values.join(QStringLiteral(", "))))
                    qWarning() << "staging failed:" << c.errors().value(0).description;
                values.clear();
            }
        }
        c.commitTrans();
        return rows;
    }

    bool reset()
    {
        Connection &c = m_db->connection();
        return c.execute(QStringLiteral("DELETE FROM MGOODS")) &&
               c.execute(QStringLiteral("DELETE FROM IIODATA")) &&
               c.execute(QStringLiteral("DELETE FROM IZAIKO")) &&
               c.execute(QStringLiteral(
                   "INSERT INTO MGOODS SELECT 'D' || ID, NULL, 'D', 0, P0, P1, P2, P3, P4, P5, "
                   "P6, P7, P8, NULL FROM DIFF_PRICES")) &&
               c.execute(
                   QStringLiteral("INSERT INTO MGOODS SELECT 'P' || ID, NULL, 'P', NULL, P0, P1, P2, P3, P4, "
                                  "P5, P6, P7, P8, NULL FROM DIFF_PRICES")) &&
               c.execute(
                   QStringLiteral("INSERT INTO IIODATA SELECT 201404, '001', 'D' || ID, '1', 1, 'D', 0, 1, "
                                  "P0, P1, P2 FROM DIFF_PRICES")) &&
               c.execute(
                   QStringLiteral("INSERT INTO IZAIKO SELECT '001', 'D' || ID, 'D', NULL, 1, 0, P3, P4, P5, "
                                  "NULL FROM DIFF_PRICES")) &&
               c.execute(QStringLiteral(
                   "UPDATE MITEMCNT SET UPDATE_DATE = NULL, COMP_FLG = '0', COMP_DATE = NULL"));
    }

    // Compares the prices of one table, row key prefix and staged columns, with the exact values.
    void compare(const QString &sql, const std::vector<std::array<qint64, 9>> &staged,
                 const std::vector<std::size_t> &stagedColumns, const std::vector<Rounding> &roundingOfColumn,
                 const RateCase &rates, const QString &what)
    {
        const std::vector<QVariantList> rows = m_db->rows(sql);
        if (rows.size() != staged.size()) {
            m_mismatches.append(
                QStringLiteral("%1: %2 rows read, %3 staged").arg(what).arg(rows.size()).arg(staged.size()));
            return;
        }
        for (const QVariantList &row : rows) {
            const std::size_t i = row.value(0).toULongLong();
            for (std::size_t c = 0; c < stagedColumns.size(); ++c) {
                const qint64 price = staged[i][stagedColumns[c]];
                const Rounding r = roundingOfColumn[c];
                const qint64 want =
                    expected(price, rates.oldRate.toInt(), rates.newRate.toInt(), r.code, r.digit);
                const QVariant got = row.value(static_cast<int>(c + 1));
                ++m_cases;
                if (got.isNull() || got.toDouble() != static_cast<double>(want)) {
                    if (m_mismatches.size() < 20)
                        m_mismatches.append(
                            QStringLiteral("%1 column %2: price %3, method %4, %5 -> %6, code %7 "
                                           "digit %8: got %9, want %10")
                                .arg(what)
                                .arg(c)
                                .arg(price)
                                .arg(rates.method)
                                .arg(rates.oldRate, rates.newRate)
                                .arg(r.code)
                                .arg(r.digit)
                                .arg(got.toString())
                                .arg(want));
                    else
                        m_mismatches.append(QString());
                }
            }
        }
    }

    // Shows what the database said about the first failed statement.
    void reportFailure(int failures)
    {
        if (failures == 1)
            qWarning() << m_db->connection().errors().value(0).description
                       << m_db->connection().errors().value(0).statement.left(300);
    }

    // A new store whose price columns take the type, with the staging table and the pending
    // category's row.
    bool open(const QString &priceType)
    {
        m_db.reset();
#ifdef KRT_DIFF_SERVER
        static int stores = 0;
        m_db = std::make_unique<testing::PriceDb>(test::PgServer::instance(),
                                                  QStringLiteral("diff%1").arg(++stores), priceType);
#else
        m_db = std::make_unique<testing::PriceDb>(priceType);
#endif
        if (!m_db->error().isEmpty()) {
            qWarning() << m_db->error();
            return false;
        }
        // Thousands of small transactions: durability on power loss is of no interest here.
        if (m_db->connection().engine() == Engine::Sqlite &&
            !m_db->connection().execute(QStringLiteral("PRAGMA synchronous = OFF")))
            return false;
        const QString error = m_db->fill(
            QStringLiteral(
                "CREATE TABLE DIFF_PRICES (ID INTEGER PRIMARY KEY, P0 %1, P1 %1, P2 %1, P3 %1, P4 %1, "
                "P5 %1, P6 %1, P7 %1, P8 %1);\n"
                "INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, INV_FLG, COMP_FLG, CHK) "
                "VALUES ('P', 'pending', 0, '1', '0', 1);\n")
                .arg(priceType));
        if (!error.isEmpty())
            qWarning() << error;
        return error.isEmpty();
    }

private Q_SLOTS:
    void initTestCase()
    {
#ifdef KRT_DIFF_SERVER
        KRT_REQUIRE_TEST_SERVER();
#endif
    }

    void theExactModelAgreesWithWorkedFigures()
    {
        QCOMPARE(expected(1050, 5, 8, HasuRoundHalfUp, 0), 1080);
        QCOMPARE(expected(1050, 0, 8, HasuNone, 3), 1134);
        QCOMPARE(expected(1080, 8, 0, HasuNone, 0), 1000);
        QCOMPARE(expected(10001, 0, 0, HasuRoundUp, 3), 20000);
        QCOMPARE(expected(15, 0, 0, HasuRoundHalfUp, 0), 20);
        QCOMPARE(expected(14, 0, 0, HasuRoundHalfUp, 0), 10);
        QCOMPARE(expected(9, 0, 0, HasuRoundDown, 0), 9);
        QCOMPARE(expected(-52, 8, 10, HasuRoundDown, 0), -53);
        QCOMPARE(floorDiv(-416, 108), -4);
    }

    // A run's change list on every column type, on the direct and the pending path: every goods row
    // the run converted is listed once, with its prices as the database holds them before and after
    // the run, Null prices empty, and marked changed exactly when one of its prices changed; by its
    // goods key, or without one (the table has no primary key) by its category and prices.
    void theChangeListHoldsThePricesAsStored_data()
    {
        QTest::addColumn<QString>("priceType");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<int>("stockMode");
        QTest::addColumn<QStringList>("key");
        for (const PriceType &type : PriceTypes)
            for (const int stockMode : {1, 0})
                for (const QStringList &key : {QStringList{QStringLiteral("JAN_CD")}, QStringList()})
                    QTest::addRow("%s, %s, %s", type.sql, stockMode == 1 ? "direct" : "deferred",
                                  key.isEmpty() ? "no key" : "keyed")
                        << QString::fromLatin1(type.sql) << type.limit << stockMode << key;
    }
    void theChangeListHoldsThePricesAsStored()
    {
        QFETCH(QString, priceType);
        QFETCH(qint64, limit);
        QFETCH(int, stockMode);
        QFETCH(QStringList, key);
        QVERIFY(open(priceType));
        std::vector<qint64> prices = pricesFor({1, QStringLiteral("8"), QStringLiteral("10")});
        prices.erase(std::remove_if(prices.begin(), prices.end(),
                                    [limit](qint64 price) { return qAbs(price) > limit; }),
                     prices.end());
        stage(prices);
        QVERIFY(reset());
        // Null prices, and goods whose prices all stay as they are.
        QCOMPARE(m_db->fill(QStringLiteral(
                     "INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, INV_FLG, COMP_FLG, CHK) "
                     "VALUES ('D', 'direct', 0, '0', '0', 1);\n"
                     "UPDATE MGOODS SET KOURI_PRC = NULL, O_ADD2_PRC = NULL WHERE JAN_CD LIKE '%3';\n"
                     "UPDATE MGOODS SET HYOJYUN_PRC = 0, KOURI_PRC = NULL, OROSI_PRC = 0, H_ADD1_PRC = 0, "
                     "K_ADD1_PRC = 0, O_ADD1_PRC = 0, H_ADD2_PRC = 0, K_ADD2_PRC = 0, O_ADD2_PRC = 0 "
                     "WHERE JAN_CD LIKE '%7';\n")),
                 QString());
        const QString koushinDt = QStringLiteral("2014/04/01 10:00:00");
        // Every goods row by its code: category, number, the nine prices and the update time.
        const auto goods = [this] {
            QStringList read;
            for (const QString &column : PriceColumnNames)
                read.append(QStringLiteral("CAST(%1 AS DOUBLE PRECISION)").arg(column));
            std::map<QString, QStringList> byJan;
            for (const QVariantList &row : m_db->rows(
                     QStringLiteral("SELECT JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, %1, UPDATE_DT FROM MGOODS")
                         .arg(read.join(QStringLiteral(", "))))) {
                QStringList fields;
                for (const QVariant &value : row)
                    fields.append(value.toString());
                for (int p = 3; p < 12; ++p)
                    fields[p] = row[p].isNull() ? QString() : QString::number(row[p].toDouble(), 'f', 4);
                byJan[fields.takeFirst()] = fields;
            }
            return byJan;
        };
        const std::map<QString, QStringList> before = goods();

        QTemporaryDir dir;
        ChangeList list(
            m_db->connection(),
            {dir.path(), QStringLiteral("TMCS00"), QDateTime(QDate(2014, 4, 1), QTime(10, 0)), key, {}});
        QVERIFY(list.prepare());
        QCOMPARE(list.hasKey(), !key.isEmpty());
        ConversionParams params;
        params.TAX_ST = {QStringLiteral("0"), QStringLiteral("8"), QStringLiteral("8")};
        params.TAX_END = {QStringLiteral("8"), QStringLiteral("10"), QStringLiteral("0")};
        params.HASU_FLG = {HasuRoundHalfUp, HasuRoundDown};
        params.HASU_ICHI = {0, 1};
        int failures = 0;
        PriceUpdater updater(
            m_db->connection(), params,
            RunValues{1, stockMode, true, koushinDt, QStringLiteral("201404"), QDate(2014, 4, 1)},
            [&] { reportFailure(++failures); });
        updater.setChangeList(&list);
        QCOMPARE(updater.run(), RunOutcome::Completed);
        QCOMPARE(failures, 0);

        // The rows the list must hold, from the tables before and after the run.
        QStringList expected;
        int changed = 0;
        for (const auto &[jan, after] : goods()) {
            if (after[11] != koushinDt)
                continue;
            const QStringList &old = before.at(jan);
            QStringList line{after[0], after[1]};
            line += key.isEmpty() ? QStringList() : QStringList{jan};
            bool changes = false;
            for (int p = 2; p < 11; ++p) {
                line << old[p] << after[p];
                changes = changes || old[p] != after[p];
            }
            line.append(changes ? QStringLiteral("1") : QStringLiteral("0"));
            changed += changes ? 1 : 0;
            expected.append(line.join(QLatin1Char(',')));
        }
        QCOMPARE(expected.size(), static_cast<qsizetype>(2 * prices.size()));
        QVERIFY(changed > 0 && changed < expected.size());

        const ChangeListContent content = readChangeList(list.path());
        QVERIFY2(content.error.isEmpty(), qPrintable(content.error));
        const qsizetype first = content.header.indexOf(QStringLiteral("HYOJYUN_PRC_旧"));
        QCOMPARE(first, 2 + key.size());
        QStringList listed;
        for (const QStringList &row : content.rows) {
            QStringList line = row.mid(0, first);
            for (qsizetype p = first; p < first + 18; ++p)
                line.append(number(row[p]));
            line.append(row.value(first + 18));
            listed.append(line.join(QLatin1Char(',')));
        }
        expected.sort();
        listed.sort();
        QCOMPARE(listed, expected);
    }

    void thePricesOf1050BecomeThoseOf1080()
    {
        QVERIFY(open(QString::fromLatin1(PriceTypes.front().sql)));
        Connection &c = m_db->connection();
        QVERIFY(c.execute(QStringLiteral("DELETE FROM MGOODS")));
        QVERIFY(c.execute(
            QStringLiteral("INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, HYOJYUN_PRC, "
                           "KOURI_PRC, OROSI_PRC, H_ADD1_PRC) VALUES ('4901', 'W', 0, 1050, 1050, 1050, "
                           "1050)")));
        ConversionParams params;
        params.TAX_ST = {QStringLiteral("0"), QStringLiteral("5"), QString()};
        params.TAX_END = {QString(), QStringLiteral("8"), QStringLiteral("0")};
        params.HASU_FLG = {HasuRoundHalfUp, HasuRoundHalfUp};
        int failures = 0;
        PriceUpdater updater(c, params, RunValues{1, 1, true, QStringLiteral("2014/04/01 00:00:00"), {}, {}},
                             [&] { reportFailure(++failures); });
        QVERIFY(c.beginTrans());
        QCOMPARE(updater.prfn_UpdateMGoods(QStringLiteral("W"), 0), 0);
        QVERIFY(c.commitTrans());
        QCOMPARE(
            m_db->rows(QStringLiteral("SELECT HYOJYUN_PRC, KOURI_PRC, OROSI_PRC, H_ADD1_PRC, H_ADD2_PRC FROM "
                                      "MGOODS"))
                .front(),
            (QVariantList{1080.0, 1080.0, 1080.0, 1080.0, QVariant()}));
        QCOMPARE(failures, 0);
    }

    // Every converted column of MGOODS, IIODATA and IZAIKO, on the direct path and on the pending
    // path with recorded parameters, equals the exact value, for every calculation method, rate
    // pair, rounding method and digit position.
    void everyConvertedPriceIsExact_data()
    {
        QTest::addColumn<QString>("priceType");
        QTest::addColumn<qint64>("limit");
        for (const PriceType &type : PriceTypes)
            QTest::newRow(type.sql) << QString::fromLatin1(type.sql) << type.limit;
    }
    void everyConvertedPriceIsExact()
    {
        QFETCH(QString, priceType);
        QFETCH(qint64, limit);
        QVERIFY(open(priceType));
        m_cases = 0;
        m_mismatches.clear();
        const std::array<Rounding, 16> all = roundings();
        int failures = 0;
        qint64 statements = 0;
        for (const RateCase &rates : rateCases()) {
            std::vector<qint64> prices = pricesFor(rates);
            prices.erase(std::remove_if(prices.begin(), prices.end(),
                                        [limit](qint64 price) { return qAbs(price) > limit; }),
                         prices.end());
            QVERIFY(reachesEveryBoundary(prices, rates.oldRate.toInt(), rates.newRate.toInt()));
            const std::vector<std::array<qint64, 9>> staged = stage(prices);
            for (std::size_t g = 0; g < all.size(); ++g) {
                // The add-on prices take another rounding than the goods prices of the same run.
                const Rounding goods = all[g];
                const Rounding addOn = all[(g + 5) % all.size()];
                ConversionParams params;
                params.TAX_ST = {QStringLiteral("0"), QStringLiteral("4"), QStringLiteral("6")};
                params.TAX_END = {QStringLiteral("7"), QStringLiteral("9"), QStringLiteral("0")};
                params.TAX_ST[rates.method] = rates.oldRate;
                params.TAX_END[rates.method] = rates.newRate;
                params.HASU_FLG = {goods.code, addOn.code};
                params.HASU_ICHI = {goods.digit, addOn.digit};
                PriceUpdater updater(m_db->connection(), params,
                                     RunValues{rates.method, 1, true, QStringLiteral("2014/04/01 10:00:00"),
                                               QStringLiteral("201404"), QDate(2014, 4, 1)},
                                     [&] { reportFailure(++failures); });
                QVERIFY(reset());
                QVERIFY(m_db->connection().beginTrans());
                QCOMPARE(updater.prfn_UpdateMGoods(QStringLiteral("D"), 0), 0);
                QCOMPARE(updater.prfn_UpdateIIoData(QStringLiteral("D"), 0), 0);
                QCOMPARE(updater.prfn_UpdateIZaiko(QStringLiteral("D"), 0), 0);
                QCOMPARE(updater.prfn_MarkCategory(QStringLiteral("P"), 0, QStringLiteral("1")), 0);
                QCOMPARE(updater.prfn_UpdateMGoodsPending(), 0);
                QVERIFY(m_db->connection().commitTrans());
                statements += 5;

                const std::vector<Rounding> mgoods{goods, goods, goods, addOn, addOn,
                                                   addOn, addOn, addOn, addOn};
                // Read as double precision, which holds every stored price exactly, whatever the
                // column's type: the ODBC driver writes a real with fewer digits than it holds.
                QStringList read;
                for (const QString &column : PriceColumnNames)
                    read.append(QStringLiteral("CAST(%1 AS DOUBLE PRECISION)").arg(column));
                const QString columns =
                    QStringLiteral("CAST(SUBSTR(JAN_CD, 2) AS INTEGER), ") + read.join(QStringLiteral(", "));
                const QString stock = QStringLiteral(
                    "SELECT CAST(SUBSTR(JAN_CD, 2) AS INTEGER), CAST(HYOJYUN_PRC AS DOUBLE PRECISION), "
                    "CAST(KOURI_PRC AS DOUBLE PRECISION), CAST(OROSI_PRC AS DOUBLE PRECISION) FROM ");
                compare(QStringLiteral("SELECT %1 FROM MGOODS WHERE DAI_BUNRUI_CD = 'D'").arg(columns),
                        staged, {0, 1, 2, 3, 4, 5, 6, 7, 8}, mgoods, rates, QStringLiteral("MGOODS"));
                compare(QStringLiteral("SELECT %1 FROM MGOODS WHERE DAI_BUNRUI_CD = 'P'").arg(columns),
                        staged, {0, 1, 2, 3, 4, 5, 6, 7, 8}, mgoods, rates, QStringLiteral("MGOODS pending"));
                compare(stock + QStringLiteral("IIODATA"), staged, {0, 1, 2}, {goods, goods, goods}, rates,
                        QStringLiteral("IIODATA"));
                compare(stock + QStringLiteral("IZAIKO"), staged, {3, 4, 5}, {goods, goods, goods}, rates,
                        QStringLiteral("IZAIKO"));
                QCOMPARE(m_db->value(QStringLiteral("SELECT COMP_FLG FROM MITEMCNT WHERE ITEM_CD = 'P'")),
                         QVariant(QStringLiteral("1")));
            }
        }
        qInfo("%s: %lld converted prices compared with their exact values (%lld statements)",
              qPrintable(priceType), m_cases, statements);
        QCOMPARE(failures, 0);
        QVERIFY2(m_mismatches.isEmpty(),
                 qPrintable(QStringLiteral("%1 mismatches, first: %2")
                                .arg(m_mismatches.size())
                                .arg(m_mismatches.mid(0, 20).join(QLatin1Char('\n')))));
        QVERIFY(m_cases > 1000000);
    }
};

QTEST_GUILESS_MAIN(TestPriceDifferential)
#include "tst_pricedifferential.moc"
