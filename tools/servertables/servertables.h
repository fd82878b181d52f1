#pragma once

#include "sampledata/sampledata.h"

#include <QSqlDatabase>
#include <QString>

namespace krt::install {

// Creates every table of the family in the database of an open connection to a database server,
// with the price columns of the given type (for example "numeric(12,2)" or "integer"), in one
// transaction. Returns an empty text on success, otherwise what failed.
QString createServerTables(const QSqlDatabase &db, const QString &priceType);

// Writes the data of an installation's catalog made from the given seed into the (empty) tables
// of an open connection to a database server, in one transaction; MITEMCNT stays empty.
QString fillServerTables(const QSqlDatabase &db, const Options &options, quint32 seed,
                         CatalogFigures &figures);

} // namespace krt::install
