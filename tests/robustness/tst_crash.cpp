#include "robustness/trialstore.h"

#include "catalog/catalogfile.h"

#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <array>
#include <thread>
#include <vector>

using namespace krt;
using namespace krt::robustness;

namespace {

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
        const int runMs = store.referenceMilliseconds();
        reference = QStringLiteral("the uninterrupted run converts %1 categories in %2 ms")
                        .arg(store.categories())
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
            const QString where = QStringLiteral("trial %1, killed after %2 ms: ").arg(trial).arg(delay);
            if (!killed.sound()) {
                failure = where + killed.describe();
                return;
            }
            if (child->killed() && killed.converted + killed.recorded > 0 && killed.untouched > 0)
                ++midRun;

            if (killed.finished()) {
                // Killed after the last category: nothing is left to convert; the next start
                // completes the change list.
                ++afterLast;
                const std::unique_ptr<Child> next = store.start({QStringLiteral("--wait")});
                const bool ready = next->waitFor(QStringLiteral("ready"), 60000);
                next->kill();
                const QString lists = store.checkChangeLists();
                if (!ready || !lists.isEmpty()) {
                    failure = where + QStringLiteral("after the next start: ") + lists;
                    return;
                }
                continue;
            }
            QString why;
            if (!store.runToEnd(&why)) {
                failure = where + QStringLiteral("the rerun failed: ") + why;
                return;
            }
            const CatalogState rerun = store.inspect();
            if (!rerun.finished()) {
                failure = where + QStringLiteral("after the rerun: ") + rerun.describe();
                return;
            }
            if (const QString lists = store.checkChangeLists(); !lists.isEmpty()) {
                failure = where + QStringLiteral("the change lists after the rerun: ") + lists;
                return;
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
};

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
