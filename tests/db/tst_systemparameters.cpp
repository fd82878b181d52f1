// The system parameters of a database: read where the settings say they live, never with a name
// that is no plain identifier, and what the run takes from their contents.
#include "db/systemparameters.h"
#include "support/statementlog.h"
#include "support/testcatalog.h"

#include <QTest>

using namespace krt;

namespace {

const QString Parameters = QStringLiteral(R"(
INSERT INTO MSYSPARM VALUES (1200, '0');
INSERT INTO MSYSPARM VALUES (3080, '0.08');
)");

const QString Masters = QStringLiteral(R"(
INSERT INTO MITEMCD VALUES ('A01', '衣料', '0', '1');
)");

} // namespace

class TestSystemParameters : public QObject
{
    Q_OBJECT

    testing::OpenCatalog m_db;

    bool open(const QString &script = {}) { return m_db.open(script); }

private Q_SLOTS:
    void cleanup() { m_db.reset(); }

    void aParameterFoundGivesItsContent()
    {
        QVERIFY(open(Parameters));
        QLB318C2 parms(&m_db.conn(), SysParmSource());
        QCOMPARE(parms.GetSysParm(1200), QLB318C2::Found);
        QCOMPARE(parms.NAIYO().toInt(), 0);
        QCOMPARE(parms.GetSysParm(3080), QLB318C2::Found);
        QCOMPARE(parms.NAIYO().toDouble(), 0.08);
    }

    void aMissingParameterKeepsTheContentFoundLast()
    {
        QVERIFY(open(Parameters));
        QLB318C2 parms(&m_db.conn(), SysParmSource());
        QCOMPARE(parms.GetSysParm(3080), QLB318C2::Found);
        const short missing = parms.GetSysParm(9999);
        QVERIFY(missing != 0);
        QCOMPARE(missing, QLB318C2::NotFound);
        QCOMPARE(parms.NAIYO().toString(), QStringLiteral("0.08"));
    }

    void unreadableParametersAreNotFound()
    {
        QVERIFY(open(QStringLiteral("DROP TABLE MSYSPARM;")));
        QLB318C2 parms(&m_db.conn(), SysParmSource());
        QCOMPARE(parms.GetSysParm(1200), QLB318C2::ReadFailed);
        QVERIFY(parms.NAIYO().isNull());

        QLB318C2 unconnected(nullptr, SysParmSource());
        QCOMPARE(unconnected.GetSysParm(1200), QLB318C2::ReadFailed);
    }

    void parametersAreReadWhereTheSettingsSayTheyLive()
    {
        QVERIFY(open(QStringLiteral("CREATE TABLE SYS_PRM (PRM_ID INTEGER, PRM_MEMO TEXT, PRM_VAL TEXT);\n"
                                    "INSERT INTO SYS_PRM VALUES (1200, 'x', ' 1.0 ');\n"
                                    "DROP TABLE MSYSPARM;")));
        QLB318C2 family(&m_db.conn(),
                        {QStringLiteral("SYS_PRM"), QStringLiteral("PRM_ID"), QStringLiteral("PRM_VAL")});
        QCOMPARE(family.GetSysParm(1200), QLB318C2::Found);
        QCOMPARE(stockModeOf(family.NAIYO()), std::optional<int>(1));
        QVERIFY(family.GetSysParm(3080) != QLB318C2::Found);

        // The usual table is absent here: a non-zero answer, which the caller does not report.
        QLB318C2 usual(&m_db.conn(), SysParmSource());
        QVERIFY(usual.GetSysParm(1200) != QLB318C2::Found);
    }

    void namesThatAreNoPlainIdentifiersAreNeverSent_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("content");
        QTest::newRow("statement in the table") << QStringLiteral("MSYSPARM; DROP TABLE MITEMCD")
                                                << QStringLiteral("PARM_NO") << QStringLiteral("NAIYO");
        QTest::newRow("quote in a column")
            << QStringLiteral("MSYSPARM") << QStringLiteral("PARM_NO'") << QStringLiteral("NAIYO");
        QTest::newRow("blank in a column") << QStringLiteral("MSYSPARM") << QStringLiteral("PARM_NO")
                                           << QStringLiteral("NAIYO FROM MITEMCD --");
        QTest::newRow("four-part table")
            << QStringLiteral("a.b.c.MSYSPARM") << QStringLiteral("PARM_NO") << QStringLiteral("NAIYO");
    }
    void namesThatAreNoPlainIdentifiersAreNeverSent()
    {
        QFETCH(QString, table);
        QFETCH(QString, number);
        QFETCH(QString, content);
        QVERIFY(open(Parameters + Masters));
        const testing::StatementLog log(&m_db.conn());
        QLB318C2 parms(&m_db.conn(), {table, number, content});
        QCOMPARE(parms.GetSysParm(1200), QLB318C2::ReadFailed);
        QVERIFY(log.statements.isEmpty());
        QVERIFY(m_db.conn().openRecordset(QStringLiteral("SELECT ITEM_CD FROM MITEMCD")));
    }

    void theStockModeIsAWholeNumberFromAnyNumericText_data()
    {
        QTest::addColumn<QVariant>("content");
        QTest::addColumn<std::optional<int>>("mode");
        QTest::newRow("0") << QVariant(QStringLiteral("0")) << std::optional<int>(0);
        QTest::newRow("1") << QVariant(QStringLiteral("1")) << std::optional<int>(1);
        QTest::newRow("blanks") << QVariant(QStringLiteral(" 1 ")) << std::optional<int>(1);
        QTest::newRow("1.0") << QVariant(QStringLiteral("1.0")) << std::optional<int>(1);
        QTest::newRow("0.0") << QVariant(QStringLiteral("0.0")) << std::optional<int>(0);
        QTest::newRow("numeric column") << QVariant(2.0) << std::optional<int>(2);
        QTest::newRow("half to even") << QVariant(QStringLiteral("2.5")) << std::optional<int>(2);
        QTest::newRow("negative") << QVariant(QStringLiteral("-1")) << std::optional<int>(-1);
        QTest::newRow("word") << QVariant(QStringLiteral("本店")) << std::optional<int>();
        QTest::newRow("empty") << QVariant(QString()) << std::optional<int>();
        QTest::newRow("Null") << QVariant() << std::optional<int>();
        QTest::newRow("too large") << QVariant(QStringLiteral("1e12")) << std::optional<int>();
    }
    void theStockModeIsAWholeNumberFromAnyNumericText()
    {
        QFETCH(QVariant, content);
        QFETCH(std::optional<int>, mode);
        QCOMPARE(stockModeOf(content), mode);
    }

    void theTaxRateBecomesWholePercent_data()
    {
        QTest::addColumn<QVariant>("content");
        QTest::addColumn<QString>("percent"); // empty: no preset
        QTest::newRow("0.08") << QVariant(QStringLiteral("0.08")) << QStringLiteral("8");
        QTest::newRow("0.1") << QVariant(QStringLiteral("0.1")) << QStringLiteral("10");
        QTest::newRow("0.10, blanks") << QVariant(QStringLiteral(" 0.10 ")) << QStringLiteral("10");
        QTest::newRow("0.29") << QVariant(QStringLiteral("0.29")) << QStringLiteral("29");
        QTest::newRow("numeric column") << QVariant(0.08) << QStringLiteral("8");
        QTest::newRow("0") << QVariant(QStringLiteral("0")) << QStringLiteral("0");
        QTest::newRow("10 is already percent") << QVariant(QStringLiteral("10")) << QStringLiteral("10");
        QTest::newRow("8.0 is already percent") << QVariant(QStringLiteral("8.0")) << QStringLiteral("8");
        QTest::newRow("1 is 100 percent") << QVariant(QStringLiteral("1")) << QString();
        QTest::newRow("100") << QVariant(QStringLiteral("100")) << QString();
        QTest::newRow("negative") << QVariant(QStringLiteral("-0.08")) << QString();
        QTest::newRow("word") << QVariant(QStringLiteral("八")) << QString();
        QTest::newRow("Null") << QVariant() << QString();
    }
    void theTaxRateBecomesWholePercent()
    {
        QFETCH(QVariant, content);
        QFETCH(QString, percent);
        QCOMPARE(taxPercentOf(content).value_or(QString()), percent);
    }
};

QTEST_GUILESS_MAIN(TestSystemParameters)
#include "tst_systemparameters.moc"
