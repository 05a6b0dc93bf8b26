#pragma once
// The three walks that put a window's texts into the operator's language.
// Each text passes through TranslateText; a widget is translated at most
// once however often its dialog asks.

class QComboBox;
class QMenu;
class QWidget;

namespace kestrix {

// Translates the window title of `dialog` and the texts of its descendants
// (labels, buttons, group boxes, combo-box items). Widgets that show the
// operator's or a device's data keep their texts, with everything inside
// them: line and text edits, spin boxes and date editors, item views (list,
// table, tree), progress bars, the IPv4 address editor (a class named
// CTIpAddressEdit) and any widget with the property "kxKeepText" set to
// true. A text "..." stays as it is; an empty
// translation is not applied.
void TranslateDialog(QWidget* dialog);

// Translates every item of `menu` and of its sub-menus (separators skipped).
void TranslateMenu(QMenu* menu);

// Translates every item of `combo`, keeping each item's data and the
// selection.
void TranslateComboItems(QComboBox* combo);

// True once TranslateDialog has handled `widget`.
bool IsTranslated(const QWidget* widget);

}  // namespace kestrix
