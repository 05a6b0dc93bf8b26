#include "controls/TMultiPages.h"

#include <QMouseEvent>
#include <QPainter>

#include "controls/logic/page_strip.h"

namespace kestrix {

namespace {
const QColor kFrame(136, 136, 136);
const QColor kHover(187, 187, 187);
constexpr int kMinButtonWidth = 32;
constexpr int kNarrowText = 24;
constexpr int kTextMargin = 8;

QString Label(int page) {
    return page == kStripEllipsis ? QStringLiteral("...") : QString::number(page);
}
}  // namespace

CTMultiPages::CTMultiPages(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CTMultiPages::SetPages(int current, int count) {
    count_ = std::max(count, 0);
    current_ = StripCurrentPage(current, count_);
    hover_ = -1;
    pressed_ = -1;
    Layout();
    update();
}

void CTMultiPages::SetBackground(const QColor& color) {
    background_ = color;
    update();
}

QFont CTMultiPages::ButtonFont(int page) const {
    QFont f = font();
    if (page == current_ && page != kStripEllipsis) f.setBold(true);
    return f;
}

void CTMultiPages::Layout() {
    buttons_.clear();
    int total = 0;
    for (int page : PageStripSlots(current_, count_)) {
        const int text = QFontMetrics(ButtonFont(page)).horizontalAdvance(Label(page));
        const int width = text < kNarrowText ? kMinButtonWidth : text + kTextMargin;
        buttons_.push_back({page, QRect(0, 0, width, kButtonHeight)});
        total += width;
    }
    if (buttons_.empty()) return;
    total += kButtonGap * (static_cast<int>(buttons_.size()) - 1);
    int x = (width() - total) / 2;
    const int y = (height() - kButtonHeight) / 2;
    for (Button& b : buttons_) {
        b.rect.moveTo(x, y);
        x += b.rect.width() + kButtonGap;
    }
}

QStringList CTMultiPages::ButtonTexts() const {
    QStringList texts;
    for (const Button& b : buttons_) texts << Label(b.page);
    return texts;
}

std::vector<QRect> CTMultiPages::ButtonRects() const {
    std::vector<QRect> rects;
    for (const Button& b : buttons_) rects.push_back(b.rect);
    return rects;
}

int CTMultiPages::ButtonAt(const QPoint& pos) const {
    for (size_t i = 0; i < buttons_.size(); ++i) {
        if (buttons_[i].rect.contains(pos)) return static_cast<int>(i);
    }
    return -1;
}

bool CTMultiPages::Clickable(int index) const {
    if (index < 0 || index >= static_cast<int>(buttons_.size())) return false;
    const int page = buttons_[static_cast<size_t>(index)].page;
    return page != kStripEllipsis && page != current_;
}

void CTMultiPages::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), background_);
    for (size_t i = 0; i < buttons_.size(); ++i) {
        const Button& b = buttons_[i];
        const bool plain = b.page == kStripEllipsis || b.page == current_;
        const bool hovered = static_cast<int>(i) == hover_ && !plain;
        p.fillRect(b.rect, hovered ? kHover : QColor(Qt::white));
        if (!plain) {
            p.setPen(kFrame);
            p.drawRect(b.rect.adjusted(0, 0, -1, -1));
        }
        p.setPen(palette().color(QPalette::WindowText));
        p.setFont(ButtonFont(b.page));
        p.drawText(b.rect, Qt::AlignCenter | Qt::TextSingleLine, Label(b.page));
    }
}

void CTMultiPages::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton ? ButtonAt(event->position().toPoint()) : -1;
}

void CTMultiPages::mouseReleaseEvent(QMouseEvent* event) {
    const int index = ButtonAt(event->position().toPoint());
    const bool same = event->button() == Qt::LeftButton && index == pressed_;
    pressed_ = -1;
    if (!same || !Clickable(index)) return;
    const int page = buttons_[static_cast<size_t>(index)].page;
    current_ = page;
    Layout();
    hover_ = ButtonAt(event->position().toPoint());
    setCursor(Clickable(hover_) ? Qt::PointingHandCursor : Qt::ArrowCursor);
    update();
    emit PageSelected(ownerId_, page);
}

void CTMultiPages::mouseMoveEvent(QMouseEvent* event) {
    const int index = ButtonAt(event->position().toPoint());
    if (index == hover_) return;
    hover_ = index;
    setCursor(Clickable(index) ? Qt::PointingHandCursor : Qt::ArrowCursor);
    update();
}

void CTMultiPages::leaveEvent(QEvent*) {
    hover_ = -1;
    unsetCursor();
    update();
}

void CTMultiPages::resizeEvent(QResizeEvent*) {
    Layout();
}

}  // namespace kestrix
