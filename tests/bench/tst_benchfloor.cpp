#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// The benchmark compares the program's run with the engine's floor; the comparison means
// something only when the floor converts exactly the rows the run converts, to the same prices.
// The benchmark checks that itself on a small store (row counts and every price, against the
// direct and the deferred run) and fails when they differ, on the embedded engine and on its own
// PostgreSQL server (or says why there is none).
class TestBenchFloor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theFloorConvertsTheRunsRowsToTheSamePrices()
    {
        QTemporaryDir dir;
        QProcess bench;
        bench.setProcessChannelMode(QProcess::MergedChannels);
        bench.start(QStringLiteral(KRT_BENCH),
                    {QStringLiteral("--root"), dir.path(), QStringLiteral("--categories"),
                     QStringLiteral("40"), QStringLiteral("--goods"), QStringLiteral("4000"),
                     QStringLiteral("--stock"), QStringLiteral("4000"), QStringLiteral("--movements"),
                     QStringLiteral("8000"), QStringLiteral("--wide-categories"), QStringLiteral("300"),
                     QStringLiteral("--wide-goods"), QStringLiteral("2000"), QStringLiteral("--server-goods"),
                     QStringLiteral("4000"), QStringLiteral("--repeat"), QStringLiteral("1")});
        QVERIFY(bench.waitForFinished(120000));
        const QString output = QString::fromUtf8(bench.readAll());
        QVERIFY2(bench.exitStatus() == QProcess::NormalExit && bench.exitCode() == 0, qPrintable(output));
        QVERIFY2(output.contains(
                     QStringLiteral("checked: the direct run, the deferred run and the floor leave the "
                                    "same prices")),
                 qPrintable(output));
        // Every figure of the report is there, the grid with every line of the start-up catalog.
        for (const QString &figure :
             {QStringLiteral("run, direct mode (40 categories)"), QStringLiteral("run, deferred mode"),
              QStringLiteral("start-up to ready, 300 categories"),
              QStringLiteral("grid load, 300 work-list rows"), QStringLiteral("peak memory of this process")})
            QVERIFY2(output.contains(figure), qPrintable(figure));
        // The server's runs and floor with their check, or the reason why the server was left out.
        const bool server = output.contains(QStringLiteral("server: run, direct mode (40 categories)")) &&
                            output.contains(QStringLiteral("server: run, deferred mode")) &&
                            output.contains(QStringLiteral("leave the same prices on both engines"));
        QVERIFY2(server != output.contains(QStringLiteral("server engine not measured: ")),
                 qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestBenchFloor)
#include "tst_benchfloor.moc"
