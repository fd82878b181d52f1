#pragma once

#include "db/connection.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// The operations on the category control table MITEMCNT and the reads around it. They run on the
// program's connection without any window and show no message: each answers with its status or
// its result, and the caller decides what the operator sees (the connection's error collection
// still holds what failed).
namespace krt::category {

// A row of the work list as the grid shows it and the marking rules read it. Texts are empty
// for Null; the number is the whole number of DETAIL_NO as text, the date "yyyy/MM/dd".
struct WorkListRow
{
    QString itemCd;
    QString itemNm;
    QString detailNo; // empty: a Null DETAIL_NO, which stands for the major category as 0 does
    QString detailNm;
    QString updateDate; // the day of conversion; empty while not converted
    QVariant invFlg;    // as stored, for the inventory-flag rule

    bool converted() const { return !updateDate.isEmpty(); }
    // "code-number" as messages name a category.
    QString key() const { return itemCd + QLatin1Char('-') + detailNo; }
};

// Fills MITEMCNT from the category masters, major categories first; the sub-categories are
// inserted only after the major categories succeeded. With inAdd 1 only the categories that the
// table lacks are added and every existing row keeps its marks, dates and parameters.
// Returns 0, or -1 when a statement failed.
int fill(Connection &conn, int inAdd);

// Sets every row's mark to Null. Returns 0, or -1 on failure.
int clearChecks(Connection &conn);

// The number of rows of MITEMCNT that strWhere selects (empty: all rows), or -1 on failure.
int count(Connection &conn, const QString &strWhere);
// The number of marked rows of MITEMCNT, or -1 on failure.
int countMarked(Connection &conn);

// Marks every row of the table that is not converted yet; with inventoryOnly, only the inventory
// categories among them.
bool selectAll(Connection &conn, bool inventoryOnly = false);

// Marks the row of a category key again.
bool markCategory(Connection &conn, const QString &itemCd, int detailNo);

// The marked, unconverted non-inventory categories as "code-number name" lines, or nothing when
// they cannot be read.
std::optional<QStringList> markedOtherCategories(Connection &conn);

// The category clear: empties MITEMCNT, then IZSELL_MENT, and fills MITEMCNT anew from the
// masters, all in one transaction; a failure at any step leaves both tables as they were, the
// conversion history included, and failure holds what the database said.
bool rebuildWorkList(Connection &conn, DbErrors &failure);

// The categories of the masters missing from MITEMCNT (a fill that failed, or masters added
// since), as "code-number" lines, or nothing when they cannot be read.
std::optional<QStringList> missingCategories(Connection &conn);

// The unconverted categories whose inventory flag the run cannot convert, as "code-number 'flag'"
// lines; with markedOnly only the marked ones. Nothing when they cannot be read.
std::optional<QStringList> unknownFlagCategories(Connection &conn, bool markedOnly);

// An unconverted row's key as the grid shows it (the number empty for a Null DETAIL_NO) and
// whether the table holds its mark.
struct StoredMark
{
    QString itemCd;
    QString detailNo;
    bool marked = false;
};
std::optional<QList<StoredMark>> unconvertedMarks(Connection &conn);

// Where the latest price-tag stock-take stands against the business date.
enum class StockTake {
    ReadFailed, // the date could not be read (the caller refuses the mark)
    UpToDate,   // no stock-take entry at all, or one on or after the business date
    Outdated    // the latest stock-take is earlier than the business date
};
StockTake checkStockTake(Connection &conn, const QDate &businessDate);

// The server's date and time as "yyyy/MM/dd hh:mm:ss" (24-hour clock), or nothing on failure.
std::optional<QString> serverDate(Connection &conn);

// The server's date and time as the engines deliver it (SQL Server a date-time, SQLite a text
// "yyyy-MM-dd hh:mm:ss"), written as "yyyy/MM/dd hh:mm:ss"; nothing for a value that is no date.
std::optional<QString> serverDateText(const QVariant &value);

// The system year-month SYS_YM1 as text (a number gives its digits), or nothing when it cannot
// be read or is empty.
std::optional<QString> sysYm(Connection &conn);

// Whether a system month is a year and month "yyyymm" (month 01 to 12): the first month of the
// stock movements a run converts, which goes into the statement unquoted.
bool isYearMonth(const QString &text);

// The work list in the order the grid shows it: unconverted rows first, then by conversion
// date, category code and number. Nothing on failure.
std::optional<QList<WorkListRow>> readWorkList(Connection &conn);

// Stores a line's mark (1 marked, 0 not) in the row of the line's code and number cells; an
// empty number cell stands for a Null DETAIL_NO.
bool setMark(Connection &conn, int mark, const QString &itemCd, const QString &detailNo);

} // namespace krt::category
