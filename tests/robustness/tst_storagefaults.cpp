#include "robustness/trialstore.h"

#include <QTest>

#include <map>

using namespace krt;
using namespace krt::robustness;

// The storage fails in the middle of a run: the database takes no more writes (SQLite's
// query_only, the error a read-only database file gives), the file system refuses every write of
// the process (as a file system turned read-only under an open file), or every write beyond the
// present size of the write-ahead log (as a full disk). Both file-system faults are made with
// the process's file size limit (RLIMIT_FSIZE, with SIGXFSZ ignored), which binds root too, so
// they need neither a special file system nor privileges. The run must stop with message
// "40275" and no crash, leave every category wholly converted once or wholly untouched, and a
// second run on the mended storage must finish the job with the prices of one uninterrupted run.
class TestStorageFaults : public QObject
{
    Q_OBJECT

private:
    const TrialStore &store(int stockMode)
    {
        std::unique_ptr<TrialStore> &store = m_stores[stockMode];
        if (!store) {
            const install::Options options = trialOptions(60, 6000);
            store = std::make_unique<TrialStore>(options, stockMode);
        }
        return *store;
    }

    std::map<int, std::unique_ptr<TrialStore>> m_stores;
    int m_trials = 0;

private Q_SLOTS:
    void aFailingStorageStopsTheRunAndLosesNothing_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("percent"); // where in the run's statements the storage fails
        for (const QString &fault :
             {QStringLiteral("readonly"), QStringLiteral("nowrite"), QStringLiteral("diskfull")}) {
            for (const int percent : {2, 50, 95})
                QTest::addRow("direct mode, %s at %d %%", qPrintable(fault), percent)
                    << 1 << fault << percent;
            QTest::addRow("deferred mode, %s at 50 %%", qPrintable(fault)) << 0 << fault << 50;
        }
    }
    void aFailingStorageStopsTheRunAndLosesNothing()
    {
        QFETCH(int, stockMode);
        QFETCH(QString, fault);
        QFETCH(int, percent);
        const TrialStore &trials = store(stockMode);
        QVERIFY2(trials.error().isEmpty(), qPrintable(trials.error()));
        QVERIFY(trials.reset());
        const int at = std::max(1, trials.referenceStatements() * percent / 100);
        const std::unique_ptr<Child> child = trials.start(
            {QStringLiteral("--fault"), fault, QStringLiteral("--fault-at"), QString::number(at)});
        QVERIFY2(child->finish(60000), "the program did not end");
        ++m_trials;
        const QString seen = child->lines().join(QLatin1Char('/'));
        QVERIFY2(!child->killed(), qPrintable(QStringLiteral("the program crashed: ") + seen));
        QVERIFY2(child->exitCode() == 1,
                 qPrintable(QStringLiteral("exit %1: ").arg(child->exitCode()) + seen));
        // One report of the failed run; a grid reload on the storage that still fails reports
        // itself with the database's reason, and a run log the same fault keeps from growing is
        // said to be missing its line.
        const QStringList boxes = child->boxes();
        QCOMPARE(boxes.value(0), QStringLiteral("40275"));
        QCOMPARE(boxes.count(QStringLiteral("40275")), 1);
        for (const QString &box : boxes)
            QVERIFY2(box == QStringLiteral("40275") || box == QStringLiteral("11002") ||
                         box.startsWith(QStringLiteral("実行記録にこの実行の行を書き込めませんでした。")),
                     qPrintable(seen));

        const CatalogState failed = trials.inspect();
        QVERIFY2(failed.sound(), qPrintable(failed.describe()));
        QString why;
        QVERIFY2(trials.runToEnd(&why), qPrintable(QStringLiteral("the rerun failed: ") + why));
        const CatalogState rerun = trials.inspect();
        QVERIFY2(rerun.finished(), qPrintable(QStringLiteral("after the rerun: ") + rerun.describe()));
    }

    void cleanupTestCase() { qInfo("%d storage fault trials", m_trials); }
};

QTEST_GUILESS_MAIN(TestStorageFaults)
#include "tst_storagefaults.moc"
