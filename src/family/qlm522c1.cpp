#include "qlm522c1.h"

#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextDocument>

#include <limits>

namespace krt {

namespace {

const QString Source = QStringLiteral("QLM522.QLM522C1");
const QString ListTitle = QStringLiteral("分類不一致リスト");

// ADO's numbers for an unusable connection and for an unspecified provider failure.
constexpr long ErrConnectionUnusable = 3709;
constexpr long ErrUnspecified = -2147467259;

QLM522C1::PreviewSeam &previewSeam()
{
    static QLM522C1::PreviewSeam seam;
    return seam;
}

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
QString QLM522C1::unmatchedSql(bool withStock)
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

// The heading says what the list is about: the database, when it was checked, and how much is
// unmatched (keys, goods and, when the stock is checked, stock rows).
QString headingHtml(const QList<QLM522C1::UnmatchedKey> &keys, bool withStock, const QString &catalog,
                    const QDateTime &checkedAt)
{
    qint64 goods = 0;
    qint64 stock = 0;
    for (const QLM522C1::UnmatchedKey &key : keys) {
        goods += key.goodsCount;
        stock += key.stockCount;
    }
    QString counts = QStringLiteral("不一致分類 %1 件、商品 %2 件").arg(keys.size()).arg(goods);
    if (withStock)
        counts += QStringLiteral("、在庫 %1 件").arg(stock);
    return QStringLiteral("<h2 align=\"center\">") + ListTitle + QStringLiteral("</h2>") +
           QStringLiteral("<p>データベース %1</p>").arg(catalog.toHtmlEscaped()) +
           QStringLiteral("<p>チェック日時 %1</p>")
               .arg(checkedAt.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"))) +
           QStringLiteral("<p>") + counts + QStringLiteral("</p>");
}

QString listHtml(const QList<QLM522C1::UnmatchedKey> &keys, bool withStock, const QString &catalog,
                 const QDateTime &checkedAt)
{
    const QString cell = QStringLiteral("<td align=\"right\">%1</td>");
    QString html = headingHtml(keys, withStock, catalog, checkedAt) +
                   QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" width=\"100%\">") +
                   QStringLiteral("<tr><th>大分類コード</th><th>中分類番号</th><th>商品数</th>") +
                   (withStock ? QStringLiteral("<th>在庫数</th>") : QString()) + QStringLiteral("</tr>");
    for (const QLM522C1::UnmatchedKey &key : keys)
        html += QStringLiteral("<tr><td>%1</td>").arg(key.daiBunruiCd.toHtmlEscaped()) +
                cell.arg(key.chuBunruiCd.toHtmlEscaped()) + cell.arg(key.goodsCount) +
                (withStock ? cell.arg(key.stockCount) : QString()) + QStringLiteral("</tr>");
    html += QStringLiteral("</table><p>") + QStringLiteral("不一致 %1 件").arg(keys.size()) +
            QStringLiteral("</p>");
    return html;
}

} // namespace

void QLM522C1::setPreviewSeam(PreviewSeam seam)
{
    previewSeam() = std::move(seam);
}

QLM522C1::QLM522C1(Connection *connection)
    : m_connection(connection)
{}

void QLM522C1::setHonShiten(int value)
{
    if (value != m_honShiten)
        m_unmatched.reset();
    m_honShiten = value;
}

const QList<QLM522C1::UnmatchedKey> &QLM522C1::unmatched()
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

short QLM522C1::GetUnMutch()
{
    constexpr qsizetype most = std::numeric_limits<short>::max();
    return static_cast<short>(qMin(unmatched().size(), most));
}

void QLM522C1::PrintUnMutch(short)
{
    QTextDocument document;
    const QList<UnmatchedKey> &keys = unmatched();
    document.setHtml(listHtml(keys, m_honShiten != 0, m_connection->catalog(), m_checkedAt));
    if (previewSeam()) {
        previewSeam()(document);
        return;
    }
    QPrinter printer;
    printer.setDocName(ListTitle);
    QPrintPreviewDialog preview(&printer, QApplication::activeWindow());
    preview.setWindowTitle(ListTitle);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&document](QPrinter *target) { document.print(target); });
    preview.exec();
}

} // namespace krt
