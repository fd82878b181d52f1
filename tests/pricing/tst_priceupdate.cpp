#include "pricing/changelist.h"
#include "pricing/pricereadings.h"
#include "pricing/pricestatements.h"
#include "pricing/priceupdate.h"
#include "support/testcatalog.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <utility>

#include <memory>

using namespace krt;
using namespace krt::pricing;

namespace {

const QString KoushinDt = QStringLiteral("2014/04/01 10:00:00");
const QDate Today(2014, 4, 1);
const QString Day = QStringLiteral("2014/04/01");

// The statements of the run that do not depend on a category, as the database receives them.
const QString WorkListText =
    QStringLiteral("SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, INV_FLG FROM MITEMCNT WHERE "
                   "(MITEMCNT.CHK = 1) AND (UPDATE_DATE Is Null) ORDER BY INV_FLG DESC");
// The goods each category holds when a run starts, which the run checks its conversions against.
const QString GoodsAtStartText = QStringLiteral(
    "SELECT DAI_BUNRUI_CD, CHU_BUNRUI_CD, COUNT(*) AS CNT FROM MGOODS GROUP BY DAI_BUNRUI_CD, CHU_BUNRUI_CD");
// The declared types of the price columns, which decide where the expressions need the exact cast:
// of the three price tables in direct mode, of MGOODS in deferred mode.
const QString GoodsTypesText =
    QStringLiteral("SELECT 'MGOODS', name, type, NULL, NULL FROM pragma_table_info('MGOODS')");
const QString PriceTypesText =
    GoodsTypesText +
    QStringLiteral(" UNION ALL SELECT 'IZAIKO', name, type, NULL, NULL FROM pragma_table_info('IZAIKO') "
                   "UNION ALL SELECT 'IIODATA', name, type, NULL, NULL FROM pragma_table_info('IIODATA')");
const QString PendingListText =
    QStringLiteral("SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, TAX_ST, TAX_END, GOODS_HASU_FLG, "
                   "GOODS_HASU_ICHI, GADD_HASU_FLG, GADD_HASU_ICHI FROM MITEMCNT WHERE (UPDATE_DATE Is Not "
                   "Null) AND (COMP_FLG = '0') AND (RTRIM(INV_FLG) = '1') ");

// A store with an inventory category A, the categories B and C, a sub-category 12 of B and a
// category D; A, B and C are marked. Each category holds goods without a sub-category number and
// with 0 (B's sub-category goods apart), stock movements of the month before the system month, of
// the system month and of the next, and stock rows with stock, with consignment only and with
// neither. Every price is 1050, except the goods with sub-category 0 and the next month's
// movements at 2100.
QString storeScript()
{
    QString script = QStringLiteral(
        "INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, DETAIL_NM, TAX_FREE_FLG, INV_FLG, COMP_FLG, CHK) "
        "VALUES "
        "('A', 'inventory', 0, NULL, '0', '1', '0', 1), ('B', 'goods', 0, NULL, '0', '0', '0', 1), "
        "('B', 'goods', 12, 'sub', '0', '0', '0', NULL), ('C', 'goods', 0, NULL, '0', '0', '0', 1), "
        "('D', 'goods', 0, NULL, '0', '0', '0', NULL);\n"
        "INSERT INTO GDATECTL VALUES (1, 201404);\n");
    const QString prices = QStringLiteral("%1, %1, %1, %1, %1, %1, %1, %1, %1");
    for (const QString &c :
         {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")}) {
        script += QStringLiteral("INSERT INTO MGOODS VALUES ('%1-1', 'g', '%1', NULL, %2, NULL), "
                                 "('%1-2', 'g', '%1', 0, %3, NULL);\n")
                      .arg(c, prices.arg(1050), prices.arg(2100));
        script +=
            QStringLiteral("INSERT INTO IIODATA VALUES (201403, '001', '%1-1', '1', 1, '%1', NULL, 1, 1050, "
                           "1050, 1050), (201404, '001', '%1-1', '1', 2, '%1', 0, 1, 1050, 1050, 1050), "
                           "(201405, '001', '%1-2', '1', 3, '%1', NULL, 1, 2100, 2100, 2100);\n")
                .arg(c);
        script +=
            QStringLiteral("INSERT INTO IZAIKO VALUES ('001', '%1-1', '%1', NULL, 5, 0, 1050, 1050, 1050, "
                           "NULL), ('002', '%1-1', '%1', 0, 0, 3, 1050, 1050, 1050, NULL), ('003', '%1-1', "
                           "'%1', NULL, 0, 0, 1050, 1050, 1050, NULL);\n")
                .arg(c);
    }
    script += QStringLiteral(
        "INSERT INTO MGOODS VALUES ('B-3', 'g', 'B', 12, 1050, 1050, 1050, 1050, 1050, 1050, 1050, 1050, "
        "1050, NULL);\n"
        "INSERT INTO IIODATA VALUES (201404, '001', 'B-3', '1', 4, 'B', 12, 1, 1050, 1050, 1050);\n"
        "INSERT INTO IZAIKO VALUES ('001', 'B-3', 'B', 12, 5, 0, 1050, 1050, 1050, NULL);\n");
    return script;
}

// Method 1 from 5 to 8; goods prices half up at the ones, add-on prices down at the tens:
// 1050 becomes 1080 (goods) and 1000 (add-on), 2100 becomes 2160 and 2100.
ConversionParams fiveToEight()
{
    ConversionParams p;
    p.CalcMethod = 1;
    p.TAX_ST = {QStringLiteral("0"), QStringLiteral("5"), QString()};
    p.TAX_END = {QStringLiteral("8"), QStringLiteral("8"), QStringLiteral("0")};
    p.HASU_FLG = {HasuRoundHalfUp, HasuRoundDown};
    p.HASU_ICHI = {0, 1};
    return p;
}

// Method 1 from 8 to 10 (typed "08"), goods half up at the ones, add-on prices unrounded:
// 1050 becomes 1070 (goods and add-on), 2100 becomes 2140 (goods) and 2139 (add-on).
ConversionParams eightToTen()
{
    ConversionParams p;
    p.CalcMethod = 1;
    p.TAX_ST = {QStringLiteral("0"), QStringLiteral("08"), QString()};
    p.TAX_END = {QStringLiteral("8"), QStringLiteral("10"), QStringLiteral("0")};
    p.HASU_FLG = {HasuRoundHalfUp, HasuNone};
    p.HASU_ICHI = {0, 2};
    return p;
}

// The price expressions of fiveToEight() with the price column as read in place of %1: goods prices half up
// at the ones, add-on prices down at the tens.
const QString GoodsPrice = QStringLiteral(
    "CASE WHEN ((%1 - FLOOR(%1 * 5 / 105)) + FLOOR((%1 - FLOOR(%1 * 5 / 105)) * 8 / 100)) - POWER(10, 1) < 0 "
    "THEN ((%1 - FLOOR(%1 * 5 / 105)) + FLOOR((%1 - FLOOR(%1 * 5 / 105)) * 8 / 100)) ELSE FLOOR(((%1 - "
    "FLOOR(%1 * 5 / 105)) + FLOOR((%1 - FLOOR(%1 * 5 / 105)) * 8 / 100)) / POWER(10, 1) + 0.5) * POWER(10, "
    "1) "
    "END");
const QString AddOnPrice = QStringLiteral(
    "CASE WHEN ((%1 - FLOOR(%1 * 5 / 105)) + FLOOR((%1 - FLOOR(%1 * 5 / 105)) * 8 / 100)) - POWER(10, 2) < 0 "
    "THEN ((%1 - FLOOR(%1 * 5 / 105)) + FLOOR((%1 - FLOOR(%1 * 5 / 105)) * 8 / 100)) ELSE FLOOR(((%1 - "
    "FLOOR(%1 * 5 / 105)) + FLOOR((%1 - FLOOR(%1 * 5 / 105)) * 8 / 100)) / POWER(10, 2)) * POWER(10, 2) END");

// A run on the test store reads its REAL price columns as stored: the embedded engine's exact
// reading would be a floating-point number already (a store of another type: see
// theRunCastsOnlyTheColumnsWhoseTypeNeedsIt).
QString goodsPrice(const char *column)
{
    return GoodsPrice.arg(QLatin1String(column));
}

QString addOnPrice(const char *column)
{
    return AddOnPrice.arg(QLatin1String(column));
}

// The statements of fiveToEight() for a major category, as the database receives them on
// 2014/04/01 at 10:00:00 with system month 201404 and an old inventory version.
QString recordText(const QString &itemCd, bool inventory)
{
    return QStringLiteral(
               "UPDATE MITEMCNT SET UPDATE_DATE = '2014/04/01', %1TAX_ST = 5, TAX_END = 8, "
               "GOODS_HASU_FLG = '3', GOODS_HASU_ICHI = '1', GADD_HASU_FLG = '2', GADD_HASU_ICHI = "
               "'2' WHERE (ITEM_CD = '%2') AND ((DETAIL_NO Is Null) OR (DETAIL_NO = 0)) AND "
               "(UPDATE_DATE Is Null)")
        .arg(inventory ? QString() : QStringLiteral("COMP_FLG = '1', COMP_DATE = '2014/04/01', "), itemCd);
}

// The goods master's statement; pending: the deferred conversion of a recorded inventory category.
QString goodsText(const QString &itemCd, bool pending = false)
{
    return QStringLiteral(
               "UPDATE MGOODS SET HYOJYUN_PRC = %1, KOURI_PRC = %2, OROSI_PRC = %3, H_ADD1_PRC = %4, "
               "K_ADD1_PRC = %5, O_ADD1_PRC = %6, H_ADD2_PRC = %7, K_ADD2_PRC = %8, O_ADD2_PRC = %9, "
               "UPDATE_DT = '2014/04/01 10:00:00' %10WHERE (DAI_BUNRUI_CD = '%11') AND "
               "((CHU_BUNRUI_CD Is Null) OR (CHU_BUNRUI_CD = 0))")
        .arg(goodsPrice("HYOJYUN_PRC"), goodsPrice("KOURI_PRC"), goodsPrice("OROSI_PRC"),
             addOnPrice("H_ADD1_PRC"), addOnPrice("K_ADD1_PRC"), addOnPrice("O_ADD1_PRC"),
             addOnPrice("H_ADD2_PRC"), addOnPrice("K_ADD2_PRC"), addOnPrice("O_ADD2_PRC"),
             pending ? QStringLiteral("FROM MGOODS ") : QString(), itemCd);
}

QString movementsText(const QString &itemCd)
{
    return QStringLiteral("UPDATE IIODATA SET IIODATA.HYOJYUN_PRC = %1, IIODATA.KOURI_PRC = %2, "
                          "IIODATA.OROSI_PRC = %3 WHERE (IO_YM >= 201404) AND (DAI_BUNRUI_CD = '%4') AND "
                          "((CHU_BUNRUI_CD Is Null) OR (CHU_BUNRUI_CD = 0))")
        .arg(goodsPrice("HYOJYUN_PRC"), goodsPrice("KOURI_PRC"), goodsPrice("OROSI_PRC"), itemCd);
}

QString stockText(const QString &itemCd)
{
    return QStringLiteral(
               "UPDATE IZAIKO SET IZAIKO.HYOJYUN_PRC = %1, IZAIKO.KOURI_PRC = %2, IZAIKO.OROSI_PRC = "
               "%3, IZAIKO.KOUSHIN_DT = '2014/04/01 10:00:00' WHERE ((ZAIKO_QTY > 0) OR "
               "(JYUTAKU_QTY > 0)) AND (DAI_BUNRUI_CD = '%4') AND ((CHU_BUNRUI_CD Is Null) OR "
               "(CHU_BUNRUI_CD = 0))")
        .arg(goodsPrice("HYOJYUN_PRC"), goodsPrice("KOURI_PRC"), goodsPrice("OROSI_PRC"), itemCd);
}

RunValues values(int stockMode, bool inventNewVersion = true)
{
    return RunValues{1, stockMode, inventNewVersion, KoushinDt, QStringLiteral("201404"), Today};
}

QString joined(const std::vector<QVariantList> &rows)
{
    QStringList lines;
    for (const QVariantList &row : rows) {
        QStringList fields;
        for (const QVariant &v : row)
            fields.append(v.isNull() ? QStringLiteral("<null>") : v.toString());
        lines.append(fields.join(QLatin1Char('|')));
    }
    return lines.join(QLatin1Char('\n'));
}

struct CategoryKey
{
    QString itemCd;
    int detailNo;
};

const std::vector<CategoryKey> Categories{{QStringLiteral("A"), 0},
                                          {QStringLiteral("B"), 0},
                                          {QStringLiteral("B"), 12},
                                          {QStringLiteral("C"), 0},
                                          {QStringLiteral("D"), 0}};

// What a category holds: its control row and its price rows.
struct CategoryState
{
    QString control;
    QString prices;
    bool operator==(const CategoryState &o) const { return control == o.control && prices == o.prices; }
};

CategoryState stateOf(testing::PriceDb &db, const CategoryKey &key)
{
    const QString where =
        QStringLiteral("WHERE (DAI_BUNRUI_CD = '%1') %2")
            .arg(key.itemCd, subCategoryClause(QStringLiteral("CHU_BUNRUI_CD"), key.detailNo));
    CategoryState state;
    state.control =
        joined(db.rows(QStringLiteral("SELECT * FROM MITEMCNT WHERE ITEM_CD = '%1' AND DETAIL_NO = %2")
                           .arg(key.itemCd)
                           .arg(key.detailNo)));
    state.prices = joined(db.rows(QStringLiteral("SELECT * FROM MGOODS %1 ORDER BY JAN_CD").arg(where))) +
                   QLatin1Char('\n') +
                   joined(db.rows(QStringLiteral("SELECT * FROM IIODATA %1 ORDER BY IO_SEQ").arg(where))) +
                   QLatin1Char('\n') +
                   joined(db.rows(QStringLiteral("SELECT * FROM IZAIKO %1 ORDER BY TENPO_CD").arg(where)));
    return state;
}

std::vector<CategoryState> statesOf(testing::PriceDb &db)
{
    std::vector<CategoryState> states;
    for (const CategoryKey &key : Categories)
        states.push_back(stateOf(db, key));
    return states;
}

} // namespace

class TestPriceUpdate : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<testing::PriceDb> m_db;
    int m_reports = 0;
    QStringList m_sent;

    Connection &connection() { return m_db->connection(); }

    // A new store database; the statements the program sends are logged.
    bool newStore(const QString &priceType = QStringLiteral("REAL"))
    {
        m_db = std::make_unique<testing::PriceDb>(priceType);
        m_reports = 0;
        m_sent.clear();
        if (!m_db->error().isEmpty() || !m_db->fill(storeScript()).isEmpty())
            return false;
        logStatements();
        return true;
    }

    void logStatements()
    {
        connection().setStatementHook([this](const QString &sql) {
            m_sent.append(sql);
            return std::optional<QString>();
        });
    }

    RunOutcome run(const ConversionParams &params, const RunValues &runValues)
    {
        PriceUpdater updater(connection(), params, runValues, [this] { ++m_reports; });
        return updater.run();
    }

    // A change list keyed by JAN_CD in the folder, of a run started at 10:00 on the test day.
    ChangeList keyedList(const QString &folder)
    {
        return ChangeList(connection(), {folder,
                                         QStringLiteral("TMCS00"),
                                         QDateTime(Today, QTime(10, 0)),
                                         {QStringLiteral("JAN_CD")},
                                         {}});
    }

    QString mgoods(const QString &jan)
    {
        return joined(
            m_db->rows(QStringLiteral("SELECT HYOJYUN_PRC, OROSI_PRC, H_ADD1_PRC, O_ADD2_PRC, UPDATE_DT FROM "
                                      "MGOODS WHERE JAN_CD = '%1'")
                           .arg(jan)));
    }

    QString control(const QString &itemCd, int detailNo = 0)
    {
        return joined(
            m_db->rows(QStringLiteral("SELECT UPDATE_DATE, COMP_FLG, COMP_DATE, TAX_ST, TAX_END, "
                                      "GOODS_HASU_FLG, GOODS_HASU_ICHI, GADD_HASU_FLG, GADD_HASU_ICHI FROM "
                                      "MITEMCNT WHERE ITEM_CD = '%1' AND DETAIL_NO = %2")
                           .arg(itemCd)
                           .arg(detailNo)));
    }

    QString movements(const QString &itemCd)
    {
        return joined(m_db->rows(
            QStringLiteral("SELECT IO_YM, HYOJYUN_PRC, OROSI_PRC FROM IIODATA WHERE DAI_BUNRUI_CD = '%1' AND "
                           "IFNULL(CHU_BUNRUI_CD, 0) = 0 ORDER BY IO_SEQ")
                .arg(itemCd)));
    }

    QString stock(const QString &itemCd)
    {
        return joined(
            m_db->rows(QStringLiteral("SELECT TENPO_CD, HYOJYUN_PRC, KOUSHIN_DT FROM IZAIKO WHERE "
                                      "DAI_BUNRUI_CD = '%1' AND IFNULL(CHU_BUNRUI_CD, 0) = 0 ORDER BY "
                                      "TENPO_CD")
                           .arg(itemCd)));
    }

    // The marked categories not converted yet, inventory categories first, as the work list must
    // deliver them.
    QStringList workListOrder()
    {
        QStringList order;
        for (const QVariantList &row :
             m_db->rows(QStringLiteral("SELECT ITEM_CD FROM MITEMCNT WHERE CHK = 1 AND UPDATE_DATE IS NULL "
                                       "ORDER BY INV_FLG DESC, rowid")))
            order.append(row.value(0).toString());
        return order;
    }

    QString markAll() { return m_db->fill(QStringLiteral("UPDATE MITEMCNT SET CHK = 1;\n")); }

private Q_SLOTS:
    void nothingMarkedWritesNothing()
    {
        QVERIFY(newStore());
        QCOMPARE(m_db->fill(QStringLiteral("UPDATE MITEMCNT SET CHK = NULL;\n")), QString());
        const std::vector<CategoryState> before = statesOf(*m_db);
        QCOMPARE(run(fiveToEight(), values(1)), RunOutcome::Completed);
        QCOMPARE(m_sent, QStringList{WorkListText});
        QCOMPARE(m_reports, 0);
        QVERIFY(statesOf(*m_db) == before);
    }

    void directModeConvertsEveryPriceTableOfTheCategory_data()
    {
        QTest::addColumn<bool>("inventNewVersion");
        QTest::addColumn<QString>("convertedStock");
        QTest::newRow("new inventory version: rows with stock")
            << true << QStringLiteral("001|1080|2014/04/01 10:00:00\n002|1050|<null>\n003|1050|<null>");
        QTest::newRow("old inventory version: rows with stock or consignment")
            << false
            << QStringLiteral("001|1080|2014/04/01 10:00:00\n002|1080|2014/04/01 10:00:00\n003|1050|<null>");
    }
    void directModeConvertsEveryPriceTableOfTheCategory()
    {
        QFETCH(bool, inventNewVersion);
        QFETCH(QString, convertedStock);
        QVERIFY(newStore());
        QCOMPARE(run(fiveToEight(), values(1, inventNewVersion)), RunOutcome::Completed);
        QCOMPARE(m_reports, 0);
        for (const QString &c : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}) {
            QCOMPARE(mgoods(c + QStringLiteral("-1")), QStringLiteral("1080|1080|1000|1000|") + KoushinDt);
            QCOMPARE(mgoods(c + QStringLiteral("-2")), QStringLiteral("2160|2160|2100|2100|") + KoushinDt);
            // From the system month on only.
            QCOMPARE(movements(c), QStringLiteral("201403|1050|1050\n201404|1080|1080\n201405|2160|2160"));
            QCOMPARE(stock(c), convertedStock);
        }
        // Inventory categories are recorded but not completed; the others are completed at once.
        const QString recorded = QStringLiteral("|5|8|3|1|2|2");
        QCOMPARE(control(QStringLiteral("A")), Day + QStringLiteral("|0|<null>") + recorded);
        QCOMPARE(control(QStringLiteral("B")), Day + QStringLiteral("|1|") + Day + recorded);
        QCOMPARE(control(QStringLiteral("C")), Day + QStringLiteral("|1|") + Day + recorded);
        // Unmarked categories, and B's unmarked sub-category, stay as they were.
        QCOMPARE(mgoods(QStringLiteral("D-1")), QStringLiteral("1050|1050|1050|1050|<null>"));
        QCOMPARE(mgoods(QStringLiteral("B-3")), QStringLiteral("1050|1050|1050|1050|<null>"));
        QCOMPARE(m_db->value(QStringLiteral("SELECT HYOJYUN_PRC FROM IIODATA WHERE JAN_CD = 'B-3'")),
                 QVariant(1050.0));
        QCOMPARE(m_db->value(QStringLiteral("SELECT HYOJYUN_PRC FROM IZAIKO WHERE JAN_CD = 'B-3'")),
                 QVariant(1050.0));
        QCOMPARE(movements(QStringLiteral("D")),
                 QStringLiteral("201403|1050|1050\n201404|1050|1050\n201405|2100|2100"));
        QCOMPARE(control(QStringLiteral("B"), 12),
                 QStringLiteral("<null>|0|<null>|<null>|<null>|<null>|<null>|<null>|<null>"));
        QCOMPARE(control(QStringLiteral("D")),
                 QStringLiteral("<null>|0|<null>|<null>|<null>|<null>|<null>|<null>|<null>"));
    }

    // The run casts a price column to the exact reading only where its declared type needs it: on
    // the embedded engine a column of floating-point affinity is read as stored, every other one
    // exactly; the converted prices are the same.
    void theRunCastsOnlyTheColumnsWhoseTypeNeedsIt_data()
    {
        QTest::addColumn<QString>("priceType");
        QTest::addColumn<bool>("cast");
        QTest::newRow("REAL") << QStringLiteral("REAL") << false;
        QTest::newRow("DOUBLE PRECISION") << QStringLiteral("DOUBLE PRECISION") << false;
        QTest::newRow("FLOAT") << QStringLiteral("FLOAT") << false;
        QTest::newRow("FLOATING POINT (integer affinity)") << QStringLiteral("FLOATING POINT") << true;
        QTest::newRow("INTEGER") << QStringLiteral("INTEGER") << true;
        QTest::newRow("NUMERIC(9, 2)") << QStringLiteral("NUMERIC(9, 2)") << true;
        QTest::newRow("DECIMAL(19, 4)") << QStringLiteral("DECIMAL(19, 4)") << true;
    }
    void theRunCastsOnlyTheColumnsWhoseTypeNeedsIt()
    {
        QFETCH(QString, priceType);
        QFETCH(bool, cast);
        QVERIFY(newStore(priceType));
        QCOMPARE(run(fiveToEight(), values(1)), RunOutcome::Completed);
        int priceStatements = 0;
        for (const QString &sql : std::as_const(m_sent)) {
            for (const char *table : {"UPDATE MGOODS ", "UPDATE IIODATA ", "UPDATE IZAIKO "}) {
                if (!sql.startsWith(QLatin1String(table)))
                    continue;
                ++priceStatements;
                QVERIFY2(sql.contains(QStringLiteral("CAST(HYOJYUN_PRC AS DECIMAL(19, 4))")) == cast,
                         qPrintable(sql));
                QVERIFY2(sql.contains(QStringLiteral("CAST(")) == cast, qPrintable(sql));
            }
        }
        QCOMPARE(priceStatements, 3 * 3);
        QCOMPARE(mgoods(QStringLiteral("B-1")), QStringLiteral("1080|1080|1000|1000|") + KoushinDt);
    }

    // The server engines read as stored only an exact decimal that DECIMAL(19, 4) holds unchanged
    // (at most four decimals and fifteen whole digits), every other type exactly.
    void aServerReadsOnlyExactDecimalsAsStored_data()
    {
        QTest::addColumn<int>("engine");
        QTest::addColumn<QString>("dataType");
        QTest::addColumn<QVariant>("precision");
        QTest::addColumn<QVariant>("scale");
        QTest::addColumn<bool>("asStored");
        const QVariant none;
        const std::pair<Engine, const char *> engines[] = {{Engine::SqlServer, "SQL Server"},
                                                           {Engine::PostgreSql, "PostgreSQL"}};
        for (const auto &[engine, name] : engines) {
            const auto row = [&, engine = engine, name = name](const char *type, const QVariant &precision,
                                                               const QVariant &scale, bool asStored) {
                QTest::addRow("%s %s(%s, %s)", name, type, qPrintable(precision.toString()),
                              qPrintable(scale.toString()))
                    << int(engine) << QString::fromLatin1(type) << precision << scale << asStored;
            };
            row("decimal", 12, 2, true);
            row("numeric", 19, 4, true);
            row("NUMERIC", 9, 0, true);
            row("numeric", 12, 5, false);      // the cast would round 107.99996 to 108.0000 first
            row("decimal", 38, 2, false);      // more whole digits than DECIMAL(19, 4) holds
            row("numeric", none, none, false); // PostgreSQL's numeric without precision
            for (const char *type : {"money", "float", "real", "double precision", "int", "integer", "bigint",
                                     "smallmoney", "varchar"})
                row(type, 19, 4, false);
        }
        QTest::newRow("other ODBC decimal")
            << int(Engine::OtherOdbc) << QStringLiteral("decimal") << QVariant(12) << QVariant(2) << false;
    }
    void aServerReadsOnlyExactDecimalsAsStored()
    {
        QFETCH(int, engine);
        QFETCH(QString, dataType);
        QFETCH(QVariant, precision);
        QFETCH(QVariant, scale);
        QFETCH(bool, asStored);
        QCOMPARE(readsAsStored(static_cast<Engine>(engine), dataType, precision, scale), asStored);
    }

    void directModeSendsEachCategoryInATransactionOfItsOwn()
    {
        QVERIFY(newStore());
        const QStringList order{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
        QCOMPARE(workListOrder(), order);
        QCOMPARE(run(fiveToEight(), values(1, false)), RunOutcome::Completed);
        QStringList expected{WorkListText, GoodsAtStartText, PriceTypesText};
        for (const QString &c : order)
            expected << QStringLiteral("BEGIN TRANSACTION") << recordText(c, c == QLatin1String("A"))
                     << goodsText(c) << movementsText(c) << stockText(c)
                     << QStringLiteral("COMMIT TRANSACTION");
        QCOMPARE(m_sent, expected);
        QCOMPARE(workListOrder(), QStringList());
    }

    void aFailingStatementLeavesItsCategoryAndTheFollowingOnesUntouched()
    {
        QVERIFY(newStore());
        const QStringList order = workListOrder();
        QCOMPARE(order.size(), 3);
        // The database itself rejects the stock statement of the second category.
        QCOMPARE(m_db->fill(
                     QStringLiteral("CREATE TRIGGER REFUSE BEFORE UPDATE ON IZAIKO WHEN OLD.DAI_BUNRUI_CD = "
                                    "'%1' BEGIN SELECT RAISE(ABORT, 'x'); END;\n")
                         .arg(order[1])),
                 QString());
        const std::vector<CategoryState> before = statesOf(*m_db);
        QCOMPARE(run(fiveToEight(), values(1)), RunOutcome::StepFailed);
        QCOMPARE(m_reports, 1);
        QVERIFY(!connection().inTransaction());
        QCOMPARE(mgoods(order[0] + QStringLiteral("-1")), QStringLiteral("1080|1080|1000|1000|") + KoushinDt);
        QCOMPARE(stock(order[0]).left(8), QStringLiteral("001|1080"));
        QVERIFY(control(order[0]).startsWith(Day));
        const std::vector<CategoryState> after = statesOf(*m_db);
        for (std::size_t i = 0; i < Categories.size(); ++i)
            if (Categories[i].itemCd != order[0])
                QVERIFY2(after[i] == before[i], qPrintable(Categories[i].itemCd));
    }

    void deferredModeConvertsInventoryWithTheNextOtherCategory()
    {
        QVERIFY(newStore());
        QStringList order = workListOrder();
        QCOMPARE(order.first(), QStringLiteral("A"));
        QCOMPARE(run(fiveToEight(), values(0)), RunOutcome::Completed);
        QCOMPARE(m_reports, 0);
        const QString second = order[1];
        const QString third = order[2];
        const QString expectedSequence[] = {
            WorkListText,
            GoodsAtStartText,
            GoodsTypesText,
            QStringLiteral("BEGIN TRANSACTION"),
            recordText(QStringLiteral("A"), true),
            QStringLiteral("COMMIT TRANSACTION"),
            QStringLiteral("BEGIN TRANSACTION"),
            recordText(second, false),
            goodsText(second),
            PendingListText,
            // The pending category is claimed (completed while still pending) before its prices.
            QStringLiteral(
                "UPDATE MITEMCNT SET COMP_FLG = '1', COMP_DATE = '2014/04/01' WHERE (ITEM_CD = 'A') "
                "AND ((DETAIL_NO Is Null) OR (DETAIL_NO = 0)) AND (RTRIM(INV_FLG) = '1') AND (COMP_FLG = "
                "'0') AND (UPDATE_DATE Is Not Null)"),
            goodsText(QStringLiteral("A"), true),
            QStringLiteral("COMMIT TRANSACTION"),
            QStringLiteral("BEGIN TRANSACTION"),
            recordText(third, false),
            goodsText(third),
            // The run completed every pending category it read: the list is not read again.
            QStringLiteral("COMMIT TRANSACTION"),
        };
        QCOMPARE(m_sent, QStringList(std::begin(expectedSequence), std::end(expectedSequence)));
        for (const QString &c : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}) {
            QCOMPARE(mgoods(c + QStringLiteral("-1")), QStringLiteral("1080|1080|1000|1000|") + KoushinDt);
            QCOMPARE(control(c), Day + QStringLiteral("|1|") + Day + QStringLiteral("|5|8|3|1|2|2"));
            // Stock tables are never written in deferred mode.
            QCOMPARE(movements(c), QStringLiteral("201403|1050|1050\n201404|1050|1050\n201405|2100|2100"));
            QCOMPARE(stock(c), QStringLiteral("001|1050|<null>\n002|1050|<null>\n003|1050|<null>"));
        }
    }

    void deferredModeConvertsRecordedInventoryWithItsOwnParameters()
    {
        QVERIFY(newStore());
        // A first run marks only the inventory category: it is recorded, its prices wait.
        QCOMPARE(m_db->fill(QStringLiteral("UPDATE MITEMCNT SET CHK = NULL WHERE ITEM_CD <> 'A';\n")),
                 QString());
        QCOMPARE(run(fiveToEight(), values(0)), RunOutcome::Completed);
        QCOMPARE(control(QStringLiteral("A")), Day + QStringLiteral("|0|<null>|5|8|3|1|2|2"));
        QCOMPARE(mgoods(QStringLiteral("A-1")), QStringLiteral("1050|1050|1050|1050|<null>"));
        // A later run with other parameters converts A with the parameters recorded for it.
        QCOMPARE(m_db->fill(QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE ITEM_CD IN ('B', 'C');\n")),
                 QString());
        QCOMPARE(run(eightToTen(), values(0)), RunOutcome::Completed);
        QCOMPARE(m_reports, 0);
        QCOMPARE(mgoods(QStringLiteral("A-1")), QStringLiteral("1080|1080|1000|1000|") + KoushinDt);
        QCOMPARE(mgoods(QStringLiteral("A-2")), QStringLiteral("2160|2160|2100|2100|") + KoushinDt);
        QCOMPARE(control(QStringLiteral("A")),
                 Day + QStringLiteral("|1|") + Day + QStringLiteral("|5|8|3|1|2|2"));
        QCOMPARE(mgoods(QStringLiteral("B-1")), QStringLiteral("1070|1070|1070|1070|") + KoushinDt);
        QCOMPARE(mgoods(QStringLiteral("C-2")), QStringLiteral("2140|2140|2139|2139|") + KoushinDt);
        QCOMPARE(control(QStringLiteral("C")),
                 Day + QStringLiteral("|1|") + Day + QStringLiteral("|8|10|3|1|0|0"));
    }

    void aConvertedCategoryIsNeverConvertedAgain_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::newRow("direct") << 1;
        QTest::newRow("deferred") << 0;
    }
    void aConvertedCategoryIsNeverConvertedAgain()
    {
        QFETCH(int, stockMode);
        QVERIFY(newStore());
        QCOMPARE(run(fiveToEight(), values(stockMode)), RunOutcome::Completed);
        const std::vector<CategoryState> once = statesOf(*m_db);
        // Marked again, even the converted rows: the work list leaves them out.
        QCOMPARE(markAll(), QString());
        QCOMPARE(m_db->fill(QStringLiteral(
                     "UPDATE MITEMCNT SET CHK = NULL WHERE ITEM_CD = 'D' OR DETAIL_NO = 12;\n")),
                 QString());
        m_sent.clear();
        QCOMPARE(run(eightToTen(), values(stockMode)), RunOutcome::Completed);
        QCOMPARE(m_reports, 0);
        QCOMPARE(m_sent, QStringList{WorkListText});
        const std::vector<CategoryState> twice = statesOf(*m_db);
        for (std::size_t i = 0; i < Categories.size(); ++i)
            QVERIFY2(twice[i] == once[i], qPrintable(Categories[i].itemCd));
    }

    // Another operator converts a category after this run read its work list: the record
    // statement finds the row converted, and the category is left as the other operator left it.
    void aCategoryConvertedByAnotherOperatorMeanwhileIsSkipped_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::newRow("direct") << 1;
        QTest::newRow("deferred") << 0;
    }
    void aCategoryConvertedByAnotherOperatorMeanwhileIsSkipped()
    {
        QFETCH(int, stockMode);
        QVERIFY(newStore());
        const QString taken = workListOrder().at(1);
        Connection other;
        QVERIFY(other.open(m_db->connectionText()));
        ConversionParams otherParams = eightToTen();
        PriceUpdater otherOperator(other, otherParams, values(stockMode), [this] { ++m_reports; });
        std::optional<bool> otherConverted;
        connection().setStatementHook([&](const QString &sql) {
            m_sent.append(sql);
            if (!otherConverted && sql.startsWith(QStringLiteral("UPDATE MITEMCNT SET UPDATE_DATE")) &&
                sql.contains(QStringLiteral("(ITEM_CD = '%1')").arg(taken))) {
                // The other operator's run, confined to this category.
                otherConverted = other.beginTrans() &&
                                 otherOperator.prfn_MarkCategory(taken, 0, QStringLiteral("0")) == 0 &&
                                 otherOperator.prfn_UpdateMGoods(taken, 0) == 0 && other.commitTrans();
            }
            return std::optional<QString>();
        });
        QCOMPARE(run(fiveToEight(), values(stockMode)), RunOutcome::Completed);
        QCOMPARE(otherConverted, std::optional<bool>(true));
        QCOMPARE(m_reports, 0);
        QVERIFY(!connection().inTransaction());
        // Converted once, by the other operator.
        QCOMPARE(mgoods(taken + QStringLiteral("-1")), QStringLiteral("1070|1070|1070|1070|") + KoushinDt);
        QCOMPARE(control(taken), Day + QStringLiteral("|1|") + Day + QStringLiteral("|8|10|3|1|0|0"));
        QCOMPARE(movements(taken), QStringLiteral("201403|1050|1050\n201404|1050|1050\n201405|2100|2100"));
        QCOMPARE(stock(taken), QStringLiteral("001|1050|<null>\n002|1050|<null>\n003|1050|<null>"));
        QVERIFY(!m_sent.contains(goodsText(taken)));
        // The other categories are converted by this run.
        for (const QString &c : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")})
            if (c != taken)
                QCOMPARE(mgoods(c + QStringLiteral("-1")),
                         QStringLiteral("1080|1080|1000|1000|") + KoushinDt);
    }

    // The database fails at each statement of the run in turn: every category ends wholly
    // converted or wholly untouched (or, in deferred mode, an inventory category recorded with its
    // prices waiting), one failure is reported, and a second run ends where a run without faults
    // ends.
    void aFaultAtAnyStatementLeavesNoCategoryHalfConverted_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::newRow("direct") << 1;
        QTest::newRow("deferred") << 0;
    }
    void aFaultAtAnyStatementLeavesNoCategoryHalfConverted()
    {
        QFETCH(int, stockMode);
        QVERIFY(newStore());
        const std::vector<CategoryState> original = statesOf(*m_db);
        QCOMPARE(run(fiveToEight(), values(stockMode)), RunOutcome::Completed);
        const std::vector<CategoryState> clean = statesOf(*m_db);
        const QStringList sequence = m_sent;
        QVERIFY(sequence.size() > 10);

        // Deferred mode: the inventory category recorded, its prices waiting for the next run.
        const QString recordedA =
            QStringLiteral("A|inventory|0|<null>|0|1|0|<null>|1|2014/04/01|5|8|3|1|2|2");
        int waited = 0;
        for (int fault = 0; fault < sequence.size(); ++fault) {
            const QString trial = QStringLiteral("fault at %1: %2").arg(fault).arg(sequence[fault].left(40));
            QVERIFY(newStore());
            int seen = 0;
            connection().setStatementHook([&](const QString &) {
                return seen++ == fault ? std::optional<QString>(QStringLiteral("injected fault"))
                                       : std::nullopt;
            });
            const RunOutcome outcome = run(fiveToEight(), values(stockMode));
            // The run's own operations end it without a grid reload; a statement's failure with one.
            const bool runOperation = sequence[fault] == QLatin1String("BEGIN TRANSACTION") ||
                                      sequence[fault] == QLatin1String("COMMIT TRANSACTION") ||
                                      sequence[fault] == WorkListText ||
                                      sequence[fault] == GoodsAtStartText ||
                                      sequence[fault] == PriceTypesText || sequence[fault] == GoodsTypesText;
            QVERIFY2(outcome == (runOperation ? RunOutcome::RunFailed : RunOutcome::StepFailed),
                     qPrintable(trial));
            QVERIFY2(m_reports == 1, qPrintable(trial));
            QVERIFY2(!connection().inTransaction(), qPrintable(trial));

            const std::vector<CategoryState> after = statesOf(*m_db);
            for (std::size_t i = 0; i < Categories.size(); ++i) {
                const bool whole = after[i] == original[i] || after[i] == clean[i];
                const bool waiting = after[i] == CategoryState{recordedA, original[i].prices};
                waited += waiting ? 1 : 0;
                QVERIFY2(whole || waiting,
                         qPrintable(trial + QStringLiteral(", category ") + Categories[i].itemCd));
            }

            logStatements();
            m_reports = 0;
            QCOMPARE(run(fiveToEight(), values(stockMode)), RunOutcome::Completed);
            QCOMPARE(m_reports, 0);
            const std::vector<CategoryState> rerun = statesOf(*m_db);
            for (std::size_t i = 0; i < Categories.size(); ++i)
                QVERIFY2(rerun[i] == clean[i],
                         qPrintable(trial + QStringLiteral(", category ") + Categories[i].itemCd));
        }
        QCOMPARE(waited > 0, stockMode == 0);
        qInfo("%lld fault positions tried", static_cast<long long>(sequence.size()));
    }

    void aWorkListRowThatCannotBeConvertedRefusesTheWholeRun()
    {
        QVERIFY(newStore());
        // C's number cannot be read as a whole number; C comes after A, B in the work list.
        QCOMPARE(m_db->fill(QStringLiteral(
                     "UPDATE MITEMCNT SET DETAIL_NO = 'x', INV_FLG = '0' WHERE ITEM_CD = 'C';\n"
                     "UPDATE MITEMCNT SET INV_FLG = '2' WHERE ITEM_CD = 'B';\n")),
                 QString());
        QCOMPARE(workListOrder(),
                 (QStringList{QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("C")}));
        const std::vector<CategoryState> before = statesOf(*m_db);
        PriceUpdater updater(connection(), fiveToEight(), values(1), [this] { ++m_reports; });
        QCOMPARE(updater.run(), RunOutcome::RunFailed);
        QCOMPARE(m_reports, 1);
        QVERIFY(!connection().inTransaction());
        // Nothing is recorded or converted, and the refusal names each row and its value.
        QVERIFY(statesOf(*m_db) == before);
        for (const QString &jan : {QStringLiteral("A-1"), QStringLiteral("B-1"), QStringLiteral("C-1")})
            QCOMPARE(mgoods(jan), QStringLiteral("1050|1050|1050|1050|<null>"));
        const QString why = updater.failure().value(0).description;
        QVERIFY2(why.contains(QStringLiteral("INV_FLG = '2'")) &&
                     why.contains(QStringLiteral("DETAIL_NO = 'x'")),
                 qPrintable(why));
        // The database is left free: another writer gets through at once.
        QCOMPARE(m_db->fill(QStringLiteral("UPDATE MITEMCNT SET CHK = NULL;\n")), QString());
    }

    void anInventoryFlagThatIsNotANumberEndsTheDeferredRun()
    {
        QVERIFY(newStore());
        QCOMPARE(m_db->fill(QStringLiteral("UPDATE MITEMCNT SET INV_FLG = 'Z' WHERE ITEM_CD = 'A';\n")),
                 QString());
        QCOMPARE(workListOrder().first(), QStringLiteral("A"));
        const std::vector<CategoryState> before = statesOf(*m_db);
        QCOMPARE(run(fiveToEight(), values(0)), RunOutcome::RunFailed);
        QCOMPARE(m_reports, 1);
        QVERIFY(statesOf(*m_db) == before);
    }

    // The run converts exactly what it records, or stops naming why: a blank-padded inventory
    // flag is converted with the pending categories; a record or a claim that changes no row is
    // "converted by another operator" only when the row says so; a key held by two rows, a row
    // gone from the work list, a stored parameter or a system month the statements cannot use
    // stop the category with the value named.
    void everyRecordedCategoryIsConvertedOrTheCauseIsNamed_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("duringRecordOfB");
        QTest::addColumn<QString>("sysYm");
        QTest::addColumn<RunOutcome>("outcome");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("pricesOfA");
        const QString recordedA = QStringLiteral(
            "UPDATE MITEMCNT SET CHK = NULL, UPDATE_DATE = '2014/03/31', TAX_ST = 5, TAX_END = 8, "
            "GOODS_HASU_FLG = '0', GOODS_HASU_ICHI = '0', GADD_HASU_FLG = '0', GADD_HASU_ICHI = '0' "
            "WHERE ITEM_CD = 'A';\n");
        const QString converted = QStringLiteral("1080|1080|1000|1000|") + KoushinDt;
        const QString untouched = QStringLiteral("1050|1050|1050|1050|<null>");
        const QString month = QStringLiteral("201404");
        QTest::newRow("flag '1 ' converted later")
            << 0 << QStringLiteral("UPDATE MITEMCNT SET INV_FLG = '1 ' WHERE ITEM_CD = 'A';\n") << QString()
            << month << RunOutcome::Completed << QString() << converted;
        QTest::newRow("stored code '3 ' read as 3")
            << 0
            << recordedA + QStringLiteral("UPDATE MITEMCNT SET GOODS_HASU_FLG = '3 ' WHERE ITEM_CD = 'A';")
            << QString() << month << RunOutcome::Completed << QString()
            << QStringLiteral("1080|1080|1080|1080|") + KoushinDt;
        QTest::newRow("stored rate Null")
            << 0 << recordedA + QStringLiteral("UPDATE MITEMCNT SET TAX_ST = NULL WHERE ITEM_CD = 'A';")
            << QString() << month << RunOutcome::StepFailed << QStringLiteral("A-0: TAX_ST = (Null)")
            << untouched;
        QTest::newRow("stored code 7")
            << 0 << recordedA + QStringLiteral("UPDATE MITEMCNT SET GADD_HASU_FLG = '7' WHERE ITEM_CD = 'A';")
            << QString() << month << RunOutcome::StepFailed << QStringLiteral("A-0: GADD_HASU_FLG = '7'")
            << untouched;
        QTest::newRow("converted by another operator")
            << 1 << QString()
            << QStringLiteral("UPDATE MITEMCNT SET UPDATE_DATE = '2014/03/31' WHERE ITEM_CD = 'B';") << month
            << RunOutcome::Completed << QString() << converted;
        QTest::newRow("gone from the work list")
            << 1 << QString() << QStringLiteral("DELETE FROM MITEMCNT WHERE ITEM_CD = 'B';") << month
            << RunOutcome::StepFailed << QStringLiteral("分類 B-0 が作業リスト（MITEMCNT）にありません")
            << converted;
        QTest::newRow("two rows for one key")
            << 1
            << QStringLiteral(
                   "INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, TAX_FREE_FLG, INV_FLG, COMP_FLG) "
                   "VALUES ('B', 'goods', NULL, '0', '0', '0');")
            << QString() << month << RunOutcome::StepFailed
            << QStringLiteral("B-0 の記録で変わった行の数が 2") << converted;
        QTest::newRow("system month 2014/04")
            << 1 << QString() << QString() << QStringLiteral("2014/04") << RunOutcome::StepFailed
            << QStringLiteral("GDATECTL.SYS_YM1 = '2014/04'") << untouched;
    }
    void everyRecordedCategoryIsConvertedOrTheCauseIsNamed()
    {
        QFETCH(int, stockMode);
        QFETCH(QString, script);
        QFETCH(QString, duringRecordOfB);
        QFETCH(QString, sysYm);
        QFETCH(RunOutcome, outcome);
        QFETCH(QString, named);
        QFETCH(QString, pricesOfA);
        QVERIFY(newStore());
        if (!script.isEmpty())
            QCOMPARE(m_db->fill(script), QString());
        // Another workstation acts on B just before this run records it.
        connection().setStatementHook([&](const QString &sql) -> std::optional<QString> {
            if (!duringRecordOfB.isEmpty() &&
                sql.startsWith(QStringLiteral("UPDATE MITEMCNT SET UPDATE_DATE")) &&
                sql.contains(QStringLiteral("(ITEM_CD = 'B')")))
                m_db->fill(std::exchange(duringRecordOfB, QString()));
            return std::nullopt;
        });
        RunValues runValues = values(stockMode);
        runValues.SysYm = sysYm;
        PriceUpdater updater(connection(), fiveToEight(), runValues, [this] { ++m_reports; });
        QCOMPARE(updater.run(), outcome);
        connection().setStatementHook({});
        QCOMPARE(m_reports, outcome == RunOutcome::Completed ? 0 : 1);
        QVERIFY2(updater.failure().value(0).description.contains(named),
                 qPrintable(updater.failure().value(0).description));
        QCOMPARE(mgoods(QStringLiteral("A-1")), pricesOfA);
        if (outcome == RunOutcome::Completed && stockMode == 0)
            QCOMPARE(control(QStringLiteral("A")).section(QLatin1Char('|'), 1, 1), QStringLiteral("1"));
        QCOMPARE(updater.counts().skipped,
                 QTest::currentDataTag() == QByteArray("converted by another operator"));
    }

    // Every MGOODS row a run converts is in its change list once, with its prices as the database
    // holds them before and after the run, keyed by the goods key, or without one by category and
    // prices only; the file opens as UTF-8 text with CRLF line ends.
    void theChangeListHoldsEveryConvertedGoodsRowBeforeAndAfter_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::addColumn<QStringList>("key");
        QTest::newRow("direct, keyed") << 1 << QStringList{QStringLiteral("JAN_CD")};
        QTest::newRow("deferred, keyed") << 0 << QStringList{QStringLiteral("JAN_CD")};
        QTest::newRow("direct, no key") << 1 << QStringList();
    }
    void theChangeListHoldsEveryConvertedGoodsRowBeforeAndAfter()
    {
        QFETCH(int, stockMode);
        QFETCH(QStringList, key);
        QVERIFY(newStore());
        QCOMPARE(m_db->fill(QStringLiteral("UPDATE MGOODS SET GOODS_NM = 'x,\"y\"' WHERE JAN_CD = 'B-1';\n")),
                 QString());
        // The goods as "category,number,key,name,prices" before the run.
        const auto goods = [this, &key] {
            std::map<QString, QStringList> byJan;
            for (const QVariantList &row :
                 m_db->rows(QStringLiteral("SELECT JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, GOODS_NM, "
                                           "HYOJYUN_PRC, KOURI_PRC, OROSI_PRC, "
                                           "H_ADD1_PRC, K_ADD1_PRC, O_ADD1_PRC, H_ADD2_PRC, K_ADD2_PRC, "
                                           "O_ADD2_PRC, UPDATE_DT FROM MGOODS"))) {
                QStringList fields;
                for (const QVariant &v : row)
                    fields.append(v.isNull() ? QString() : QString::number(v.toDouble(), 'g', 15));
                for (int i : {0, 1, 3, 13})
                    fields[i] = row[i].toString();
                byJan[fields[0]] = fields;
            }
            return byJan;
        };
        const std::map<QString, QStringList> before = goods();
        QTemporaryDir dir;
        ChangeList list(connection(), {dir.path(), QStringLiteral("TMCS00"), QDateTime(Today, QTime(10, 0)),
                                       key, QStringLiteral("GOODS_NM")});
        QVERIFY(list.prepare());
        PriceUpdater updater(connection(), fiveToEight(), values(stockMode), [this] { ++m_reports; });
        updater.setChangeList(&list);
        QCOMPARE(updater.run(), RunOutcome::Completed);
        QCOMPARE(list.path(), dir.path() + QStringLiteral("/20140401-100000-TMCS00.csv"));

        QStringList expected;
        for (const auto &[jan, after] : goods()) {
            if (after[13] != KoushinDt)
                continue;
            const QStringList &old = before.at(jan);
            QStringList line{after[1], after[2]};
            line += key.isEmpty() ? QStringList() : QStringList{jan};
            line.append(after[3].contains(QLatin1Char(',')) ? QStringLiteral("\"x,\"\"y\"\"\"") : after[3]);
            bool changed = false;
            for (int p = 4; p < 13; ++p) {
                line << old[p] << after[p];
                changed = changed || old[p] != after[p];
            }
            line.append(changed ? QStringLiteral("1") : QStringLiteral("0"));
            expected.append(line.join(QLatin1Char(',')));
        }
        QFile file(list.path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        QVERIFY(content.startsWith("\xEF\xBB\xBF") && content.endsWith("\r\n"));
        QStringList lines = QString::fromUtf8(content.mid(3)).split(QStringLiteral("\r\n"));
        lines.removeLast();
        QCOMPARE(
            lines.takeFirst(),
            QStringLiteral("分類コード,中分類コード,") +
                (key.isEmpty() ? QString() : QStringLiteral("JAN_CD,")) +
                QStringLiteral(
                    "GOODS_NM,HYOJYUN_PRC_旧,HYOJYUN_PRC_新,KOURI_PRC_旧,KOURI_PRC_新,OROSI_PRC_旧,"
                    "OROSI_PRC_新,H_ADD1_PRC_旧,H_ADD1_PRC_新,K_ADD1_PRC_旧,K_ADD1_PRC_新,O_ADD1_PRC_旧,"
                    "O_ADD1_PRC_新,H_ADD2_PRC_旧,H_ADD2_PRC_新,K_ADD2_PRC_旧,K_ADD2_PRC_新,O_ADD2_PRC_旧,"
                    "O_ADD2_PRC_新,変更"));
        QVERIFY(expected.size() >= 6);
        lines.sort();
        expected.sort();
        QCOMPARE(lines, expected);
        QCOMPARE(list.rows(), expected.size());
        QVERIFY(QDir(dir.path()).entryList({QStringLiteral("*.pending")}, QDir::Files).isEmpty());
    }

    // A journal a killed run left is completed when the category committed, exactly once even
    // when its rows were half appended, and discarded when it did not; a journal cut short while
    // it was written (before the commit) is discarded too.
    void aKilledRunsChangesAreCompletedOrDiscardedByTheRecord_data()
    {
        QTest::addColumn<bool>("committed");
        QTest::addColumn<int>("halfAppended");
        QTest::addColumn<int>("cutShort"); // bytes missing at the journal's end
        QTest::newRow("committed") << true << 0 << 0;
        QTest::newRow("committed, half appended") << true << 40 << 0;
        QTest::newRow("rolled back") << false << 0 << 0;
        QTest::newRow("journal cut short") << false << 0 << 10;
    }
    void aKilledRunsChangesAreCompletedOrDiscardedByTheRecord()
    {
        QFETCH(bool, committed);
        QFETCH(int, halfAppended);
        QFETCH(int, cutShort);
        QVERIFY(newStore());
        QTemporaryDir dir;
        ChangeList list = keyedList(dir.path());
        QVERIFY(list.prepare());
        QVERIFY(connection().beginTrans());
        QVERIFY(list.readBefore(QStringLiteral("B"), 0, {}));
        PriceUpdater updater(connection(), fiveToEight(), values(1), [this] { ++m_reports; });
        QCOMPARE(updater.prfn_UpdateMGoods(QStringLiteral("B"), 0), 0);
        QVERIFY(list.readAfter());
        QVERIFY(list.stage(KoushinDt));
        QVERIFY(committed ? connection().commitTrans() : connection().rollbackTrans());
        // Killed here: the journal stays, and part of its block may have reached the list.
        QFile journal(list.path() + QStringLiteral(".pending"));
        QVERIFY(journal.open(QIODevice::ReadOnly));
        const QByteArray written = journal.readAll();
        const QByteArray block = written.split('\n').mid(1).join('\n');
        journal.close();
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write(written.chopped(cutShort));
        journal.close();
        QFile half(list.path());
        QVERIFY(half.open(QIODevice::WriteOnly));
        half.write(block.left(halfAppended));
        half.close();

        const std::optional<QStringList> completed =
            ChangeList::recover(connection(), dir.path(), QStringLiteral("TMCS00"));
        QVERIFY(completed);
        QCOMPARE(completed->size(), committed ? 1 : 0);
        QVERIFY(!QFile::exists(journal.fileName()));
        QVERIFY(half.open(QIODevice::ReadOnly));
        QCOMPARE(half.readAll(), committed ? block : block.left(halfAppended));
        QCOMPARE(block.count("\r\n"), 1 + 2);
    }

    // Rows of a committed category that cannot be appended (the disk full) stay in their journal
    // and are appended, once, before the next category's rows are staged.
    void committedRowsThatCannotBeAppendedWaitInTheirJournal()
    {
        if (!QFileInfo(QStringLiteral("/dev/full")).isWritable())
            QSKIP("this system has no /dev/full");
        QVERIFY(newStore());
        QTemporaryDir dir;
        ChangeList list = keyedList(dir.path());
        QVERIFY(list.prepare());
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), list.path()));
        PriceUpdater updater(connection(), fiveToEight(), values(1), [this] { ++m_reports; });
        QByteArray blocks;
        for (int pass = 0; pass < 2; ++pass) {
            QVERIFY(connection().beginTrans());
            QVERIFY(list.readBefore(QStringLiteral("B"), 0, {}));
            QCOMPARE(updater.prfn_UpdateMGoods(QStringLiteral("B"), 0), 0);
            QVERIFY(list.readAfter());
            QVERIFY(list.stage(KoushinDt));
            QFile journal(list.path() + QStringLiteral(".pending"));
            QVERIFY(journal.open(QIODevice::ReadOnly));
            blocks += journal.readAll().split('\n').mid(1).join('\n');
            journal.close();
            QVERIFY(connection().commitTrans());
            const std::optional<QString> failure = list.appendStaged();
            QCOMPARE(failure.has_value(), pass == 0);
            QCOMPARE(QFile::exists(journal.fileName()), pass == 0);
            if (pass == 0)
                QVERIFY(QFile::remove(list.path()));
        }
        QFile written(list.path());
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), blocks);
        QCOMPARE(blocks.count("\r\n"), 1 + 2 * 2);
        QCOMPARE(list.rows(), 2 * 2);
    }

    void aCommitThatFailsRollsTheCategoryBack()
    {
        QVERIFY(newStore());
        const std::vector<CategoryState> before = statesOf(*m_db);
        connection().setStatementHook([](const QString &sql) {
            return sql == QLatin1String("COMMIT TRANSACTION")
                       ? std::optional<QString>(QStringLiteral("disk full"))
                       : std::nullopt;
        });
        QCOMPARE(run(fiveToEight(), values(1)), RunOutcome::RunFailed);
        QCOMPARE(m_reports, 1);
        QVERIFY(!connection().inTransaction());
        connection().setStatementHook({});
        QVERIFY(statesOf(*m_db) == before);
    }

    // A category whose statement the database keeps choosing as a deadlock victim is converted
    // again three times, then the failure is reported once and the run stops; a victim that
    // succeeds on a later attempt is converted once, without a message.
    void aDeadlockVictimIsRetriedABoundedNumberOfTimes_data()
    {
        QTest::addColumn<int>("victims");
        QTest::addColumn<int>("reports");
        QTest::newRow("once") << 1 << 0;
        QTest::newRow("three times") << 3 << 0;
        QTest::newRow("every time") << 100 << 1;
    }
    void aDeadlockVictimIsRetriedABoundedNumberOfTimes()
    {
        QFETCH(int, victims);
        QFETCH(int, reports);
        QVERIFY(newStore());
        const std::vector<CategoryState> before = statesOf(*m_db);
        int attempts = 0;
        connection().setStatementHook([&](const QString &sql) {
            if (sql.startsWith(QStringLiteral("UPDATE IZAIKO")) && ++attempts <= victims)
                return std::optional<QString>(QStringLiteral(
                    "Transaction (Process ID 52) was deadlocked on lock resources with another process and "
                    "has been chosen as the deadlock victim. Rerun the transaction."));
            return std::optional<QString>();
        });
        const RunOutcome outcome = run(fiveToEight(), values(1));
        QCOMPARE(m_reports, reports);
        if (reports == 0) {
            QCOMPARE(outcome, RunOutcome::Completed);
            QCOMPARE(attempts, victims + 3);
            for (const QString &c : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")})
                QCOMPARE(mgoods(c + QStringLiteral("-1")),
                         QStringLiteral("1080|1080|1000|1000|") + KoushinDt);
        } else {
            QCOMPARE(outcome, RunOutcome::StepFailed);
            QCOMPARE(attempts, 1 + PriceUpdater::DeadlockRetries);
            QVERIFY(statesOf(*m_db) == before);
        }
    }

    void aRecordedExponentThatIsNotANumberFailsThePendingConversion()
    {
        QVERIFY(newStore());
        QCOMPARE(m_db->fill(QStringLiteral(
                     "UPDATE MITEMCNT SET UPDATE_DATE = '2014/03/31', TAX_ST = 5, TAX_END = 8, "
                     "GOODS_HASU_FLG = '3', GOODS_HASU_ICHI = '1) OR (1 = 1', GADD_HASU_FLG = "
                     "'0', GADD_HASU_ICHI = '0' WHERE ITEM_CD = 'A';\n")),
                 QString());
        const std::vector<CategoryState> before = statesOf(*m_db);
        QCOMPARE(run(fiveToEight(), values(0)), RunOutcome::StepFailed);
        QCOMPARE(m_reports, 1);
        QVERIFY(!connection().inTransaction());
        QVERIFY(statesOf(*m_db) == before);
    }

    void aSystemMonthThatIsNotDigitsFailsTheMovementStatement()
    {
        QVERIFY(newStore());
        const std::vector<CategoryState> before = statesOf(*m_db);
        RunValues v = values(1);
        v.SysYm = QStringLiteral("0) OR (1 = 1");
        QCOMPARE(run(fiveToEight(), v), RunOutcome::StepFailed);
        QCOMPARE(m_reports, 1);
        QVERIFY(statesOf(*m_db) == before);
    }

    // Nothing pending: only the list is read, nothing is written.
    void pendingConversionWithNothingRecordedOnlyCompletes()
    {
        QVERIFY(newStore());
        PriceUpdater updater(connection(), fiveToEight(), values(0), [this] { ++m_reports; });
        QVERIFY(connection().beginTrans());
        QCOMPARE(updater.prfn_UpdateMGoodsPending(), 0);
        QVERIFY(connection().commitTrans());
        QCOMPARE(m_sent.mid(1), (QStringList{PendingListText, QStringLiteral("COMMIT TRANSACTION")}));
        QCOMPARE(m_reports, 0);
    }
};

QTEST_GUILESS_MAIN(TestPriceUpdate)
#include "tst_priceupdate.moc"
