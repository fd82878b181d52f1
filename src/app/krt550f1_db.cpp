// The database list, the connection and the database switch of the main form.
#include "app/krt550f1.h"

#include "app/krt550h1.h"

#include "db/systemparameters.h"
#include "params/conditionpanel.h"
#include "platform/settingsstore.h"
#include "widgets/categorygrid.h"
#include "widgets/messagebox.h"
#include "widgets/messages.h"
#include "widgets/screenpointer.h"

#include <QComboBox>
#include <QDir>

#include <cmath>

namespace krt {

namespace {

// The current tax rate of system parameter 3080 (a fraction such as "0.08") as whole percent.
// The product is rounded to six decimals before it is floored: 0.29 * 100 is
// 28.999999999999996 in double precision and must still give 29. Only a rate that the two-digit
// rate box can hold (0 to 99 percent) is a preset; anything else leaves the earlier preset.
std::optional<QString> percentOf(const QVariant &naiyo)
{
    bool ok = false;
    const double fraction = naiyo.toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(fraction))
        return std::nullopt;
    const double percent = std::floor(std::round(fraction * 100.0 * 1e6) / 1e6);
    if (percent < 0.0 || percent > 99.0)
        return std::nullopt;
    return QString::number(percent, 'f', 0);
}

// The stock mode of system parameter 1200 as a whole number; nothing for any other content.
std::optional<int> stockModeOf(const QVariant &naiyo)
{
    bool ok = false;
    const int mode = naiyo.toString().trimmed().toInt(&ok);
    return ok ? std::optional<int>(mode) : std::nullopt;
}

} // namespace

QString KRT550F1::prfn_FindDataDrive()
{
    return krt::prfn_FindDataDrive();
}

void KRT550F1::prsb_MakeDbList()
{
    m_db.reset();
    const QString catalog = currentCatalog(storedConnectionText());
    const DbList list = buildDbList(prfn_FindDataDrive(), catalog);
    {
        const QSignalBlocker blocker(cmb_DAT);
        cmb_DAT->clear();
        cmb_DAT->addItems(list.entries);
        cmb_DAT->setCurrentIndex(-1);
    }
    if (list.selected >= 0) {
        cmb_DAT->setCurrentIndex(list.selected);
        return;
    }
    // Without a data folder no database can be chosen and the program ends: say why.
    MessageBoxes::plain(QStringLiteral("データフォルダ（C:～Z:\\TMCS\\DAT\\DAT1～DAT5）が見つかりません。"));
}

short KRT550F1::prfn_DbConnect()
{
    const QString stored = storedConnectionText();
    m_db.reset();
    auto connection = std::make_unique<Connection>();
    const SpliceResult split = splitConnectionText(stored);
    if (!split.parts) {
        ShowDbError(QStringLiteral("11002"), {programError(split.error)}, 0, AppTitle);
        return -1;
    }
    ConnParts = *split.parts;
    if (!connection->open(catalogConnectionText(ConnParts, cmb_DAT->currentIndex()))) {
        ShowDbError(QStringLiteral("11002"), connection->errors(), 0, AppTitle);
        return -1;
    }
    m_db = std::move(connection);
    return 0;
}

void KRT550F1::prsb_GetInventVersion()
{
    // A missing or malformed version text keeps the old conditions and the open connection.
    InventNewVersion =
        inventNewVersion(settings::GetSetting(settings::Version, QStringLiteral("Invent"))).value_or(false);
}

long KRT550F1::prfn_DbSwitch()
{
    if (prfn_DbConnect() == -1)
        return -1;

    // The system parameters are read like any table of the database: a table that cannot be
    // read fails the switch.
    const auto unreadable = [this](short answer) {
        if (answer != QLB318C2::ReadFailed)
            return false;
        ShowDbError(QStringLiteral("11002"), m_db->errors(), 0, AppTitle);
        return true;
    };
    // The stock mode decides which price tables a run converts: a database whose mode cannot be
    // read is not opened, rather than converted in the mode of the database before it.
    {
        QLB318C2 sysParm(m_db.get());
        const short answer = sysParm.GetSysParm(1200);
        if (unreadable(answer))
            return -1;
        if (answer == QLB318C2::Found) {
            const std::optional<int> mode = stockModeOf(sysParm.NAIYO());
            if (!mode) {
                ShowDbError(
                    QStringLiteral("11002"),
                    {programError(QStringLiteral("システムパラメータ 1200 の内容「%1」は数値ではありません。")
                                      .arg(sysParm.NAIYO().toString()))},
                    0, AppTitle);
                return -1;
            }
            StockMode = *mode;
            if (StockMode == 0)
                cmb_DAT->setEnabled(false);
        }
    }
    {
        QLB318C2 sysParm(m_db.get());
        const short answer = sysParm.GetSysParm(3080);
        if (unreadable(answer))
            return -1;
        if (answer == QLB318C2::Found) {
            if (const std::optional<QString> rate = percentOf(sysParm.NAIYO()))
                pic_Jyoukein->params().TAX_END[0] = *rate;
        }
    }

    const long count = prfn_GetItemCount(QString());
    if (count == -1)
        return -1;
    prfn_GetItemCode(count != 0 ? 1 : 0);
    if (prfn_LoadItemGrid() == -1)
        return -1;

    if (FirstConnect) {
        BunruiCheckOK = prsb_BunruiCheck();
        FirstConnect = false;
    }
    return 0;
}

void KRT550F1::cmb_DAT_Click()
{
    setScreenPointer(PointerHourglass);
    if (prfn_DbSwitch() == 0) {
        prfn_LoadItemGrid();
        PrevListIndex = cmb_DAT->currentIndex();
        pic_Jyoukein->prsb_ShowTaxRates();
        setScreenPointer(PointerDefault);
        return;
    }
    setScreenPointer(PointerDefault);
    MessageBoxes::plain(cmb_DAT->currentText() + QStringLiteral("にはテーブルがありません。"));
    cmb_DAT->setCurrentIndex(PrevListIndex);
}

void KRT550F1::cmb_DAT_GotFocus()
{
    PrevListIndex = cmb_DAT->currentIndex();
}

void KRT550F1::cmb_DAT_KeyDown(int keyCode)
{
    if (keyCode == 13)
        lstTbl->setFocus(Qt::OtherFocusReason);
}

} // namespace krt
