#pragma once

#include "db/connection.h"

#include <QString>
#include <QStringList>

namespace krt {

// The title every caller passes.
inline const QString AppTitle = QStringLiteral("売価更新");

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
