#include "params/conditionpanel.h"

#include "widgets/fonts.h"
#include "widgets/messages.h"
#include "widgets/twips.h"

#include <QButtonGroup>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include <algorithm>

namespace krt {

namespace {

// Geometry of the panel and its blocks, in twips.
constexpr int PanelWidth = 14280;
constexpr int PanelHeight = 6075;
constexpr int HeadingLeft = 1680;
constexpr int HeadingWidth = 1080;
constexpr int HeadingHeight = 255;
constexpr int FrameLeft = 2760;
constexpr int FrameWidth = 11160;
constexpr int RowHeight = 300;

constexpr int CalcTop = 120;
constexpr int CalcHeadingTop = 240;
constexpr int CalcHeight = 2040;
constexpr int CalcRowTop = 330;
constexpr int CalcRowStep = 540;
constexpr int TaxOptionLeft = 240;
constexpr int OldRateLeft = 1440;
constexpr int RateBoxWidth = 480;
constexpr int TaxLabelLeft = OldRateLeft + RateBoxWidth;

// Each rounding block: the heading at its upper left, the method row and below it the digit row.
constexpr int GoodsBlockTop = 2520;
constexpr int AddOnBlockTop = 4320;
constexpr int HeadingBelowBlockTop = 120;
constexpr int RoundingFrameHeight = 555;
constexpr int RoundingFrameStep = 615;
constexpr int RowLabelLeft = 120;
constexpr int RowLabelWidth = 2160;
constexpr int RoundingOptionLeft = 2400;
constexpr int RoundingOptionStep = 1920;

QString blanks(int count)
{
    return QString(count, QLatin1Char(' '));
}

// The captions between and after the rate boxes. Their runs of blanks leave room for the boxes:
// the old rate stands before the label, the new rate over the blanks after "税込".
const std::array<QString, 3> TaxCaptions = {
    blanks(11) + QStringLiteral("→") + blanks(11) + QStringLiteral("税込") + blanks(9) + QStringLiteral("%"),
    QStringLiteral(" %") + blanks(10) + QStringLiteral("→") + blanks(11) + QStringLiteral("税込") +
        blanks(9) + QStringLiteral("%"),
    QStringLiteral(" %") + blanks(10) + QStringLiteral("→") + blanks(11) + QStringLiteral("税抜き"),
};
const std::array<QString, 3> TaxOptionCaptions = {QStringLiteral("税抜き"), QStringLiteral("税込"),
                                                  QStringLiteral("税込")};
const std::array<QString, 4> MethodCaptions = {QStringLiteral("なし"), QStringLiteral("切上げ"),
                                               QStringLiteral("切捨て"), QStringLiteral("四捨五入")};
const std::array<QString, 4> KetaCaptions = {QStringLiteral("１の位"), QStringLiteral("１０の位"),
                                             QStringLiteral("１００の位"), QStringLiteral("１０００の位")};
const std::array<QString, 4> MethodNames = {QStringLiteral("opt_Int"), QStringLiteral("opt_RoundUp"),
                                            QStringLiteral("opt_RoundDown"), QStringLiteral("opt_Round")};

// A digit code names the add-on digit positions from 10 up.
constexpr int AddOnKetaCode = 10;

QString indexed(const QString &name, int index)
{
    return QStringLiteral("%1(%2)").arg(name).arg(index);
}

bool isEnter(const QKeyEvent &key)
{
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

} // namespace

ConditionPanel::ConditionPanel(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("pic_Jyoukein"));
    setFont(familyFont(9));
    resize(twips(PanelWidth, this), twips(PanelHeight, this));

    buildRateBlock();
    buildRoundingBlock(Goods, GoodsBlockTop);
    buildRoundingBlock(AddOn, AddOnBlockTop);
    orderTabStops();

    setFixedEntries();
    opt_Tax[0]->setChecked(true);
    m_params.CalcMethod = 0;
    opt_Int->setChecked(true);
    opt_Int_Add->setChecked(true);
    for (int kind : {Goods, AddOn}) {
        prsb_EnableKeta(kind);
        keepTabStopOnSelection(m_methodGroup[kind]);
        keepTabStopOnSelection(m_ketaGroup[kind]);
    }
    keepTabStopOnSelection(m_calcGroup);
    prsb_ShowTaxRates();
    prsb_EnableTaxRates();

    connect(m_calcGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        keepTabStopOnSelection(m_calcGroup);
        if (checked) {
            m_params.CalcMethod = id;
            opt_Tax_Click();
        }
    });
    // The rounding the run uses is the rounding shown: it follows the option that becomes
    // selected, never the one that merely got the focus (a press on one option released on
    // another, or the focus moved without a choice, selects nothing).
    for (const PriceKind kind : {Goods, AddOn}) {
        connect(m_methodGroup[kind], &QButtonGroup::idToggled, this, [this, kind](int id, bool checked) {
            keepTabStopOnSelection(m_methodGroup[kind]);
            if (checked)
                roundingMethod_Click(kind, id);
        });
        connect(m_ketaGroup[kind], &QButtonGroup::idToggled, this, [this, kind](int id, bool checked) {
            keepTabStopOnSelection(m_ketaGroup[kind]);
            if (checked)
                m_params.HASU_ICHI[kind] = id;
        });
    }
    for (int i = 1; i <= 2; ++i)
        connect(txt_Tax_From[i], &QLineEdit::textChanged, this, [this, i] { txt_Tax_From_Change(i); });
    for (int i = 0; i <= 1; ++i)
        connect(txt_Tax_To[i], &QLineEdit::textChanged, this, [this, i] { txt_Tax_To_Change(i); });
}

void ConditionPanel::buildRateBlock()
{
    auto *lbl_Calc = new QLabel(QStringLiteral("計算方法"), this);
    lbl_Calc->setObjectName(QStringLiteral("lbl_Calc"));
    lbl_Calc->setGeometry(twipsRect(HeadingLeft, CalcHeadingTop, HeadingWidth, HeadingHeight, this));

    fra_Calc = new QFrame(this);
    fra_Calc->setObjectName(QStringLiteral("fra_Calc"));
    fra_Calc->setFrameShape(QFrame::Box);
    fra_Calc->setGeometry(twipsRect(FrameLeft, CalcTop, FrameWidth, CalcHeight, this));

    // The arrows of the three rows stand in one column: row 0 has a blank where the others
    // have " %" after the old rate, so its caption starts further right.
    const QFontMetrics metrics(font());
    const auto toArrow = [&metrics](const QString &caption) {
        return metrics.horizontalAdvance(caption.left(caption.indexOf(QStringLiteral("→"))));
    };
    const int arrowColumn =
        std::max({toArrow(TaxCaptions[0]), toArrow(TaxCaptions[1]), toArrow(TaxCaptions[2])});

    m_calcGroup = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        const int top = CalcRowTop + i * CalcRowStep;
        opt_Tax[i] = addOption(fra_Calc, indexed(QStringLiteral("opt_Tax"), i), TaxOptionCaptions[i],
                               TaxOptionLeft, top);
        m_calcGroup->addButton(opt_Tax[i], i);

        if (i >= 1)
            txt_Tax_From[i] = addRateBox(indexed(QStringLiteral("txt_Tax_From"), i),
                                         twipsRect(OldRateLeft, top, RateBoxWidth, RowHeight, this));

        QLabel *label = new QLabel(TaxCaptions[i], fra_Calc);
        label->setObjectName(indexed(QStringLiteral("lbl_Tax"), i));
        const QRect labelRect = twipsRect(TaxLabelLeft, top, 0, RowHeight, this)
                                    .translated(arrowColumn - toArrow(TaxCaptions[i]), 0);
        label->setGeometry(labelRect.left(), labelRect.top(), metrics.horizontalAdvance(label->text()) + 2,
                           labelRect.height());

        if (i <= 1) {
            // The new rate stands over the blanks between "税込" and "%", centred in them.
            const QString &caption = TaxCaptions[i];
            const int runStart = caption.indexOf(QStringLiteral("税込")) + 2;
            const int runWidth =
                metrics.horizontalAdvance(caption.mid(runStart, caption.lastIndexOf(u'%') - runStart));
            const int boxWidth = twips(RateBoxWidth, this);
            const int left = labelRect.left() + metrics.horizontalAdvance(caption.left(runStart)) +
                             (runWidth - boxWidth) / 2;
            txt_Tax_To[i] = addRateBox(indexed(QStringLiteral("txt_Tax_To"), i),
                                       QRect(left, labelRect.top(), boxWidth, labelRect.height()));
        }
    }
}

void ConditionPanel::buildRoundingBlock(PriceKind kind, int top)
{
    const QString suffix = kind == Goods ? QString() : QStringLiteral("_Add");

    QLabel *heading = new QLabel(kind == Goods ? QStringLiteral("商　品") : QStringLiteral("商品加算"), this);
    heading->setObjectName(kind == Goods ? QStringLiteral("lbl_Goods") : QStringLiteral("lbl_GoodsAdd"));
    heading->setGeometry(
        twipsRect(HeadingLeft, top + HeadingBelowBlockTop, HeadingWidth, HeadingHeight, this));

    const auto addRow = [this, kind](const QString &frameName, const QString &labelName,
                                     const QString &caption, int rowTop) {
        auto *frame = new QFrame(this);
        frame->setObjectName(indexed(frameName, kind));
        frame->setFrameShape(QFrame::Box);
        frame->setGeometry(twipsRect(FrameLeft, rowTop, FrameWidth, RoundingFrameHeight, this));
        auto *label = new QLabel(caption, frame);
        label->setObjectName(indexed(labelName, kind));
        label->setGeometry(
            twipsRect(RowLabelLeft, (RoundingFrameHeight - RowHeight) / 2, RowLabelWidth, RowHeight, this));
        return frame;
    };
    fra_Hasuu_Select[kind] = addRow(QStringLiteral("fra_Hasuu_Select"), QStringLiteral("lbl_Hasuu_Select"),
                                    QStringLiteral("端数処理選択"), top);
    fra_Hasuu_Keta[kind] = addRow(QStringLiteral("fra_Hasuu_Keta"), QStringLiteral("lbl_Hasuu_Keta"),
                                  QStringLiteral("端数処理ケタ位置"), top + RoundingFrameStep);

    const int optionTop = (RoundingFrameHeight - RowHeight) / 2;
    m_methodGroup[kind] = new QButtonGroup(this);
    std::array<QRadioButton *, 4> methods{};
    for (int code = HasuNone; code <= HasuRoundHalfUp; ++code) {
        methods[code] = addOption(fra_Hasuu_Select[kind], MethodNames[code] + suffix, MethodCaptions[code],
                                  RoundingOptionLeft + code * RoundingOptionStep, optionTop);
        m_methodGroup[kind]->addButton(methods[code], code);
    }
    (kind == Goods ? opt_Int : opt_Int_Add) = methods[HasuNone];
    (kind == Goods ? opt_RoundUp : opt_RoundUp_Add) = methods[HasuRoundUp];
    (kind == Goods ? opt_RoundDown : opt_RoundDown_Add) = methods[HasuRoundDown];
    (kind == Goods ? opt_Round : opt_Round_Add) = methods[HasuRoundHalfUp];

    m_ketaGroup[kind] = new QButtonGroup(this);
    const int positions = kind == Goods ? 4 : 3;
    for (int i = 0; i < positions; ++i) {
        QRadioButton *option =
            addOption(fra_Hasuu_Keta[kind], indexed(QStringLiteral("opt_Keta") + suffix, i), KetaCaptions[i],
                      RoundingOptionLeft + i * RoundingOptionStep, optionTop);
        m_ketaGroup[kind]->addButton(option, i);
        if (kind == Goods)
            opt_Keta[i] = option;
        else
            opt_Keta_Add[i] = option;
    }
}

QRadioButton *ConditionPanel::addOption(QWidget *frame, const QString &name, const QString &caption, int left,
                                        int top)
{
    auto *option = new QRadioButton(caption, frame);
    option->setObjectName(name);
    // The option takes the focus when clicked, as the keyboard path through the panel expects.
    option->setFocusPolicy(Qt::StrongFocus);
    // Sized to its indicator and caption, so that a press on the option also selects it.
    const QRect row = twipsRect(left, top, 0, RowHeight, this);
    const QSize size = option->sizeHint();
    option->setGeometry(row.left(), row.top() + (row.height() - size.height()) / 2, size.width(),
                        size.height());
    option->installEventFilter(this);
    return option;
}

QLineEdit *ConditionPanel::addRateBox(const QString &name, const QRect &geometry)
{
    auto *box = new QLineEdit(fra_Calc);
    box->setObjectName(name);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    box->setMaxLength(2);
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
    box->setInputMethodHints(Qt::ImhDigitsOnly);
    // The key filter refuses typed characters; the validator also keeps pasted or dropped text
    // that is not a rate out of the box, since the rate goes into the conversion's SQL text.
    box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,2}")), box));
    box->setGeometry(geometry);
    box->installEventFilter(this);
    return box;
}

void ConditionPanel::orderTabStops()
{
    const QList<QWidget *> order = {opt_Tax[0],      txt_Tax_To[0],     opt_Tax[1],      txt_Tax_From[1],
                                    txt_Tax_To[1],   opt_Tax[2],        txt_Tax_From[2], opt_Int,
                                    opt_RoundUp,     opt_RoundDown,     opt_Round,       opt_Keta[0],
                                    opt_Keta[1],     opt_Keta[2],       opt_Keta[3],     opt_Int_Add,
                                    opt_RoundUp_Add, opt_RoundDown_Add, opt_Round_Add,   opt_Keta_Add[0],
                                    opt_Keta_Add[1], opt_Keta_Add[2]};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

int ConditionPanel::selectedCalcMethod() const
{
    // The group is exclusive and always has a selection: its one selected option is the first.
    return m_calcGroup->checkedId();
}

void ConditionPanel::selectCalcMethod(int i)
{
    if (i < 0 || i > 2)
        return;
    if (opt_Tax[i]->isChecked())
        opt_Tax_Click();
    else
        opt_Tax[i]->setChecked(true);
}

void ConditionPanel::setDatabaseList(QWidget *cmb_DAT)
{
    m_databaseList = cmb_DAT;
}

void ConditionPanel::setTabOrderAfter(QWidget *previous)
{
    QWidget::setTabOrder(previous, opt_Tax[0]);
}

void ConditionPanel::setFixedEntries()
{
    // The methods that need no rate box hold their fixed zero: prices held without tax have an old
    // rate of 0, prices converted to without tax a new rate of 0.
    m_params.TAX_ST[0] = QStringLiteral("0");
    m_params.TAX_END[2] = QStringLiteral("0");
    m_params.HASU_ICHI = {0, 0};
}

void ConditionPanel::setTaxPreset(const QString &rate)
{
    m_params.TAX_END[0] = rate;
}

void ConditionPanel::focusTaxFrom(int i)
{
    if (i == 1 || i == 2)
        txt_Tax_From[static_cast<std::size_t>(i)]->setFocus(Qt::OtherFocusReason);
}

ConditionPanel::RoundingCaptions ConditionPanel::roundingCaptions(PriceKind kind) const
{
    const auto captionOf = [](const QButtonGroup *group) {
        const QAbstractButton *selected = group->checkedButton();
        return selected ? selected->text() : QString();
    };
    return {captionOf(m_methodGroup[kind]), captionOf(m_ketaGroup[kind])};
}

void ConditionPanel::prsb_ShowTaxRates()
{
    const int method = selectedCalcMethod();
    // Setting a box raises its change handler: the selected row keeps its entries, the others
    // are blanked without touching theirs.
    const auto show = [method](QLineEdit *box, int row, const QString &entry) {
        box->setText(row == method ? entry : QString());
    };
    show(txt_Tax_To[0], 0, m_params.TAX_END[0]);
    show(txt_Tax_From[1], 1, m_params.TAX_ST[1]);
    show(txt_Tax_To[1], 1, m_params.TAX_END[1]);
    show(txt_Tax_From[2], 2, m_params.TAX_ST[2]);
}

void ConditionPanel::prsb_EnableTaxRates()
{
    const int method = selectedCalcMethod();
    txt_Tax_To[0]->setEnabled(method == 0);
    txt_Tax_From[1]->setEnabled(method == 1);
    txt_Tax_To[1]->setEnabled(method == 1);
    txt_Tax_From[2]->setEnabled(method == 2);
}

void ConditionPanel::prsb_EnableKeta(int kind)
{
    if (kind != Goods && kind != AddOn)
        return;
    const bool enabled = m_params.HASU_FLG[kind] >= 1;
    for (QAbstractButton *option : m_ketaGroup[kind]->buttons())
        option->setEnabled(enabled);
}

void ConditionPanel::prsb_ClearKeta(int kind)
{
    // An exclusive group keeps its selected option; the row is emptied with exclusivity lifted.
    QButtonGroup *group = m_ketaGroup[kind == Goods ? Goods : AddOn];
    group->setExclusive(false);
    for (QAbstractButton *option : group->buttons())
        option->setChecked(false);
    group->setExclusive(true);
}

void ConditionPanel::prsb_SelectKeta(int code)
{
    // A code past the end of its row names no option and selects nothing.
    if (code >= AddOnKetaCode) {
        const auto index = static_cast<std::size_t>(code - AddOnKetaCode);
        if (index < opt_Keta_Add.size())
            opt_Keta_Add[index]->setChecked(true);
    } else if (code >= 0 && static_cast<std::size_t>(code) < opt_Keta.size()) {
        opt_Keta[static_cast<std::size_t>(code)]->setChecked(true);
    }
}

void ConditionPanel::prsb_FocusSelected(int group)
{
    switch (group) {
    case 0:
        focusIfSelected({opt_Int, opt_RoundUp, opt_RoundDown, opt_Round});
        break;
    case 1:
        if (!focusIfSelected({opt_Keta.begin(), opt_Keta.end()}))
            prsb_FocusSelected(2);
        break;
    case 2:
        focusIfSelected({opt_Int_Add, opt_RoundUp_Add, opt_RoundDown_Add, opt_Round_Add});
        break;
    case 3:
        if (!focusIfSelected({opt_Keta_Add.begin(), opt_Keta_Add.end()}))
            focusDatabaseList();
        break;
    default:
        break;
    }
}

bool ConditionPanel::prfn_InputCheck(const MarkedCounter &markedCount, QWidget *lstTbl)
{
    if (markedCount() <= 0) {
        ShowMessage(msg::NoCategoryMarked, 0, AppTitle);
        if (lstTbl)
            lstTbl->setFocus(Qt::OtherFocusReason);
        return false;
    }

    QList<QLineEdit *> boxes;
    switch (selectedCalcMethod()) {
    case 0:
        boxes = {txt_Tax_To[0]};
        break;
    case 1:
        boxes = {txt_Tax_From[1], txt_Tax_To[1]};
        break;
    default:
        boxes = {txt_Tax_From[2]};
        break;
    }
    const auto empty = std::find_if(boxes.cbegin(), boxes.cend(),
                                    [](const QLineEdit *box) { return box->text().isEmpty(); });
    if (empty != boxes.cend()) {
        ShowMessage(msg::NoTaxRate, 0, AppTitle);
        (*empty)->setFocus(Qt::OtherFocusReason);
        return false;
    }
    return true;
}

void ConditionPanel::opt_Tax_Click()
{
    prsb_ShowTaxRates();
    prsb_EnableTaxRates();
}

void ConditionPanel::opt_Tax_GotFocus(int i)
{
    prsb_EnableTaxRates();
    if (i == 1 || i == 2)
        txt_Tax_From[i]->setText(m_params.TAX_ST[i]);
    if (i == 0 || i == 1)
        txt_Tax_To[i]->setText(m_params.TAX_END[i]);
}

void ConditionPanel::txt_Tax_From_Change(int i)
{
    if (opt_Tax[i]->isChecked())
        m_params.TAX_ST[i] = txt_Tax_From[i]->text();
}

void ConditionPanel::txt_Tax_To_Change(int i)
{
    if (opt_Tax[i]->isChecked())
        m_params.TAX_END[i] = txt_Tax_To[i]->text();
}

void ConditionPanel::roundingMethod_Click(PriceKind kind, int code)
{
    m_params.HASU_FLG[kind] = code;
    if (code == HasuNone) {
        prsb_ClearKeta(kind);
        prsb_EnableKeta(kind);
    } else {
        prsb_EnableKeta(kind);
        prsb_SelectKeta(m_params.HASU_ICHI[kind] + (kind == AddOn ? AddOnKetaCode : 0));
    }
}

bool ConditionPanel::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::FocusIn: {
        // Coming back to the window is not a control receiving the focus.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            handleFocusIn(watched);
        break;
    }
    case QEvent::FocusOut:
        if (QButtonGroup *group = groupOf(watched))
            keepTabStopOnSelection(group);
        break;
    case QEvent::KeyPress: {
        const auto &key = *static_cast<QKeyEvent *>(event);
        if (isEnter(key))
            return handleEnter(watched);
        const bool rateBox =
            std::find(txt_Tax_From.cbegin(), txt_Tax_From.cend(), watched) != txt_Tax_From.cend() ||
            std::find(txt_Tax_To.cbegin(), txt_Tax_To.cend(), watched) != txt_Tax_To.cend();
        if (rateBox && swallowsKey(key))
            return true;
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void ConditionPanel::handleFocusIn(QObject *watched)
{
    auto *option = qobject_cast<QAbstractButton *>(watched);
    if (!option)
        return;
    if (option->group() == m_calcGroup)
        opt_Tax_GotFocus(m_calcGroup->id(option));
}

bool ConditionPanel::handleEnter(QObject *watched)
{
    if (watched == opt_Tax[0]) {
        focusRateStop(txt_Tax_To[0]);
    } else if (watched == opt_Tax[1] || watched == opt_Tax[2]) {
        focusRateStop(txt_Tax_From[m_calcGroup->id(static_cast<QAbstractButton *>(watched))]);
    } else if (watched == txt_Tax_From[1]) {
        focusRateStop(txt_Tax_To[1]);
    } else if (watched == txt_Tax_To[0] || watched == txt_Tax_To[1] || watched == txt_Tax_From[2]) {
        prsb_FocusSelected(0);
    } else if (QButtonGroup *group = groupOf(watched); group == m_methodGroup[Goods]) {
        prsb_FocusSelected(1);
    } else if (group == m_methodGroup[AddOn]) {
        prsb_FocusSelected(3);
    } else if (group == m_ketaGroup[Goods]) {
        // After the goods digit position the path goes on where a row without one goes on.
        prsb_FocusSelected(2);
    } else if (group == m_ketaGroup[AddOn]) {
        focusDatabaseList();
    } else {
        return false;
    }
    return true;
}

bool ConditionPanel::swallowsKey(const QKeyEvent &key)
{
    // Shortcuts and keys that type nothing (deleting, moving, Tab) are the box's own business;
    // whatever they paste is held to digits by the box's validator.
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = key.text();
    if (text.isEmpty() ||
        std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.category() == QChar::Other_Control; }))
        return false;
    return !std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

void ConditionPanel::focusRateStop(QLineEdit *box)
{
    // An option can hold the focus without being selected; its rate boxes are disabled then, and
    // the path goes on from the box as if Enter had been pressed there.
    if (box->isEnabled())
        box->setFocus(Qt::TabFocusReason);
    else
        handleEnter(box);
}

void ConditionPanel::focusDatabaseList()
{
    // Without a database list that can take the focus the path ends: the focus stays.
    if (m_databaseList && m_databaseList->isEnabled() && m_databaseList->isVisible())
        m_databaseList->setFocus(Qt::TabFocusReason);
}

bool ConditionPanel::focusIfSelected(const QList<QRadioButton *> &order)
{
    const auto selected =
        std::find_if(order.cbegin(), order.cend(), [](const QRadioButton *o) { return o->isChecked(); });
    if (selected == order.cend() || !(*selected)->isEnabled())
        return false;
    (*selected)->setFocus(Qt::TabFocusReason);
    return true;
}

void ConditionPanel::keepTabStopOnSelection(QButtonGroup *group)
{
    // Tab enters an option group at its selected option (at any option while none is selected).
    const QAbstractButton *selected = group->checkedButton();
    for (QAbstractButton *option : group->buttons())
        option->setFocusPolicy(!selected || option == selected ? Qt::StrongFocus : Qt::ClickFocus);
}

QButtonGroup *ConditionPanel::groupOf(QObject *option) const
{
    const auto *button = qobject_cast<QAbstractButton *>(option);
    return button ? button->group() : nullptr;
}

} // namespace krt
