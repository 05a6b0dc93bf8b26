// The controls the device lists stand on, offscreen: the grid, the page
// strip, the IPv4 address editor and the wait dialog.

#include "tests/gui/controls/controls_test.h"

#include <memory>

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include "base/language.h"
#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "controls/TIpAddressEdit.h"
#include "controls/TMultiPages.h"
#include "controls/WaitDlg.h"
#include "shell/TranslateWidgets.h"
#include "tests/support/grid_clicks.h"
#include "tests/support/temp_files.h"

using namespace kestrix;
using kestrix::testing::ClickCell;
using kestrix::testing::ClickHeading;

namespace {

// A grid of `rows` data rows and three columns, shown.
std::unique_ptr<CGridCtrl> MakeGrid(int rows) {
    auto grid = std::make_unique<CGridCtrl>();
    grid->resize(500, 400);
    grid->SetColumnCount(3);
    grid->SetCheckColumn(true);
    for (int c = 0; c < 3; ++c) grid->setColumnWidth(c, 120);
    grid->SetHeading(1, QStringLiteral("Name"));
    grid->SetHeading(2, QStringLiteral("IP"));
    for (int r = 0; r < rows; ++r) {
        const int row = grid->InsertRow();
        grid->SetItemText(row, 1, QStringLiteral("dev%1").arg(row));
        grid->SetItemText(row, 2, QStringLiteral("10.0.0.%1").arg(row));
    }
    grid->show();
    return grid;
}

QStringList StripTexts(int current, int count) {
    CTMultiPages strip;
    strip.resize(420, 32);
    strip.SetPages(current, count);
    return strip.ButtonTexts();
}

}  // namespace

void ControlsTest::gridRowsCellsAndNotifications() {
    auto grid = MakeGrid(3);
    QCOMPARE(grid->GetRowCount(), 4);
    QCOMPARE(grid->GetItemText(0, 1), QStringLiteral("Name"));
    QCOMPARE(grid->GetItemText(2, 1), QStringLiteral("dev2"));
    QCOMPARE(grid->rowHeight(0), 48);

    grid->SetItemFgColour(2, 2, QColor(0, 153, 0));
    grid->SetItemData(2, 1, 10);
    QCOMPARE(grid->GetItemFgColour(2, 2), QColor(0, 153, 0));
    QCOMPARE(grid->GetItemFgColour(2, 1), grid->DefaultTextColor());
    QCOMPARE(grid->GetItemData(2, 1), qint64(10));
    // Out of range: nothing happens, nothing is read.
    grid->SetItemText(9, 1, QStringLiteral("x"));
    grid->SetItemText(1, 7, QStringLiteral("x"));
    QCOMPARE(grid->GetItemText(9, 1), QString());
    QCOMPARE(grid->GetItemData(0, 1), qint64(0));

    QSignalSpy clicks(grid.get(), &CGridCtrl::CellClicked);
    ClickHeading(grid.get(), 2);
    ClickCell(grid.get(), 3, 1);
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(clicks[0], (QList<QVariant>{0, 2}));
    QCOMPARE(clicks[1], (QList<QVariant>{3, 1}));

    // The grid does not tick by itself: a page decides what a click does.
    ClickCell(grid.get(), 1, 0);
    QVERIFY(!grid->GetCheck(1));
    grid->SetCheck(1, true);
    grid->SetCheck(0, true);
    QVERIFY(grid->GetCheck(1) && grid->GetCheck(0) && !grid->GetCheck(2));

    grid->SetSortMark(2, false);
    QCOMPARE(grid->SortMarkColumn(), 2);
    QVERIFY(!grid->SortMarkAscending());

    grid->DeleteNonFixedRows();
    QCOMPARE(grid->GetRowCount(), 1);
    QCOMPARE(grid->GetHeading(1), QStringLiteral("Name"));
}

void ControlsTest::gridRebuildsWithRedrawOff() {
    auto grid = MakeGrid(2);
    QSignalSpy inserted(grid->model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(grid->model(), &QAbstractItemModel::modelReset);
    grid->SetRedraw(false);
    QVERIFY(!grid->updatesEnabled());
    grid->DeleteNonFixedRows();
    for (int i = 0; i < 100; ++i) {
        const int row = grid->InsertRow();
        grid->SetItemText(row, 1, QString::number(i));
    }
    // Nothing reaches the view until redraw is on again, then all at once.
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(reset.count(), 0);
    grid->SetRedraw(true);
    QVERIFY(grid->updatesEnabled());
    QCOMPARE(reset.count(), 1);
    QCOMPARE(grid->model()->rowCount(), 100);
    QCOMPARE(grid->GetItemText(100, 1), QStringLiteral("99"));
    QCOMPARE(grid->rowHeight(99), 48);
    QCOMPARE(grid->columnWidth(1), 120);
    grid->InsertRow();
    QCOMPARE(inserted.count(), 1);
}

void ControlsTest::gridEditsOnlyTheChosenColumn() {
    auto grid = MakeGrid(2);
    QSignalSpy begin(grid.get(), &CGridCtrl::EditBegin);
    QSignalSpy end(grid.get(), &CGridCtrl::EditEnd);
    grid->SetEditableColumn(1);
    QVERIFY(!grid->EditCell(2, 1));  // not editable yet
    grid->SetEditable(true);
    QVERIFY(!grid->EditCell(2, 2));  // another column
    QVERIFY(!grid->EditCell(0, 1));  // the heading
    QCOMPARE(begin.count(), 0);

    QVERIFY(grid->EditCell(2, 1));
    QCOMPARE(begin.count(), 1);
    QCOMPARE(begin[0], (QList<QVariant>{2, 1}));
    auto* editor = grid->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("gate"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(end.count(), 1);
    QTRY_VERIFY(grid->viewport()->findChild<QLineEdit*>() == nullptr);
    QCOMPARE(end[0], (QList<QVariant>{2, 1}));
    QCOMPARE(grid->GetItemText(2, 1), QStringLiteral("gate"));

    // Escape leaves the text and reports no end of edit.
    QVERIFY(grid->EditCell(1, 1));
    editor = grid->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("zzz"));
    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_VERIFY(grid->viewport()->findChild<QLineEdit*>() == nullptr);
    QCOMPARE(end.count(), 1);
    QCOMPARE(grid->GetItemText(1, 1), QStringLiteral("dev1"));

    grid->SetEditable(false);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(1, 1).center());
    QCOMPARE(begin.count(), 2);
}

void ControlsTest::gridImageStripWithWhiteTransparent() {
    kestrix::testing::TempDir dir;
    QImage strip(100, 16, QImage::Format_RGB32);
    strip.fill(Qt::white);
    for (int x = 10; x < 20; ++x) strip.setPixelColor(x, 8, Qt::red);
    for (int x = 60; x < 70; ++x) strip.setPixelColor(x, 8, Qt::blue);
    const QString path = QString::fromStdString(dir.File("strip.bmp"));
    QVERIFY(strip.save(path));

    auto grid = MakeGrid(1);
    QVERIFY(!grid->SetImageList(QStringLiteral("/no/such/strip.bmp")));
    QCOMPARE(grid->GetImageCount(), 0);
    QVERIFY(grid->SetImageList(path));
    QCOMPARE(grid->GetImageCount(), 2);
    grid->SetItemImage(1, 2, 1);
    grid->SetItemText(1, 2, QString());
    QCOMPARE(grid->GetItemImage(1, 2), 1);

    // In the cell: the blue mark on the grid's background, no white box.
    grid->SetBackgroundColor(QColor(250, 240, 200));
    QCoreApplication::processEvents();
    const QImage shot = grid->viewport()->grab().toImage();
    const QRect cell = grid->CellRect(1, 2);
    bool blue = false;
    bool white = false;
    for (int y = cell.top() + 2; y < cell.bottom() - 1; ++y) {
        for (int x = cell.left() + 2; x < cell.right() - 1; ++x) {
            const QColor c = shot.pixelColor(x, y);
            blue = blue || (c.blue() > 200 && c.red() < 80);
            white = white || c == QColor(Qt::white);
        }
    }
    QVERIFY(blue);
    QVERIFY(!white);
}

void ControlsTest::stripNumbering() {
    QCOMPARE(StripTexts(1, 0), QStringList());
    QCOMPARE(StripTexts(4, 7), (QStringList{"1", "2", "3", "4", "5", "6", "7"}));
    QCOMPARE(StripTexts(4, 8), (QStringList{"1", "2", "3", "4", "5", "...", "8"}));
    QCOMPARE(StripTexts(5, 8), (QStringList{"1", "...", "4", "5", "6", "7", "8"}));
    QCOMPARE(StripTexts(6, 8), (QStringList{"1", "...", "4", "5", "6", "7", "8"}));
    QCOMPARE(StripTexts(5, 9), (QStringList{"1", "...", "4", "5", "6", "...", "9"}));
    // A current page beyond the count marks page 1.
    CTMultiPages strip;
    strip.SetPages(12, 3);
    QCOMPARE(strip.CurrentPage(), 1);
}

void ControlsTest::stripGeometryAndClicks() {
    CTMultiPages strip;
    strip.resize(400, 40);
    strip.SetOwnerId(136);
    strip.SetPages(5, 120);
    strip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&strip));
    const auto rects = strip.ButtonRects();
    const QStringList texts = strip.ButtonTexts();
    QCOMPARE(texts, (QStringList{"1", "...", "4", "5", "6", "...", "120"}));
    int left = rects.front().left();
    int right = rects.back().right();
    // Centred, 24 high, 3 apart, at least 32 wide.
    QVERIFY(qAbs(left - (strip.width() - 1 - right)) <= 1);
    for (size_t i = 0; i < rects.size(); ++i) {
        QCOMPARE(rects[i].height(), 24);
        QCOMPARE(rects[i].top(), 8);
        QVERIFY(rects[i].width() >= 32);
        if (i > 0) QCOMPARE(rects[i].left() - rects[i - 1].right() - 1, 3);
    }
    QCOMPARE(rects[0].width(), 32);

    QSignalSpy selected(&strip, &CTMultiPages::PageSelected);
    QTest::mouseClick(&strip, Qt::LeftButton, {}, rects[1].center());  // "..."
    QTest::mouseClick(&strip, Qt::LeftButton, {}, rects[3].center());  // the current page
    QCOMPARE(selected.count(), 0);
    // Pressed on one button, released on another: no click.
    QTest::mousePress(&strip, Qt::LeftButton, {}, rects[2].center());
    QTest::mouseRelease(&strip, Qt::LeftButton, {}, rects[4].center());
    QCOMPARE(selected.count(), 0);

    QTest::mouseClick(&strip, Qt::LeftButton, {}, rects[6].center());
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected[0], (QList<QVariant>{136, 120}));
    QCOMPARE(strip.CurrentPage(), 120);
    QCOMPARE(strip.ButtonTexts(), (QStringList{"1", "...", "116", "117", "118", "119", "120"}));

    // Hand over clickable numbers only.
    QTest::mouseMove(&strip, strip.ButtonRects()[0].center());
    QCOMPARE(strip.cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(&strip, strip.ButtonRects()[1].center());
    QCOMPARE(strip.cursor().shape(), Qt::ArrowCursor);
}

void ControlsTest::ipAddressEditorTextInAndOut() {
    CTIpAddressEdit edit;
    edit.resize(160, 28);
    QVERIFY(edit.IsBlank());
    QCOMPARE(edit.Address(), QString());

    edit.SetAddress(QStringLiteral("192.168.1.20"));
    QCOMPARE(edit.Address(), QStringLiteral("192.168.1.20"));
    QCOMPARE(edit.Field(2)->text(), QStringLiteral("1"));
    edit.SetAddress(QString());
    QVERIFY(edit.IsBlank());
    for (const char* bad : {"1.2.3", "1.2.3.256", "a.b.c.d", "1.2.3.4.5", "-1.2.3.4"}) {
        edit.SetAddress(QStringLiteral("10.0.0.1"));
        edit.SetAddress(QString::fromLatin1(bad));
        QVERIFY2(edit.IsBlank(), bad);
    }
    // A blank field among filled ones reads 0.
    edit.Field(0)->setText(QStringLiteral("10"));
    edit.Field(3)->setText(QStringLiteral("7"));
    QCOMPARE(edit.FilledFieldCount(), 2);
    QCOMPARE(edit.Address(), QStringLiteral("10.0.0.7"));
}

void ControlsTest::ipAddressEditorTyping() {
    QWidget window;
    auto* edit = new CTIpAddressEdit(&window);
    edit->setGeometry(10, 10, 180, 28);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy changed(edit, &CTIpAddressEdit::AddressChanged);
    edit->Field(0)->setFocus();
    // A dot or a third digit moves on.
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("192"));
    QCOMPARE(QApplication::focusWidget(), edit->Field(1));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("8."));
    QCOMPARE(QApplication::focusWidget(), edit->Field(2));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("999"));
    QCOMPARE(edit->Field(2)->text(), QStringLiteral("255"));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("x4"));
    QCOMPARE(edit->Address(), QStringLiteral("192.8.255.4"));
    QVERIFY(changed.count() >= 4);
    // Backspace through an empty field goes back to the one before.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QCOMPARE(QApplication::focusWidget(), edit->Field(2));
}

void ControlsTest::ipAddressEditorKeepsItsTextWhenTranslated() {
    kestrix::testing::TempDir dir;
    dir.Write("Languages/Language.ini", "[LCID]\n2052=Chinese\n");
    dir.Write("Languages/Chinese.lng", "[ProgramOutStr]\n.=X\n10=ten\nCaption=Titre\n");
    InitLanguageWithLocale(dir.Dir(), 2052);
    QWidget dialog;
    auto* caption = new QLabel(QStringLiteral("Caption"), &dialog);
    auto* edit = new CTIpAddressEdit(&dialog);
    edit->SetAddress(QStringLiteral("10.10.10.10"));
    TranslateDialog(&dialog);
    QCOMPARE(caption->text(), QStringLiteral("Titre"));
    QCOMPARE(edit->Address(), QStringLiteral("10.10.10.10"));
    for (QLabel* dot : edit->findChildren<QLabel*>()) QCOMPARE(dot->text(), QStringLiteral("."));
    InitLanguageWithLocale(dir.Dir(), 1033);
}

void ControlsTest::waitDialogSearchesAtTheRightTicks() {
    CWaitDlg wait(60, true, 3);
    std::vector<std::pair<char, int>> calls;
    wait.SetReleaseAnnounced([&] { calls.push_back({'R', wait.Schedule().Counter()}); });
    wait.SetSearch([&] { calls.push_back({'S', wait.Schedule().Counter()}); });
    QCOMPARE(wait.Timer().interval(), 500);
    QCOMPARE(wait.Progress()->maximum(), 120);
    QCOMPARE(wait.Progress()->value(), 0);
    wait.show();
    QVERIFY(wait.Timer().isActive());
    for (int i = 0; i < 105; ++i) wait.Tick();
    QVERIFY(calls.empty());
    QCOMPARE(wait.Progress()->value(), 106);
    QVERIFY(wait.isVisible());
    for (int i = 0; i < 14; ++i) wait.Tick();
    const std::vector<std::pair<char, int>> expected = {
        {'R', 108}, {'S', 108}, {'S', 114}, {'S', 120}};
    QCOMPARE(calls, expected);
    // The last tick closes it.
    QVERIFY(!wait.isVisible());
    QCOMPARE(wait.result(), int(QDialog::Accepted));
    QVERIFY(!wait.Timer().isActive());
    QCOMPARE(wait.Progress()->value(), 120);
}

void ControlsTest::waitDialogCloseButtonEndsAtOnce() {
    CWaitDlg wait(60, true, 5);
    int searches = 0;
    wait.SetSearch([&] { ++searches; });
    wait.show();
    for (int i = 0; i < 10; ++i) wait.Tick();
    QTest::mouseClick(wait.CloseButton(), Qt::LeftButton);
    QVERIFY(!wait.isVisible());
    QCOMPARE(wait.result(), int(QDialog::Rejected));
    QVERIFY(!wait.Timer().isActive());
    QCOMPARE(searches, 0);
}
