#include "db/connection.h"
#include "params/conditionpanel.h"
#include "support/controls.h"
#include "support/testcatalog.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include <memory>

using namespace krt;
using namespace krt::testing;

namespace {

// The form around the panel: the database list and the category grid beside it.
struct TestWindow
{
    QWidget window;
    ConditionPanel *panel = nullptr;
    QComboBox *cmb_DAT = nullptr;
    QTableView *lstTbl = nullptr;
    QStandardItemModel model{3, 2};

    TestWindow()
    {
        auto *layout = new QHBoxLayout(&window);
        cmb_DAT = new QComboBox(&window);
        cmb_DAT->setObjectName(QStringLiteral("cmb_DAT"));
        cmb_DAT->addItems({QStringLiteral("DAT1"), QStringLiteral("DAT2")});
        lstTbl = new QTableView(&window);
        lstTbl->setObjectName(QStringLiteral("lstTbl"));
        lstTbl->setModel(&model);
        panel = new ConditionPanel(&window);
        panel->setFixedSize(panel->size());
        layout->addWidget(cmb_DAT);
        layout->addWidget(lstTbl);
        layout->addWidget(panel);
        panel->setDatabaseList(cmb_DAT);
    }
};

QString focusName()
{
    const QWidget *focus = QApplication::focusWidget();
    return focus ? focus->objectName() : QStringLiteral("(none)");
}

QString blanks(int count)
{
    return QString(count, QLatin1Char(' '));
}

} // namespace

class TestConditionPanel : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestWindow> m_form;
    ConditionPanel *m_panel = nullptr;
    QList<BoxRequest> m_shown;

    // The operator's actions.
    void click(QRadioButton *option) { QTest::mouseClick(option, Qt::LeftButton); }
    void type(QLineEdit *box, const QString &text)
    {
        box->setFocus(Qt::MouseFocusReason);
        for (const QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClick(box, c.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
    void pressEnter() { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); }
    void selectMethod(int i) { click(opt("opt_Tax", i)); }

    // Follows Enter from the focused control and names each control the focus reaches, until it
    // stops moving or leaves the panel.
    QStringList followEnter()
    {
        QStringList path{focusName()};
        for (int step = 0; step < 20; ++step) {
            const QWidget *before = QApplication::focusWidget();
            pressEnter();
            if (QApplication::focusWidget() == before)
                break;
            path << focusName();
            if (!m_panel->isAncestorOf(QApplication::focusWidget()))
                break;
        }
        return path;
    }

    // The panel's controls by their names.
    QRadioButton *opt(QAnyStringView name, int i = -1) const { return testing::opt(*m_panel, name, i); }
    QLineEdit *txt(QAnyStringView name, int i) const { return testing::txt(*m_panel, name, i); }
    QLabel *lbl(QAnyStringView name, int i = -1) const { return control<QLabel>(*m_panel, name, i); }
    QFrame *fra(QAnyStringView name, int i = -1) const { return control<QFrame>(*m_panel, name, i); }

private Q_SLOTS:
    void init()
    {
        m_shown.clear();
        MessageBoxes::setResponder([this](const BoxRequest &request) {
            m_shown.append(request);
            return mb::IdOk;
        });
        m_form = std::make_unique<TestWindow>();
        m_panel = m_form->panel;
        m_form->window.show();
        m_form->window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&m_form->window));
    }

    void cleanup()
    {
        m_form.reset();
        MessageBoxes::setResponder({});
    }

    void thePanelComesUpAsDesigned()
    {
        const double pixelsPerTwip = m_panel->logicalDpiX() / 1440.0;
        QCOMPARE(m_panel->objectName(), QStringLiteral("pic_Jyoukein"));
        QCOMPARE(m_panel->width(), qRound(14280 * pixelsPerTwip));
        QCOMPARE(m_panel->height(), qRound(6075 * m_panel->logicalDpiY() / 1440.0));
        QCOMPARE(m_panel->font().families().value(0), QStringLiteral("ＭＳ ゴシック"));
        // A Japanese font of the list is there to draw the captions.
        QVERIFY2(m_panel->font().families().contains(QFontInfo(lbl("lbl_Tax", 0)->font()).family()),
                 qPrintable(QFontInfo(lbl("lbl_Tax", 0)->font()).family()));
        QCOMPARE(lbl("lbl_Goods")->text(), QStringLiteral("商　品"));
        QCOMPARE(lbl("lbl_Goods")->pos(), QPoint(qRound(1680 * pixelsPerTwip), qRound(2640 * pixelsPerTwip)));
        QCOMPARE(lbl("lbl_GoodsAdd")->text(), QStringLiteral("商品加算"));
        QCOMPARE(lbl("lbl_GoodsAdd")->pos(),
                 QPoint(qRound(1680 * pixelsPerTwip), qRound(4440 * pixelsPerTwip)));
        QCOMPARE(lbl("lbl_Calc")->text(), QStringLiteral("計算方法"));

        // Names and captions, counted out blank by blank.
        const QStringList taxCaptions = {QStringLiteral("税抜き"), QStringLiteral("税込"),
                                         QStringLiteral("税込")};
        const QStringList labelCaptions = {
            QStringLiteral("           →           税込         %"),
            QStringLiteral(" %          →           税込         %"),
            QStringLiteral(" %          →           税抜き"),
        };
        QCOMPARE(labelCaptions[0], blanks(11) + QStringLiteral("→") + blanks(11) + QStringLiteral("税込") +
                                       blanks(9) + QStringLiteral("%"));
        QCOMPARE(labelCaptions[1], QStringLiteral(" %") + blanks(10) + QStringLiteral("→") + blanks(11) +
                                       QStringLiteral("税込") + blanks(9) + QStringLiteral("%"));
        QCOMPARE(labelCaptions[2], QStringLiteral(" %") + blanks(10) + QStringLiteral("→") + blanks(11) +
                                       QStringLiteral("税抜き"));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(opt("opt_Tax", i)->objectName(), QStringLiteral("opt_Tax(%1)").arg(i));
            QCOMPARE(opt("opt_Tax", i)->text(), taxCaptions[i]);
            QCOMPARE(opt("opt_Tax", i)->parentWidget(), fra("fra_Calc"));
            QCOMPARE(lbl("lbl_Tax", i)->objectName(), QStringLiteral("lbl_Tax(%1)").arg(i));
            QCOMPARE(lbl("lbl_Tax", i)->text(), labelCaptions[i]);
        }
        QVERIFY(!m_panel->findChild<QLineEdit *>(QStringLiteral("txt_Tax_From(0)")));
        QVERIFY(!m_panel->findChild<QLineEdit *>(QStringLiteral("txt_Tax_To(2)")));
        const QList<QLineEdit *> boxes = {txt("txt_Tax_To", 0), txt("txt_Tax_From", 1), txt("txt_Tax_To", 1),
                                          txt("txt_Tax_From", 2)};
        const QStringList boxNames = {QStringLiteral("txt_Tax_To(0)"), QStringLiteral("txt_Tax_From(1)"),
                                      QStringLiteral("txt_Tax_To(1)"), QStringLiteral("txt_Tax_From(2)")};
        for (int b = 0; b < boxes.size(); ++b) {
            QCOMPARE(boxes[b]->objectName(), boxNames[b]);
            QCOMPARE(boxes[b]->maxLength(), 2);
            QVERIFY(boxes[b]->alignment() & Qt::AlignRight);
            QVERIFY(!boxes[b]->testAttribute(Qt::WA_InputMethodEnabled));
            QCOMPARE(boxes[b]->text(), QString());
        }

        const QStringList methods = {QStringLiteral("なし"), QStringLiteral("切上げ"),
                                     QStringLiteral("切捨て"), QStringLiteral("四捨五入")};
        const QList<QRadioButton *> goods = {opt("opt_Int"), opt("opt_RoundUp"), opt("opt_RoundDown"),
                                             opt("opt_Round")};
        const QList<QRadioButton *> addOn = {opt("opt_Int_Add"), opt("opt_RoundUp_Add"),
                                             opt("opt_RoundDown_Add"), opt("opt_Round_Add")};
        const QStringList goodsNames = {QStringLiteral("opt_Int"), QStringLiteral("opt_RoundUp"),
                                        QStringLiteral("opt_RoundDown"), QStringLiteral("opt_Round")};
        for (int code = 0; code < 4; ++code) {
            QCOMPARE(goods[code]->objectName(), goodsNames[code]);
            QCOMPARE(addOn[code]->objectName(), goodsNames[code] + QStringLiteral("_Add"));
            QCOMPARE(goods[code]->text(), methods[code]);
            QCOMPARE(addOn[code]->text(), methods[code]);
            QCOMPARE(goods[code]->parentWidget(), fra("fra_Hasuu_Select", 0));
            QCOMPARE(addOn[code]->parentWidget(), fra("fra_Hasuu_Select", 1));
        }
        const QStringList digits = {QStringLiteral("１の位"), QStringLiteral("１０の位"),
                                    QStringLiteral("１００の位"), QStringLiteral("１０００の位")};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(opt("opt_Keta", i)->objectName(), QStringLiteral("opt_Keta(%1)").arg(i));
            QCOMPARE(opt("opt_Keta", i)->text(), digits[i]);
            QCOMPARE(opt("opt_Keta", i)->parentWidget(), fra("fra_Hasuu_Keta", 0));
        }
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(opt("opt_Keta_Add", i)->objectName(), QStringLiteral("opt_Keta_Add(%1)").arg(i));
            QCOMPARE(opt("opt_Keta_Add", i)->text(), digits[i]);
            QCOMPARE(opt("opt_Keta_Add", i)->parentWidget(), fra("fra_Hasuu_Keta", 1));
        }
        QVERIFY(!m_panel->findChild<QRadioButton *>(QStringLiteral("opt_Keta_Add(3)")));
        for (int kind = 0; kind < 2; ++kind) {
            QCOMPARE(fra("fra_Hasuu_Select", kind)->objectName(),
                     QStringLiteral("fra_Hasuu_Select(%1)").arg(kind));
            QCOMPARE(fra("fra_Hasuu_Keta", kind)->objectName(),
                     QStringLiteral("fra_Hasuu_Keta(%1)").arg(kind));
            QCOMPARE(lbl("lbl_Hasuu_Select", kind)->objectName(),
                     QStringLiteral("lbl_Hasuu_Select(%1)").arg(kind));
            QCOMPARE(lbl("lbl_Hasuu_Keta", kind)->objectName(),
                     QStringLiteral("lbl_Hasuu_Keta(%1)").arg(kind));
            QCOMPARE(lbl("lbl_Hasuu_Select", kind)->text(), QStringLiteral("端数処理選択"));
            QCOMPARE(lbl("lbl_Hasuu_Keta", kind)->text(), QStringLiteral("端数処理ケタ位置"));
        }

        // The design selection: method 0 with its box, no rounding, empty and disabled digit rows.
        QCOMPARE(m_panel->selectedCalcMethod(), 0);
        QCOMPARE(m_panel->params().CalcMethod, 0);
        QVERIFY(txt("txt_Tax_To", 0)->isEnabled());
        QVERIFY(!txt("txt_Tax_From", 1)->isEnabled());
        QVERIFY(!txt("txt_Tax_To", 1)->isEnabled());
        QVERIFY(!txt("txt_Tax_From", 2)->isEnabled());
        QVERIFY(opt("opt_Int")->isChecked());
        QVERIFY(opt("opt_Int_Add")->isChecked());
        for (QRadioButton *digit :
             m_panel->findChildren<QRadioButton *>(QRegularExpression(QStringLiteral("^opt_Keta")))) {
            QVERIFY2(!digit->isEnabled(), qPrintable(digit->objectName()));
            QVERIFY2(!digit->isChecked(), qPrintable(digit->objectName()));
        }
        QCOMPARE(m_panel->params().HASU_FLG, (std::array<int, 2>{0, 0}));
        QCOMPARE(m_panel->params().HASU_ICHI, (std::array<int, 2>{0, 0}));
        QCOMPARE(m_panel->params().TAX_ST[0], QStringLiteral("0"));
        QCOMPARE(m_panel->params().TAX_END[2], QStringLiteral("0"));
    }

    void theTabOrderRunsThroughThePanelAsTheFormOrdersIt()
    {
        const QStringList expected = {QStringLiteral("opt_Tax(0)"),      QStringLiteral("txt_Tax_To(0)"),
                                      QStringLiteral("opt_Tax(1)"),      QStringLiteral("txt_Tax_From(1)"),
                                      QStringLiteral("txt_Tax_To(1)"),   QStringLiteral("opt_Tax(2)"),
                                      QStringLiteral("txt_Tax_From(2)"), QStringLiteral("opt_Int"),
                                      QStringLiteral("opt_RoundUp"),     QStringLiteral("opt_RoundDown"),
                                      QStringLiteral("opt_Round"),       QStringLiteral("opt_Keta(0)"),
                                      QStringLiteral("opt_Keta(1)"),     QStringLiteral("opt_Keta(2)"),
                                      QStringLiteral("opt_Keta(3)"),     QStringLiteral("opt_Int_Add"),
                                      QStringLiteral("opt_RoundUp_Add"), QStringLiteral("opt_RoundDown_Add"),
                                      QStringLiteral("opt_Round_Add"),   QStringLiteral("opt_Keta_Add(0)"),
                                      QStringLiteral("opt_Keta_Add(1)"), QStringLiteral("opt_Keta_Add(2)")};
        QStringList chain;
        QWidget *w = opt("opt_Tax", 0);
        do {
            if (m_panel->isAncestorOf(w) && w->focusPolicy() != Qt::NoFocus)
                chain << w->objectName();
            w = w->nextInFocusChain();
        } while (w != opt("opt_Tax", 0));
        QCOMPARE(chain, expected);
    }

    void tabEntersEachOptionGroupAtItsSelectedOption()
    {
        selectMethod(0);
        click(opt("opt_Round"));
        click(opt("opt_Keta", 2));
        click(opt("opt_RoundDown_Add"));
        // Method 1 selected from code, as the category-clear command does, after method 0 had
        // the focus: the group is entered at method 1 all the same.
        m_panel->selectCalcMethod(1);
        txt("txt_Tax_From", 1)->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(focusName(), QStringLiteral("opt_Tax(1)"));

        QStringList visited{focusName()};
        for (int step = 0; step < 7; ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << focusName();
        }
        QCOMPARE(visited, (QStringList{QStringLiteral("opt_Tax(1)"), QStringLiteral("txt_Tax_From(1)"),
                                       QStringLiteral("txt_Tax_To(1)"), QStringLiteral("opt_Round"),
                                       QStringLiteral("opt_Keta(2)"), QStringLiteral("opt_RoundDown_Add"),
                                       QStringLiteral("opt_Keta_Add(0)"), visited.last()}));
        QVERIFY(!m_panel->isAncestorOf(QApplication::focusWidget()));
        // Passing through by Tab records what is selected.
        QCOMPARE(m_panel->selectedCalcMethod(), 1);
        QCOMPARE(m_panel->params().HASU_FLG, (std::array<int, 2>{HasuRoundHalfUp, HasuRoundDown}));
        QCOMPARE(m_panel->params().HASU_ICHI, (std::array<int, 2>{2, 0}));
    }

    void theRateBoxesTakeDigitsOnly_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "a"
                                << "";
        QTest::newRow("decimal point") << "."
                                       << "";
        QTest::newRow("minus sign") << "-"
                                    << "";
        QTest::newRow("blank") << " "
                               << "";
        QTest::newRow("full-width digit") << "１"
                                          << "";
        QTest::newRow("digits") << "08"
                                << "08";
        QTest::newRow("digits around refused characters") << "1.a0"
                                                          << "10";
        QTest::newRow("third digit") << "123"
                                     << "12";
        QTest::newRow("backspace") << "12\b"
                                   << "1";
        QTest::newRow("backspace then digit") << "12\b\b7"
                                              << "7";
    }
    void theRateBoxesTakeDigitsOnly()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        selectMethod(1);
        type(txt("txt_Tax_From", 1), typed);
        QCOMPARE(txt("txt_Tax_From", 1)->text(), shown);
        QCOMPARE(m_panel->params().TAX_ST[1], shown);
    }

    void pastedTextReachesARateBoxOnlyAsDigits_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("shown");
        QTest::newRow("digits") << "08"
                                << "08";
        QTest::newRow("digit and quote") << "8'"
                                         << "";
        QTest::newRow("letters") << "ab"
                                 << "";
        QTest::newRow("decimal") << "8.5"
                                 << "";
        QTest::newRow("three digits are cut to two") << "105"
                                                     << "10";
    }
    void pastedTextReachesARateBoxOnlyAsDigits()
    {
        QFETCH(QString, pasted);
        QFETCH(QString, shown);
        selectMethod(1);
        QLineEdit *box = txt("txt_Tax_To", 1);
        box->setFocus(Qt::MouseFocusReason);
        QApplication::clipboard()->setText(pasted);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(box->text(), shown);
        QCOMPARE(m_panel->params().TAX_END[1], shown);
    }

    void eachMethodKeepsItsOwnRates()
    {
        m_panel->setTaxPreset(QStringLiteral("10"));
        m_panel->prsb_ShowTaxRates();
        QCOMPARE(txt("txt_Tax_To", 0)->text(), QStringLiteral("10"));

        selectMethod(1);
        type(txt("txt_Tax_From", 1), QStringLiteral("8"));
        type(txt("txt_Tax_To", 1), QStringLiteral("10"));
        selectMethod(0);
        QCOMPARE(txt("txt_Tax_To", 0)->text(), QStringLiteral("10"));
        QCOMPARE(txt("txt_Tax_From", 1)->text(), QString());
        QCOMPARE(txt("txt_Tax_To", 1)->text(), QString());
        selectMethod(1);
        QCOMPARE(txt("txt_Tax_From", 1)->text(), QStringLiteral("8"));
        QCOMPARE(txt("txt_Tax_To", 1)->text(), QStringLiteral("10"));
        QVERIFY(txt("txt_Tax_From", 1)->isEnabled());
        QVERIFY(txt("txt_Tax_To", 1)->isEnabled());
        QVERIFY(!txt("txt_Tax_To", 0)->isEnabled());
        QCOMPARE(m_panel->params().CalcMethod, 1);
    }

    void methodTwoBlanksTheOtherRowsWithoutErasingThem()
    {
        m_panel->setTaxPreset(QStringLiteral("10"));
        m_panel->prsb_ShowTaxRates();
        selectMethod(1);
        type(txt("txt_Tax_From", 1), QStringLiteral("8"));
        type(txt("txt_Tax_To", 1), QStringLiteral("10"));

        selectMethod(2);
        QCOMPARE(txt("txt_Tax_To", 0)->text(), QString());
        QCOMPARE(txt("txt_Tax_From", 1)->text(), QString());
        QCOMPARE(txt("txt_Tax_To", 1)->text(), QString());
        QVERIFY(!txt("txt_Tax_To", 0)->isEnabled());
        QVERIFY(!txt("txt_Tax_From", 1)->isEnabled());
        QVERIFY(!txt("txt_Tax_To", 1)->isEnabled());
        QVERIFY(txt("txt_Tax_From", 2)->isEnabled());
        const ConversionParams &params = m_panel->params();
        QCOMPARE(params.TAX_END[0], QStringLiteral("10"));
        QCOMPARE(params.TAX_ST[1], QStringLiteral("8"));
        QCOMPARE(params.TAX_END[1], QStringLiteral("10"));

        type(txt("txt_Tax_From", 2), QStringLiteral("10"));
        QCOMPARE(params.TAX_ST[2], QStringLiteral("10"));
        QCOMPARE(params.TAX_END[2], QStringLiteral("0"));
        QCOMPARE(params.CalcMethod, 2);
    }

    void selectingAMethodFromCodeActsAsAClick()
    {
        selectMethod(1);
        m_panel->setTaxPreset(QStringLiteral("5"));
        m_panel->selectCalcMethod(0);
        QCOMPARE(m_panel->selectedCalcMethod(), 0);
        QCOMPARE(m_panel->params().CalcMethod, 0);
        QCOMPARE(txt("txt_Tax_To", 0)->text(), QStringLiteral("5"));
        QVERIFY(txt("txt_Tax_To", 0)->isEnabled());
        QVERIFY(!txt("txt_Tax_From", 1)->isEnabled());

        // Again on the selected method: its rates are shown anew.
        m_panel->setTaxPreset(QStringLiteral("8"));
        m_panel->selectCalcMethod(0);
        QCOMPARE(txt("txt_Tax_To", 0)->text(), QStringLiteral("8"));
    }

    void theFixedZerosStayWhateverTheOperatorDoes()
    {
        for (int method : {2, 1, 0, 2}) {
            selectMethod(method);
            for (QLineEdit *box : m_panel->findChildren<QLineEdit *>()) {
                if (!box->isEnabled())
                    continue;
                type(box, QStringLiteral("99"));
                QTest::keyClick(box, Qt::Key_Backspace);
                QTest::keyClick(box, Qt::Key_Backspace);
                type(box, QStringLiteral("0"));
            }
            opt("opt_Tax", (method + 1) % 3)->setFocus(Qt::TabFocusReason);
        }
        m_panel->selectCalcMethod(0);
        m_panel->selectCalcMethod(2);
        QCOMPARE(m_panel->params().TAX_ST[0], QStringLiteral("0"));
        QCOMPARE(m_panel->params().TAX_END[2], QStringLiteral("0"));
    }

    void enterRunsThroughThePanelToTheDatabaseList_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("goods");
        QTest::addColumn<int>("goodsDigit");
        QTest::addColumn<QString>("addOn");
        QTest::addColumn<int>("addOnDigit");
        QTest::addColumn<QStringList>("path");

        QTest::newRow("method 0, no rounding")
            << 0 << "opt_Int" << -1 << "opt_Int_Add" << -1
            << QStringList{QStringLiteral("opt_Tax(0)"), QStringLiteral("txt_Tax_To(0)"),
                           QStringLiteral("opt_Int"), QStringLiteral("opt_Int_Add"),
                           QStringLiteral("cmb_DAT")};
        QTest::newRow("method 1, goods half up at tens, add-on down at hundreds")
            << 1 << QStringLiteral("opt_Round") << 1 << QStringLiteral("opt_RoundDown_Add") << 2
            << QStringList{QStringLiteral("opt_Tax(1)"),      QStringLiteral("txt_Tax_From(1)"),
                           QStringLiteral("txt_Tax_To(1)"),   QStringLiteral("opt_Round"),
                           QStringLiteral("opt_Keta(1)"),     QStringLiteral("opt_RoundDown_Add"),
                           QStringLiteral("opt_Keta_Add(2)"), QStringLiteral("cmb_DAT")};
        QTest::newRow("method 2, goods up at thousands, add-on none")
            << 2 << QStringLiteral("opt_RoundUp") << 3 << QStringLiteral("opt_Int_Add") << -1
            << QStringList{QStringLiteral("opt_Tax(2)"),  QStringLiteral("txt_Tax_From(2)"),
                           QStringLiteral("opt_RoundUp"), QStringLiteral("opt_Keta(3)"),
                           QStringLiteral("opt_Int_Add"), QStringLiteral("cmb_DAT")};
        QTest::newRow("method 1, goods none, add-on half up at ones")
            << 1 << QStringLiteral("opt_Int") << -1 << QStringLiteral("opt_Round_Add") << 0
            << QStringList{QStringLiteral("opt_Tax(1)"),    QStringLiteral("txt_Tax_From(1)"),
                           QStringLiteral("txt_Tax_To(1)"), QStringLiteral("opt_Int"),
                           QStringLiteral("opt_Round_Add"), QStringLiteral("opt_Keta_Add(0)"),
                           QStringLiteral("cmb_DAT")};
        QTest::newRow("method 0, goods down at ones, add-on up at tens")
            << 0 << QStringLiteral("opt_RoundDown") << 0 << QStringLiteral("opt_RoundUp_Add") << 1
            << QStringList{QStringLiteral("opt_Tax(0)"),      QStringLiteral("txt_Tax_To(0)"),
                           QStringLiteral("opt_RoundDown"),   QStringLiteral("opt_Keta(0)"),
                           QStringLiteral("opt_RoundUp_Add"), QStringLiteral("opt_Keta_Add(1)"),
                           QStringLiteral("cmb_DAT")};
    }
    void enterRunsThroughThePanelToTheDatabaseList()
    {
        QFETCH(int, method);
        QFETCH(QString, goods);
        QFETCH(int, goodsDigit);
        QFETCH(QString, addOn);
        QFETCH(int, addOnDigit);
        QFETCH(QStringList, path);

        click(m_panel->findChild<QRadioButton *>(goods));
        if (goodsDigit >= 0)
            click(opt("opt_Keta", goodsDigit));
        click(m_panel->findChild<QRadioButton *>(addOn));
        if (addOnDigit >= 0)
            click(opt("opt_Keta_Add", addOnDigit));
        const ConversionParams chosen = m_panel->params();
        selectMethod(method);

        QCOMPARE(followEnter(), path);
        QCOMPARE(m_panel->params().HASU_FLG, chosen.HASU_FLG);
        QCOMPARE(m_panel->params().HASU_ICHI, chosen.HASU_ICHI);
    }

    void enterOnARateBoxIsNotTyped()
    {
        selectMethod(1);
        type(txt("txt_Tax_From", 1), QStringLiteral("8"));
        pressEnter();
        QCOMPARE(focusName(), QStringLiteral("txt_Tax_To(1)"));
        QCOMPARE(txt("txt_Tax_From", 1)->text(), QStringLiteral("8"));
        QCOMPARE(txt("txt_Tax_To", 1)->text(), QString());
    }

    void enterOnADigitOptionGoesOnAsTheRowsFallbacksDo()
    {
        click(opt("opt_RoundUp"));
        click(opt("opt_Keta", 2));
        click(opt("opt_Round_Add"));
        click(opt("opt_Keta_Add", 1));
        opt("opt_Keta", 2)->setFocus(Qt::MouseFocusReason);
        QCOMPARE(followEnter(), (QStringList{QStringLiteral("opt_Keta(2)"), QStringLiteral("opt_Round_Add"),
                                             QStringLiteral("opt_Keta_Add(1)"), QStringLiteral("cmb_DAT")}));
        opt("opt_Keta_Add", 1)->setFocus(Qt::MouseFocusReason);
        pressEnter();
        QCOMPARE(focusName(), QStringLiteral("cmb_DAT"));
    }

    void withoutAUsableDatabaseListEnterStaysAtTheEndOfThePanel()
    {
        m_form->cmb_DAT->setEnabled(false);
        opt("opt_Int_Add")->setFocus(Qt::MouseFocusReason);
        pressEnter();
        QCOMPARE(focusName(), QStringLiteral("opt_Int_Add"));

        click(opt("opt_Round_Add"));
        click(opt("opt_Keta_Add", 2));
        pressEnter();
        QCOMPARE(focusName(), QStringLiteral("opt_Keta_Add(2)"));
        opt("opt_Round_Add")->setFocus(Qt::MouseFocusReason);
        QCOMPARE(followEnter(),
                 (QStringList{QStringLiteral("opt_Round_Add"), QStringLiteral("opt_Keta_Add(2)")}));

        m_panel->setDatabaseList(nullptr);
        m_form->cmb_DAT->setEnabled(true);
        pressEnter();
        QCOMPARE(focusName(), QStringLiteral("opt_Keta_Add(2)"));
        QCOMPARE(m_panel->params().HASU_FLG[AddOn], HasuRoundHalfUp);
        QCOMPARE(m_panel->params().HASU_ICHI[AddOn], 2);
    }

    void enterOnAMethodHeldWithoutSelectionMovesOnToTheRounding()
    {
        m_panel->setTaxPreset(QStringLiteral("10"));
        selectMethod(1);
        type(txt("txt_Tax_From", 1), QStringLiteral("8"));
        selectMethod(0);
        click(opt("opt_RoundDown"));

        // Pressed on method 1 and released elsewhere: the option has the focus, method 0 stays.
        QRadioButton *method1 = opt("opt_Tax", 1);
        QTest::mousePress(method1, Qt::LeftButton);
        QTest::mouseRelease(method1, Qt::LeftButton, {},
                            QPoint(method1->width() + 40, method1->height() / 2));
        QCOMPARE(focusName(), QStringLiteral("opt_Tax(1)"));
        QCOMPARE(m_panel->selectedCalcMethod(), 0);
        QVERIFY(txt("txt_Tax_To", 0)->isEnabled());
        QVERIFY(!txt("txt_Tax_From", 1)->isEnabled());

        pressEnter();
        QCOMPARE(focusName(), QStringLiteral("opt_RoundDown"));
        QCOMPARE(m_panel->selectedCalcMethod(), 0);
        QCOMPARE(m_panel->params().TAX_END[0], QStringLiteral("10"));
        QCOMPARE(m_panel->params().TAX_ST[1], QStringLiteral("8"));
        QCOMPARE(m_panel->params().TAX_END[2], QStringLiteral("0"));
    }

    void halfUpAtFirstUseSelectsTheOnes()
    {
        click(opt("opt_Round"));
        QVERIFY(opt("opt_Round")->isChecked());
        for (int i = 0; i < 4; ++i)
            QVERIFY(opt("opt_Keta", i)->isEnabled());
        QVERIFY(opt("opt_Keta", 0)->isChecked());
        QCOMPARE(m_panel->params().HASU_FLG[Goods], HasuRoundHalfUp);
        QCOMPARE(m_panel->params().HASU_ICHI[Goods], 0);
        // The add-on row is untouched.
        for (int i = 0; i < 3; ++i)
            QVERIFY(!opt("opt_Keta_Add", i)->isEnabled() && !opt("opt_Keta_Add", i)->isChecked());
        QCOMPARE(m_panel->params().HASU_FLG[AddOn], HasuNone);
    }

    void aDigitChoiceSurvivesADetourThroughNone()
    {
        click(opt("opt_Round"));
        click(opt("opt_Keta", 2));
        QCOMPARE(m_panel->params().HASU_ICHI[Goods], 2);

        click(opt("opt_Int"));
        QCOMPARE(m_panel->params().HASU_FLG[Goods], HasuNone);
        for (QRadioButton *digit :
             {opt("opt_Keta", 0), opt("opt_Keta", 1), opt("opt_Keta", 2), opt("opt_Keta", 3)})
            QVERIFY2(!digit->isEnabled() && !digit->isChecked(), qPrintable(digit->objectName()));
        QCOMPARE(m_panel->params().exponent(Goods), 0);

        click(opt("opt_RoundUp"));
        for (int i = 0; i < 4; ++i)
            QVERIFY(opt("opt_Keta", i)->isEnabled());
        QVERIFY(opt("opt_Keta", 2)->isChecked());
        QCOMPARE(m_panel->params().HASU_FLG[Goods], HasuRoundUp);
        QCOMPARE(m_panel->params().HASU_ICHI[Goods], 2);
        QCOMPARE(m_panel->params().exponent(Goods), 3);
    }

    void theAddOnRowHasNoThousands()
    {
        click(opt("opt_RoundDown_Add"));
        QCOMPARE(m_panel->params().HASU_FLG[AddOn], HasuRoundDown);
        QVERIFY(opt("opt_Keta_Add", 0)->isChecked());
        click(opt("opt_Keta_Add", 2));
        // The arrow keys stay within the row: past the hundreds there is nothing to choose.
        QTest::keyClick(opt("opt_Keta_Add", 2), Qt::Key_Right);
        QCOMPARE(focusName(), QStringLiteral("opt_Keta_Add(2)"));
        QCOMPARE(m_panel->params().HASU_ICHI[AddOn], 2);

        m_panel->prsb_SelectKeta(13);
        QVERIFY(opt("opt_Keta_Add", 2)->isChecked());
        QCOMPARE(m_panel->params().HASU_ICHI[AddOn], 2);
        // The goods row is not the add-on row's fourth position.
        QVERIFY(!opt("opt_Keta", 3)->isChecked());
    }

    void arrowKeysChooseWithinAGroupAndRecordTheChoice()
    {
        click(opt("opt_Int"));
        QTest::keyClick(opt("opt_Int"), Qt::Key_Right);
        QCOMPARE(focusName(), QStringLiteral("opt_RoundUp"));
        QVERIFY(opt("opt_RoundUp")->isChecked());
        QCOMPARE(m_panel->params().HASU_FLG[Goods], HasuRoundUp);
        QVERIFY(opt("opt_Keta", 0)->isChecked());

        QTest::keyClick(opt("opt_RoundUp"), Qt::Key_Right);
        QTest::keyClick(opt("opt_RoundDown"), Qt::Key_Right);
        QCOMPARE(focusName(), QStringLiteral("opt_Round"));
        QCOMPARE(m_panel->params().HASU_FLG[Goods], HasuRoundHalfUp);

        selectMethod(0);
        QTest::keyClick(opt("opt_Tax", 0), Qt::Key_Down);
        QCOMPARE(focusName(), QStringLiteral("opt_Tax(1)"));
        QCOMPARE(m_panel->selectedCalcMethod(), 1);
        QVERIFY(txt("txt_Tax_From", 1)->isEnabled());
    }

    void focusSelectedFollowsItsGroups_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<QString>("target");
        QTest::newRow("goods method") << 0 << "opt_Round";
        QTest::newRow("goods digit") << 1 << "opt_Keta(3)";
        QTest::newRow("add-on method") << 2 << "opt_Int_Add";
        QTest::newRow("add-on digit falls back to the database list") << 3 << "cmb_DAT";
        QTest::newRow("no such group") << 4 << "lstTbl";
    }
    void focusSelectedFollowsItsGroups()
    {
        QFETCH(int, group);
        QFETCH(QString, target);
        click(opt("opt_Round"));
        click(opt("opt_Keta", 3));
        m_form->lstTbl->setFocus(Qt::MouseFocusReason);
        m_panel->prsb_FocusSelected(group);
        QCOMPARE(focusName(), target);
    }

    void theRunPreconditions()
    {
        testing::TestCatalog catalog;
        QCOMPARE(catalog.create(
                     QStringLiteral("INSERT INTO MITEMCNT (ITEM_CD, DETAIL_NO, CHK) VALUES ('01', 0, 0);\n"
                                    "INSERT INTO MITEMCNT (ITEM_CD, DETAIL_NO, CHK) VALUES ('02', 0, 0);\n")),
                 QString());
        Connection connection;
        QVERIFY(connection.open(catalog.connectionText()));
        int counted = 0;
        const ConditionPanel::MarkedCounter count = [&]() -> long {
            ++counted;
            const auto result =
                connection.openRecordset(QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1"));
            return result ? result->field(0).toLongLong() : -1;
        };
        const auto check = [&] { return m_panel->prfn_InputCheck(count, m_form->lstTbl); };
        // Each message shown since the last look: its number, title and buttons.
        const auto shownNumbers = [&] {
            QStringList numbers;
            for (const BoxRequest &box : std::as_const(m_shown))
                numbers << QStringLiteral("%1 %2 %3").arg(box.msgNo, box.title).arg(box.style);
            m_shown.clear();
            return numbers;
        };

        // Nothing marked and no rates: only the category message, and the grid gets the focus.
        selectMethod(1);
        txt("txt_Tax_To", 1)->setFocus(Qt::MouseFocusReason);
        const ConversionParams before = m_panel->params();
        QVERIFY(!check());
        QCOMPARE(shownNumbers(), QStringList{QStringLiteral("40035 売価更新 0")});
        QCOMPARE(focusName(), QStringLiteral("lstTbl"));
        QCOMPARE(counted, 1);
        QCOMPARE(m_panel->params().TAX_ST, before.TAX_ST);
        QCOMPARE(m_panel->params().TAX_END, before.TAX_END);
        QCOMPARE(m_panel->selectedCalcMethod(), 1);

        // Method 1 stops at each empty box in turn.
        QCOMPARE(catalog.run(QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE ITEM_CD = '02';\n")),
                 QString());
        QVERIFY(!check());
        QCOMPARE(shownNumbers(), QStringList{QStringLiteral("40419 売価更新 0")});
        QCOMPARE(focusName(), QStringLiteral("txt_Tax_From(1)"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("8"));
        QVERIFY(!check());
        QCOMPARE(shownNumbers(), QStringList{QStringLiteral("40419 売価更新 0")});
        QCOMPARE(focusName(), QStringLiteral("txt_Tax_To(1)"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("8"));
        QVERIFY(check());
        QCOMPARE(shownNumbers(), QStringList());
        // Equal rates and a rate of 0 pass alike.
        type(txt("txt_Tax_From", 1), QStringLiteral("\b0"));
        type(txt("txt_Tax_To", 1), QStringLiteral("\b0"));
        QCOMPARE(txt("txt_Tax_To", 1)->text(), QStringLiteral("0"));
        QVERIFY(check());

        // Method 0 passes on the rate preset from the database.
        m_panel->setTaxPreset(QStringLiteral("10"));
        selectMethod(0);
        QVERIFY(check());
        m_panel->setTaxPreset(QString());
        m_panel->prsb_ShowTaxRates();
        QVERIFY(!check());
        QCOMPARE(shownNumbers(), QStringList{QStringLiteral("40419 売価更新 0")});
        QCOMPARE(focusName(), QStringLiteral("txt_Tax_To(0)"));

        // Method 2 has only the old rate to fill in.
        selectMethod(2);
        QVERIFY(!check());
        QCOMPARE(shownNumbers(), QStringList{QStringLiteral("40419 売価更新 0")});
        QCOMPARE(focusName(), QStringLiteral("txt_Tax_From(2)"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("10"));
        QVERIFY(check());
        QCOMPARE(txt("txt_Tax_To", 0)->text(), QString());
        QCOMPARE(txt("txt_Tax_To", 1)->text(), QString());

        // A count that fails is taken as nothing marked.
        connection.setStatementHook(
            [](const QString &) { return std::optional<QString>(QStringLiteral("refused")); });
        txt("txt_Tax_From", 2)->setFocus(Qt::MouseFocusReason);
        QVERIFY(!check());
        QCOMPARE(shownNumbers(), QStringList{QStringLiteral("40035 売価更新 0")});
        QCOMPARE(focusName(), QStringLiteral("lstTbl"));
    }

    void theRateRowsLineUp()
    {
        selectMethod(1);
        type(txt("txt_Tax_From", 1), QStringLiteral("8"));
        type(txt("txt_Tax_To", 1), QStringLiteral("10"));
        click(opt("opt_Round"));
        click(opt("opt_Keta", 1));
        QCOMPARE(m_panel->params().HASU_FLG[Goods], HasuRoundHalfUp);
        QCOMPARE(m_panel->params().HASU_ICHI[Goods], 1);

        const auto centreY = [this](const QWidget *w) { return w->mapTo(m_panel, w->rect().center()).y(); };
        const auto leftIn = [this](const QWidget *w) { return w->mapTo(m_panel, QPoint(0, 0)).x(); };
        for (int i = 0; i < 3; ++i) {
            const QLabel *label = lbl("lbl_Tax", i);
            QVERIFY(qAbs(centreY(opt("opt_Tax", i)) - centreY(label)) <= 1);
            // The arrows stand in one column.
            const QFontMetrics metrics(label->font());
            const auto arrowAt = [&](const QLabel *l) {
                return leftIn(l) +
                       metrics.horizontalAdvance(l->text().left(l->text().indexOf(QStringLiteral("→"))));
            };
            QCOMPARE(arrowAt(label), arrowAt(lbl("lbl_Tax", 0)));
            // The new rate stands inside the blanks between "税込" and "%".
            if (auto *to = m_panel->findChild<QLineEdit *>(QStringLiteral("txt_Tax_To(%1)").arg(i))) {
                const QString caption = label->text();
                const int runStart = caption.indexOf(QStringLiteral("税込")) + 2;
                const int runLeft = leftIn(label) + metrics.horizontalAdvance(caption.left(runStart));
                const int runRight = leftIn(label) + metrics.horizontalAdvance(
                                                         caption.left(caption.lastIndexOf(QLatin1Char('%'))));
                QVERIFY(leftIn(to) >= runLeft);
                QVERIFY(leftIn(to) + to->width() <= runRight);
                QCOMPARE(centreY(to), centreY(label));
            }
            // The old rate stands right before the label's " %".
            if (auto *from = m_panel->findChild<QLineEdit *>(QStringLiteral("txt_Tax_From(%1)").arg(i))) {
                QCOMPARE(leftIn(from) + from->width(), leftIn(label));
                QCOMPARE(centreY(from), centreY(label));
            }
        }
        // The digit positions stand under the rounding methods, column by column.
        const QList<QRadioButton *> methods = {opt("opt_Int"), opt("opt_RoundUp"), opt("opt_RoundDown"),
                                               opt("opt_Round")};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(leftIn(opt("opt_Keta", i)), leftIn(methods[i]));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(leftIn(opt("opt_Keta_Add", i)), leftIn(opt("opt_Keta", i)));

        // A picture of the panel for a person to look at, when one is asked for.
        const QString picture = qEnvironmentVariable("KRT_PANEL_PICTURE");
        if (!picture.isEmpty())
            QVERIFY(m_panel->grab().save(picture));
    }
};

QTEST_MAIN(TestConditionPanel)
#include "tst_conditionpanel.moc"
