#include "shell/PageBase.h"

namespace kestrix {

CPageBase::CPageBase(int dialogId, QWidget* parent) : QWidget(parent), dialogId_(dialogId) {
    setObjectName(QStringLiteral("page%1").arg(dialogId));
}

}  // namespace kestrix
