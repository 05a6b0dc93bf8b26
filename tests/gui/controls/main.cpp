// Runs the controls' Qt tests in one offscreen application.

#include <QApplication>
#include <QTest>

#include "tests/gui/controls/controls_test.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ControlsTest controls;
    return QTest::qExec(&controls, argc, argv) == 0 ? 0 : 1;
}
