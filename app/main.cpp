// The desktop application's entry point.

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <string>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include "app/KestrixApp.h"
#include "shell/ApplicationDlg.h"
#include "shell/Styling.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char byte = 1;
    (void)!::write(g_signalPipe[1], &byte, 1);
}

// A session that ends, or a terminal's Ctrl+C, closes the main window as
// Close does, so the devices still get their Release and data.mdb goes.
void RouteTerminationSignals(kestrix::CKestrixApp& app) {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [&app] {
        char buffer[16];
        while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        if (kestrix::CApplicationDlg* window = app.MainWindow()) window->EndDialog(1);
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}

// Milliseconds since this process was started by the kernel (the start
// time in /proc is counted in clock ticks since boot).
long MillisecondsSinceProcessStart() {
    std::ifstream in("/proc/self/stat");
    std::string line;
    if (!std::getline(in, line)) return -1;
    size_t paren = line.rfind(')');
    if (paren == std::string::npos) return -1;
    // Field 22 (starttime) is the 20th after the state field.
    std::string rest = line.substr(paren + 2);
    size_t pos = 0;
    for (int field = 3; field < 22 && pos != std::string::npos; ++field) {
        pos = rest.find(' ', pos);
        if (pos != std::string::npos) ++pos;
    }
    if (pos == std::string::npos) return -1;
    const double startTicks = std::strtod(rest.c_str() + pos, nullptr);
    const double ticksPerSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = static_cast<double>(now.tv_sec) * 1000.0 + now.tv_nsec / 1e6;
    return static_cast<long>(nowMs - startTicks * 1000.0 / ticksPerSecond);
}

}  // namespace

int main(int argc, char** argv) {
    kestrix::CKestrixApp app;
    // A second copy ends here: no window, no message.
    if (!app.ClaimSingleInstance()) return 0;

    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrix"));
    QApplication::setDesktopFileName(QStringLiteral("kestrix"));
    // The main window is hidden while it sits in the tray; closing a message
    // box then must not end the application.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setStyle(kestrix::MakeApplicationStyle());
    RouteTerminationSignals(app);

    // KESTRIX_MEASURE_STARTUP=1: print the time from process start to the
    // first paint of the main window, then close it as Close would.
    if (const char* measure = std::getenv("KESTRIX_MEASURE_STARTUP"); measure && *measure == '1') {
        app.SetStartupHook([](kestrix::CApplicationDlg& window) {
            window.SetFirstPaintHook([&window] {
                std::printf("kestrix: main window shown %ld ms after process start\n",
                            MillisecondsSinceProcessStart());
                std::fflush(stdout);
                QTimer::singleShot(0, &window, [&window] { window.EndDialog(1); });
            });
        });
    }
    return app.InitInstance();
}
