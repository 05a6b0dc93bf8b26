#include "shell/MenuDlg.h"

#include <QLabel>

#include "base/language.h"
#include "controls/TButtonPicture.h"
#include "fleet/page_ids.h"
#include "shell/ApplicationDlg.h"
#include "shell/ChildDlg.h"
#include "shell/Styling.h"
#include "shell/TranslateWidgets.h"

namespace kestrix {

namespace {

struct MenuItem {
    int controlId;
    const char* key;
    int pageId;
    bool searchPicture;  // the status page's button has pictures of its own
};

constexpr MenuItem kMenuItems[CMenuDlg::kButtonCount] = {
    {1004, "Device status", kStatusPageId, true},
    {1007, "Device management", kManagementPageId, false},
    {1003, "Device bridge", kBridgePageId, false},
    {1009, "Device reboot", kRebootPageId, false},
    {1006, "Device upgrade", kUpgradePageId, false},
    {1005, "Device restore", kRestorePageId, false},
    {1001, "System tool", kSystemToolPageId, false},
    {1008, "Install Help", kInstallHelpPageId, false},
};

// The version label sits at the foot of the panel.
constexpr int kVersionBottomMargin = 27;

}  // namespace

CMenuDlg::CMenuDlg(const AppContext& context, QWidget* parent) : QWidget(parent) {
    const AppearanceSettings& a = context.appearance;
    const SkinPaths& skin = context.skin;
    setObjectName(QStringLiteral("menuPanel"));

    TranslateDialog(this);
    ApplyBackground(a, this, ToQString(skin.mainLeftBk));

    for (int i = 0; i < kButtonCount; ++i) {
        const MenuItem& item = kMenuItems[i];
        auto* b = new CTButtonPicture(this);
        b->setObjectName(QStringLiteral("menu%1").arg(item.controlId));
        b->setGeometry(0, skin::kMenuFirstButtonTop + i * (kButtonHeight + skin::kMenuButtonGap),
                       kWidth, kButtonHeight);
        if (item.searchPicture) {
            b->SetImages(ToQString(skin.menuSearchNormal), ToQString(skin.menuSearchDown));
        } else {
            b->SetImages(ToQString(skin.menuWirelessNormal), ToQString(skin.menuWirelessDown));
        }
        StyleMenuButton(a, ToQString(TranslateText(item.key)), b);
        connect(b, &QAbstractButton::clicked, this, [this, i] { OnMenuItem(i); });
        buttons_[static_cast<size_t>(i)] = b;
    }

    version_ = new QLabel(this);
    version_->setObjectName(QStringLiteral("version"));
    version_->setGeometry(10, skin::kWindowHeight - skin::kMenuTop - kVersionBottomMargin,
                          kWidth - 20, 16);
    version_->setAlignment(Qt::AlignCenter);
    StyleStaticLabel(a, version_, /*numberColor=*/true);
    version_->setText(ToQString(a.versionText));
}

int CMenuDlg::PageIdAt(int index) {
    return kMenuItems[index].pageId;
}

void CMenuDlg::SelectFirstPage() {
    OnMenuItem(0);
}

void CMenuDlg::OnMenuItem(int index) {
    if (index < 0 || index >= kButtonCount) return;
    for (CTButtonPicture* b : buttons_) b->SetSelected(false);
    buttons_[static_cast<size_t>(index)]->SetSelected(true);

    // The container of the main window this panel belongs to.
    auto* main = qobject_cast<CApplicationDlg*>(window());
    CChildDlg* container = main ? main->PageContainer() : nullptr;
    if (!container) return;
    container->ShowPage(kMenuItems[index].pageId);
}

}  // namespace kestrix
