#pragma once

#include "pricing/conversionparams.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class QButtonGroup;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace krt {

// The conversion-condition panel pic_Jyoukein: the calculation method with its old and new tax
// rates, and for goods and add-on prices the rounding method and the digit position at which
// prices are rounded. What the operator enters is kept in the panel's ConversionParams.
//
// Enter moves the focus through the panel: from each calculation method to its rate boxes, on to
// the selected goods rounding method, its digit position, the add-on rounding method, its digit
// position and finally the database list.
class ConditionPanel : public QWidget
{
    Q_OBJECT

public:
    // Comes up as the form shows it after loading: method 0 selected with its box enabled, the
    // fixed zeros of methods 0 and 2 set, no rounding for either price kind and both digit rows
    // empty and disabled.
    explicit ConditionPanel(QWidget *parent = nullptr);

    // What the operator entered, for the run.
    const ConversionParams &params() const { return m_params; }
    // Sets the fixed entries of the conversion parameters, as the form's load does: the old rate
    // of method 0 and the new rate of method 2 to 0, the digit positions of both price kinds to 0.
    void setFixedEntries();
    // The new rate of method 0 preset from the database (its current tax rate), empty for none;
    // the next prsb_ShowTaxRates shows it.
    void setTaxPreset(const QString &rate);

    // The first of opt_Tax(0), opt_Tax(1), opt_Tax(2) that is selected.
    int selectedCalcMethod() const;
    // Selects opt_Tax(i) as a click by the operator does, with the same consequences.
    void selectCalcMethod(int i);

    // The database list, where the Enter path ends after the add-on digit position.
    void setDatabaseList(QWidget *cmb_DAT);
    // Puts the panel's first tab stop, opt_Tax(0), right after a control of the form.
    void setTabOrderAfter(QWidget *previous);

    // Shows the stored rates of the selected method in its boxes and blanks the other boxes.
    void prsb_ShowTaxRates();
    // Enables the rate boxes of the selected method and disables the others.
    void prsb_EnableTaxRates();
    // Selects a digit option: codes below 10 are goods positions, 10 and up add-on positions.
    void prsb_SelectKeta(int code);
    // Gives the focus to the selected option of a group: 0 goods method, 1 goods digit position,
    // 2 add-on method, 3 add-on digit position.
    void prsb_FocusSelected(int group);
    // Gives the focus to the old-rate box txt_Tax_From(i) of method 1 or 2.
    void focusTaxFrom(int i);

    // The captions of a price kind's selected rounding method and digit position, as the run's
    // confirmation names them; the digit position is empty while none is selected.
    struct RoundingCaptions
    {
        QString method;
        QString digit;
    };
    RoundingCaptions roundingCaptions(PriceKind kind) const;

    // Whether a conversion run may start: some category is marked and the rate boxes of the
    // selected method are filled. Shows the first problem found and puts the focus where the
    // operator has to act (the category grid lstTbl, or the empty rate box). The counter gives
    // the number of marked categories of the work list, or -1 when it could not be read.
    using MarkedCounter = std::function<long()>;
    bool prfn_InputCheck(const MarkedCounter &markedCount, QWidget *lstTbl);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Enables the digit options of a price kind when it has a rounding method, else disables them.
    void prsb_EnableKeta(int kind);
    // Unselects every digit option of a price kind (0 goods, anything else add-on).
    void prsb_ClearKeta(int kind);

    void buildRateBlock();
    void buildRoundingBlock(PriceKind kind, int top);
    QRadioButton *addOption(QWidget *frame, const QString &name, const QString &caption, int left, int top);
    QLineEdit *addRateBox(const QString &name, const QRect &geometry);
    void orderTabStops();

    void opt_Tax_Click();
    void opt_Tax_GotFocus(int i);
    void txt_Tax_From_Change(int i);
    void txt_Tax_To_Change(int i);
    void roundingMethod_Click(PriceKind kind, int code);

    void handleFocusIn(QObject *watched);
    bool handleEnter(QObject *watched);
    static bool swallowsKey(const QKeyEvent &key);
    void focusRateStop(QLineEdit *box);
    void focusDatabaseList();
    bool focusIfSelected(const QList<QRadioButton *> &order);
    void keepTabStopOnSelection(QButtonGroup *group);
    QButtonGroup *groupOf(QObject *option) const;

    // Controls, named and indexed as the form names them. A rate box index is the calculation
    // method of its row; the indexes without a box hold nullptr.
    QFrame *fra_Calc = nullptr;
    std::array<QRadioButton *, 3> opt_Tax{};
    std::array<QLineEdit *, 3> txt_Tax_From{};
    std::array<QLineEdit *, 3> txt_Tax_To{};
    std::array<QFrame *, 2> fra_Hasuu_Select{};
    std::array<QFrame *, 2> fra_Hasuu_Keta{};

    QRadioButton *opt_Int = nullptr;
    QRadioButton *opt_RoundUp = nullptr;
    QRadioButton *opt_RoundDown = nullptr;
    QRadioButton *opt_Round = nullptr;
    std::array<QRadioButton *, 4> opt_Keta{};

    QRadioButton *opt_Int_Add = nullptr;
    QRadioButton *opt_RoundUp_Add = nullptr;
    QRadioButton *opt_RoundDown_Add = nullptr;
    QRadioButton *opt_Round_Add = nullptr;
    std::array<QRadioButton *, 3> opt_Keta_Add{};

    ConversionParams m_params;
    QPointer<QWidget> m_databaseList;

    QButtonGroup *m_calcGroup = nullptr;
    std::array<QButtonGroup *, 2> m_methodGroup{};
    std::array<QButtonGroup *, 2> m_ketaGroup{};
};

} // namespace krt
