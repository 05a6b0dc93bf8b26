#include "controls/GridCtrl.h"

#include <algorithm>

#include <QAbstractTableModel>
#include <QApplication>
#include <QBitmap>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace kestrix {

namespace grid_detail {

namespace {
constexpr int kCheckBoxSize = 15;
constexpr int kTextPadding = 2;
constexpr int kSortMarkWidth = 8;
}  // namespace

struct GridCell {
    QString text;
    QColor colour;  // invalid: the body text colour
    qint64 data = 0;
    int image = -1;
    bool checked = false;
};

// The cells behind the view. Data rows only: the heading row is the view's
// horizontal header. While the grid's redraw is off, changes are made
// inside one model reset, so the view sees a single change at the end.
class GridModel : public QAbstractTableModel {
public:
    explicit GridModel(CGridCtrl* grid) : QAbstractTableModel(grid), grid_(grid) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : columns_;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const GridCell* cell = Cell(index.row(), index.column());
        if (cell == nullptr) return {};
        switch (role) {
            case Qt::DisplayRole:
            case Qt::EditRole:
                return cell->text;
            case Qt::ForegroundRole:
                return cell->colour.isValid() ? cell->colour : grid_->DefaultTextColor();
            case Qt::TextAlignmentRole:
                return int(Qt::AlignCenter);
            default:
                return {};
        }
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole) return false;
        GridCell* cell = MutableCell(index.row(), index.column());
        if (cell == nullptr) return false;
        cell->text = value.toString();
        Changed(index.row(), index.column());
        return true;
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid()) return Qt::NoItemFlags;
        Qt::ItemFlags f = Qt::ItemIsEnabled;
        if (grid_->IsEditable() && index.column() == grid_->EditableColumn())
            f |= Qt::ItemIsEditable;
        return f;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        if (section < 0 || section >= static_cast<int>(headings_.size())) return {};
        return headings_[static_cast<size_t>(section)];
    }

    void SetColumnCount(int count) {
        count = std::max(count, 0);
        Begin();
        columns_ = count;
        headings_.resize(static_cast<size_t>(count));
        for (auto& row : rows_) row.resize(static_cast<size_t>(count));
        End();
    }

    void SetHeading(int column, const QString& text) {
        if (column < 0 || column >= columns_) return;
        headings_[static_cast<size_t>(column)] = text;
        if (!batch_) emit headerDataChanged(Qt::Horizontal, column, column);
    }
    QString Heading(int column) const {
        if (column < 0 || column >= columns_) return {};
        return headings_[static_cast<size_t>(column)];
    }

    int AppendRow() {
        const int row = static_cast<int>(rows_.size());
        if (!batch_) beginInsertRows({}, row, row);
        rows_.emplace_back(static_cast<size_t>(columns_));
        if (!batch_) endInsertRows();
        return row;
    }

    void Clear() {
        if (rows_.empty()) return;
        if (!batch_) beginRemoveRows({}, 0, static_cast<int>(rows_.size()) - 1);
        rows_.clear();
        if (!batch_) endRemoveRows();
    }

    const GridCell* Cell(int row, int column) const {
        if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column >= columns_)
            return nullptr;
        return &rows_[static_cast<size_t>(row)][static_cast<size_t>(column)];
    }
    GridCell* MutableCell(int row, int column) {
        return const_cast<GridCell*>(static_cast<const GridModel*>(this)->Cell(row, column));
    }

    // A cell changed: repaint just it (nothing while redraw is off).
    void Changed(int row, int column) {
        if (batch_) return;
        const QModelIndex i = index(row, column);
        emit dataChanged(i, i);
    }

    void BeginBatch() {
        if (batch_) return;
        beginResetModel();
        batch_ = true;
    }
    void EndBatch() {
        if (!batch_) return;
        batch_ = false;
        endResetModel();
    }

private:
    // Structural changes outside a batch are one reset each.
    void Begin() {
        if (!batch_) beginResetModel();
    }
    void End() {
        if (!batch_) endResetModel();
    }

    CGridCtrl* grid_;
    int columns_ = 0;
    std::vector<QString> headings_;
    std::vector<std::vector<GridCell>> rows_;
    bool batch_ = false;
};

void DrawCheckBox(QPainter* p, const QRect& box, bool checked, const QWidget* widget) {
    QStyleOptionButton option;
    option.rect = box;
    option.state = QStyle::State_Enabled | (checked ? QStyle::State_On : QStyle::State_Off);
    widget->style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, p, widget);
}

// The heading row: the heading colours and font of the appearance
// settings, centred texts, the select-all box and the sort mark.
class GridHeader : public QHeaderView {
public:
    explicit GridHeader(CGridCtrl* grid) : QHeaderView(Qt::Horizontal, grid), grid_(grid) {
        setSectionsClickable(true);
        setHighlightSections(false);
        setSectionsMovable(false);
        setDefaultAlignment(Qt::AlignCenter);
    }

protected:
    void paintSection(QPainter* p, const QRect& rect, int section) const override {
        if (!rect.isValid()) return;
        p->save();
        p->fillRect(rect, grid_->HeadingBackground());
        p->setPen(grid_->LineColor());
        p->drawLine(rect.topRight(), rect.bottomRight());
        p->drawLine(rect.bottomLeft(), rect.bottomRight());
        if (section == 0 && grid_->HasCheckColumn()) {
            DrawCheckBox(p, grid_->CheckBoxRect(rect), grid_->GetCheck(0), grid_);
        } else {
            p->setFont(grid_->HeadingFont());
            p->setPen(grid_->HeadingTextColor());
            QRect textRect = rect.adjusted(kTextPadding, 0, -kTextPadding, 0);
            const bool marked = section == grid_->SortMarkColumn();
            if (marked) textRect.adjust(0, 0, -kSortMarkWidth - 2, 0);
            const QString text = grid_->GetHeading(section);
            const QFontMetrics fm(grid_->HeadingFont());
            // A heading wider than its column takes two lines where the
            // row has room for them, and is cut short only beyond that.
            QString shown = text;
            int flags = Qt::AlignCenter | Qt::TextSingleLine;
            int shownWidth = fm.horizontalAdvance(text);
            if (shownWidth > textRect.width()) {
                const QRect wrapped =
                    fm.boundingRect(textRect, Qt::AlignCenter | Qt::TextWordWrap, text);
                if (wrapped.height() <= textRect.height() && wrapped.width() <= textRect.width()) {
                    flags = Qt::AlignCenter | Qt::TextWordWrap;
                    shownWidth = wrapped.width();
                } else {
                    shown = fm.elidedText(text, Qt::ElideRight, textRect.width());
                    shownWidth = fm.horizontalAdvance(shown);
                }
            }
            p->drawText(textRect, flags, shown);
            if (marked) DrawSortMark(p, rect, textRect, shownWidth);
        }
        p->restore();
    }

private:
    // A small triangle right of the text: point up for ascending.
    void DrawSortMark(QPainter* p, const QRect& section, const QRect& textRect,
                      int textWidth) const {
        const int textRight = textRect.center().x() + (textWidth + 1) / 2;
        const int x = std::min(textRight + 5, section.right() - kSortMarkWidth - 2);
        const int y = section.center().y();
        QPolygon mark;
        if (grid_->SortMarkAscending()) {
            mark << QPoint(x, y + 2) << QPoint(x + kSortMarkWidth, y + 2)
                 << QPoint(x + kSortMarkWidth / 2, y - 3);
        } else {
            mark << QPoint(x, y - 2) << QPoint(x + kSortMarkWidth, y - 2)
                 << QPoint(x + kSortMarkWidth / 2, y + 3);
        }
        p->setRenderHint(QPainter::Antialiasing);
        p->setPen(Qt::NoPen);
        p->setBrush(grid_->HeadingTextColor());
        p->drawPolygon(mark);
    }

    CGridCtrl* grid_;
};

// Body cells: one centred line (cut with an ellipsis when it does not
// fit; the whole text shows as a tip), a tick box or an image, and the
// grid lines. The editor of the editable column is a line edit.
class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(CGridCtrl* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const GridCell* cell = grid_->model_->Cell(index.row(), index.column());
        if (cell == nullptr) return;
        const QRect r = option.rect;
        p->save();
        QColor fill = grid_->BackgroundColor();
        if (index.row() == grid_->HoverRow()) {
            const QColor h = grid_->HeadingBackground();
            fill = QColor((fill.red() * 3 + h.red()) / 4, (fill.green() * 3 + h.green()) / 4,
                          (fill.blue() * 3 + h.blue()) / 4);
        }
        p->fillRect(r, fill);
        if (index.column() == 0 && grid_->HasCheckColumn()) {
            DrawCheckBox(p, grid_->CheckBoxRect(r), cell->checked, grid_);
        } else {
            if (const QPixmap* image = grid_->Image(cell->image)) {
                const QSize s = image->deviceIndependentSize().toSize();
                p->drawPixmap(QRect(QPoint(r.center().x() - s.width() / 2 + 1,
                                           r.center().y() - s.height() / 2 + 1),
                                    s),
                              *image);
            }
            if (!cell->text.isEmpty()) {
                p->setFont(option.font);
                p->setPen(cell->colour.isValid() ? cell->colour : grid_->DefaultTextColor());
                const QRect textRect = r.adjusted(kTextPadding, 0, -kTextPadding, 0);
                const QString shown =
                    option.fontMetrics.elidedText(cell->text, Qt::ElideRight, textRect.width());
                p->drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, shown);
            }
        }
        p->setPen(grid_->LineColor());
        p->drawLine(r.bottomLeft(), r.bottomRight());
        p->drawLine(r.topRight(), r.bottomRight());
        p->restore();
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        editor->setAlignment(Qt::AlignCenter);
        editor->setFont(option.font);
        grid_->NotifyEditBegin(index.row() + 1, index.column());
        return editor;
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        QStyledItemDelegate::setModelData(editor, model, index);
        grid_->NotifyEditEnd(index.row() + 1, index.column());
    }

private:
    CGridCtrl* grid_;
};

}  // namespace grid_detail

using grid_detail::GridCell;

CGridCtrl::CGridCtrl(QWidget* parent) : QTableView(parent) {
    model_ = new grid_detail::GridModel(this);
    header_ = new grid_detail::GridHeader(this);
    delegate_ = new grid_detail::GridDelegate(this);
    setHorizontalHeader(header_);
    setModel(model_);
    setItemDelegate(delegate_);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::ClickFocus);
    setShowGrid(false);
    setSortingEnabled(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setMouseTracking(true);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(rowHeight_);
    header_->setSectionResizeMode(QHeaderView::Interactive);
    header_->setStretchLastSection(false);
    header_->setMinimumSectionSize(8);

    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        emit CellClicked(index.row() + 1, index.column());
    });
    connect(header_, &QHeaderView::sectionClicked, this,
            [this](int column) { emit CellClicked(0, column); });
    SetLineColor(lineColor_);
    SetBackgroundColor(background_);
}

CGridCtrl::~CGridCtrl() = default;

void CGridCtrl::SetColumnCount(int count) {
    model_->SetColumnCount(count);
}

int CGridCtrl::GetColumnCount() const {
    return model_->columnCount();
}

int CGridCtrl::GetRowCount() const {
    return model_->rowCount() + 1;
}

void CGridCtrl::SetHeading(int column, const QString& text) {
    model_->SetHeading(column, text);
}

QString CGridCtrl::GetHeading(int column) const {
    return model_->Heading(column);
}

void CGridCtrl::SetCheckColumn(bool on) {
    checkColumn_ = on;
    header_->viewport()->update();
    viewport()->update();
}

void CGridCtrl::SetSortMark(int column, bool ascending) {
    sortColumn_ = column;
    sortAscending_ = ascending;
    if (redraw_) header_->viewport()->update();
}

void CGridCtrl::SetHeadingStyle(const QFont& font, const QColor& text, const QColor& background,
                                int height) {
    headingFont_ = font;
    headingText_ = text;
    headingBackground_ = background;
    header_->setFont(font);
    header_->setFixedHeight(height);
    header_->viewport()->update();
}

void CGridCtrl::SetBodyStyle(const QFont& font, const QColor& text, int rowHeight) {
    setFont(font);
    bodyText_ = text;
    rowHeight_ = std::max(rowHeight, 1);
    verticalHeader()->setDefaultSectionSize(rowHeight_);
    viewport()->update();
}

void CGridCtrl::SetLineColor(const QColor& color) {
    lineColor_ = color;
    // A plain frame is drawn in the text colour of the palette; the scroll
    // bars keep the application's look.
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    setPalette(pal);
    horizontalScrollBar()->setPalette(QApplication::palette(horizontalScrollBar()));
    verticalScrollBar()->setPalette(QApplication::palette(verticalScrollBar()));
    update();
    viewport()->update();
}

void CGridCtrl::SetBackgroundColor(const QColor& color) {
    background_ = color;
    // The cells' ground; the scroll bars keep the application's look.
    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Base, color);
    pal.setColor(QPalette::Window, color);
    viewport()->setPalette(pal);
    viewport()->update();
}

bool CGridCtrl::SetImageList(const QString& path, QSize imageSize) {
    images_.clear();
    QPixmap strip(path);
    if (strip.isNull() || imageSize.isEmpty()) return false;
    strip.setMask(strip.createMaskFromColor(Qt::white, Qt::MaskInColor));
    for (int x = 0; x + imageSize.width() <= strip.width(); x += imageSize.width()) {
        images_.push_back(strip.copy(QRect(QPoint(x, 0), imageSize)));
    }
    viewport()->update();
    return !images_.empty();
}

void CGridCtrl::SetImages(std::vector<QPixmap> images) {
    images_ = std::move(images);
    viewport()->update();
}

const QPixmap* CGridCtrl::Image(int index) const {
    if (index < 0 || index >= static_cast<int>(images_.size())) return nullptr;
    return &images_[static_cast<size_t>(index)];
}

int CGridCtrl::InsertRow() {
    return model_->AppendRow() + 1;
}

void CGridCtrl::DeleteNonFixedRows() {
    hoverRow_ = -1;
    model_->Clear();
}

void CGridCtrl::SetItemText(int row, int column, const QString& text) {
    if (GridCell* cell = model_->MutableCell(row - 1, column)) {
        cell->text = text;
        model_->Changed(row - 1, column);
    }
}

QString CGridCtrl::GetItemText(int row, int column) const {
    if (row == 0) return GetHeading(column);
    const GridCell* cell = model_->Cell(row - 1, column);
    return cell ? cell->text : QString();
}

void CGridCtrl::SetItemFgColour(int row, int column, const QColor& colour) {
    if (GridCell* cell = model_->MutableCell(row - 1, column)) {
        cell->colour = colour;
        model_->Changed(row - 1, column);
    }
}

QColor CGridCtrl::GetItemFgColour(int row, int column) const {
    const GridCell* cell = model_->Cell(row - 1, column);
    if (cell == nullptr) return {};
    return cell->colour.isValid() ? cell->colour : bodyText_;
}

void CGridCtrl::SetItemData(int row, int column, qint64 data) {
    if (GridCell* cell = model_->MutableCell(row - 1, column)) cell->data = data;
}

qint64 CGridCtrl::GetItemData(int row, int column) const {
    const GridCell* cell = model_->Cell(row - 1, column);
    return cell ? cell->data : 0;
}

void CGridCtrl::SetItemImage(int row, int column, int image) {
    if (GridCell* cell = model_->MutableCell(row - 1, column)) {
        cell->image = image;
        model_->Changed(row - 1, column);
    }
}

int CGridCtrl::GetItemImage(int row, int column) const {
    const GridCell* cell = model_->Cell(row - 1, column);
    return cell ? cell->image : -1;
}

void CGridCtrl::SetCheck(int row, bool ticked) {
    if (row == 0) {
        headingChecked_ = ticked;
        if (redraw_) header_->viewport()->update(HeadingRect(0));
        return;
    }
    if (GridCell* cell = model_->MutableCell(row - 1, 0)) {
        cell->checked = ticked;
        model_->Changed(row - 1, 0);
    }
}

bool CGridCtrl::GetCheck(int row) const {
    if (row == 0) return headingChecked_;
    const GridCell* cell = model_->Cell(row - 1, 0);
    return cell != nullptr && cell->checked;
}

void CGridCtrl::SetRedraw(bool on) {
    if (on == redraw_) return;
    redraw_ = on;
    if (!on) {
        setUpdatesEnabled(false);
        model_->BeginBatch();
        return;
    }
    model_->EndBatch();
    setUpdatesEnabled(true);
    header_->viewport()->update();
    viewport()->update();
}

void CGridCtrl::RedrawCell(int row, int column) {
    if (!redraw_) return;
    if (row == 0) {
        header_->viewport()->update(HeadingRect(column));
    } else {
        viewport()->update(CellRect(row, column));
    }
}

void CGridCtrl::SetEditableColumn(int column) {
    editableColumn_ = column;
}

void CGridCtrl::SetEditable(bool editable) {
    editable_ = editable;
}

bool CGridCtrl::EditCell(int row, int column) {
    if (!editable_ || column != editableColumn_ || row < 1 || row >= GetRowCount()) return false;
    const QModelIndex index = model_->index(row - 1, column);
    setCurrentIndex(index);
    edit(index);
    return state() == QAbstractItemView::EditingState;
}

QRect CGridCtrl::HeadingRect(int column) const {
    const int x = header_->sectionViewportPosition(column);
    return QRect(x, 0, header_->sectionSize(column), header_->height());
}

QRect CGridCtrl::CellRect(int row, int column) const {
    if (row < 1) return {};
    return visualRect(model_->index(row - 1, column));
}

QRect CGridCtrl::CheckBoxRect(const QRect& cell) const {
    return QRect(cell.center().x() - grid_detail::kCheckBoxSize / 2 + 1,
                 cell.center().y() - grid_detail::kCheckBoxSize / 2 + 1, grid_detail::kCheckBoxSize,
                 grid_detail::kCheckBoxSize);
}

bool CGridCtrl::viewportEvent(QEvent* event) {
    // Title tips: a text cut short by its column shows whole under the
    // mouse.
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        const GridCell* cell =
            index.isValid() ? model_->Cell(index.row(), index.column()) : nullptr;
        const int room = columnWidth(index.column()) - 2 * grid_detail::kTextPadding;
        if (cell != nullptr && !cell->text.isEmpty() &&
            fontMetrics().horizontalAdvance(cell->text) > room) {
            QToolTip::showText(help->globalPos(), cell->text, viewport(), visualRect(index));
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    if (event->type() == QEvent::Leave && hoverRow_ != -1) {
        hoverRow_ = -1;
        viewport()->update();
    }
    return QTableView::viewportEvent(event);
}

void CGridCtrl::mouseMoveEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    const int row = index.isValid() ? index.row() : -1;
    if (row != hoverRow_) {
        hoverRow_ = row;
        viewport()->update();
    }
    QTableView::mouseMoveEvent(event);
}

void CGridCtrl::leaveEvent(QEvent* event) {
    if (hoverRow_ != -1) {
        hoverRow_ = -1;
        viewport()->update();
    }
    QTableView::leaveEvent(event);
}

}  // namespace kestrix
