#pragma once

#include <QString>
#include <QVariant>

// The one rule for a category's inventory flag INV_FLG, which decides how the run treats the
// category: the fill copies the flag from MITEMCD, and select all, the price-tag stock-take rule,
// the run's order, the record and the pending conversion all read it through this rule. A flag is
// read with its trailing blanks ignored on every engine (a CHAR column pads "1" to "1 ", which
// SQL Server ignores in comparisons but the embedded engine and PostgreSQL's varchar do not).
namespace krt::category {

enum class InventoryKind {
    Other,     // "0": converted and completed at once
    Inventory, // "1": converted first; in deferred mode recorded and converted later
    Unknown    // anything else (Null, "2", " 1"): never marked by select all, refused by the run
};

InventoryKind inventoryKind(const QVariant &flag);

// The flag as an operator reads it in a message: its text in quotes, or (Null).
QString flagText(const QVariant &flag);

// The conditions of the rule on MITEMCNT's INV_FLG, for statements on the work list.
QString inventoryCondition();   // an inventory category
QString otherCondition();       // a category converted and completed at once
QString knownFlagCondition();   // either of the two
QString unknownFlagCondition(); // neither: Null or any other text

} // namespace krt::category
