#include "shell/Styling.h"

#include <algorithm>
#include <cmath>

#include <QBitmap>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QWidget>

#include "controls/TButtonPicture.h"
#include "shell/skin_geometry.h"

namespace kestrix {

namespace {

// Cell height over em height of the usual sans faces (ascent plus descent
// of Arial and its metric twins).
constexpr double kCellToEm = 1.117;
constexpr int kDefaultPixelSize = 13;

}  // namespace

QColor ToQColor(const RgbColor& c) {
    return QColor(c.r, c.g, c.b);
}

QString ToQString(const std::string& text) {
    return QString::fromStdString(text);
}

QFont MakeFont(const FontDescription& d) {
    QFont font(ToQString(d.faceName));
    int pixels = kDefaultPixelSize;
    if (d.height > 0) {
        pixels = std::max(1, static_cast<int>(std::lround(d.height / kCellToEm)));
    } else if (d.height < 0) {
        pixels = std::min(-d.height, 1000);
    }
    font.setPixelSize(pixels);
    if (d.weight > 0) font.setWeight(static_cast<QFont::Weight>(std::clamp(d.weight, 1, 1000)));
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void StyleMenuButton(const AppearanceSettings& a, const QString& text, CTButtonPicture* button) {
    button->setText(text);
    button->setFont(MakeFont(a.MenuButtonFont()));
    button->SetTextColors(ToQColor(a.ButtonMenuFontColor), ToQColor(a.TextDownColor));
    button->SetTextLeftMargin(skin::kMenuTextLeft);
    button->update();
}

void StyleButton(const AppearanceSettings& a, const QString& text, CTButtonPicture* button) {
    button->setText(text);
    button->setFont(MakeFont(a.ButtonFont()));
    button->SetTextColors(ToQColor(a.ButtonFontColor), ToQColor(a.TextDownColor));
    button->SetTextCentred();
    button->update();
}

void StyleStaticLabel(const AppearanceSettings& a, QLabel* label, bool numberColor) {
    label->setFont(MakeFont(a.StaticFont()));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText,
                 ToQColor(numberColor ? a.StaticTextNumberColor : a.StaticFontTextColor));
    pal.setColor(QPalette::Window, ToQColor(a.StaticFontBkColor));
    label->setPalette(pal);
    // Labels draw on their parent's background; the background colour shows
    // only on a label made opaque.
    label->setAutoFillBackground(false);
}

void ApplyBackground(const AppearanceSettings& a, QWidget* widget, const QString& imagePath) {
    QPalette pal = widget->palette();
    const QColor background = ToQColor(a.ChildBkColor);
    pal.setColor(QPalette::Window, background);
    if (!imagePath.isEmpty()) {
        QPixmap picture(imagePath);
        if (!picture.isNull()) {
            // The picture covers the widget; where it is smaller the colour shows.
            QPixmap canvas(widget->size().expandedTo(picture.size()));
            canvas.fill(background);
            {
                QPainter p(&canvas);
                p.drawPixmap(0, 0, picture);
            }
            pal.setBrush(QPalette::Window, QBrush(canvas));
        }
    }
    widget->setPalette(pal);
    widget->setAutoFillBackground(true);
}

QIcon PictureIcon(const QString& path) {
    QPixmap picture(path);
    if (picture.isNull()) return {};
    picture.setMask(picture.createMaskFromColor(Qt::white, Qt::MaskInColor));
    return QIcon(picture);
}

void StylePopupMenu(QMenu* menu) {
    menu->setStyleSheet(
        QStringLiteral("QMenu { background: #ffffff; border: 1px solid #d7dce4; padding: 6px 0px; }"
                       "QMenu::item { padding: 8px 28px 8px 10px; color: #1d2430; }"
                       "QMenu::item:selected { background: #eef1f6; color: #d82228; }"
                       "QMenu::icon { padding-left: 12px; }"
                       "QMenu::separator { height: 1px; background: #e3e6eb; margin: 4px 10px; }"));
}

namespace {

class ApplicationStyle : public QProxyStyle {
public:
    ApplicationStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay) return 500;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

QStyle* MakeApplicationStyle() {
    return new ApplicationStyle;
}

}  // namespace kestrix
