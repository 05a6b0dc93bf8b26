#include "pages/PageMessage.h"

#include <QMessageBox>

#include "shell/Styling.h"
#include "shell/language.h"

namespace kestrix {

namespace {
CPageMessage::Hook& TheHook() {
    static CPageMessage::Hook hook;
    return hook;
}
}  // namespace

void CPageMessage::SetHook(Hook hook) {
    TheHook() = std::move(hook);
}

void CPageMessage::Show(QWidget* parent, MessageKind kind, const QString& text) {
    if (kind == MessageKind::kNone) return;
    if (TheHook()) {
        TheHook()(kind, text);
        return;
    }
    const bool titled = kind == MessageKind::kPlain || kind == MessageKind::kTitledWarning;
    const QString caption = titled ? ToQString(TranslateText("CPEManagement")) : QString();
    const QMessageBox::Icon icon =
        kind == MessageKind::kPlain ? QMessageBox::NoIcon : QMessageBox::Warning;
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool CPageMessage::Confirm(QWidget* parent, const QString& question) {
    if (TheHook()) return TheHook()(MessageKind::kNone, question);
    QMessageBox box(QMessageBox::Question, QString(), question,
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    return box.exec() == QMessageBox::Ok;
}

}  // namespace kestrix
