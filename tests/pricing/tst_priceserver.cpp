// Two operators converting on one database of the tests' PostgreSQL server at the same time, in
// deferred mode: reads there see the last committed version without waiting for writers, as on
// SQL Server with row versioning, so two runs can read the same pending categories. The second
// operator's statements are interleaved with the first's at the moment that matters, through the
// statement hook of its connection.

#include "pgserver/pgserver.h"
#include "pricing/priceupdate.h"
#include "pricing/writeaccess.h"
#include "support/testcatalog.h"

#include <QTest>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

using namespace krt;
using namespace krt::pricing;

namespace {

const QDate Today(2014, 4, 1);
const QString Day = QStringLiteral("2014/04/01");

// Categories B, C, D and X; A is an inventory category recorded by an earlier run with 5 % to 8 %,
// goods prices half up at the tens' digit (exponent 1), add-on prices without rounding. Every
// price is 1050.
QString storeScript()
{
    QString script = QStringLiteral(
        "INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, TAX_FREE_FLG, INV_FLG, COMP_FLG, CHK, "
        "UPDATE_DATE, "
        "TAX_ST, TAX_END, GOODS_HASU_FLG, GOODS_HASU_ICHI, GADD_HASU_FLG, GADD_HASU_ICHI) VALUES "
        "('A', 'inventory', 0, '0', '1', '0', 1, '2014/03/31', 5, 8, '3', '1', '0', '0'), "
        "('B', 'goods', 0, '0', '0', '0', 1, NULL, NULL, NULL, NULL, NULL, NULL, NULL), "
        "('C', 'goods', 0, '0', '0', '0', 1, NULL, NULL, NULL, NULL, NULL, NULL, NULL), "
        "('D', 'goods', 0, '0', '0', '0', 1, NULL, NULL, NULL, NULL, NULL, NULL, NULL), "
        "('X', 'inventory', 0, '0', '1', '0', 1, NULL, NULL, NULL, NULL, NULL, NULL, NULL);\n");
    for (const char *c : {"A", "B", "C", "D", "X"})
        script += QStringLiteral("INSERT INTO MGOODS VALUES ('%1-1', 'g', '%1', 0, 1050, 1050, 1050, 1050, "
                                 "1050, 1050, 1050, 1050, 1050, NULL);\n")
                      .arg(QLatin1String(c));
    return script;
}

ConversionParams fiveToEight()
{
    ConversionParams p;
    p.CalcMethod = 1;
    p.TAX_ST = {QStringLiteral("0"), QStringLiteral("5"), QString()};
    p.TAX_END = {QString(), QStringLiteral("8"), QStringLiteral("0")};
    p.HASU_FLG = {HasuRoundHalfUp, HasuNone};
    p.HASU_ICHI = {0, 0};
    return p;
}

RunValues deferred()
{
    return RunValues{1, 0, true, QStringLiteral("2014/04/01 10:00:00"), QStringLiteral("201404"), Today};
}

// One operator: the program's connection and a run over it.
struct Operator
{
    Connection connection;
    ConversionParams params = fiveToEight();
    int reports = 0;
    std::unique_ptr<PriceUpdater> updater;

    bool open(const QString &connectionText)
    {
        if (!connection.open(connectionText))
            return false;
        updater = std::make_unique<PriceUpdater>(connection, params, deferred(), [this] { ++reports; });
        return true;
    }

    // One category as the run converts it in deferred mode, in its own transaction; the step
    // result, or -2 when the transaction could not be begun or committed.
    int convert(const QString &itemCd, const QString &invFlg)
    {
        if (!connection.beginTrans())
            return -2;
        int r = updater->prfn_MarkCategory(itemCd, 0, invFlg);
        if (r == 0 && invFlg == QStringLiteral("0")) {
            r = updater->prfn_UpdateMGoods(itemCd, 0);
            if (r == 0)
                r = updater->prfn_UpdateMGoodsPending();
        }
        if (r == -1)
            return r;
        return connection.commitTrans() ? r : -2;
    }
};

} // namespace

class TestPriceServer : public QObject
{
    Q_OBJECT

    std::unique_ptr<testing::PriceDb> m_db;
    std::unique_ptr<Operator> m_firstOperator;
    std::unique_ptr<Operator> m_secondOperator;

    Operator &first() { return *m_firstOperator; }
    Operator &second() { return *m_secondOperator; }

    bool newStore()
    {
        static int stores = 0;
        m_firstOperator = std::make_unique<Operator>();
        m_secondOperator = std::make_unique<Operator>();
        m_db = std::make_unique<testing::PriceDb>(
            test::PgServer::instance(), QStringLiteral("two%1").arg(++stores), QStringLiteral("integer"));
        if (!m_db->error().isEmpty() || !m_db->fill(storeScript()).isEmpty())
            return false;
        return first().open(m_db->connectionText()) && second().open(m_db->connectionText());
    }

    QString price(const QString &category)
    {
        return m_db
            ->value(
                QStringLiteral("SELECT HYOJYUN_PRC || '|' || H_ADD1_PRC FROM MGOODS WHERE JAN_CD = '%1-1'")
                    .arg(category))
            .toString();
    }

    QString state(const QString &category)
    {
        return m_db
            ->value(QStringLiteral("SELECT COALESCE(UPDATE_DATE, '-') || '|' || COMP_FLG FROM MITEMCNT "
                                   "WHERE ITEM_CD = '%1'")
                        .arg(category))
            .toString();
    }

    // Runs the other operator's work once, at the first statement a connection sends after it
    // has read the pending list: the list still shows what the other operator is about to change.
    static void afterPendingList(Connection &connection, std::function<void()> meanwhile)
    {
        int seen = 0;
        connection.setStatementHook([seen, meanwhile](const QString &sql) mutable {
            if (seen == 1)
                meanwhile();
            if (seen < 2 && (seen == 1 || sql.startsWith(QStringLiteral(
                                              "SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, TAX_ST"))))
                ++seen;
            return std::optional<QString>();
        });
    }

    // The first operator converts category C, and with it the pending category A, while the
    // second operator has read A as pending.
    void firstOperatorConvertsMeanwhile()
    {
        afterPendingList(second().connection, [this] {
            if (first().convert(QStringLiteral("C"), QStringLiteral("0")) != 0)
                qWarning() << "the first operator failed:"
                           << first().connection.errors().value(0).description;
        });
    }

private Q_SLOTS:
    void initTestCase() { KRT_REQUIRE_TEST_SERVER(); }

    // A login that lacks one right the program uses is found before anything is filled or
    // marked, with the table and the right named: the fill, the record or the category clear
    // would otherwise fail half-way.
    void aMissingRightIsFoundBeforeAnythingIsWritten_data()
    {
        QTest::addColumn<QString>("revoked");
        QTest::addColumn<QString>("named");
        QTest::newRow("insert into the work list")
            << QStringLiteral("INSERT ON MITEMCNT") << QStringLiteral("MITEMCNT INSERT");
        QTest::newRow("delete from the work list")
            << QStringLiteral("DELETE ON MITEMCNT") << QStringLiteral("MITEMCNT DELETE");
        QTest::newRow("empty the price backup")
            << QStringLiteral("DELETE ON IZSELL_MENT") << QStringLiteral("IZSELL_MENT DELETE");
        QTest::newRow("every right") << QString() << QString();
    }
    void aMissingRightIsFoundBeforeAnythingIsWritten()
    {
        QFETCH(QString, revoked);
        QFETCH(QString, named);
        static int logins = 0;
        QVERIFY(newStore());
        const QString role = QStringLiteral("krt_rights%1").arg(++logins);
        QCOMPARE(
            m_db->fill(
                QStringLiteral("CREATE ROLE %1 LOGIN;\n"
                               "GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO %1;\n")
                    .arg(role) +
                (revoked.isEmpty() ? QString() : QStringLiteral("REVOKE %1 FROM %2;\n").arg(revoked, role))),
            QString());
        QString text = m_db->connectionText();
        text.remove(QStringLiteral("Username=") + test::PgServer::instance().user() + QLatin1Char(';'));
        Connection login;
        QVERIFY2(login.open(text + QStringLiteral("User ID=") + role + QLatin1Char(';')),
                 qPrintable(login.errors().value(0).description));
        const std::optional<WriteRefusal> refusal = findWriteRefusal(login, 1);
        QCOMPARE(refusal ? refusal->table + QLatin1Char(' ') + refusal->right : QString(), named);
    }

    // Read committed: the second operator's claim of A finds it completed and leaves its prices
    // alone. A is converted once (1050 at 5 % is 1000 net, 1080 at 8 %), not twice (1110).
    void aPendingCategoryIsConvertedOnceByTwoOperators()
    {
        QVERIFY(newStore());
        firstOperatorConvertsMeanwhile();
        QCOMPARE(second().convert(QStringLiteral("B"), QStringLiteral("0")), 0);
        QCOMPARE(first().reports + second().reports, 0);
        for (const char *c : {"A", "B", "C"})
            QCOMPARE(price(QLatin1String(c)), QStringLiteral("1080|1080"));
        QCOMPARE(state(QStringLiteral("A")), QStringLiteral("2014/03/31|1"));
        QCOMPARE(state(QStringLiteral("B")), Day + QStringLiteral("|1"));
        QCOMPARE(state(QStringLiteral("C")), Day + QStringLiteral("|1"));
        QCOMPARE(m_db->value(QStringLiteral("SELECT COMP_DATE FROM MITEMCNT WHERE ITEM_CD = 'A'")).toString(),
                 Day);
    }

    // Repeatable read, as snapshot isolation: the second operator's claim of A is a write conflict.
    // Its category's transaction is rolled back and reported with the server's words; nothing is
    // lost, and its next run converts B.
    void underSnapshotIsolationTheLoserRollsBackAndRunsAgain()
    {
        QVERIFY(newStore());
        QVERIFY(second().connection.execute(
            QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL REPEATABLE READ")));
        firstOperatorConvertsMeanwhile();
        QCOMPARE(second().convert(QStringLiteral("B"), QStringLiteral("0")), -1);
        QCOMPARE(second().reports, 1);
        QVERIFY2(second().connection.errors().value(0).description.contains(QStringLiteral("serialize")),
                 qPrintable(second().connection.errors().value(0).description));
        QVERIFY(!second().connection.inTransaction());
        QCOMPARE(price(QStringLiteral("A")), QStringLiteral("1080|1080"));
        QCOMPARE(price(QStringLiteral("B")), QStringLiteral("1050|1050"));
        QCOMPARE(state(QStringLiteral("B")), QStringLiteral("-|0"));

        second().connection.setStatementHook({});
        QCOMPARE(second().convert(QStringLiteral("B"), QStringLiteral("0")), 0);
        for (const char *c : {"A", "B", "C"})
            QCOMPARE(price(QLatin1String(c)), QStringLiteral("1080|1080"));
        QCOMPARE(state(QStringLiteral("B")), Day + QStringLiteral("|1"));
    }

    // An inventory category the second operator records while the first is converting the pending
    // ones stays pending: it is not completed without its prices, and the next conversion of
    // another category converts it.
    void aCategoryRecordedMeanwhileStaysPending()
    {
        QVERIFY(newStore());
        afterPendingList(first().connection, [this] {
            if (second().convert(QStringLiteral("X"), QStringLiteral("1")) != 0)
                qWarning() << "the second operator failed:"
                           << second().connection.errors().value(0).description;
        });
        QCOMPARE(first().convert(QStringLiteral("B"), QStringLiteral("0")), 0);
        QCOMPARE(state(QStringLiteral("X")), Day + QStringLiteral("|0"));
        QCOMPARE(price(QStringLiteral("X")), QStringLiteral("1050|1050"));
        first().connection.setStatementHook({});
        QCOMPARE(first().convert(QStringLiteral("D"), QStringLiteral("0")), 0);
        QCOMPARE(state(QStringLiteral("X")), Day + QStringLiteral("|1"));
        for (const char *c : {"A", "B", "D", "X"})
            QCOMPARE(price(QLatin1String(c)), QStringLiteral("1080|1080"));
        QCOMPARE(first().reports + second().reports, 0);
    }

    // The server ends the run's session in the middle of a category (direct mode): that category's
    // transaction is gone with the session, the categories converted before stay converted and
    // recorded, the failure is reported once with the server's words, and the next run opens a new
    // session and converts the rest, each price once.
    void aSessionEndedMidRunLeavesNothingHalfDone()
    {
        QVERIFY(newStore());
        Connection &c = second().connection;
        std::optional<Recordset> pid = c.openRecordset(QStringLiteral("SELECT pg_backend_pid()"));
        QVERIFY(pid && !pid->eof());
        const QString terminate =
            QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid->field(0).toString());
        int movements = 0;
        QString cut;
        c.setStatementHook([&](const QString &sql) {
            if (sql.startsWith(QStringLiteral("UPDATE IIODATA")) && ++movements == 2) {
                cut = sql.section(QStringLiteral("DAI_BUNRUI_CD = '"), 1).left(1);
                m_db->value(terminate);
            }
            return std::optional<QString>();
        });
        RunValues direct = deferred();
        direct.StockMode = 1;
        int reports = 0;
        QCOMPARE(PriceUpdater(c, fiveToEight(), direct, [&] { ++reports; }).run(), RunOutcome::StepFailed);
        QCOMPARE(reports, 1);
        QVERIFY2(!c.errors().isEmpty(), "no error kept for the message");
        QVERIFY(!c.inTransaction());
        // X (inventory, first in the list) is converted; the cut category and those after are not.
        QCOMPARE(price(QStringLiteral("X")), QStringLiteral("1080|1080"));
        QCOMPARE(state(QStringLiteral("X")), Day + QStringLiteral("|0"));
        QCOMPARE(price(cut), QStringLiteral("1050|1050"));
        QCOMPARE(state(cut), QStringLiteral("-|0"));

        c.setStatementHook({});
        QCOMPARE(PriceUpdater(c, fiveToEight(), direct, [&] { ++reports; }).run(), RunOutcome::Completed);
        QCOMPARE(reports, 1);
        for (const char *k : {"B", "C", "D", "X"})
            QCOMPARE(price(QLatin1String(k)), QStringLiteral("1080|1080"));
        QCOMPARE(price(QStringLiteral("A")), QStringLiteral("1050|1050"));
    }

    // Another session holds the goods of category C: the run's statement gives up after the lock
    // timeout, C's transaction is rolled back and reported with the server's words, and the next
    // run, the lock released, converts C and the rest once.
    void aLockTimeoutRollsBackTheCategory()
    {
        QVERIFY(newStore());
        Connection &c = second().connection;
        QVERIFY(c.execute(QStringLiteral("SET lock_timeout = '300ms'")));
        Connection &holder = first().connection;
        QVERIFY(holder.beginTrans());
        QVERIFY(
            holder.execute(QStringLiteral("UPDATE MGOODS SET UPDATE_DT = 'held' WHERE DAI_BUNRUI_CD = 'C'")));
        RunValues direct = deferred();
        direct.StockMode = 1;
        int reports = 0;
        QCOMPARE(PriceUpdater(c, fiveToEight(), direct, [&] { ++reports; }).run(), RunOutcome::StepFailed);
        QCOMPARE(reports, 1);
        QVERIFY2(c.errors().value(0).description.contains(QStringLiteral("lock timeout")),
                 qPrintable(c.errors().value(0).description));
        QVERIFY(holder.rollbackTrans());
        QCOMPARE(price(QStringLiteral("C")), QStringLiteral("1050|1050"));
        QCOMPARE(state(QStringLiteral("C")), QStringLiteral("-|0"));
        QCOMPARE(PriceUpdater(c, fiveToEight(), direct, [&] { ++reports; }).run(), RunOutcome::Completed);
        QCOMPARE(reports, 1);
        for (const char *k : {"B", "C", "D", "X"})
            QCOMPARE(price(QLatin1String(k)), QStringLiteral("1080|1080"));
    }

    // Another session holds the goods of category C and then wants C's row of the work list, which
    // the run has just recorded, before the run asks for C's goods: a deadlock, found by the run's
    // session (the other one is told to wait longer before it checks), so the run's transaction is
    // the victim. The run converts C again and finishes without a message.
    void aDeadlockVictimIsConvertedAgain()
    {
        QVERIFY(newStore());
        Connection &c = second().connection;
        QVERIFY(c.execute(QStringLiteral("UPDATE MITEMCNT SET CHK = NULL WHERE ITEM_CD IN ('B', 'D')")));
        const QString text = m_db->connectionText();
        std::promise<void> locked;
        std::promise<void> go;
        std::future<void> goNow = go.get_future();
        QString holderError;
        std::thread holder([&] {
            Connection other;
            if (!other.open(text) || !other.execute(QStringLiteral("SET deadlock_timeout = '10s'")) ||
                !other.beginTrans() ||
                !other.execute(
                    QStringLiteral("UPDATE MGOODS SET UPDATE_DT = 'held' WHERE DAI_BUNRUI_CD = 'C'"))) {
                holderError = QStringLiteral("could not hold C");
                locked.set_value();
                return;
            }
            locked.set_value();
            goNow.wait();
            if (!other.execute(QStringLiteral("UPDATE MITEMCNT SET CHK = CHK WHERE ITEM_CD = 'C'")))
                holderError = other.errors().value(0).description;
            other.rollbackTrans();
        });
        locked.get_future().wait();
        bool asked = false;
        c.setStatementHook([&](const QString &sql) {
            if (!asked && sql.startsWith(QStringLiteral("UPDATE MGOODS")) &&
                sql.contains(QStringLiteral("DAI_BUNRUI_CD = 'C'"))) {
                asked = true;
                go.set_value();
                // Long enough for the other session to wait for C's row of the work list.
                std::this_thread::sleep_for(std::chrono::milliseconds(700));
            }
            return std::optional<QString>();
        });
        RunValues direct = deferred();
        direct.StockMode = 1;
        int reports = 0;
        const RunOutcome outcome = PriceUpdater(c, fiveToEight(), direct, [&] { ++reports; }).run();
        if (!asked)
            go.set_value();
        holder.join();
        QCOMPARE(holderError, QString());
        QCOMPARE(outcome, RunOutcome::Completed);
        QCOMPARE(reports, 0);
        for (const char *k : {"C", "X"})
            QCOMPARE(price(QLatin1String(k)), QStringLiteral("1080|1080"));
        QCOMPARE(state(QStringLiteral("C")), Day + QStringLiteral("|1"));
        QCOMPARE(price(QStringLiteral("B")), QStringLiteral("1050|1050"));
    }
};

QTEST_GUILESS_MAIN(TestPriceServer)
#include "tst_priceserver.moc"
