#pragma once
// The page strip under every device list: at most seven page buttons, the
// first and last page always among them and "..." where pages are left
// out. A click on another page's number makes it current and asks the
// page container to show that page of the list.

#include <vector>

#include <QColor>
#include <QRect>
#include <QStringList>
#include <QWidget>

namespace kestrix {

class CTMultiPages : public QWidget {
    Q_OBJECT
public:
    static constexpr int kButtonHeight = 24;
    static constexpr int kButtonGap = 3;

    explicit CTMultiPages(QWidget* parent = nullptr);

    // The dialog id of the page the strip belongs to, sent with each click.
    void SetOwnerId(int dialogId) { ownerId_ = dialogId; }
    int OwnerId() const { return ownerId_; }
    // Current page and page count; a current page beyond the count marks
    // page 1. Repaints.
    void SetPages(int current, int count);
    int CurrentPage() const { return current_; }
    int PageCount() const { return count_; }
    void SetBackground(const QColor& color);

    // What the buttons read, left to right, and where they are.
    QStringList ButtonTexts() const;
    std::vector<QRect> ButtonRects() const;
    // The button under `pos`, or -1.
    int ButtonAt(const QPoint& pos) const;

signals:
    void PageSelected(int dialogId, int page);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Button {
        int page;  // 0: "..."
        QRect rect;
    };
    void Layout();
    bool Clickable(int index) const;
    QFont ButtonFont(int page) const;

    int ownerId_ = 0;
    int current_ = 1;
    int count_ = 0;
    std::vector<Button> buttons_;
    int hover_ = -1;
    int pressed_ = -1;
    QColor background_{Qt::white};
};

}  // namespace kestrix
