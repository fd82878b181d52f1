#include "pricing/pricesql.h"

#include <QTest>

using namespace krt;
using namespace krt::pricing;

namespace {

// Goods prices, method 1 from 5 to 8, rounded half up at the ones; the column is read as an
// exact decimal wherever the expression uses it.
const QString WorkedExample = QStringLiteral(
    "CASE WHEN ((CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) - FLOOR(CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) * 5"
    " / 105)) + FLOOR((CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) - FLOOR(CAST(HYOJYUN_PRC AS DECIMAL(19, 4"
    ")) * 5 / 105)) * 8 / 100)) - POWER(10, 1) < 0 THEN ((CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) - FLOO"
    "R(CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) * 5 / 105)) + FLOOR((CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) "
    "- FLOOR(CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) * 5 / 105)) * 8 / 100)) ELSE FLOOR(((CAST(HYOJYUN_P"
    "RC AS DECIMAL(19, 4)) - FLOOR(CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) * 5 / 105)) + FLOOR((CAST(HYO"
    "JYUN_PRC AS DECIMAL(19, 4)) - FLOOR(CAST(HYOJYUN_PRC AS DECIMAL(19, 4)) * 5 / 105)) * 8 / 100))"
    " / POWER(10, 1) + 0.5) * POWER(10, 1) END");

ConversionParams params(int method, const QString &oldRate, const QString &newRate, int code, int digit,
                        PriceKind kind = Goods)
{
    ConversionParams p;
    p.CalcMethod = method;
    p.TAX_ST = {QStringLiteral("0"), QStringLiteral("3"), QStringLiteral("7")};
    p.TAX_END = {QStringLiteral("6"), QStringLiteral("9"), QStringLiteral("0")};
    p.TAX_ST[method] = oldRate;
    p.TAX_END[method] = newRate;
    p.HASU_FLG[kind] = code;
    p.HASU_ICHI[kind] = digit;
    return p;
}

// The converted price of a column as the database must compute it.
QString converted(const QString &column, const QString &a, const QString &a100, const QString &b)
{
    const QString exact = QStringLiteral("CAST(%1 AS DECIMAL(19, 4))").arg(column);
    const QString net = QStringLiteral("(%1 - FLOOR(%1 * %2 / %3))").arg(exact, a, a100);
    return QStringLiteral("(%1 + FLOOR(%1 * %2 / 100))").arg(net, b);
}

} // namespace

class TestPriceSql : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theWorkedExampleIsProducedToTheByte()
    {
        QCOMPARE(WorkedExample.size(), 706);
        const ConversionParams p = params(1, QStringLiteral("5"), QStringLiteral("8"), HasuRoundHalfUp, 0);
        QCOMPARE(prfn_TaxSql(QStringLiteral("HYOJYUN_PRC"), Goods, p, 1), WorkedExample);
        QCOMPARE(
            prfn_TaxSqlStored(QStringLiteral("HYOJYUN_PRC"), 5, 8, QStringLiteral("3"), QStringLiteral("1")),
            std::optional<QString>(WorkedExample));
    }

    void roundingTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<short>("n");
        QTest::addColumn<QString>("expected");
        QTest::newRow("half up at 2") << int(HasuRoundHalfUp) << short(2)
                                      << QStringLiteral("FLOOR(X / POWER(10, 2) + 0.5) * POWER(10, 2)");
        QTest::newRow("down at 0") << int(HasuRoundDown) << short(0)
                                   << QStringLiteral("FLOOR(X / POWER(10, 0)) * POWER(10, 0)");
        QTest::newRow("up at 4, 0.9999 not 1")
            << int(HasuRoundUp) << short(4)
            << QStringLiteral("FLOOR(X / POWER(10, 4) + 0.9999) * POWER(10, 4)");
    }
    void roundingTexts()
    {
        QFETCH(int, code);
        QFETCH(short, n);
        QFETCH(QString, expected);
        const QString x = QStringLiteral("X");
        const QString text = code == HasuRoundHalfUp ? prfn_RoundHalfUpSql(x, n)
                             : code == HasuRoundDown ? prfn_RoundDownSql(x, n)
                                                     : prfn_RoundUpSql(x, n);
        QCOMPARE(text, expected);
    }

    void guardedRoundingPicksTheExponentOfTheKind_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("digit");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none ignores the digit position")
            << int(Goods) << int(HasuNone) << 2
            << QStringLiteral(
                   "CASE WHEN T - POWER(10, 0) < 0 THEN T ELSE FLOOR(T / POWER(10, 0)) * POWER(10, 0) END");
        QTest::newRow("round up at the thousands writes exponent 4 three times")
            << int(Goods) << int(HasuRoundUp) << 3
            << QStringLiteral("CASE WHEN T - POWER(10, 4) < 0 THEN T ELSE FLOOR(T / POWER(10, 4) + 0.9999) * "
                              "POWER(10, 4) END");
        QTest::newRow("round down at the tens, add-on kind")
            << int(AddOn) << int(HasuRoundDown) << 1
            << QStringLiteral(
                   "CASE WHEN T - POWER(10, 2) < 0 THEN T ELSE FLOOR(T / POWER(10, 2)) * POWER(10, 2) END");
        QTest::newRow("half up at the hundreds")
            << int(Goods) << int(HasuRoundHalfUp) << 2
            << QStringLiteral("CASE WHEN T - POWER(10, 3) < 0 THEN T ELSE FLOOR(T / POWER(10, 3) + 0.5) * "
                              "POWER(10, 3) END");
        QTest::newRow("an unknown code leaves the rounded part empty")
            << int(Goods) << 7 << 0 << QStringLiteral("CASE WHEN T - POWER(10, 1) < 0 THEN T ELSE  END");
    }
    void guardedRoundingPicksTheExponentOfTheKind()
    {
        QFETCH(int, kind);
        QFETCH(int, code);
        QFETCH(int, digit);
        QFETCH(QString, expected);
        const PriceKind priceKind = static_cast<PriceKind>(kind);
        ConversionParams p = params(1, QStringLiteral("5"), QStringLiteral("8"), code, digit, priceKind);
        // The other kind's choice must not leak in.
        const PriceKind other = priceKind == Goods ? AddOn : Goods;
        p.HASU_FLG[other] = HasuRoundUp;
        p.HASU_ICHI[other] = 1;
        QCOMPARE(prfn_HasuSql(QStringLiteral("T"), priceKind, p), expected);
    }

    void ratesOfTheSelectedMethodGoIntoTheConversion_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("oldRate");
        QTest::addColumn<QString>("newRate");
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("a100");
        QTest::addColumn<QString>("b");
        QTest::newRow("method 0: old rate 0 over 100")
            << 0 << QStringLiteral("0") << QStringLiteral("8") << QStringLiteral("0") << QStringLiteral("100")
            << QStringLiteral("8");
        QTest::newRow("method 2: new rate 0")
            << 2 << QStringLiteral("8") << QStringLiteral("0") << QStringLiteral("8") << QStringLiteral("108")
            << QStringLiteral("0");
        QTest::newRow("old rate 10 over 110")
            << 1 << QStringLiteral("10") << QStringLiteral("8") << QStringLiteral("10")
            << QStringLiteral("110") << QStringLiteral("8");
        QTest::newRow("a typed leading zero is kept")
            << 1 << QStringLiteral("08") << QStringLiteral("010") << QStringLiteral("08")
            << QStringLiteral("108") << QStringLiteral("010");
    }
    void ratesOfTheSelectedMethodGoIntoTheConversion()
    {
        QFETCH(int, method);
        QFETCH(QString, oldRate);
        QFETCH(QString, newRate);
        QFETCH(QString, a);
        QFETCH(QString, a100);
        QFETCH(QString, b);
        const ConversionParams p = params(method, oldRate, newRate, HasuRoundDown, 0, AddOn);
        const QString t = converted(QStringLiteral("K_ADD1_PRC"), a, a100, b);
        const QString expected =
            QStringLiteral("CASE WHEN %1 - POWER(10, 1) < 0 THEN %1 ELSE FLOOR(%1 / POWER(10, "
                           "1)) * POWER(10, 1) END")
                .arg(t);
        QCOMPARE(prfn_TaxSql(QStringLiteral("K_ADD1_PRC"), AddOn, p, method), expected);
    }

    void storedParametersGiveThePanelText_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("digit");
        QTest::addColumn<QString>("codeText");
        QTest::addColumn<QString>("exponentText");
        QTest::newRow("half up at the tens")
            << int(HasuRoundHalfUp) << 1 << QStringLiteral("3") << QStringLiteral("2");
        QTest::newRow("round up at the thousands")
            << int(HasuRoundUp) << 3 << QStringLiteral("1") << QStringLiteral("4");
        QTest::newRow("round down at the ones")
            << int(HasuRoundDown) << 0 << QStringLiteral("2") << QStringLiteral("1");
        QTest::newRow("none, stored with exponent 0")
            << int(HasuNone) << 2 << QStringLiteral("0") << QStringLiteral("0");
    }
    void storedParametersGiveThePanelText()
    {
        QFETCH(int, code);
        QFETCH(int, digit);
        QFETCH(QString, codeText);
        QFETCH(QString, exponentText);
        const ConversionParams p = params(1, QStringLiteral("8"), QStringLiteral("10"), code, digit);
        QCOMPARE(prfn_TaxSqlStored(QStringLiteral("OROSI_PRC"), 8, 10, codeText, exponentText),
                 std::optional<QString>(prfn_TaxSql(QStringLiteral("OROSI_PRC"), Goods, p, 1)));
    }

    void storedCodeIsComparedAsText()
    {
        const QString t = converted(QStringLiteral("HYOJYUN_PRC"), QStringLiteral("5"), QStringLiteral("105"),
                                    QStringLiteral("8"));
        QCOMPARE(
            prfn_TaxSqlStored(QStringLiteral("HYOJYUN_PRC"), 5, 8, QStringLiteral(" 3"), QStringLiteral("2")),
            std::optional<QString>(
                QStringLiteral("CASE WHEN %1 - POWER(10, 2) < 0 THEN %1 ELSE  END").arg(t)));
    }

    void storedExponentThatIsNotANumberFails_data()
    {
        QTest::addColumn<QString>("codeText");
        QTest::addColumn<QString>("exponentText");
        QTest::newRow("letters") << QStringLiteral("3") << QStringLiteral("x");
        QTest::newRow("empty") << QStringLiteral("1") << QString();
        QTest::newRow("statement text") << QStringLiteral("2") << QStringLiteral("1) OR (1 = 1");
        QTest::newRow("beyond 16 bits") << QStringLiteral("3") << QStringLiteral("40000");
        // Unquoted in the statement, so refused whatever the code.
        QTest::newRow("unknown code") << QStringLiteral("9") << QStringLiteral("1) < 0 THEN 0 ELSE 0 END --");
    }
    void storedExponentThatIsNotANumberFails()
    {
        QFETCH(QString, codeText);
        QFETCH(QString, exponentText);
        QVERIFY(!prfn_TaxSqlStored(QStringLiteral("HYOJYUN_PRC"), 5, 8, codeText, exponentText));
    }
};

QTEST_APPLESS_MAIN(TestPriceSql)
#include "tst_pricesql.moc"
