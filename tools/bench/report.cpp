#include "bench/report.h"

#include "bench/figures.h"
#include "bench/floor.h"

#include <algorithm>

namespace krt::bench {

namespace {

// One measured line of the engines' table.
struct Figure
{
    QString what;
    qint64 rows = 0;
    double seconds = 0;
    double floorSeconds = 0; // 0: no ratio
};

double ratio(double measured, double reference)
{
    return reference > 0 ? measured / reference : 0;
}

QString verdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("MISSED");
}

// A target's ratio: the median of the rounds' ratios, each of two measurements taken one after the
// other, and how the shortest times of the two compare.
struct RoundFigure
{
    double median = 0;
    QString text;
};

RoundFigure roundFigure(const QList<double> &rounds, double shortest, double shortestReference)
{
    QStringList each;
    for (double r : rounds)
        each << fixed(r, 2);
    const double middle = median(rounds);
    return {middle, QStringLiteral("%1 x, the median of %2 rounds (%3); shortest against shortest %4 x")
                        .arg(fixed(middle, 2))
                        .arg(rounds.size())
                        .arg(each.join(QStringLiteral(", ")), fixed(ratio(shortest, shortestReference), 2))};
}

// Microseconds per converted row.
double microsPerRow(double seconds, qint64 rows)
{
    return rows > 0 ? seconds * 1e6 / static_cast<double>(rows) : 0;
}

// How much the time per converted row differs between the scaling's sizes, in percent of the
// smallest: of the run, or of the floor.
double perRowSpread(const QList<ScalePoint> &points, double ScalePoint::*seconds = &ScalePoint::run)
{
    QList<double> perRow;
    for (const ScalePoint &point : points)
        perRow << microsPerRow(point.*seconds, point.rows);
    const auto [low, high] = std::minmax_element(perRow.cbegin(), perRow.cend());
    return *low > 0 ? (*high - *low) / *low * 100.0 : 0;
}

// The floor's lines and the runs' lines of one engine.
void printRuns(QTextStream &out, const EngineReport &engine)
{
    const auto line = [&out, &engine](const Figure &figure) {
        out << (engine.label + QStringLiteral(": ") + figure.what).leftJustified(56)
            << QString::number(figure.rows).rightJustified(10) << fixed(figure.seconds, 2).rightJustified(10)
            << QString::number(qRound64(ratio(static_cast<double>(figure.rows), figure.seconds)))
                   .rightJustified(12);
        if (figure.floorSeconds > 0)
            out << fixed(figure.seconds / figure.floorSeconds, 2).rightJustified(11);
        out << "\n";
    };
    // A line of seconds alone, without rows.
    const auto seconds = [&out, &engine](const QString &what, double value) {
        out << (engine.label + QStringLiteral(": ") + what).leftJustified(56) << QString().rightJustified(10)
            << fixed(value, 2).rightJustified(10) << "\n";
    };
    const QString commitsOfIt = QStringLiteral("  of it, from each COMMIT to the next statement");
    const EngineFigures &figures = engine.figures;
    const FloorFigures &floor = figures.floor;
    for (std::size_t t = 0; t < PriceTables.size(); ++t)
        line({QStringLiteral("floor, one UPDATE of ") + tableName(PriceTables[t]), floor.rows[t],
              floor.table[t], 0});
    seconds(QStringLiteral("floor, commit"), floor.commit);
    line({QStringLiteral("floor, three tables, one transaction"), floor.allRows(), floor.total, 0});
    if (figures.plainFloor.total > 0)
        line({QStringLiteral("floor, prices read as stored (plain)"), figures.plainFloor.allRows(),
              figures.plainFloor.total, 0});
    if (figures.goodsFloor.total > 0)
        line({QStringLiteral("floor, MGOODS alone, one transaction"), figures.goodsFloor.rows[0],
              figures.goodsFloor.total, 0});
    if (figures.categoryFloor.total > 0)
        line({QStringLiteral("floor by category, one transaction"), figures.categoryFloor.allRows(),
              figures.categoryFloor.total, floor.total});
    line({QStringLiteral("run, direct mode (%1 categories)").arg(figures.lines), floor.allRows(),
          figures.direct, floor.total});
    if (figures.directWithoutList > 0) {
        line({QStringLiteral("run, direct mode without change list"), floor.allRows(),
              figures.directWithoutList, floor.total});
        seconds(commitsOfIt, figures.directWithoutListCommits);
    }
    if (figures.deferred > 0) {
        line({QStringLiteral("run, deferred mode (MGOODS only, without change list)"), floor.rows[0],
              figures.deferred, figures.goodsFloor.total});
        seconds(commitsOfIt, figures.deferredCommits);
    }
}

// What the exact reading of the prices, the run's own statements and the change list cost on one engine.
void printCosts(QTextStream &out, const EngineReport &engine)
{
    const EngineFigures &figures = engine.figures;
    out << "  " << engine.label << ": floor, exact reading / plain reading: " << fixed(figures.floor.total, 2)
        << " s / " << fixed(figures.plainFloor.total, 2)
        << " s = " << fixed(ratio(figures.floor.total, figures.plainFloor.total), 2) << " x\n"
        << "  " << engine.label << ": direct run, with change list / without: " << fixed(figures.direct, 2)
        << " s / " << fixed(figures.directWithoutList, 2)
        << " s = " << fixed(ratio(figures.direct, figures.directWithoutList), 2) << " x\n";
    if (figures.categoryFloor.total > 0)
        out << "  " << engine.label
            << ": direct run without change list / floor by category: " << fixed(figures.directWithoutList, 2)
            << " s / " << fixed(figures.categoryFloor.total, 2)
            << " s = " << fixed(ratio(figures.directWithoutList, figures.categoryFloor.total), 2)
            << " x, rounds' median " << fixed(median(figures.rounds.byCategory), 2)
            << " x (the rest: the run's records, commits and reads)\n"
            << "  " << engine.label
            << ": deferred run / floor by category's MGOODS statements: " << fixed(figures.deferred, 2)
            << " s / " << fixed(figures.categoryFloor.table[0], 2)
            << " s = " << fixed(ratio(figures.deferred, figures.categoryFloor.table[0]), 2) << " x\n";
    if (figures.listReads > 0)
        out << "  " << engine.label
            << ": change list's floor (its values read through the driver alone, nothing written): "
            << fixed(figures.listReads, 2)
            << " s = " << fixed(ratio(figures.listReads, figures.directWithoutList), 2)
            << " x the run without, of the 0.25 x the list may add\n";
}

void printScaling(QTextStream &out, const QList<ScalePoint> &points)
{
    out << "\nScaling (embedded engine, direct run without change list against its floor)\n"
        << QStringLiteral("  store").leftJustified(40) << QStringLiteral("rows").rightJustified(10)
        << QStringLiteral("run s").rightJustified(10) << QStringLiteral("floor s").rightJustified(10)
        << QStringLiteral("run/floor").rightJustified(11) << QStringLiteral("µs/row").rightJustified(10)
        << "\n  (seconds: the shortest of the rounds; run/floor: the median of the rounds' ratios)\n";
    for (const ScalePoint &point : points)
        out << QStringLiteral("  %1 goods, %2 categories")
                   .arg(point.goods)
                   .arg(point.categories)
                   .leftJustified(40)
            << QString::number(point.rows).rightJustified(10) << fixed(point.run, 2).rightJustified(10)
            << fixed(point.floor, 2).rightJustified(10) << fixed(point.roundRatio, 2).rightJustified(11)
            << fixed(microsPerRow(point.run, point.rows), 3).rightJustified(10) << "\n";
    const double spread = perRowSpread(points);
    out << "  time per converted row differs by " << fixed(spread, 1)
        << " % between the sizes: " << (spread < 20 ? "less than 20 %" : "20 % or more")
        << " (the floor's own: " << fixed(perRowSpread(points, &ScalePoint::floor), 1) << " %)\n";
}

void printTargets(QTextStream &out, const Findings &findings)
{
    const auto target = [&out](const QString &what, double figure, const QString &unit, bool met) {
        out << "  " << what << ": " << fixed(figure, 2) << unit << ", " << verdict(met) << "\n";
    };
    // A ratio's target, judged by the median of the rounds' ratios.
    const auto roundTarget = [&out](const QString &what, const RoundFigure &figure, double limit) {
        out << "  " << what << ": " << figure.text << ", " << verdict(figure.median <= limit) << "\n";
    };
    const auto missing = [&out](const QString &what, const QString &why) {
        out << "  " << what << ": not measured (" << why << ")\n";
    };
    // The runs' statements against the floor: the direct runs without the change list, whose
    // cost has a target of its own.
    const auto statements = [](const EngineFigures &figures) {
        return roundFigure(figures.rounds.direct, figures.directWithoutList, figures.floor.total);
    };
    const auto deferred = [](const EngineFigures &figures) {
        return roundFigure(figures.rounds.deferred, figures.deferred, figures.goodsFloor.total);
    };
    const EngineFigures &embedded = findings.embedded.figures;
    out << "\nTargets (a ratio of two runs: the median of the rounds' ratios, each of the two measured one "
           "after the other)\n";
    roundTarget(QStringLiteral("embedded: direct run without change list within 1.10 x the floor"),
                statements(embedded), 1.10);
    roundTarget(QStringLiteral("embedded: deferred run within 1.20 x the floor of the goods"),
                deferred(embedded), 1.20);
    const QStringList serverTargets = {
        QStringLiteral("server (durable commits): direct run without change list within 1.10 x the floor"),
        QStringLiteral("server (durable commits): deferred run within 1.10 x the floor of the goods")};
    if (findings.server) {
        const EngineFigures &server = findings.server->figures;
        roundTarget(serverTargets[0], statements(server), 1.10);
        roundTarget(serverTargets[1], deferred(server), 1.10);
    } else {
        for (const QString &what : serverTargets)
            missing(what, findings.serverSkip);
    }
    QList<const EngineReport *> engines{&findings.embedded};
    if (findings.server)
        engines << &*findings.server;
    for (const EngineReport *engine : engines) {
        const double exact = ratio(engine->figures.floor.total, engine->figures.plainFloor.total);
        target(engine->label + QStringLiteral(": exact floor within 1.05 x the plain floor"), exact,
               QStringLiteral(" x"), exact <= 1.05);
    }
    if (!findings.server)
        missing(QStringLiteral("server: exact floor within 1.05 x the plain floor"), findings.serverSkip);
    if (findings.scaling.size() == 3) {
        const ScalePoint &wide = findings.scaling[2];
        target(QStringLiteral("%1 categories: direct run within 1.25 x the floor (rounds' median)")
                   .arg(wide.categories),
               wide.roundRatio, QStringLiteral(" x"), wide.roundRatio <= 1.25);
        const double spread = perRowSpread(findings.scaling);
        target(QStringLiteral("time per converted row within 20 % between the sizes"), spread,
               QStringLiteral(" %"), spread < 20);
    } else {
        missing(QStringLiteral("many categories: direct run within 1.25 x the floor"), findings.scalingSkip);
        missing(QStringLiteral("time per converted row within 20 % between the sizes"), findings.scalingSkip);
    }
    const double startUp = std::max(findings.startUp.first, findings.startUp.restart);
    target(QStringLiteral("start-up to ready under 1 s with %1 categories").arg(findings.startUp.lines),
           startUp, QStringLiteral(" s"), startUp < 1.0);
    const double peak = peakMiB() * 1024.0 * 1024.0 / 1e6;
    out << "  peak memory under 200 MB: " << fixed(peak, 0) << " MB, " << verdict(peak < 200) << "\n";
    for (const EngineReport *engine : engines) {
        const EngineFigures &figures = engine->figures;
        roundTarget(engine->label + QStringLiteral(": direct run with change list within 1.25 x without"),
                    roundFigure(figures.rounds.withChangeList, figures.direct, figures.directWithoutList),
                    1.25);
    }
    if (!findings.server)
        missing(QStringLiteral("server: direct run with change list within 1.25 x without"),
                findings.serverSkip);
}

} // namespace

void printReport(QTextStream &out, const Findings &findings)
{
    out << "\nTimes: the shortest of " << findings.repeat
        << " rounds, every other round in reverse order; the targets' ratios of two runs: the median "
           "of the rounds' ratios.\n"
        << "embedded engine (" << findings.embedded.description
        << "), settings of the program's connection: " << findings.embedded.figures.settings << "\n";
    if (findings.server)
        out << "server engine (" << findings.server->description
            << "), settings: " << findings.server->figures.settings << "\n";
    else
        out << "server engine not measured: " << findings.serverSkip << "\n";
    out << "\n"
        << QString().leftJustified(56) << QStringLiteral("rows").rightJustified(10)
        << QStringLiteral("seconds").rightJustified(10) << QStringLiteral("rows/s").rightJustified(12)
        << QStringLiteral("run/floor").rightJustified(11) << "\n";
    printRuns(out, findings.embedded);
    if (findings.server)
        printRuns(out, *findings.server);

    out << "\nWhat the exact reading of the prices, the run's own statements and the change list cost\n";
    printCosts(out, findings.embedded);
    if (findings.server)
        printCosts(out, *findings.server);

    if (findings.scaling.isEmpty())
        out << "\nScaling not measured: " << findings.scalingSkip << "\n";
    else
        printScaling(out, findings.scaling);

    const EngineFigures &embedded = findings.embedded.figures;
    const StartUpFigures &startUp = findings.startUp;
    out << "\n"
        << QStringLiteral("start-up to ready, %1 categories, %2")
               .arg(embedded.lines)
               .arg(findings.embedded.description)
        << ": " << fixed(embedded.startUp, 2) << " s\n";
    if (findings.server)
        out << QStringLiteral("server: start-up to ready, %1 categories, %2")
                   .arg(findings.server->figures.lines)
                   .arg(findings.server->description)
            << ": " << fixed(findings.server->figures.startUp, 2) << " s\n";
    out << QStringLiteral("start-up to ready, %1 categories, %2 goods, work list filled from the masters")
               .arg(startUp.lines)
               .arg(findings.startUpGoods)
        << ": " << fixed(startUp.first, 2) << " s\n"
        << QStringLiteral("start-up to ready, %1 categories, %2 goods, work list kept")
               .arg(startUp.lines)
               .arg(findings.startUpGoods)
        << ": " << fixed(startUp.restart, 2) << " s\n"
        << QStringLiteral("grid load, %1 work-list rows").arg(startUp.lines) << ": "
        << fixed(startUp.gridLoad, 3) << " s\n"
        << "peak memory of this process (the builds ran in processes of their own): " << fixed(peakMiB(), 0)
        << " MiB\n";
    if (findings.verified)
        out << "checked: the direct run, the deferred run and the floor leave the same prices"
            << (findings.server ? " on both engines" : "")
            << "; the direct run without change list leaves the direct run's\n";
    printTargets(out, findings);
}

} // namespace krt::bench
