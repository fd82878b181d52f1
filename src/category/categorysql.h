#pragma once

#include <QString>

// The statement texts of the category control table MITEMCNT and of the small reads around it.
// Each text is built in one place from its pieces, in the order the database expects them.
namespace krt::category {

// Fills MITEMCNT with one row per major category of MITEMCD that is not tax-free. With inAdd 1
// only the categories that the table lacks are added; any other value inserts every one.
QString fillMajorSql(int inAdd);

// Fills MITEMCNT with one row per sub-category (detail kind '71', number not 0) of such a major
// category; inAdd as for the major categories.
QString fillDetailSql(int inAdd);

// The categories of the masters that the fill would add, that is those missing from MITEMCNT:
// ITEM_CD and DETAIL_NO (0 for a major category).
QString missingCategoriesSql();

// Every unconverted row with its mark: ITEM_CD, DETAIL_NO as the grid reads it, CHK.
QString unconvertedMarksSql();

// Takes every mark away: each grid load starts from an unmarked table.
QString clearChecksSql();

// Counts the rows of MITEMCNT; strWhere follows the table name as it is given (empty, or a
// condition with its leading blank).
QString countSql(const QString &strWhere);

// Counts the marked rows of MITEMCNT: whether a run has anything to convert.
QString markedCountSql();

// Marks every row not converted yet whose inventory flag the run can convert.
QString selectAllSql();

// Marks every inventory row not converted yet: select all while the price-tag stock-take is not
// up to date, when other categories may not be marked in deferred mode.
QString selectAllInventorySql();

// Marks the row of a category key again; a Null DETAIL_NO stands for 0.
QString markCategorySql(const QString &itemCd, int detailNo);

// The marked, unconverted non-inventory categories, which deferred mode may convert only while
// the price-tag stock-take is up to date.
QString markedOtherCategoriesSql();

// The unconverted categories whose inventory flag is neither "0" nor "1", with their flags; with
// markedOnly only the marked ones, which the run refuses before it records anything.
QString unknownFlagsSql(bool markedOnly);

// The category clear empties the work list, then the price backup table.
QString deleteWorkListSql();
QString deleteSellMentSql();

// The day of the latest price-tag stock-take.
QString stockTakeSql();

// The server's current date and time.
QString serverDateSql();

// The system's current year-month.
QString sysYmSql();

// The work list as the grid shows it: unconverted rows first, then by conversion date, category
// code and sub-category number.
QString gridSql();

// Stores a line's mark in its row: the row whose ITEM_CD is the line's code and whose DETAIL_NO
// is the line's number, or Null when the line shows no number.
QString setMarkSql(int mark, const QString &itemCd, const QString &detailNo);

} // namespace krt::category
