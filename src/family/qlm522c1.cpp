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

// The goods of one table that carry the key K of the enclosing query.
QString goodsOf(const QString &table)
{
    return QStringLiteral("SELECT %1.JAN_CD FROM %1 WHERE (%1.DAI_BUNRUI_CD = K.DAI_BUNRUI_CD) "
                          "AND (ISNULL(%1.CHU_BUNRUI_CD, 0) = K.CHU_BUNRUI_CD)")
        .arg(table);
}

// The unmatched keys with their number of goods. The keys in use are few: they are found first
// and checked against the masters, and goods are counted only for the keys that fail.
QString unmatchedSql(bool withStock)
{
    QString keys = keysOf(QStringLiteral("MGOODS"));
    QString goods = goodsOf(QStringLiteral("MGOODS"));
    if (withStock) {
        keys += QStringLiteral(" UNION ") + keysOf(QStringLiteral("IZAIKO"));
        goods += QStringLiteral(" UNION ") + goodsOf(QStringLiteral("IZAIKO"));
    }
    return QStringLiteral("SELECT K.DAI_BUNRUI_CD, K.CHU_BUNRUI_CD, ") +
           QStringLiteral("(SELECT COUNT(*) FROM (") + goods + QStringLiteral(") G) AS CNT ") +
           QStringLiteral("FROM (") + keys + QStringLiteral(") K ") +
           QStringLiteral("WHERE (NOT EXISTS (SELECT MITEMCD.ITEM_CD FROM MITEMCD "
                          "WHERE MITEMCD.ITEM_CD = K.DAI_BUNRUI_CD)) ") +
           QStringLiteral(
               "OR ((K.CHU_BUNRUI_CD <> 0) AND (NOT EXISTS (SELECT MITEMDTL.D_BUNRUI_CD FROM MITEMDTL "
               "WHERE MITEMDTL.D_BUNRUI_CD = K.DAI_BUNRUI_CD AND MITEMDTL.D_ITEM_NO = '71' "
               "AND MITEMDTL.D_DETAIL_NO = K.CHU_BUNRUI_CD))) ") +
           QStringLiteral("ORDER BY K.DAI_BUNRUI_CD, K.CHU_BUNRUI_CD");
}

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

QString listHtml(const QList<QLM522C1::UnmatchedKey> &keys)
{
    QString html = QStringLiteral("<h2 align=\"center\">") + ListTitle + QStringLiteral("</h2>") +
                   QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" width=\"100%\">") +
                   QStringLiteral("<tr><th>大分類コード</th><th>中分類番号</th><th>商品数</th></tr>");
    for (const QLM522C1::UnmatchedKey &key : keys)
        html += QStringLiteral("<tr><td>%1</td><td align=\"right\">%2</td><td align=\"right\">%3</td></tr>")
                    .arg(key.daiBunruiCd.toHtmlEscaped(), key.chuBunruiCd.toHtmlEscaped(),
                         QString::number(key.goodsCount));
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
        keys.append({rs->field(0).toString(), rs->field(1).toString(), rs->field(2).toInt()});
    m_unmatched = std::move(keys);
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
    document.setHtml(listHtml(unmatched()));
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
