#include "pages/InstallHelpDlg.h"

#include <QLabel>
#include <QPixmap>
#include <QScrollArea>

#include "fleet/page_ids.h"
#include "shell/Styling.h"
#include "shell/TranslateWidgets.h"

namespace kestrix {

namespace {
constexpr int kMargin = 5;
}

CInstallHelpDlg::CInstallHelpDlg(const AppContext& context, QWidget* parent)
    : CPageBase(context, kInstallHelpPageId, parent) {
    const AppearanceSettings& a = Context().appearance;
    TranslateDialog(this);
    ApplyBackground(a, this);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("picture"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    picture_ = new QLabel;
    picture_->setObjectName(QStringLiteral("pictureLabel"));
    picturePath_ = ToQString(Context().skin.installHelp);
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
