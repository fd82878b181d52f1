#include "pricing/priceupdate.h"

#include "pricing/pricestatements.h"

#include <algorithm>
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
    std::optional<Recordset> list = m_connection.openRecordset(workListQuery());
    if (!list)
        return failRun();
    const int listed = list->recordCount();
    for (int handled = 0; !list->eof(); list->moveNext(), ++handled) {
        const std::optional<Category> category = readCategory(*list);
        if (!category)
            return failRun();
        if (m_progress && !m_progress(handled, listed, {category->itemCd, category->detailNo})) {
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
            const int marked = prfn_MarkCategory(category->itemCd, category->detailNo, category->invFlg);
            if (marked == NotRecorded) {
                // Converted by someone else since the list was read: leave it as it is.
                if (!m_connection.rollbackTrans())
                    return failRun();
                ++m_counts.skipped;
                break;
            }
            if (marked == 0 && convert(*category)) {
                if (!m_connection.commitTrans())
                    return failRun();
                m_category.categories = 1;
                m_counts += m_category;
                break;
            }
            if (!m_retryCategory) {
                keepNotReached(*list);
                return RunOutcome::StepFailed;
            }
        }
    }
    m_deadlockRetries = 0;
    if (m_progress)
        m_progress(listed, listed, {});
    return RunOutcome::Completed;
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

std::optional<PriceUpdater::Category> PriceUpdater::readCategory(const Recordset &list) const
{
    Category category;
    const std::optional<QString> itemCd = text(list.field(0));
    const std::optional<int> detailNo = wholeNumber(list.field(1));
    // An empty code would read as the completion of the pending categories.
    if (!itemCd || itemCd->isEmpty() || !detailNo)
        return std::nullopt;
    category.itemCd = *itemCd;
    category.detailNo = *detailNo;
    category.invFlg = list.field(2).toString();
    if (m_values.StockMode == 0) {
        bool isNumber = false;
        const double flag = category.invFlg.toDouble(&isNumber);
        if (!isNumber)
            return std::nullopt;
        category.convertsNow = flag == 0;
    }
    return category;
}

int PriceUpdater::prfn_MarkCategory(const QString &itemCd, int detailNo, const QString &invFlg)
{
    if (itemCd.isEmpty())
        return execute(completionStatement(m_values.today));
    const int r =
        execute(recordStatement(itemCd, detailNo, invFlg, m_params, m_values.calcMethod, m_values.today));
    return r == 0 && m_connection.rowsAffected() == 0 ? NotRecorded : r;
}

int PriceUpdater::prfn_UpdateMGoods(const QString &itemCd, int detailNo)
{
    return executeCounted(
        mgoodsStatement(itemCd, detailNo, m_params, m_values.calcMethod, m_values.KoushinDt),
        m_category.mgoods);
}

int PriceUpdater::prfn_UpdateIIoData(const QString &itemCd, int detailNo)
{
    return executeCounted(iioDataStatement(itemCd, detailNo, m_params, m_values.calcMethod, m_values.SysYm),
                          m_category.iiodata);
}

int PriceUpdater::prfn_UpdateIZaiko(const QString &itemCd, int detailNo)
{
    return executeCounted(izaikoStatement(itemCd, detailNo, m_params, m_values.calcMethod, m_values.KoushinDt,
                                          m_values.InventNewVersion),
                          m_category.izaiko);
}

int PriceUpdater::prfn_UpdateMGoodsPending()
{
    std::optional<Recordset> list = m_connection.openRecordset(pendingListQuery());
    if (!list)
        return fail();
    for (; !list->eof(); list->moveNext()) {
        const std::optional<QString> itemCd = text(list->field(0));
        const std::optional<int> detailNo = wholeNumber(list->field(1));
        const std::optional<int> oldRate = wholeNumber(list->field(2));
        const std::optional<int> newRate = wholeNumber(list->field(3));
        const std::optional<QString> goodsCode = text(list->field(4));
        const std::optional<QString> goodsExponent = text(list->field(5));
        const std::optional<QString> addOnCode = text(list->field(6));
        const std::optional<QString> addOnExponent = text(list->field(7));
        if (!itemCd || !detailNo || !oldRate || !newRate || !goodsCode || !goodsExponent || !addOnCode ||
            !addOnExponent)
            return fail();
        const StoredParams stored{*oldRate, *newRate, *goodsCode, *goodsExponent, *addOnCode, *addOnExponent};
        if (execute(pendingClaimStatement(*itemCd, *detailNo, m_values.today)) == -1)
            return -1;
        // Completed by another operator since the list was read: its prices are converted.
        if (m_connection.rowsAffected() == 0)
            continue;
        if (executeCounted(pendingMGoodsStatement(*itemCd, *detailNo, stored, m_values.KoushinDt),
                           m_category.mgoods) == -1)
            return -1;
    }
    list->close();
    return 0;
}

int PriceUpdater::execute(const std::optional<QString> &sql)
{
    if (!sql || !m_connection.execute(*sql))
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

int PriceUpdater::fail()
{
    const bool victim = isDeadlockVictim(m_connection.errors());
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
    if (m_connection.inTransaction())
        m_connection.rollbackTrans();
    m_reportFailure();
    return RunOutcome::RunFailed;
}

} // namespace krt::pricing
