// The conversion run of the main form: the confirmation with its preview, the run under a
// progress dialog with a Stop button, the summary and the run log.
#include "app/krt550f1.h"

#include "category/categorytable.h"
#include "params/conditionpanel.h"
#include "platform/settingsstore.h"
#include "pricing/priceupdate.h"
#include "pricing/runpreview.h"
#include "pricing/runreport.h"
#include "widgets/categorygrid.h"
#include "widgets/functionkeybar.h"
#include "widgets/messagebox.h"
#include "widgets/messages.h"
#include "widgets/screenpointer.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProgressDialog>
#include <QRadioButton>

namespace krt {

namespace {

// How many goods the confirmation shows with their prices now and after.
constexpr int PreviewGoods = 5;

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
        conditionsText() +
        (samples.isEmpty() ? QString() : QStringLiteral("\n変換例:\n") + samples.join(QLatin1Char('\n')));
    setScreenPointer(PointerDefault);
    const bool yes = MessageBoxes::show(request) == mb::IdYes;
    setScreenPointer(yes ? PointerHourglass : PointerDefault);
    return yes;
}

void KRT550F1::prsb_Execute()
{
    repaint();
    setScreenPointer(PointerHourglass);
    if (!prfn_InputCheck() || refusesOutdatedStockTake())
        return;
    KoushinDt = prfn_GetServerDate();
    if (KoushinDt.isEmpty())
        return;
    SysYm = prfn_GetSysYM();
    if (SysYm.isEmpty())
        return;
    if (!prfn_ConfirmRun())
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
        DbErrors errors = m_db->errors();
        failure = errors.isEmpty() ? QString() : errors.constFirst().description;
        errors.append(
            programError(pricing::summaryLines(running->counts(), StockMode).join(QLatin1Char('\n'))));
        ShowDbError(QStringLiteral("40275"), errors, 0, AppTitle);
    };
    pricing::PriceUpdater updater(*m_db, pic_Jyoukein->params(), values, reportFailure);
    running = &updater;

    // The window keeps painting and shows which category is converted; the dialog is modal, so
    // no other command, key, click or database switch reaches the form meanwhile. Stop ends the
    // run before the next category: every category is its own transaction.
    QProgressDialog progress(QStringLiteral("売価を変換しています…"), QStringLiteral("中止"), 0, 1, this);
    progress.setWindowTitle(AppTitle + QStringLiteral("（変換中）"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    updater.setProgress([&progress](int handled, int listed, const pricing::WorkListEntry &next) {
        // The label first: setting the value lets the dialog paint.
        if (handled < listed)
            progress.setLabelText(QStringLiteral("分類 %1 / %2 を変換しています（%3-%4）")
                                      .arg(handled + 1)
                                      .arg(listed)
                                      .arg(next.itemCd)
                                      .arg(next.detailNo));
        progress.setMaximum(qMax(1, listed));
        progress.setValue(handled);
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    });
    m_running = true;
    const pricing::RunOutcome outcome = updater.run();
    m_running = false;
    progress.close();
    // The function keys act on the active window: take the activation back from the dialog now,
    // without waiting for the window system and without handling any input that waited.
    QApplication::setActiveWindow(this);

    const QStringList summary = pricing::summaryLines(updater.counts(), StockMode);
    switch (outcome) {
    case pricing::RunOutcome::RunFailed:
        writeRunLog(updater.counts(), QStringLiteral("異常終了"));
        return;
    case pricing::RunOutcome::Completed:
        prfn_LoadItemGrid();
        setScreenPointer(PointerDefault);
        writeRunLog(updater.counts(), QStringLiteral("正常終了"));
        ShowMessage(QStringLiteral("10009"), mb::OkOnly, AppTitle, summary.join(QLatin1Char('\n')));
        return;
    case pricing::RunOutcome::StepFailed:
        prfn_LoadItemGrid();
        setScreenPointer(PointerDefault);
        writeRunLog(updater.counts(), QStringLiteral("異常終了: ") + failure);
        return;
    case pricing::RunOutcome::Stopped:
        prfn_LoadItemGrid();
        remarkCategories(updater.notReached());
        setScreenPointer(PointerDefault);
        writeRunLog(updater.counts(), QStringLiteral("中止"));
        MessageBoxes::plain(QStringLiteral("売価の変換を中止しました。残りの分類は選択したままです。\n") +
                                summary.join(QLatin1Char('\n')),
                            mb::OkOnly, AppTitle);
        return;
    }
}

// The categories a stopped run did not reach stay marked, so that the next F1 carries on.
void KRT550F1::remarkCategories(const QList<pricing::WorkListEntry> &categories)
{
    for (const pricing::WorkListEntry &category : categories) {
        if (!category::markCategory(*m_db, category.itemCd, category.detailNo))
            continue;
        for (int r = 0; r < lstTbl->Rows(); ++r) {
            const QString number = lstTbl->TextMatrix(r, category::ColDetailNo);
            if (lstTbl->TextMatrix(r, category::ColItemCd) == category.itemCd &&
                (number.isEmpty() ? 0 : number.toInt()) == category.detailNo)
                lstTbl->setTextMatrix(r, category::ColMark, category::MarkOn);
        }
    }
}

void KRT550F1::writeRunLog(const pricing::RunCounts &counts, const QString &outcome)
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
    const QString path = settings::runLogPath();
    QFile log(path);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !log.open(QIODevice::Append | QIODevice::Text) ||
        log.write((pricing::runLogLine(record) + QLatin1Char('\n')).toUtf8()) < 0)
        MessageBoxes::plain(QStringLiteral("実行記録を書き込めません: ") + path, mb::OkOnly, AppTitle);
}

} // namespace krt
