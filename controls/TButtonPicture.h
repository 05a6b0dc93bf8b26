#pragma once
// A skinned button: a picture for its normal state and one for its pressed
// (or selected) state, with a text drawn over it in the font and colours
// of the appearance settings. A missing picture leaves the button without
// a picture; its text still shows.

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>

namespace kestrix {

class CTButtonPicture : public QAbstractButton {
    Q_OBJECT
public:
    explicit CTButtonPicture(QWidget* parent = nullptr);

    // One picture for every state, or a normal and a pressed one.
    void SetImages(const QString& normalPath, const QString& downPath = {});
    bool HasImage() const { return !normal_.isNull(); }

    // A selected button is drawn pressed until it is deselected (the menu
    // panel marks the button of the visible page this way).
    void SetSelected(bool selected);
    bool IsSelected() const { return selected_; }

    // Text colours for the normal and the pressed/selected state.
    void SetTextColors(const QColor& normal, const QColor& down);
    const QColor& TextColor() const { return textColor_; }
    const QColor& DownTextColor() const { return downTextColor_; }
    // Left-aligned text starting `leftMargin` pixels from the left edge, or
    // centred text (the default).
    void SetTextLeftMargin(int leftMargin);
    void SetTextCentred();
    int TextLeftMargin() const { return leftMargin_; }

    // Pictures drawn for the current state (tests look at them).
    bool DrawsPressed() const { return selected_ || isDown(); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap normal_;
    QPixmap down_;
    QColor textColor_{Qt::black};
    QColor downTextColor_{Qt::black};
    int leftMargin_ = -1;  // -1: centred
    bool selected_ = false;
    bool hovered_ = false;
};

}  // namespace kestrix
