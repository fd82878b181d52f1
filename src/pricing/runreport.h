#pragma once

#include "pricing/priceupdate.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace krt::pricing {

// The lines that tell the operator what a run converted: categories, and rows in each table.
QStringList summaryLines(const RunCounts &counts, int stockMode);

// The warnings of a run under a heading, for the box that ends it; nothing without warnings.
QStringList warningLines(const QStringList &warnings);

// One line of the run log, so that the shop can tell later what was converted when: the moment,
// the database, the parameters, the counts and the outcome, as tab-separated "name=value" fields
// after the moment and the database.
struct RunRecord
{
    QDateTime at;
    QString catalog; // e.g. TMCS01
    QString entry;   // the list entry, e.g. DAT2
    int stockMode = 0;
    int calcMethod = 0;
    QString oldRate;
    QString newRate;
    ConversionParams params;
    RunCounts counts;
    QString outcome;
    QString changeList;   // the run's change list, empty when none is written
    QStringList warnings; // what the run found wrong without failing
};
QString runLogLine(const RunRecord &record);

} // namespace krt::pricing
