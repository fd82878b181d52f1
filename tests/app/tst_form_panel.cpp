#include "support/formfixture.h"

#include <QApplication>

using namespace krt;
using namespace krt::testing;

namespace {

QString nameOf(const QWidget *widget)
{
    return widget ? widget->objectName() : QStringLiteral("(no focus)");
}

} // namespace

// The conversion-condition panel inside the real main form, driven with keys and mouse clicks as
// the operator drives it: the Enter path through the panel, the database list and the grid, the
// rate preset of each database, and the run's and the clear command's answers to the panel.
class TestFormPanel : public QObject
{
    Q_OBJECT

private:
    // Loads the form on the fixture's installation, as the start-up routine does: the window is
    // active and the focus is in the old-rate box of method 1.
    static KRT550F1 &ready(FormFixture &f)
    {
        KRT550F1 &form = f.load();
        form.activateWindow();
        if (!QTest::qWaitForWindowActive(&form))
            qWarning("the main form did not become active");
        txt(form, "txt_Tax_From", 1)->setFocus(Qt::OtherFocusReason);
        return form;
    }

    static QWidget *focus() { return QApplication::focusWidget(); }

    // Keys as the platform delivers them: to the widget that has the focus, else to the window.
    static QWidget *keyTarget() { return focus() ? focus() : QApplication::activeWindow(); }
    static void press(Qt::Key key) { QTest::keyClick(keyTarget(), key); }
    static void type(const QString &text) { QTest::keyClicks(keyTarget(), text); }

    // Clicks a control of the form by its name; false when it is disabled.
    static bool click(KRT550F1 &form, const QString &name)
    {
        QWidget *widget = control<QWidget>(form, name);
        if (widget->isEnabled())
            QTest::mouseClick(widget, Qt::LeftButton);
        return widget->isEnabled();
    }

    // Presses Enter once per expected stop; false at the first stop where the focus is not.
    static bool walk(const QStringList &stops)
    {
        for (const QString &stop : stops) {
            const QString from = nameOf(focus());
            press(Qt::Key_Return);
            if (nameOf(focus()) != stop) {
                qWarning("Enter in %s led to %s, not %s", qPrintable(from), qPrintable(nameOf(focus())),
                         qPrintable(stop));
                return false;
            }
        }
        return true;
    }

    static int unconverted(const FormFixture &f, int position)
    {
        return f.count(position, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE UPDATE_DATE IS NULL"));
    }
    static int rows(const FormFixture &f, int position)
    {
        return f.count(position, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT"));
    }

private Q_SLOTS:
    void enterWalksThePanelTheListAndTheGrid_data()
    {
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<QStringList>("stops");
        QTest::addColumn<QList<int>>("rounding"); // goods code, goods position, add-on code, add-on position

        const QStringList tail = {QStringLiteral("cmb_DAT"), QStringLiteral("lstTbl"),
                                  QStringLiteral("opt_Tax(1)"), QStringLiteral("txt_Tax_From(1)")};
        QTest::newRow("no rounding") << QStringList{}
                                     << QStringList{QStringLiteral("txt_Tax_To(1)"),
                                                    QStringLiteral("opt_Int"),
                                                    QStringLiteral("opt_Int_Add")} +
                                            tail
                                     << QList<int>{0, 0, 0, 0};
        QTest::newRow("goods rounded down at the ones")
            << QStringList{QStringLiteral("opt_RoundDown")}
            << QStringList{QStringLiteral("txt_Tax_To(1)"), QStringLiteral("opt_RoundDown"),
                           QStringLiteral("opt_Keta(0)"), QStringLiteral("opt_Int_Add")} +
                   tail
            << QList<int>{2, 0, 0, 0};
        QTest::newRow("both rounded at chosen digits")
            << QStringList{QStringLiteral("opt_Round"), QStringLiteral("opt_Keta(2)"),
                           QStringLiteral("opt_RoundUp_Add"), QStringLiteral("opt_Keta_Add(1)")}
            << QStringList{QStringLiteral("txt_Tax_To(1)"), QStringLiteral("opt_Round"),
                           QStringLiteral("opt_Keta(2)"), QStringLiteral("opt_RoundUp_Add"),
                           QStringLiteral("opt_Keta_Add(1)")} +
                   tail
            << QList<int>{3, 2, 1, 1};
        QTest::newRow("add-on rounded, goods not")
            << QStringList{QStringLiteral("opt_Round_Add")}
            << QStringList{QStringLiteral("txt_Tax_To(1)"), QStringLiteral("opt_Int"),
                           QStringLiteral("opt_Round_Add"), QStringLiteral("opt_Keta_Add(0)")} +
                   tail
            << QList<int>{0, 0, 3, 0};
    }
    void enterWalksThePanelTheListAndTheGrid()
    {
        QFETCH(QStringList, choices);
        QFETCH(QStringList, stops);
        QFETCH(QList<int>, rounding);
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = ready(f);
        QCOMPARE(nameOf(focus()), QStringLiteral("txt_Tax_From(1)"));
        for (const QString &choice : choices)
            QVERIFY(click(form, choice));
        QVERIFY(click(form, QStringLiteral("txt_Tax_From(1)")));
        QCOMPARE(nameOf(focus()), QStringLiteral("txt_Tax_From(1)"));

        QVERIFY(walk(stops));

        // Walking mirrors the choices again and leaves them as they were; Enter in the list
        // switches nothing and the grid keeps its marks.
        const ConversionParams &params = pic_Jyoukein(form)->params();
        QCOMPARE((QList<int>{params.HASU_FLG[Goods], params.HASU_ICHI[Goods], params.HASU_FLG[AddOn],
                             params.HASU_ICHI[AddOn]}),
                 rounding);
        QVERIFY(opt(form, "opt_Tax", 1)->isChecked());
        QCOMPARE(cmb_DAT(form)->currentIndex(), 0);
        QCOMPARE(form.prevListIndex(), 0);
        for (int r = 0; r < lstTbl(form)->Rows(); ++r)
            QCOMPARE(lstTbl(form)->TextMatrix(r, 0), QStringLiteral("■"));
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
    }

    void theRatePresetFollowsEachDatabase_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("firstShown");
        QTest::addColumn<QString>("secondShown");
        QTest::newRow("8 and 29") << QStringLiteral("0.08") << QStringLiteral("0.29") << QStringLiteral("8")
                                  << QStringLiteral("29");
        QTest::newRow("10 and 57") << QStringLiteral("0.1") << QStringLiteral("0.57") << QStringLiteral("10")
                                   << QStringLiteral("57");
        QTest::newRow("5 and 58") << QStringLiteral("0.05") << QStringLiteral("0.58") << QStringLiteral("5")
                                  << QStringLiteral("58");
        QTest::newRow("fractions of a percent are cut")
            << QStringLiteral("0.085") << QStringLiteral(" 0.299 ") << QStringLiteral("8")
            << QStringLiteral("29");
    }
    void theRatePresetFollowsEachDatabase()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, firstShown);
        QFETCH(QString, secondShown);
        FormFixture f;
        QVERIFY(f.install());
        const QString preset = QStringLiteral("UPDATE MSYSPARM SET NAIYO = '%1' WHERE PARM_NO = 3080");
        QVERIFY(f.sql(0, preset.arg(first)));
        QVERIFY(f.sql(1, preset.arg(second)));
        KRT550F1 &form = ready(f);
        ConditionPanel *panel = pic_Jyoukein(form);

        // Method 1 is selected after the load: the preset of method 0 is held, not shown.
        QCOMPARE(txt(*panel, "txt_Tax_To", 0)->text(), QString());
        QCOMPARE(panel->params().TAX_END[0], firstShown);
        QVERIFY(click(form, QStringLiteral("opt_Tax(0)")));
        QCOMPARE(txt(*panel, "txt_Tax_To", 0)->text(), firstShown);
        QVERIFY(txt(*panel, "txt_Tax_To", 0)->isEnabled());

        // Down in the database list opens the second database; Up goes back to the first.
        press(Qt::Key_Return);
        QCOMPARE(nameOf(focus()), QStringLiteral("txt_Tax_To(0)"));
        QVERIFY(walk({QStringLiteral("opt_Int"), QStringLiteral("opt_Int_Add"), QStringLiteral("cmb_DAT")}));
        press(Qt::Key_Down);
        QCOMPARE(cmb_DAT(form)->currentText(), QStringLiteral("DAT2"));
        QCOMPARE(txt(*panel, "txt_Tax_To", 0)->text(), secondShown);
        QCOMPARE(panel->params().TAX_END[0], secondShown);
        QCOMPARE(form.prevListIndex(), 1);
        press(Qt::Key_Up);
        QCOMPARE(cmb_DAT(form)->currentText(), QStringLiteral("DAT1"));
        QCOMPARE(txt(*panel, "txt_Tax_To", 0)->text(), firstShown);
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
    }

    void ratesTypedForMethodOneSurviveASwitch()
    {
        FormFixture f;
        QVERIFY(f.install());
        QVERIFY(f.sql(1, QStringLiteral("UPDATE MSYSPARM SET NAIYO = '0.29' WHERE PARM_NO = 3080")));
        KRT550F1 &form = ready(f);
        ConditionPanel *panel = pic_Jyoukein(form);

        type(QStringLiteral("8"));
        press(Qt::Key_Return);
        type(QStringLiteral("10"));
        QVERIFY(walk({QStringLiteral("opt_Int"), QStringLiteral("opt_Int_Add"), QStringLiteral("cmb_DAT")}));
        press(Qt::Key_Down);
        QCOMPARE(cmb_DAT(form)->currentText(), QStringLiteral("DAT2"));
        QVERIFY(f.boxes.isEmpty());

        QVERIFY(opt(*panel, "opt_Tax", 1)->isChecked());
        QCOMPARE(txt(*panel, "txt_Tax_From", 1)->text(), QStringLiteral("8"));
        QCOMPARE(txt(*panel, "txt_Tax_To", 1)->text(), QStringLiteral("10"));
        QCOMPARE(txt(*panel, "txt_Tax_To", 0)->text(), QString());
        QCOMPARE(panel->params().TAX_ST[1], QStringLiteral("8"));
        QCOMPARE(panel->params().TAX_END[1], QStringLiteral("10"));

        // Each method shows its own entries again: the new database's preset for method 0, the
        // typed rates for method 1.
        QVERIFY(click(form, QStringLiteral("opt_Tax(0)")));
        QCOMPARE(txt(*panel, "txt_Tax_To", 0)->text(), QStringLiteral("29"));
        QCOMPARE(txt(*panel, "txt_Tax_From", 1)->text(), QString());
        QVERIFY(click(form, QStringLiteral("opt_Tax(1)")));
        QCOMPARE(txt(*panel, "txt_Tax_From", 1)->text(), QStringLiteral("8"));
        QCOMPARE(txt(*panel, "txt_Tax_To", 1)->text(), QStringLiteral("10"));
    }

    void withTheListLockedTheEnterPathEndsQuietly_data()
    {
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<QStringList>("stops");
        QTest::addColumn<QString>("last");
        QTest::newRow("add-on not rounded")
            << QStringList{} << QStringList{QStringLiteral("txt_Tax_To(1)"), QStringLiteral("opt_Int")}
            << QStringLiteral("opt_Int_Add");
        QTest::newRow("add-on rounded")
            << QStringList{QStringLiteral("opt_RoundDown_Add"), QStringLiteral("opt_Keta_Add(2)")}
            << QStringList{QStringLiteral("txt_Tax_To(1)"), QStringLiteral("opt_Int"),
                           QStringLiteral("opt_RoundDown_Add")}
            << QStringLiteral("opt_Keta_Add(2)");
    }
    void withTheListLockedTheEnterPathEndsQuietly()
    {
        QFETCH(QStringList, choices);
        QFETCH(QStringList, stops);
        QFETCH(QString, last);
        FormFixture f;
        install::Options options = f.smallOptions();
        options.stockMode = 0;
        QVERIFY(f.install(options));
        KRT550F1 &form = ready(f);
        QCOMPARE(form.stockMode(), 0);
        QVERIFY(!cmb_DAT(form)->isEnabled());
        QVERIFY(opt(form, "opt_Tax", 1)->isChecked());
        for (const QString &choice : choices)
            QVERIFY(click(form, choice));
        QVERIFY(click(form, QStringLiteral("txt_Tax_From(1)")));

        QVERIFY(walk(stops + QStringList{last}));
        // The list cannot take the focus: Enter at the end of the path leaves it where it is,
        // however often it is pressed.
        QVERIFY(walk({last, last}));
        QVERIFY(form.isVisible());
        QVERIFY(!cmb_DAT(form)->isEnabled());
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
    }

    void aRunWithNothingMarkedAsksForAMark()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = ready(f);
        const int lines = lstTbl(form)->Rows();
        QVERIFY(lines > 5); // more lines than the grid shows at once
        for (int r = 0; r < lines; ++r)
            f.clickLine(r);
        for (int r = 0; r < lines; ++r)
            QCOMPARE(lstTbl(form)->TextMatrix(r, 0), QStringLiteral("□"));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), 0);
        QVERIFY(click(form, QStringLiteral("txt_Tax_From(1)")));

        press(Qt::Key_F1);
        // Only the missing mark is reported, although the rate boxes are empty too.
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40035")});
        QCOMPARE(focus(), lstTbl(form));
        QCOMPARE(unconverted(f, 0), rows(f, 0));
    }

    void aRunWithAnEmptyRateStopsAtItsBox_data()
    {
        QTest::addColumn<QString>("oldRate");
        QTest::addColumn<QString>("newRate");
        QTest::addColumn<QString>("stop");
        QTest::newRow("new rate empty")
            << QStringLiteral("8") << QString() << QStringLiteral("txt_Tax_To(1)");
        QTest::newRow("both empty") << QString() << QString() << QStringLiteral("txt_Tax_From(1)");
        QTest::newRow("old rate empty")
            << QString() << QStringLiteral("10") << QStringLiteral("txt_Tax_From(1)");
    }
    void aRunWithAnEmptyRateStopsAtItsBox()
    {
        QFETCH(QString, oldRate);
        QFETCH(QString, newRate);
        QFETCH(QString, stop);
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = ready(f);
        type(oldRate);
        press(Qt::Key_Return);
        type(newRate);
        press(Qt::Key_Return);
        QCOMPARE(nameOf(focus()), QStringLiteral("opt_Int"));

        press(Qt::Key_F1);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40419")});
        QCOMPARE(nameOf(focus()), stop);
        QCOMPARE(unconverted(f, 0), rows(f, 0));
        // The refusal keeps the marks.
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), rows(f, 0));
        for (int r = 0; r < lstTbl(form)->Rows(); ++r)
            QCOMPARE(lstTbl(form)->TextMatrix(r, 0), QStringLiteral("■"));
    }

    void theClearKeyEndsInMethodOne_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("leftover"); // work-list rows of a category the masters no longer have
        QTest::newRow("declined") << int(mb::IdNo) << 1;
        QTest::newRow("accepted") << int(mb::IdYes) << 0;
    }
    void theClearKeyEndsInMethodOne()
    {
        QFETCH(int, answer);
        QFETCH(int, leftover);
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = ready(f);
        ConditionPanel *panel = pic_Jyoukein(form);
        // Only a clear that is carried out rebuilds the work list from the masters.
        QVERIFY(
            f.sql(0, QStringLiteral("INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, INV_FLG, COMP_FLG) "
                                    "VALUES ('999', '廃止', 0, '0', '0')")));
        type(QStringLiteral("8"));
        QVERIFY(click(form, QStringLiteral("opt_Tax(2)")));
        press(Qt::Key_Return);
        type(QStringLiteral("5"));
        QCOMPARE(txt(*panel, "txt_Tax_From", 2)->text(), QStringLiteral("5"));
        f.clickLine(0);
        QCOMPARE(focus(), lstTbl(form));
        QCOMPARE(lstTbl(form)->TextMatrix(0, 0), QStringLiteral("□"));

        f.answer = [answer](const BoxRequest &) { return answer; };
        press(Qt::Key_F5);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40418")});
        QVERIFY(opt(*panel, "opt_Tax", 1)->isChecked());
        QCOMPARE(focus(), txt(*panel, "txt_Tax_From", 1));
        QCOMPARE(txt(*panel, "txt_Tax_From", 1)->text(), QStringLiteral("8"));
        QVERIFY(!txt(*panel, "txt_Tax_From", 2)->isEnabled());
        QCOMPARE(txt(*panel, "txt_Tax_From", 2)->text(), QString());
        QCOMPARE(panel->params().TAX_ST[2], QStringLiteral("5"));
        for (int r = 0; r < lstTbl(form)->Rows(); ++r)
            QCOMPARE(lstTbl(form)->TextMatrix(r, 0), QStringLiteral("■"));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), rows(f, 0));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE ITEM_CD = '999'")), leftover);
        QCOMPARE(rows(f, 0), lstTbl(form)->Rows() + leftover);

        // Typing goes on where the focus is.
        type(QStringLiteral("1"));
        QCOMPARE(txt(*panel, "txt_Tax_From", 1)->text(), QStringLiteral("81"));
    }
};

QTEST_MAIN(TestFormPanel)
#include "tst_form_panel.moc"
