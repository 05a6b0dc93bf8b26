// Paints every picture of the Skin folder, plus the application icon and
// the desktop icon, into the folder given on the command line. Run at build
// time (offscreen), so the skin is made from this source and nothing binary
// is kept in the repository.
//
//   kx_skin_painter <output folder>
//
// One look throughout: a deep navy header, a light side panel whose selected
// entry opens white towards the page with a red marker, light buttons, and
// the grid colours of the default settings. The geometry is the main
// window's (shell/skin_geometry.h).

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include "shell/skin_geometry.h"

namespace {

// ---- Palette --------------------------------------------------------------

const QColor kNavy(22, 36, 62);
const QColor kNavyLight(36, 58, 96);
const QColor kNavyText(44, 62, 94);
const QColor kSlate(92, 106, 130);
const QColor kSidebar(241, 243, 247);
const QColor kSidebarEdge(218, 223, 231);
const QColor kAccent(216, 34, 40);   // TextDownColor
const QColor kOrange(237, 112, 32);  // GridTitleTextColor
const QColor kBeige(221, 217, 196);  // GridTitleBkColor
const QColor kLine(215, 215, 215);   // LineColor
const QColor kGreen(0, 153, 0);      // TextOnlineColor
const QColor kButtonTop(252, 252, 253);
const QColor kButtonBottom(234, 237, 242);
const QColor kButtonEdge(196, 202, 212);

using namespace kestrix::skin;

QString g_out;
int g_failures = 0;

QString LatinFamily() {
    return QStringLiteral("DejaVu Sans");
}
QString CjkFamily() {
    return QStringLiteral("Noto Sans CJK SC");
}

QFont Font(int pixelSize, int weight = QFont::Normal, bool cjk = false) {
    QFont f(cjk ? CjkFamily() : LatinFamily());
    f.setPixelSize(pixelSize);
    f.setWeight(static_cast<QFont::Weight>(weight));
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QImage Canvas(int w, int h, const QColor& fill = Qt::white) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(fill);
    return img;
}

void Save(const QImage& image, const QString& name, int quality = -1) {
    const QString path = g_out + QLatin1Char('/') + name;
    // Pictures without transparency are stored flat, as the old formats want.
    QImage flat = image.convertToFormat(QImage::Format_RGB32);
    if (!flat.save(path, nullptr, quality)) {
        std::fprintf(stderr, "skin painter: cannot write %s\n", qPrintable(path));
        ++g_failures;
    }
}

void Render(QImage& img, const std::function<void(QPainter&)>& draw) {
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    draw(p);
}

// ---- Glyphs ---------------------------------------------------------------

void Magnifier(QPainter& p, QPointF c, double r, const QColor& color, double width) {
    p.save();
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    const double d = r * 0.72;
    p.drawLine(QPointF(c.x() + d, c.y() + d), QPointF(c.x() + r * 1.65, c.y() + r * 1.65));
    p.restore();
}

// Radio waves above a dot: the sign of a wireless device.
void Waves(QPainter& p, QPointF c, double size, const QColor& color, double width) {
    p.save();
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 3; ++i) {
        const double r = size * 0.22 * i;
        QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
        p.drawArc(box, 45 * 16, 90 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(c, width * 0.95, width * 0.95);
    p.restore();
}

// A small outdoor radio: a mast with a panel and waves.
void Radio(QPainter& p, QPointF base, double h, const QColor& color, bool wavesRight = true) {
    p.save();
    p.setPen(QPen(color, h * 0.06, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(base.x(), base.y()), QPointF(base.x(), base.y() - h));
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRoundedRect(QRectF(base.x() - h * 0.12, base.y() - h * 0.95, h * 0.24, h * 0.42),
                      h * 0.04, h * 0.04);
    p.drawRect(QRectF(base.x() - h * 0.22, base.y() - h * 0.04, h * 0.44, h * 0.05));
    p.setPen(QPen(color, h * 0.045, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QPointF c(base.x(), base.y() - h * 0.75);
    for (int i = 1; i <= 2; ++i) {
        const double r = h * 0.2 * i + h * 0.06;
        QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
        if (wavesRight) {
            p.drawArc(box, -35 * 16, 70 * 16);
        } else {
            p.drawArc(box, 145 * 16, 70 * 16);
        }
    }
    p.restore();
}

void Computer(QPainter& p, QRectF r, const QColor& color) {
    p.save();
    p.setPen(QPen(color, 3));
    p.setBrush(QColor(255, 255, 255));
    QRectF screen(r.x(), r.y(), r.width(), r.height() * 0.68);
    p.drawRoundedRect(screen, 5, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(color.red(), color.green(), color.blue(), 40));
    p.drawRoundedRect(screen.adjusted(6, 6, -6, -6), 3, 3);
    p.setBrush(color);
    p.drawRect(QRectF(r.center().x() - 6, screen.bottom(), 12, r.height() * 0.18));
    p.drawRoundedRect(QRectF(r.center().x() - r.width() * 0.28, r.bottom() - r.height() * 0.14,
                             r.width() * 0.56, r.height() * 0.1),
                      3, 3);
    p.restore();
}

void Switch(QPainter& p, QRectF r, const QColor& color) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRoundedRect(r, 6, 6);
    p.setBrush(QColor(255, 255, 255, 200));
    const int ports = 6;
    const double gap = r.width() / (ports + 1);
    for (int i = 1; i <= ports; ++i) {
        p.drawRoundedRect(QRectF(r.x() + gap * i - 6, r.center().y() - 5, 12, 10), 2, 2);
    }
    p.setBrush(kGreen.lighter(140));
    p.drawEllipse(QPointF(r.x() + 12, r.y() + 9), 3, 3);
    p.restore();
}

// The emblem: a rounded navy square holding a kestrel's wing over waves.
void Emblem(QPainter& p, QRectF r, bool onNavy) {
    p.save();
    const double s = r.width();
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, onNavy ? QColor(52, 84, 136) : kNavyLight);
    g.setColorAt(1, onNavy ? QColor(30, 50, 86) : kNavy);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, s * 0.22, s * 0.22);

    // A swept wing: two curves meeting at the tip.
    QPainterPath wing;
    const double x = r.x();
    const double y = r.y();
    wing.moveTo(x + s * 0.18, y + s * 0.58);
    wing.cubicTo(x + s * 0.38, y + s * 0.30, x + s * 0.62, y + s * 0.22, x + s * 0.86,
                 y + s * 0.20);
    wing.cubicTo(x + s * 0.70, y + s * 0.34, x + s * 0.58, y + s * 0.46, x + s * 0.52,
                 y + s * 0.62);
    wing.cubicTo(x + s * 0.42, y + s * 0.54, x + s * 0.30, y + s * 0.54, x + s * 0.18,
                 y + s * 0.58);
    p.setBrush(QColor(255, 255, 255));
    p.drawPath(wing);

    // The accent: a red source under the wing, sending two waves up.
    const QPointF source(x + s * 0.28, y + s * 0.76);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawEllipse(source, s * 0.065, s * 0.065);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kAccent, std::max(1.2, s * 0.055), Qt::SolidLine, Qt::RoundCap));
    for (double r : {s * 0.16, s * 0.27}) {
        p.drawArc(QRectF(source.x() - r, source.y() - r, 2 * r, 2 * r), 10 * 16, 70 * 16);
    }
    p.restore();
}

// The "open" mark: a browser window with an arrow leaving it.
void OpenMark(QPainter& p, const QRectF& win) {
    p.save();
    const double u = win.height() / 12.0;  // drawn on a 16 x 12 grid
    auto at = [&](double x, double y) { return QPointF(win.x() + x * u, win.y() + y * u); };
    p.setPen(QPen(kNavyText, 1.3 * std::max(1.0, u * 0.9)));
    p.setBrush(Qt::white);
    p.drawRoundedRect(win, 2 * u, 2 * u);
    p.fillRect(QRectF(win.x() + 0.5, win.y() + 0.5, win.width() - 1, 2.6 * u), kNavyText);
    p.setPen(QPen(kAccent, 1.6 * std::max(1.0, u * 0.8), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(at(5, 10), at(12, 4.5));
    p.drawLine(at(8.5, 4.5), at(12, 4.5));
    p.drawLine(at(12, 4.5), at(12, 8));
    p.restore();
}

// ---- Main window ----------------------------------------------------------

QImage HeaderBand(int width) {
    QImage img = Canvas(width, kHeaderHeight);
    Render(img, [&](QPainter& p) {
        QLinearGradient g(0, 0, 0, kHeaderHeight);
        g.setColorAt(0, QColor(26, 42, 72));
        g.setColorAt(1, kNavy);
        p.fillRect(img.rect(), g);
        // Faint rings, as of a radio reaching out, behind the title.
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < 9; ++i) {
            p.setPen(QPen(QColor(255, 255, 255, 10 + (i % 2) * 4), 1.2));
            const double r = 60 + i * 46;
            p.drawEllipse(QPointF(width * 0.62, kHeaderHeight * 1.6), r, r * 0.72);
        }
        // A thin accent line closes the band.
        p.fillRect(QRect(0, kHeaderHeight - 3, width, 3), QColor(216, 34, 40, 230));
        Emblem(p, QRectF(18, 20, 42, 42), true);
    });
    return img;
}

void PaintMainBackground() {
    QImage img = Canvas(kWindowWidth, kWindowHeight);
    Render(img, [&](QPainter& p) {
        p.drawImage(0, 0, HeaderBand(kWindowWidth));
        // The side panel starts under the header; its upper part (above the
        // menu buttons) carries a soft caption area.
        p.fillRect(QRect(0, kHeaderHeight, kSideWidth, kWindowHeight - kHeaderHeight), kSidebar);
        p.fillRect(QRect(kSideWidth - 1, kHeaderHeight, 1, kWindowHeight - kHeaderHeight),
                   kSidebarEdge);
        QLinearGradient shade(0, kHeaderHeight, 0, kHeaderHeight + 10);
        shade.setColorAt(0, QColor(0, 0, 0, 28));
        shade.setColorAt(1, QColor(0, 0, 0, 0));
        p.fillRect(QRect(0, kHeaderHeight, kWindowWidth, 10), shade);
        // Three signal bars and a short rule: a quiet mark over the menu.
        const int cx = kSideWidth / 2;
        const int top = kHeaderHeight + 24;
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 4; ++i) {
            QColor c = i < 3 ? kNavyText : kAccent;
            c.setAlpha(i < 3 ? 150 : 220);
            p.setBrush(c);
            const int h = 8 + i * 6;
            p.drawRoundedRect(QRectF(cx - 22 + i * 12, top + 26 - h, 8, h), 2, 2);
        }
        p.fillRect(QRect(20, kMenuTop - 12, kSideWidth - 40, 1), kSidebarEdge);
    });
    Save(img, QStringLiteral("main_bk.jpg"), 95);
    // The header band alone, for the caption buttons to sit on seamlessly.
}

void PaintMenuPanel() {
    const int h = kWindowHeight - kMenuTop;
    QImage img = Canvas(kSideWidth, h, kSidebar);
    Render(img, [&](QPainter& p) {
        p.fillRect(QRect(kSideWidth - 1, 0, 1, h), kSidebarEdge);
        p.fillRect(QRect(20, h - 48, kSideWidth - 40, 1), kSidebarEdge);
    });
    Save(img, QStringLiteral("main_left_bk.jpg"), 95);
}

void PaintMenuButtons() {
    auto tile = [&](bool down, const std::function<void(QPainter&, const QColor&)>& icon,
                    const QString& name) {
        QImage img = Canvas(kSideWidth, kMenuButtonHeight, down ? Qt::white : kSidebar);
        Render(img, [&](QPainter& p) {
            if (down) {
                // Open towards the page, with the red marker at the left.
                p.fillRect(QRect(0, 0, 4, kMenuButtonHeight), kAccent);
                p.fillRect(QRect(4, 0, kSideWidth - 4, 1), kSidebarEdge);
                p.fillRect(QRect(4, kMenuButtonHeight - 1, kSideWidth - 4, 1), kSidebarEdge);
            } else {
                p.fillRect(QRect(kSideWidth - 1, 0, 1, kMenuButtonHeight), kSidebarEdge);
            }
            icon(p, down ? kAccent : kSlate);
        });
        Save(img, name);
    };
    auto search = [](QPainter& p, const QColor& c) { Magnifier(p, QPointF(27, 20), 6.5, c, 2.2); };
    auto wireless = [](QPainter& p, const QColor& c) { Waves(p, QPointF(29, 30), 26, c, 2.2); };
    tile(false, search, QStringLiteral("bt_menu_search_normal.bmp"));
    tile(true, search, QStringLiteral("bt_menu_search_down.bmp"));
    tile(false, wireless, QStringLiteral("bt_menu_wireless_normal.bmp"));
    tile(true, wireless, QStringLiteral("bt_menu_wireless_down.bmp"));
}

void PaintCaptionButtons() {
    const QImage band = HeaderBand(kWindowWidth);
    auto caption = [&](int slot, const std::function<void(QPainter&)>& glyph, const QString& name) {
        QImage img = band.copy(CaptionButtonLeft(slot), kCaptionTop, kCaptionWidth, kCaptionHeight)
                         .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        Render(img, [&](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, 22));
            p.drawRoundedRect(QRectF(0.5, 0.5, kCaptionWidth - 1, kCaptionHeight - 1), 5, 5);
            p.setPen(QPen(QColor(236, 240, 246), 1.8, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            glyph(p);
        });
        Save(img, name);
    };
    const double cx = kCaptionWidth / 2.0;
    const double cy = kCaptionHeight / 2.0;
    caption(
        0,
        [&](QPainter& p) {
            p.drawLine(QPointF(cx - 5, cy - 5), QPointF(cx + 5, cy + 5));
            p.drawLine(QPointF(cx + 5, cy - 5), QPointF(cx - 5, cy + 5));
        },
        QStringLiteral("close_normal.bmp"));
    caption(
        1, [&](QPainter& p) { p.drawLine(QPointF(cx - 6, cy + 4), QPointF(cx + 6, cy + 4)); },
        QStringLiteral("min_normal.bmp"));
    caption(
        2,
        [&](QPainter& p) {
            p.drawEllipse(QPointF(cx, cy), 7.5, 7.5);
            p.setFont(Font(11, QFont::Bold));
            p.setPen(QColor(236, 240, 246));
            p.drawText(QRectF(cx - 8, cy - 8, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
        },
        QStringLiteral("help_normal.bmp"));
}

// Help-menu pictures, 16 x 16 on white (white is taken as transparent).
void PaintHelpIcons() {
    auto icon = [&](const std::function<void(QPainter&)>& draw, const QString& name) {
        QImage img = Canvas(16, 16);
        Render(img, draw);
        Save(img, name);
    };
    icon(
        [](QPainter& p) {  // product: a small radio
            Radio(p, QPointF(6, 15), 13, kNavyText);
        },
        QStringLiteral("help_product_normal.bmp"));
    icon(
        [](QPainter& p) {  // support: a lifebuoy
            p.setPen(QPen(kAccent, 3.2));
            p.drawEllipse(QPointF(8, 8), 5, 5);
            p.setPen(QPen(Qt::white, 1.6));
            for (int a = 45; a < 360; a += 90) {
                const double r = qDegreesToRadians(static_cast<double>(a));
                p.drawLine(QPointF(8 + 3.3 * std::cos(r), 8 + 3.3 * std::sin(r)),
                           QPointF(8 + 6.9 * std::cos(r), 8 + 6.9 * std::sin(r)));
            }
        },
        QStringLiteral("help_support_normal.bmp"));
    icon(
        [](QPainter& p) {  // contact: an envelope
            p.setPen(QPen(kNavyText, 1.4));
            p.setBrush(Qt::white);
            p.drawRoundedRect(QRectF(1.5, 3.5, 13, 9), 1.5, 1.5);
            p.drawPolyline(QPolygonF({QPointF(2, 4.5), QPointF(8, 9.2), QPointF(14, 4.5)}));
        },
        QStringLiteral("help_contact_normal.bmp"));
    icon(
        [](QPainter& p) {  // help: a question mark in a circle
            p.setPen(Qt::NoPen);
            p.setBrush(kNavyText);
            p.drawEllipse(QPointF(8, 8), 7, 7);
            p.setPen(Qt::white);
            p.setFont(Font(11, QFont::Bold));
            p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
        },
        QStringLiteral("help_help_normal.bmp"));
}

// ---- Install help ---------------------------------------------------------

struct HelpTexts {
    bool cjk;
    QString title;
    QString intro;
    QString computer, sw, devices;
    QString steps[4][2];
};

void PaintInstallHelp(const HelpTexts& t, const QString& name) {
    const int w = 900;
    const int h = 980;
    QImage img = Canvas(w, h);
    Render(img, [&](QPainter& p) {
        p.setPen(kNavy);
        p.setFont(Font(26, QFont::Bold, t.cjk));
        p.drawText(QRect(40, 28, w - 80, 40), Qt::AlignLeft | Qt::AlignVCenter, t.title);
        p.setPen(kSlate);
        p.setFont(Font(15, QFont::Normal, t.cjk));
        p.drawText(QRect(40, 74, w - 80, 50), Qt::AlignLeft | Qt::TextWordWrap, t.intro);
        p.fillRect(QRect(40, 130, w - 80, 3), kOrange);

        // The set-up: computer and devices on one Ethernet segment.
        QRectF stage(40, 156, w - 80, 256);
        QPainterPath frame;
        frame.addRoundedRect(stage, 12, 12);
        p.fillPath(frame, QColor(246, 247, 250));
        p.setPen(QPen(kSidebarEdge, 1));
        p.drawPath(frame);

        const QRectF pc(92, 214, 120, 110);
        const QRectF sw(360, 254, 160, 34);
        Computer(p, pc, kNavyText);
        Switch(p, sw, kNavyLight);
        // One cable to the computer; a run along the floor to the devices,
        // with a drop to each.
        const double floorY = 364;
        const double radiosX[3] = {630, 710, 790};
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kOrange, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(pc.right() + 8, 271), QPointF(sw.left() - 8, 271));
        p.drawPolyline(QPolygonF({QPointF(sw.right() + 8, 271), QPointF(575, 271),
                                  QPointF(575, floorY), QPointF(radiosX[2], floorY)}));
        for (int i = 0; i < 3; ++i) {
            p.setPen(QPen(kOrange, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(radiosX[i], floorY), QPointF(radiosX[i], 354));
            Radio(p, QPointF(radiosX[i], 352), 120, i == 1 ? kAccent : kNavyText, i != 0);
        }
        p.setPen(kNavy);
        p.setFont(Font(15, QFont::Bold, t.cjk));
        p.drawText(QRectF(pc.x() - 30, 336, pc.width() + 60, 24), Qt::AlignCenter, t.computer);
        p.drawText(QRectF(sw.x() - 30, 300, sw.width() + 60, 24), Qt::AlignCenter, t.sw);
        p.drawText(QRectF(590, 372, 240, 24), Qt::AlignCenter, t.devices);

        // Four steps.
        for (int i = 0; i < 4; ++i) {
            const double top = 436 + i * 130;
            QRectF card(40, top, w - 80, 112);
            QPainterPath path;
            path.addRoundedRect(card, 10, 10);
            p.fillPath(path, Qt::white);
            p.setPen(QPen(kSidebarEdge, 1));
            p.setBrush(Qt::NoBrush);
            p.drawPath(path);
            p.setPen(Qt::NoPen);
            p.setBrush(i == 0 ? kAccent : kNavyLight);
            p.drawEllipse(QPointF(92, top + 56), 26, 26);
            p.setPen(Qt::white);
            p.setFont(Font(24, QFont::Bold));
            p.drawText(QRectF(66, top + 30, 52, 52), Qt::AlignCenter, QString::number(i + 1));
            p.setPen(kNavy);
            p.setFont(Font(18, QFont::Bold, t.cjk));
            p.drawText(QRectF(140, top + 16, w - 220, 30), Qt::AlignLeft | Qt::AlignVCenter,
                       t.steps[i][0]);
            p.setPen(QColor(70, 78, 92));
            p.setFont(Font(15, QFont::Normal, t.cjk));
            p.drawText(QRectF(140, top + 48, w - 220, 60), Qt::AlignLeft | Qt::TextWordWrap,
                       t.steps[i][1]);
        }
    });
    Save(img, name, 92);
}

void PaintInstallHelps() {
    HelpTexts en{
        false,
        QStringLiteral("Install Help"),
        QStringLiteral("Connect the computer and the devices to one Ethernet segment, "
                       "then let the tool find them."),
        QStringLiteral("Computer"),
        QStringLiteral("Ethernet switch"),
        QStringLiteral("Wireless devices"),
        {{QStringLiteral("Connect the devices"),
          QStringLiteral("Plug each device (through its power injector) and this computer "
                         "into the same Ethernet switch. Wait until the devices have "
                         "started.")},
         {QStringLiteral("Give the computer an address"),
          QStringLiteral("Set an IPv4 address on the computer's adapter in the same subnet "
                         "as the devices. Devices outside every local subnet are listed "
                         "but cannot be configured.")},
         {QStringLiteral("Search"),
          QStringLiteral("Open \"Device status\" and press Search. Devices appear while "
                         "the 30-second search runs.")},
         {QStringLiteral("Manage"),
          QStringLiteral("Tick the devices in a list and act on them: settings, bridge, "
                         "reboot, upgrade or restore.")}}};
    PaintInstallHelp(en, QStringLiteral("help_other.jpg"));

    HelpTexts zh{true,
                 QString::fromUtf8("安装帮助"),
                 QString::fromUtf8("将电脑和设备接入同一个以太网，然后由本工具自动查找设备。"),
                 QString::fromUtf8("电脑"),
                 QString::fromUtf8("以太网交换机"),
                 QString::fromUtf8("无线设备"),
                 {{QString::fromUtf8("连接设备"),
                   QString::fromUtf8("将每台设备（经其供电模块）和本电脑接入同一台以太网交换机，"
                                     "等待设备启动完成。")},
                  {QString::fromUtf8("设置电脑地址"),
                   QString::fromUtf8("为电脑的网卡设置一个与设备同网段的 IPv4 地址。"
                                     "不在任何本地网段内的设备会被列出，但无法配置。")},
                  {QString::fromUtf8("搜索"),
                   QString::fromUtf8("打开“设备状态”页面并点击“搜索”。在 30 秒的搜索过程中，"
                                     "设备会陆续出现。")},
                  {QString::fromUtf8("管理"),
                   QString::fromUtf8(
                       "在列表中勾选设备后进行操作：参数设置、桥接、重启、升级或恢复出厂设置。")}}};
    PaintInstallHelp(zh, QStringLiteral("help_chinese.jpg"));
}

// ---- Page pictures --------------------------------------------------------

QImage ButtonFace(int w, int h, bool down, const QColor& background = Qt::white) {
    QImage img = Canvas(w, h, background);
    Render(img, [&](QPainter& p) {
        QRectF r(0.5, 0.5, w - 1, h - 1);
        QLinearGradient g(0, 0, 0, h);
        g.setColorAt(0, down ? QColor(236, 239, 244) : kButtonTop);
        g.setColorAt(1, down ? QColor(222, 226, 233) : kButtonBottom);
        p.setBrush(g);
        p.setPen(QPen(down ? kAccent : kButtonEdge, 1));
        p.drawRoundedRect(r, 5, 5);
    });
    return img;
}

void PaintPageButtons() {
    QImage search = ButtonFace(110, 34, false);
    Render(search, [](QPainter& p) { Magnifier(p, QPointF(20, 15), 5.5, kNavyText, 2); });
    Save(search, QStringLiteral("btn_search.bmp"));
    Save(ButtonFace(110, 34, false), QStringLiteral("btn_update_normal.bmp"));
    Save(ButtonFace(110, 34, true), QStringLiteral("btn_update_down.bmp"));
    Save(ButtonFace(96, 30, false), QStringLiteral("btn_config.bmp"));
    Save(ButtonFace(96, 30, true), QStringLiteral("config_btn.bmp"));

    // Small close buttons: on the dialogs' title bars (heading colour) and
    // on the wait dialog (page colour).
    auto smallClose = [](const QColor& background, const QString& name) {
        QImage img = Canvas(20, 20, background);
        Render(img, [](QPainter& p) {
            p.setPen(QPen(kNavyText, 1.8, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(6, 6), QPointF(14, 14));
            p.drawLine(QPointF(14, 6), QPointF(6, 14));
        });
        Save(img, name);
    };
    smallClose(kBeige, QStringLiteral("close_config.bmp"));
    smallClose(Qt::white, QStringLiteral("close_wait.bmp"));
}

void PaintWebHint(bool cjk, const QString& text, const QString& name) {
    QImage img = Canvas(320, 40);
    Render(img, [&](QPainter& p) {
        OpenMark(p, QRectF(6, 8, 30, 24));
        p.setPen(kSlate);
        p.setFont(Font(13, QFont::Normal, cjk));
        p.drawText(QRectF(46, 0, 272, 40), Qt::AlignLeft | Qt::AlignVCenter, text);
    });
    Save(img, name);
}

void PaintBridgePicture(bool cjk, const QString& ap, const QString& station, const QString& name) {
    QImage img = Canvas(320, 96);
    Render(img, [&](QPainter& p) {
        Radio(p, QPointF(60, 78), 62, kNavyText, true);
        Radio(p, QPointF(260, 78), 62, kAccent, false);
        p.setPen(QPen(kOrange, 2, Qt::DashLine, Qt::RoundCap));
        p.drawLine(QPointF(98, 36), QPointF(222, 36));
        p.setPen(Qt::NoPen);
        p.setBrush(kOrange);
        p.drawPolygon(QPolygonF({QPointF(222, 31), QPointF(232, 36), QPointF(222, 41)}));
        p.drawPolygon(QPolygonF({QPointF(98, 31), QPointF(88, 36), QPointF(98, 41)}));
        p.setPen(kNavy);
        p.setFont(Font(13, QFont::Bold, cjk));
        p.drawText(QRectF(0, 80, 120, 16), Qt::AlignCenter, ap);
        p.drawText(QRectF(200, 80, 120, 16), Qt::AlignCenter, station);
    });
    Save(img, name);
}

void PaintBridgeFinish() {
    QImage img = Canvas(420, 220);
    Render(img, [](QPainter& p) {
        QRadialGradient glow(QPointF(210, 100), 110);
        glow.setColorAt(0, QColor(0, 153, 0, 40));
        glow.setColorAt(1, QColor(0, 153, 0, 0));
        p.fillRect(QRect(0, 0, 420, 220), glow);
        Radio(p, QPointF(90, 190), 120, kNavyText, true);
        Radio(p, QPointF(330, 190), 120, kNavyText, false);
        p.setPen(Qt::NoPen);
        p.setBrush(kGreen);
        p.drawEllipse(QPointF(210, 96), 38, 38);
        p.setPen(QPen(Qt::white, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(192, 97), QPointF(205, 110), QPointF(229, 84)}));
    });
    Save(img, QStringLiteral("bridge_finish.jpg"), 95);
}

void PaintSignalBars() {
    for (int level = 0; level <= 5; ++level) {
        QImage img = Canvas(30, 16);
        Render(img, [&](QPainter& p) {
            p.setPen(Qt::NoPen);
            for (int i = 0; i < 5; ++i) {
                const bool lit = i < level;
                QColor c = lit ? (level <= 1   ? kAccent
                                  : level <= 3 ? kOrange
                                               : kGreen)
                               : QColor(214, 218, 225);
                p.setBrush(c);
                const double h = 3 + i * 2.6;
                p.drawRoundedRect(QRectF(4 + i * 4.6, 14 - h, 3.4, h), 1, 1);
            }
        });
        Save(img, QStringLiteral("singal_strength%1.bmp").arg(level));
    }
}

void PaintSmallPictures() {
    auto icon = [](int w, int h, const std::function<void(QPainter&)>& draw, const QString& name) {
        QImage img = Canvas(w, h);
        Render(img, draw);
        Save(img, name);
    };
    icon(
        16, 16,
        [](QPainter& p) {  // a pie in the heading colour
            p.setPen(Qt::NoPen);
            p.setBrush(kBeige);
            p.drawEllipse(QRectF(1, 1, 14, 14));
            p.setBrush(kOrange);
            p.drawPie(QRectF(1, 1, 14, 14), 90 * 16, -130 * 16);
        },
        QStringLiteral("btn_pie.bmp"));
    icon(
        16, 16,
        [](QPainter& p) {  // the same in navy
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(214, 218, 225));
            p.drawEllipse(QRectF(1, 1, 14, 14));
            p.setBrush(kNavyLight);
            p.drawPie(QRectF(1, 1, 14, 14), 90 * 16, -230 * 16);
        },
        QStringLiteral("btn_pie2.bmp"));
    icon(
        900, 2, [](QPainter& p) { p.fillRect(QRect(0, 0, 900, 1), kLine); },
        QStringLiteral("line.bmp"));
    icon(
        600, 1, [](QPainter& p) { p.fillRect(QRect(0, 0, 600, 1), QColor(200, 200, 200)); },
        QStringLiteral("gray_line.bmp"));
    icon(
        600, 2, [](QPainter& p) { p.fillRect(QRect(0, 0, 600, 2), kOrange); },
        QStringLiteral("orange_line.bmp"));
    icon(
        16, 16,
        [](QPainter& p) {  // a pencil
            p.translate(8, 8);
            p.rotate(45);
            p.setPen(Qt::NoPen);
            p.setBrush(kOrange);
            p.drawRect(QRectF(-2.5, -7, 5, 10));
            p.setBrush(kNavyText);
            p.drawPolygon(QPolygonF({QPointF(-2.5, 3), QPointF(2.5, 3), QPointF(0, 7.5)}));
        },
        QStringLiteral("write.bmp"));
    icon(
        24, 24, [](QPainter& p) { Waves(p, QPointF(12, 18), 22, kNavyText, 2.2); },
        QStringLiteral("wireless_basic.bmp"));
    icon(
        24, 24,
        [](QPainter& p) {  // a gear
            p.setPen(Qt::NoPen);
            p.setBrush(kNavyText);
            QPainterPath gear;
            for (int i = 0; i < 8; ++i) {
                p.save();
                p.translate(12, 12);
                p.rotate(i * 45);
                p.drawRoundedRect(QRectF(-2.2, -10.5, 4.4, 6), 1, 1);
                p.restore();
            }
            p.drawEllipse(QPointF(12, 12), 7.2, 7.2);
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(12, 12), 3, 3);
        },
        QStringLiteral("wireless_config.bmp"));
    // The grid's image strip: image 0 (50 x 16) is the "open" mark.
    icon(
        50, 16, [](QPainter& p) { OpenMark(p, QRectF(17, 2, 16, 12)); },
        QStringLiteral("grid_images.bmp"));
}

// ---- Animated busy mark (GIF) -----------------------------------------------
// Qt reads GIF but does not write it; this is the small writer the one
// animation needs. Pixels are stored with 9-bit codes and a clear code
// before the code table would grow, which every reader accepts.

class BitWriter {
public:
    void Put(unsigned code, int bits) {
        acc_ |= static_cast<uint32_t>(code) << count_;
        count_ += bits;
        while (count_ >= 8) {
            bytes_.push_back(static_cast<uint8_t>(acc_ & 0xFF));
            acc_ >>= 8;
            count_ -= 8;
        }
    }
    std::vector<uint8_t> Finish() {
        if (count_ > 0) bytes_.push_back(static_cast<uint8_t>(acc_ & 0xFF));
        return bytes_;
    }

private:
    std::vector<uint8_t> bytes_;
    uint32_t acc_ = 0;
    int count_ = 0;
};

void Append16(QByteArray& out, int v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>((v >> 8) & 0xFF));
}

void PaintBusyAnimation() {
    const int size = 32;
    const int frames = 12;
    // Palette: white to navy in 256 steps; every pixel is a blend of the two.
    std::vector<QColor> palette(256);
    for (int i = 0; i < 256; ++i) {
        const double t = i / 255.0;
        palette[static_cast<size_t>(i)] =
            QColor(static_cast<int>(std::lround(255 + (kNavyLight.red() - 255) * t)),
                   static_cast<int>(std::lround(255 + (kNavyLight.green() - 255) * t)),
                   static_cast<int>(std::lround(255 + (kNavyLight.blue() - 255) * t)));
    }
    QByteArray gif("GIF89a");
    Append16(gif, size);
    Append16(gif, size);
    gif.append(static_cast<char>(0xF7));  // global table, 8 bits, 256 entries
    gif.append('\0');
    gif.append('\0');
    for (const QColor& c : palette) {
        gif.append(static_cast<char>(c.red()));
        gif.append(static_cast<char>(c.green()));
        gif.append(static_cast<char>(c.blue()));
    }
    // Loop for ever.
    gif.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);

    for (int f = 0; f < frames; ++f) {
        QImage img = Canvas(size, size);
        Render(img, [&](QPainter& p) {
            p.setPen(Qt::NoPen);
            for (int d = 0; d < frames; ++d) {
                const int age = (f - d + frames) % frames;
                QColor c = kNavyLight;
                c.setAlphaF(std::max(0.12, 1.0 - age / static_cast<double>(frames - 2)));
                p.setBrush(c);
                const double a = qDegreesToRadians(d * 360.0 / frames - 90);
                p.drawEllipse(QPointF(16 + 11 * std::cos(a), 16 + 11 * std::sin(a)), 2.6, 2.6);
            }
        });
        // Graphic control: 80 ms per frame.
        gif.append("\x21\xF9\x04\x00\x08\x00\x00\x00", 8);
        gif.append(',');
        Append16(gif, 0);
        Append16(gif, 0);
        Append16(gif, size);
        Append16(gif, size);
        gif.append('\0');
        gif.append(static_cast<char>(8));  // minimum code size

        BitWriter bits;
        const unsigned clear = 256;
        const unsigned end = 257;
        bits.Put(clear, 9);
        int sinceClear = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const QColor c = img.pixelColor(x, y);
                // Position on the white-to-navy line, from the red channel's fall.
                const double t = (255.0 - c.red()) / (255.0 - kNavyLight.red());
                const unsigned index =
                    static_cast<unsigned>(std::clamp(std::lround(t * 255.0), 0L, 255L));
                if (sinceClear == 250) {
                    bits.Put(clear, 9);
                    sinceClear = 0;
                }
                bits.Put(index, 9);
                ++sinceClear;
            }
        }
        bits.Put(end, 9);
        const std::vector<uint8_t> data = bits.Finish();
        for (size_t pos = 0; pos < data.size(); pos += 255) {
            const size_t n = std::min<size_t>(255, data.size() - pos);
            gif.append(static_cast<char>(n));
            gif.append(reinterpret_cast<const char*>(data.data() + pos), static_cast<qsizetype>(n));
        }
        gif.append('\0');
    }
    gif.append(';');

    QFile file(g_out + QStringLiteral("/wait_search.gif"));
    if (!file.open(QIODevice::WriteOnly) || file.write(gif) != gif.size()) {
        std::fprintf(stderr, "skin painter: cannot write wait_search.gif\n");
        ++g_failures;
    }
}

// ---- Application icon -------------------------------------------------------
// An .ico holding PNG images of several sizes, which both the toolkit and
// desktops read.

QImage IconImage(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    Render(img, [&](QPainter& p) { Emblem(p, QRectF(0, 0, size, size), false); });
    return img;
}

void PaintApplicationIcon() {
    const int sizes[] = {16, 24, 32, 48, 64, 128, 256};
    std::vector<QByteArray> pngs;
    for (int s : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        IconImage(s).save(&buffer, "PNG");
        pngs.push_back(png);
    }
    QByteArray ico;
    Append16(ico, 0);
    Append16(ico, 1);
    Append16(ico, static_cast<int>(pngs.size()));
    int offset = 6 + 16 * static_cast<int>(pngs.size());
    for (size_t i = 0; i < pngs.size(); ++i) {
        const int s = sizes[i];
        ico.append(static_cast<char>(s >= 256 ? 0 : s));
        ico.append(static_cast<char>(s >= 256 ? 0 : s));
        ico.append('\0');
        ico.append('\0');
        Append16(ico, 1);
        Append16(ico, 32);
        const int n = static_cast<int>(pngs[i].size());
        Append16(ico, n & 0xFFFF);
        Append16(ico, (n >> 16) & 0xFFFF);
        Append16(ico, offset & 0xFFFF);
        Append16(ico, (offset >> 16) & 0xFFFF);
        offset += n;
    }
    for (const QByteArray& png : pngs) ico.append(png);
    QFile file(g_out + QStringLiteral("/Application.ico"));
    if (!file.open(QIODevice::WriteOnly) || file.write(ico) != ico.size()) {
        std::fprintf(stderr, "skin painter: cannot write Application.ico\n");
        ++g_failures;
    }
    // The desktop entry's icon.
    if (!IconImage(256).save(g_out + QStringLiteral("/kestrix.png"))) ++g_failures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    g_out = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(g_out)) {
        std::fprintf(stderr, "skin painter: cannot create %s\n", argv[1]);
        return 1;
    }
    PaintMainBackground();
    PaintMenuPanel();
    PaintMenuButtons();
    PaintCaptionButtons();
    PaintHelpIcons();
    PaintInstallHelps();
    PaintPageButtons();
    PaintWebHint(false, QStringLiteral("Click the mark under Operate to open a web page"),
                 QStringLiteral("web_other.bmp"));
    PaintWebHint(true, QString::fromUtf8("点击“操作”列中的图标打开设备的网页"),
                 QStringLiteral("web_chinese.bmp"));
    PaintBridgePicture(false, QStringLiteral("AP"), QStringLiteral("Station"),
                       QStringLiteral("bridge_other.bmp"));
    PaintBridgePicture(true, QString::fromUtf8("接入点"), QString::fromUtf8("客户端"),
                       QStringLiteral("bridge_chinese.bmp"));
    PaintBridgeFinish();
    PaintSignalBars();
    PaintSmallPictures();
    PaintBusyAnimation();
    PaintApplicationIcon();
    return g_failures == 0 ? 0 : 1;
}
