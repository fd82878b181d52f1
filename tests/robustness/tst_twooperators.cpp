#include "robustness/trialstore.h"

#include "catalog/catalogfile.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using namespace krt;
using namespace krt::robustness;

// Two operators on two workstations (two processes, each with its own settings folder) open the
// same catalog, mark every category and give the Execute command at the same moment. Both work
// lists hold every category; no category may be converted twice, and in the end every category
// is converted once, with the prices of one uninterrupted run.
class TestTwoOperators : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void twoRunsAtOnceConvertEveryCategoryOnce_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::addColumn<int>("trials");
        QTest::newRow("direct mode") << 1 << 8;
        QTest::newRow("deferred mode") << 0 << 4;
    }
    void twoRunsAtOnceConvertEveryCategoryOnce()
    {
        QFETCH(int, stockMode);
        QFETCH(int, trials);
        const install::Options options = trialOptions(200, 30000);
        const TrialStore store(options, stockMode);
        QVERIFY2(store.error().isEmpty(), qPrintable(store.error()));

        int bothTried = 0;
        for (int trial = 1; trial <= trials; ++trial) {
            QVERIFY(store.reset());
            const std::unique_ptr<Child> first = store.start({QStringLiteral("--wait")}, 1);
            const std::unique_ptr<Child> second = store.start({QStringLiteral("--wait")}, 2);
            for (Child *child : {first.get(), second.get()})
                QVERIFY2(child->waitFor(QStringLiteral("ready"), 60000),
                         qPrintable(child->lines().join(QLatin1Char('/'))));
            first->send("go");
            second->send("go");
            int completed = 0;
            int tried = 0;
            for (Child *child : {first.get(), second.get()}) {
                QVERIFY2(child->finish(120000), "an operator's run did not end");
                const QString seen =
                    QStringLiteral("trial %1: ").arg(trial) + child->lines().join(QLatin1Char('/'));
                QVERIFY2(!child->killed(), qPrintable(seen));
                // The marks live in the shared work list: an operator whose precondition check
                // comes after the other's finished run (whose grid reload clears every mark) finds
                // nothing marked any more.
                if (child->exitCode() == 0) {
                    ++completed;
                    tried += child->runRecords();
                } else {
                    QVERIFY2(child->boxes() == QStringList{QStringLiteral("40035")}, qPrintable(seen));
                }
            }
            QVERIFY(completed >= 1);
            // Categories that both work lists held, each recorded by one operator and skipped by
            // the other.
            bothTried += std::max(0, tried - store.categories());
            const CatalogState state = store.inspect();
            QVERIFY2(state.finished(),
                     qPrintable(QStringLiteral("trial %1: ").arg(trial) + state.describe()));
        }
        qInfo("%d trials of two operators at once; %d categories were in both work lists", trials, bothTried);
        QVERIFY2(bothTried > 0, "the two runs never overlapped");
    }

    // Another workstation holds the write lock when the run starts: the run waits for it instead
    // of failing, and converts everything once the lock is released.
    void aRunWaitsWhileAnotherWriterHoldsTheDatabase()
    {
        const install::Options options = trialOptions(20, 2000);
        const TrialStore store(options, 1);
        QVERIFY2(store.error().isEmpty(), qPrintable(store.error()));
        QVERIFY(store.reset());
        const std::unique_ptr<Child> child = store.start({QStringLiteral("--wait")}, 1);
        QVERIFY2(child->waitFor(QStringLiteral("ready"), 60000),
                 qPrintable(child->lines().join(QLatin1Char('/'))));
        {
            const install::CatalogConnection other(store.catalog());
            QVERIFY2(other.error().isEmpty(), qPrintable(other.error()));
            QSqlQuery lock(other.db());
            QVERIFY(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
            child->send("go");
            QVERIFY(child->waitFor(QStringLiteral("running"), 10000));
            QVERIFY2(!child->endsWithin(2000), qPrintable(child->lines().join(QLatin1Char('/'))));
            QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
        }
        QVERIFY2(child->finish(60000) && child->exitCode() == 0,
                 qPrintable(child->lines().join(QLatin1Char('/'))));
        const CatalogState state = store.inspect();
        QVERIFY2(state.finished(), qPrintable(state.describe()));
    }
};

QTEST_GUILESS_MAIN(TestTwoOperators)
#include "tst_twooperators.moc"
