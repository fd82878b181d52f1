#pragma once

// A store on the tests' PostgreSQL server for trials of whole runs: the family's tables filled by
// the store builder with every category of the work list marked, kept as built and as one
// uninterrupted run leaves it, so that each trial starts again from the store as built and its end
// is compared with the uninterrupted run.

#include "pricing/priceupdate.h"
#include "support/testcatalog.h"

#include <QSqlQuery>

namespace krt::testing {

// A conversion of the trials: its parameters and the values of its runs.
struct TrialConversion
{
    ConversionParams params;
    pricing::RunValues values;
};

// 8 % included to 10 % included (method 1) with the given rounding of goods and add-on prices, on
// 2019/10/01 with the system month 2019/09.
TrialConversion eightToTen(int stockMode, HasuCode goods, int goodsDigit, HasuCode addOn, int addOnDigit);

class ServerStore
{
public:
    // Builds the store in a new database of the tests' server with numeric(12,2) prices (as many
    // stock rows as goods, twice as many movements over two months ending in the system month),
    // and runs the conversion once; error() says what failed.
    ServerStore(const QString &database, int categories, int goods, quint32 seed, TrialConversion conversion);

    const QString &error() const { return m_error; }
    QString connectionText() const { return m_db.connectionText(); }
    // A connection for looking at the store and for the tests' own statements.
    Connection &look() { return m_db.connection(); }

    const TrialConversion &conversion() const { return m_conversion; }

    // What the uninterrupted run was told it converted.
    const pricing::RunCounts &reference() const { return m_reference; }

    // Puts the store as built back in place; false when that failed.
    bool restore();

    // The price tables that differ from the uninterrupted run's result, one line each.
    QStringList differences();
    // What shows a category converted in part: each category of the work list is either as built,
    // or as the uninterrupted run left it, or (deferred mode) an inventory category recorded and
    // waiting with its prices as built; one line for each table where that does not hold.
    QStringList halfDone();

private:
    // A number the query gives, or -1 (and the failure kept) when it fails.
    qint64 count(const QString &sql, QStringList &failures);

    TrialConversion m_conversion;
    PriceDb m_db;
    QSqlQuery m_sql;
    pricing::RunCounts m_reference;
    QString m_error;
};

} // namespace krt::testing
