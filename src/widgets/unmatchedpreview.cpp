#include "widgets/unmatchedpreview.h"

#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextDocument>

namespace krt {

namespace {

const QString ListTitle = QStringLiteral("分類不一致リスト");

QLM522C1::PreviewSeam &previewSeam()
{
    static QLM522C1::PreviewSeam seam;
    return seam;
}

// The heading says what the list is about: the database, when it was checked, and how much is
// unmatched (keys, goods and, when the stock is checked, stock rows).
QString headingHtml(const QList<CategoryCheck::UnmatchedKey> &keys, bool withStock, const QString &catalog,
                    const QDateTime &checkedAt)
{
    qint64 goods = 0;
    qint64 stock = 0;
    for (const CategoryCheck::UnmatchedKey &key : keys) {
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

QString listHtml(const QList<CategoryCheck::UnmatchedKey> &keys, bool withStock, const QString &catalog,
                 const QDateTime &checkedAt)
{
    const QString cell = QStringLiteral("<td align=\"right\">%1</td>");
    QString html = headingHtml(keys, withStock, catalog, checkedAt) +
                   QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" width=\"100%\">") +
                   QStringLiteral("<tr><th>大分類コード</th><th>中分類番号</th><th>商品数</th>") +
                   (withStock ? QStringLiteral("<th>在庫数</th>") : QString()) + QStringLiteral("</tr>");
    for (const CategoryCheck::UnmatchedKey &key : keys)
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

void QLM522C1::PrintUnMutch(short)
{
    QTextDocument document;
    const QList<UnmatchedKey> &keys = unmatched();
    document.setHtml(listHtml(keys, HonShiten() != 0, catalog(), checkedAt()));
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
