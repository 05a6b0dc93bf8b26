#include "shell/PageBase.h"

namespace kestrix {

CPageBase::CPageBase(const AppContext& context, int dialogId, QWidget* parent)
    : QWidget(parent), context_(context), dialogId_(dialogId) {
    setObjectName(QStringLiteral("page%1").arg(dialogId));
}

}  // namespace kestrix
