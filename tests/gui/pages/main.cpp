// Runs the pages' Qt tests in one offscreen application.

#include <QApplication>
#include <QTest>

#include "tests/gui/pages/pages_test.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    PagesTest pages;
    return QTest::qExec(&pages, argc, argv) == 0 ? 0 : 1;
}
