#include "pages/SkinDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "controls/TButtonPicture.h"
#include "shell/Styling.h"

namespace kestrix {

namespace {
constexpr int kCloseSize = 20;
constexpr int kSideMargin = 24;
}  // namespace

CSkinDlg::CSkinDlg(const AppContext& context, const char* titleKey, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), context_(context) {
    const AppearanceSettings& a = Context().appearance;
    setModal(true);
    setWindowTitle(QString::fromUtf8(titleKey));
    ApplyBackground(a, this);
    setAutoFillBackground(true);

    title_ = new QLabel(QString::fromUtf8(titleKey), this);
    title_->setObjectName(QStringLiteral("dialogTitle"));
    StyleStaticLabel(a, title_);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);

    close_ = new CTButtonPicture(this);
    close_->setObjectName(QStringLiteral("dialogClose"));
    close_->SetImages(ToQString(Context().skin.closeConfig));
    connect(close_, &QAbstractButton::clicked, this, [this] { reject(); });

    body_ = new QVBoxLayout(this);
    body_->setContentsMargins(kSideMargin, kTitleHeight + 18, kSideMargin, 18);
    body_->setSpacing(10);
}

CTButtonPicture* CSkinDlg::MakeButton(const char* textKey, const char* objectName) {
    const SkinPaths& skin = Context().skin;
    auto* button = new CTButtonPicture(this);
    button->setObjectName(QString::fromLatin1(objectName));
    button->SetImages(ToQString(skin.btnConfig), ToQString(skin.configBtn));
    StyleButton(Context().appearance, QString::fromUtf8(textKey), button);
    button->setFixedSize(button->sizeHint());
    return button;
}

void CSkinDlg::AddSaveCancel(CTButtonPicture*& save, CTButtonPicture*& cancel) {
    save = MakeButton("Save", "save");
    cancel = MakeButton("Cancel", "cancel");
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(save);
    row->addSpacing(12);
    row->addWidget(cancel);
    body_->addLayout(row);
    connect(cancel, &QAbstractButton::clicked, this, [this] { reject(); });
}

QLabel* CSkinDlg::MakeLabel(const char* textKey, const char* objectName) {
    auto* label = new QLabel(QString::fromUtf8(textKey), this);
    label->setObjectName(QString::fromLatin1(objectName));
    StyleStaticLabel(Context().appearance, label);
    return label;
}

void CSkinDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    title_->setGeometry(14, 0, std::max(width() - 28 - kCloseSize, 0), kTitleHeight);
    close_->setGeometry(width() - kCloseSize - 8, (kTitleHeight - kCloseSize) / 2, kCloseSize,
                        kCloseSize);
}

void CSkinDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    const AppearanceSettings& a = Context().appearance;
    QPainter p(this);
    p.fillRect(QRect(0, 0, width(), kTitleHeight), ToQColor(a.GridTitleBkColor));
    // Frameless: a thin border keeps it apart from the page behind it.
    p.setPen(ToQColor(a.LineColor).darker(115));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CSkinDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && event->position().y() < kTitleHeight) {
        dragging_ = true;
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CSkinDlg::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        move(event->globalPosition().toPoint() - dragOffset_);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CSkinDlg::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QDialog::mouseReleaseEvent(event);
}

}  // namespace kestrix
