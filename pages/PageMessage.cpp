#include "pages/PageMessage.h"

#include <QMessageBox>

#include "base/language.h"
#include "shell/Styling.h"

namespace kestrix {

void CPageMessage::Show(const AppContext& context, QWidget* parent, MessageKind kind,
                        const QString& text) {
    if (kind == MessageKind::kNone) return;
    if (context.messageHook) {
        context.messageHook(kind, text);
        return;
    }
    const bool titled = kind == MessageKind::kPlain || kind == MessageKind::kTitledWarning;
    const QString caption = titled ? ToQString(TranslateText("CPEManagement")) : QString();
    const QMessageBox::Icon icon =
        kind == MessageKind::kPlain ? QMessageBox::NoIcon : QMessageBox::Warning;
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool CPageMessage::Confirm(const AppContext& context, QWidget* parent, const QString& question) {
    if (context.messageHook) return context.messageHook(MessageKind::kNone, question);
    QMessageBox box(QMessageBox::Question, QString(), question,
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    return box.exec() == QMessageBox::Ok;
}

}  // namespace kestrix
