#include "shell/AppContext.h"

#include <QDesktopServices>

namespace kestrix {

void OpenAddress(const AppContext& context, const QUrl& url) {
    if (context.urlOpener) {
        context.urlOpener(url);
        return;
    }
    QDesktopServices::openUrl(url);
}

}  // namespace kestrix
