#include "cli/databaseconversion.h"

#include "category/categorycheck.h"
#include "category/categorytable.h"
#include "category/inventoryflag.h"
#include "category/markingrules.h"
#include "cli/console.h"
#include "cli/databaselock.h"
#include "db/systemparameters.h"
#include "platform/dblist.h"
#include "platform/messagecatalog.h"
#include "platform/settingsstore.h"
#include "pricing/changelistfile.h"
#include "pricing/runpreview.h"
#include "pricing/runreport.h"
#include "pricing/writeaccess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QSet>

#include <algorithm>

namespace krt::cli {

using namespace category;

namespace {

// How many goods the preview shows with their prices now and after, as the window's confirmation.
constexpr int PreviewGoods = 5;

} // namespace

DatabaseConversion::DatabaseConversion(const ConvertOptions &options, Database database,
                                       const std::atomic<bool> &stop)
    : m_options(options)
    , m_database(std::move(database))
    , m_stop(stop)
{}

ExitStatus DatabaseConversion::run()
{
    DatabaseLock lock(m_database.folder);
    if (!lock.take()) {
        say(lock.refusal());
        return Refused;
    }
    int rows = 0;
    if (!open() || !refresh(rows))
        return Refused;
    // Without --yes nothing is written: the fill and the marks the preview needs are rolled back.
    // With --yes the fill stays, as the window's switch leaves it, and the marks are committed
    // only when the run may start.
    if (!m_options.yes && !m_db.beginTrans()) {
        dbError(QStringLiteral("11002"), m_db.errors());
        return Refused;
    }
    if (!fillWorkList(rows) || !check())
        return rollBack(Refused);
    if (m_options.yes && !m_db.beginTrans()) {
        dbError(QStringLiteral("11002"), m_db.errors());
        return Refused;
    }
    if (!select() || !inputCheck() || refusesRun() || !readRunValues() || !prepareChangeList() || !preview())
        return rollBack(Refused);
    if (!m_options.yes)
        return rollBack(Converted);
    if (!m_db.commitTrans()) {
        dbError(QStringLiteral("11002"), m_db.errors());
        return rollBack(Refused);
    }
    return convert();
}

ExitStatus DatabaseConversion::rollBack(ExitStatus status)
{
    if (m_db.inTransaction())
        m_db.rollbackTrans();
    return status;
}

void DatabaseConversion::say(const QString &text) const
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line.prepend(m_database.entry + QStringLiteral(": "));
    writeErr(lines.join(QLatin1Char('\n')));
}

void DatabaseConversion::message(const QString &msgNo, const QStringList &details) const
{
    // The text's lines are one sentence each; standard error keeps them on the number's line.
    QString text = msgNo;
    const QString registered = messages::text(msgNo);
    if (!registered.isEmpty())
        text += QLatin1Char(' ') + QString(registered).remove(QLatin1Char('\n'));
    for (const QString &detail : details)
        for (const QString &line : detail.split(QLatin1Char('\n')))
            text += QStringLiteral("\n  ") + line;
    say(text);
}

void DatabaseConversion::dbError(const QString &msgNo, const DbErrors &errors) const
{
    message(msgNo, errorLines(errors));
}

// The database switch up to the fill: the connection to the entry's catalog, the installed
// inventory version and the system parameters 1200 and 3080.
bool DatabaseConversion::open()
{
    const SpliceResult split = splitConnectionText(storedConnectionText());
    if (!split.parts) {
        dbError(QStringLiteral("11002"), {programError(split.error)});
        return false;
    }
    if (!m_db.open(catalogConnectionText(*split.parts, m_database.position))) {
        dbError(QStringLiteral("11002"), m_db.errors());
        return false;
    }
    m_inventNewVersion =
        inventNewVersion(settings::GetSetting(settings::Version, QStringLiteral("Invent"))).value_or(false);
    m_businessDate = settings::fixedBusinessDate();
    if (!m_businessDate.isValid())
        m_businessDate = m_clock.today();

    // A parameter that cannot be read keeps the start-up default, and the preview says so.
    const SysParmSource source =
        sysParmSource([](const QString &key) { return settings::GetSetting(settings::Common, key); });
    QString taxPreset;
    {
        QLB318C2 sysParm(&m_db, source);
        if (sysParm.GetSysParm(1200) == QLB318C2::Found)
            if (const std::optional<int> mode = stockModeOf(sysParm.NAIYO())) {
                m_stockMode = *mode;
                m_stockModeSource = sysParm.NAIYO().toString();
            }
    }
    {
        QLB318C2 sysParm(&m_db, source);
        if (sysParm.GetSysParm(3080) == QLB318C2::Found)
            if (const std::optional<QString> rate = taxPercentOf(sysParm.NAIYO())) {
                taxPreset = *rate;
                m_taxPresetSource = sysParm.NAIYO().toString();
            }
    }
    m_params = m_options.params(taxPreset);
    return true;
}

// The work list's count and the write probe: a database that can be read but not written is
// refused before anything is filled or marked there.
bool DatabaseConversion::refresh(int &rows)
{
    rows = count(m_db, QString());
    if (rows == -1) {
        dbError(QStringLiteral("11002"), m_db.errors());
        return false;
    }
    if (const std::optional<pricing::WriteRefusal> refusal = pricing::findWriteRefusal(m_db, m_stockMode)) {
        DbErrors errors{
            programError(QStringLiteral("%1 に書き込めません（%2 の権限がありません）。データベースが"
                                        "読み取り専用か、ログインに権限がありません。")
                             .arg(refusal->table, refusal->right))};
        errors += refusal->errors;
        dbError(QStringLiteral("11002"), errors);
        return false;
    }
    return true;
}

// Adds the categories of the masters the work list lacks; another workstation filling the same
// list at the same moment makes the first fill fail, and the additive fill then adds the rest.
bool DatabaseConversion::fillWorkList(int rows)
{
    if (fill(m_db, rows != 0 ? 1 : 0) == 0 || fill(m_db, 1) == 0)
        return true;
    dbError(QStringLiteral("40426"), m_db.errors());
    return false;
}

// The category check of the database, then the categories whose inventory flag no run can
// convert, named as the window names them when it opens a database.
bool DatabaseConversion::check()
{
    try {
        CategoryCheck check(&m_db);
        check.setHonShiten(m_stockMode);
        if (check.GetUnMutch() != 0) {
            QStringList keys;
            for (const CategoryCheck::UnmatchedKey &key : check.unmatched())
                keys << (m_stockMode != 0 ? QStringLiteral("%1-%2  商品 %3 件、在庫 %4 件")
                                                .arg(key.daiBunruiCd, key.chuBunruiCd)
                                                .arg(key.goodsCount)
                                                .arg(key.stockCount)
                                          : QStringLiteral("%1-%2  商品 %3 件")
                                                .arg(key.daiBunruiCd, key.chuBunruiCd)
                                                .arg(key.goodsCount));
            message(QStringLiteral("40424"), keys);
            return false;
        }
    } catch (const ComponentError &error) {
        // "prsb_BuntuiCheck" is the family's own spelling of the title of this failure.
        say(QStringLiteral("KRT550:prsb_BuntuiCheck %1 : %2").arg(error.number).arg(error.description));
        return false;
    }
    const std::optional<QStringList> unknown = unknownFlagCategories(m_db, false);
    if (unknown && !unknown->isEmpty())
        message(QStringLiteral("40425"), *unknown);
    return true;
}

bool DatabaseConversion::select()
{
    switch (m_options.categories.kind) {
    case CategoryChoice::All:
        return selectAll();
    case CategoryChoice::Codes:
        return selectCodes();
    case CategoryChoice::Marked:
        break;
    }
    return true;
}

// As the window marks on a fresh grid with select all (F7): every unconverted category its
// inventory flag allows, and in deferred mode with an old price-tag stock-take the inventory
// categories only.
bool DatabaseConversion::selectAll()
{
    const std::optional<QList<WorkListRow>> rows = readWorkList(m_db);
    if (!rows) {
        dbError(QStringLiteral("11002"), m_db.errors());
        return false;
    }
    const MarkingRules rules(m_stockMode);
    const bool needsStockTake = std::any_of(rows->cbegin(), rows->cend(), [&rules](const WorkListRow &row) {
        return rules.markable(row) && rules.needsStockTake(row);
    });
    const bool upToDate = !needsStockTake || !stockTakeRefuses();
    if (clearChecks(m_db) == -1 || !category::selectAll(m_db, !upToDate)) {
        dbError(QStringLiteral("11002"), m_db.errors());
        return false;
    }
    return true;
}

// Exactly the categories named: each must be in the work list and not converted yet.
bool DatabaseConversion::selectCodes()
{
    const std::optional<QList<WorkListRow>> rows = readWorkList(m_db);
    if (!rows) {
        dbError(QStringLiteral("11002"), m_db.errors());
        return false;
    }
    QStringList unknown;
    QStringList converted;
    for (const CategoryChoice::Code &code : m_options.categories.codes) {
        const auto row = std::find_if(rows->cbegin(), rows->cend(), [&code](const WorkListRow &r) {
            return r.itemCd == code.itemCd && r.detailNo.toInt() == code.detailNo;
        });
        if (row == rows->cend())
            unknown << code.text;
        else if (row->converted())
            converted << QStringLiteral("%1（%2 に変換済み）").arg(code.text, row->updateDate);
    }
    if (!unknown.isEmpty())
        say(QStringLiteral("作業リスト（MITEMCNT）にない分類です: %1")
                .arg(unknown.join(QStringLiteral(", "))));
    if (!converted.isEmpty())
        say(QStringLiteral("変換済みの分類は変換できません: %1").arg(converted.join(QStringLiteral(", "))));
    if (!unknown.isEmpty() || !converted.isEmpty())
        return false;
    bool marked = clearChecks(m_db) == 0;
    for (const CategoryChoice::Code &code : m_options.categories.codes)
        marked = marked && markCategory(m_db, code.itemCd, code.detailNo);
    if (!marked)
        dbError(QStringLiteral("11002"), m_db.errors());
    return marked;
}

// The price-tag stock-take against the business date, as a mark needs it: true (with the
// window's message) when it is older or cannot be read.
bool DatabaseConversion::stockTakeRefuses()
{
    switch (checkStockTake(m_db, m_businessDate)) {
    case StockTake::ReadFailed:
        message(QStringLiteral("40420"));
        return true;
    case StockTake::Outdated:
        message(QStringLiteral("40422"));
        return true;
    case StockTake::UpToDate:
        break;
    }
    return false;
}

// The run's preconditions: a marked category, and the rates of the method.
bool DatabaseConversion::inputCheck()
{
    const int marked = countMarked(m_db);
    if (marked == -1)
        dbError(QStringLiteral("11002"), m_db.errors());
    if (marked <= 0) {
        message(QStringLiteral("40035"));
        return false;
    }
    const auto method = static_cast<std::size_t>(m_options.calcMethod);
    if (m_params.TAX_ST[method].isEmpty() || m_params.TAX_END[method].isEmpty()) {
        message(QStringLiteral("40419"), {QStringLiteral("--to を指定するか、システムパラメータ 3080 に税率を"
                                                         "登録してください。")});
        return false;
    }
    return true;
}

// The rules of what a run may take, checked on the stored marks before anything is written.
bool DatabaseConversion::refusesRun()
{
    using Refusal = MarkingRules::Refusal;
    const std::optional<Refusal> refusal = MarkingRules(m_stockMode).refuseRun(m_db, m_businessDate);
    if (!refusal)
        return false;
    switch (refusal->kind) {
    case Refusal::ReadFailed:
        dbError(QStringLiteral("11002"), refusal->errors);
        break;
    case Refusal::MissingCategories:
        message(QStringLiteral("40426"),
                {QStringLiteral("作業リストにない分類:"), refusal->categories.join(QLatin1Char('\n'))});
        break;
    case Refusal::UnknownFlags:
        message(QStringLiteral("40425"), refusal->categories);
        break;
    case Refusal::StockTakeOutdated:
        message(QStringLiteral("40422"),
                {QStringLiteral("変換できない分類:"), refusal->categories.join(QLatin1Char('\n'))});
        break;
    case Refusal::StockTakeUnread:
        message(QStringLiteral("40420"),
                {QStringLiteral("変換できない分類:"), refusal->categories.join(QLatin1Char('\n'))});
        break;
    }
    return true;
}

// The server's date and time and the system month, which the run writes and converts from.
bool DatabaseConversion::readRunValues()
{
    const std::optional<QString> date = serverDate(m_db);
    const std::optional<QString> month = date ? sysYm(m_db) : std::nullopt;
    if (!month) {
        message(QStringLiteral("40423"));
        return false;
    }
    // In direct mode the month starts the stock movements the run converts, unquoted.
    if (m_stockMode != 0 && !isYearMonth(*month)) {
        message(QStringLiteral("40423"),
                {QStringLiteral("GDATECTL.SYS_YM1 = '%1' は年月（yyyymm）ではありません。").arg(*month)});
        return false;
    }
    m_koushinDt = *date;
    m_sysYm = *month;
    return true;
}

// The change list as the window writes it, after completing or discarding what a killed run on
// this database left of its own.
bool DatabaseConversion::prepareChangeList()
{
    pricing::PreparedChangeList prepared = pricing::prepareChangeList(
        m_db, pricing::changeListFolder(settings::runLogPath()), catalogName(m_database.position),
        m_clock.now(), [](const QString &key) { return settings::GetSetting(settings::Common, key); });
    if (!prepared.recoveryFailure.isEmpty()) {
        dbError(QStringLiteral("11002"), prepared.recoveryFailure);
        return false;
    }
    if (!prepared.why.isEmpty()) {
        say(prepared.why);
        return false;
    }
    m_changes = std::move(prepared.list);
    return true;
}

// What the window's confirmation shows, on standard output.
bool DatabaseConversion::preview()
{
    const std::optional<pricing::RunPreview> preview =
        pricing::previewRun(m_db, m_params, m_options.calcMethod, PreviewGoods);
    if (!preview) {
        dbError(QStringLiteral("11002"), m_db.errors());
        return false;
    }
    const QString catalog = catalogName(m_database.position);
    const QString heading =
        m_options.yes ? QStringLiteral("%1（%2）の売価を変換します。").arg(catalog, m_database.entry)
                      : QStringLiteral("%1（%2）の売価の変換内容です（--yes がないため何も書き込みません）。")
                            .arg(catalog, m_database.entry);
    writeOut(heading + QLatin1Char('\n') +
             pricing::confirmationDetails(
                 *preview, markedCategories(),
                 pricing::conditionsText(m_params, m_options.calcMethod, pricing::roundingCaptions(m_params)),
                 pricing::stockModeText(m_stockMode, m_stockModeSource, m_taxPresetSource),
                 pricing::changeListNote(m_changes.get())));
    return true;
}

// The marked unconverted categories as "code-number", in the order the window's grid lists them;
// empty when the work list cannot be read (the connection's errors say why).
QStringList DatabaseConversion::markedCategories()
{
    const std::optional<QList<WorkListRow>> rows = readWorkList(m_db);
    const std::optional<QList<StoredMark>> marks = rows ? unconvertedMarks(m_db) : std::nullopt;
    if (!marks)
        return {};
    QSet<QString> marked;
    for (const StoredMark &mark : *marks)
        if (mark.marked)
            marked.insert(mark.itemCd + QLatin1Char('\t') + mark.detailNo);
    QStringList codes;
    for (const WorkListRow &row : *rows)
        if (!row.converted() && marked.contains(row.itemCd + QLatin1Char('\t') + row.detailNo))
            codes << row.key();
    return codes;
}

ExitStatus DatabaseConversion::convert()
{
    pricing::RunValues values;
    values.calcMethod = m_options.calcMethod;
    values.StockMode = m_stockMode;
    values.InventNewVersion = m_inventNewVersion;
    values.KoushinDt = m_koushinDt;
    values.SysYm = m_sysYm;
    values.today = m_clock.today();
    const pricing::PriceUpdater *running = nullptr;
    // A failed category: message 40275 with what the database said and what the run committed.
    const auto reportFailure = [this, &running] {
        dbError(QStringLiteral("40275"), pricing::failureReport(*running, m_stockMode));
    };
    pricing::PriceUpdater updater(m_db, m_params, values, reportFailure);
    running = &updater;
    updater.setChangeList(m_changes.get());

    // A stop (SIGINT, SIGTERM) ends the run before the next category: every category is its own
    // transaction, so the one under way has committed.
    const bool terminal = errIsTerminal();
    QElapsedTimer elapsed;
    elapsed.start();
    updater.setProgress([&](int handled, int listed, const pricing::WorkListEntry &next, qint64) {
        if (m_stop.load())
            return false;
        if (terminal && handled < listed)
            say(QStringLiteral("分類 %1 / %2  %3-%4  経過 %5 秒")
                    .arg(handled + 1)
                    .arg(listed)
                    .arg(next.itemCd)
                    .arg(next.detailNo)
                    .arg(QLocale::c().toString(static_cast<double>(elapsed.elapsed()) / 1000.0, 'f', 1)));
        return true;
    });
    const pricing::RunOutcome outcome = updater.run();

    const QString summary = pricing::runSummary(updater, m_stockMode, m_changes.get());
    m_warnings = updater.warnings();
    switch (outcome) {
    case pricing::RunOutcome::RunFailed:
        writeOut(summary);
        writeRunLog(updater.counts(), QStringLiteral("異常終了"));
        return CategoryFailed;
    case pricing::RunOutcome::Completed:
        clearMarks();
        writeOut(summary);
        writeRunLog(updater.counts(), QStringLiteral("正常終了"));
        message(QStringLiteral("10009"));
        return Converted;
    case pricing::RunOutcome::StepFailed:
        clearMarks();
        writeOut(summary);
        writeRunLog(updater.counts(), QStringLiteral("異常終了: ") + updater.failure().value(0).description);
        return CategoryFailed;
    case pricing::RunOutcome::Stopped:
        // The categories not reached stay marked, so that "--categories marked" carries on.
        clearMarks();
        for (const pricing::WorkListEntry &category : updater.notReached())
            markCategory(m_db, category.itemCd, category.detailNo);
        writeOut(QStringLiteral("売価の変換を中止しました。残りの分類は選択したままです。\n") + summary);
        writeRunLog(updater.counts(), QStringLiteral("中止"));
        return Stopped;
    }
    return CategoryFailed;
}

// After a run, as the window's reload of the grid: no mark survives it.
void DatabaseConversion::clearMarks()
{
    if (clearChecks(m_db) == -1)
        dbError(QStringLiteral("11002"), m_db.errors());
}

void DatabaseConversion::writeRunLog(const pricing::RunCounts &counts, const QString &outcome)
{
    pricing::RunRecord record;
    record.at = m_clock.now();
    record.catalog = catalogName(m_database.position);
    record.entry = m_database.entry;
    record.stockMode = m_stockMode;
    record.calcMethod = m_options.calcMethod;
    record.oldRate = m_params.TAX_ST[static_cast<std::size_t>(record.calcMethod)];
    record.newRate = m_params.TAX_END[static_cast<std::size_t>(record.calcMethod)];
    record.params = m_params;
    record.counts = counts;
    record.outcome = outcome;
    record.changeList = m_changes ? m_changes->path() : QString();
    record.warnings = m_warnings;
    const QString path = settings::runLogPath();
    if (const std::optional<QString> failure = settings::appendLine(path, pricing::runLogLine(record)))
        say(QStringLiteral("実行記録にこの実行の行を書き込めませんでした。行は記録に残っていません。\n"
                           "実行記録: %1\n理由: %2")
                .arg(QDir::toNativeSeparators(path), *failure));
}

} // namespace krt::cli
