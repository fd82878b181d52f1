#include "widgets/categorygrid.h"

#include "widgets/twips.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QSet>

#include <optional>
#include <utility>

namespace krt {

// The grid's cells as text, one list per line, each exactly as long as the column count.
class CategoryGridModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : m_cols; }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!contains(index.row(), index.column()))
            return {};
        if (role == Qt::DisplayRole)
            return m_lines.at(index.row()).at(index.column());
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(m_centred.contains(index.column()) ? Qt::Alignment(Qt::AlignCenter)
                                                                          : Qt::AlignLeft | Qt::AlignVCenter);
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    bool contains(int row, int col) const
    {
        return row >= 0 && row < m_lines.size() && col >= 0 && col < m_cols;
    }
    QString text(int row, int col) const { return contains(row, col) ? m_lines.at(row).at(col) : QString(); }

    void setText(int row, int col, const QString &text)
    {
        if (!contains(row, col))
            return;
        m_lines[row][col] = text;
        const QModelIndex cell = index(row, col);
        Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
    }

    // Replaces the lines and the column count in one reset, so that the view lays itself out once.
    void reset(QList<QStringList> lines, int cols)
    {
        beginResetModel();
        m_cols = cols;
        for (QStringList &line : lines)
            line.resize(cols);
        m_lines = std::move(lines);
        endResetModel();
    }

    void resize(int rows, int cols)
    {
        QList<QStringList> lines = m_lines.mid(0, rows);
        lines.resize(rows);
        reset(std::move(lines), cols);
    }

    void setCentred(int col)
    {
        m_centred.insert(col);
        if (col >= 0 && col < m_cols && !m_lines.isEmpty())
            Q_EMIT dataChanged(index(0, col), index(rowCount() - 1, col), {Qt::TextAlignmentRole});
    }

private:
    QList<QStringList> m_lines;
    int m_cols = 0;
    QSet<int> m_centred;
};

namespace {

// The Windows virtual-key code of a key, for the keys the program and the grid know.
std::optional<int> windowsKeyCode(int key)
{
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return key; // the same codes on both sides
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 112 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        return std::nullopt;
    }
}

int shiftState(Qt::KeyboardModifiers modifiers)
{
    return (modifiers.testFlag(Qt::ShiftModifier) ? 1 : 0) |
           (modifiers.testFlag(Qt::ControlModifier) ? 2 : 0) | (modifiers.testFlag(Qt::AltModifier) ? 4 : 0);
}

} // namespace

CategoryGrid::CategoryGrid(QWidget *parent)
    : QTableView(parent)
    , m_model(new CategoryGridModel(this))
{
    setObjectName(QStringLiteral("lstTbl"));
    setModel(m_model);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // Rows and columns take any size the layout gives them, however small.
    verticalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->setMinimumSectionSize(0);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the grid for the next control instead of walking through its cells.
    setTabKeyNavigation(false);
    setWordWrap(false);
    connect(this, &QAbstractItemView::clicked, this, &CategoryGrid::Click);
}

CategoryGrid::~CategoryGrid() = default;

void CategoryGrid::setRows(int rows)
{
    m_model->resize(qMax(0, rows), Cols());
    applyColumnWidths();
}

void CategoryGrid::setCols(int cols)
{
    m_model->resize(Rows(), qMax(0, cols));
    applyColumnWidths();
}

int CategoryGrid::Rows() const
{
    return m_model->rowCount();
}

int CategoryGrid::Cols() const
{
    return m_model->columnCount();
}

void CategoryGrid::setRowTexts(QList<QStringList> lines)
{
    m_model->reset(std::move(lines), Cols());
    applyColumnWidths();
}

void CategoryGrid::showWorkList(QList<category::WorkListRow> rows)
{
    QList<QStringList> lines;
    lines.reserve(rows.size());
    for (const category::WorkListRow &row : rows)
        lines.append({MarkOff, row.itemCd, row.itemNm, row.detailNo, row.detailNm, row.updateDate,
                      row.invFlg.isNull() ? QString() : row.invFlg.toString()});
    m_rows = std::move(rows);
    setRowTexts(std::move(lines));
}

const category::WorkListRow *CategoryGrid::workListRow(int row) const
{
    return row >= 0 && row < m_rows.size() && row < Rows() ? &m_rows.at(row) : nullptr;
}

QString CategoryGrid::TextMatrix(int row, int col) const
{
    return m_model->text(row, col);
}

void CategoryGrid::setTextMatrix(int row, int col, const QString &text)
{
    m_model->setText(row, col, text);
}

void CategoryGrid::setRowHeightTwips(int height)
{
    verticalHeader()->setDefaultSectionSize(twips(height, this));
}

void CategoryGrid::setColAlignmentCentred(int col)
{
    m_model->setCentred(col);
}

void CategoryGrid::setColWidthTwips(int col, int width)
{
    if (col < 0)
        return;
    if (m_colTwips.size() <= col)
        m_colTwips.resize(col + 1, -1);
    m_colTwips[col] = qMax(0, width);
    applyColumnWidths();
}

void CategoryGrid::setColsExtraWidth(const QList<int> &cols, int pixels)
{
    m_extraCols = cols;
    m_extraWidth = qMax(0, pixels);
    applyColumnWidths();
}

// A reset of the model lays the columns out anew, so the widths are set again after each one.
void CategoryGrid::applyColumnWidths()
{
    const auto sharers = static_cast<int>(m_extraCols.size());
    for (int col = 0; col < qMin(static_cast<int>(m_colTwips.size()), Cols()); ++col) {
        const int width = m_colTwips.at(col);
        if (width < 0)
            continue;
        setColumnHidden(col, width == 0);
        if (width == 0)
            continue;
        int extra = 0;
        if (const auto share = m_extraCols.indexOf(col); share >= 0)
            extra = m_extraWidth / sharers + (share < m_extraWidth % sharers ? 1 : 0);
        setColumnWidth(col, twips(width, this) + extra);
    }
    Q_EMIT LaidOut();
}

int CategoryGrid::Row() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void CategoryGrid::setTopRow(int row)
{
    // The view scrolls only to a cell it shows: take the line's first visible cell.
    for (int col = 0; col < Cols(); ++col) {
        if (m_model->contains(row, col) && !isColumnHidden(col)) {
            scrollTo(m_model->index(row, col), QAbstractItemView::PositionAtTop);
            return;
        }
    }
}

int CategoryGrid::TopRow() const
{
    return rowAt(0);
}

void CategoryGrid::moveFocusToNextControl()
{
    focusNextChild();
}

// The current line stays in view when the grid gets smaller, with its first column (the
// operator's mark).
void CategoryGrid::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    const int row = Row();
    for (int col = 0; row >= 0 && col < Cols(); ++col) {
        if (!isColumnHidden(col)) {
            scrollTo(m_model->index(row, col), QAbstractItemView::EnsureVisible);
            break;
        }
    }
    Q_EMIT LaidOut();
}

void CategoryGrid::keyPressEvent(QKeyEvent *event)
{
    if (const std::optional<int> code = windowsKeyCode(event->key())) {
        int keyCode = *code;
        Q_EMIT KeyDown(keyCode, shiftState(event->modifiers()));
        if (keyCode == 0) {
            event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

} // namespace krt
