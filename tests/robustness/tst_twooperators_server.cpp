// Two operators converting on one database of the tests' PostgreSQL server at the same moment,
// each on a session of its own in a thread of its own, as two workstations would; random pauses
// before their statements give every trial another interleaving. Reads there see the last
// committed version without waiting for writers, as on SQL Server with row versioning; the
// stricter levels stand for SQL Server's snapshot isolation (repeatable read) and for serializable
// transactions, where the later of two writers of a row is refused. However the two runs meet,
// the database ends as one uninterrupted run leaves it (no price converted twice, no category
// left out, after the next F1 of an operator whose run was refused), and what the two operators
// are told they converted adds up to that run.

#include "pricing/priceupdate.h"
#include "pricing/runreport.h"
#include "support/serverstore.h"

#include <QRandomGenerator>
#include <QTest>

#include <chrono>
#include <future>
#include <mutex>
#include <random>
#include <thread>

using namespace krt;
using namespace krt::pricing;

namespace {

// What an operator's F1 presses did, as the operator learns it: the counts of the summary, the
// database's words of each failure reported and the statement it refused.
struct OperatorRuns
{
    RunCounts counts;
    QList<RunOutcome> outcomes;
    QStringList failures;
    QStringList refused;
    QString error; // the session could not be opened

    bool completed() const { return !outcomes.isEmpty() && outcomes.constLast() == RunOutcome::Completed; }
};

// One F1 on a session.
void convert(Connection &connection, const testing::TrialConversion &conversion, OperatorRuns &runs)
{
    PriceUpdater updater(connection, conversion.params, conversion.values, [&] {
        runs.failures << connection.errors().value(0).description;
        runs.refused << connection.errors().value(0).statement;
    });
    runs.outcomes << updater.run();
    runs.counts += updater.counts();
}

// Opens an operator's session at the given isolation level. The ODBC driver sets the process's
// locale while it connects, which two threads must not do at once: two workstations are two
// processes, here they are two threads of one, so their sessions are opened one after the other.
bool openSession(Connection &connection, const QString &text, const QString &isolation, OperatorRuns &runs)
{
    static std::mutex connecting;
    std::unique_lock<std::mutex> oneAtATime(connecting);
    if (!connection.open(text) ||
        !connection.execute(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL ") +
                            isolation)) {
        runs.error = connection.errors().value(0).description;
        return false;
    }
    return true;
}

// An operator at a workstation: a session of its own, pauses of random length before some of its
// statements, and the F1 given when the go signal comes, after a random delay.
void workstation(const QString &text, const QString &isolation, const testing::TrialConversion &conversion,
                 quint32 seed, std::shared_future<void> go, OperatorRuns &runs)
{
    Connection connection;
    const bool opened = openSession(connection, text, isolation, runs);
    std::mt19937 random(seed);
    const auto pause = [&random](int from, int to) {
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(from * 1000, to * 1000)(random)));
    };
    connection.setStatementHook([&](const QString &) {
        const int dice = std::uniform_int_distribution<int>(0, 19)(random);
        if (dice == 0)
            pause(10, 30);
        else if (dice < 8)
            pause(0, 4);
        return std::optional<QString>();
    });
    go.wait();
    if (!opened)
        return;
    pause(0, 30);
    convert(connection, conversion, runs);
}

} // namespace

class TestTwoOperatorsServer : public QObject
{
    Q_OBJECT

    quint32 m_seed = 0;

private Q_SLOTS:
    void initTestCase()
    {
        KRT_REQUIRE_TEST_SERVER();
        m_seed = qEnvironmentVariableIsSet("KRT_TRIAL_SEED") ? qEnvironmentVariable("KRT_TRIAL_SEED").toUInt()
                                                             : QRandomGenerator::global()->generate();
        qInfo("random pauses from seed %u (KRT_TRIAL_SEED repeats them)", m_seed);
    }

    void everyPriceIsConvertedOnce_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::addColumn<QString>("isolation");
        QTest::addColumn<int>("trials");
        for (const auto &[mode, stockMode] : {std::pair{"direct", 1}, std::pair{"deferred", 0}}) {
            QTest::addRow("%s mode, read committed", mode)
                << stockMode << QStringLiteral("READ COMMITTED") << 16;
            QTest::addRow("%s mode, repeatable read", mode)
                << stockMode << QStringLiteral("REPEATABLE READ") << 12;
            QTest::addRow("%s mode, serializable", mode) << stockMode << QStringLiteral("SERIALIZABLE") << 12;
        }
    }
    void everyPriceIsConvertedOnce()
    {
        QFETCH(int, stockMode);
        QFETCH(QString, isolation);
        QFETCH(int, trials);
        static int stores = 0;
        // 14 categories (a third of the majors inventory categories), every one marked; goods
        // prices half up at the tens, add-on prices rounded down at the ones.
        testing::ServerStore store(QStringLiteral("operators%1").arg(++stores), 14, 280, 11,
                                   testing::eightToTen(stockMode, HasuRoundHalfUp, 0, HasuRoundDown, 0));
        QVERIFY2(store.error().isEmpty(), qPrintable(store.error()));
        const RunCounts &reference = store.reference();
        // Stock rows and movements are converted in direct mode only.
        QVERIFY(reference.mgoods > 0);
        QCOMPARE(reference.izaiko > 0 && reference.iiodata > 0, stockMode != 0);

        const QString text = store.connectionText();
        int met = 0;
        int bothConverted = 0;
        int refused = 0;
        int refusedAtCommit = 0;
        int skipped = 0;
        for (int trial = 1; trial <= trials; ++trial) {
            QVERIFY(store.restore());
            const quint32 seed = m_seed + static_cast<quint32>(1000 * stores + 2 * trial);
            const QString seen = QStringLiteral("trial %1, seed %2: ").arg(trial).arg(seed);
            std::promise<void> go;
            const std::shared_future<void> goNow = go.get_future().share();
            std::array<OperatorRuns, 2> operators;
            std::thread first(workstation, text, isolation, std::cref(store.conversion()), seed, goNow,
                              std::ref(operators[0]));
            std::thread second(workstation, text, isolation, std::cref(store.conversion()), seed + 1, goNow,
                               std::ref(operators[1]));
            go.set_value();
            first.join();
            second.join();

            const QStringList halfDone = store.halfDone();
            QVERIFY2(halfDone.isEmpty(), qPrintable(seen + halfDone.join(QStringLiteral("; "))));
            // An operator whose run was refused presses F1 again once the other has finished.
            for (OperatorRuns &runs : operators) {
                QVERIFY2(runs.error.isEmpty(), qPrintable(seen + runs.error));
                if (runs.completed())
                    continue;
                ++refused;
                // Only the stricter levels refuse a run, and only for the other operator's write.
                QVERIFY2(isolation != QStringLiteral("READ COMMITTED"),
                         qPrintable(seen + runs.failures.join(QLatin1Char('/'))));
                QCOMPARE(runs.failures.size(), 1);
                QVERIFY2(runs.failures.constFirst().contains(QStringLiteral("could not serialize access")),
                         qPrintable(seen + runs.failures.constFirst()));
                // A refused price statement ends the run as a failed category does (the grid is
                // reloaded); a refused commit as a failure of the run's own operation (the marks stay).
                const bool atCommit = runs.refused.constFirst() == QStringLiteral("COMMIT TRANSACTION");
                refusedAtCommit += atCommit ? 1 : 0;
                QCOMPARE(runs.outcomes,
                         QList<RunOutcome>{atCommit ? RunOutcome::RunFailed : RunOutcome::StepFailed});
                Connection again;
                QVERIFY(openSession(again, text, isolation, runs));
                convert(again, store.conversion(), runs);
                QVERIFY2(runs.completed(), qPrintable(seen + runs.failures.join(QLatin1Char('/'))));
            }
            for (const OperatorRuns &runs : operators)
                QVERIFY2(runs.failures.size() == runs.outcomes.size() - 1,
                         qPrintable(seen + runs.failures.join(QLatin1Char('/'))));

            const QStringList found = store.differences();
            QVERIFY2(found.isEmpty(), qPrintable(seen + found.join(QStringLiteral("; "))));
            // What each operator was told it converted adds up to the uninterrupted run.
            const RunCounts &a = operators[0].counts;
            const RunCounts &b = operators[1].counts;
            QVERIFY2(a.categories + b.categories == reference.categories &&
                         a.mgoods + b.mgoods == reference.mgoods && a.izaiko + b.izaiko == reference.izaiko &&
                         a.iiodata + b.iiodata == reference.iiodata,
                     qPrintable(seen + summaryLines(a, stockMode).join(QLatin1Char(' ')) +
                                QStringLiteral(" + ") + summaryLines(b, stockMode).join(QLatin1Char(' ')) +
                                QStringLiteral(" <> ") +
                                summaryLines(reference, stockMode).join(QLatin1Char(' '))));
            // The runs met: one skipped a category the other had converted, or was refused.
            if (a.skipped + b.skipped > 0 || operators[0].outcomes.size() + operators[1].outcomes.size() > 2)
                ++met;
            if (a.categories > 0 && b.categories > 0)
                ++bothConverted;
            skipped += a.skipped + b.skipped;
        }
        qInfo("%d trials, the runs met in %d: both operators converted categories in %d, %d categories "
              "skipped as the other's, %d runs refused (%d at a commit) and completed by the next F1",
              trials, met, bothConverted, skipped, refused, refusedAtCommit);
        QVERIFY2(met > 0, "the two runs never met");
    }
};

QTEST_GUILESS_MAIN(TestTwoOperatorsServer)
#include "tst_twooperators_server.moc"
