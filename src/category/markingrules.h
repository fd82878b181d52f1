#pragma once

#include "category/categorytable.h"
#include "db/connection.h"

#include <QDate>
#include <QStringList>

#include <optional>

namespace krt::category {

// The rules of marking and of what a run may take, in one place for every way of converting: the
// window (a click, Space, select all, F1) and a conversion without a window ask the same
// questions here and only decide how to show the answers.
class MarkingRules
{
public:
    explicit MarkingRules(int stockMode)
        : m_stockMode(stockMode)
    {}

    // A row can carry a mark when it is not converted and its inventory flag is one the run can
    // convert.
    bool markable(const WorkListRow &row) const;
    // Deferred mode marks a non-inventory category only while the price-tag stock-take is up to
    // date.
    bool needsStockTake(const WorkListRow &row) const;
    // What select all marks, once it is known whether the stock-take is up to date (asked only
    // when some unconverted row needs it).
    bool selectedByAll(const WorkListRow &row, bool stockTakeUpToDate) const;

    // Why a run may not start on the marks stored in the work list, checked before anything is
    // written, in this order.
    struct Refusal
    {
        enum Kind {
            ReadFailed,        // the work list or the stock-take could not be read (errors)
            MissingCategories, // categories of the masters are missing from the work list
            UnknownFlags,      // marked categories whose inventory flag the run cannot convert
            StockTakeOutdated, // deferred mode: marked non-inventory categories, stock-take older
            StockTakeUnread    // deferred mode: the stock-take date could not be read
        };
        Kind kind;
        QStringList categories; // the categories concerned, one line each
        DbErrors errors;
    };
    std::optional<Refusal> refuseRun(Connection &conn, const QDate &businessDate) const;

private:
    int m_stockMode;
};

} // namespace krt::category
