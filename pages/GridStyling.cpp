#include "pages/GridStyling.h"

#include "controls/GridCtrl.h"
#include "shell/Styling.h"

namespace kestrix {

void ApplyGridAppearance(const AppearanceSettings& a, const SkinPaths& skin, CGridCtrl* grid) {
    grid->SetHeadingStyle(MakeFont(a.gridTitleFont), ToQColor(a.GridTitleTextColor),
                          ToQColor(a.GridTitleBkColor), kGridHeadingHeight);
    grid->SetBodyStyle(MakeFont(a.gridFont), ToQColor(a.GridTextColor), a.gridRowHeight);
    grid->SetLineColor(ToQColor(a.LineColor));
    grid->SetBackgroundColor(ToQColor(a.ChildBkColor));
    grid->SetImageList(ToQString(skin.gridImages));
}

void StyleGridHeading(const AppearanceSettings&, CGridCtrl* grid, int column, const QString& text) {
    // Font and colours are the grid's heading style, set once for all
    // headings by ApplyGridAppearance.
    grid->SetHeading(column, text);
}

void StyleGridCell(const AppearanceSettings&, CGridCtrl* grid, int row, int column,
                   const QString& text) {
    grid->SetItemText(row, column, text);
    grid->SetItemFgColour(row, column, QColor());
}

void StyleGridCellPending(const AppearanceSettings& a, CGridCtrl* grid, int row, int column,
                          const QString& text) {
    grid->SetItemText(row, column, text);
    grid->SetItemFgColour(row, column, ToQColor(a.TextUnlineColor));
}

void StyleGridCellOnline(const AppearanceSettings& a, CGridCtrl* grid, int row, int column,
                         const QString& text) {
    grid->SetItemText(row, column, text);
    grid->SetItemFgColour(row, column, ToQColor(a.TextOnlineColor));
}

}  // namespace kestrix
