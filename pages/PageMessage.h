#pragma once
// The message boxes of the pages and their dialogs: the three kinds of the
// input rules, and the OK/Cancel question before an action. Every text is
// already translated by the caller. Tests answer them through a hook
// instead of a person.

#include <QString>
#include <functional>

#include "pages/rules/validation.h"

class QWidget;

namespace kestrix {

class CPageMessage {
public:
    static void Show(QWidget* parent, MessageKind kind, const QString& text);
    // OK and Cancel, question icon, empty caption; true for OK.
    static bool Confirm(QWidget* parent, const QString& question);

    // With a hook set, no box is shown: the hook gets the kind (kNone for a
    // question) and the text and gives the answer to a question.
    using Hook = std::function<bool(MessageKind kind, const QString& text)>;
    static void SetHook(Hook hook);
};

}  // namespace kestrix
