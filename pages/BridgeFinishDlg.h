#pragma once
// Step 3 of the bridge wizard: what Save is about to do.

#include <QWidget>

#include "shell/AppContext.h"

class QLabel;

namespace kestrix {

class CBridgeFinishDlg : public QWidget {
    Q_OBJECT
public:
    CBridgeFinishDlg(const AppContext& context, QWidget* parent);

    QLabel* Picture() const { return picture_; }
    QLabel* Text() const { return text_; }

private:
    QLabel* picture_ = nullptr;
    QLabel* text_ = nullptr;
};

}  // namespace kestrix
