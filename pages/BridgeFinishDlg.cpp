#include "pages/BridgeFinishDlg.h"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include "shell/Styling.h"

namespace kestrix {

CBridgeFinishDlg::CBridgeFinishDlg(const AppContext& context, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("bridgeFinish"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 8, 24, 8);
    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("bridgeFinishPicture"));
    picture_->setPixmap(QPixmap(ToQString(context.skin.bridgeFinish)));
    picture_->setAlignment(Qt::AlignCenter);
    text_ =
        new QLabel(QStringLiteral("You are configuring the device to work as Station mode."), this);
    text_->setObjectName(QStringLiteral("bridgeFinishText"));
    text_->setWordWrap(true);
    text_->setAlignment(Qt::AlignCenter);
    StyleStaticLabel(context.appearance, text_);
    column->addStretch(1);
    column->addWidget(picture_);
    column->addSpacing(12);
    column->addWidget(text_);
    column->addStretch(1);
}

}  // namespace kestrix
