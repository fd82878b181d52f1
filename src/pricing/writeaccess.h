#pragma once

#include "db/connection.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace krt::pricing {

// Whether the program holds every right it uses: INSERT, UPDATE and DELETE on the work list
// MITEMCNT, DELETE on the price backup IZSELL_MENT, UPDATE on MGOODS always and on IZAIKO and
// IIODATA when the stock is converted at once (stock mode not 0).
// A database opened read-only, or a login without the right to change these tables, is found
// before anything is marked, filled or converted.

// For each right: a statement that reads the table, and one that uses the right on no row.
// Neither changes anything.
struct WriteProbe
{
    QString table;
    QString right; // INSERT, UPDATE or DELETE
    QString read;
    QString write;
};
QList<WriteProbe> writeProbes(int stockMode);

// Sends the probes. The answer names the first table that can be read but not written, with the connection's
// errors of the refused write; nothing when every table can be written or when a table cannot even be read
// (that failure belongs to the step that reads it and is reported there).
struct WriteRefusal
{
    QString table;
    QString right;
    DbErrors errors;
};
std::optional<WriteRefusal> findWriteRefusal(Connection &connection, int stockMode);

} // namespace krt::pricing
