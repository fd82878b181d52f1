#pragma once

#include "db/connection.h"

#include <QString>
#include <QStringList>

namespace krt {

// The title every caller passes.
inline const QString AppTitle = QStringLiteral("売価更新");

// The numbers of the family's messages the program shows; their texts are in the catalog.
namespace msg {
inline const QString RunCompleted = QStringLiteral("10009");         // the run ended normally
inline const QString DatabaseError = QStringLiteral("11002");        // a database access failed
inline const QString NoCategoryMarked = QStringLiteral("40035");     // nothing to convert is marked
inline const QString RunFailed = QStringLiteral("40275");            // a category of the run failed
inline const QString ConfirmClear = QStringLiteral("40418");         // clear the history and rebuild?
inline const QString NoTaxRate = QStringLiteral("40419");            // a rate box is empty
inline const QString MarkNotStored = QStringLiteral("40420");        // the selection was not stored
inline const QString StockTakeOutdated = QStringLiteral("40422");    // price-tag stock-take too old
inline const QString NoServerDate = QStringLiteral("40423");         // server date or month unread
inline const QString UnmatchedCategories = QStringLiteral("40424");  // categories not in the masters
inline const QString UnknownInventoryFlag = QStringLiteral("40425"); // INV_FLG neither 0 nor 1
inline const QString WorkListIncomplete = QStringLiteral("40426");   // the work list was not filled
} // namespace msg

struct CurrentError;

// Shows a numbered message of the product family and returns the pressed button (6 Yes, 7 No,
// 1 OK), or 0 when the message component cannot be used; then a plain box names the number.
// Details, when given, are shown under the message's text.
int ShowMessage(const QString &msgNo, int buttons, const QString &title, const QString &details = {});

// A list for a message's details, one item a line; past a screenful the rest is counted, not
// shown.
QString listText(const QStringList &items, int shown = 20);

// Shows a numbered message for a failed database operation with the connection's error
// collection and the current error.
int ShowDbError(const QString &msgNo, const DbErrors &errors, int number, const QString &title);
int ShowDbError(const QString &msgNo, const DbErrors &errors, int number, const QString &title,
                const CurrentError &current);

} // namespace krt
