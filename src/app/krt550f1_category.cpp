// The category control table, the category grid and the category check of the main form.
#include "app/krt550f1.h"

#include "app/krt550h1.h"

#include "category/categorytable.h"
#include "category/inventoryflag.h"
#include "category/markingrules.h"
#include "params/conditionpanel.h"
#include "widgets/categorygrid.h"
#include "widgets/functionkeybar.h"
#include "widgets/keycodes.h"
#include "widgets/messagebox.h"
#include "widgets/messages.h"
#include "widgets/screenpointer.h"
#include "widgets/unmatchedpreview.h"

namespace krt {

using namespace category;

long KRT550F1::prfn_GetItemCode(int inAdd)
{
    if (!m_db)
        return -1;
    return fill(*m_db, inAdd);
}

long KRT550F1::prfn_ClearItemCheck()
{
    if (!m_db)
        return -1;
    return clearChecks(*m_db);
}

long KRT550F1::prfn_GetItemCount(const QString &strWhere)
{
    return counted(m_db ? count(*m_db, strWhere) : -1);
}

long KRT550F1::counted(int rows)
{
    if (rows == -1) {
        ShowMessage(msg::DatabaseError, mb::OkOnly, AppTitle);
        return -1;
    }
    return rows;
}

void KRT550F1::prsb_SelectAll()
{
    // The stock-take is asked once for the whole command, and only when a line needs it.
    const MarkingRules rules(StockMode);
    bool upToDate = true;
    for (int r = 0; r < lstTbl->Rows() && upToDate; ++r)
        if (const WorkListRow *row = lstTbl->workListRow(r);
            row && rules.markable(*row) && rules.needsStockTake(*row))
            upToDate = !prfn_CheckNefudaDate();
    for (int r = 0; r < lstTbl->Rows(); ++r)
        if (const WorkListRow *row = lstTbl->workListRow(r); row && rules.selectedByAll(*row, upToDate))
            lstTbl->setMarked(r, true);
    if (m_db)
        selectAll(*m_db, !upToDate);
}

void KRT550F1::prsb_BunruiClear()
{
    // Only an explicit Yes throws the history away; a box that could not be shown answers 0.
    if (ShowMessage(msg::ConfirmClear, mb::YesNo, AppTitle) != mb::IdYes)
        return;
    setScreenPointer(PointerHourglass);
    DbErrors failure;
    if (m_db && rebuildWorkList(*m_db, failure)) {
        m_workListIncomplete = false;
        prfn_LoadItemGrid();
        lstTbl->setTopRow(0);
    } else {
        // Nothing was deleted, the history included: say why, and show the work list as the
        // table still holds it.
        failure.prepend(programError(QStringLiteral("分類の更新履歴は消去していません。")));
        ShowDbError(msg::DatabaseError, failure, 0, AppTitle);
        if (m_db)
            prfn_LoadItemGrid();
    }
    setScreenPointer(PointerDefault);
}

bool KRT550F1::prfn_CheckNefudaDate()
{
    const StockTake state = m_db ? checkStockTake(*m_db, QLB347U11->BusinessDate()) : StockTake::ReadFailed;
    switch (state) {
    case StockTake::ReadFailed:
        ShowMessage(msg::MarkNotStored, mb::OkOnly, AppTitle);
        return true;
    case StockTake::Outdated:
        ShowMessage(msg::StockTakeOutdated, mb::OkOnly, AppTitle);
        return true;
    case StockTake::UpToDate:
        break;
    }
    return false;
}

QString KRT550F1::prfn_GetServerDate()
{
    const std::optional<QString> date = m_db ? serverDate(*m_db) : std::nullopt;
    if (!date) {
        ShowMessage(msg::NoServerDate, mb::OkOnly, AppTitle);
        return {};
    }
    return *date;
}

QString KRT550F1::prfn_GetSysYM()
{
    const std::optional<QString> month = m_db ? sysYm(*m_db) : std::nullopt;
    if (!month) {
        ShowMessage(msg::NoServerDate, mb::OkOnly, AppTitle);
        return {};
    }
    // In direct mode the month starts the stock movements the run converts: one that is no year
    // and month would fail the run in its first category, so it is refused before anything
    // changes. Deferred mode converts no stock movements.
    if (StockMode != 0 && !isYearMonth(*month)) {
        ShowMessage(msg::NoServerDate, mb::OkOnly, AppTitle,
                    QStringLiteral("GDATECTL.SYS_YM1 = '%1' は年月（yyyymm）ではありません。").arg(*month));
        return {};
    }
    return *month;
}

long KRT550F1::prfn_LoadItemGrid()
{
    const auto fail = [this] {
        ShowDbError(msg::DatabaseError, m_db ? m_db->errors() : DbErrors{}, 0, AppTitle);
        return -1L;
    };
    if (prfn_ClearItemCheck() == -1)
        return fail();
    std::optional<QList<WorkListRow>> rows = readWorkList(*m_db);
    if (!rows)
        return fail();
    prsb_SetGridLayout(rows->size(), GridColumnCount);
    lstTbl->showWorkList(std::move(*rows));
    return 0;
}

void KRT550F1::prsb_SetGridLayout(long rows, long cols)
{
    lstTbl->setRows(static_cast<int>(rows));
    lstTbl->setCols(static_cast<int>(cols));
    lstTbl->setRowHeightTwips(390);
    lstTbl->setColAlignmentCentred(ColMark);
    const std::array<int, GridColumnCount> widths = {450, 1350, 2600, 1350, 2600, 1400, 0};
    for (int c = 0; c < GridColumnCount; ++c)
        lstTbl->setColWidthTwips(c, widths[static_cast<std::size_t>(c)]);
    setScreenPointer(PointerDefault);
}

void KRT550F1::lstTbl_Click()
{
    if (!InputEnabled)
        return;
    const int r = lstTbl->Row();
    // A click beside the lines has no line to toggle.
    if (r < 0 || r >= lstTbl->Rows() || !prfn_ConnectionAlive())
        return;
    const WorkListRow *row = lstTbl->workListRow(r);
    if (!row)
        return;
    const MarkingRules rules(StockMode);
    if (!row->converted() && !rules.markable(*row) && !lstTbl->isMarked(r)) {
        ShowMessage(msg::UnknownInventoryFlag, mb::OkOnly, AppTitle,
                    row->key() + QStringLiteral(" INV_FLG = ") + flagText(row->invFlg));
        return;
    }
    if (rules.needsStockTake(*row) && prfn_CheckNefudaDate())
        return;

    const bool before = lstTbl->isMarked(r);
    int mark = 0;
    if (!row->converted()) {
        lstTbl->setMarked(r, !before);
        mark = before ? 0 : 1;
    }
    if (!m_db || !setMark(*m_db, mark, row->itemCd, row->detailNo)) {
        // The grid shows only what the table holds: the line keeps its earlier mark.
        lstTbl->setMarked(r, before);
        ShowDbError(msg::MarkNotStored, m_db ? m_db->errors() : DbErrors{}, 0, AppTitle);
    }
}

void KRT550F1::lstTbl_KeyDown(int &keyCode, int)
{
    if (keyCode == keycode::Return) {
        SendTabKey();
    } else if (keyCode == keycode::Delete) {
        keyCode = 0;
    } else if (keyCode == keycode::Space) {
        // Space marks or unmarks the current line with exactly the rules of a click.
        keyCode = 0;
        lstTbl_Click();
    }
}

void KRT550F1::SendTabKey()
{
    lstTbl->moveFocusToNextControl();
}

bool KRT550F1::prsb_BunruiCheck()
{
    bool result = false;
    try {
        if (!m_db)
            throw ComponentError{429, QStringLiteral("QLM522.QLM522C1"),
                                 QStringLiteral("データベースに接続されていません。")};
        QLM522C1 check(m_db.get());
        check.setHonShiten(StockMode);
        if (check.GetUnMutch() != 0) {
            // Unmatched categories in the selected database: nothing may be marked or converted
            // there, whatever an earlier check of it or of another database found.
            closeCheckedStage();
            ShowMessage(msg::UnmatchedCategories, mb::OkOnly, AppTitle);
            check.PrintUnMutch(1);
            BunruiCheckOK = false;
            return false;
        }
        result = true;
        BunruiCheckOK = true;
        openCheckedStage();
    } catch (const ComponentError &error) {
        if (!result) {
            closeCheckedStage();
            BunruiCheckOK = false;
        }
        // "prsb_BuntuiCheck" is the family's own spelling of this title; operators know it so.
        MessageBoxes::plain(QStringLiteral("%1 : %2").arg(error.number).arg(error.description), mb::Critical,
                            QStringLiteral("KRT550:prsb_BuntuiCheck"));
    }
    return result;
}

bool KRT550F1::prfn_InputCheck()
{
    return pic_Jyoukein->prfn_InputCheck([this] { return counted(m_db ? countMarked(*m_db) : -1); }, lstTbl);
}

} // namespace krt
