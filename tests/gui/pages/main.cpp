// Runs the controls' and the pages' Qt tests in one offscreen application.

#include <QApplication>
#include <QTest>

#include "tests/gui/pages/controls_test.h"
#include "tests/gui/pages/pages_test.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failed = 0;
    {
        ControlsTest controls;
        failed += QTest::qExec(&controls, argc, argv);
    }
    {
        PagesTest pages;
        failed += QTest::qExec(&pages, argc, argv);
    }
    return failed == 0 ? 0 : 1;
}
