#include "shell/ApplicationDlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWindow>

#include "base/language.h"
#include "controls/TButtonPicture.h"
#include "shell/ChildDlg.h"
#include "shell/MenuDlg.h"
#include "shell/Styling.h"
#include "shell/TranslateWidgets.h"

namespace kestrix {

namespace {

constexpr int kTrayTipLimit = 127;

QString Tr(const char* key) {
    return ToQString(TranslateText(key));
}

struct HelpItem {
    const char* text;
    const char* urlKey;
    std::string SkinPaths::*picture;
};

const HelpItem kHelpItems[] = {
    {"Product", "Product_url", &SkinPaths::helpProduct},
    {"Support", "Support_url", &SkinPaths::helpSupport},
    {"Contact Us", "Contact_url", &SkinPaths::helpContact},
    {"Help", "Help_url", &SkinPaths::helpHelp},
};

}  // namespace

CApplicationDlg::CApplicationDlg(const AppContext& context, const PageList& pages, QWidget* parent)
    : QWidget(parent), context_(context) {
    const AppearanceSettings& a = context.appearance;
    const SkinPaths& skin = context.skin;

    setObjectName(QStringLiteral("mainWindow"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint);
    setFixedSize(kWidth, kHeight);
    setWindowTitle(QStringLiteral("CPEManagement"));

    // Icons: the window's large and small icon, the tray icon.
    appIcon_ = QIcon(ToQString(skin.applicationIcon));
    setWindowIcon(appIcon_);

    // The title shown in the header and by the desktop's task list.
    title_ = new QLabel(QStringLiteral("CPEManagement"), this);
    title_->setObjectName(QStringLiteral("title"));
    title_->setGeometry(72, 0, 600, kPagesTop - 6);
    title_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    {
        QFont f = MakeFont({26, 600, a.FontName});
        title_->setFont(f);
        QPalette pal = title_->palette();
        pal.setColor(QPalette::WindowText, Qt::white);
        title_->setPalette(pal);
    }

    TranslateDialog(this);
    ApplyBackground(a, this, ToQString(skin.mainBk));

    // Caption buttons, right to left: close, minimise, information.
    auto makeCaption = [&](const char* name, const std::string& image, int slot) {
        auto* b = new CTButtonPicture(this);
        b->setObjectName(QString::fromLatin1(name));
        b->SetImages(ToQString(image));
        b->setGeometry(skin::CaptionButtonLeft(slot), skin::kCaptionTop, skin::kCaptionWidth,
                       skin::kCaptionHeight);
        return b;
    };
    closeButton_ = makeCaption("closeButton", skin.closeNormal, 0);
    minButton_ = makeCaption("minButton", skin.minNormal, 1);
    infoButton_ = makeCaption("infoButton", skin.helpNormal, 2);
    minButton_->setToolTip(Tr("Min"));
    closeButton_->setToolTip(Tr("Close"));
    infoButton_->setToolTip(Tr("Info"));
    connect(closeButton_, &QAbstractButton::clicked, this, [this] { EndDialog(1); });
    connect(minButton_, &QAbstractButton::clicked, this, [this] { OnMinimize(); });
    connect(infoButton_, &QAbstractButton::clicked, this, [this] { OnHelpButton(); });

    trayAvailable_ = QSystemTrayIcon::isSystemTrayAvailable();
    if (trayAvailable_) CreateTrayIcon();

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    // The menu panel selects the first page, so the container comes first.
    container_ = new CChildDlg(context, pages, this);
    container_->setGeometry(CMenuDlg::kWidth, kPagesTop, kWidth - CMenuDlg::kWidth,
                            kHeight - kPagesTop);
    menu_ = new CMenuDlg(context, this);
    menu_->setGeometry(0, kMenuTop, CMenuDlg::kWidth, kHeight - kMenuTop);
    container_->show();
    menu_->show();
    menu_->SelectFirstPage();
}

CApplicationDlg::~CApplicationDlg() {
    if (tray_) tray_->hide();
}

void CApplicationDlg::CreateTrayIcon() {
    tray_ = new QSystemTrayIcon(appIcon_, this);
    tray_->setToolTip(Tr("CPEManagement").left(kTrayTipLimit));
    trayMenu_ = BuildTrayMenu();
    tray_->setContextMenu(trayMenu_.get());
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) OnShowFromTray();
            });
    tray_->show();
}

int CApplicationDlg::RunModal() {
    show();
    return loop_.exec();
}

void CApplicationDlg::EndDialog(int result) {
    hide();
    loop_.exit(result);
}

std::unique_ptr<QMenu> CApplicationDlg::BuildHelpMenu() {
    auto menu = std::make_unique<QMenu>();
    menu->setObjectName(QStringLiteral("helpMenu"));
    const SkinPaths& skin = context_.skin;
    for (const HelpItem& item : kHelpItems) {
        QAction* action = menu->addAction(PictureIcon(ToQString(skin.*item.picture)),
                                          QString::fromLatin1(item.text));
        const QString key = QString::fromLatin1(item.urlKey);
        connect(action, &QAction::triggered, this, [this, key] {
            OpenAddress(context_, HelpAddress(key, context_.appearance.programDir));
        });
    }
    TranslateMenu(menu.get());
    StylePopupMenu(menu.get());
    return menu;
}

std::unique_ptr<QMenu> CApplicationDlg::BuildTrayMenu() {
    auto menu = std::make_unique<QMenu>();
    menu->setObjectName(QStringLiteral("trayMenu"));
    QAction* show = menu->addAction(QStringLiteral("Show Utility"));
    QAction* exit = menu->addAction(QStringLiteral("Exit"));
    connect(show, &QAction::triggered, this, [this] { OnShowFromTray(); });
    connect(exit, &QAction::triggered, this, [this] { EndDialog(1); });
    TranslateMenu(menu.get());
    StylePopupMenu(menu.get());
    return menu;
}

QUrl CApplicationDlg::HelpAddress(const QString& key, const std::string& programDir) {
    const QString text = ToQString(TranslateText(key.toStdString())).trimmed();
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    if (scheme.match(text).hasMatch()) return QUrl(text);
    // The language files name the guide shipped beside the program by its
    // place in the program folder, since the folder differs per machine.
    const QString fragment = text.section(QLatin1Char('#'), 1);
    const QString path = text.section(QLatin1Char('#'), 0, 0);
    const QString dir = ToQString(programDir);
    if (!path.isEmpty() && !dir.isEmpty() && QFileInfo(dir + path).isFile()) {
        QUrl url = QUrl::fromLocalFile(dir + path);
        if (!fragment.isEmpty()) url.setFragment(fragment);
        return url;
    }
    return QUrl(text);
}

void CApplicationDlg::OnHelpButton() {
    std::unique_ptr<QMenu> menu = BuildHelpMenu();
    raise();
    activateWindow();
    menu->exec(QCursor::pos() + QPoint(-6, 30));
}

void CApplicationDlg::OnMinimize() {
    if (trayAvailable_) {
        hide();
    } else {
        showMinimized();
    }
}

void CApplicationDlg::OnShowFromTray() {
    showNormal();
    raise();
    activateWindow();
}

void CApplicationDlg::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape must not close the main window.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void CApplicationDlg::closeEvent(QCloseEvent* event) {
    // The desktop's close request ends the application like Close does.
    event->accept();
    EndDialog(1);
}

void CApplicationDlg::mousePressEvent(QMouseEvent* event) {
    // The header band moves the window, since it has no caption of its own.
    if (event->button() == Qt::LeftButton && event->position().y() < kPagesTop) {
        if (QWindow* w = windowHandle()) {
            if (w->startSystemMove()) return;
        }
    }
    QWidget::mousePressEvent(event);
}

void CApplicationDlg::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (firstPaintHook_) {
        auto hook = std::move(firstPaintHook_);
        firstPaintHook_ = nullptr;
        hook();
    }
}

}  // namespace kestrix
