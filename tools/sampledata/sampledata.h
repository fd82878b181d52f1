#pragma once

#include "catalog/schema.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>

namespace krt::install {

// What an installation holds. Every catalog gets the same sizes; its data differ by the seed.
struct Options
{
    QString root;                                   // the installation folder
    int databases = 2;                              // data folders DAT1..DATn and catalogs TMCS00..
    int categories = 40;                            // work-list rows the masters yield (majors + subs)
    int goods = 3000;                               // goods of known categories
    int stock = 3000;                               // IZAIKO rows
    int movements = 9000;                           // IIODATA rows
    int months = 3;                                 // months of movements, ending with the system month
    quint32 seed = 550;                             // data of catalog p come from seed + p
    int stockMode = 1;                              // system parameter 1200
    QString tax = QStringLiteral("0.08");           // system parameter 3080: the rate in force
    QString invent = QStringLiteral("Ver1.00 R12"); // [Version] Invent
    int unmatched = 0;                              // goods of a major category the masters lack
    int sysYm = 0;                                  // GDATECTL.SYS_YM1 as yyyymm; 0: the current month
    QDate stockTake;                                // latest INEFUDA_CNT date; null: today
    Schema schema;                                  // names and extra columns of the tables
};

// Rows written into one catalog and how long that took.
struct CatalogFigures
{
    QString file;
    qint64 workList = 0; // rows the fill of MITEMCNT will create
    qint64 goods = 0;    // MGOODS rows, unmatched ones included
    qint64 stock = 0;
    qint64 movements = 0;
    double seconds = 0;
};

// Writes the data of an installation's catalog made from the given seed into the empty tables of
// an open connection, within the transaction the caller holds; MITEMCNT stays empty, as the
// program fills it. Sets the figures' row counts; returns an empty text on success, otherwise
// what failed.
QString writeSampleData(const QSqlDatabase &db, const Options &options, quint32 seed,
                        CatalogFigures &figures);

// Writes the same data into a catalog file just created with createCatalog, in one transaction,
// and leaves the file in WAL mode with the statistics of its indexes.
QString fillCatalog(const QString &file, const Options &options, quint32 seed, CatalogFigures &figures);

} // namespace krt::install
