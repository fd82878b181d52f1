#include "category/categorytable.h"

#include "category/categorysql.h"
#include "category/inventoryflag.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace krt::category {

namespace {

// The first record's value of a field, or nothing when the read failed or gave no record.
std::optional<QVariant> firstValue(Connection &conn, const QString &sql, const QString &field)
{
    const std::optional<Recordset> rs = conn.openRecordset(sql);
    if (!rs || rs->eof())
        return std::nullopt;
    return rs->field(field);
}

// A date or date-time value as the engines deliver it: a date or date-time, or a text
// "yyyy/MM/dd" or "yyyy-MM-dd", optionally followed by " hh:mm:ss" and milliseconds. Nothing for
// any other value or a malformed text.
std::optional<QDateTime> toDateTime(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDateTime) {
        const QDateTime moment = value.toDateTime();
        return moment.isValid() ? std::optional<QDateTime>(moment) : std::nullopt;
    }
    if (value.typeId() == QMetaType::QDate) {
        const QDate day = value.toDate();
        return day.isValid() ? std::optional<QDateTime>(day.startOfDay()) : std::nullopt;
    }
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = value.toString().trimmed();
    for (const QString &separator : {QStringLiteral("/"), QStringLiteral("-")}) {
        const QString day = QStringLiteral("yyyy%1MM%1dd").arg(separator);
        for (const QString &time :
             {QString(), QStringLiteral(" HH:mm:ss"), QStringLiteral(" HH:mm:ss.zzz")}) {
            const QDateTime moment = QDateTime::fromString(text, day + time);
            if (moment.isValid())
                return moment;
        }
    }
    return std::nullopt;
}

// One line of text for each row of a query, or nothing when it cannot be read.
template <typename LineOf>
std::optional<QStringList> lines(Connection &conn, const QString &sql, LineOf lineOf)
{
    std::optional<Recordset> rs = conn.openRecordset(sql);
    if (!rs)
        return std::nullopt;
    QStringList result;
    for (; !rs->eof(); rs->moveNext())
        result.append(lineOf(*rs));
    return result;
}

QString cellText(const QVariant &value)
{
    if (value.isNull())
        return {};
    if (value.typeId() == QMetaType::QDate || value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().toString(QStringLiteral("yyyy/MM/dd"));
    return value.toString();
}

// The CNT of a counting query, or -1 when it cannot be read.
int countOf(Connection &conn, const QString &sql)
{
    const std::optional<QVariant> cnt = firstValue(conn, sql, QStringLiteral("CNT"));
    if (!cnt)
        return -1;
    bool ok = false;
    const int n = cnt->toInt(&ok);
    return ok ? n : -1;
}

} // namespace

int fill(Connection &conn, int inAdd)
{
    if (!conn.execute(fillMajorSql(inAdd)) || !conn.execute(fillDetailSql(inAdd)))
        return -1;
    return 0;
}

int clearChecks(Connection &conn)
{
    return conn.execute(clearChecksSql()) ? 0 : -1;
}

int count(Connection &conn, const QString &strWhere)
{
    return countOf(conn, countSql(strWhere));
}

int countMarked(Connection &conn)
{
    return countOf(conn, markedCountSql());
}

bool selectAll(Connection &conn, bool inventoryOnly)
{
    return conn.execute(inventoryOnly ? selectAllInventorySql() : selectAllSql());
}

bool markCategory(Connection &conn, const QString &itemCd, int detailNo)
{
    return conn.execute(markCategorySql(itemCd, detailNo));
}

std::optional<QStringList> markedOtherCategories(Connection &conn)
{
    return lines(conn, markedOtherCategoriesSql(), [](const Recordset &rs) {
        return QStringLiteral("%1-%2 %3")
            .arg(rs.field(0).toString(), rs.field(1).toString(), rs.field(2).toString());
    });
}

bool rebuildWorkList(Connection &conn, DbErrors &failure)
{
    // Both tables are emptied and the work list refilled together or not at all: a work list
    // thrown away without its price backup (or the reverse) would leave the two out of step, and
    // one thrown away without its refill would lose the conversion history for nothing.
    if (!conn.beginTrans()) {
        failure = conn.errors();
        return false;
    }
    if (conn.execute(deleteWorkListSql()) && conn.execute(deleteSellMentSql()) && fill(conn, 0) == 0 &&
        conn.commitTrans())
        return true;
    failure = conn.errors();
    conn.rollbackTrans();
    return false;
}

std::optional<QStringList> missingCategories(Connection &conn)
{
    return lines(conn, missingCategoriesSql(), [](const Recordset &rs) {
        return QStringLiteral("%1-%2").arg(rs.field(0).toString(), rs.field(1).toString());
    });
}

std::optional<QStringList> unknownFlagCategories(Connection &conn, bool markedOnly)
{
    return lines(conn, unknownFlagsSql(markedOnly), [](const Recordset &rs) {
        return QStringLiteral("%1-%2 INV_FLG = %3")
            .arg(rs.field(0).toString(), rs.field(1).toString(), flagText(rs.field(2)));
    });
}

std::optional<QList<StoredMark>> unconvertedMarks(Connection &conn)
{
    std::optional<Recordset> rs = conn.openRecordset(unconvertedMarksSql());
    if (!rs)
        return std::nullopt;
    QList<StoredMark> marks;
    for (; !rs->eof(); rs->moveNext())
        marks.append({rs->field(0).toString(), cellText(rs->field(1)), rs->field(2).toInt() == 1});
    return marks;
}

StockTake checkStockTake(Connection &conn, const QDate &businessDate)
{
    const std::optional<QVariant> maxDate = firstValue(conn, stockTakeSql(), QStringLiteral("MAX_DATE"));
    if (!maxDate)
        return StockTake::ReadFailed;
    if (maxDate->isNull())
        return StockTake::UpToDate;
    const std::optional<QDateTime> latest = toDateTime(*maxDate);
    if (!latest)
        return StockTake::ReadFailed;
    // The business date has no time of day, so only the day of the stock-take counts.
    return latest->date() < businessDate ? StockTake::Outdated : StockTake::UpToDate;
}

std::optional<QString> serverDate(Connection &conn)
{
    const std::optional<QVariant> now = firstValue(conn, serverDateSql(), QStringLiteral("SYSDATE"));
    return now ? serverDateText(*now) : std::nullopt;
}

std::optional<QString> serverDateText(const QVariant &value)
{
    const std::optional<QDateTime> moment = toDateTime(value);
    if (!moment)
        return std::nullopt;
    return moment->toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

std::optional<QString> sysYm(Connection &conn)
{
    const std::optional<QVariant> ym = firstValue(conn, sysYmSql(), QStringLiteral("SYS_YM1"));
    if (!ym || ym->isNull())
        return std::nullopt;
    QString text;
    if (ym->typeId() == QMetaType::Double) {
        // A whole number read as a double keeps its digits (never an exponent form).
        const double value = ym->toDouble();
        if (value != std::trunc(value))
            return std::nullopt;
        text = QString::number(static_cast<qint64>(value));
    } else {
        text = ym->toString().trimmed();
    }
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

bool isYearMonth(const QString &text)
{
    if (text.size() != 6 || !std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isDigit(); }))
        return false;
    const int month = QStringView(text).mid(4).toInt();
    return month >= 1 && month <= 12;
}

std::optional<QList<WorkListRow>> readWorkList(Connection &conn)
{
    std::optional<Recordset> rs = conn.openRecordset(gridSql());
    if (!rs)
        return std::nullopt;
    QList<WorkListRow> rows;
    rows.reserve(rs->recordCount());
    // The first field, CHK, is not read: every load starts from an unmarked table.
    for (; !rs->eof(); rs->moveNext())
        rows.append({cellText(rs->field(1)), cellText(rs->field(2)), cellText(rs->field(3)),
                     cellText(rs->field(4)), cellText(rs->field(5)), rs->field(6)});
    return rows;
}

bool setMark(Connection &conn, int mark, const QString &itemCd, const QString &detailNo)
{
    return conn.execute(setMarkSql(mark, itemCd, detailNo));
}

} // namespace krt::category
