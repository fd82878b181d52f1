#include "category/categorycheck.h"

#include <limits>

namespace krt {

namespace {

const QString Source = QStringLiteral("QLM522.QLM522C1");

// ADO's numbers for an unusable connection and for an unspecified provider failure.
constexpr long ErrConnectionUnusable = 3709;
constexpr long ErrUnspecified = -2147467259;

// The category keys in use in one table, a missing sub-category read as 0 (read from the
// table's category index alone).
QString keysOf(const QString &table)
{
    return QStringLiteral("SELECT DISTINCT DAI_BUNRUI_CD, ISNULL(CHU_BUNRUI_CD, 0) AS CHU_BUNRUI_CD FROM ") +
           table;
}

// The rows of one table that carry the key K of the enclosing query, counted per key so that
// nothing but the category key columns of the table is read.
QString rowsOf(const QString &table)
{
    return QStringLiteral("(SELECT COUNT(*) FROM %1 WHERE (%1.DAI_BUNRUI_CD = K.DAI_BUNRUI_CD) "
                          "AND (ISNULL(%1.CHU_BUNRUI_CD, 0) = K.CHU_BUNRUI_CD))")
        .arg(table);
}

} // namespace

// The keys in use are few: they are found first and checked against the masters, and rows are
// counted only for the keys that fail.
QString CategoryCheck::unmatchedSql(bool withStock)
{
    QString keys = keysOf(QStringLiteral("MGOODS"));
    QString counts = rowsOf(QStringLiteral("MGOODS")) + QStringLiteral(" AS GOODS_CNT");
    if (withStock) {
        keys += QStringLiteral(" UNION ") + keysOf(QStringLiteral("IZAIKO"));
        counts += QStringLiteral(", ") + rowsOf(QStringLiteral("IZAIKO")) + QStringLiteral(" AS STOCK_CNT");
    }
    return QStringLiteral("SELECT K.DAI_BUNRUI_CD, K.CHU_BUNRUI_CD, ") + counts + QStringLiteral(" ") +
           QStringLiteral("FROM (") + keys + QStringLiteral(") K ") +
           QStringLiteral("WHERE (NOT EXISTS (SELECT MITEMCD.ITEM_CD FROM MITEMCD "
                          "WHERE MITEMCD.ITEM_CD = K.DAI_BUNRUI_CD)) ") +
           QStringLiteral(
               "OR ((K.CHU_BUNRUI_CD <> 0) AND (NOT EXISTS (SELECT MITEMDTL.D_BUNRUI_CD FROM MITEMDTL "
               "WHERE MITEMDTL.D_BUNRUI_CD = K.DAI_BUNRUI_CD AND MITEMDTL.D_ITEM_NO = '71' "
               "AND MITEMDTL.D_DETAIL_NO = K.CHU_BUNRUI_CD))) ") +
           QStringLiteral("ORDER BY K.DAI_BUNRUI_CD, K.CHU_BUNRUI_CD");
}

namespace {

ComponentError readError(const Connection &connection)
{
    ComponentError error{ErrUnspecified, Source, QStringLiteral("データベースを読み込めません。")};
    if (!connection.errors().isEmpty()) {
        const DbError &first = connection.errors().constFirst();
        bool numeric = false;
        const long native = first.nativeCode.toLong(&numeric);
        if (numeric && native != 0)
            error.number = native;
        error.description = first.description;
    }
    return error;
}

} // namespace

CategoryCheck::CategoryCheck(Connection *connection)
    : m_connection(connection)
{}

void CategoryCheck::setHonShiten(int value)
{
    if (value != m_honShiten)
        m_unmatched.reset();
    m_honShiten = value;
}

const QList<CategoryCheck::UnmatchedKey> &CategoryCheck::unmatched()
{
    if (m_unmatched)
        return *m_unmatched;
    if (!m_connection || !m_connection->isOpen())
        throw ComponentError{ErrConnectionUnusable, Source,
                             QStringLiteral("データベースに接続されていません。")};
    std::optional<Recordset> rs = m_connection->openRecordset(unmatchedSql(m_honShiten != 0));
    if (!rs)
        throw readError(*m_connection);
    QList<UnmatchedKey> keys;
    for (; !rs->eof(); rs->moveNext())
        keys.append({rs->field(0).toString(), rs->field(1).toString(), rs->field(2).toInt(),
                     m_honShiten != 0 ? rs->field(3).toInt() : 0});
    m_unmatched = std::move(keys);
    m_checkedAt = QDateTime::currentDateTime();
    return *m_unmatched;
}

short CategoryCheck::GetUnMutch()
{
    constexpr qsizetype most = std::numeric_limits<short>::max();
    return static_cast<short>(qMin(unmatched().size(), most));
}

QString CategoryCheck::catalog() const
{
    return m_connection ? m_connection->catalog() : QString();
}

} // namespace krt
