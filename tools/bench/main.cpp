// krt550-bench: measures the conversion run of the real main form on the database of a large
// store against the engine's floor, on the embedded engine and on a PostgreSQL server of its own,
// the cost of the exact price reading and of the change list, how the run's cost grows with the
// store, the start-up of the form and the peak memory of the process.
#include "bench/engine.h"
#include "bench/figures.h"
#include "bench/formdriver.h"
#include "bench/installations.h"
#include "bench/measures.h"
#include "bench/report.h"

#include "pgserver/pgserver.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace {

using namespace krt;
using namespace krt::bench;

struct Choices
{
    int repeat = 3;
    bool keep = false;
    bool verify = true;
    bool server = true;
    bool scaling = false;
};

class StoreBench
{
public:
    StoreBench(QString root, Sizes sizes, Choices choices)
        : m_root(std::move(root))
        , m_sizes(sizes)
        , m_choices(choices)
    {}

    int run();

private:
    bool measureEmbedded();
    bool measureServer();
    bool measureScaling();
    // Prints what comes next, so that a long measurement is seen to be under way.
    void announce(const QString &what);

    QString m_root;
    Sizes m_sizes;
    Choices m_choices;
    FormDriver m_driver;
    Findings m_findings;
    QTextStream m_out{stdout};
};

// The measures of a round of EngineMeasures::measureAll in their order.
const QString Measures =
    QStringLiteral("direct run, direct run without change list, floor, floor by category, "
                   "deferred run, floor of the goods, plain floor, change list's floor");

// Every other round takes its measures in reverse order.
bool inReverse(int round)
{
    return round % 2 == 0;
}

// How a round announces its order.
QString order(int round)
{
    return inReverse(round) ? QStringLiteral(" (in reverse)") : QString();
}

void StoreBench::announce(const QString &what)
{
    m_out << what << "\n";
    m_out.flush();
}

bool StoreBench::measureEmbedded()
{
    EmbeddedEngine engine(m_root, StoreKind, QStringLiteral("%1 goods").arg(m_sizes.goods));
    if (!engine.prepare() || !buildInChild(WideKind))
        return false;
    EngineMeasures measures(engine, m_driver);
    for (int round = 1; round <= m_choices.repeat; ++round) {
        announce(QStringLiteral("Measuring %1 of %2%3: %4, start-up")
                     .arg(round)
                     .arg(m_choices.repeat)
                     .arg(order(round), Measures));
        if (!measures.measureAll(m_choices.verify && round == 1, inReverse(round)) ||
            !measureStartUp(m_driver, installationRoot(m_root, WideKind), m_findings.startUp))
            return false;
    }
    m_findings.embedded = {engine.label(), engine.description(), measures.figures()};
    m_findings.startUpGoods = m_sizes.wideGoods;
    return true;
}

// The same measures on the benchmark's own server, durable as a shop runs it. Without PostgreSQL
// or its ODBC driver, only the reason is kept.
bool StoreBench::measureServer()
{
    if (!m_choices.server) {
        m_findings.serverSkip = QStringLiteral("left out (--no-server)");
        return true;
    }
    m_findings.serverSkip = ServerEngine::unavailable();
    if (!m_findings.serverSkip.isEmpty()) {
        announce(QStringLiteral("No server engine: %1; measuring the embedded engine only")
                     .arg(m_findings.serverSkip));
        return true;
    }
    ServerEngine engine(m_root, QStringLiteral("%1 goods, numeric(12,2) prices, over QODBC, durable commits")
                                    .arg(m_sizes.serverGoods));
    if (!engine.prepare())
        return false;
    EngineMeasures measures(engine, m_driver);
    for (int round = 1; round <= m_choices.repeat; ++round) {
        announce(QStringLiteral("Measuring on the server %1 of %2%3: %4")
                     .arg(round)
                     .arg(m_choices.repeat)
                     .arg(order(round), Measures));
        if (!measures.measureAll(m_choices.verify && round == 1, inReverse(round)))
            return false;
    }
    m_findings.server = EngineReport{engine.label(), engine.description(), measures.figures()};
    return true;
}

// The direct run and its floor on stores of the embedded engine of growing goods and categories.
bool StoreBench::measureScaling()
{
    if (!m_choices.scaling) {
        m_findings.scalingSkip = QStringLiteral("left out (without --scaling)");
        return true;
    }
    for (const QString &kind : ScaleKinds) {
        const install::Options options = installationOptions(m_root, kind, m_sizes);
        EmbeddedEngine engine(m_root, kind, QStringLiteral("%1 goods").arg(options.goods));
        if (!engine.prepare())
            return false;
        EngineMeasures measures(engine, m_driver);
        for (int round = 1; round <= m_choices.repeat; ++round) {
            announce(QStringLiteral("Scaling, %1 goods and %2 categories, %3 of %4%5: direct runs, floor")
                         .arg(options.goods)
                         .arg(options.categories)
                         .arg(round)
                         .arg(m_choices.repeat)
                         .arg(order(round)));
            if (!measures.measureRunAndFloor(m_choices.verify && round == 1, inReverse(round)))
                return false;
        }
        const EngineFigures &figures = measures.figures();
        m_findings.scaling << ScalePoint{options.goods,           figures.lines,
                                         figures.floor.allRows(), figures.directWithoutList,
                                         figures.floor.total,     median(figures.rounds.direct)};
    }
    return true;
}

int StoreBench::run()
{
    m_out << "krt550-bench in " << QDir::toNativeSeparators(QDir(m_root).absolutePath()) << "\n"
          << "Installations (built by krt::install in child processes"
          << (m_choices.keep ? ", kept when complete" : "") << "):\n";
    m_out.flush();
    if (!measureEmbedded() || !measureServer() || !measureScaling())
        return 1;
    m_findings.repeat = m_choices.repeat;
    m_findings.verified = m_choices.verify;
    printReport(m_out, m_findings);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const bool building =
        std::any_of(argv + 1, argv + argc, [](const char *a) { return std::strcmp(a, "--build") == 0; });
    if (!building && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app = building ? std::make_unique<QCoreApplication>(argc, argv)
                                                     : std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("krt550-bench"));

    Sizes sizes;
    Choices choices;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures the KRT550 conversion run on the database of a large store, side by side with the\n"
        "engine's floor (the same price expressions in one UPDATE per table), on the embedded engine and\n"
        "on a PostgreSQL server with durable commits; the cost of the exact price reading and of the\n"
        "change list, with --scaling how the cost grows with goods and categories, the start-up of the\n"
        "form and the peak memory. The installations are built under DIR by krt::install."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("root"), QStringLiteral("folder of the benchmark's installations"),
                      QStringLiteral("DIR")});
    struct NumberOption
    {
        const char *name;
        const char *description;
        int *target;
    };
    const std::array<NumberOption, 13> numbers{{
        {"repeat",
         "rounds of measurements, every other one in reverse order: the shortest time of each figure and the "
         "median of the rounds' ratios are reported",
         &choices.repeat},
        {"categories", "work-list categories of the store", &sizes.categories},
        {"goods", "goods of the store", &sizes.goods},
        {"stock", "stock rows of the store", &sizes.stock},
        {"movements", "stock movements of the store", &sizes.movements},
        {"months", "months of movements", &sizes.months},
        {"wide-categories", "work-list categories of the start-up catalog", &sizes.wideCategories},
        {"wide-goods", "goods and stock rows of the start-up catalog (three times as many movements)",
         &sizes.wideGoods},
        {"server-goods", "goods and stock rows of the server's store (three times as many movements)",
         &sizes.serverGoods},
        {"scaling-goods", "goods and stock rows of the scaling's smaller store", &sizes.scaleGoods},
        {"scaling-large-goods", "goods and stock rows of the scaling's larger stores",
         &sizes.scaleLargeGoods},
        {"scaling-categories", "work-list categories of the scaling's smaller and larger store",
         &sizes.scaleCategories},
        {"scaling-wide-categories", "work-list categories of the scaling's larger store with many categories",
         &sizes.scaleWideCategories},
    }};
    for (const NumberOption &option : numbers)
        parser.addOption({QLatin1String(option.name),
                          QLatin1String(option.description) + QStringLiteral(" (default ") +
                              QString::number(*option.target) + QLatin1Char(')'),
                          QStringLiteral("N")});
    parser.addOption(
        {QStringLiteral("keep"), QStringLiteral("reuse installations that hold the requested sizes")});
    parser.addOption({QStringLiteral("no-verify"),
                      QStringLiteral("skip comparing the prices left by the runs with the floor's")});
    parser.addOption(
        {QStringLiteral("no-server"),
         QStringLiteral("measure the embedded engine only, without starting a PostgreSQL server")});
    parser.addOption(
        {QStringLiteral("scaling"),
         QStringLiteral("measure the direct run and its floor on the scaling's three stores of the "
                        "embedded engine (three more installations under DIR)")});
    QCommandLineOption buildOption(
        QStringLiteral("build"), QStringLiteral("(internal) build one installation"), QStringLiteral("KIND"));
    buildOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(buildOption);
    QCommandLineOption serverStoreOption(QStringLiteral("server-store"),
                                         QStringLiteral("(internal) connection text of the server's store"),
                                         QStringLiteral("TEXT"));
    serverStoreOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(serverStoreOption);
    parser.process(*app);

    QTextStream err(stderr);
    if (!parser.isSet(QStringLiteral("root"))) {
        err << "krt550-bench: --root DIR is required\n" << parser.helpText();
        return 2;
    }
    for (const NumberOption &option : numbers) {
        const QString name = QLatin1String(option.name);
        if (!parser.isSet(name))
            continue;
        bool ok = false;
        *option.target = parser.value(name).toInt(&ok);
        if (!ok || *option.target < 0) {
            err << "krt550-bench: --" << name << ": not a whole number of 0 or more\n";
            return 2;
        }
    }
    const QString root = QDir(parser.value(QStringLiteral("root"))).absolutePath();
    choices.keep = parser.isSet(QStringLiteral("keep"));
    if (building) {
        const QString kind = parser.value(buildOption);
        const install::Options options = installationOptions(root, kind, sizes);
        return kind == ServerKind ? buildServerStore(options, parser.value(serverStoreOption))
                                  : buildInstallation(options, choices.keep);
    }
    choices.repeat = std::max(1, choices.repeat);
    choices.verify = !parser.isSet(QStringLiteral("no-verify"));
    choices.server = !parser.isSet(QStringLiteral("no-server"));
    choices.scaling = parser.isSet(QStringLiteral("scaling"));
    // Every figure of the server is taken with durable commits and the store in memory, as a shop
    // runs its server.
    test::PgServer::useShopConfiguration();
    StoreBench bench(root, sizes, choices);
    return bench.run();
}
