#include "app/KestrixApp.h"

#include <chrono>
#include <cstdio>

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include "app/PageRegistry.h"
#include "base/language.h"
#include "base/os_utils.h"
#include "base/user_paths.h"
#include "fleet/action_workers.h"
#include "link/device_link.h"
#include "shell/ApplicationDlg.h"
#include "shell/Styling.h"
#include "store/sql_management.h"

namespace kestrix {

namespace {

CKestrixApp* g_current = nullptr;

// How long shutdown waits for page workers that are still sending. They
// were asked to stop; a send with its retries registered takes milliseconds.
constexpr std::chrono::milliseconds kWorkerGrace{2000};

QString Tr(const char* key) {
    return ToQString(TranslateText(key));
}

// The store reports its own failures through this hook; they may come from
// a link thread, so the box is always shown by the interface thread.
void ShowStoreMessage(const std::string& text) {
    const QString message = ToQString(text);
    auto show = [message] {
        QWidget* parent = g_current ? g_current->MainWindow() : nullptr;
        QMessageBox::warning(parent, QString(), message);
    };
    if (QThread::currentThread() == qApp->thread()) {
        show();
    } else {
        QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
    }
}

}  // namespace

CKestrixApp::CKestrixApp() {
    g_current = this;
}

CKestrixApp::~CKestrixApp() {
    if (g_current == this) g_current = nullptr;
}

bool CKestrixApp::ClaimSingleInstance() {
    instanceLock_ = std::make_unique<SingleInstanceLock>();
    // A lock file that cannot be opened proves no other copy: carry on.
    return instanceLock_->Acquire() != SingleInstanceLock::Result::HeldElsewhere;
}

int CKestrixApp::InitInstance() {
    if (!instanceLock_ && !ClaimSingleInstance()) return 0;

    // The program folder holds what the program reads; an installed copy
    // writes into the user's folders and may take the user's Setting.ini.
    const UserPaths& paths = CurrentUserPaths();
    const std::string& dir = paths.programDir;
    InitLanguage(dir);
    context_.appearance = LoadAppearanceSettings(paths.settingsDir);
    context_.skin = BuildSkinPaths(dir, CurrentLocaleId());
    linkSettings_ = LoadLinkSettings(paths.settingsDir);
    qApp->setWindowIcon(QIcon(ToQString(context_.skin.applicationIcon)));
    // Message boxes and menus in the face of the settings, too.
    QApplication::setFont(MakeFont(context_.appearance.StaticFont()));

    // The store is built before the link, so it is torn down after it: the
    // link's threads write into the store until the link has stopped.
    CSqlManagement::SetMessageHook(ShowStoreMessage);
    // An unwritable folder leaves the path as it is, and the store reports
    // that it cannot open the database as it always has.
    if (paths.installed) EnsureUserFolder(paths.scratchDir);
    CSqlManagement::SetDatabasePath(paths.scratchDir + "data.mdb");
    context_.store = &CSqlManagement::GetInstance();
    context_.link = &DeviceLink::Instance();
    DeviceLink& link = *context_.link;
    link.SetStore(context_.store);
    link.SetAdapterAllowList(linkSettings_.adapters);
    const bool started =
        link.Start(linkSettings_.retransmission_max, linkSettings_.retransmission_interval);

    {
        CApplicationDlg window(context_, RegisteredPages());
        mainWindow_ = &window;
        if (startupHook_) startupHook_(window);
        // The warning comes once the window stands, so it has a parent.
        QTimer::singleShot(0, &window, [this, started] { WarnAboutLinkStart(started); });
        window.RunModal();
        mainWindow_ = nullptr;
    }

    // The pages are gone and have asked their workers to stop; give a worker
    // caught in the middle of a send a moment to finish before the link goes.
    ActionWorkers::WaitForRunningWorkers(kWorkerGrace);

    // Link first: its threads stop and every device it still tracks gets a
    // Release. The store (and its file) goes when the process ends.
    link.Shutdown();
    return 0;
}

QString LinkStartWarning(bool started, uint16_t failedPort) {
    if (failedPort != 0) {
        // The port number is put in by hand, never through printf: the
        // format comes from a language file.
        QString text =
            Tr("Port %d could not be opened, so devices cannot be found or answer. Another "
               "program is probably using it, for example another device management tool. "
               "Close that program and start this one again.");
        return text.replace(QStringLiteral("%d"), QString::number(failedPort));
    }
    if (!started) {
        return Tr("The device link could not be started completely. Devices may not be found.");
    }
    return {};
}

void CKestrixApp::WarnAboutLinkStart(bool started) {
    if (!context_.link) return;
    const QString text = LinkStartWarning(started, context_.link->FailedPort());
    if (text.isEmpty()) return;
    // Also for an operator who started us from a terminal.
    std::fprintf(stderr, "kestrix: %s\n", text.toLocal8Bit().constData());
    // Not blocking: the window stays live behind the box.
    auto* box =
        new QMessageBox(QMessageBox::Warning, QString(), text, QMessageBox::Ok, mainWindow_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace kestrix
