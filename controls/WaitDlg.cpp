#include "controls/WaitDlg.h"

#include <QPainter>
#include <QProgressBar>

#include "controls/TButtonPicture.h"

namespace kestrix {

namespace {
constexpr int kWidth = 380;
constexpr int kHeight = 76;
constexpr int kCloseSize = 20;
}  // namespace

CWaitDlg::CWaitDlg(int seconds, bool researchFlag, int researchCount, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      schedule_(seconds, researchFlag, researchCount) {
    setObjectName(QStringLiteral("waitDialog"));
    setModal(true);
    setFixedSize(kWidth, kHeight);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("waitProgress"));
    progress_->setRange(0, schedule_.Total());
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setGeometry(24, (kHeight - 16) / 2 + 4, kWidth - 48, 16);
    close_ = new CTButtonPicture(this);
    close_->setObjectName(QStringLiteral("waitClose"));
    close_->setGeometry(kWidth - kCloseSize - 4, 4, kCloseSize, kCloseSize);
    close_->setCursor(Qt::PointingHandCursor);
    connect(close_, &QAbstractButton::clicked, this, [this] { reject(); });

    timer_.setInterval(WaitSchedule::kTickMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

void CWaitDlg::SetCloseImage(const QString& path) {
    close_->SetImages(path);
}

void CWaitDlg::SetBackground(const QColor& color) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, color);
    setPalette(pal);
    setAutoFillBackground(true);
}

void CWaitDlg::Tick() {
    const WaitSchedule::Step step = schedule_.Tick();
    if (step.releaseAnnounced && releaseAnnounced_) releaseAnnounced_();
    if (step.search && search_) search_();
    progress_->setValue(step.position);
    if (step.finished) accept();
}

void CWaitDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!started_) {
        started_ = true;
        timer_.start();
    }
}

void CWaitDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // Frameless: a thin border keeps it apart from the page behind it.
    QPainter p(this);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CWaitDlg::done(int result) {
    timer_.stop();
    QDialog::done(result);
}

}  // namespace kestrix
