#include "pages/SwitchSetMultiDlg.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "controls/TButtonPicture.h"
#include "shell/Styling.h"
#include "shell/TranslateWidgets.h"

namespace kestrix {

CSwitchSetMultiDlg::CSwitchSetMultiDlg(const AppContext& context, SwitchKind kind,
                                       const char* titleKey, uint8_t initialState, QWidget* parent)
    : CSkinDlg(context, titleKey, parent), kind_(kind), switchState_(initialState != 0 ? 1 : 0) {
    const QFont font = MakeFont(Context().appearance.StaticFont());
    QLabel* label = MakeLabel(titleKey, "switchLabel");
    enable_ = new QRadioButton(QStringLiteral("Enable"), this);
    enable_->setObjectName(QStringLiteral("enable"));
    disable_ = new QRadioButton(QStringLiteral("Disable_off"), this);
    disable_->setObjectName(QStringLiteral("disable"));
    for (QRadioButton* radio : {enable_, disable_}) {
        radio->setFont(font);
        radio->setCursor(Qt::PointingHandCursor);
    }
    // One group: ticking either unticks the other.
    group_ = new QButtonGroup(this);
    group_->addButton(enable_, 1);
    group_->addButton(disable_, 0);
    (switchState_ != 0 ? enable_ : disable_)->setChecked(true);
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) { switchState_ = id; });

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addSpacing(24);
    row->addWidget(enable_);
    row->addSpacing(16);
    row->addWidget(disable_);
    row->addStretch(1);
    Body()->addLayout(row);
    Body()->addSpacing(14);

    AddSaveCancel(save_, cancel_);
    connect(save_, &QAbstractButton::clicked, this, [this] { accept(); });

    TranslateDialog(this);
    setFixedSize(sizeHint().expandedTo(QSize(380, 0)));
}

}  // namespace kestrix
