#pragma once
// The device grid: a table with one fixed heading row and body rows of one
// line each. Every device list and the adapter list show their rows in it.
//
// Rows are numbered as the pages think of them: row 0 is the heading row,
// data rows run from 1. The grid offers tick boxes in column 0 with a
// select-all box in the heading, an in-place editor for one chosen column,
// a sort-direction mark on one heading, per-cell text colours and item
// data, an image from an image strip in a cell, and notifications of
// clicks and edits with row and column. While redraw is off, rows can be
// rebuilt without the grid repainting or relaying out for each change.

#include <vector>

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QTableView>

namespace kestrix {

namespace grid_detail {
class GridModel;
class GridHeader;
class GridDelegate;
}  // namespace grid_detail

class CGridCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CGridCtrl(QWidget* parent = nullptr);
    ~CGridCtrl() override;

    // ---- Columns and the heading row ----
    void SetColumnCount(int count);
    int GetColumnCount() const;
    // Rows including the heading row.
    int GetRowCount() const;
    void SetHeading(int column, const QString& text);
    QString GetHeading(int column) const;
    // Column 0 holds tick boxes and its heading the select-all box.
    void SetCheckColumn(bool on);
    bool HasCheckColumn() const { return checkColumn_; }
    // The sort-direction mark on the heading of `column` (-1: none).
    void SetSortMark(int column, bool ascending);
    int SortMarkColumn() const { return sortColumn_; }
    bool SortMarkAscending() const { return sortAscending_; }

    // ---- Look ----
    void SetHeadingStyle(const QFont& font, const QColor& text, const QColor& background,
                         int height);
    void SetBodyStyle(const QFont& font, const QColor& text, int rowHeight);
    void SetLineColor(const QColor& color);
    void SetBackgroundColor(const QColor& color);
    // Loads an image strip (images side by side, `imageSize` each, white
    // drawn transparent). False when the file cannot be read.
    bool SetImageList(const QString& path, QSize imageSize = QSize(50, 16));
    // The images from separate pictures instead of a strip (null ones too,
    // so that the numbering stays).
    void SetImages(std::vector<QPixmap> images);
    int GetImageCount() const { return static_cast<int>(images_.size()); }
    const QColor& HeadingTextColor() const { return headingText_; }
    const QColor& HeadingBackground() const { return headingBackground_; }
    const QColor& DefaultTextColor() const { return bodyText_; }
    const QColor& LineColor() const { return lineColor_; }
    const QColor& BackgroundColor() const { return background_; }
    int RowHeight() const { return rowHeight_; }
    const QFont& HeadingFont() const { return headingFont_; }

    // ---- Data rows ----
    // Appends a data row; returns its row number.
    int InsertRow();
    void DeleteNonFixedRows();
    void SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const;
    // An invalid colour draws in the body text colour.
    void SetItemFgColour(int row, int column, const QColor& colour);
    QColor GetItemFgColour(int row, int column) const;
    void SetItemData(int row, int column, qint64 data);
    qint64 GetItemData(int row, int column) const;
    // Image `image` of the strip in the cell (-1: none).
    void SetItemImage(int row, int column, int image);
    int GetItemImage(int row, int column) const;
    // The tick of a data row, or with row 0 the heading's select-all box.
    void SetCheck(int row, bool ticked);
    bool GetCheck(int row) const;

    // Off: changes are kept but nothing is repainted or laid out until it
    // is switched on again, which shows them all at once.
    void SetRedraw(bool on);
    bool IsRedrawOn() const { return redraw_; }
    void RedrawCell(int row, int column);

    // ---- In-place editing ----
    // The one column the editor serves (-1: none). Cells of other columns
    // never open it.
    void SetEditableColumn(int column);
    int EditableColumn() const { return editableColumn_; }
    void SetEditable(bool editable);
    bool IsEditable() const { return editable_; }
    // Opens the editor on a cell when the grid is editable and the cell is
    // in the editable column.
    bool EditCell(int row, int column);

    // Where a cell is drawn: the heading row in the heading's coordinates,
    // data rows in the viewport's (tests click there).
    QRect HeadingRect(int column) const;
    QRect CellRect(int row, int column) const;
    // The rectangle of the tick box of a tick cell or of the select-all box.
    QRect CheckBoxRect(const QRect& cell) const;

signals:
    void CellClicked(int row, int column);
    void EditBegin(int row, int column);
    void EditEnd(int row, int column);

protected:
    bool viewportEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    friend class grid_detail::GridModel;
    friend class grid_detail::GridHeader;
    friend class grid_detail::GridDelegate;

    const QPixmap* Image(int index) const;
    int HoverRow() const { return hoverRow_; }
    void NotifyEditBegin(int row, int column) { emit EditBegin(row, column); }
    void NotifyEditEnd(int row, int column) { emit EditEnd(row, column); }

    grid_detail::GridModel* model_ = nullptr;
    grid_detail::GridHeader* header_ = nullptr;
    grid_detail::GridDelegate* delegate_ = nullptr;
    std::vector<QPixmap> images_;
    bool checkColumn_ = false;
    bool headingChecked_ = false;
    int sortColumn_ = -1;
    bool sortAscending_ = true;
    int editableColumn_ = -1;
    bool editable_ = false;
    bool redraw_ = true;
    int hoverRow_ = -1;
    int rowHeight_ = 48;
    QFont headingFont_;
    QColor headingText_{Qt::black};
    QColor headingBackground_{Qt::lightGray};
    QColor bodyText_{Qt::black};
    QColor lineColor_{215, 215, 215};
    QColor background_{Qt::white};
};

}  // namespace kestrix
