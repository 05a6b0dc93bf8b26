#include "shell/TranslateWidgets.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextEdit>

#include "base/language.h"

namespace kestrix {

namespace {

// The translated-once mark lives on the widget itself, so a new widget that
// happens to reuse a deleted one's address is still translated.
constexpr const char* kTranslatedMark = "kxTranslated";
constexpr const char* kKeepTextMark = "kxKeepText";

QString Translate(const QString& text) {
    return QString::fromStdString(TranslateText(text.toStdString()));
}

// The address editor is matched by its class name, whatever namespace
// holds it, so this file does not depend on the controls that define it.
bool IsAddressEditor(const QWidget* w) {
    for (const QMetaObject* m = w->metaObject(); m; m = m->superClass()) {
        const QLatin1String name(m->className());
        if (name == QLatin1String("CTIpAddressEdit") ||
            name.endsWith(QLatin1String("::CTIpAddressEdit"))) {
            return true;
        }
    }
    return false;
}

// Widgets that hold data rather than captions. Composite Qt widgets carry
// their parts as children, so the whole subtree is left alone.
bool KeepsItsText(const QWidget* w) {
    if (w->property(kKeepTextMark).toBool()) return true;
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QTextEdit*>(w) ||
           qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QProgressBar*>(w) ||
           IsAddressEditor(w);
}

// Sets a caption's translation when there is one worth setting.
template <typename Getter, typename Setter>
void TranslateCaption(Getter get, Setter set) {
    const QString text = get();
    if (text.isEmpty() || text == QLatin1String("...")) return;
    const QString translated = Translate(text);
    if (!translated.isEmpty() && translated != text) set(translated);
}

void TranslateWidgetText(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w)) {
        TranslateCaption([&] { return label->text(); },
                         [&](const QString& t) { label->setText(t); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        TranslateCaption([&] { return button->text(); },
                         [&](const QString& t) { button->setText(t); });
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        TranslateCaption([&] { return group->title(); },
                         [&](const QString& t) { group->setTitle(t); });
    }
}

void TranslateDescendants(QWidget* parent) {
    for (QObject* child : parent->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w) continue;
        // A separate window (a menu, a dialog) translates itself when shown.
        if (w->isWindow()) continue;
        const bool done = w->property(kTranslatedMark).toBool();
        if (!done) w->setProperty(kTranslatedMark, true);
        if (KeepsItsText(w)) continue;
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            if (!done) TranslateComboItems(combo);
            continue;
        }
        if (!done) TranslateWidgetText(w);
        TranslateDescendants(w);
    }
}

}  // namespace

bool IsTranslated(const QWidget* widget) {
    return widget && widget->property(kTranslatedMark).toBool();
}

void TranslateDialog(QWidget* dialog) {
    if (!dialog || IsTranslated(dialog)) return;
    dialog->setProperty(kTranslatedMark, true);
    TranslateCaption([&] { return dialog->windowTitle(); },
                     [&](const QString& t) { dialog->setWindowTitle(t); });
    TranslateDescendants(dialog);
}

void TranslateMenu(QMenu* menu) {
    if (!menu) return;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        const QString text = action->text();
        if (!text.isEmpty()) {
            const QString translated = Translate(text);
            if (!translated.isEmpty() && translated != text) action->setText(translated);
        }
        if (QMenu* sub = action->menu()) TranslateMenu(sub);
    }
}

void TranslateComboItems(QComboBox* combo) {
    if (!combo) return;
    const int selected = combo->currentIndex();
    // setItemText keeps each item's data: a page-size box keeps its row
    // counts after translation.
    for (int i = 0; i < combo->count(); ++i) {
        combo->setItemText(i, Translate(combo->itemText(i)));
    }
    if (selected >= 0 && selected < combo->count()) combo->setCurrentIndex(selected);
}

}  // namespace kestrix
