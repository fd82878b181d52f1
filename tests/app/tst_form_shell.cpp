#include "support/formfixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace krt;
using namespace krt::testing;

// The main form's frame: the function-key bar in its two stages, the dispatch of the keys, the
// load sequence and the exit command.
class TestFormShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void withoutAnyDatabaseTheLoadEndsBeforeTheCheck()
    {
        FormFixture f;
        KRT550F1 &form = f.load();
        QLB347U1 *bar = form.fkeyBar();
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
                                      {},
                                      {},
                                      {},
                                      {},
                                      QStringLiteral("12 終了")};
        for (int key = 1; key <= 12; ++key) {
            QCOMPARE(bar->FKeyCaption(key), captions[key - 1]);
            QCOMPARE(bar->FKeyEnabled(key), key == 6 || key == 12);
        }
        QCOMPARE(form.dbList()->count(), 0);
        QVERIFY(!form.connection());
        QVERIFY(!form.panel()->isEnabled());
        QVERIFY(!form.panel()->opt_Tax[1]->isChecked());
        QVERIFY(!form.InputEnabled);
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
        QTest::mouseClick(form.fkeyBar()->keyButton(5), Qt::LeftButton);
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
        QCOMPARE(form.fkeyBar()->GuideMessage(), QStringLiteral("分類チェックを行ってください"));
        QVERIFY(!form.fkeyBar()->FKeyEnabled(1));
    }

    void aPassedCheckOpensEveryCommandAndMarksEveryCategory()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
        QLB347U1 *bar = form.fkeyBar();
        for (int key = 1; key <= 12; ++key)
            QCOMPARE(bar->FKeyEnabled(key), QList<int>({1, 5, 6, 7, 12}).contains(key));
        QCOMPARE(bar->GuideMessage(), QString());
        QVERIFY(form.panel()->isEnabled());
        QVERIFY(form.panel()->opt_Tax[1]->isChecked());
        QVERIFY(form.InputEnabled);
        QCOMPARE(form.dbList()->count(), 2);
        QCOMPARE(form.dbList()->currentText(), QStringLiteral("DAT1"));
        CategoryGrid *grid = form.grid();
        QVERIFY(grid->Rows() > 0);
        for (int r = 0; r < grid->Rows(); ++r)
            QCOMPARE(grid->TextMatrix(r, 0), QStringLiteral("■"));
        QCOMPARE(f.value(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")).toInt(),
                 grid->Rows());
        QCOMPARE(form.panel()->params().TAX_END[0], QStringLiteral("8"));
        QCOMPARE(form.panel()->params().TAX_ST[0], QStringLiteral("0"));
        QCOMPARE(form.panel()->params().TAX_END[2], QStringLiteral("0"));
    }

    void exitClosesTheConnectionAndTheForm()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        QVERIFY(form.connection());
        QTest::mouseClick(form.fkeyBar()->keyButton(12), Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QVERIFY(!form.connection());
    }

    void everyKeyNumberReachesItsCommand()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        ConditionPanel *panel = form.panel();

        // 1: the run asks its preconditions first: the old rate is missing.
        form.QLB347U11_FKeyClick(1);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40419")});
        QCOMPARE(QApplication::focusWidget(), panel->txt_Tax_From[1]);

        // 7: select all marks a line the operator unmarked.
        f.boxes.clear();
        f.clickLine(0);
        QCOMPARE(form.grid()->TextMatrix(0, 0), QStringLiteral("□"));
        form.QLB347U11_FKeyClick(7);
        QCOMPARE(form.grid()->TextMatrix(0, 0), QStringLiteral("■"));

        // 5 declined: nothing is cleared, every line is marked, method 1 and the old-rate box.
        panel->selectCalcMethod(2);
        f.clickLine(1);
        f.answer = [](const BoxRequest &) { return mb::IdNo; };
        form.QLB347U11_FKeyClick(5);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40418")});
        QCOMPARE(form.grid()->TextMatrix(1, 0), QStringLiteral("■"));
        QVERIFY(panel->opt_Tax[1]->isChecked());
        QCOMPARE(QApplication::focusWidget(), panel->txt_Tax_From[1]);

        // 6: the check runs again and keeps the commands open.
        f.boxes.clear();
        form.QLB347U11_FKeyClick(6);
        QVERIFY(f.boxes.isEmpty());
        QVERIFY(form.fkeyBar()->FKeyEnabled(1));

        // Any other number does nothing.
        for (const short other : {short(2), short(3), short(4), short(8), short(11), short(13), short(-1)})
            form.QLB347U11_FKeyClick(other);
        QVERIFY(f.boxes.isEmpty());
        QVERIFY(form.isVisible());

        // 12: exit.
        form.QLB347U11_FKeyClick(12);
        QVERIFY(!form.isVisible());
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
        QVERIFY(!form.panel()->opt_Tax[1]->isChecked());
        QVERIFY(!form.fkeyBar()->FKeyEnabled(1));
        QCOMPARE(form.fkeyBar()->GuideMessage(), QStringLiteral("分類チェックを行ってください"));
        QVERIFY(!BunruiCheckOK);
        QVERIFY(!FirstConnect);

        // Clicks on the grid change nothing before a check has passed.
        const int rows = form.grid()->Rows();
        QVERIFY(rows > 0);
        f.clickLine(0);
        QCOMPARE(form.grid()->TextMatrix(0, 0), QStringLiteral("□"));
        QCOMPARE(f.value(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK IS NOT NULL")).toInt(),
                 0);
    }
};

QTEST_MAIN(TestFormShell)
#include "tst_form_shell.moc"
