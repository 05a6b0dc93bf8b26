#include "controls/TButtonPicture.h"

#include <QPainter>

namespace kestrix {

CTButtonPicture::CTButtonPicture(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

void CTButtonPicture::SetImages(const QString& normalPath, const QString& downPath) {
    normal_ = QPixmap(normalPath);
    down_ = downPath.isEmpty() ? normal_ : QPixmap(downPath);
    updateGeometry();
    update();
}

void CTButtonPicture::SetSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

void CTButtonPicture::SetTextColors(const QColor& normal, const QColor& down) {
    textColor_ = normal;
    downTextColor_ = down;
    update();
}

void CTButtonPicture::SetTextLeftMargin(int leftMargin) {
    leftMargin_ = leftMargin;
    update();
}

void CTButtonPicture::SetTextCentred() {
    leftMargin_ = -1;
    update();
}

QSize CTButtonPicture::sizeHint() const {
    if (!normal_.isNull()) return normal_.deviceIndependentSize().toSize();
    return QAbstractButton::sizeHint().expandedTo(QSize(80, 28));
}

void CTButtonPicture::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CTButtonPicture::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CTButtonPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const bool pressed = DrawsPressed();
    const QPixmap& picture = pressed ? down_ : normal_;
    if (!picture.isNull()) p.drawPixmap(rect(), picture);
    // A light veil under the pointer tells the operator what will react.
    if (hovered_ && isEnabled() && !pressed) p.fillRect(rect(), QColor(255, 255, 255, 40));
    if (!isEnabled()) p.fillRect(rect(), QColor(255, 255, 255, 110));

    if (text().isEmpty()) return;
    p.setFont(font());
    p.setPen(pressed ? downTextColor_ : textColor_);
    // A text longer than the button (a long translation) ends in "..."
    // rather than being cut off mid-letter.
    if (leftMargin_ >= 0) {
        QRect r = rect().adjusted(leftMargin_, 0, -4, 0);
        const QString shown = p.fontMetrics().elidedText(text(), Qt::ElideRight, r.width());
        p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    } else {
        QRect r = rect().adjusted(4, 0, -4, 0);
        const QString shown = p.fontMetrics().elidedText(text(), Qt::ElideRight, r.width());
        p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, shown);
    }
}

}  // namespace kestrix
