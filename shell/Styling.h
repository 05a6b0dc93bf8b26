#pragma once
// The appearance settings turned into Qt fonts, colours and backgrounds,
// and the styling helpers every page and dialog uses for its buttons and
// labels, so that one edited Setting.ini re-colours the whole application.

#include <QColor>
#include <QFont>
#include <QString>

#include "base/appearance.h"

class QIcon;
class QLabel;
class QMenu;
class QStyle;
class QWidget;

namespace kestrix {

class CTButtonPicture;

QColor ToQColor(const RgbColor& c);

// A font from a description whose height is the character-cell height in
// pixels (a negative height is the character height itself; 0 the default
// size) and whose weight is 0 (default) or 1..1000 (700 bold).
QFont MakeFont(const FontDescription& d);

// The menu-panel button style: text, menu font and colours, left-aligned
// text starting 52 pixels from the left edge.
void StyleMenuButton(const AppearanceSettings& a, const QString& text, CTButtonPicture* button);
// Every other picture button: button font and colours, centred text.
void StyleButton(const AppearanceSettings& a, const QString& text, CTButtonPicture* button);
// A static label: static font and colours on a transparent background; with
// `numberColor` the text takes StaticTextNumberColor (count and version
// labels).
void StyleStaticLabel(const AppearanceSettings& a, QLabel* label, bool numberColor = false);

// Fills `widget` with ChildBkColor, and with the picture at `imagePath`
// over it when the file exists.
void ApplyBackground(const AppearanceSettings& a, QWidget* widget, const QString& imagePath = {});

QString ToQString(const std::string& text);

// An icon from a skin picture whose white is transparent (the convention of
// the skin's small pictures).
QIcon PictureIcon(const QString& path);

// The look of the pop-up menus (help, tray): white, roomy, the accent on the
// item under the pointer.
void StylePopupMenu(QMenu* menu);

// The application's widget style: Fusion, with tooltips that appear after
// half a second.
QStyle* MakeApplicationStyle();

}  // namespace kestrix
