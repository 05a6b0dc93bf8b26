#pragma once
// What every window and page is handed when it is made: the settings and
// skin of the running program, its link and store, and the seams through
// which tests give fakes (the rows of the device lists, the status page's
// link, the system tool's adapters, the message boxes, the URL opener, the
// save dialog). Whoever makes the windows owns it and keeps it alive
// longer than any of them.

#include <functional>
#include <memory>
#include <vector>

#include <QString>
#include <QUrl>

#include "base/appearance.h"
#include "fleet/validation.h"
#include "link/adapters.h"

class QWidget;

namespace kestrix {

class CSqlManagement;
class DeviceLink;
class DeviceListSource;
class StatusLink;

struct AppContext {
    AppearanceSettings appearance;
    SkinPaths skin;
    // Either may be missing (a window built in a test): nothing is sent
    // and the lists stay empty then.
    DeviceLink* link = nullptr;
    CSqlManagement* store = nullptr;

    // ---- Test seams; empty in the application ----
    // Where the device lists' rows come from instead of store and link.
    std::shared_ptr<DeviceListSource> deviceSource;
    // Where the status page's searches and commands go instead.
    std::shared_ptr<StatusLink> statusLink;
    // The system tool page's adapters instead of the link's.
    std::function<std::vector<AdapterRecord>()> adapters;
    // With a hook, no message box is shown: it gets the kind (kNone for a
    // question) and the text, and gives the answer to a question.
    std::function<bool(MessageKind kind, const QString& text)> messageHook;
    // Opens an address (help pages, a device's web page); the desktop's
    // browser when empty.
    std::function<void(const QUrl&)> urlOpener;
    // Asks where to save a file; a file dialog when empty.
    std::function<QString(QWidget* parent, const QString& suggested)> saveFileChooser;
};

// Opens `url` through the context's opener, else the desktop's browser.
// A failure to open is not reported: the operator sees that nothing opened.
void OpenAddress(const AppContext& context, const QUrl& url);

}  // namespace kestrix
