#include "widgets/categorygrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace krt;

namespace {

QList<QStringList> numberedLines(int count)
{
    QList<QStringList> lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i)
        lines.append({QStringLiteral("□"), QStringLiteral("C%1").arg(i), QStringLiteral("分類%1").arg(i),
                      QString::number(i % 10), QString(), QString(), QStringLiteral("0")});
    return lines;
}

} // namespace

class TestCategoryGrid : public QObject
{
    Q_OBJECT

private:
    // A window with the grid between two other controls, shown and active, as on the form.
    struct Window
    {
        QWidget window;
        QLineEdit *before = new QLineEdit(&window);
        CategoryGrid *grid = new CategoryGrid(&window);
        QLineEdit *after = new QLineEdit(&window);

        explicit Window(int lines)
        {
            auto *layout = new QVBoxLayout(&window);
            layout->addWidget(before);
            layout->addWidget(grid);
            layout->addWidget(after);
            window.resize(600, 300);
            grid->setCols(7);
            grid->setRowHeightTwips(390);
            grid->setColAlignmentCentred(0);
            for (int col = 0; col < 7; ++col)
                grid->setColWidthTwips(col, QList<int>{450, 1350, 2600, 1350, 2600, 1400, 0}.at(col));
            grid->setRowTexts(numberedLines(lines));
            window.show();
        }
    };

    void activate(Window &w)
    {
        QApplication::setActiveWindow(&w.window);
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        w.grid->setFocus();
        QTRY_VERIFY(w.grid->hasFocus());
    }

private Q_SLOTS:
    void cellsKeepTheirTextsWithinTheCounts()
    {
        CategoryGrid grid;
        QCOMPARE(grid.objectName(), QStringLiteral("lstTbl"));
        grid.setCols(3);
        grid.setRows(2);
        QCOMPARE(grid.Rows(), 2);
        QCOMPARE(grid.Cols(), 3);
        grid.setTextMatrix(1, 2, QStringLiteral("x"));
        grid.setTextMatrix(2, 0, QStringLiteral("outside"));
        QCOMPARE(grid.TextMatrix(1, 2), QStringLiteral("x"));
        QCOMPARE(grid.TextMatrix(2, 0), QString());
        QCOMPARE(grid.TextMatrix(-1, 0), QString());
        grid.setRows(4);
        QCOMPARE(grid.TextMatrix(1, 2), QStringLiteral("x"));
        QCOMPARE(grid.TextMatrix(3, 2), QString());
        grid.setCols(2);
        QCOMPARE(grid.TextMatrix(1, 2), QString());
        grid.setCols(3);
        QCOMPARE(grid.TextMatrix(1, 2), QString());

        grid.setRowTexts(
            {{QStringLiteral("a")},
             {QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("dropped")}});
        QCOMPARE(grid.Rows(), 2);
        QCOMPARE(grid.Cols(), 3);
        QCOMPARE(grid.TextMatrix(0, 1), QString());
        QCOMPARE(grid.TextMatrix(1, 2), QStringLiteral("d"));
        QCOMPARE(grid.Row(), -1);
        grid.setRowTexts({});
        QCOMPARE(grid.Rows(), 0);
    }

    void theLayoutFollowsTheTwipsAtTheScreensResolution()
    {
        Window w(3);
        CategoryGrid &grid = *w.grid;
        const auto pixels = [&grid](int twips) { return qRound(twips * grid.logicalDpiX() / 1440.0); };
        QVERIFY(grid.horizontalHeader()->isHidden());
        QVERIFY(grid.verticalHeader()->isHidden());
        QCOMPARE(grid.rowHeight(2), pixels(390));
        QCOMPARE(grid.columnWidth(2), pixels(2600));
        QVERIFY(grid.isColumnHidden(6));
        QVERIFY(!grid.isColumnHidden(5));
        QCOMPARE(grid.model()->index(0, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
                 Qt::Alignment(Qt::AlignCenter));
        QCOMPARE(grid.model()->index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
                     Qt::AlignHCenter,
                 Qt::Alignment());

        // A new load keeps the widths and the hidden column.
        grid.setRowTexts(numberedLines(5));
        QVERIFY(grid.isColumnHidden(6));
        QCOMPARE(grid.columnWidth(2), pixels(2600));
        grid.setColWidthTwips(6, 300);
        QVERIFY(!grid.isColumnHidden(6));
        QCOMPARE(grid.columnWidth(6), pixels(300));
    }

    // The room a grown grid gains goes to the chosen columns, the odd pixel to the first; the other
    // columns keep their twips, hidden columns stay hidden, and a new load keeps the shares.
    void gainedWidthIsSharedByTheChosenColumns()
    {
        Window w(3);
        CategoryGrid &grid = *w.grid;
        const auto pixels = [&grid](int twips) { return qRound(twips * grid.logicalDpiX() / 1440.0); };
        QSignalSpy laidOut(&grid, &CategoryGrid::LaidOut);
        grid.setColsExtraWidth({2, 4}, 101);
        QVERIFY(laidOut.count() >= 1);
        QCOMPARE(grid.columnWidth(2), pixels(2600) + 51);
        QCOMPARE(grid.columnWidth(4), pixels(2600) + 50);
        QCOMPARE(grid.columnWidth(1), pixels(1350));
        QCOMPARE(grid.columnWidth(5), pixels(1400));
        QVERIFY(grid.isColumnHidden(6));

        laidOut.clear();
        grid.setRowTexts(numberedLines(5));
        QVERIFY(laidOut.count() >= 1);
        QCOMPARE(grid.columnWidth(2), pixels(2600) + 51);
        QCOMPARE(grid.columnWidth(4), pixels(2600) + 50);

        grid.setColsExtraWidth({2, 4}, -20);
        QCOMPARE(grid.columnWidth(2), pixels(2600));
        QCOMPARE(grid.columnWidth(4), pixels(2600));
    }

    void aMouseClickOnALineRaisesClickWithThatRowCurrent()
    {
        Window w(3);
        activate(w);
        CategoryGrid &grid = *w.grid;
        int rowAtClick = -2;
        int clicks = 0;
        connect(&grid, &CategoryGrid::Click, &grid, [&] {
            ++clicks;
            rowAtClick = grid.Row();
        });
        const QRect line = grid.visualRect(grid.model()->index(1, 2));
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, line.center());
        QCOMPARE(clicks, 1);
        QCOMPARE(rowAtClick, 1);
        QCOMPARE(grid.Row(), 1);
        QVERIFY(grid.selectionModel()->isRowSelected(1, {}));

        // Below the last line there is nothing to click.
        const QRect last = grid.visualRect(grid.model()->index(2, 2));
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier,
                          last.center() + QPoint(0, 3 * last.height()));
        QCOMPARE(clicks, 1);
        QCOMPARE(grid.Row(), 1);

        // A disabled grid takes no clicks.
        grid.setEnabled(false);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier,
                          grid.visualRect(grid.model()->index(0, 2)).center());
        QCOMPARE(clicks, 1);
    }

    void keysArriveWithWindowsCodesBeforeTheGridActs_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("shift");
        QTest::newRow("Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << 13 << 0;
        QTest::newRow("Return") << int(Qt::Key_Return) << 0 << 13 << 0;
        QTest::newRow("Delete") << int(Qt::Key_Delete) << 0 << 46 << 0;
        QTest::newRow("Down") << int(Qt::Key_Down) << 0 << 40 << 0;
        QTest::newRow("shifted letter") << int(Qt::Key_A) << int(Qt::ShiftModifier) << 65 << 1;
        QTest::newRow("Ctrl+Alt+F6") << int(Qt::Key_F6) << int(Qt::ControlModifier | Qt::AltModifier) << 117
                                     << 6;
    }
    void keysArriveWithWindowsCodesBeforeTheGridActs()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, code);
        QFETCH(int, shift);
        Window w(3);
        activate(w);
        QList<QPair<int, int>> seen;
        connect(w.grid, &CategoryGrid::KeyDown, w.grid, [&seen](int &keyCode, int shiftState) {
            seen.append({keyCode, shiftState});
        });
        QTest::keyClick(w.grid, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        // The modifier keys come first, each with its own code.
        QVERIFY(!seen.isEmpty());
        QCOMPARE(seen.last(), qMakePair(code, shift));
    }

    void aKeyCodeSetToZeroNeverReachesTheGrid()
    {
        Window w(5);
        activate(w);
        CategoryGrid &grid = *w.grid;
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier,
                          grid.visualRect(grid.model()->index(1, 1)).center());
        QCOMPARE(grid.Row(), 1);
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(grid.Row(), 2);
        connect(&grid, &CategoryGrid::KeyDown, &grid, [](int &keyCode, int) { keyCode = 0; });
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(grid.Row(), 2);
    }

    void enterCanMoveTheFocusOnAsTabWould()
    {
        Window w(3);
        activate(w);
        connect(w.grid, &CategoryGrid::KeyDown, w.grid, [&w](int &keyCode, int) {
            if (keyCode == 13)
                w.grid->moveFocusToNextControl();
        });
        QTest::keyClick(w.grid, Qt::Key_Return);
        QTRY_VERIFY(w.after->hasFocus());
        // Tab itself leaves the grid instead of walking through its cells.
        w.grid->setFocus();
        QTRY_VERIFY(w.grid->hasFocus());
        QTest::keyClick(w.window.focusWidget(), Qt::Key_Tab);
        QTRY_VERIFY(w.after->hasFocus());
    }

    void tenThousandLinesLoadAtOnce()
    {
        Window w(0);
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        QList<QStringList> lines = numberedLines(10000);
        QElapsedTimer timer;
        timer.start();
        w.grid->setRowTexts(std::move(lines));
        QCoreApplication::processEvents();
        w.grid->repaint();
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(w.grid->Rows(), 10000);
        QCOMPARE(w.grid->TextMatrix(9999, 1), QStringLiteral("C9999"));
        QVERIFY2(elapsed < 500, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));

        w.grid->setTopRow(5000);
        QCOMPARE(w.grid->TopRow(), 5000);
        w.grid->setTopRow(0);
        QCOMPARE(w.grid->TopRow(), 0);
        // Also when the first column is hidden.
        w.grid->setColWidthTwips(0, 0);
        w.grid->setTopRow(300);
        QCOMPARE(w.grid->TopRow(), 300);
    }
};

QTEST_MAIN(TestCategoryGrid)
#include "tst_categorygrid.moc"
