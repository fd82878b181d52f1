#include "robustness/trialstore.h"

#include "catalog/catalogfile.h"

#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <array>
#include <thread>
#include <vector>

using namespace krt;
using namespace krt::robustness;

namespace {

// After a killed run: the catalog holds whole categories; the next start completes or discards
// the killed run's change-list journal, so that the lists hold every goods row committed so far
// exactly once; and a run from there finishes the job with the prices of one uninterrupted run,
// every converted goods row listed once across the lists of both runs. Empty when all of this
// holds, otherwise what did not.
QString recoverAndRerun(const TrialStore &store)
{
    const CatalogState killed = store.inspect();
    if (!killed.sound())
        return killed.describe();
    const std::unique_ptr<Child> next = store.start({QStringLiteral("--wait")});
    if (!next->waitFor(QStringLiteral("ready"), 60000))
        return QStringLiteral("the next start did not get ready: ") + next->lines().join(QLatin1Char('/'));
    if (const QString lists = store.checkChangeLists(); !lists.isEmpty()) {
        next->kill();
        return QStringLiteral("the change lists after the next start: ") + lists;
    }
    if (killed.finished()) {
        // Killed after the last category: nothing is left to convert.
        next->kill();
        return {};
    }
    next->send("run");
    if (!next->finish(120000) || next->exitCode() != 0)
        return QStringLiteral("the rerun failed: exit %1: %2")
            .arg(next->exitCode())
            .arg(next->lines().join(QLatin1Char('/')));
    const CatalogState rerun = store.inspect();
    if (!rerun.finished())
        return QStringLiteral("after the rerun: ") + rerun.describe();
    if (const QString lists = store.checkChangeLists(); !lists.isEmpty())
        return QStringLiteral("the change lists after the rerun: ") + lists;
    return {};
}

// One lane of crash trials: a store of its own and every lanes-th trial from first on. A lane
// runs on a thread of its own, so it reports instead of verifying: the first failure ends it.
struct Lane
{
    QString failure;
    QString reference;
    int midRun = 0;
    int afterLast = 0;

    void run(int stockMode, int first, int trials, int lanes)
    {
        const TrialStore store(trialOptions(300, 15000), stockMode);
        if (!store.error().isEmpty()) {
            failure = store.error();
            return;
        }
        // Kills land between the run's start and its last statement; the writes to the disk that
        // end a run (the engine's log copied back, the change list flushed) are no conversion.
        int runMs = store.referenceConversionMilliseconds();
        reference = QStringLiteral("the uninterrupted run converts %1 categories in %2 ms (%3 ms to its last "
                                   "statement)")
                        .arg(store.categories())
                        .arg(store.referenceMilliseconds())
                        .arg(runMs);

        QRandomGenerator random = QRandomGenerator::securelySeeded();
        for (int trial = first; trial <= trials; trial += lanes) {
            if (!store.reset()) {
                failure = QStringLiteral("trial %1: the store cannot be reset").arg(trial);
                return;
            }
            const std::unique_ptr<Child> child = store.start();
            if (!child->waitFor(QStringLiteral("running"), 60000)) {
                failure = child->lines().join(QLatin1Char('/'));
                return;
            }
            const int delay = runMs / 20 + random.bounded(runMs * 9 / 10 + 1);
            QThread::msleep(static_cast<unsigned long>(delay));
            child->kill();
            const CatalogState killed = store.inspect();
            if (child->killed() && killed.converted + killed.recorded > 0 && killed.untouched > 0)
                ++midRun;
            if (killed.finished()) {
                ++afterLast;
                // The run took less than the reference, timed under another load: the next kills
                // are drawn from the time it took at most.
                runMs = std::min(runMs, delay);
            }
            if (const QString why = recoverAndRerun(store); !why.isEmpty()) {
                failure = QStringLiteral("trial %1, killed after %2 ms: ").arg(trial).arg(delay) + why;
                return;
            }
        }
    }
};

// One lane of the kill at every statement: a small store of its own, whose uninterrupted run counts
// the statements, and every lanes-th statement from first on, the process ended just before it and
// just after it.
struct StatementLane
{
    QString failure;
    int statements = 0;
    int categories = 0;
    int killPoints = 0;
    int afterCommit = 0; // killed between a category's commit and the append of its rows

    void run(int stockMode, int first, int lanes)
    {
        const TrialStore store(trialOptions(6, 120), stockMode);
        if (!store.error().isEmpty()) {
            failure = store.error();
            return;
        }
        statements = store.referenceStatements();
        categories = store.categories();
        for (int n = first; n <= statements; n += lanes) {
            for (const QString &when : {QStringLiteral("--kill-before"), QStringLiteral("--kill-after")}) {
                const QString where = QStringLiteral("%1 %2: ").arg(when).arg(n);
                if (!store.reset()) {
                    failure = where + QStringLiteral("the store cannot be reset");
                    return;
                }
                const std::unique_ptr<Child> child = store.start({when, QString::number(n)});
                if (!child->endsWithin(60000) || !child->killed()) {
                    child->finish(0);
                    failure = where + QStringLiteral("not killed: ") + child->lines().join(QLatin1Char('/'));
                    return;
                }
                ++killPoints;
                if (when == QStringLiteral("--kill-after") &&
                    child->lines().contains(QStringLiteral("kill COMMIT TRANSACTION")))
                    ++afterCommit;
                if (const QString why = recoverAndRerun(store); !why.isEmpty()) {
                    failure = where + why;
                    return;
                }
            }
        }
    }
};

} // namespace

// The program killed (SIGKILL) at random moments of a long run: the catalog stays intact, every
// category is either wholly converted once or wholly untouched, and a second run finishes the
// job with the prices of one uninterrupted run.
class TestCrash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The trials are only as good as the inspection: it must see a price row that is not as the
    // record says, a category whose prices were converted without its record, and a category
    // converted twice.
    void theInspectionSeesEveryCategoryThatIsNotWhole()
    {
        const install::Options options = trialOptions(20, 2000);
        const TrialStore store(options, 1);
        QVERIFY2(store.error().isEmpty(), qPrintable(store.error()));
        const auto change = [&store](const QString &sql) { return install::runScript(store.catalog(), sql); };
        const QString forgetFirstCategory =
            QStringLiteral("UPDATE MITEMCNT SET UPDATE_DATE = NULL, COMP_FLG = '0', COMP_DATE = NULL, TAX_ST "
                           "= NULL, TAX_END = "
                           "NULL, GOODS_HASU_FLG = NULL, GOODS_HASU_ICHI = NULL, GADD_HASU_FLG = NULL, "
                           "GADD_HASU_ICHI = NULL "
                           "WHERE ITEM_CD = (SELECT MIN(ITEM_CD) FROM MITEMCNT) AND DETAIL_NO = 0;");

        QVERIFY(store.runToEnd());
        QVERIFY2(store.inspect().finished(), qPrintable(store.inspect().describe()));
        QCOMPARE(change(QStringLiteral("UPDATE MGOODS SET KOURI_PRC = KOURI_PRC + 1 WHERE rowid = 1;")),
                 QString());
        QVERIFY(!store.inspect().sound());

        QVERIFY(store.reset());
        QVERIFY(store.runToEnd());
        QCOMPARE(change(forgetFirstCategory), QString());
        const CatalogState withoutRecord = store.inspect();
        QVERIFY2(!withoutRecord.sound(), qPrintable(withoutRecord.describe()));
        QCOMPARE(withoutRecord.untouched, 1);

        QVERIFY(store.runToEnd());
        const CatalogState twice = store.inspect();
        QVERIFY2(!twice.sound(), qPrintable(twice.describe()));
        QCOMPARE(twice.untouched, 0);
    }

    void aKilledRunLeavesWholeCategoriesAndARerunFinishesTheJob_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::addColumn<int>("trials");
        QTest::newRow("direct mode") << 1 << 20;
        QTest::newRow("deferred mode") << 0 << 6;
    }
    void aKilledRunLeavesWholeCategoriesAndARerunFinishesTheJob()
    {
        QFETCH(int, stockMode);
        QFETCH(int, trials);
        // The trials run in two lanes at once, each on a store of its own, so that the kill points
        // stay many while the trials take half the time.
        std::array<Lane, 2> lanes;
        std::vector<std::thread> threads;
        for (std::size_t n = 0; n < lanes.size(); ++n)
            threads.emplace_back([&lanes, n, stockMode, trials] {
                lanes[n].run(stockMode, static_cast<int>(n) + 1, trials, static_cast<int>(lanes.size()));
            });
        for (std::thread &thread : threads)
            thread.join();

        int midRun = 0;
        int afterLast = 0;
        for (const Lane &lane : lanes) {
            QVERIFY2(lane.failure.isEmpty(), qPrintable(lane.failure));
            qInfo("%s", qPrintable(lane.reference));
            midRun += lane.midRun;
            afterLast += lane.afterLast;
        }
        qInfo("%d crash trials: %d killed while some categories were converted and others not yet, %d after "
              "the last category",
              trials, midRun, afterLast);
        // Most kills must land inside the run for the trials to mean anything.
        QVERIFY2(midRun * 2 >= trials,
                 qPrintable(QStringLiteral("only %1 kills landed mid-run").arg(midRun)));
    }

    // The program killed just before and just after every statement of a run, one kill per trial:
    // after a COMMIT the kill falls between the category's commit and the append of its change
    // list, and before the statement that follows a COMMIT it falls after that append. Each time
    // the next start and a rerun must leave the catalog and the change lists as one uninterrupted
    // run does.
    void aKillAtEveryStatementLeavesWholeCategoriesAndExactChangeLists_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::newRow("direct mode") << 1;
        QTest::newRow("deferred mode") << 0;
    }
    void aKillAtEveryStatementLeavesWholeCategoriesAndExactChangeLists()
    {
        QFETCH(int, stockMode);
        std::array<StatementLane, 2> lanes;
        std::vector<std::thread> threads;
        for (std::size_t n = 0; n < lanes.size(); ++n)
            threads.emplace_back([&lanes, n, stockMode] {
                lanes[n].run(stockMode, static_cast<int>(n) + 1, static_cast<int>(lanes.size()));
            });
        for (std::thread &thread : threads)
            thread.join();

        int killPoints = 0;
        int afterCommit = 0;
        for (const StatementLane &lane : lanes) {
            QVERIFY2(lane.failure.isEmpty(), qPrintable(lane.failure));
            killPoints += lane.killPoints;
            afterCommit += lane.afterCommit;
        }
        qInfo("%d kill points in %s mode, %d of them between a commit and its change list's append",
              killPoints, stockMode == 1 ? "direct" : "deferred", afterCommit);
        // Both lanes count the same statements of the same uninterrupted run.
        QCOMPARE(lanes[0].statements, lanes[1].statements);
        QCOMPARE(killPoints, 2 * lanes[0].statements);
        // Every category commits once, and a kill fell after each commit.
        QCOMPARE(afterCommit, lanes[0].categories);
    }
};

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
