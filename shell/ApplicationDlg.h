#pragma once
// The main window: caption-less and of fixed size, with the information,
// minimise and close buttons at the top right, the menu panel on the left
// and the page container beside it. It owns the tray icon through which a
// hidden window comes back, and the help menu.

#include <functional>
#include <memory>

#include <QEventLoop>
#include <QIcon>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include "shell/PageBase.h"
#include "shell/skin_geometry.h"

class QLabel;
class QMenu;
class QSystemTrayIcon;

namespace kestrix {

class CChildDlg;
class CMenuDlg;
class CTButtonPicture;

class CApplicationDlg : public QWidget {
    Q_OBJECT
public:
    // Geometry in pixels (shell/skin_geometry.h).
    static constexpr int kWidth = skin::kWindowWidth;
    static constexpr int kHeight = skin::kWindowHeight;
    static constexpr int kMenuTop = skin::kMenuTop;
    static constexpr int kPagesTop = skin::kHeaderHeight;

    // The container makes the pages of `pages` with `context`, which
    // outlives the window.
    CApplicationDlg(const AppContext& context, const PageList& pages, QWidget* parent = nullptr);
    ~CApplicationDlg() override;

    // Shows the window and runs until EndDialog; hiding the window (Min)
    // does not end the run. Returns the result given to EndDialog.
    int RunModal();
    // Ends the run (Close button, tray "Exit").
    void EndDialog(int result);
    bool IsRunning() const { return loop_.isRunning(); }

    CChildDlg* PageContainer() const { return container_; }
    CMenuDlg* MenuPanel() const { return menu_; }

    // The help menu, built and translated afresh each time it opens.
    std::unique_ptr<QMenu> BuildHelpMenu();
    // The tray menu ("Show Utility", "Exit"), built and translated.
    std::unique_ptr<QMenu> BuildTrayMenu();

    // What a help item opens: its key's translation; a text without a
    // scheme that names a file in the program folder becomes a file
    // address; anything else is handed over unchanged.
    // `programDir` ends with a separator.
    static QUrl HelpAddress(const QString& key, const std::string& programDir);

    // Min: hides the window while a tray icon can bring it back; without a
    // tray the window is minimised instead, so it is never stranded.
    void OnMinimize();
    void OnShowFromTray();
    // Whether Min may hide; fixed when the window is built, set by tests.
    void SetTrayAvailable(bool available) { trayAvailable_ = available; }
    bool TrayAvailable() const { return trayAvailable_; }
    QSystemTrayIcon* TrayIcon() const { return tray_; }

    CTButtonPicture* InfoButton() const { return infoButton_; }
    CTButtonPicture* MinButton() const { return minButton_; }
    CTButtonPicture* CloseButton() const { return closeButton_; }

    // Called once when the window is first painted (start-up measurement).
    void SetFirstPaintHook(std::function<void()> hook) { firstPaintHook_ = std::move(hook); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void OnHelpButton();
    void CreateTrayIcon();

    const AppContext& context_;
    QEventLoop loop_;
    QIcon appIcon_;
    QLabel* title_ = nullptr;
    CTButtonPicture* infoButton_ = nullptr;
    CTButtonPicture* minButton_ = nullptr;
    CTButtonPicture* closeButton_ = nullptr;
    CMenuDlg* menu_ = nullptr;
    CChildDlg* container_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    std::unique_ptr<QMenu> trayMenu_;
    bool trayAvailable_ = false;
    std::function<void()> firstPaintHook_;
};

}  // namespace kestrix
