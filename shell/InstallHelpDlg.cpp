#include "shell/InstallHelpDlg.h"

#include <QLabel>
#include <QPixmap>
#include <QScrollArea>

#include "shell/KestrixApp.h"
#include "shell/PageIds.h"
#include "shell/Styling.h"
#include "shell/TranslateWidgets.h"

namespace kestrix {

namespace {
constexpr int kMargin = 5;
}

CInstallHelpDlg::CInstallHelpDlg(QWidget* parent) : CPageBase(kInstallHelpPageId, parent) {
    const AppearanceSettings& a = CurrentAppearance();
    TranslateDialog(this);
    ApplyBackground(a, this);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("picture"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    picture_ = new QLabel;
    picture_->setObjectName(QStringLiteral("pictureLabel"));
    picturePath_ = ToQString(CurrentSkin().installHelp);
    picture_->setPixmap(QPixmap(picturePath_));
    picture_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scroll_->setWidget(picture_);
    scroll_->widget()->setAutoFillBackground(false);
    ApplyBackground(a, scroll_->viewport());
    scroll_->setGeometry(rect().adjusted(kMargin, kMargin, -kMargin, -kMargin));
}

bool CInstallHelpDlg::HasPicture() const {
    return picture_->pixmap().isNull() == false;
}

void CInstallHelpDlg::resizeEvent(QResizeEvent* event) {
    CPageBase::resizeEvent(event);
    scroll_->setGeometry(rect().adjusted(kMargin, kMargin, -kMargin, -kMargin));
}

}  // namespace kestrix
