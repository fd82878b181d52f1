#include "trialstore.h"

#include <QRandomGenerator>
#include <QTest>
#include <QThread>

using namespace krt;
using namespace krt::robustness;

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
        const install::Options options = trialOptions(300, 100000);
        const TrialStore store(options, stockMode);
        QVERIFY2(store.error().isEmpty(), qPrintable(store.error()));
        const int runMs = store.referenceMilliseconds();
        qInfo("the uninterrupted run converts %d categories in %d ms", store.categories(), runMs);

        QRandomGenerator random = QRandomGenerator::securelySeeded();
        int midRun = 0;
        int afterLast = 0;
        for (int trial = 1; trial <= trials; ++trial) {
            QVERIFY(store.reset());
            const std::unique_ptr<Child> child = store.start();
            QVERIFY2(child->waitFor(QStringLiteral("running"), 60000),
                     qPrintable(child->lines().join(QLatin1Char('/'))));
            const int delay = runMs / 20 + random.bounded(runMs * 9 / 10 + 1);
            QThread::msleep(static_cast<unsigned long>(delay));
            child->kill();
            const CatalogState killed = store.inspect();
            const QString where = QStringLiteral("trial %1, killed after %2 ms: ").arg(trial).arg(delay);
            QVERIFY2(killed.sound(), qPrintable(where + killed.describe()));
            if (child->killed() && killed.converted + killed.recorded > 0 && killed.untouched > 0)
                ++midRun;

            if (killed.finished()) {
                // Killed after the last category: nothing is left to convert.
                ++afterLast;
                continue;
            }
            QString why;
            QVERIFY2(store.runToEnd(&why), qPrintable(where + QStringLiteral("the rerun failed: ") + why));
            const CatalogState rerun = store.inspect();
            QVERIFY2(rerun.finished(),
                     qPrintable(where + QStringLiteral("after the rerun: ") + rerun.describe()));
        }
        qInfo("%d crash trials: %d killed while some categories were converted and others not yet, %d after "
              "the "
              "last category",
              trials, midRun, afterLast);
        // Most kills must land inside the run for the trials to mean anything.
        QVERIFY2(midRun * 2 >= trials,
                 qPrintable(QStringLiteral("only %1 kills landed mid-run").arg(midRun)));
    }
};

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
