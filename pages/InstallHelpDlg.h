#pragma once
// The install-help page: a scrollable picture of how the computer and the
// devices are connected and set up (the Chinese picture for locale 2052).

#include "shell/PageBase.h"

class QLabel;
class QScrollArea;

namespace kestrix {

class CInstallHelpDlg : public CPageBase {
    Q_OBJECT
public:
    CInstallHelpDlg(const AppContext& context, QWidget* parent);

    // The picture file shown (empty picture when the file is missing).
    const QString& PicturePath() const { return picturePath_; }
    bool HasPicture() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QScrollArea* scroll_ = nullptr;
    QLabel* picture_ = nullptr;
    QString picturePath_;
};

}  // namespace kestrix
