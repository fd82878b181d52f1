#pragma once

#include "bench/engine.h"
#include "bench/floor.h"
#include "bench/formdriver.h"

#include "pricing/conversionparams.h"

#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <vector>

namespace krt::bench {

// The floor's times and rows of one measurement: each table's UPDATE, the commit, the whole.
struct FloorFigures
{
    std::array<double, 3> table{};
    std::array<qint64, 3> rows{};
    double commit = 0;
    double total = 0;
    qint64 allRows() const { return rows[0] + rows[1] + rows[2]; }
};

// The ratios of each round's run to the floor measured in the same round, one after the other:
// the machine's disk and caches change over a benchmark, a round's two measurements share them.
struct RoundRatios
{
    QList<double> direct;         // the direct run without change list to the floor
    QList<double> deferred;       // the deferred run to the floor of the goods
    QList<double> byCategory;     // the direct run without change list to the floor by category
    QList<double> withChangeList; // the direct run with its change list to the run without
};

// The shortest times of one engine's measures, and each round's ratios.
struct EngineFigures
{
    QString settings;           // the engine's settings as the program's connection has them
    FloorFigures floor;         // the price columns read exactly, as the program reads them
    FloorFigures plainFloor;    // the price columns read as stored
    FloorFigures categoryFloor; // the floor's statements one category at a time, one transaction
    FloorFigures goodsFloor;    // the floor's MGOODS statement alone, the deferred run's floor
    double direct = 0;          // the direct run, writing its change list
    double directWithoutList = 0;
    double deferred = 0;
    // Of the shortest runs without the change list, from each COMMIT to the next statement.
    double directWithoutListCommits = 0;
    double deferredCommits = 0;
    double listReads = 0; // the values of the direct run's change list, read through the driver alone
    double startUp = 0;   // the form's start-up to ready on the store
    int lines = 0;        // work-list categories of the runs
    RoundRatios rounds;
};

// The measures of the runs of the real form and of the engine's floor on one engine. Every
// measure starts from a fresh copy of the store and keeps the shortest time of each figure so
// far; with verify, it checks that the run or the floor left the prices the others left. A round
// in reverse takes its measures in the reverse order, so that neither of a run and its floor is
// always the one that follows the other.
class EngineMeasures
{
public:
    EngineMeasures(BenchEngine &engine, FormDriver &driver);

    // The direct run with its change list and without it, the floor, the floor by category, the
    // deferred run without a change list, the floor of the goods alone, the floor with the plain
    // reading and the change list's floor.
    bool measureAll(bool verify, bool reverse);
    // The direct run with its change list and without it, and the floor alone.
    bool measureRunAndFloor(bool verify, bool reverse);

    const BenchEngine &engine() const { return m_engine; }
    const EngineFigures &figures() const { return m_figures; }

private:
    enum class ChangeList { Written, Off };
    // The floor of the three tables with the program's reading of the prices or the plain one, or
    // of the goods alone (what a deferred run converts) with the program's reading.
    enum class FloorKind { Exact, Plain, GoodsAlone };
    // The times of the round under way.
    struct RoundTimes
    {
        double direct = 0;
        double directWithoutList = 0;
        double deferred = 0;
        double floor = 0;
        double categoryFloor = 0;
        double goodsFloor = 0;
    };
    bool measureRound(std::vector<std::function<bool()>> steps, bool reverse);
    bool measureDirect(bool verify, ChangeList list);
    bool measureFloor(bool verify, FloorKind kind);
    bool measureCategoryFloor(bool verify);
    bool measureDeferred(bool verify);
    bool measureListReads();
    bool setChangeList(ChangeList list) const;
    void keepShortest(double &seconds, double &commits, double run) const;
    bool countListed(Connection &connection);
    bool convertedListedRows(const QString &floor, const FloorFigures &figures, std::size_t tables) const;
    bool leftDirectPrices(PriceDigests &left, const QString &what) const;
    bool convertedGoodsAlone(const PriceDigests &left) const;

    BenchEngine &m_engine;
    FormDriver &m_driver;
    // What the direct run worked with, for the floor.
    ConversionParams m_params;
    FloorValues m_values;
    std::array<qint64, 3> m_listed{}; // the rows a run converts, per table
    bool m_counted = false;
    // The prices of the store, and those the direct run and the floor left.
    PriceDigests m_store{};
    PriceDigests m_direct{};
    PriceDigests m_floor{};
    RoundTimes m_round;
    EngineFigures m_figures;
};

// The start-up of the form on a catalog with many categories.
struct StartUpFigures
{
    double first = 0;    // from an empty work list, filled from the masters
    double restart = 0;  // a later start that finds the work list kept
    double gridLoad = 0; // one more load of the grid
    int lines = 0;       // work-list rows
};

// Measures the start-up on the installation, keeping the shortest times so far.
bool measureStartUp(FormDriver &driver, const QString &installation, StartUpFigures &figures);

} // namespace krt::bench
