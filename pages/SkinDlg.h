#pragma once
// The small settings dialogs of the status page in the application's look:
// frameless, a title bar in the grid heading colour with the title and a
// small close button, the page colour below, buttons from the dialogs'
// skin pictures. The title bar moves the dialog. Texts are English keys;
// the concrete dialog translates itself once it has built its controls.

#include <QDialog>
#include <QPoint>

#include "shell/AppContext.h"

class QLabel;
class QVBoxLayout;

namespace kestrix {

class CTButtonPicture;

class CSkinDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTitleHeight = 36;

    CSkinDlg(const AppContext& context, const char* titleKey, QWidget* parent);

    const AppContext& Context() const { return context_; }

    CTButtonPicture* CloseButton() const { return close_; }
    QLabel* TitleLabel() const { return title_; }

protected:
    // Where the dialog's controls go, below the title bar.
    QVBoxLayout* Body() const { return body_; }
    // A button in the dialogs' skin (Save, Cancel).
    CTButtonPicture* MakeButton(const char* textKey, const char* objectName);
    // "Save" and "Cancel" at the bottom right of the body; Cancel closes
    // the dialog (rejected). What Save does is the dialog's own.
    void AddSaveCancel(CTButtonPicture*& save, CTButtonPicture*& cancel);
    // A label in the static-text style.
    QLabel* MakeLabel(const char* textKey, const char* objectName);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const AppContext& context_;
    QLabel* title_ = nullptr;
    CTButtonPicture* close_ = nullptr;
    QVBoxLayout* body_ = nullptr;
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace kestrix
