#include "support/formfixture.h"

#include "widgets/messages.h"
#include "widgets/twips.h"

#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPushButton>

#include <memory>

using namespace krt;
using namespace krt::testing;

// The main form's frame: the function-key bar in its two stages, the dispatch of the keys, the
// load sequence and the exit command.
class TestFormShell : public QObject
{
    Q_OBJECT

private:
    // The lines the grid shows whole.
    static int wholeLines(const CategoryGrid *grid)
    {
        int lines = 0;
        for (int r = 0; r < grid->Rows(); ++r)
            if (grid->viewport()->rect().contains(grid->visualRect(grid->model()->index(r, 0))))
                ++lines;
        return lines;
    }

    // Every heading stands over its columns of the grid: the first over the mark and the code,
    // then one heading a column up to the completion date.
    static void checkHeadings(const KRT550F1 &form)
    {
        const CategoryGrid *grid = lstTbl(form);
        const QList<std::pair<int, int>> spans = {{0, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}};
        const QStringList captions = {QStringLiteral("分類ｺｰﾄﾞ"), QStringLiteral("分類名"),
                                      QStringLiteral("中分類ｺｰﾄﾞ"), QStringLiteral("中分類名"),
                                      QStringLiteral("完了日")};
        for (int i = 0; i < spans.size(); ++i) {
            const QLabel *label = control<QLabel>(form, "xLabel", i + 1);
            QCOMPARE(label->text(), captions[i]);
            const auto [first, last] = spans[i];
            const int left =
                grid->viewport()->mapTo(&form, QPoint(grid->columnViewportPosition(first), 0)).x();
            int width = 0;
            for (int col = first; col <= last; ++col)
                width += grid->columnWidth(col);
            QCOMPARE(label->x(), left);
            QCOMPARE(label->width(), width);
            QCOMPARE(label->y(), twips(1440, &form));
        }
    }

private Q_SLOTS:
    void withoutAnyDatabaseTheLoadEndsBeforeTheCheck()
    {
        FormFixture f;
        KRT550F1 &form = f.load();
        QLB347U1 *bar = QLB347U11(form);
        QCOMPARE(form.windowTitle(), QStringLiteral("売価更新"));
        QCOMPARE(bar->ProgramTitle(), QStringLiteral("売価更新"));
        QCOMPARE(bar->GuideMessage(), QStringLiteral("分類チェックを行ってください"));
        const QStringList captions = {QStringLiteral("01 実行"),
                                      {},
                                      {},
                                      {},
                                      QStringLiteral("05 分類CLR"),
                                      QStringLiteral("06 分類ﾁｪｯｸ"),
                                      QStringLiteral("07 全選択"),
                                      QStringLiteral("08 変更一覧"),
                                      {},
                                      {},
                                      {},
                                      QStringLiteral("12 終了")};
        for (int key = 1; key <= 12; ++key) {
            QCOMPARE(bar->FKeyCaption(key), captions[key - 1]);
            QCOMPARE(bar->FKeyEnabled(key), key == 6 || key == 12);
        }
        QCOMPARE(cmb_DAT(form)->count(), 0);
        QVERIFY(!form.connection());
        QVERIFY(!pic_Jyoukein(form)->isEnabled());
        QVERIFY(!opt(form, "opt_Tax", 1)->isChecked());
        QVERIFY(!form.inputEnabled());
        // The operator learns why the program is about to end.
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].kind, BoxRequest::Kind::Plain);
        QVERIFY(f.boxes[0].text.contains(QStringLiteral("DAT1～DAT5")));
    }

    void aDisabledKeyRaisesNothing()
    {
        FormFixture f;
        KRT550F1 &form = f.load();
        f.boxes.clear();
        QTest::keyClick(&form, Qt::Key_F1);
        QTest::keyClick(&form, Qt::Key_F7);
        QTest::mouseClick(QLB347U11(form)->keyButton(5), Qt::LeftButton);
        QVERIFY(f.boxes.isEmpty());
        QVERIFY(form.isVisible());
    }

    void exitClosesTheFormWithoutAConnection()
    {
        FormFixture f;
        KRT550F1 &form = f.load();
        f.boxes.clear();
        QTest::keyClick(&form, Qt::Key_F12);
        QVERIFY(!form.isVisible());
        QVERIFY(f.boxes.isEmpty());
    }

    void theCheckKeyWithoutADatabaseReportsTheComponentFailure()
    {
        FormFixture f;
        KRT550F1 &form = f.load();
        f.boxes.clear();
        QTest::keyClick(&form, Qt::Key_F6);
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].title, QStringLiteral("KRT550:prsb_BuntuiCheck"));
        QCOMPARE(f.boxes[0].style, mb::Critical);
        QVERIFY(f.boxes[0].text.contains(QStringLiteral(" : ")));
        QCOMPARE(QLB347U11(form)->GuideMessage(), QStringLiteral("分類チェックを行ってください"));
        QVERIFY(!QLB347U11(form)->FKeyEnabled(1));
    }

    void aPassedCheckOpensEveryCommandAndMarksEveryCategory()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
        QLB347U1 *bar = QLB347U11(form);
        for (int key = 1; key <= 12; ++key)
            QCOMPARE(bar->FKeyEnabled(key), QList<int>({1, 5, 6, 7, 8, 12}).contains(key));
        QCOMPARE(bar->GuideMessage(), QString());
        QVERIFY(pic_Jyoukein(form)->isEnabled());
        QVERIFY(opt(form, "opt_Tax", 1)->isChecked());
        QVERIFY(form.inputEnabled());
        QCOMPARE(cmb_DAT(form)->count(), 2);
        QCOMPARE(cmb_DAT(form)->currentText(), QStringLiteral("DAT1"));
        CategoryGrid *grid = lstTbl(form);
        QVERIFY(grid->Rows() > 0);
        for (int r = 0; r < grid->Rows(); ++r)
            QCOMPARE(grid->TextMatrix(r, 0), QStringLiteral("■"));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), grid->Rows());
        QCOMPARE(pic_Jyoukein(form)->params().TAX_END[0], QStringLiteral("8"));
        QCOMPARE(pic_Jyoukein(form)->params().TAX_ST[0], QStringLiteral("0"));
        QCOMPARE(pic_Jyoukein(form)->params().TAX_END[2], QStringLiteral("0"));
    }

    void exitClosesTheConnectionAndTheForm()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        QVERIFY(form.connection());
        QTest::mouseClick(QLB347U11(form)->keyButton(12), Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QVERIFY(!form.connection());
    }

    void everyKeyNumberReachesItsCommand()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        ConditionPanel *panel = pic_Jyoukein(form);

        // 1: the run asks its preconditions first: the old rate is missing.
        form.QLB347U11_FKeyClick(1);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40419")});
        QCOMPARE(QApplication::focusWidget(), txt(*panel, "txt_Tax_From", 1));

        // 7: select all marks a line the operator unmarked.
        f.boxes.clear();
        f.clickLine(0);
        QCOMPARE(lstTbl(form)->TextMatrix(0, 0), QStringLiteral("□"));
        form.QLB347U11_FKeyClick(7);
        QCOMPARE(lstTbl(form)->TextMatrix(0, 0), QStringLiteral("■"));

        // 5 declined: nothing is cleared, every line is marked, method 1 and the old-rate box.
        panel->selectCalcMethod(2);
        f.clickLine(1);
        f.answer = [](const BoxRequest &) { return mb::IdNo; };
        form.QLB347U11_FKeyClick(5);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40418")});
        QCOMPARE(lstTbl(form)->TextMatrix(1, 0), QStringLiteral("■"));
        QVERIFY(opt(*panel, "opt_Tax", 1)->isChecked());
        QCOMPARE(QApplication::focusWidget(), txt(*panel, "txt_Tax_From", 1));

        // 6: the check runs again and keeps the commands open.
        f.boxes.clear();
        form.QLB347U11_FKeyClick(6);
        QVERIFY(f.boxes.isEmpty());
        QVERIFY(QLB347U11(form)->FKeyEnabled(1));

        // Any other number does nothing.
        for (const short other : {short(2), short(3), short(4), short(9), short(11), short(13), short(-1)})
            form.QLB347U11_FKeyClick(other);
        QVERIFY(f.boxes.isEmpty());
        QVERIFY(form.isVisible());

        // 12: exit.
        form.QLB347U11_FKeyClick(12);
        QVERIFY(!form.isVisible());
    }

    // The window opens at its designed size and grows: the grid takes the room, its headings stay
    // over its columns, the panel moves down with the grid, and the bar covers the client area.
    void theWindowGrowsAndTheGridWithIt()
    {
        FormFixture f;
        install::Options options = f.smallOptions();
        options.categories = 40;
        QVERIFY(f.install(options));
        KRT550F1 &form = f.load();
        CategoryGrid *grid = lstTbl(form);
        QVERIFY(grid->Rows() > 30);
        const QSize designed(twips(15270, &form), twips(10725, &form));
        QCOMPARE(form.size(), designed);
        QVERIFY(form.maximumWidth() > designed.width() && form.maximumHeight() > designed.height());
        QCOMPARE(grid->geometry(), twipsRect(4680, 1750, 10095, 2055, &form));
        QCOMPARE(pic_Jyoukein(form)->pos(), QPoint(twips(480, &form), twips(3960, &form)));
        QCOMPARE(control<QLabel>(form, "lbl_DbSelect")->geometry(), twipsRect(360, 240, 1125, 345, &form));
        QCOMPARE(wholeLines(grid), 5);
        checkHeadings(form);
        QCOMPARE(grid->columnWidth(2), twips(2600, &form));

        const QSize grown = designed + QSize(301, 400);
        form.resize(grown);
        QTRY_COMPARE(form.size(), grown);
        QCOMPARE(QLB347U11(form)->geometry(), form.rect());
        QCOMPARE(grid->geometry(), twipsRect(4680, 1750, 10095, 2055, &form).adjusted(0, 0, 301, 400));
        QCOMPARE(pic_Jyoukein(form)->pos(), QPoint(twips(480, &form), twips(3960, &form) + 400));
        QVERIFY2(wholeLines(grid) >= 5 + 400 / grid->rowHeight(0),
                 qPrintable(QString::number(wholeLines(grid))));
        // The two name columns share the new width.
        QCOMPARE(grid->columnWidth(2), twips(2600, &form) + 151);
        QCOMPARE(grid->columnWidth(4), twips(2600, &form) + 150);
        QCOMPARE(grid->columnWidth(1), twips(1350, &form));
        checkHeadings(form);

        // The line the operator works on stays in view, with its mark, when the window gets small
        // again.
        const int last = wholeLines(grid) - 1;
        f.clickLine(last);
        QCOMPARE(grid->Row(), last);
        form.showMaximized();
        form.showNormal();
        form.resize(designed);
        QTRY_COMPARE(form.size(), designed);
        QCOMPARE(grid->geometry(), twipsRect(4680, 1750, 10095, 2055, &form));
        const QRect mark = grid->visualRect(grid->model()->index(last, 0));
        QVERIFY2(grid->viewport()->rect().contains(mark), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                         .arg(mark.x())
                                                                         .arg(mark.y())
                                                                         .arg(mark.width())
                                                                         .arg(mark.height())));
        QCOMPARE(grid->TextMatrix(last, 0), QStringLiteral("□"));
        checkHeadings(form);
    }

    // After the start-up Qt's own texts are Japanese, and every box carries exactly the title the
    // program gives it: the platform appends the application's display name to a title that does
    // not end with it, so the program sets none (the display name then follows the name).
    void theStartUpSpeaksJapaneseAndKeepsTheTitlesAsGiven()
    {
        if (!QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                               QStringLiteral("/qtbase_ja.qm")))
            QSKIP("Qt's Japanese translations (Debian's qt6-translations-l10n) are not installed");
        FormFixture f;
        QVERIFY(f.install());
        QStringList buttons;
        QString undo;
        QStringList previewActions;
        QStringList titles;
        bool displayNameFollowsName = false;
        const int code = f.runMain([&](KRT550F1 &main) {
            QMessageBox box;
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok |
                                   QMessageBox::Cancel);
            for (const auto which : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel})
                buttons.append(box.button(which)->text());
            QLineEdit edit;
            const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
            undo = menu->actions().value(0)->text();
            QPrintPreviewDialog preview;
            for (const QAction *action : preview.findChildren<QAction *>())
                previewActions.append(action->text());

            const QString name = QCoreApplication::applicationName();
            QCoreApplication::setApplicationName(QStringLiteral("probe"));
            displayNameFollowsName = QGuiApplication::applicationDisplayName() == QStringLiteral("probe");
            QCoreApplication::setApplicationName(name);

            MessageBoxes::setResponder({});
            QTimer closer;
            QObject::connect(&closer, &QTimer::timeout, &closer, [&titles] {
                if (auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    titles.append(shown->windowTitle());
                    shown->button(QMessageBox::Ok)->click();
                }
            });
            closer.start(20);
            ShowMessage(QStringLiteral("10009"), mb::OkOnly, AppTitle);
            MessageBoxes::plain(QStringLiteral("plain"), mb::Critical,
                                QStringLiteral("KRT550:prsb_BuntuiCheck"));
            MessageBoxes::plain(QStringLiteral("plain"));
            MessageBoxes::setResponder([&f](const BoxRequest &request) {
                f.boxes.append(request);
                return mb::IdOk;
            });
            // The boxes took the activation: the main window gets it back for the exit key.
            main.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&main));
        });
        QCOMPARE(code, 0);
        QCOMPARE(buttons, (QStringList{QStringLiteral("はい(&Y)"), QStringLiteral("いいえ(&N)"),
                                       QStringLiteral("OK"), QStringLiteral("キャンセル")}));
        QVERIFY2(undo.startsWith(QStringLiteral("元に戻す(&U)")), qPrintable(undo));
        QVERIFY2(previewActions.contains(QStringLiteral("印刷")),
                 qPrintable(previewActions.join(QLatin1Char(','))));
        QVERIFY(displayNameFollowsName);
        QCOMPARE(titles, (QStringList{QStringLiteral("売価更新"), QStringLiteral("KRT550:prsb_BuntuiCheck"),
                                      QStringLiteral("KRT550")}));
    }

    void aFailedCheckReportsPrintsAndKeepsTheLoadStage()
    {
        FormFixture f;
        install::Options options = f.smallOptions();
        options.unmatched = 5;
        QVERIFY(f.install(options));
        KRT550F1 &form = f.load();
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40424")});
        QCOMPARE(f.previews.size(), 1);
        QVERIFY(!opt(form, "opt_Tax", 1)->isChecked());
        QVERIFY(!QLB347U11(form)->FKeyEnabled(1));
        QCOMPARE(QLB347U11(form)->GuideMessage(), QStringLiteral("分類チェックを行ってください"));
        QVERIFY(!BunruiCheckOK);
        QVERIFY(!FirstConnect);

        // Clicks on the grid change nothing before a check has passed.
        const int rows = lstTbl(form)->Rows();
        QVERIFY(rows > 0);
        f.clickLine(0);
        QCOMPARE(lstTbl(form)->TextMatrix(0, 0), QStringLiteral("□"));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK IS NOT NULL")), 0);
    }
};

QTEST_MAIN(TestFormShell)
#include "tst_form_shell.moc"
