#pragma once
// The message boxes of the pages and their dialogs: the three kinds of the
// input rules, and the OK/Cancel question before an action. Every text is
// already translated by the caller. Tests answer them through the
// context's message hook instead of a person.

#include <functional>

#include <QString>

#include "fleet/validation.h"
#include "shell/AppContext.h"

class QWidget;

namespace kestrix {

class CPageMessage {
public:
    static void Show(const AppContext& context, QWidget* parent, MessageKind kind,
                     const QString& text);
    // OK and Cancel, question icon, empty caption; true for OK.
    static bool Confirm(const AppContext& context, QWidget* parent, const QString& question);
};

}  // namespace kestrix
