#pragma once
// Driving the status page as an operator does: its modal dialogs, the
// in-place rename of a Location cell, finding a device's row (on the other
// list pages too).

#include <functional>
#include <memory>
#include <string>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "controls/GridCtrl.h"
#include "pages/DeviceListDlg.h"
#include "tests/support/grid_clicks.h"

namespace kestrix::testing {

inline constexpr int kStatusLocationColumn = 2;
inline constexpr int kStatusMacColumn = 5;

// Runs `drive` on the dialog of type T that the next action opens modally,
// then closes whatever modal dialog is still open, so that a failed check
// never leaves the test waiting on a dialog. Seen() tells whether one came.
template <class T>
class WhenModal {
public:
    explicit WhenModal(std::function<void(T*)> drive) : state_(std::make_shared<State>()) {
        QTimer::singleShot(0, qApp, [state = state_, drive = std::move(drive)] {
            QWidget* modal = QApplication::activeModalWidget();
            state->fired = true;
            if (T* dialog = qobject_cast<T*>(modal)) {
                state->seen = true;
                drive(dialog);
            }
            if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                open->reject();
        });
    }
    bool Seen() const { return state_->seen; }
    // For an action that should open nothing: lets the check run.
    void Settle() const { QTRY_VERIFY(state_->fired); }

private:
    struct State {
        bool fired = false;
        bool seen = false;
    };
    std::shared_ptr<State> state_;
};

// Opens the Location editor of `row` as an operator does (a click on the
// cell, then a double click), types `text` over the name and confirms.
inline void RenameRow(CGridCtrl* grid, int row, const QString& text) {
    ClickCell(grid, row, kStatusLocationColumn);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {},
                       grid->CellRect(row, kStatusLocationColumn).center());
    auto* editor = grid->viewport()->findChild<QLineEdit*>();
    QVERIFY2(editor, "the Location editor did not open");
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(grid->viewport()->findChild<QLineEdit*>() == nullptr);
    // The checks run once the grid has finished with its editor.
    QCoreApplication::processEvents();
}

// The row of `mac`, 0 when it is not listed: on the status page's grid, or
// on any list page by its MAC column.
inline int RowOfMac(CGridCtrl* grid, const std::string& mac, int column = kStatusMacColumn) {
    return static_cast<int>(GridColumn(grid, column).indexOf(QString::fromStdString(mac))) + 1;
}
inline int RowOfMac(const CDeviceListDlg& page, const std::string& mac) {
    return RowOfMac(page.Grid(), mac, page.Descriptor().ColumnOf(CellField::kMac));
}

}  // namespace kestrix::testing
