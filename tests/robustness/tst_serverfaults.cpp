// The server fails at each step of a run, on the tests' PostgreSQL server, in both stock modes:
// before the run's n-th statement (the begin and the commit of each category's transaction
// included) the server ends the run's session, as a restart or a cut network does; or another
// session takes hold of every table the run does not hold yet, so that the run's next statement
// on one of them gives up after the lock timeout; or that other session then also asks for a
// table the run holds, a deadlock whose victim is the run's transaction. A session ended or a lock
// timeout ends the run with one message carrying the server's words (or, where the session was
// opened again before a category, with none); a deadlock victim's category is converted again and
// the run ends without a message. Nothing is ever converted in part, and the next F1 on the same
// connection, as the form keeps it, leaves the store as one uninterrupted run does.

#include "support/serverstore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <chrono>
#include <future>
#include <thread>

using namespace krt;
using namespace krt::pricing;

namespace {

enum class Fault { SessionEnded, LockTimeout, Deadlock };

} // namespace

Q_DECLARE_METATYPE(Fault)

namespace {

const QStringList Tables = {QStringLiteral("MITEMCNT"), QStringLiteral("MGOODS"), QStringLiteral("IZAIKO"),
                            QStringLiteral("IIODATA")};

// Takes, in a transaction of the connection, every table of the store that the run's open
// transaction does not hold; the tables taken.
QStringList takeTables(Connection &connection)
{
    QStringList taken;
    if (!connection.beginTrans())
        return taken;
    QSqlQuery sql(connection.database());
    for (const QString &table : Tables) {
        sql.exec(QStringLiteral("SAVEPOINT t"));
        if (sql.exec(QStringLiteral("LOCK TABLE %1 IN ACCESS EXCLUSIVE MODE NOWAIT").arg(table)))
            taken << table;
        else
            sql.exec(QStringLiteral("ROLLBACK TO SAVEPOINT t"));
    }
    return taken;
}

// Another session, in a thread of its own, that takes every table the run's transaction does not
// hold and then asks for one it holds: a deadlock as soon as the run wants one of the others. The
// run's session finds it first (this one waits ten seconds before it looks), so the run's
// transaction is the victim; once it is gone, this session gets its table and lets all go. When
// the run holds nothing, the tables are let go after a while.
void deadlocker(const QString &connectionText, std::promise<QStringList> taken)
{
    Connection connection;
    QStringList got;
    if (connection.open(connectionText) && connection.execute(QStringLiteral("SET deadlock_timeout = '10s'")))
        got = takeTables(connection);
    taken.set_value(got);
    QStringList held = Tables;
    for (const QString &table : got)
        held.removeOne(table);
    if (held.isEmpty() || !connection.inTransaction())
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    else
        QSqlQuery(connection.database())
            .exec(QStringLiteral("LOCK TABLE %1 IN ACCESS EXCLUSIVE MODE").arg(held.constFirst()));
    if (connection.inTransaction())
        connection.rollbackTrans();
}

// Waits until a session of the server waits for a lock, for five seconds at most.
void waitForAWaitingLock(Connection &look)
{
    for (int i = 0; i < 500; ++i) {
        const std::optional<Recordset> waiting =
            look.openRecordset(QStringLiteral("SELECT COUNT(*) FROM pg_locks WHERE NOT granted"));
        if (!waiting || waiting->eof() || waiting->field(0).toInt() > 0)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

class TestServerFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { KRT_REQUIRE_TEST_SERVER(); }

    void aFaultAtEachStepLeavesNothingHalfDone_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::addColumn<Fault>("fault");
        for (const auto &[mode, stockMode] : {std::pair{"direct", 1}, std::pair{"deferred", 0}}) {
            QTest::addRow("%s mode, session ended", mode) << stockMode << Fault::SessionEnded;
            QTest::addRow("%s mode, lock timeout", mode) << stockMode << Fault::LockTimeout;
            QTest::addRow("%s mode, deadlock", mode) << stockMode << Fault::Deadlock;
        }
    }
    void aFaultAtEachStepLeavesNothingHalfDone()
    {
        QFETCH(int, stockMode);
        QFETCH(Fault, fault);
        static int stores = 0;
        // Five categories, two of them inventory categories, three goods each; goods prices
        // rounded up at the tens, add-on prices half up at the hundreds.
        testing::ServerStore store(QStringLiteral("faults%1").arg(++stores), 5, 15, 23,
                                   testing::eightToTen(stockMode, HasuRoundUp, 0, HasuRoundHalfUp, 1));
        const ConversionParams &params = store.conversion().params;
        const RunValues &values = store.conversion().values;
        QVERIFY2(store.error().isEmpty(), qPrintable(store.error()));

        // The steps of an uninterrupted run, and the transactions it begins.
        int steps = 0;
        int transactions = 0;
        const QString begin = QStringLiteral("BEGIN TRANSACTION");
        {
            Connection counted;
            QVERIFY(counted.open(store.connectionText()));
            counted.setStatementHook([&](const QString &sql) {
                ++steps;
                transactions += sql == begin ? 1 : 0;
                return std::optional<QString>();
            });
            QCOMPARE(PriceUpdater(counted, params, values, [] {}).run(), RunOutcome::Completed);
            QVERIFY(store.restore());
        }
        QVERIFY(steps > 4 * store.reference().categories);

        const QString text = store.connectionText();
        // The other session keeps the driver's rollback of a single failed statement, so that a
        // table it cannot take leaves it those it took.
        const QString otherText = QStringLiteral("Protocol=7.4-2;") + text;
        int failed = 0;
        int retried = 0;
        for (int step = 1; step <= steps; ++step) {
            QVERIFY(store.restore());
            const QString seen = QStringLiteral("step %1 of %2: ").arg(step).arg(steps);
            Connection run;
            QVERIFY(run.open(text));
            // The run's session finds a deadlock within 0.1 s; a lock it waits for gives up after
            // 0.2 s, or after 5 s where the other session lets go as soon as the deadlock is over.
            QVERIFY(run.execute(QStringLiteral("SET deadlock_timeout = '100ms'")));
            QVERIFY(run.execute(fault == Fault::Deadlock ? QStringLiteral("SET lock_timeout = '5s'")
                                                         : QStringLiteral("SET lock_timeout = '200ms'")));
            std::optional<Recordset> pid = run.openRecordset(QStringLiteral("SELECT pg_backend_pid()"));
            QVERIFY(pid && !pid->eof());
            const QString backend = pid->field(0).toString();
            Connection holder;
            std::thread other;
            int sent = 0;
            int begun = 0;
            run.setStatementHook([&](const QString &sql) {
                begun += sql == begin ? 1 : 0;
                if (++sent != step)
                    return std::optional<QString>();
                switch (fault) {
                case Fault::SessionEnded:
                    store.look().execute(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(backend));
                    break;
                case Fault::LockTimeout:
                    if (holder.open(otherText))
                        takeTables(holder);
                    break;
                case Fault::Deadlock: {
                    std::promise<QStringList> taken;
                    std::future<QStringList> takenNow = taken.get_future();
                    other = std::thread(deadlocker, otherText, std::move(taken));
                    // On, once the other session waits for its table.
                    if (takenNow.get().size() < Tables.size())
                        waitForAWaitingLock(store.look());
                    break;
                }
                }
                return std::optional<QString>();
            });
            QStringList told;
            const auto report = [&] { told << run.errors().value(0).description; };
            const RunOutcome outcome = PriceUpdater(run, params, values, report).run();
            if (other.joinable())
                other.join();
            if (holder.inTransaction())
                holder.rollbackTrans();
            run.setStatementHook({});

            if (fault == Fault::Deadlock) {
                // The victim's category is converted again, and the run ends without a message.
                QVERIFY2(outcome == RunOutcome::Completed && told.isEmpty(),
                         qPrintable(seen + told.join(QLatin1Char('/'))));
                retried += begun - transactions;
            } else if (outcome == RunOutcome::Completed) {
                QVERIFY2(told.isEmpty(), qPrintable(seen + told.join(QLatin1Char('/'))));
            } else {
                ++failed;
                QVERIFY2(outcome == RunOutcome::StepFailed || outcome == RunOutcome::RunFailed,
                         qPrintable(seen + QString::number(static_cast<int>(outcome))));
                QCOMPARE(told.size(), 1);
                // The server's own words reach the message.
                const QString words = fault == Fault::SessionEnded ? QStringLiteral("terminat")
                                                                   : QStringLiteral("lock timeout");
                QVERIFY2(told.constFirst().contains(words) ||
                             told.constFirst().contains(QStringLiteral("connection")),
                         qPrintable(seen + told.constFirst()));
                QVERIFY(!run.inTransaction());
            }
            const QStringList halfDone = store.halfDone();
            QVERIFY2(halfDone.isEmpty(), qPrintable(seen + halfDone.join(QStringLiteral("; "))));

            // The next F1 converts the rest.
            QStringList again;
            QCOMPARE(
                PriceUpdater(run, params, values, [&] { again << run.errors().value(0).description; }).run(),
                RunOutcome::Completed);
            QVERIFY2(again.isEmpty(), qPrintable(seen + again.join(QLatin1Char('/'))));
            const QStringList found = store.differences();
            QVERIFY2(found.isEmpty(), qPrintable(seen + found.join(QStringLiteral("; "))));
        }
        if (fault == Fault::Deadlock) {
            qInfo("%d steps, the run's transaction was a deadlock victim and converted again %d times", steps,
                  retried);
            // Every category whose transaction converts prices was a victim at least once.
            std::optional<Recordset> converting = store.look().openRecordset(
                stockMode != 0 ? QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")
                               : QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE INV_FLG = '0'"));
            QVERIFY(converting && !converting->eof());
            QVERIFY2(retried >= converting->field(0).toInt(), qPrintable(converting->field(0).toString()));
            return;
        }
        qInfo("%d steps, the run failed at %d of them", steps, failed);
        // A lock on a table the run holds already cannot be had; a session ended just before a
        // category's transaction begins is opened again. Every other step fails the run.
        QVERIFY(failed >= steps / 2);
    }
};

QTEST_GUILESS_MAIN(TestServerFaults)
#include "tst_serverfaults.moc"
