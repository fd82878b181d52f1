#include "app/krt550f1.h"

#include "app/krt550h1.h"

#include "params/conditionpanel.h"
#include "platform/settingsstore.h"
#include "widgets/categorygrid.h"
#include "widgets/fonts.h"
#include "widgets/functionkeybar.h"
#include "widgets/messages.h"
#include "widgets/screenpointer.h"
#include "widgets/twips.h"

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

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
    {"", false},
    {"", false},
    {"", false},
    {"", false},
    {"12 終了", true},
}};

const QString GuideCheck = QStringLiteral("分類チェックを行ってください");

// The business date a workstation may fix in the settings ("yyyy/MM/dd"); absent, the bar
// shows today's date.
QDate fixedBusinessDate()
{
    return QDate::fromString(settings::GetSetting(settings::Common, QStringLiteral("BusinessDate")),
                             QStringLiteral("yyyy/MM/dd"));
}

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
    setFixedSize(twips(15270, this), twips(10725, this));

    QLB347U11 = new QLB347U1(m_clock, this);
    // The bar lies behind every other area and covers the whole client area.
    QLB347U11->setGeometry(rect());
    connect(QLB347U11, &QLB347U1::FKeyClick, this, &KRT550F1::QLB347U11_FKeyClick);

    pic_DbSelect = new QWidget(this);
    pic_DbSelect->setObjectName(QStringLiteral("pic_DbSelect"));
    pic_DbSelect->setGeometry(twipsRect(480, 1440, 4080, 2355, this));
    pic_DbSelect->setAutoFillBackground(true);
    auto *dbHeading = new QLabel(QStringLiteral("ＤＢ選択"), pic_DbSelect);
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

    struct Heading
    {
        const char *caption;
        int left;
        int width;
    };
    const std::array<Heading, 5> headings = {{{"分類ｺｰﾄﾞ", 4680, 1860},
                                              {"分類名", 6540, 2565},
                                              {"中分類ｺｰﾄﾞ", 9105, 1365},
                                              {"中分類名", 10470, 2565},
                                              {"完了日", 13035, 1695}}};
    for (std::size_t i = 0; i < headings.size(); ++i) {
        auto *label = new QLabel(QString::fromUtf8(headings[i].caption), this);
        label->setObjectName(QStringLiteral("xLabel(%1)").arg(i + 1));
        label->setGeometry(twipsRect(headings[i].left, 1440, headings[i].width, 345, this));
        label->setAlignment(Qt::AlignCenter);
        label->setFrameShape(QFrame::Box);
        label->setAutoFillBackground(true);
        label->setBackgroundRole(QPalette::Button);
        xLabel[i + 1] = label;
    }

    lstTbl = new CategoryGrid(this);
    lstTbl->setGeometry(twipsRect(4680, 1750, 10095, 2055, this));
    lstTbl->setEnabled(false);
    connect(lstTbl, &CategoryGrid::Click, this, &KRT550F1::lstTbl_Click);
    connect(lstTbl, &CategoryGrid::KeyDown, this, &KRT550F1::lstTbl_KeyDown);

    pic_Jyoukein = new ConditionPanel(this);
    pic_Jyoukein->move(twips(480, this), twips(3960, this));
    pic_Jyoukein->setDatabaseList(cmb_DAT);

    setTabOrder(cmb_DAT, lstTbl);
    setTabOrder(lstTbl, pic_Jyoukein->opt_Tax[0]);
}

void KRT550F1::Form_Load()
{
    setWindowTitle(AppTitle);
    QLB347U11->setProgramTitle(AppTitle);
    QLB347U11->setShowClock(false);
    QLB347U11->setFixedBusinessDate(fixedBusinessDate());
    prsb_SetFKeyEnabled();
    prsb_SetFKeyCaption();

    prsb_MakeDbList();
    prsb_GetInventVersion();

    ConversionParams &params = pic_Jyoukein->params();
    params.TAX_ST[0] = QStringLiteral("0");
    params.TAX_END[2] = QStringLiteral("0");
    params.HASU_ICHI = {0, 0};
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

// The passage to the checked stage: keys 1, 5 and 7, the grid, the panel and grid clicks.
void KRT550F1::openCheckedStage()
{
    for (const int keyNo : {1, 5, 7})
        QLB347U11->setFKeyEnabled(keyNo, true);
    lstTbl->setEnabled(true);
    pic_Jyoukein->setEnabled(true);
    InputEnabled = true;
    QLB347U11->setGuideMessage(QString());
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
    switch (KeyNo) {
    case 1:
        prsb_Execute();
        break;
    case 5:
        prsb_BunruiClear();
        prsb_SelectAll();
        pic_Jyoukein->selectCalcMethod(1);
        pic_Jyoukein->txt_Tax_From[1]->setFocus(Qt::OtherFocusReason);
        break;
    case 6:
        prsb_BunruiCheck();
        break;
    case 7:
        prsb_SelectAll();
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

bool KRT550F1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == cmb_DAT) {
        if (event->type() == QEvent::FocusIn) {
            cmb_DAT_GotFocus();
        } else if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                cmb_DAT_KeyDown(13);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace krt
