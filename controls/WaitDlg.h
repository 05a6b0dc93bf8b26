#pragma once
// The wait dialog shown while devices restart: a progress bar that fills
// in `seconds`, a small close button, and, when asked for, a few searches
// in the last seconds so that the restarted devices are found again. The
// searches are the caller's (the dialog knows nothing of the link).

#include <functional>

#include <QDialog>
#include <QTimer>

#include "controls/logic/wait_schedule.h"

class QProgressBar;

namespace kestrix {

class CTButtonPicture;

class CWaitDlg : public QDialog {
    Q_OBJECT
public:
    CWaitDlg(int seconds, bool researchFlag, int researchCount, QWidget* parent = nullptr);

    // Called before the first of the closing searches, and for each of them.
    void SetReleaseAnnounced(std::function<void()> call) { releaseAnnounced_ = std::move(call); }
    void SetSearch(std::function<void()> call) { search_ = std::move(call); }
    void SetCloseImage(const QString& path);
    void SetBackground(const QColor& color);

    // One event of the 500 ms clock (tests drive it instead of waiting).
    void Tick();

    const QTimer& Timer() const { return timer_; }
    const WaitSchedule& Schedule() const { return schedule_; }
    QProgressBar* Progress() const { return progress_; }
    CTButtonPicture* CloseButton() const { return close_; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void done(int result) override;

private:
    WaitSchedule schedule_;
    QTimer timer_;
    QProgressBar* progress_ = nullptr;
    CTButtonPicture* close_ = nullptr;
    std::function<void()> releaseAnnounced_;
    std::function<void()> search_;
    bool started_ = false;
};

}  // namespace kestrix
