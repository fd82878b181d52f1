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

QString listHtml(const QList<CategoryCheck::UnmatchedKey> &keys)
{
    QString html = QStringLiteral("<h2 align=\"center\">") + ListTitle + QStringLiteral("</h2>") +
                   QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" width=\"100%\">") +
                   QStringLiteral("<tr><th>大分類コード</th><th>中分類番号</th><th>商品数</th></tr>");
    for (const CategoryCheck::UnmatchedKey &key : keys)
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
