#pragma once
// The menu panel: eight picture buttons that switch the page container's
// page, the one of the visible page drawn pressed, and the version label.

#include <array>

#include <QWidget>

#include "shell/AppContext.h"
#include "shell/skin_geometry.h"

class QLabel;

namespace kestrix {

class CTButtonPicture;

class CMenuDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = skin::kSideWidth;
    static constexpr int kButtonHeight = skin::kMenuButtonHeight;
    static constexpr int kButtonCount = 8;

    CMenuDlg(const AppContext& context, QWidget* parent = nullptr);

    // Selects "Device status", as if clicked.
    void SelectFirstPage();
    // A menu button's click: marks it selected (and no other) and shows its
    // page in the main window's page container.
    void OnMenuItem(int index);

    // The page id of each button, top to bottom.
    static int PageIdAt(int index);
    CTButtonPicture* Button(int index) const { return buttons_[static_cast<size_t>(index)]; }
    QLabel* VersionLabel() const { return version_; }

private:
    std::array<CTButtonPicture*, kButtonCount> buttons_{};
    QLabel* version_ = nullptr;
};

}  // namespace kestrix
