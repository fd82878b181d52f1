#include "app/krt550f1.h"

#include "app/krt550h1.h"

#include "category/categorytable.h"
#include "params/conditionpanel.h"
#include "platform/settingsstore.h"
#include "pricing/changelistfile.h"
#include "widgets/categorygrid.h"
#include "widgets/changelistpreview.h"
#include "widgets/fonts.h"
#include "widgets/functionkeybar.h"
#include "widgets/keycodes.h"
#include "widgets/messages.h"
#include "widgets/screenpointer.h"
#include "widgets/twips.h"

#include <QCloseEvent>

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QResizeEvent>

namespace krt {

namespace {

struct KeySetup
{
    const char *caption;
    bool enabledAtLoad;
};

// The twelve keys of the function-key bar: caption and whether the key is usable before a
// category check has passed.
const std::array<KeySetup, 12> Keys = {{
    {"01 実行", false},
    {"", false},
    {"", false},
    {"", false},
    {"05 分類CLR", false},
    {"06 分類ﾁｪｯｸ", true},
    {"07 全選択", false},
    {"08 変更一覧", false},
    {"", false},
    {"", false},
    {"", false},
    {"12 終了", true},
}};

const QString GuideCheck = QStringLiteral("分類チェックを行ってください");

// The client area the form is designed for, and the grid's place in it (twips); the window opens
// at this size and may grow.
constexpr int ClientWidth = 15270;
constexpr int ClientHeight = 10725;
constexpr int GridLeft = 4680;
constexpr int GridTop = 1750;
constexpr int GridWidth = 10095;
constexpr int GridHeight = 2055;
constexpr int PanelLeft = 480;
constexpr int PanelTop = 3960;
constexpr int HeadingTop = 1440;
constexpr int HeadingHeight = 345;

// The grid headings: caption, place at the designed size (twips), and the grid columns each one
// stands over once the grid has its columns.
struct Heading
{
    const char *caption;
    int left;
    int width;
    int firstCol;
    int lastCol;
};
const std::array<Heading, 5> Headings = {{{"分類ｺｰﾄﾞ", 4680, 1860, ColMark, ColItemCd},
                                          {"分類名", 6540, 2565, ColItemNm, ColItemNm},
                                          {"中分類ｺｰﾄﾞ", 9105, 1365, ColDetailNo, ColDetailNo},
                                          {"中分類名", 10470, 2565, ColDetailNm, ColDetailNm},
                                          {"完了日", 13035, 1695, ColUpdateDate, ColUpdateDate}}};

} // namespace

KRT550F1::KRT550F1(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("KRT550F1"));
    setFont(familyFont());
    buildLayout();
}

KRT550F1::~KRT550F1() = default;

void KRT550F1::buildLayout()
{
    // The designed size is the smallest: every area keeps its place; the grid takes what the
    // window gains.
    setMinimumSize(twips(ClientWidth, this), twips(ClientHeight, this));
    resize(minimumSize());

    QLB347U11 = new QLB347U1(m_clock, this);
    // The bar lies behind every other area and covers the whole client area.
    QLB347U11->setGeometry(rect());
    connect(QLB347U11, &QLB347U1::FKeyClick, this, &KRT550F1::QLB347U11_FKeyClick);

    pic_DbSelect = new QWidget(this);
    pic_DbSelect->setObjectName(QStringLiteral("pic_DbSelect"));
    pic_DbSelect->setGeometry(twipsRect(480, 1440, 4080, 2355, this));
    pic_DbSelect->setAutoFillBackground(true);
    auto *dbHeading = new QLabel(QStringLiteral("ＤＢ選択"), pic_DbSelect);
    dbHeading->setObjectName(QStringLiteral("lbl_DbSelect"));
    dbHeading->setGeometry(twipsRect(360, 240, 1125, 345, this));
    dbHeading->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    cmb_DAT = new QComboBox(pic_DbSelect);
    cmb_DAT->setObjectName(QStringLiteral("cmb_DAT"));
    cmb_DAT->setGeometry(twips(1680, this), twips(240, this), twips(1300, this),
                         qMax(twips(300, this), cmb_DAT->sizeHint().height()));
    cmb_DAT->installEventFilter(this);
    connect(cmb_DAT, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            cmb_DAT_Click();
    });
    // Choosing the entry that is already selected reconnects a database that went away.
    connect(cmb_DAT, &QComboBox::activated, this, [this](int index) {
        if (m_connectionLost && index >= 0 && index == cmb_DAT->currentIndex())
            cmb_DAT_Click();
    });

    for (std::size_t i = 0; i < Headings.size(); ++i) {
        auto *label = new QLabel(QString::fromUtf8(Headings[i].caption), this);
        label->setObjectName(QStringLiteral("xLabel(%1)").arg(i + 1));
        label->setAlignment(Qt::AlignCenter);
        label->setFrameShape(QFrame::Box);
        label->setAutoFillBackground(true);
        label->setBackgroundRole(QPalette::Button);
        xLabel[i + 1] = label;
    }

    lstTbl = new CategoryGrid(this);
    lstTbl->setEnabled(false);
    connect(lstTbl, &CategoryGrid::LaidOut, this, &KRT550F1::layoutHeadings);
    connect(lstTbl, &CategoryGrid::Click, this, &KRT550F1::lstTbl_Click);
    connect(lstTbl, &CategoryGrid::KeyDown, this, &KRT550F1::lstTbl_KeyDown);

    pic_Jyoukein = new ConditionPanel(this);
    pic_Jyoukein->setDatabaseList(cmb_DAT);
    layoutAreas();

    setTabOrder(cmb_DAT, lstTbl);
    pic_Jyoukein->setTabOrderAfter(lstTbl);
}

// The areas at the window's size: the bar covers the client area, the grid grows by what the
// window has beyond its designed size (its wider part going to the two name columns, the headings
// following the columns), and the panel below the grid moves down with it.
void KRT550F1::layoutAreas()
{
    const int extraWidth = qMax(0, width() - twips(ClientWidth, this));
    const int extraHeight = qMax(0, height() - twips(ClientHeight, this));
    QLB347U11->setGeometry(rect());
    lstTbl->setGeometry(
        twipsRect(GridLeft, GridTop, GridWidth, GridHeight, this).adjusted(0, 0, extraWidth, extraHeight));
    lstTbl->setColsExtraWidth({ColItemNm, ColDetailNm}, extraWidth);
    pic_Jyoukein->move(twips(PanelLeft, this), twips(PanelTop, this) + extraHeight);
}

// Each heading stands exactly over its columns of the grid; before the grid has columns the
// headings keep their designed places.
void KRT550F1::layoutHeadings()
{
    const int top = twips(HeadingTop, this);
    const int height = twips(HeadingHeight, this);
    for (std::size_t i = 0; i < Headings.size(); ++i) {
        const Heading &heading = Headings[i];
        QLabel *label = xLabel[i + 1];
        if (lstTbl->Cols() <= heading.lastCol) {
            label->setGeometry(twipsRect(heading.left, HeadingTop, heading.width, HeadingHeight, this));
            continue;
        }
        const QPoint left =
            lstTbl->viewport()->mapTo(this, QPoint(lstTbl->columnViewportPosition(heading.firstCol), 0));
        const int right =
            lstTbl->columnViewportPosition(heading.lastCol) + lstTbl->columnWidth(heading.lastCol);
        label->setGeometry(left.x(), top, right - lstTbl->columnViewportPosition(heading.firstCol), height);
    }
}

void KRT550F1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutAreas();
}

void KRT550F1::Form_Load()
{
    setWindowTitle(AppTitle);
    QLB347U11->setProgramTitle(AppTitle);
    QLB347U11->setShowClock(false);
    QLB347U11->setFixedBusinessDate(settings::fixedBusinessDate());
    prsb_SetFKeyEnabled();
    prsb_SetFKeyCaption();

    prsb_MakeDbList();
    prsb_GetInventVersion();

    pic_Jyoukein->setFixedEntries();
    pic_Jyoukein->prsb_ShowTaxRates();
    pic_Jyoukein->prsb_EnableTaxRates();

    InputEnabled = false;
    pic_Jyoukein->setEnabled(false);
    QLB347U11->setGuideMessage(GuideCheck);

    if (BunruiCheckOK) {
        prsb_SelectAll();
        pic_Jyoukein->prsb_ShowTaxRates();
        openCheckedStage();
        pic_Jyoukein->selectCalcMethod(1);
    }
}

int KRT550F1::selectedCalcMethod() const
{
    return pic_Jyoukein->selectedCalcMethod();
}

void KRT550F1::focusTaxFrom(int i)
{
    pic_Jyoukein->focusTaxFrom(i);
}

// The passage to the checked stage: keys 1, 5, 7 and 8, the grid, the panel and grid clicks.
void KRT550F1::openCheckedStage()
{
    for (const int keyNo : {1, 5, 7, 8})
        QLB347U11->setFKeyEnabled(keyNo, true);
    lstTbl->setEnabled(true);
    pic_Jyoukein->setEnabled(true);
    InputEnabled = true;
    QLB347U11->setGuideMessage(QString());
}

// Back to the stage before a passed check, for the database now selected: keys 1, 5, 7 and 8, the
// grid's marking and the panel are closed until its check passes.
void KRT550F1::closeCheckedStage()
{
    for (const int keyNo : {1, 5, 7, 8})
        QLB347U11->setFKeyEnabled(keyNo, false);
    lstTbl->setEnabled(false);
    pic_Jyoukein->setEnabled(false);
    InputEnabled = false;
    QLB347U11->setGuideMessage(GuideCheck);
}

void KRT550F1::prsb_SetFKeyEnabled()
{
    for (int keyNo = 1; keyNo <= QLB347U1::KeyCount; ++keyNo)
        QLB347U11->setFKeyEnabled(keyNo, Keys[static_cast<std::size_t>(keyNo - 1)].enabledAtLoad);
}

void KRT550F1::prsb_SetFKeyCaption()
{
    for (int keyNo = 1; keyNo <= QLB347U1::KeyCount; ++keyNo)
        QLB347U11->setFKeyCaption(keyNo,
                                  QString::fromUtf8(Keys[static_cast<std::size_t>(keyNo - 1)].caption));
}

void KRT550F1::QLB347U11_FKeyClick(short KeyNo)
{
    const bool usesDatabase = KeyNo == 1 || KeyNo == 5 || KeyNo == 6 || KeyNo == 7;
    if (usesDatabase && !prfn_ConnectionAlive())
        return;
    switch (KeyNo) {
    case 1:
        prsb_Execute();
        break;
    case 5:
        prsb_BunruiClear();
        prsb_SelectAll();
        pic_Jyoukein->selectCalcMethod(1);
        pic_Jyoukein->focusTaxFrom(1);
        break;
    case 6:
        // A work list that could not be completed is filled again before it is checked.
        if (m_workListIncomplete) {
            const long count = prfn_GetItemCount(QString());
            if (count == -1 || !prfn_RefreshWorkList(count) || prfn_LoadItemGrid() == -1)
                break;
        }
        if (prsb_BunruiCheck())
            warnUnknownFlags();
        break;
    case 7:
        prsb_SelectAll();
        break;
    case 8:
        ChangeListPreview(pricing::changeListFolder(settings::runLogPath()),
                          catalogName(cmb_DAT->currentIndex()), cmb_DAT->currentText())
            .show(this);
        break;
    case 12:
        prsb_Exit();
        break;
    default:
        break;
    }
}

void KRT550F1::prsb_Exit()
{
    // Closing never fails in a way that could keep the program from ending.
    m_db.reset();
    close();
}

void KRT550F1::closeEvent(QCloseEvent *event)
{
    // The window stays while a run converts; Stop ends the run between two categories.
    if (m_running)
        event->ignore();
    else
        QWidget::closeEvent(event);
}

bool KRT550F1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == cmb_DAT) {
        if (event->type() == QEvent::FocusIn) {
            cmb_DAT_GotFocus();
        } else if (event->type() == QEvent::Wheel) {
            // A turn of the wheel over the list would switch databases one after another: the
            // database is chosen only with the keyboard or by picking an entry.
            return true;
        } else if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                cmb_DAT_KeyDown(keycode::Return);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace krt
