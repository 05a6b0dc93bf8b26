#pragma once
// The application object: start-up in its fixed order, the settings and
// pointers the windows and pages reach through it, and shutdown.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QString>

#include "base/link_settings.h"
#include "base/single_instance.h"
#include "shell/AppContext.h"

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

    // What the windows and pages are made with; filled by start-up.
    const AppContext& Context() const { return context_; }
    // The main window while it runs (the termination signals close it).
    CApplicationDlg* MainWindow() const { return mainWindow_; }

private:
    void WarnAboutLinkStart(bool started);

    std::unique_ptr<SingleInstanceLock> instanceLock_;
    AppContext context_;
    LinkSettings linkSettings_;
    CApplicationDlg* mainWindow_ = nullptr;
    std::function<void(CApplicationDlg&)> startupHook_;
};

// The warning for a link that did not start completely (empty when it
// did): names the port that could not be opened.
QString LinkStartWarning(bool started, uint16_t failedPort);

}  // namespace kestrix
