#include "widgets/changelistpreview.h"

#include "pricing/changelistfile.h"
#include "widgets/fonts.h"
#include "widgets/messagebox.h"
#include "widgets/screenpointer.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QInputDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextDocument>

#include <optional>

namespace krt {

namespace {

const QString ListTitle = QStringLiteral("売価変更一覧");
const QString ShownAt = QStringLiteral("yyyy/MM/dd HH:mm:ss");

ChangeListPreview::PreviewSeam &previewSeam()
{
    static ChangeListPreview::PreviewSeam seam;
    return seam;
}

// Where the columns the list shows stand in the file's header. The goods key and the name column
// (whichever the settings named at the run) lie between the category and the first old price.
struct Columns
{
    qsizetype firstPrice = 0;
    qsizetype standardOld = 0;
    qsizetype standardNew = 0;
    qsizetype retailOld = 0;
    qsizetype retailNew = 0;
    qsizetype changed = 0;
};

std::optional<Columns> columnsOf(const QStringList &header)
{
    Columns columns;
    columns.firstPrice = 2;
    while (columns.firstPrice < header.size() && !header[columns.firstPrice].endsWith(QStringLiteral("_旧")))
        ++columns.firstPrice;
    columns.standardOld = header.indexOf(QStringLiteral("HYOJYUN_PRC_旧"));
    columns.standardNew = header.indexOf(QStringLiteral("HYOJYUN_PRC_新"));
    columns.retailOld = header.indexOf(QStringLiteral("KOURI_PRC_旧"));
    columns.retailNew = header.indexOf(QStringLiteral("KOURI_PRC_新"));
    columns.changed = header.indexOf(QStringLiteral("変更"));
    if (header.size() < 2 || header[0] != QStringLiteral("分類コード") ||
        header[1] != QStringLiteral("中分類コード") || columns.standardOld < 0 || columns.standardNew < 0 ||
        columns.retailOld < 0 || columns.retailNew < 0 || columns.changed < 0)
        return std::nullopt;
    return columns;
}

// The changed goods rows by category, in the order of the category codes, as the shelves are
// walked; within a category in the list's order. A goods row without a sub-category number
// belongs to sub-category 0, as the run takes it.
struct Category
{
    QString daiBunruiCd;
    QString chuBunruiCd;
    QList<const QStringList *> rows;

    QString heading() const { return daiBunruiCd + QLatin1Char('-') + chuBunruiCd; }
    // Sub-category numbers in numeric order.
    auto order() const { return std::make_tuple(daiBunruiCd, chuBunruiCd.toLongLong(), chuBunruiCd); }
};

QList<Category> changedByCategory(const QList<QStringList> &rows, const Columns &columns)
{
    QList<Category> categories;
    QHash<QString, qsizetype> at;
    for (const QStringList &row : rows) {
        if (row[columns.changed] != QLatin1String("1"))
            continue;
        const Category category{row[0], row[1].isEmpty() ? QStringLiteral("0") : row[1], {}};
        auto found = at.constFind(category.heading());
        if (found == at.cend()) {
            found = at.insert(category.heading(), categories.size());
            categories.append(category);
        }
        categories[*found].rows.append(&row);
    }
    std::stable_sort(categories.begin(), categories.end(),
                     [](const Category &a, const Category &b) { return a.order() < b.order(); });
    return categories;
}

QString documentHtml(const pricing::ChangeListContent &content, const Columns &columns,
                     const pricing::ChangeListRun &run, const QString &catalog, const QString &entry)
{
    const QList<Category> categories = changedByCategory(content.rows, columns);
    qsizetype changed = 0;
    for (const Category &category : categories)
        changed += category.rows.size();
    QString html =
        QStringLiteral("<h2 align=\"center\">") + ListTitle + QStringLiteral("</h2>") +
        QStringLiteral("<p>データベース %1（%2）</p>").arg(catalog.toHtmlEscaped(), entry.toHtmlEscaped()) +
        QStringLiteral("<p>実行日時 %1</p>").arg(run.start.toString(ShownAt)) +
        QStringLiteral("<p>売価が変わった商品 %1 件（%2 分類）、変換した商品 %3 件</p>")
            .arg(changed)
            .arg(categories.size())
            .arg(content.rows.size());
    if (run.incomplete)
        html += QStringLiteral("<p>この実行は中断されました。最後の分類の商品は、その変換が確定していれば、"
                               "このデータベースの次の実行の前に一覧へ書き足されます。</p>");
    if (categories.isEmpty())
        html += QStringLiteral("<p>売価が変わった商品はありません。</p>");

    // Each category is a table whose heading rows, the category and the column names, repeat on
    // every page it spans.
    QString names = QStringLiteral("<tr>");
    for (qsizetype c = 2; c < columns.firstPrice; ++c)
        names += QStringLiteral("<th>%1</th>").arg(content.header[c].toHtmlEscaped());
    names += QStringLiteral("<th>標準売価（旧 → 新）</th><th>小売売価（旧 → 新）</th></tr>");
    const QString price = QStringLiteral("<td align=\"right\">%1 → %2</td>");
    for (const Category &category : categories) {
        html += QStringLiteral("<br/><table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">"
                               "<thead><tr><th colspan=\"%1\" align=\"left\">分類 %2（%3 件）</th></tr>")
                    .arg(columns.firstPrice)
                    .arg(category.heading().toHtmlEscaped())
                    .arg(category.rows.size()) +
                names + QStringLiteral("</thead>");
        for (const QStringList *row : category.rows) {
            html += QStringLiteral("<tr>");
            for (qsizetype c = 2; c < columns.firstPrice; ++c)
                html += QStringLiteral("<td>%1</td>").arg((*row)[c].toHtmlEscaped());
            html += price.arg((*row)[columns.standardOld].toHtmlEscaped(),
                              (*row)[columns.standardNew].toHtmlEscaped()) +
                    price.arg((*row)[columns.retailOld].toHtmlEscaped(),
                              (*row)[columns.retailNew].toHtmlEscaped()) +
                    QStringLiteral("</tr>");
        }
        html += QStringLiteral("</table>");
    }
    return html;
}

// The run whose list to show: the only one, or the one the operator picks; nothing when the
// operator cancels.
std::optional<pricing::ChangeListRun> chosenRun(const QList<pricing::ChangeListRun> &runs,
                                                const QString &catalog, const QString &entry, QWidget *parent)
{
    if (runs.size() == 1)
        return runs.first();
    QStringList items;
    for (const pricing::ChangeListRun &run : runs)
        items.append(run.start.toString(ShownAt) + (run.incomplete ? QStringLiteral("（中断）") : QString()));
    QInputDialog dialog(parent);
    dialog.setWindowTitle(ListTitle);
    dialog.setLabelText(QStringLiteral("%1（%2）の実行を選んでください").arg(catalog, entry));
    dialog.setOption(QInputDialog::UseListViewForComboBoxItems);
    dialog.setComboBoxItems(items);
    dialog.setTextValue(items.first());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const qsizetype at = items.indexOf(dialog.textValue());
    return at < 0 ? std::nullopt : std::optional<pricing::ChangeListRun>(runs[at]);
}

} // namespace

void ChangeListPreview::setPreviewSeam(PreviewSeam seam)
{
    previewSeam() = std::move(seam);
}

ChangeListPreview::ChangeListPreview(QString folder, QString catalog, QString entry)
    : m_folder(std::move(folder))
    , m_catalog(std::move(catalog))
    , m_entry(std::move(entry))
{}

void ChangeListPreview::show(QWidget *parent)
{
    const QList<pricing::ChangeListRun> runs = pricing::changeListFiles(m_folder, m_catalog);
    if (runs.isEmpty()) {
        MessageBoxes::plain(QStringLiteral("%1（%2）の変更一覧はありません。\n変更一覧のフォルダ: %3")
                                .arg(m_catalog, m_entry, QDir::toNativeSeparators(m_folder)));
        return;
    }
    const std::optional<pricing::ChangeListRun> run = chosenRun(runs, m_catalog, m_entry, parent);
    if (!run)
        return;
    // A run over many goods takes a moment to read and lay out.
    setScreenPointer(PointerHourglass);
    const pricing::ChangeListContent content = pricing::readChangeList(run->path);
    const std::optional<Columns> columns =
        content.error.isEmpty() ? columnsOf(content.header) : std::optional<Columns>();
    if (!columns) {
        setScreenPointer(PointerDefault);
        MessageBoxes::plain(QStringLiteral("変更一覧を読めません: %1\n%2")
                                .arg(QDir::toNativeSeparators(run->path),
                                     content.error.isEmpty()
                                         ? QStringLiteral("変更一覧の見出しではありません")
                                         : content.error));
        return;
    }

    QTextDocument document;
    document.setDefaultFont(familyFont(9));
    document.setHtml(documentHtml(content, *columns, *run, m_catalog, m_entry));
    setScreenPointer(PointerDefault);
    if (previewSeam()) {
        previewSeam()(document);
        return;
    }
    QPrinter printer;
    printer.setDocName(QFileInfo(run->path).completeBaseName());
    QPrintPreviewDialog preview(&printer, parent);
    preview.setWindowTitle(
        ListTitle + QStringLiteral(" %1（%2） %3").arg(m_catalog, m_entry, run->start.toString(ShownAt)));
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&document](QPrinter *target) { document.print(target); });
    preview.exec();
}

} // namespace krt
