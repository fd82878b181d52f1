#include "pricing/priceupdate.h"

#include "category/categorytable.h"
#include "category/inventoryflag.h"
#include "pricing/pricestatements.h"

#include <algorithm>
#include <array>
#include <limits>

namespace krt::pricing {

namespace {

std::optional<int> wholeNumber(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    bool isNumber = false;
    const qlonglong number = value.toLongLong(&isNumber);
    if (!isNumber || number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(number);
}

// Whether the database chose the statement's transaction as the victim of a deadlock: SQL Server's
// error 1205, or an engine's message naming the deadlock (PostgreSQL's "deadlock detected").
bool isDeadlockVictim(const DbErrors &errors)
{
    return std::any_of(errors.cbegin(), errors.cend(), [](const DbError &e) {
        return e.nativeCode == QStringLiteral("1205") ||
               e.description.contains(QStringLiteral("deadlock"), Qt::CaseInsensitive);
    });
}

std::optional<QString> text(const QVariant &value)
{
    return value.isNull() ? std::nullopt : std::optional<QString>(value.toString());
}

QString valueText(const QVariant &value)
{
    return category::flagText(value);
}

QString keyText(const QString &itemCd, int detailNo)
{
    return QStringLiteral("%1-%2").arg(itemCd).arg(detailNo);
}

// A stored rounding code or exponent with its trailing blanks taken off (a CHAR column pads
// them), when it is a whole number from 0 to max; nothing otherwise.
std::optional<QString> storedCode(const QVariant &value, int max)
{
    if (value.isNull())
        return std::nullopt;
    QString code = value.toString();
    while (code.endsWith(QLatin1Char(' ')))
        code.chop(1);
    if (code.size() != 1 || code.at(0) < QLatin1Char('0') ||
        code.at(0) > QLatin1Char(static_cast<char>('0' + max)))
        return std::nullopt;
    return code;
}

} // namespace

RunCounts &RunCounts::operator+=(const RunCounts &other)
{
    categories += other.categories;
    skipped += other.skipped;
    mgoods += other.mgoods;
    izaiko += other.izaiko;
    iiodata += other.iiodata;
    return *this;
}

PriceUpdater::PriceUpdater(Connection &connection, const ConversionParams &params, RunValues values,
                           std::function<void()> reportFailure)
    : m_connection(connection)
    , m_params(params)
    , m_values(std::move(values))
    , m_reportFailure(std::move(reportFailure))
{}

RunOutcome PriceUpdater::run()
{
    // The embedded engine copies the run's commits back into the database file once, at the end,
    // instead of every few categories (see Connection::holdCheckpoints).
    m_connection.holdCheckpoints();
    m_pendingPerRun = true;
    const RunOutcome outcome = convertWorkList();
    m_pendingPerRun = false;
    m_pending.reset();
    m_connection.releaseCheckpoints();
    if (m_changes)
        if (const std::optional<QString> failure = m_changes->syncToDisk())
            m_warnings.append(QStringLiteral("変更一覧をディスクに書き込めませんでした: %1: %2")
                                  .arg(m_changes->path(), *failure));
    return outcome;
}

RunOutcome PriceUpdater::convertWorkList()
{
    std::optional<Recordset> list = m_connection.openRecordset(workListQuery());
    if (!list)
        return failRun();
    if (!checkWorkList(*list))
        return RunOutcome::RunFailed;
    if (!list->eof() && !readGoodsAtStart())
        return failRun();
    // The price columns' types decide which expressions need the exact reading's cast.
    // Deferred mode converts the goods prices only.
    const QStringList tables =
        m_values.StockMode == 0
            ? QStringList{QStringLiteral("MGOODS")}
            : QStringList{QStringLiteral("MGOODS"), QStringLiteral("IZAIKO"), QStringLiteral("IIODATA")};
    std::optional<PriceReadings> readings =
        list->eof() ? PriceReadings() : readPriceReadings(m_connection, tables);
    if (!readings)
        return failRun();
    m_readings = std::move(*readings);
    m_statements.reset();
    const int listed = list->recordCount();
    for (int handled = 0; !list->eof(); list->moveNext(), ++handled) {
        QString problem;
        const std::optional<Category> category = readCategory(*list, problem);
        if (!category)
            return failRun(problem);
        if (m_progress && !m_progress(handled, listed, {category->itemCd, category->detailNo},
                                      goodsAtStart(category->itemCd, category->detailNo))) {
            keepNotReached(*list);
            return RunOutcome::Stopped;
        }
        // A deadlock victim's transaction is rolled back by the server and run again a few times
        // before the failure is reported; the other failures are reported at once.
        m_deadlockRetries = DeadlockRetries;
        for (;;) {
            if (!m_connection.beginTrans())
                return failRun();
            m_retryCategory = false;
            m_category = RunCounts();
            m_categoryWarnings.clear();
            if (m_changes)
                m_changes->discardStaged();
            const int marked = prfn_MarkCategory(category->itemCd, category->detailNo, category->invFlg);
            if (marked == NotRecorded) {
                // Converted by someone else since the list was read: leave it as it is.
                if (!m_connection.rollbackTrans())
                    return failRun();
                ++m_counts.skipped;
                break;
            }
            if (marked == 0 && convert(*category) && stageChanges()) {
                if (!m_connection.commitTrans()) {
                    if (m_changes)
                        m_changes->discardStaged();
                    return failRun();
                }
                m_category.categories = 1;
                // The pending list is kept for the run: a conversion completed every category of
                // it, and a category recorded to wait joins it, read again before the next.
                if (m_values.StockMode == 0) {
                    if (category->convertsNow)
                        m_pending = Recordset();
                    else
                        m_pending.reset();
                }
                m_counts += m_category;
                m_warnings += m_categoryWarnings;
                appendChanges();
                break;
            }
            if (m_changes)
                m_changes->discardStaged();
            if (!m_retryCategory) {
                keepNotReached(*list);
                return RunOutcome::StepFailed;
            }
        }
    }
    m_deadlockRetries = 0;
    if (m_progress)
        m_progress(listed, listed, {}, 0);
    return RunOutcome::Completed;
}

bool PriceUpdater::readGoodsAtStart()
{
    std::optional<GoodsCounts> counts = goodsByCategory(m_connection);
    if (!counts)
        return false;
    m_goodsAtStart = std::move(*counts);
    return true;
}

qint64 PriceUpdater::goodsAtStart(const QString &itemCd, int detailNo) const
{
    const auto held = m_goodsAtStart.find(goodsCountKey(itemCd, detailNo));
    return held != m_goodsAtStart.end() ? held->second : 0;
}

bool PriceUpdater::stageChanges()
{
    if (!m_changes || m_changes->stage(m_values.KoushinDt))
        return true;
    fail(QStringLiteral("変更一覧を書き込めません: ") + m_changes->path());
    return false;
}

void PriceUpdater::appendChanges()
{
    if (!m_changes)
        return;
    // The category is committed: its rows stay in the journal, which the next start completes.
    if (const std::optional<QString> failure = m_changes->appendStaged())
        m_warnings.append(QStringLiteral("変更一覧に書き込めませんでした（次の起動で書き足します）: %1: %2")
                              .arg(m_changes->path(), *failure));
}

void PriceUpdater::keepNotReached(Recordset &list)
{
    for (; !list.eof(); list.moveNext()) {
        const std::optional<QString> itemCd = text(list.field(0));
        const std::optional<int> detailNo = wholeNumber(list.field(1));
        if (itemCd && detailNo)
            m_notReached.append({*itemCd, *detailNo});
    }
}

bool PriceUpdater::convert(const Category &category)
{
    if (m_values.StockMode != 0)
        return prfn_UpdateMGoods(category.itemCd, category.detailNo) == 0 &&
               prfn_UpdateIIoData(category.itemCd, category.detailNo) == 0 &&
               prfn_UpdateIZaiko(category.itemCd, category.detailNo) == 0;
    // Deferred mode: an inventory category waits for the next other category's transaction.
    return !category.convertsNow ||
           (prfn_UpdateMGoods(category.itemCd, category.detailNo) == 0 && prfn_UpdateMGoodsPending() == 0);
}

bool PriceUpdater::checkWorkList(const Recordset &list)
{
    QStringList problems;
    for (Recordset rows = list; !rows.eof(); rows.moveNext()) {
        QString problem;
        if (!readCategory(rows, problem))
            problems.append(problem);
    }
    if (problems.isEmpty())
        return true;
    failRun(QStringLiteral("次の分類は変換できません。何も変換していません。\n") +
            problems.join(QLatin1Char('\n')));
    return false;
}

std::optional<PriceUpdater::Category> PriceUpdater::readCategory(const Recordset &list,
                                                                 QString &problem) const
{
    Category category;
    const std::optional<QString> itemCd = text(list.field(0));
    const std::optional<int> detailNo = wholeNumber(list.field(1));
    // An empty code would read as the completion of the pending categories.
    if (!itemCd || itemCd->isEmpty() || !detailNo) {
        problem = QStringLiteral("MITEMCNT の行 ITEM_CD = %1, DETAIL_NO = %2: 分類コードがありません")
                      .arg(valueText(list.field(0)), valueText(list.field(1)));
        return std::nullopt;
    }
    category.itemCd = *itemCd;
    category.detailNo = *detailNo;
    category.invFlg = list.field(2).toString();
    switch (category::inventoryKind(list.field(2))) {
    case category::InventoryKind::Unknown:
        problem = QStringLiteral("MITEMCNT の分類 %1: INV_FLG = %2（在庫区分は 0 か 1）")
                      .arg(keyText(category.itemCd, category.detailNo), valueText(list.field(2)));
        return std::nullopt;
    case category::InventoryKind::Other:
        category.convertsNow = m_values.StockMode == 0;
        break;
    case category::InventoryKind::Inventory:
        break;
    }
    return category;
}

int PriceUpdater::prfn_MarkCategory(const QString &itemCd, int detailNo, const QString &invFlg)
{
    if (itemCd.isEmpty())
        return execute(completionStatement(m_values.today));
    const std::optional<QString> sql =
        recordStatement(itemCd, detailNo, invFlg, m_params, m_values.calcMethod, m_values.today);
    if (!sql)
        return fail(QStringLiteral("税率が整数ではありません（旧 %1、新 %2）")
                        .arg(m_params.TAX_ST[static_cast<std::size_t>(qBound(0, m_values.calcMethod, 2))],
                             m_params.TAX_END[static_cast<std::size_t>(qBound(0, m_values.calcMethod, 2))]));
    if (execute(sql) == -1)
        return -1;
    // Only a count of exactly one row is this run's record; a driver that cannot tell (-1), or a
    // key held by more than one row, records nothing that the run could rely on.
    const int rows = m_connection.rowsAffected();
    if (rows == 1)
        return 0;
    if (rows == 0)
        return doneByAnother(itemCd, detailNo, false) ? NotRecorded : -1;
    return fail(QStringLiteral("MITEMCNT の分類 %1 の記録で変わった行の数が %2 でした（1 行のはず）")
                    .arg(keyText(itemCd, detailNo))
                    .arg(rows));
}

bool PriceUpdater::doneByAnother(const QString &itemCd, int detailNo, bool completed)
{
    const std::optional<Recordset> done =
        m_connection.openRecordset(recordedRowsQuery(itemCd, detailNo, completed));
    if (!done) {
        fail();
        return false;
    }
    if (!done->eof() && done->field(0).toLongLong() > 0)
        return true;
    fail(QStringLiteral(
             "分類 %1 が作業リスト（MITEMCNT）にありません。別の端末で分類CLRが行われた可能性があります")
             .arg(keyText(itemCd, detailNo)));
    return false;
}

const CategoryStatements &PriceUpdater::statements()
{
    if (!m_statements)
        m_statements.emplace(m_params, m_values.calcMethod, m_values.KoushinDt, m_readings);
    return *m_statements;
}

int PriceUpdater::prfn_UpdateMGoods(const QString &itemCd, int detailNo)
{
    return convertGoods(itemCd, detailNo, statements().mgoods(itemCd, detailNo),
                        [this](const PriceColumn &column) { return statements().goodsPrice(column); });
}

int PriceUpdater::convertGoods(const QString &itemCd, int detailNo, const std::optional<QString> &sql,
                               const ChangeList::ExpressionOf &expression)
{
    if (m_changes && !m_changes->readBefore(itemCd, detailNo, expression))
        return fail();
    const qint64 before = m_category.mgoods;
    if (executeCounted(sql, m_category.mgoods) == -1)
        return -1;
    if (m_changes && !m_changes->readAfter())
        return fail();
    // The goods the category held when the run started, against the goods it converted now.
    if (const auto held = m_goodsAtStart.find(goodsCountKey(itemCd, detailNo));
        held != m_goodsAtStart.end()) {
        const qint64 converted = m_category.mgoods - before;
        if (converted != held->second)
            m_categoryWarnings.append(QStringLiteral("分類 %1: 変換した商品 %2 件、実行開始時の商品 %3 件")
                                          .arg(keyText(itemCd, detailNo))
                                          .arg(converted)
                                          .arg(held->second));
    }
    return 0;
}

int PriceUpdater::prfn_UpdateIIoData(const QString &itemCd, int detailNo)
{
    if (!category::isYearMonth(m_values.SysYm))
        return fail(
            QStringLiteral("GDATECTL.SYS_YM1 = '%1' は年月（yyyymm）ではありません").arg(m_values.SysYm));
    return executeCounted(statements().iioData(itemCd, detailNo, m_values.SysYm), m_category.iiodata);
}

int PriceUpdater::prfn_UpdateIZaiko(const QString &itemCd, int detailNo)
{
    return executeCounted(statements().izaiko(itemCd, detailNo, m_values.InventNewVersion),
                          m_category.izaiko);
}

int PriceUpdater::prfn_UpdateMGoodsPending()
{
    if (!m_pendingPerRun || !m_pending) {
        m_pending = m_connection.openRecordset(pendingListQuery());
        if (!m_pending)
            return fail();
    }
    for (Recordset pending = *m_pending; !pending.eof(); pending.moveNext()) {
        const std::optional<QString> itemCd = text(pending.field(0));
        const std::optional<int> detailNo = wholeNumber(pending.field(1));
        if (!itemCd || itemCd->isEmpty() || !detailNo)
            return fail(
                QStringLiteral("MITEMCNT の保留中の行 ITEM_CD = %1, DETAIL_NO = %2: 分類コードがありません")
                    .arg(valueText(pending.field(0)), valueText(pending.field(1))));
        // Every recorded parameter is checked before it goes into a statement, so that a wrong one
        // is named instead of making the database reject a statement nobody can read.
        const std::optional<int> oldRate = wholeNumber(pending.field(2));
        const std::optional<int> newRate = wholeNumber(pending.field(3));
        const std::optional<QString> goodsCode = storedCode(pending.field(4), HasuRoundHalfUp);
        const std::optional<QString> goodsExponent = storedCode(pending.field(5), 4);
        const std::optional<QString> addOnCode = storedCode(pending.field(6), HasuRoundHalfUp);
        const std::optional<QString> addOnExponent = storedCode(pending.field(7), 4);
        const std::array<std::pair<bool, const char *>, 6> checks{
            {{oldRate.has_value(), "TAX_ST"},
             {newRate.has_value(), "TAX_END"},
             {goodsCode.has_value(), "GOODS_HASU_FLG"},
             {goodsExponent.has_value(), "GOODS_HASU_ICHI"},
             {addOnCode.has_value(), "GADD_HASU_FLG"},
             {addOnExponent.has_value(), "GADD_HASU_ICHI"}}};
        for (std::size_t i = 0; i < checks.size(); ++i)
            if (!checks[i].first)
                return fail(QStringLiteral("MITEMCNT の保留中の分類 %1: %2 = %3 は使えません"
                                           "（税率は整数、端数処理の区分は 0～3、桁は 0～4）")
                                .arg(keyText(*itemCd, *detailNo), QLatin1String(checks[i].second),
                                     valueText(pending.field(static_cast<int>(i) + 2))));
        const StoredParams stored{*oldRate, *newRate, *goodsCode, *goodsExponent, *addOnCode, *addOnExponent};
        if (execute(pendingClaimStatement(*itemCd, *detailNo, m_values.today)) == -1)
            return -1;
        const int claimed = m_connection.rowsAffected();
        if (claimed == 0) {
            // Completed by another operator since the list was read: its prices are converted.
            if (doneByAnother(*itemCd, *detailNo, true))
                continue;
            return -1;
        }
        if (claimed != 1)
            return fail(
                QStringLiteral("MITEMCNT の保留中の分類 %1 の完了で変わった行の数が %2 でした（1 行のはず）")
                    .arg(keyText(*itemCd, *detailNo))
                    .arg(claimed));
        const auto storedExpression = [this, &stored](const PriceColumn &column) {
            return pendingGoodsPrice(column, stored, m_readings).value_or(QString());
        };
        if (convertGoods(*itemCd, *detailNo,
                         pendingMGoodsStatement(*itemCd, *detailNo, stored, m_values.KoushinDt, m_readings),
                         storedExpression) == -1)
            return -1;
    }
    return 0;
}

int PriceUpdater::execute(const std::optional<QString> &sql)
{
    if (!sql)
        return fail(QStringLiteral("変換の文を作れません（作業リストの値が不正です）"));
    if (!m_connection.execute(*sql))
        return fail();
    return 0;
}

int PriceUpdater::executeCounted(const std::optional<QString> &sql, qint64 &rows)
{
    const int r = execute(sql);
    if (r == 0)
        rows += qMax(0, m_connection.rowsAffected());
    return r;
}

int PriceUpdater::fail(const QString &cause)
{
    m_connection.rollbackTrans();
    m_failure = {programError(cause)};
    m_reportFailure();
    return -1;
}

int PriceUpdater::fail()
{
    const bool victim = isDeadlockVictim(m_connection.errors());
    m_failure = m_connection.errors();
    m_connection.rollbackTrans();
    if (victim && m_deadlockRetries > 0) {
        --m_deadlockRetries;
        m_retryCategory = true;
    } else {
        m_reportFailure();
    }
    return -1;
}

RunOutcome PriceUpdater::failRun()
{
    // A category's transaction still open here must not be committed later by accident.
    m_failure = m_connection.errors();
    if (m_connection.inTransaction())
        m_connection.rollbackTrans();
    m_reportFailure();
    return RunOutcome::RunFailed;
}

RunOutcome PriceUpdater::failRun(const QString &cause)
{
    if (m_connection.inTransaction())
        m_connection.rollbackTrans();
    m_failure = {programError(cause)};
    m_reportFailure();
    return RunOutcome::RunFailed;
}

} // namespace krt::pricing
