#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

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
        const QStringList sizes =
            QStringLiteral("--categories 40 --goods 4000 --stock 4000 --movements 8000 --wide-categories 300 "
                           "--wide-goods 2000 --server-goods 4000 --repeat 2 --scaling --scaling-goods 1000 "
                           "--scaling-large-goods 3000 --scaling-categories 20 --scaling-wide-categories 100")
                .split(QLatin1Char(' '));
        bench.start(QStringLiteral(KRT_BENCH), QStringList{QStringLiteral("--root"), dir.path()} + sizes);
        QVERIFY(bench.waitForFinished(120000));
        const QString output = QString::fromUtf8(bench.readAll());
        QVERIFY2(bench.exitStatus() == QProcess::NormalExit && bench.exitCode() == 0, qPrintable(output));
        QVERIFY2(output.contains(
                     QStringLiteral("checked: the direct run, the deferred run and the floor leave the "
                                    "same prices")),
                 qPrintable(output));
        // Every figure of the report is there, the grid with every line of the start-up catalog.
        for (const QString &figure :
             {QStringLiteral("run, direct mode (40 categories)"),
              QStringLiteral("run, deferred mode"),
              QStringLiteral("start-up to ready, 300 categories"),
              QStringLiteral("grid load, 300 work-list rows"),
              QStringLiteral("peak memory of this process"),
              QStringLiteral("embedded: floor, prices read as stored (plain)"),
              QStringLiteral("embedded: run, direct mode without change list"),
              QStringLiteral("embedded:   of it, from each COMMIT to the next statement"),
              QStringLiteral("1000 goods, 20 categories"),
              QStringLiteral("3000 goods, 20 categories"),
              QStringLiteral("3000 goods, 100 categories"),
              QStringLiteral("time per converted row differs by "),
              QStringLiteral("embedded: exact floor within 1.05 x the plain floor: "),
              QStringLiteral("embedded: direct run with change list within 1.25 x without: "),
              QStringLiteral("embedded: change list's floor (its values read through the driver alone"),
              QStringLiteral("embedded: floor by category, one transaction"),
              QStringLiteral("embedded: floor, MGOODS alone, one transaction"),
              QStringLiteral("embedded: deferred run within 1.20 x the floor of the goods: "),
              QStringLiteral("embedded: direct run without change list / floor by category: "),
              QStringLiteral("embedded: deferred run / floor by category's MGOODS statements: "),
              QStringLiteral("100 categories: direct run within 1.25 x the floor (rounds' median): "),
              QStringLiteral("embedded: direct run without change list within 1.10 x the floor: ")})
            QVERIFY2(output.contains(figure), qPrintable(figure));
        // The second round takes its measures in reverse; a ratio's target has both rounds' ratios.
        const QRegularExpression rounds(
            QStringLiteral("embedded: deferred run within 1.20 x the floor of the goods: (\\d+\\.\\d\\d) x, "
                           "the median of 2 rounds \\((\\d+\\.\\d\\d), (\\d+\\.\\d\\d)\\); "
                           "shortest against shortest \\d+\\.\\d\\d x, (met|MISSED)"));
        const QRegularExpressionMatch match = rounds.match(output);
        QVERIFY2(match.hasMatch(), qPrintable(output));
        // The median of two is their mean (each figure printed to two places).
        const double mean = (match.captured(2).toDouble() + match.captured(3).toDouble()) / 2;
        QVERIFY2(std::abs(match.captured(1).toDouble() - mean) <= 0.0051, qPrintable(match.captured(0)));
        // The server's runs and floor with their check, or the reason why the server was left out.
        const bool server =
            output.contains(QStringLiteral("server: run, direct mode (40 categories)")) &&
            output.contains(QStringLiteral("server: run, deferred mode")) &&
            output.contains(QStringLiteral("server: change list's floor")) &&
            output.contains(QStringLiteral("server: floor by category, one transaction")) &&
            output.contains(QStringLiteral("leave the same prices on both engines")) &&
            output.contains(QStringLiteral("fsync on, synchronous_commit on, full_page_writes on, "
                                           "shared_buffers 2GB, max_wal_size 8GB"));
        QVERIFY2(server != output.contains(QStringLiteral("server engine not measured: ")),
                 qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestBenchFloor)
#include "tst_benchfloor.moc"
