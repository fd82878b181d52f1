#pragma once

#include "category/categorytable.h"

#include <QList>
#include <QStringList>
#include <QTableView>

namespace krt {

class CategoryGridModel;

// The columns of a grid line showing a row of the work list.
enum GridColumn {
    ColMark = 0,
    ColItemCd = 1,
    ColItemNm = 2,
    ColDetailNo = 3,
    ColDetailNm = 4,
    ColUpdateDate = 5,
    ColInvFlg = 6, // hidden: the inventory flag as stored
    GridColumnCount = 7
};

// The mark cell of a line: not marked, marked.
inline const QString MarkOff = QStringLiteral("□");
inline const QString MarkOn = QStringLiteral("■");

// The category grid lstTbl: a matrix of read-only text cells without heading rows or columns,
// selected a whole line at a time, with the operations of the grid control the form drives.
// Sizes are given in twips (1440 to the inch) and shown at the screen's logical resolution.
class CategoryGrid : public QTableView
{
    Q_OBJECT

public:
    explicit CategoryGrid(QWidget *parent = nullptr);
    ~CategoryGrid() override;

    // Row and column counts. Cells that stay within both counts keep their text; new cells are
    // empty.
    void setRows(int rows);
    void setCols(int cols);
    int Rows() const;
    int Cols() const;

    // Replaces every cell in one go: one line per entry, Rows() becomes the number of lines and
    // the columns stay as they are (missing cells are empty, surplus texts are dropped).
    void setRowTexts(QList<QStringList> lines);

    // Shows the rows of the work list, one unmarked line each, and keeps them for the marking
    // rules; the columns stay as they are.
    void showWorkList(QList<category::WorkListRow> rows);
    // The work-list row a line shows, or nothing for a line outside the grid.
    const category::WorkListRow *workListRow(int row) const;
    // Whether a line is marked, and marks or unmarks it.
    bool isMarked(int row) const { return TextMatrix(row, ColMark) == MarkOn; }
    void setMarked(int row, bool marked) { setTextMatrix(row, ColMark, marked ? MarkOn : MarkOff); }

    // The text of a cell; a cell outside the grid reads as empty text and takes no text.
    QString TextMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString &text);

    // The height of every row.
    void setRowHeightTwips(int twips);
    // Centres a column's texts horizontally and vertically.
    void setColAlignmentCentred(int col);
    // The width of a column; 0 hides it.
    void setColWidthTwips(int col, int twips);
    // Pixels added to the widths of the given columns, shared equally (the first columns take
    // what does not divide): the room the grid has gained beyond the size it was designed for.
    void setColsExtraWidth(const QList<int> &cols, int pixels);

    // The current row (the line last clicked or moved to), -1 when there is none.
    int Row() const;
    // Scrolls so that the row is the first visible one; TopRow() tells which row is.
    void setTopRow(int row);
    int TopRow() const;

    // Moves the focus on to the next control of the window, as the Tab key does.
    void moveFocusToNextControl();

Q_SIGNALS:
    // The operator clicked a line with the mouse; Row() is that line.
    void Click();
    // A key went down while the grid has the focus, with its Windows key code and the shift
    // state (1 Shift, 2 Ctrl, 4 Alt). Raised before the grid handles the key: a handler that sets
    // KeyCode to 0 swallows it. Keys without a Windows key code go to the grid unannounced.
    void KeyDown(int &KeyCode, int Shift);
    // The columns or the grid's area have been laid out anew (count, widths, size); headings
    // placed over the columns follow.
    void LaidOut();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyColumnWidths();

    CategoryGridModel *m_model;
    QList<category::WorkListRow> m_rows; // the rows the lines show, line by line
    QList<int> m_colTwips;               // per column: its width, or -1 for the default width
    QList<int> m_extraCols;              // the columns that share m_extraWidth
    int m_extraWidth = 0;
};

} // namespace krt
