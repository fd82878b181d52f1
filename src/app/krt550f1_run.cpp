// The conversion run of the main form: the confirmation with its preview, the run under a
// progress dialog with a Stop button, the summary and the run log.
#include "app/krt550f1.h"

#include "category/categorytable.h"
#include "category/markingrules.h"
#include "params/conditionpanel.h"
#include "platform/settingsstore.h"
#include "pricing/changelist.h"
#include "pricing/changelistfile.h"
#include "pricing/priceupdate.h"
#include "pricing/runpreview.h"
#include "pricing/runreport.h"
#include "widgets/categorygrid.h"
#include "widgets/functionkeybar.h"
#include "widgets/messagebox.h"
#include "widgets/messages.h"
#include "widgets/runprogress.h"
#include "widgets/screenpointer.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QSet>

#include <algorithm>

namespace krt {

namespace {

// How many goods the confirmation shows with their prices now and after.
constexpr int PreviewGoods = 5;

} // namespace

QString KRT550F1::conditionsText() const
{
    const ConditionPanel &c = *pic_Jyoukein;
    const ConditionPanel::RoundingCaptions goods = c.roundingCaptions(Goods);
    const ConditionPanel::RoundingCaptions addOn = c.roundingCaptions(AddOn);
    return pricing::conditionsText(c.params(), c.selectedCalcMethod(),
                                   {{goods.method, addOn.method}, {goods.digit, addOn.digit}});
}

// Asks the operator before anything is changed: the database, the categories and goods, the
// method with its rates, the rounding, and a few goods with the prices the database computes
// for them with the run's own expressions. No is the default; nothing is written either way.
bool KRT550F1::prfn_ConfirmRun()
{
    const std::optional<pricing::RunPreview> preview =
        pricing::previewRun(*m_db, pic_Jyoukein->params(), pic_Jyoukein->selectedCalcMethod(), PreviewGoods);
    if (!preview) {
        ShowDbError(msg::DatabaseError, m_db->errors(), 0, AppTitle);
        return false;
    }
    BoxRequest request;
    request.kind = BoxRequest::Kind::Confirmation;
    request.style = mb::YesNo; // No is the default
    request.title = AppTitle;
    request.text = QStringLiteral("%1（%2）の売価を変換します。よろしいですか？")
                       .arg(catalogName(cmb_DAT->currentIndex()), cmb_DAT->currentText());
    request.details = pricing::confirmationDetails(*preview, markedCategories(), conditionsText(),
                                                   stockModeText(), m_changeListNote);
    setScreenPointer(PointerDefault);
    const bool yes = MessageBoxes::show(request) == mb::IdYes;
    setScreenPointer(yes ? PointerHourglass : PointerDefault);
    return yes;
}

// The stock mode of the run and where it and the tax preset came from, so that a misspelt
// parameter table or a missing parameter is seen before anything is converted.
QString KRT550F1::stockModeText() const
{
    return pricing::stockModeText(StockMode, m_stockModeSource, m_taxPresetSource);
}

// The marked categories, as the grid shows them: "code-number" in grid order.
QStringList KRT550F1::markedCategories() const
{
    QStringList codes;
    for (int r = 0; r < lstTbl->Rows(); ++r)
        if (const category::WorkListRow *row = lstTbl->workListRow(r); row && lstTbl->isMarked(r))
            codes.append(row->key());
    return codes;
}

// The run converts the categories the operator's grid shows as marked. The marks live in the
// table, where another workstation starting on the same database (or its select all) changes
// them: when the table no longer holds what the grid shows, the grid is read again and nothing is
// converted.
bool KRT550F1::refusesChangedSelection()
{
    const std::optional<QList<category::StoredMark>> stored = category::unconvertedMarks(*m_db);
    if (!stored) {
        ShowDbError(msg::DatabaseError, m_db->errors(), 0, AppTitle);
        return true;
    }
    QSet<QString> shown;
    for (int r = 0; r < lstTbl->Rows(); ++r)
        if (const category::WorkListRow *row = lstTbl->workListRow(r); row && lstTbl->isMarked(r))
            shown.insert(row->itemCd + QLatin1Char('\t') + row->detailNo);
    const bool same = std::all_of(stored->cbegin(), stored->cend(), [&shown](const category::StoredMark &m) {
        return m.marked == shown.contains(m.itemCd + QLatin1Char('\t') + m.detailNo);
    });
    if (same)
        return false;
    prfn_LoadItemGrid();
    setScreenPointer(PointerDefault);
    MessageBoxes::plain(QStringLiteral("別の端末で分類の選択が変更されました。一覧を読み直しました。\n"
                                       "変換する分類を選び直してください。何も変換していません。"),
                        mb::OkOnly, AppTitle);
    return true;
}

// The rules of what a run may take, said the window's way: a work list that lacks categories of
// the masters also closes the commands until F6 completes it.
bool KRT550F1::refusesRun()
{
    using Refusal = category::MarkingRules::Refusal;
    const std::optional<Refusal> refusal =
        category::MarkingRules(StockMode).refuseRun(*m_db, QLB347U11->BusinessDate());
    if (!refusal)
        return false;
    const QString categories = listText(refusal->categories);
    switch (refusal->kind) {
    case Refusal::ReadFailed:
        ShowDbError(msg::DatabaseError, refusal->errors, 0, AppTitle);
        break;
    case Refusal::MissingCategories:
        m_workListIncomplete = true;
        closeCheckedStage();
        ShowMessage(msg::WorkListIncomplete, mb::OkOnly, AppTitle,
                    QStringLiteral("作業リストにない分類:\n") + categories);
        break;
    case Refusal::UnknownFlags:
        ShowMessage(msg::UnknownInventoryFlag, mb::OkOnly, AppTitle, categories);
        break;
    case Refusal::StockTakeOutdated:
        ShowMessage(msg::StockTakeOutdated, mb::OkOnly, AppTitle,
                    QStringLiteral("変換できない分類:\n") + categories);
        break;
    case Refusal::StockTakeUnread:
        ShowMessage(msg::MarkNotStored, mb::OkOnly, AppTitle,
                    QStringLiteral("変換できない分類:\n") + categories);
        break;
    }
    return true;
}

// The change list of the run, as the settings ask for it: [Common] ChangeList=0 writes none,
// GoodsKeyColumns names the goods key (else MGOODS's primary key), GoodsNameColumn a name column.
// What a run on this database left half-written is completed or discarded first. False, after a
// box that says why, when the list cannot be written.
bool KRT550F1::prfn_PrepareChangeList(std::unique_ptr<pricing::ChangeList> &changes)
{
    pricing::PreparedChangeList prepared = pricing::prepareChangeList(
        *m_db, pricing::changeListFolder(settings::runLogPath()), catalogName(cmb_DAT->currentIndex()),
        m_clock.now(), [](const QString &key) { return settings::GetSetting(settings::Common, key); });
    if (!prepared.recoveryFailure.isEmpty()) {
        ShowDbError(msg::DatabaseError, prepared.recoveryFailure, 0, AppTitle);
        return false;
    }
    if (!prepared.why.isEmpty()) {
        setScreenPointer(PointerDefault);
        MessageBoxes::plain(prepared.why, mb::OkOnly, AppTitle);
        return false;
    }
    changes = std::move(prepared.list);
    m_changeListNote = pricing::changeListNote(changes.get());
    return true;
}

void KRT550F1::prsb_Execute()
{
    repaint();
    setScreenPointer(PointerHourglass);
    if (refusesChangedSelection() || !prfn_InputCheck() || refusesRun())
        return;
    KoushinDt = prfn_GetServerDate();
    if (KoushinDt.isEmpty())
        return;
    SysYm = prfn_GetSysYM();
    if (SysYm.isEmpty())
        return;
    std::unique_ptr<pricing::ChangeList> changes;
    if (!prfn_PrepareChangeList(changes) || !prfn_ConfirmRun())
        return;

    pricing::RunValues values;
    values.calcMethod = pic_Jyoukein->selectedCalcMethod();
    values.StockMode = StockMode;
    values.InventNewVersion = InventNewVersion;
    values.KoushinDt = KoushinDt;
    values.SysYm = SysYm;
    values.today = m_clock.today();
    const pricing::PriceUpdater *running = nullptr;
    // A failed category: message 40275 carries what the database said (a deadlock, a lock
    // timeout, a lost connection), so that the operator knows why the category was not converted,
    // and what the run had committed before it.
    const auto reportFailure = [this, &running] {
        ShowDbError(msg::RunFailed, pricing::failureReport(*running, StockMode), 0, AppTitle);
    };
    pricing::PriceUpdater updater(*m_db, pic_Jyoukein->params(), values, reportFailure);
    running = &updater;
    updater.setChangeList(changes.get());

    // The window keeps painting and shows which category is converted; the dialog is modal, so
    // no other command, key, click or database switch reaches the form meanwhile. 中止 (a click,
    // or Escape answered Yes; never Enter) ends the run before the next category: every category
    // is its own transaction.
    RunProgress progress(AppTitle + QStringLiteral("（変換中）"), this);
    updater.setProgress(
        [&progress](int handled, int listed, const pricing::WorkListEntry &next, qint64 nextGoods) {
            return progress.showStep(handled, listed, next.itemCd, next.detailNo, nextGoods);
        });
    m_running = true;
    const pricing::RunOutcome outcome = updater.run();
    m_running = false;
    progress.close();
    // The function keys act on the active window: take the activation back from the dialog now,
    // without waiting for the window system and without handling any input that waited.
    QApplication::setActiveWindow(this);

    // A run log line that could not be written is said in the box that ends the run, after the
    // summary; a failed run has shown its failure already and gets a box for the line alone.
    const QString summary = pricing::runSummary(updater, StockMode, changes.get());
    m_runWarnings = updater.warnings();
    m_runChangeList = changes ? changes->path() : QString();
    const auto withMissingLine = [&summary](const QString &missing) {
        return missing.isEmpty() ? summary : summary + QStringLiteral("\n\n") + missing;
    };
    const auto showMissingLine = [](const QString &missing) {
        if (!missing.isEmpty())
            MessageBoxes::plain(missing, mb::OkOnly, AppTitle);
    };
    switch (outcome) {
    case pricing::RunOutcome::RunFailed:
        showMissingLine(writeRunLog(updater.counts(), QStringLiteral("異常終了")));
        return;
    case pricing::RunOutcome::Completed: {
        prfn_LoadItemGrid();
        setScreenPointer(PointerDefault);
        const QString missing = writeRunLog(updater.counts(), QStringLiteral("正常終了"));
        ShowMessage(msg::RunCompleted, mb::OkOnly, AppTitle, withMissingLine(missing));
        return;
    }
    case pricing::RunOutcome::StepFailed:
        prfn_LoadItemGrid();
        setScreenPointer(PointerDefault);
        showMissingLine(writeRunLog(updater.counts(),
                                    QStringLiteral("異常終了: ") + updater.failure().value(0).description));
        return;
    case pricing::RunOutcome::Stopped: {
        prfn_LoadItemGrid();
        remarkCategories(updater.notReached());
        setScreenPointer(PointerDefault);
        const QString missing = writeRunLog(updater.counts(), QStringLiteral("中止"));
        MessageBoxes::plain(QStringLiteral("売価の変換を中止しました。残りの分類は選択したままです。\n") +
                                withMissingLine(missing),
                            mb::OkOnly, AppTitle);
        return;
    }
    }
}

// The categories a stopped run did not reach stay marked, so that the next F1 carries on.
void KRT550F1::remarkCategories(const QList<pricing::WorkListEntry> &categories)
{
    for (const pricing::WorkListEntry &category : categories) {
        if (!category::markCategory(*m_db, category.itemCd, category.detailNo))
            continue;
        for (int r = 0; r < lstTbl->Rows(); ++r) {
            const category::WorkListRow *row = lstTbl->workListRow(r);
            if (row && row->itemCd == category.itemCd && row->detailNo.toInt() == category.detailNo)
                lstTbl->setMarked(r, true);
        }
    }
}

QString KRT550F1::writeRunLog(const pricing::RunCounts &counts, const QString &outcome)
{
    const ConversionParams &p = pic_Jyoukein->params();
    pricing::RunRecord record;
    record.at = m_clock.now();
    record.catalog = catalogName(cmb_DAT->currentIndex());
    record.entry = cmb_DAT->currentText();
    record.stockMode = StockMode;
    record.calcMethod = pic_Jyoukein->selectedCalcMethod();
    record.oldRate = p.TAX_ST[static_cast<std::size_t>(record.calcMethod)];
    record.newRate = p.TAX_END[static_cast<std::size_t>(record.calcMethod)];
    record.params = p;
    record.counts = counts;
    record.outcome = outcome;
    record.changeList = m_runChangeList;
    record.warnings = m_runWarnings;
    const QString path = settings::runLogPath();
    const std::optional<QString> failure = settings::appendLine(path, pricing::runLogLine(record));
    if (!failure)
        return {};
    return QStringLiteral("実行記録にこの実行の行を書き込めませんでした。行は記録に残っていません。\n"
                          "実行記録: %1\n理由: %2")
        .arg(QDir::toNativeSeparators(path), *failure);
}

} // namespace krt
