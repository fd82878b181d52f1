#include "bench/measures.h"

#include "bench/figures.h"
#include "bench/installations.h"

#include "catalog/catalogfile.h"
#include "category/categorytable.h"
#include "params/conditionpanel.h"
#include "pricing/changelistfile.h"
#include "pricing/pricestatements.h"
#include "widgets/categorygrid.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QSqlQuery>

#include <algorithm>
#include <optional>

namespace krt::bench {

namespace {

// Commits a floor's transaction, timing the commit and the whole floor from its start.
bool commitFloor(Connection &connection, const QElapsedTimer &total, const QString &floor,
                 FloorFigures &figures)
{
    QElapsedTimer commit;
    commit.start();
    if (!connection.commitTrans())
        return fail(floor + QStringLiteral("'s COMMIT failed"));
    figures.commit = secondsOf(commit);
    figures.total = secondsOf(total);
    return true;
}

// Keeps a floor's figures when the floor took less time than those kept so far.
void keepShorter(FloorFigures &kept, const FloorFigures &measured)
{
    if (kept.total == 0 || measured.total < kept.total)
        kept = measured;
}

// Applies the floor's statement to the first tables of the price tables (MGOODS first) in one
// transaction and times it.
bool timeFloor(Connection &connection, const ConversionParams &params, const FloorValues &values,
               Reading reading, std::size_t tables, FloorFigures &figures)
{
    QElapsedTimer total;
    total.start();
    if (!connection.beginTrans())
        return fail(QStringLiteral("the floor's BEGIN failed"));
    for (std::size_t t = 0; t < tables; ++t) {
        QElapsedTimer timer;
        timer.start();
        const QString statement = floorStatement(PriceTables[t], params, values, reading);
        // Should the price expressions read the prices in another way, the plain floor would
        // silently be the exact one again.
        if (reading == Reading::Plain && statement.contains(QStringLiteral("DECIMAL")))
            return fail(QStringLiteral("the plain floor still reads the prices as DECIMAL"));
        if (!connection.execute(statement))
            return fail(QStringLiteral("the floor failed: ") + connection.errors().value(0).description);
        figures.table[t] = secondsOf(timer);
        figures.rows[t] = connection.rowsAffected();
    }
    return commitFloor(connection, total, QStringLiteral("the floor"), figures);
}

// The first value of a statement's result, as text; empty when there is none.
QString firstValue(Connection &connection, const QString &sql)
{
    const std::optional<Recordset> result = connection.openRecordset(sql, 1);
    return result && !result->eof() ? result->field(0).toString() : QString();
}

} // namespace

EngineMeasures::EngineMeasures(BenchEngine &engine, FormDriver &driver)
    : m_engine(engine)
    , m_driver(driver)
{}

// The checks of a verifying round compare with the prices that the measures before them left:
// such a round is never taken in reverse.
bool EngineMeasures::measureAll(bool verify, bool reverse)
{
    return measureRound(
        {[=] { return measureDirect(verify, ChangeList::Written); },
         [=] { return measureDirect(verify, ChangeList::Off); },
         [=] { return measureFloor(verify, FloorKind::Exact); }, [=] { return measureCategoryFloor(verify); },
         [=] { return measureDeferred(verify); }, [=] { return measureFloor(verify, FloorKind::GoodsAlone); },
         [=] { return measureFloor(verify, FloorKind::Plain); }, [=] { return measureListReads(); }},
        reverse && !verify);
}

bool EngineMeasures::measureRunAndFloor(bool verify, bool reverse)
{
    return measureRound({[=] { return measureDirect(verify, ChangeList::Written); },
                         [=] { return measureDirect(verify, ChangeList::Off); },
                         [=] { return measureFloor(verify, FloorKind::Exact); }},
                        reverse && !verify);
}

// Takes a round's measures in turn and keeps the ratios of those it measured.
bool EngineMeasures::measureRound(std::vector<std::function<bool()>> steps, bool reverse)
{
    if (reverse)
        std::reverse(steps.begin(), steps.end());
    m_round = RoundTimes();
    for (const std::function<bool()> &step : steps)
        if (!step())
            return false;
    const auto keep = [](QList<double> &ratios, double run, double floor) {
        if (run > 0 && floor > 0)
            ratios.append(run / floor);
    };
    RoundRatios &rounds = m_figures.rounds;
    keep(rounds.direct, m_round.directWithoutList, m_round.floor);
    keep(rounds.deferred, m_round.deferred, m_round.goodsFloor);
    keep(rounds.byCategory, m_round.directWithoutList, m_round.categoryFloor);
    keep(rounds.withChangeList, m_round.direct, m_round.directWithoutList);
    return true;
}

// [Common] ChangeList=0 in the run installation's settings turns the run's change list off.
// The lists of earlier runs are removed, so that every run starts from the same folder.
bool EngineMeasures::setChangeList(ChangeList list) const
{
    const QString settingsFile = install::settingsFile(m_engine.runRoot());
    const QString logPath = QFileInfo(settingsFile).dir().filePath(QStringLiteral("KRT550.log"));
    if (!QDir(pricing::changeListFolder(logPath)).removeRecursively())
        return fail(QStringLiteral("cannot remove the change lists of ") + m_engine.runRoot());
    QSettings ini(settingsFile, QSettings::IniFormat);
    if (list == ChangeList::Off)
        ini.setValue(QStringLiteral("Common/ChangeList"), QStringLiteral("0"));
    else
        ini.remove(QStringLiteral("Common/ChangeList"));
    ini.sync();
    return ini.status() == QSettings::NoError || fail(QStringLiteral("cannot write ") + settingsFile);
}

bool EngineMeasures::measureDirect(bool verify, ChangeList list)
{
    if (!m_engine.restoreRun(1) || !setChangeList(list))
        return false;
    if (verify && list == ChangeList::Written && !m_engine.digests(m_store))
        return false;
    double start = 0;
    std::unique_ptr<KRT550F1> form = m_driver.load(m_engine.runRoot(), start);
    if (!form)
        return false;
    if (list == ChangeList::Written) {
        m_figures.startUp = best(m_figures.startUp, start);
        m_figures.lines = FormDriver::control<CategoryGrid>(*form, "lstTbl")->Rows();
        m_figures.settings = m_engine.settings(form->connection()->database());
        m_values.inventNewVersion = form->inventNewVersion();
        // Every measurement starts from the same copy, its work list filled by the form: its rows
        // are counted once.
        if (!m_counted && !countListed(*form->connection()))
            return false;
    }
    double run = 0;
    if (!m_driver.convert(*form, run))
        return false;
    if (list == ChangeList::Written) {
        m_figures.direct = best(m_figures.direct, run);
        m_round.direct = run;
    } else {
        keepShortest(m_figures.directWithoutList, m_figures.directWithoutListCommits, run);
        m_round.directWithoutList = run;
    }
    m_params = FormDriver::control<ConditionPanel>(*form, "pic_Jyoukein")->params();
    m_values.calcMethod = form->selectedCalcMethod();
    form.reset();
    if (!setChangeList(ChangeList::Written))
        return false;
    if (!verify)
        return true;
    PriceDigests left{};
    if (!m_engine.digests(left))
        return false;
    if (list == ChangeList::Written) {
        m_direct = left;
        return true;
    }
    return left == m_direct ||
           fail(m_engine.label() +
                QStringLiteral(": the direct runs with and without the change list disagree"));
}

// Keeps a run's time and the time of its commits when the run is the shortest so far.
void EngineMeasures::keepShortest(double &seconds, double &commits, double run) const
{
    if (seconds == 0 || run < seconds) {
        seconds = run;
        commits = m_driver.commitSeconds();
    }
}

// The rows of each price table that a run over the whole work list converts, counted by category
// of the work list.
bool EngineMeasures::countListed(Connection &connection)
{
    m_values.sysYm = firstValue(connection, QStringLiteral("SELECT SYS_YM1 FROM GDATECTL"));
    for (std::size_t t = 0; t < PriceTables.size(); ++t) {
        QString rows;
        if (PriceTables[t] == PriceTable::IIoData)
            rows = QStringLiteral("WHERE IO_YM >= ") + m_values.sysYm;
        else if (PriceTables[t] == PriceTable::IZaiko)
            rows = m_values.inventNewVersion ? QStringLiteral("WHERE ZAIKO_QTY > 0")
                                             : QStringLiteral("WHERE ZAIKO_QTY > 0 OR JYUTAKU_QTY > 0");
        const QString count = firstValue(
            connection,
            QStringLiteral(
                "SELECT COALESCE(SUM(K.N), 0) FROM (SELECT DAI_BUNRUI_CD AS D, "
                "COALESCE(CHU_BUNRUI_CD, 0) AS C, COUNT(*) AS N FROM %1 %2 GROUP BY DAI_BUNRUI_CD, "
                "COALESCE(CHU_BUNRUI_CD, 0)) K WHERE EXISTS (SELECT 1 FROM MITEMCNT M WHERE "
                "M.ITEM_CD = K.D AND COALESCE(M.DETAIL_NO, 0) = K.C)")
                .arg(tableName(PriceTables[t]), rows));
        bool ok = false;
        m_listed[t] = count.toLongLong(&ok);
        if (!ok)
            return fail(m_engine.label() + QStringLiteral(": cannot count the rows of ") +
                        tableName(PriceTables[t]));
    }
    m_counted = true;
    return true;
}

// Whether a floor converted, in each of the first tables, the rows a run converts.
bool EngineMeasures::convertedListedRows(const QString &floor, const FloorFigures &figures,
                                         std::size_t tables) const
{
    for (std::size_t t = 0; t < tables; ++t)
        if (figures.rows[t] != m_listed[t])
            return fail(QStringLiteral("%1: %2 converted %3 rows of %4, the run %5")
                            .arg(m_engine.label(), floor)
                            .arg(figures.rows[t])
                            .arg(tableName(PriceTables[t]))
                            .arg(m_listed[t]));
    return true;
}

bool EngineMeasures::measureFloor(bool verify, FloorKind kind)
{
    const Reading reading = kind == FloorKind::Plain ? Reading::Plain : Reading::Exact;
    const std::size_t tables = kind == FloorKind::GoodsAlone ? 1 : PriceTables.size();
    if (!m_engine.restoreRun(1))
        return false;
    {
        Connection connection;
        if (!m_engine.openRun(connection))
            return false;
        m_values.koushinDt = category::serverDate(connection).value_or(QString());
        const std::optional<pricing::PriceReadings> readings = pricing::readPriceReadings(
            connection, {QStringLiteral("MGOODS"), QStringLiteral("IZAIKO"), QStringLiteral("IIODATA")});
        if (!readings)
            return fail(m_engine.label() + QStringLiteral(": cannot read the price columns' types"));
        m_values.readings = *readings;
        FloorFigures figures;
        if (!timeFloor(connection, m_params, m_values, reading, tables, figures))
            return false;
        if (!convertedListedRows(QStringLiteral("the floor"), figures, tables))
            return false;
        keepShorter(kind == FloorKind::Exact   ? m_figures.floor
                    : kind == FloorKind::Plain ? m_figures.plainFloor
                                               : m_figures.goodsFloor,
                    figures);
        if (kind == FloorKind::Exact)
            m_round.floor = figures.total;
        else if (kind == FloorKind::GoodsAlone)
            m_round.goodsFloor = figures.total;
    }
    // The plain reading's prices are not the program's: the run database gets the store's back.
    if (kind == FloorKind::Plain)
        return m_engine.restoreRun(1);
    if (!verify)
        return true;
    if (kind == FloorKind::GoodsAlone) {
        PriceDigests left{};
        return (m_engine.digests(left) && convertedGoodsAlone(left)) ||
               fail(m_engine.label() +
                    QStringLiteral(": the floor of the goods alone and the floor disagree"));
    }
    return leftDirectPrices(m_floor, QStringLiteral("the floor"));
}

// Reads the prices the run database holds into left; whether they are those the direct run left.
bool EngineMeasures::leftDirectPrices(PriceDigests &left, const QString &what) const
{
    return m_engine.digests(left) &&
           (left == m_direct || fail(m_engine.label() + QStringLiteral(": the direct run and ") + what +
                                     QStringLiteral(" disagree")));
}

// Whether the prices are those of a conversion of the goods alone: the goods as the floor leaves
// them, the stock as the store holds it.
bool EngineMeasures::convertedGoodsAlone(const PriceDigests &left) const
{
    return left[0] == m_floor[0] && left[1] == m_store[1] && left[2] == m_store[2];
}

// The floor's statements one category at a time, each category's statements of the three tables
// in turn as the run sends them, all in one transaction: what the engine's reading of the tables
// by category costs, without the program's records, commits and reads. The categories are those
// of the rows the floor converts.
bool EngineMeasures::measureCategoryFloor(bool verify)
{
    if (!m_engine.restoreRun(1))
        return false;
    FloorFigures figures;
    {
        Connection connection;
        if (!m_engine.openRun(connection))
            return false;
        QStringList keys;
        for (PriceTable table : PriceTables)
            keys << QStringLiteral("SELECT DAI_BUNRUI_CD, COALESCE(CHU_BUNRUI_CD, 0) AS CHU FROM ") +
                        tableName(table) + QStringLiteral(" WHERE ") + ListedCategories;
        std::optional<Recordset> categories =
            connection.openRecordset(keys.join(QStringLiteral(" UNION ")) + QStringLiteral(" ORDER BY 1, 2"));
        if (!categories)
            return fail(m_engine.label() +
                        QStringLiteral(": cannot read the categories of the price tables"));
        QList<std::pair<QString, int>> keyList;
        for (; !categories->eof(); categories->moveNext())
            keyList.append({categories->field(0).toString(), categories->field(1).toInt()});
        QElapsedTimer total;
        total.start();
        if (!connection.beginTrans())
            return fail(QStringLiteral("the floor by category's BEGIN failed"));
        for (const auto &[itemCd, detailNo] : keyList) {
            for (std::size_t t = 0; t < PriceTables.size(); ++t) {
                QElapsedTimer timer;
                timer.start();
                if (!connection.execute(
                        categoryFloorStatement(PriceTables[t], m_params, m_values, itemCd, detailNo)))
                    return fail(QStringLiteral("the floor by category failed: ") +
                                connection.errors().value(0).description);
                figures.table[t] += secondsOf(timer);
                figures.rows[t] += connection.rowsAffected();
            }
        }
        if (!commitFloor(connection, total, QStringLiteral("the floor by category"), figures))
            return false;
    }
    if (!convertedListedRows(QStringLiteral("the floor by category"), figures, PriceTables.size()))
        return false;
    keepShorter(m_figures.categoryFloor, figures);
    m_round.categoryFloor = figures.total;
    PriceDigests left{};
    return !verify || leftDirectPrices(left, QStringLiteral("the floor by category"));
}

// The change list's floor: the values a run's change list holds, read through the driver as the
// list reads them (in each converted category's transaction, in key order, the goods key and the
// nine prices, then the category, the key, the name and the nine prices) and thrown away, nothing
// compared, formatted or written. What the list costs at least while it reads through the driver.
bool EngineMeasures::measureListReads()
{
    if (!m_engine.restoreRun(1))
        return false;
    const QSettings ini(install::settingsFile(m_engine.runRoot()), QSettings::IniFormat);
    const QString key = ini.value(QStringLiteral("Common/GoodsKeyColumns")).toString();
    const QString name = ini.value(QStringLiteral("Common/GoodsNameColumn")).toString();
    if (key.isEmpty() || key.contains(QLatin1Char(',')))
        return fail(m_engine.label() +
                    QStringLiteral(": the change list's floor needs a goods key of one column"));
    QStringList prices;
    for (const pricing::PriceColumn &column : pricing::MGoodsColumns)
        prices.append(QLatin1String(column.name));
    const QStringList before = QStringList(key) + prices;
    QStringList after = {QStringLiteral("DAI_BUNRUI_CD"), QStringLiteral("CHU_BUNRUI_CD"), key};
    if (!name.isEmpty())
        after.append(name);
    after += prices;

    Connection connection;
    if (!m_engine.openRun(connection))
        return false;
    std::optional<Recordset> categories = connection.openRecordset(
        QStringLiteral("SELECT DAI_BUNRUI_CD, COALESCE(CHU_BUNRUI_CD, 0) FROM MGOODS WHERE ") +
        ListedCategories + QStringLiteral(" GROUP BY DAI_BUNRUI_CD, COALESCE(CHU_BUNRUI_CD, 0)"));
    if (!categories)
        return fail(m_engine.label() + QStringLiteral(": cannot read the categories of the goods"));
    qint64 rows = 0;
    QElapsedTimer timer;
    timer.start();
    for (; !categories->eof(); categories->moveNext()) {
        const QString where =
            pricing::categoryCondition(categories->field(0).toString(), categories->field(1).toInt()) +
            QStringLiteral(" ORDER BY ") + key;
        if (!connection.beginTrans())
            return fail(m_engine.label() + QStringLiteral(": the change list's floor could not begin"));
        for (const QStringList &columns : {before, after}) {
            const int count = static_cast<int>(columns.size());
            const bool read =
                connection.readRows(QStringLiteral("SELECT ") + columns.join(QStringLiteral(", ")) +
                                        QStringLiteral(" FROM MGOODS WHERE ") + where,
                                    [count, &rows](const QSqlQuery &query) {
                                        for (int i = 0; i < count; ++i)
                                            query.value(i);
                                        ++rows;
                                    });
            if (!read)
                return fail(m_engine.label() + QStringLiteral(": the change list's floor could not read: ") +
                            connection.errors().value(0).description);
        }
        if (!connection.commitTrans())
            return fail(m_engine.label() + QStringLiteral(": the change list's floor could not commit"));
    }
    m_figures.listReads = best(m_figures.listReads, secondsOf(timer));
    // Each converted goods row, read before and after.
    return rows == 2 * m_listed[0] ||
           fail(QStringLiteral("%1: the change list's floor read %2 goods rows, the run converts %3")
                    .arg(m_engine.label())
                    .arg(rows / 2)
                    .arg(m_listed[0]));
}

// The deferred run's statements against the floor: without a change list, whose cost the direct
// runs measure.
bool EngineMeasures::measureDeferred(bool verify)
{
    if (!m_engine.restoreRun(0) || !setChangeList(ChangeList::Off))
        return false;
    double start = 0;
    std::unique_ptr<KRT550F1> form = m_driver.load(m_engine.runRoot(), start);
    if (!form)
        return false;
    if (form->stockMode() != 0)
        return fail(m_engine.label() + QStringLiteral(": the deferred run is not in deferred mode"));
    double run = 0;
    if (!m_driver.convert(*form, run))
        return false;
    keepShortest(m_figures.deferred, m_figures.deferredCommits, run);
    m_round.deferred = run;
    form.reset();
    if (!verify)
        return true;
    // The deferred run converts the goods as the floor does and leaves the stock to the stock-take.
    PriceDigests deferred{};
    if (!m_engine.digests(deferred))
        return false;
    return convertedGoodsAlone(deferred) ||
           fail(m_engine.label() + QStringLiteral(": the deferred run and the floor disagree"));
}

// Start-up on the catalog from an empty work list (the first start, which fills it from the
// masters), one more grid load, and the start-up of a later start that finds the work list kept.
bool measureStartUp(FormDriver &driver, const QString &installation, StartUpFigures &figures)
{
    if (!install::runScript(catalogOf(installation), QStringLiteral("DELETE FROM MITEMCNT;")).isEmpty())
        return fail(QStringLiteral("cannot empty the work list of ") + installation);
    double start = 0;
    std::unique_ptr<KRT550F1> form = driver.load(installation, start);
    if (!form)
        return false;
    figures.first = best(figures.first, start);
    QElapsedTimer timer;
    timer.start();
    if (form->prfn_LoadItemGrid() != 0)
        return fail(QStringLiteral("the grid load failed"));
    figures.gridLoad = best(figures.gridLoad, secondsOf(timer));
    figures.lines = FormDriver::control<CategoryGrid>(*form, "lstTbl")->Rows();
    form.reset();
    form = driver.load(installation, start);
    if (!form)
        return false;
    figures.restart = best(figures.restart, start);
    return true;
}

} // namespace krt::bench
