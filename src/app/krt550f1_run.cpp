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
#include <QLocale>
#include <QRadioButton>
#include <QSet>

#include <algorithm>

namespace krt {

namespace {

// How many goods the confirmation shows with their prices now and after.
constexpr int PreviewGoods = 5;

// How many category codes the confirmation names before it counts the rest.
constexpr int NamedCategories = 60;

QString categoryCodes(const QStringList &codes)
{
    if (codes.size() <= NamedCategories)
        return codes.join(QStringLiteral(", "));
    return QStringList(codes.mid(0, NamedCategories)).join(QStringLiteral(", ")) +
           QStringLiteral(" …ほか %1 分類").arg(codes.size() - NamedCategories);
}

QString priceText(const QVariant &price)
{
    return price.isNull() ? QStringLiteral("(Null)") : QLocale::c().toString(price.toDouble(), 'f', 0);
}

QString checkedCaption(std::initializer_list<const QRadioButton *> options)
{
    for (const QRadioButton *option : options)
        if (option->isChecked())
            return option->text();
    return {};
}

} // namespace

QString KRT550F1::conditionsText() const
{
    const ConversionParams &p = pic_Jyoukein->params();
    const int method = pic_Jyoukein->selectedCalcMethod();
    const QString rates = method == 0 ? QStringLiteral("税抜き → 税込 %1%").arg(p.TAX_END[0])
                          : method == 1 ? QStringLiteral("税込 %1% → 税込 %2%").arg(p.TAX_ST[1], p.TAX_END[1])
                                        : QStringLiteral("税込 %1% → 税抜き").arg(p.TAX_ST[2]);
    const ConditionPanel &c = *pic_Jyoukein;
    const auto rounding = [](const QString &way, const QString &digit, bool none) {
        return none ? way : way + QLatin1Char(' ') + digit;
    };
    return QStringLiteral("計算方法: %1\n端数処理: 商品 %2、付加 %3")
        .arg(
            rates,
            rounding(checkedCaption({c.opt_Int, c.opt_RoundUp, c.opt_RoundDown, c.opt_Round}),
                     checkedCaption({c.opt_Keta[0], c.opt_Keta[1], c.opt_Keta[2], c.opt_Keta[3]}),
                     p.HASU_FLG[Goods] == HasuNone),
            rounding(checkedCaption({c.opt_Int_Add, c.opt_RoundUp_Add, c.opt_RoundDown_Add, c.opt_Round_Add}),
                     checkedCaption({c.opt_Keta_Add[0], c.opt_Keta_Add[1], c.opt_Keta_Add[2]}),
                     p.HASU_FLG[AddOn] == HasuNone));
}

// Asks the operator before anything is changed: the database, the categories and goods, the
// method with its rates, the rounding, and a few goods with the prices the database computes
// for them with the run's own expressions. No is the default; nothing is written either way.
bool KRT550F1::prfn_ConfirmRun()
{
    const std::optional<pricing::RunPreview> preview =
        pricing::previewRun(*m_db, pic_Jyoukein->params(), pic_Jyoukein->selectedCalcMethod(), PreviewGoods);
    if (!preview) {
        ShowDbError(QStringLiteral("11002"), m_db->errors(), 0, AppTitle);
        return false;
    }
    const QLocale c = QLocale::c();
    QStringList samples;
    for (const pricing::PreviewSample &s : preview->samples)
        samples << QStringLiteral("  %1-%2  標準売価 %3 → %4  売価 %5 → %6")
                       .arg(s.itemCd)
                       .arg(s.detailNo)
                       .arg(priceText(s.standard), priceText(s.standardNew), priceText(s.retail),
                            priceText(s.retailNew));
    BoxRequest request;
    request.kind = BoxRequest::Kind::Confirmation;
    request.style = mb::YesNo; // No is the default
    request.title = AppTitle;
    request.text = QStringLiteral("%1（%2）の売価を変換します。よろしいですか？")
                       .arg(catalogName(cmb_DAT->currentIndex()), cmb_DAT->currentText());
    request.details =
        QStringLiteral("対象: %1 分類、商品 %2 件\n")
            .arg(c.toString(preview->categories), c.toString(preview->goods)) +
        QStringLiteral("分類: %1\n").arg(categoryCodes(markedCategories())) + conditionsText() +
        QLatin1Char('\n') + stockModeText() + QLatin1Char('\n') + m_changeListNote +
        (samples.isEmpty() ? QString() : QStringLiteral("\n変換例:\n") + samples.join(QLatin1Char('\n')));
    setScreenPointer(PointerDefault);
    const bool yes = MessageBoxes::show(request) == mb::IdYes;
    setScreenPointer(yes ? PointerHourglass : PointerDefault);
    return yes;
}

// The stock mode of the run and where it and the tax preset came from, so that a misspelt
// parameter table or a missing parameter is seen before anything is converted.
QString KRT550F1::stockModeText() const
{
    const QString mode =
        StockMode != 0 ? QStringLiteral("在庫も変換する") : QStringLiteral("在庫は棚卸後に変換");
    const QString modeSource = m_stockModeSource.isEmpty()
                                   ? QStringLiteral("システムパラメータ 1200 が読めないため既定値")
                                   : QStringLiteral("システムパラメータ 1200 = %1").arg(m_stockModeSource);
    const QString presetSource = m_taxPresetSource.isEmpty()
                                     ? QStringLiteral("システムパラメータ 3080 が読めないため初期値なし")
                                     : QStringLiteral("システムパラメータ 3080 = %1").arg(m_taxPresetSource);
    return QStringLiteral("在庫: %1（%2）\n税抜き → 税込の新税率の初期値: %3")
        .arg(mode, modeSource, presetSource);
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
        ShowDbError(QStringLiteral("11002"), m_db->errors(), 0, AppTitle);
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
        ShowDbError(QStringLiteral("11002"), refusal->errors, 0, AppTitle);
        break;
    case Refusal::MissingCategories:
        m_workListIncomplete = true;
        closeCheckedStage();
        ShowMessage(QStringLiteral("40426"), mb::OkOnly, AppTitle,
                    QStringLiteral("作業リストにない分類:\n") + categories);
        break;
    case Refusal::UnknownFlags:
        ShowMessage(QStringLiteral("40425"), mb::OkOnly, AppTitle, categories);
        break;
    case Refusal::StockTakeOutdated:
        ShowMessage(QStringLiteral("40422"), mb::OkOnly, AppTitle,
                    QStringLiteral("変換できない分類:\n") + categories);
        break;
    case Refusal::StockTakeUnread:
        ShowMessage(QStringLiteral("40420"), mb::OkOnly, AppTitle,
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
    const QString folder = pricing::changeListFolder(settings::runLogPath());
    const QString catalog = catalogName(cmb_DAT->currentIndex());
    if (!pricing::ChangeList::recover(*m_db, folder, catalog)) {
        ShowDbError(
            QStringLiteral("11002"),
            DbErrors{programError(QStringLiteral("前回の変更一覧の書き残しを処理できません: ") + folder)} +
                m_db->errors(),
            0, AppTitle);
        return false;
    }
    if (settings::GetSetting(settings::Common, QStringLiteral("ChangeList")).trimmed() ==
        QLatin1String("0")) {
        m_changeListNote = QStringLiteral("変更一覧: 書きません（設定 ChangeList=0）");
        return true;
    }
    pricing::ChangeList::Options options;
    options.folder = folder;
    options.catalog = catalog;
    options.start = m_clock.now();
    for (const QString &name :
         settings::GetSetting(settings::Common, QStringLiteral("GoodsKeyColumns")).split(QLatin1Char(',')))
        if (!name.trimmed().isEmpty())
            options.keyColumns.append(name.trimmed());
    options.nameColumn = settings::GetSetting(settings::Common, QStringLiteral("GoodsNameColumn")).trimmed();
    changes = std::make_unique<pricing::ChangeList>(*m_db, options);
    if (!changes->prepare()) {
        setScreenPointer(PointerDefault);
        MessageBoxes::plain(changes->why(), mb::OkOnly, AppTitle);
        return false;
    }
    m_changeListNote =
        QStringLiteral("変更一覧: ") + QDir::toNativeSeparators(changes->path()) +
        (changes->hasKey() ? QString()
                           : QStringLiteral("（商品キーがないため、分類と売価だけを記録します）"));
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
    pricing::PriceUpdater *running = nullptr;
    QString failure;
    // A failed category: message 40275 carries what the database said (a deadlock, a lock
    // timeout, a lost connection), so that the operator knows why the category was not converted,
    // and what the run had committed before it.
    const auto reportFailure = [this, &running, &failure] {
        DbErrors errors = running->failure();
        failure = errors.isEmpty() ? QString() : errors.constFirst().description;
        errors.append(
            programError(pricing::summaryLines(running->counts(), StockMode).join(QLatin1Char('\n'))));
        ShowDbError(QStringLiteral("40275"), errors, 0, AppTitle);
    };
    pricing::PriceUpdater updater(*m_db, pic_Jyoukein->params(), values, reportFailure);
    running = &updater;
    updater.setChangeList(changes.get());

    // The window keeps painting and shows which category is converted; the dialog is modal, so
    // no other command, key, click or database switch reaches the form meanwhile. 中止 (a click,
    // or Escape answered Yes; never Enter) ends the run before the next category: every category
    // is its own transaction.
    RunProgress progress(AppTitle + QStringLiteral("（変換中）"), this);
    updater.setProgress([&progress](int handled, int listed, const pricing::WorkListEntry &next) {
        return progress.showStep(handled, listed, next.itemCd, next.detailNo);
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
    QStringList summaryLines = pricing::summaryLines(updater.counts(), StockMode);
    if (changes)
        summaryLines.append(QStringLiteral("変更一覧: %1（商品 %2 行、うち売価が変わった商品 %3 行）")
                                .arg(QDir::toNativeSeparators(changes->path()))
                                .arg(changes->rows())
                                .arg(changes->changed()));
    summaryLines += pricing::warningLines(updater.warnings());
    const QString summary = summaryLines.join(QLatin1Char('\n'));
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
        ShowMessage(QStringLiteral("10009"), mb::OkOnly, AppTitle, withMissingLine(missing));
        return;
    }
    case pricing::RunOutcome::StepFailed:
        prfn_LoadItemGrid();
        setScreenPointer(PointerDefault);
        showMissingLine(writeRunLog(updater.counts(), QStringLiteral("異常終了: ") + failure));
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
