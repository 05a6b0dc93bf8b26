#pragma once
// Reading and clicking a device grid as an operator would.

#include <QHeaderView>
#include <QStringList>
#include <QTest>

#include "controls/GridCtrl.h"

namespace kestrix::testing {

// The texts of one column, data rows top to bottom.
inline QStringList GridColumn(CGridCtrl* grid, int column) {
    QStringList texts;
    for (int r = 1; r < grid->GetRowCount(); ++r) texts << grid->GetItemText(r, column);
    return texts;
}

// Wide lists scroll sideways; a heading or cell is brought into view before
// it is clicked.
inline void ClickHeading(CGridCtrl* grid, int column) {
    if (grid->model()->rowCount() > 0) grid->scrollTo(grid->model()->index(0, column));
    QTest::mouseClick(grid->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      grid->HeadingRect(column).center());
}

inline void ClickCell(CGridCtrl* grid, int row, int column) {
    grid->scrollTo(grid->model()->index(row - 1, column));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(row, column).center());
}

}  // namespace kestrix::testing
