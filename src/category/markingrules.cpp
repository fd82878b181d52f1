#include "category/markingrules.h"

#include "category/inventoryflag.h"

namespace krt::category {

bool MarkingRules::markable(const WorkListRow &row) const
{
    return !row.converted() && inventoryKind(row.invFlg) != InventoryKind::Unknown;
}

bool MarkingRules::needsStockTake(const WorkListRow &row) const
{
    return m_stockMode == 0 && inventoryKind(row.invFlg) == InventoryKind::Other;
}

bool MarkingRules::selectedByAll(const WorkListRow &row, bool stockTakeUpToDate) const
{
    return markable(row) && (stockTakeUpToDate || !needsStockTake(row));
}

std::optional<MarkingRules::Refusal> MarkingRules::refuseRun(Connection &conn,
                                                             const QDate &businessDate) const
{
    const std::optional<QStringList> missing = missingCategories(conn);
    if (!missing)
        return Refusal{Refusal::ReadFailed, {}, conn.errors()};
    if (!missing->isEmpty())
        return Refusal{Refusal::MissingCategories, *missing, {}};
    const std::optional<QStringList> unknown = unknownFlagCategories(conn, true);
    if (!unknown)
        return Refusal{Refusal::ReadFailed, {}, conn.errors()};
    if (!unknown->isEmpty())
        return Refusal{Refusal::UnknownFlags, *unknown, {}};
    if (m_stockMode != 0)
        return std::nullopt;
    // A mark that got past the grid (left in the table from an earlier day, set by another
    // program, or set before the business date moved on) is refused here, naming the categories.
    const std::optional<QStringList> others = markedOtherCategories(conn);
    if (!others)
        return Refusal{Refusal::ReadFailed, {}, conn.errors()};
    if (others->isEmpty())
        return std::nullopt;
    switch (checkStockTake(conn, businessDate)) {
    case StockTake::UpToDate:
        return std::nullopt;
    case StockTake::Outdated:
        return Refusal{Refusal::StockTakeOutdated, *others, {}};
    case StockTake::ReadFailed:
        break;
    }
    return Refusal{Refusal::StockTakeUnread, *others, conn.errors()};
}

} // namespace krt::category
