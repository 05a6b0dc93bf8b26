#pragma once
// The application object: start-up in its fixed order, the settings and
// pointers the windows and pages reach through it, and shutdown.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QString>

#include "shell/appearance.h"
#include "shell/os_utils.h"
#include "shell/single_instance.h"

class QWidget;

namespace kestrix {

class CApplicationDlg;
class CSqlManagement;
class DeviceLink;

class CKestrixApp {
public:
    CKestrixApp();
    ~CKestrixApp();
    CKestrixApp(const CKestrixApp&) = delete;
    CKestrixApp& operator=(const CKestrixApp&) = delete;

    // Takes the single-instance lock; false when another copy holds it.
    // Called before the toolkit starts, so a second copy ends at once.
    bool ClaimSingleInstance();
    // Runs start-up, the main window modally, and shutdown. Returns the
    // process exit code (0 also for a second copy, which ends silently).
    int InitInstance();
    // Called with the main window before it is shown (start-up measurement).
    void SetStartupHook(std::function<void(CApplicationDlg&)> hook) {
        startupHook_ = std::move(hook);
    }

    // For the windows and pages.
    const AppearanceSettings& Appearance() const { return appearance_; }
    const SkinPaths& Skin() const { return skin_; }
    DeviceLink* Link() const { return link_; }
    CSqlManagement* Store() const { return store_; }
    CApplicationDlg* MainWindow() const { return mainWindow_; }
    COperateSystemInfo& SystemInfo() { return systemInfo_; }

    // Tests build windows without running start-up: they set what the
    // windows read.
    void SetAppearance(AppearanceSettings appearance) { appearance_ = std::move(appearance); }
    void SetSkin(SkinPaths skin) { skin_ = std::move(skin); }
    void SetMainWindow(CApplicationDlg* window) { mainWindow_ = window; }

    // The one application object, or nullptr outside the application.
    static CKestrixApp* Current();

private:
    void WarnAboutLinkStart(bool started);

    COperateSystemInfo systemInfo_;
    std::unique_ptr<SingleInstanceLock> instanceLock_;
    AppearanceSettings appearance_;
    SkinPaths skin_;
    DeviceLink* link_ = nullptr;
    CSqlManagement* store_ = nullptr;
    CApplicationDlg* mainWindow_ = nullptr;
    std::function<void(CApplicationDlg&)> startupHook_;
};

// The warning for a link that did not start completely (empty when it
// did): names the port that could not be opened.
QString LinkStartWarning(bool started, uint16_t failedPort);

// Shorthand for CKestrixApp::Current(), which windows use everywhere.
CKestrixApp* App();

// Appearance and skin of the running application; without an application
// object, those of the program's own folder.
const AppearanceSettings& CurrentAppearance();
const SkinPaths& CurrentSkin();

}  // namespace kestrix
