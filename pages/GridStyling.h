#pragma once
// The appearance settings applied to a device grid: heading font and
// colours, body font and text colour, row height, line and background
// colours and the image strip. The cell helpers colour one body cell in
// the grid text colour, or in the colour of an announced-only device or of
// a device's status.

#include <QString>

#include "base/appearance.h"

namespace kestrix {

class CGridCtrl;

inline constexpr int kGridHeadingHeight = 34;

void ApplyGridAppearance(const AppearanceSettings& a, const SkinPaths& skin, CGridCtrl* grid);
void StyleGridHeading(const AppearanceSettings& a, CGridCtrl* grid, int column,
                      const QString& text);
void StyleGridCell(const AppearanceSettings& a, CGridCtrl* grid, int row, int column,
                   const QString& text);
void StyleGridCellPending(const AppearanceSettings& a, CGridCtrl* grid, int row, int column,
                          const QString& text);
void StyleGridCellOnline(const AppearanceSettings& a, CGridCtrl* grid, int row, int column,
                         const QString& text);

}  // namespace kestrix
