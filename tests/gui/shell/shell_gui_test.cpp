// The desktop application's windows, offscreen: translation walks, the main
// window with its menu, pages, tray and help menu, the appearance settings
// applied, and PNG renders of the main window in English and Chinese.

#include <memory>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/PageRegistry.h"
#include "base/appearance.h"
#include "base/language.h"
#include "controls/TButtonPicture.h"
#include "fleet/page_ids.h"
#include "kestrix_version.h"
#include "pages/InstallHelpDlg.h"
#include "shell/AppContext.h"
#include "shell/ApplicationDlg.h"
#include "shell/ChildDlg.h"
#include "shell/MenuDlg.h"
#include "shell/PageBase.h"
#include "shell/TranslateWidgets.h"

namespace testing_ns {
// Stands for the grid helper's IPv4 address editor: matched by class name.
class CTIpAddressEdit : public QWidget {
    Q_OBJECT
public:
    explicit CTIpAddressEdit(QWidget* parent) : QWidget(parent) {
        dot_ = new QLabel(QStringLiteral("Save"), this);
    }
    QLabel* dot_;
};
}  // namespace testing_ns

using namespace kestrix;

namespace {

const QString kBundle = QStringLiteral(KX_BUNDLE_DIR);

// Writes a program folder with the given Chinese.lng body (and the locale
// map), for translation tests that need texts of their own.
QString MakeLanguageFolder(const QTemporaryDir& dir, const QByteArray& body) {
    QDir(dir.path()).mkpath(QStringLiteral("Languages"));
    QFile map(dir.filePath(QStringLiteral("Languages/Language.ini")));
    map.open(QIODevice::WriteOnly);
    map.write("[LCID]\n2052=Chinese\n");
    QFile lng(dir.filePath(QStringLiteral("Languages/Chinese.lng")));
    lng.open(QIODevice::WriteOnly);
    lng.write("[ProgramOutStr]\n" + body);
    return dir.path() + QLatin1Char('/');
}

}  // namespace

class ShellGuiTest : public QObject {
    Q_OBJECT
private:
    // The application object the windows read, set up for the bundle in
    // the given locale (as start-up would).
    void UseBundle(uint32_t locale) {
        const std::string dir = kBundle.toStdString() + "/";
        InitLanguageWithLocale(dir, locale);
        ctx_.appearance = LoadAppearanceSettings(dir);
        ctx_.skin = BuildSkinPaths(dir, CurrentLocaleId());
    }
    std::unique_ptr<CApplicationDlg> MainWindow() {
        auto w = std::make_unique<CApplicationDlg>(ctx_, RegisteredPages());
        return w;
    }
    static int SelectedCount(const CMenuDlg* menu) {
        int n = 0;
        for (int i = 0; i < CMenuDlg::kButtonCount; ++i) n += menu->Button(i)->IsSelected() ? 1 : 0;
        return n;
    }
    static QStringList Visible(const CChildDlg* c) {
        QStringList pages;
        for (const PageEntry& e : RegisteredPages()) {
            if (c->Page(e.dialogId)->isVisible()) pages << QString::number(e.dialogId);
        }
        return pages;
    }

    AppContext ctx_;

private slots:
    void init() {
        ctx_ = AppContext{};
        UseBundle(1033);
    }
    void cleanup() {
        ctx_.urlOpener = [](const QUrl&) {};
    }

    void translateDialogOnceAndKeepsDataWidgets() {
        QTemporaryDir tmp;
        const QString dir = MakeLanguageFolder(
            tmp,
            "Title=Titre\nSave=Enregistrer\nGroup=Groupe\nTick=Cocher\nRow=Ligne\n"
            "Keep=Garder\nEmpty=[~NullInfoOrlen~]\nBlank=[~Null~]\n...=Trois\n"
            "Later=Plus tard\n");
        InitLanguageWithLocale(dir.toStdString(), 2052);

        QWidget dialog;
        dialog.setWindowTitle(QStringLiteral("Title"));
        auto* label = new QLabel(QStringLiteral("Save"), &dialog);
        auto* unknown = new QLabel(QStringLiteral("No such key"), &dialog);
        auto* empty = new QLabel(QStringLiteral("Empty"), &dialog);
        auto* blank = new QLabel(QStringLiteral("Blank"), &dialog);
        auto* dots = new QPushButton(QStringLiteral("..."), &dialog);
        auto* group = new QGroupBox(QStringLiteral("Group"), &dialog);
        auto* tick = new QCheckBox(QStringLiteral("Tick"), group);  // a grandchild
        auto* combo = new QComboBox(&dialog);
        combo->addItem(QStringLiteral("Row"), 15);
        combo->addItem(QStringLiteral("Keep"), 30);
        combo->addItem(QStringLiteral("Other"), 50);
        combo->setCurrentIndex(1);
        auto* edit = new QLineEdit(QStringLiteral("Save"), &dialog);
        auto* list = new QListWidget(&dialog);
        list->addItem(QStringLiteral("Save"));
        auto* table = new QTableWidget(1, 1, &dialog);
        table->setItem(0, 0, new QTableWidgetItem(QStringLiteral("Save")));
        auto* tree = new QTreeWidget(&dialog);
        tree->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("Save")}));
        auto* spin = new QSpinBox(&dialog);
        spin->setSuffix(QStringLiteral("Save"));
        auto* date = new QDateTimeEdit(&dialog);
        auto* progress = new QProgressBar(&dialog);
        progress->setFormat(QStringLiteral("Save"));
        auto* address = new testing_ns::CTIpAddressEdit(&dialog);
        auto* marked = new QLabel(QStringLiteral("Save"), &dialog);
        marked->setProperty("kxKeepText", true);

        TranslateDialog(&dialog);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Titre"));
        QCOMPARE(label->text(), QStringLiteral("Enregistrer"));
        QCOMPARE(unknown->text(), QStringLiteral("No such key"));
        // An empty translation is not applied; a single space is.
        QCOMPARE(empty->text(), QStringLiteral("Empty"));
        QCOMPARE(blank->text(), QStringLiteral(" "));
        QCOMPARE(dots->text(), QStringLiteral("..."));
        QCOMPARE(group->title(), QStringLiteral("Groupe"));
        QCOMPARE(tick->text(), QStringLiteral("Cocher"));
        // Combo items are translated with their data and the selection kept.
        QCOMPARE(combo->itemText(0), QStringLiteral("Ligne"));
        QCOMPARE(combo->itemText(1), QStringLiteral("Garder"));
        QCOMPARE(combo->itemText(2), QStringLiteral("Other"));
        QCOMPARE(combo->itemData(0).toInt(), 15);
        QCOMPARE(combo->itemData(1).toInt(), 30);
        QCOMPARE(combo->currentIndex(), 1);
        // Widgets holding data keep their texts, with everything inside them.
        QCOMPARE(edit->text(), QStringLiteral("Save"));
        QCOMPARE(list->item(0)->text(), QStringLiteral("Save"));
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("Save"));
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Save"));
        QCOMPARE(spin->suffix(), QStringLiteral("Save"));
        QVERIFY(IsTranslated(date) && IsTranslated(progress));
        QCOMPARE(progress->format(), QStringLiteral("Save"));
        QCOMPARE(address->dot_->text(), QStringLiteral("Save"));
        QCOMPARE(marked->text(), QStringLiteral("Save"));

        // Twice: nothing changes, not even texts set since or widgets added.
        label->setText(QStringLiteral("Save"));
        auto* later = new QLabel(QStringLiteral("Later"), &dialog);
        TranslateDialog(&dialog);
        QCOMPARE(label->text(), QStringLiteral("Save"));
        QCOMPARE(later->text(), QStringLiteral("Later"));
        QCOMPARE(combo->itemText(0), QStringLiteral("Ligne"));
        // A page built inside an already translated window still translates
        // itself once.
        auto* page = new QWidget(&dialog);
        auto* pageLabel = new QLabel(QStringLiteral("Later"), page);
        TranslateDialog(page);
        QCOMPARE(pageLabel->text(), QStringLiteral("Plus tard"));
    }

    void translateMenuWithSubMenus() {
        QTemporaryDir tmp;
        InitLanguageWithLocale(
            MakeLanguageFolder(tmp,
                               "Exit=Quitter\nMore=Plus\nDeep=Profond\nLeaf=Feuille\n"
                               "Empty=[~NullInfoOrlen~]\n")
                .toStdString(),
            2052);
        QMenu menu;
        QAction* exit = menu.addAction(QStringLiteral("Exit"));
        QAction* separator = menu.addSeparator();
        QAction* empty = menu.addAction(QStringLiteral("Empty"));
        QMenu* more = menu.addMenu(QStringLiteral("More"));
        QAction* leaf = more->addAction(QStringLiteral("Leaf"));
        QMenu* deep = more->addMenu(QStringLiteral("Deep"));
        QAction* deepLeaf = deep->addAction(QStringLiteral("Leaf"));
        QAction* unknown = deep->addAction(QStringLiteral("Unknown"));

        TranslateMenu(&menu);
        QCOMPARE(exit->text(), QStringLiteral("Quitter"));
        QVERIFY(separator->isSeparator() && separator->text().isEmpty());
        QCOMPARE(empty->text(), QStringLiteral("Empty"));
        QCOMPARE(more->title(), QStringLiteral("Plus"));
        QCOMPARE(leaf->text(), QStringLiteral("Feuille"));
        QCOMPARE(deep->title(), QStringLiteral("Profond"));
        QCOMPARE(deepLeaf->text(), QStringLiteral("Feuille"));
        QCOMPARE(unknown->text(), QStringLiteral("Unknown"));
    }

    void mainWindowStartsOnTheStatusPage() {
        auto w = MainWindow();
        QCOMPARE(w->size(), QSize(CApplicationDlg::kWidth, CApplicationDlg::kHeight));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QVERIFY(w->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(w->MinButton()->toolTip(), QStringLiteral("Min"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Kestrix Device Manager"));

        CChildDlg* c = w->PageContainer();
        QCOMPARE(c->PageCount(), 8);
        QCOMPARE(c->VisiblePageId(), int(kStatusPageId));
        w->show();
        QCOMPARE(Visible(c), QStringList{QString::number(kStatusPageId)});
        QCOMPARE(SelectedCount(w->MenuPanel()), 1);
        QVERIFY(w->MenuPanel()->Button(0)->IsSelected());
        QVERIFY(w->MenuPanel()->Button(0)->DrawsPressed());
        QVERIFY(c->ShowRefreshTimer().isActive());
        QCOMPARE(c->ShowRefreshTimer().interval(), 100);
        QVERIFY(c->PeriodicRefreshTimer().isActive());
        QCOMPARE(c->PeriodicRefreshTimer().interval(), 30000);
        QCOMPARE(w->MenuPanel()->VersionLabel()->text(), QStringLiteral("V" KESTRIX_VERSION_TEXT));
        // Each menu entry shows a page the container holds.
        for (int i = 0; i < CMenuDlg::kButtonCount; ++i) {
            const int id = CMenuDlg::PageIdAt(i);
            QVERIFY(c->Page(id) != nullptr);
            QCOMPARE(c->Page(id)->DialogId(), id);
        }
    }

    void menuSelectsExactlyOneButtonAndItsPage() {
        auto w = MainWindow();
        w->show();
        CMenuDlg* menu = w->MenuPanel();
        CChildDlg* c = w->PageContainer();
        QSignalSpy refreshed(c, &CChildDlg::PageRefreshed);
        for (int i = CMenuDlg::kButtonCount - 1; i >= 0; --i) {
            QTest::mouseClick(menu->Button(i), Qt::LeftButton);
            QCOMPARE(SelectedCount(menu), 1);
            QVERIFY(menu->Button(i)->IsSelected());
            QCOMPARE(c->VisiblePageId(), CMenuDlg::PageIdAt(i));
            QCOMPARE(Visible(c), QStringList{QString::number(CMenuDlg::PageIdAt(i))});
            QVERIFY(c->ShowRefreshTimer().isActive());
        }
        // Clicking the selected button again shows the same page and
        // refreshes it once, 100 ms later.
        refreshed.clear();
        QTest::mouseClick(menu->Button(0), Qt::LeftButton);
        QTest::mouseClick(menu->Button(0), Qt::LeftButton);
        QTRY_COMPARE(refreshed.count(), 1);
        QCOMPARE(refreshed.at(0).at(0).toInt(), int(kStatusPageId));
        QVERIFY(!c->ShowRefreshTimer().isActive());
        QCOMPARE(SelectedCount(menu), 1);
    }

    void periodicRefreshSkipsActionPagesAndSearches() {
        auto w = MainWindow();
        CChildDlg* c = w->PageContainer();
        QSignalSpy refreshed(c, &CChildDlg::PageRefreshed);
        const std::pair<int, bool> cases[] = {
            {kStatusPageId, true},  {kManagementPageId, true}, {kBridgePageId, true},
            {kRebootPageId, false}, {kUpgradePageId, false},   {kRestorePageId, false},
        };
        for (auto [page, expected] : cases) {
            c->ShowPage(page);
            refreshed.clear();
            c->OnPeriodicRefreshTimer();
            QCOMPARE(refreshed.count(), expected ? 1 : 0);
        }
        c->ShowPage(kStatusPageId);
        c->SetRefreshAllowed(false);
        refreshed.clear();
        c->OnPeriodicRefreshTimer();
        QCOMPARE(refreshed.count(), 0);
        c->SetRefreshAllowed(true);
        c->OnPeriodicRefreshTimer();
        QCOMPARE(refreshed.count(), 1);
    }

    void enterAndEscapeDoNotCloseTheWindow() {
        auto w = MainWindow();
        bool stillRunning = false;
        QTimer::singleShot(0, w.get(), [&] {
            QTest::keyClick(w.get(), Qt::Key_Escape);
            QTest::keyClick(w.get(), Qt::Key_Return);
            QTest::keyClick(w.get(), Qt::Key_Enter);
            QCoreApplication::processEvents();
            stillRunning = w->IsRunning() && w->isVisible();
            w->EndDialog(7);
        });
        QCOMPARE(w->RunModal(), 7);
        QVERIFY(stillRunning);
    }

    void minimiseHidesOnlyWhenATrayCanBringItBack() {
        auto w = MainWindow();
        bool hiddenButRunning = false;
        bool shownAgain = false;
        w->SetTrayAvailable(true);
        QTimer::singleShot(0, w.get(), [&] {
            QTest::mouseClick(w->MinButton(), Qt::LeftButton);
            hiddenButRunning = !w->isVisible() && w->IsRunning();
            std::unique_ptr<QMenu> tray = w->BuildTrayMenu();
            tray->actions().at(0)->trigger();  // "Show Utility"
            shownAgain = w->isVisible();
            tray->actions().at(1)->trigger();  // "Exit" ends the run
        });
        QCOMPARE(w->RunModal(), 1);
        QVERIFY(hiddenButRunning);
        QVERIFY(shownAgain);

        // No tray: Min must not strand the window.
        auto v = MainWindow();
        v->SetTrayAvailable(false);
        v->show();
        QTest::mouseClick(v->MinButton(), Qt::LeftButton);
        QVERIFY(v->isVisible());
        QVERIFY(v->isMinimized());
    }

    void helpMenuOpensTheTranslatedAddresses() {
        QTemporaryDir tmp;
        const QString dir =
            MakeLanguageFolder(tmp,
                               "Product=Produit\nProduct_url=https://example.test/product\n"
                               "Help_url=guide/index.html#help\n");
        QDir(tmp.path()).mkpath(QStringLiteral("guide"));
        QFile(tmp.filePath(QStringLiteral("guide/index.html"))).open(QIODevice::WriteOnly);
        InitLanguageWithLocale(dir.toStdString(), 2052);
        AppearanceSettings a = ctx_.appearance;
        a.programDir = dir.toStdString();
        ctx_.appearance = a;

        QList<QUrl> opened;
        ctx_.urlOpener = [&](const QUrl& url) { opened << url; };
        auto w = MainWindow();
        std::unique_ptr<QMenu> menu = w->BuildHelpMenu();
        const QList<QAction*> items = menu->actions();
        QCOMPARE(items.size(), 4);
        QCOMPARE(items[0]->text(), QStringLiteral("Produit"));
        QCOMPARE(items[2]->text(), QStringLiteral("Contact Us"));
        for (QAction* item : items) QVERIFY(!item->icon().isNull());
        for (QAction* item : items) item->trigger();
        QCOMPARE(opened.size(), 4);
        QCOMPARE(opened[0], QUrl(QStringLiteral("https://example.test/product")));
        // No translation: the key itself goes to the desktop.
        QCOMPARE(opened[1], QUrl(QStringLiteral("Support_url")));
        // A guide in the program folder is opened as a file, fragment kept.
        QVERIFY(opened[3].isLocalFile());
        QCOMPARE(opened[3].toLocalFile(), tmp.filePath(QStringLiteral("guide/index.html")));
        QCOMPARE(opened[3].fragment(), QStringLiteral("help"));
    }

    void shippedHelpAddressesPointAtTheGuide() {
        for (uint32_t locale : {1033u, 2052u}) {
            UseBundle(locale);
            for (const char* key : {"Product_url", "Support_url", "Contact_url", "Help_url"}) {
                const QUrl url = CApplicationDlg::HelpAddress(QString::fromLatin1(key),
                                                              ctx_.appearance.programDir);
                QVERIFY2(url.isLocalFile() && QFile::exists(url.toLocalFile()), key);
                QVERIFY(!url.fragment().isEmpty());
            }
        }
    }

    void installHelpPictureFollowsTheLocale() {
        for (auto [locale, file] :
             {std::pair{2052u, "help_chinese.jpg"}, std::pair{1033u, "help_other.jpg"},
              std::pair{1031u, "help_other.jpg"}}) {
            UseBundle(locale);
            CInstallHelpDlg page(ctx_, nullptr);
            QVERIFY(page.PicturePath().endsWith(QLatin1String(file)));
            QVERIFY(page.HasPicture());
        }
    }

    void chineseWindowHasNoEnglishLeft() {
        UseBundle(2052);
        auto w = MainWindow();
        QStringList english;
        auto check = [&](const QString& text) {
            // Every shown text holds Chinese, apart from the version and the
            // PX-SYNC feature's name, which reads the same in every language.
            if (text.isEmpty() || text.startsWith(QLatin1Char('V'))) return;
            if (text == QLatin1String("PX-SYNC")) return;
            for (QChar c : text) {
                if (c.unicode() > 0x2e80) return;
            }
            english << text;
        };
        for (QLabel* label : w->findChildren<QLabel*>()) check(label->text());
        for (CTButtonPicture* b : w->findChildren<CTButtonPicture*>()) {
            check(b->text());
            check(b->toolTip());
        }
        std::unique_ptr<QMenu> help = w->BuildHelpMenu();
        std::unique_ptr<QMenu> tray = w->BuildTrayMenu();
        for (QMenu* menu : {help.get(), tray.get()}) {
            for (QAction* a : menu->actions()) check(a->text());
        }
        QVERIFY2(english.isEmpty(), qPrintable(english.join(QStringLiteral(" | "))));
    }

    void settingsRecolourTheWindows() {
        QTemporaryDir tmp;
        QFile settings(tmp.filePath(QStringLiteral("Setting.ini")));
        settings.open(QIODevice::WriteOnly);
        settings.write(
            "[Color]\nChildBkColor=10,20,30\nButtonMenuFontColor=1,2,3\n"
            "TextDownColor=200,0,100\nStaticTextNumberColor=9,9,9\n"
            "[Font]\nButtonMenuFontWeight=700\n");
        settings.close();
        ctx_.appearance = LoadAppearanceSettings(tmp.path().toStdString() + "/");
        auto w = MainWindow();
        CTButtonPicture* b = w->MenuPanel()->Button(3);
        QCOMPARE(b->TextColor(), QColor(1, 2, 3));
        QCOMPARE(b->DownTextColor(), QColor(200, 0, 100));
        QCOMPARE(b->font().weight(), QFont::Bold);
        QCOMPARE(b->TextLeftMargin(), 52);
        QCOMPARE(w->PageContainer()->palette().color(QPalette::Window), QColor(10, 20, 30));
        QCOMPARE(w->MenuPanel()->VersionLabel()->palette().color(QPalette::WindowText),
                 QColor(9, 9, 9));
        const QImage page = w->PageContainer()->Page(kRebootPageId)->grab().toImage();
        QCOMPARE(page.pixelColor(page.width() - 3, 3), QColor(10, 20, 30));
    }

    void skinHasEveryPicture() {
        for (const std::string& name : AllSkinFileNames()) {
            const QString path = kBundle + QStringLiteral("/Skin/") + QString::fromStdString(name);
            QVERIFY2(!QImage(path).isNull(), qPrintable(path));
        }
        const QIcon icon(kBundle + QStringLiteral("/Skin/Application.ico"));
        QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
        QVERIFY(icon.availableSizes().contains(QSize(256, 256)));
    }

    // Renders for people to look at; written under the build folder.
    void renderMainWindow_data() {
        QTest::addColumn<uint>("locale");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("page");
        QTest::newRow("en") << 1033u << QStringLiteral("main_en") << 0;
        QTest::newRow("zh") << 2052u << QStringLiteral("main_zh") << 0;
        QTest::newRow("en-help") << 1033u << QStringLiteral("install_help_en") << 7;
        QTest::newRow("zh-help") << 2052u << QStringLiteral("install_help_zh") << 7;
        QTest::newRow("zh-upgrade") << 2052u << QStringLiteral("upgrade_zh") << 4;
    }
    void renderMainWindow() {
        QFETCH(uint, locale);
        QFETCH(QString, name);
        QFETCH(int, page);
        UseBundle(locale);
        auto w = MainWindow();
        w->show();
        QTest::mouseClick(w->MenuPanel()->Button(page), Qt::LeftButton);
        QCoreApplication::processEvents();
        const QImage shot = w->grab().toImage();
        QVERIFY(!shot.isNull());
        QDir().mkpath(QStringLiteral(KX_RENDER_DIR));
        QVERIFY(shot.save(QStringLiteral(KX_RENDER_DIR "/") + name + QStringLiteral(".png")));
        // The header is the skin's navy, not an empty window.
        const QColor header = shot.pixelColor(400, 40);
        QVERIFY(header.blue() > header.red() && header.value() < 110);
    }

    void renderHelpMenu_data() {
        QTest::addColumn<uint>("locale");
        QTest::newRow("en") << 1033u;
        QTest::newRow("zh") << 2052u;
    }
    void renderHelpMenu() {
        QFETCH(uint, locale);
        UseBundle(locale);
        auto w = MainWindow();
        std::unique_ptr<QMenu> menu = w->BuildHelpMenu();
        menu->popup(QPoint(0, 0));
        const QImage shot = menu->grab().toImage();
        menu->close();
        QVERIFY(shot.save(QStringLiteral(KX_RENDER_DIR "/help_menu_") +
                          (locale == 2052 ? QStringLiteral("zh") : QStringLiteral("en")) +
                          QStringLiteral(".png")));
    }
};

QTEST_MAIN(ShellGuiTest)
#include "shell_gui_test.moc"
