#include "widgets/runprogress.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QThread>

using namespace krt;

namespace {

constexpr int Listed = 5;

// One step of a run: the pause before it, what the coming category holds, and the step the
// dialog names afterwards (counting from 1; Listed + 1 for the end of the run).
struct Step
{
    int pause = 0;
    qint64 goods = 1;
    int named = 1;
};
using Steps = QList<Step>;

QString labelOf(int step)
{
    return QStringLiteral("分類 %1 / %2 を変換しています（C%1-0）").arg(step).arg(Listed);
}

// Counts the paint events of a widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

Q_DECLARE_METATYPE(Steps)

// The run's progress dialog paints a step only when it can be seen: at the start, before a
// category large enough to take a visible time, once the paint interval has passed, and at the end.
class TestRunProgress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aStepIsShownWhenItCanBeSeen_data()
    {
        QTest::addColumn<Steps>("steps");
        const int later = RunProgress::PaintInterval + 20;
        QTest::newRow("the first step at once") << Steps{{0, 1, 1}};
        QTest::newRow("a small category right after another waits") << Steps{{0, 1, 1}, {0, 1, 1}, {0, 1, 1}};
        QTest::newRow("a large category at once")
            << Steps{{0, 1, 1}, {0, RunProgress::LargeCategory, 2}, {0, RunProgress::LargeCategory - 1, 2}};
        QTest::newRow("a small category once the interval has passed") << Steps{{0, 1, 1}, {later, 1, 2}};
        QTest::newRow("the end at once") << Steps{{0, 1, 1}, {0, 1, 1}, {0, 0, Listed + 1}};
    }
    void aStepIsShownWhenItCanBeSeen()
    {
        QFETCH(Steps, steps);
        RunProgress progress(QStringLiteral("売価更新（変換中）"), nullptr);
        int handled = 0;
        for (const Step &step : steps) {
            QThread::msleep(static_cast<unsigned long>(step.pause));
            const bool end = step.named > Listed;
            if (end)
                handled = Listed;
            QVERIFY(
                progress.showStep(handled, Listed, QStringLiteral("C%1").arg(handled + 1), 0, step.goods));
            QCOMPARE(progress.value(), step.named - 1);
            if (!end)
                QCOMPARE(progress.labelText(), labelOf(step.named));
            ++handled;
        }
    }

    // Ten thousand small categories in a row paint the dialog about once per interval.
    void manySmallCategoriesPaintOncePerInterval()
    {
        constexpr int Many = 10000;
        RunProgress progress(QStringLiteral("売価更新（変換中）"), nullptr);
        PaintCounter counter;
        progress.findChild<QLabel *>()->installEventFilter(&counter);
        QElapsedTimer elapsed;
        elapsed.start();
        for (int handled = 0; handled < Many; ++handled)
            QVERIFY(progress.showStep(handled, Many, QStringLiteral("C"), handled, 1));
        const qint64 intervals = elapsed.elapsed() / RunProgress::PaintInterval;
        QVERIFY2(counter.paints <= intervals + 2,
                 qPrintable(QStringLiteral("%1 paints in %2 intervals").arg(counter.paints).arg(intervals)));
        QVERIFY(counter.paints >= 1);
    }

    // A click on 中止 ends the run at the next step the dialog shows.
    void aStopIsTakenAtTheNextStepShown()
    {
        RunProgress progress(QStringLiteral("売価更新（変換中）"), nullptr);
        QVERIFY(progress.showStep(0, Listed, QStringLiteral("C1"), 0, 1));
        QTest::mouseClick(progress.findChild<QPushButton *>(), Qt::LeftButton);
        QVERIFY(!progress.showStep(1, Listed, QStringLiteral("C2"), 0, RunProgress::LargeCategory));
    }
};

QTEST_MAIN(TestRunProgress)
#include "tst_runprogress.moc"
