// The database list, the connection and the database switch of the main form.
#include "app/krt550f1.h"

#include "app/krt550h1.h"

#include "category/categorytable.h"
#include "db/systemparameters.h"
#include "params/conditionpanel.h"
#include "platform/settingsstore.h"
#include "pricing/changelist.h"
#include "pricing/changelistfile.h"
#include "pricing/writeaccess.h"
#include "widgets/categorygrid.h"
#include "widgets/keycodes.h"
#include "widgets/messagebox.h"
#include "widgets/messages.h"
#include "widgets/screenpointer.h"

#include <QComboBox>
#include <QDir>

namespace krt {

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
        ShowDbError(msg::DatabaseError, {programError(split.error)}, 0, AppTitle);
        return -1;
    }
    ConnParts = *split.parts;
    if (!connection->open(catalogConnectionText(ConnParts, cmb_DAT->currentIndex()))) {
        ShowDbError(msg::DatabaseError, connection->errors(), 0, AppTitle);
        return -1;
    }
    m_db = std::move(connection);
    return 0;
}

void KRT550F1::prsb_GetInventVersion()
{
    // A missing or malformed version text keeps the old conditions and the open connection.
    InventNewVersion =
        krt::inventNewVersion(settings::GetSetting(settings::Version, QStringLiteral("Invent")))
            .value_or(false);
}

long KRT550F1::prfn_DbSwitch()
{
    m_switchFailure = QStringLiteral("にはテーブルがありません。");
    if (prfn_DbConnect() == -1)
        return -1;

    // A parameter that cannot be read (no such table, column or row) or that holds no number is
    // not reported at the switch; its member keeps the start-up default, never the previous
    // database's value, and the run's confirmation says that it was assumed.
    const SysParmSource source =
        sysParmSource([](const QString &key) { return settings::GetSetting(settings::Common, key); });
    StockMode = 0;
    m_stockModeSource.clear();
    {
        QLB318C2 sysParm(m_db.get(), source);
        if (sysParm.GetSysParm(1200) == QLB318C2::Found) {
            if (const std::optional<int> mode = stockModeOf(sysParm.NAIYO())) {
                StockMode = *mode;
                m_stockModeSource = sysParm.NAIYO().toString();
                if (StockMode == 0)
                    cmb_DAT->setEnabled(false);
            }
        }
    }
    pic_Jyoukein->setTaxPreset(QString());
    m_taxPresetSource.clear();
    {
        QLB318C2 sysParm(m_db.get(), source);
        if (sysParm.GetSysParm(3080) == QLB318C2::Found) {
            if (const std::optional<QString> rate = taxPercentOf(sysParm.NAIYO())) {
                pic_Jyoukein->setTaxPreset(*rate);
                m_taxPresetSource = sysParm.NAIYO().toString();
            }
        }
    }

    const long count = prfn_GetItemCount(QString());
    if (count == -1)
        return -1;
    // A database that can be read but not written is refused before the work list is filled, so
    // that nothing is marked or half-written there, and the operator learns the real cause.
    if (const std::optional<pricing::WriteRefusal> refusal = pricing::findWriteRefusal(*m_db, StockMode)) {
        DbErrors errors{
            programError(QStringLiteral("%1 に書き込めません（%2 の権限がありません）。データベースが"
                                        "読み取り専用か、ログインに権限がありません。")
                             .arg(refusal->table, refusal->right))};
        errors += refusal->errors;
        ShowDbError(msg::DatabaseError, errors, 0, AppTitle);
        m_switchFailure = QStringLiteral("には書き込めません（書き込みの権限がありません）。");
        return -1;
    }
    // What a run killed on this database left of its change list is completed or discarded now;
    // a journal that cannot be handled yet is tried again before the next run.
    pricing::ChangeList::recover(*m_db, pricing::changeListFolder(settings::runLogPath()),
                                 catalogName(cmb_DAT->currentIndex()));
    const bool listed = prfn_RefreshWorkList(count);
    if (prfn_LoadItemGrid() == -1)
        return -1;

    // The check belongs to the database selected: goods of a category it does not pass would
    // silently keep the old tax. Every switch checks the database it opens, also one checked
    // earlier in this run, since other programs may have added goods since. A work list that
    // could not be completed counts as a failed check.
    BunruiCheckOK = listed && prsb_BunruiCheck();
    FirstConnect = false;
    if (BunruiCheckOK)
        warnUnknownFlags();
    return 0;
}

// Adds the categories of the masters that the work list lacks (all of them into an empty one).
// When that fails, the database is treated as one whose category check failed until a switch or
// F6 completes the list: the operator sees what the database said, and nothing can be marked or
// converted against an incomplete list.
bool KRT550F1::prfn_RefreshWorkList(long count)
{
    // Another workstation filling the same list at the same moment makes a fill fail on the rows
    // it added first: the additive fill then finds them and adds only what is still missing.
    m_workListIncomplete = prfn_GetItemCode(count != 0 ? 1 : 0) == -1 && prfn_GetItemCode(1) == -1;
    if (!m_workListIncomplete)
        return true;
    const DbErrors errors = m_db ? m_db->errors() : DbErrors{};
    closeCheckedStage();
    BunruiCheckOK = false;
    ShowDbError(msg::WorkListIncomplete, errors, 0, AppTitle);
    return false;
}

// Categories whose inventory flag is neither 0 nor 1 cannot be converted: say which, once the
// database is ready, so that the masters can be mended before the day of the change.
void KRT550F1::warnUnknownFlags()
{
    const std::optional<QStringList> unknown = category::unknownFlagCategories(*m_db, false);
    if (unknown && !unknown->isEmpty())
        ShowMessage(msg::UnknownInventoryFlag, mb::OkOnly, AppTitle, listText(*unknown));
}

void KRT550F1::cmb_DAT_Click()
{
    m_connectionLost = false;
    setScreenPointer(PointerHourglass);
    if (prfn_DbSwitch() == 0) {
        prfn_LoadItemGrid();
        PrevListIndex = cmb_DAT->currentIndex();
        pic_Jyoukein->prsb_ShowTaxRates();
        setScreenPointer(PointerDefault);
        return;
    }
    setScreenPointer(PointerDefault);
    MessageBoxes::plain(cmb_DAT->currentText() + m_switchFailure);
    cmb_DAT->setCurrentIndex(PrevListIndex);
}

// Before a command touches the database: a database that went away (file removed, server
// restarted, network cut) is reported in words and the command changes nothing, and so is every
// later command until the database is chosen again. The connection is released and the list
// opened, so that choosing the database again reconnects without a restart; a switch that reads
// stock mode 0 locks the list again.
bool KRT550F1::prfn_ConnectionAlive()
{
    if (!m_connectionLost && (!m_db || m_db->isAlive()))
        return true;
    DbErrors errors{programError(QStringLiteral("データベースとの接続が切れました。"
                                                "ＤＢ選択でデータベースを選び直してください。"))};
    if (m_db)
        errors += m_db->errors();
    setScreenPointer(PointerDefault);
    ShowDbError(msg::DatabaseError, errors, 0, AppTitle);
    m_db.reset();
    m_connectionLost = true;
    cmb_DAT->setEnabled(true);
    return false;
}

void KRT550F1::cmb_DAT_GotFocus()
{
    PrevListIndex = cmb_DAT->currentIndex();
}

void KRT550F1::cmb_DAT_KeyDown(int keyCode)
{
    if (keyCode == keycode::Return)
        lstTbl->setFocus(Qt::OtherFocusReason);
}

} // namespace krt
