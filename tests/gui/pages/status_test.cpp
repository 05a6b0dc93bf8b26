// The status page and its three dialogs, offscreen, over a real scratch
// store with a recorder in place of the link: the search cycle and what it
// holds still, the Operate cell, the in-place rename with its checks, the
// selection rules of Set IP, Set Bridge and PX-SYNC, what the switch and
// batch address workers send, and PNG renders in English and Chinese.

#include <functional>
#include <memory>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/PageRegistry.h"
#include "base/language.h"
#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "controls/TIpAddressEdit.h"
#include "fleet/page_ids.h"
#include "pages/BridgeSetMultiDlg.h"
#include "pages/IpsetMutilDlg.h"
#include "pages/PageMessage.h"
#include "pages/PxsyncenSetMultiDlg.h"
#include "pages/StatusDlg.h"
#include "shell/AppContext.h"
#include "shell/ApplicationDlg.h"
#include "shell/ChildDlg.h"
#include "shell/MenuDlg.h"
#include "shell/Styling.h"
#include "store/field_texts.h"
#include "tests/gui/pages/recording_link.h"
#include "tests/support/device_records.h"
#include "tests/support/grid_clicks.h"
#include "tests/support/page_fixture.h"
#include "tests/support/status_helpers.h"

using namespace kestrix;
using namespace kestrix::testing;

namespace {

constexpr int kLocation = 2;
constexpr int kIp = 4;
constexpr int kMac = 5;
constexpr int kOperate = 13;

const char* const kStrictNameMessage =
    "Device name maximum allowed 32 bytes, only support combination of Chinese, lowercase "
    "letters, 0-9 numbers";
const char* const kOpenNameMessage =
    "Device name maximum allowed 32 bytes, only support combination of Chinese, ASCII "
    "characters";

std::string Utf8Repeat(const char* piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += piece;
    return s;
}

}  // namespace

class StatusTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void searchRunsThirtyTicksAndHoldsTheListStill();
    void stopShowsThePageCurrentWhenStopped();
    void operateOpensTheWebPageOfStoredDevicesOnly();
    void renameSendsTheCheckedNameThenAsksItBack();
    void renameRefusedEmptyOrUnchangedSendsNothing();
    void announcedRowsCannotBeRenamed();
    void refreshesWaitForTheOpenRenameEditor();
    void switchesNeedConfigurableDevices();
    void switchBlocksCarryOnlyTheirStateByte();
    void cancelSendsNothing();
    void batchAddressesSkipNetworkAndBroadcastEndings();
    void batchRangeTooShortOrInvalid();
    void batchForOneDeviceIgnoresTheEnd();

    void renders_data();
    void renders();

private:
    std::unique_ptr<CStatusDlg> ShownPage();
    void AddDevice(const DeviceFields& f) { QVERIFY(store_->Add(f)); }

    AppContext ctx_;
    std::unique_ptr<ScratchStore> store_;
    std::shared_ptr<FleetSource> source_;
    std::shared_ptr<RecordingLink> link_;
    std::vector<Message> messages_;
    std::vector<QUrl> opened_;
};

void StatusTest::init() {
    ctx_ = BundleContext();
    store_ = std::make_unique<ScratchStore>();
    source_ = std::make_shared<FleetSource>(store_->Store());
    link_ = std::make_shared<RecordingLink>(&store_->Store());
    messages_.clear();
    opened_.clear();
    ctx_.messageHook = RecordMessages(messages_);
    ctx_.urlOpener = [this](const QUrl& url) { opened_.push_back(url); };
}

void StatusTest::cleanup() {
    ctx_.deviceSource = nullptr;
    ctx_.statusLink = nullptr;
    ctx_.messageHook = nullptr;
    // Nothing opens a browser from a test, even after a failure.
    ctx_.urlOpener = [](const QUrl&) {};
    link_.reset();
    source_.reset();
    store_.reset();
}

std::unique_ptr<CStatusDlg> StatusTest::ShownPage() {
    auto page = std::make_unique<CStatusDlg>(ctx_);
    page->SetStatusLink(link_);
    return ShowPage(std::move(page), source_);
}

// ---- Search -------------------------------------------------------------------

void StatusTest::searchRunsThirtyTicksAndHoldsTheListStill() {
    for (int i = 0; i < 40; ++i) AddDevice(NthDevice(i));
    ctx_.deviceSource = source_;
    ctx_.statusLink = link_;
    CApplicationDlg window(ctx_, RegisteredPages());
    window.show();
    CChildDlg* container = window.PageContainer();
    container->ShowPage(kStatusPageId);
    auto* page = qobject_cast<CStatusDlg*>(container->Page(kStatusPageId));
    QVERIFY(page);
    container->OnShowRefreshTimer();
    page->FilterBox()->setText(QStringLiteral("dev3"));
    QCOMPARE(page->Grid()->GetRowCount(), 12);  // dev3, dev30..dev39

    QCOMPARE(page->SearchButton()->text(), QStringLiteral("Search"));
    QVERIFY(page->SearchButton()->isVisible());
    QTest::mouseClick(page->SearchButton(), Qt::LeftButton);
    QVERIFY(page->IsSearching());
    // The full cycle once, in its order.
    QCOMPARE(link_->Names(),
             (std::vector<std::string>{"capture", "release", "drop", "reconcile", "search"}));
    // Everything found shows: no filter, page 1.
    QCOMPARE(page->FilterBox()->text(), QString());
    QCOMPARE(page->State().filterText, std::string());
    QCOMPARE(page->State().currentPage, 1);
    QCOMPARE(page->Grid()->GetRowCount(), 31);
    QCOMPARE(page->SearchButton()->text(), QStringLiteral("Stop"));
    QVERIFY(page->BusyIndicator()->isVisible());
    QVERIFY(page->BusyIndicator()->movie() != nullptr);
    QVERIFY(page->BusyIndicator()->movie()->isValid());
    // The list and the menu hold still; the actions and refresh do not.
    QVERIFY(!page->FilterBox()->isEnabled());
    QVERIFY(!page->Grid()->isEnabled());
    QVERIFY(!page->PageSizeBox()->isEnabled());
    for (int i = 0; i < CMenuDlg::kButtonCount; ++i)
        QVERIFY(!window.MenuPanel()->Button(i)->isEnabled());
    QVERIFY(!container->RefreshAllowed());
    QVERIFY(page->SetIpButton()->isEnabled());
    QVERIFY(page->SetBridgeButton()->isEnabled());
    QVERIFY(page->PxsyncButton()->isEnabled());
    QVERIFY(page->RefreshButton()->isEnabled());
    QCOMPARE(page->SearchTimer().interval(), 1000);
    QVERIFY(page->SearchTimer().isActive());

    // The clock: a search and page 1 every third tick. Devices found in
    // between appear at the next of them, not before.
    link_->Clear();
    page->GoToPage(2);
    AddDevice(NthDevice(300));  // 10.0.1.45: first by IP, descending
    page->OnSearchTick();
    page->OnSearchTick();
    QCOMPARE(page->State().currentPage, 2);
    QCOMPARE(link_->Count("search"), 0);
    page->OnSearchTick();
    QCOMPARE(page->SearchTicks(), 3);
    QCOMPARE(link_->Count("search"), 1);
    QCOMPARE(page->State().currentPage, 1);
    QCOMPARE(page->Grid()->GetItemText(1, kIp), QStringLiteral("10.0.1.45"));
    for (int t = 4; t <= 29; ++t) page->OnSearchTick();
    QCOMPARE(link_->Count("search"), 9);  // 3, 6, ..., 27
    QVERIFY(page->IsSearching());
    QVERIFY(!container->RefreshAllowed());

    // Tick 30 ends it: the current page is read again and everything is
    // usable again.
    page->GoToPage(2);
    AddDevice(NthDevice(301));
    page->OnSearchTick();
    QVERIFY(!page->IsSearching());
    QVERIFY(!page->SearchTimer().isActive());
    QCOMPARE(link_->Count("search"), 9);
    QCOMPARE(page->State().currentPage, 2);
    QCOMPARE(page->Grid()->GetRowCount(), 13);  // 42 devices: 12 on page 2
    QCOMPARE(page->SearchButton()->text(), QStringLiteral("Search"));
    QVERIFY(!page->BusyIndicator()->isVisible());
    QVERIFY(page->FilterBox()->isEnabled());
    QVERIFY(page->Grid()->isEnabled());
    QVERIFY(page->PageSizeBox()->isEnabled());
    for (int i = 0; i < CMenuDlg::kButtonCount; ++i)
        QVERIFY(window.MenuPanel()->Button(i)->isEnabled());
    QVERIFY(container->RefreshAllowed());
    // A stray tick after the end does nothing.
    page->OnSearchTick();
    QCOMPARE(page->SearchTicks(), 30);
    QCOMPARE(link_->Count("search"), 9);
}

void StatusTest::stopShowsThePageCurrentWhenStopped() {
    for (int i = 0; i < 40; ++i) AddDevice(NthDevice(i));
    auto page = ShownPage();
    QTest::mouseClick(page->SearchButton(), Qt::LeftButton);
    QVERIFY(page->IsSearching());
    page->OnSearchTick();
    page->GoToPage(2);
    AddDevice(NthDevice(40));
    QTest::mouseClick(page->SearchButton(), Qt::LeftButton);
    QVERIFY(!page->IsSearching());
    QVERIFY(!page->SearchTimer().isActive());
    QCOMPARE(page->State().currentPage, 2);
    QCOMPARE(page->Grid()->GetRowCount(), 12);  // 41 devices
    QVERIFY(page->Grid()->isEnabled());
    // A new search starts from the beginning: five steps and tick 0.
    link_->Clear();
    QTest::mouseClick(page->SearchButton(), Qt::LeftButton);
    QCOMPARE(page->SearchTicks(), 0);
    QCOMPARE(link_->Names().size(), size_t(5));
    QCOMPARE(page->State().currentPage, 1);
}

// ---- Operate and rename ----------------------------------------------------------

void StatusTest::operateOpensTheWebPageOfStoredDevicesOnly() {
    for (int i = 0; i < 3; ++i) AddDevice(NthDevice(i));
    DeviceFields heard = NthDevice(50);
    heard.status = kStatusAnnouncedOnly;
    source_->announced.push_back(MakeDevice(heard));
    auto page = ShownPage();
    CGridCtrl* grid = page->Grid();
    QCOMPARE(grid->GetRowCount(), 5);
    QVERIFY(!grid->isColumnHidden(kOperate));
    QCOMPARE(grid->GetItemImage(1, kOperate), 0);
    QCOMPARE(grid->GetItemImage(4, kOperate), -1);

    ClickCell(grid, 2, kOperate);
    QCOMPARE(opened_.size(), size_t(1));
    QCOMPARE(opened_[0], QUrl(QStringLiteral("http://") + grid->GetItemText(2, kIp)));
    // The announced-only device's cell does nothing.
    ClickCell(grid, 4, kOperate);
    QCOMPARE(opened_.size(), size_t(1));
    // Other cells open nothing either.
    ClickCell(grid, 1, kIp);
    QCOMPARE(opened_.size(), size_t(1));
}

void StatusTest::renameSendsTheCheckedNameThenAsksItBack() {
    DeviceFields open = NthDevice(1);  // type 5: the open name set
    DeviceFields strict = NthDevice(2);
    strict.type = 17;
    AddDevice(open);
    AddDevice(strict);
    auto page = ShownPage();
    CGridCtrl* grid = page->Grid();
    const int openRow = RowOfMac(grid, open.mac);
    const int strictRow = RowOfMac(grid, strict.mac);

    // A space is in the open set.
    RenameRow(grid, openRow, QStringLiteral("Roof east"));
    QVERIFY(messages_.empty());
    QTRY_COMPARE(link_->Sends(MsgType::DeviceInfo).size(), size_t(1));
    std::vector<RecordingLink::Call> sent = link_->Calls();
    QCOMPARE(sent.size(), size_t(2));
    QCOMPARE(sent[0].type, MsgType::SetName);
    QCOMPARE(sent[0].ip, open.ip);
    QCOMPARE(sent[0].mac, open.mac);
    QVERIFY(sent[0].retry);
    QCOMPARE(sent[0].payload.size(), NameBlock::kSize);
    QCOMPARE(std::string(sent[0].payload.begin(), sent[0].payload.begin() + 9),
             std::string("Roof east"));
    QCOMPARE(int(sent[0].payload[9]), 0);
    QCOMPARE(int(sent[0].payload[32]), 9);
    // The information request comes after it, to the same device.
    QCOMPARE(sent[1].mac, open.mac);
    QCOMPARE(grid->GetItemText(openRow, kLocation), QStringLiteral("Roof east"));
    QCOMPARE(page->RefreshTimer().interval(), 2000);
    QVERIFY(page->RefreshTimer().isActive());
    QVERIFY(page->RefreshTimer().isSingleShot());

    // Ten Chinese characters are 30 bytes: they go out as 30 UTF-8 bytes
    // with length 30, on the strict set too.
    link_->Clear();
    const std::string ten = Utf8Repeat("\xE5\x8C\x97", 10);  // U+5317
    RenameRow(grid, strictRow, QString::fromStdString(ten));
    QTRY_COMPARE(link_->Sends(MsgType::SetName).size(), size_t(1));
    const RecordingLink::Call name = link_->Sends(MsgType::SetName)[0];
    QCOMPARE(name.mac, strict.mac);
    QCOMPARE(std::string(name.payload.begin(), name.payload.begin() + 30), ten);
    QCOMPARE(int(name.payload[30]), 0);
    QCOMPARE(int(name.payload[32]), 30);
    QCOMPARE(page->NewName(), ten);
    QVERIFY(messages_.empty());

    // The refresh two seconds later reads the store again (nothing answered
    // here, so the stored name comes back).
    QTRY_COMPARE_WITH_TIMEOUT(grid->GetItemText(openRow, kLocation),
                              QString::fromStdString(open.name), 5000);
}

void StatusTest::renameRefusedEmptyOrUnchangedSendsNothing() {
    DeviceFields strict = NthDevice(2);
    strict.type = 17;
    DeviceFields open = NthDevice(3);
    AddDevice(strict);
    AddDevice(open);
    auto page = ShownPage();
    CGridCtrl* grid = page->Grid();
    const int strictRow = RowOfMac(grid, strict.mac);
    const int openRow = RowOfMac(grid, open.mac);

    struct Case {
        int row;
        QString text;
        const char* message;  // nullptr: nothing shown
    };
    const Case cases[] = {
        {strictRow, QStringLiteral("roof east"), kStrictNameMessage},  // a space
        {openRow, QString::fromStdString(Utf8Repeat("\xE5\x8C\x97", 11)), kOpenNameMessage},
        {openRow, QString(), nullptr},                          // empty
        {openRow, QString::fromStdString(open.name), nullptr},  // unchanged
        {strictRow, QStringLiteral("Roof"), nullptr},           // upper case: in the strict set
    };
    for (const Case& c : cases) {
        const QString before = grid->GetItemText(c.row, kLocation);
        messages_.clear();
        link_->Clear();
        RenameRow(grid, c.row, c.text);
        if (c.text == QStringLiteral("Roof")) {
            // The strict set has upper-case letters, whatever its message says.
            QTRY_COMPARE(link_->Sends(MsgType::SetName).size(), size_t(1));
            continue;
        }
        QCOMPARE(grid->GetItemText(c.row, kLocation), before);
        QVERIFY(!page->Workers().IsRegistered(CStatusDlg::kRenameWorker));
        QVERIFY(link_->Calls().empty());
        QVERIFY(!page->RefreshTimer().isActive());
        if (c.message == nullptr) {
            QVERIFY(messages_.empty());
        } else {
            QCOMPARE(messages_.size(), size_t(1));
            QCOMPARE(messages_[0].kind, MessageKind::kWarning);
            QCOMPARE(messages_[0].text, QString::fromUtf8(c.message));
        }
    }
    QCOMPARE(grid->GetItemText(strictRow, kLocation), QStringLiteral("Roof"));
}

void StatusTest::announcedRowsCannotBeRenamed() {
    AddDevice(NthDevice(1));
    DeviceFields heard = NthDevice(60);
    heard.status = kStatusAnnouncedOnly;
    heard.name = "heard";
    source_->announced.push_back(MakeDevice(heard));
    auto page = ShownPage();
    CGridCtrl* grid = page->Grid();
    QCOMPARE(grid->GetRowCount(), 3);
    QCOMPARE(grid->GetItemData(2, 1), qint64(kStatusAnnouncedOnly));

    ClickCell(grid, 2, kLocation);
    QVERIFY(!grid->IsEditable());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(2, kLocation).center());
    QVERIFY(grid->viewport()->findChild<QLineEdit*>() == nullptr);
    QVERIFY(!grid->EditCell(2, kLocation));
    // The stored row's Location opens; another column closes it again.
    ClickCell(grid, 1, kLocation);
    QVERIFY(grid->IsEditable());
    ClickCell(grid, 1, kIp);
    QVERIFY(!grid->IsEditable());
    QVERIFY(link_->Calls().empty());
}

void StatusTest::refreshesWaitForTheOpenRenameEditor() {
    for (int i = 0; i < 3; ++i) AddDevice(NthDevice(i));
    auto page = ShownPage();
    CGridCtrl* grid = page->Grid();
    auto openEditor = [&](int row) -> QLineEdit* {
        ClickCell(grid, row, kLocation);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {},
                           grid->CellRect(row, kLocation).center());
        return grid->viewport()->findChild<QLineEdit*>();
    };
    // Every kind of refresh while the operator types: the action refresh,
    // the container's, a search step's page 1, the strip's page change.
    const std::vector<std::function<void()>> refreshes = {
        [&] { page->RefreshCurrentPage(); },
        [&] { page->GoToPage(1); },
        [&] { page->RefreshList(1, true, kMac, std::string()); },
    };
    int added = 3;
    for (bool confirm : {true, false}) {
        for (const auto& refresh : refreshes) {
            link_->Clear();
            const int row = RowOfMac(grid, NthDevice(1).mac);
            QLineEdit* editor = openEditor(row);
            QVERIFY(editor);
            editor->clear();
            QTest::keyClicks(editor, QStringLiteral("Roof west"));
            const int rowsBefore = grid->GetRowCount();
            // A device found meanwhile waits for the editor to close.
            AddDevice(NthDevice(added++));
            refresh();
            QCOMPARE(grid->viewport()->findChild<QLineEdit*>(), editor);
            QCOMPARE(editor->text(), QStringLiteral("Roof west"));
            QCOMPARE(grid->GetRowCount(), rowsBefore);
            QTest::keyClick(editor, confirm ? Qt::Key_Return : Qt::Key_Escape);
            // Then the refresh that was asked for runs.
            QTRY_COMPARE(grid->GetRowCount(), added + 1);
            QVERIFY(grid->viewport()->findChild<QLineEdit*>() == nullptr);
            if (confirm) {
                QTRY_COMPARE(link_->Sends(MsgType::SetName).size(), size_t(1));
                const RecordingLink::Call name = link_->Sends(MsgType::SetName)[0];
                QCOMPARE(name.mac, NthDevice(1).mac);
                QCOMPARE(std::string(name.payload.begin(), name.payload.begin() + 9),
                         std::string("Roof west"));
            } else {
                QCoreApplication::processEvents();
                QVERIFY(link_->Sends(MsgType::SetName).empty());
            }
        }
    }
    // With no editor open a refresh is immediate.
    AddDevice(NthDevice(added++));
    page->RefreshCurrentPage();
    QCOMPARE(grid->GetRowCount(), added + 1);
    QVERIFY(messages_.empty());
}

// ---- Set Bridge and PX-SYNC --------------------------------------------------------

void StatusTest::switchesNeedConfigurableDevices() {
    for (int i = 0; i < 3; ++i) {
        DeviceFields f = NthDevice(i);
        f.type = 17;  // neither switch exists on it
        AddDevice(f);
    }
    DeviceFields p2mp = NthDevice(3);
    p2mp.workMode = 5;  // no transparent bridging in this mode
    AddDevice(p2mp);
    auto page = ShownPage();
    CGridCtrl* grid = page->Grid();

    // Nothing ticked: Set IP asks for devices.
    WhenModal<QDialog> none([](QDialog*) {});
    QTest::mouseClick(page->SetIpButton(), Qt::LeftButton);
    none.Settle();
    QVERIFY(!none.Seen());
    QCOMPARE(messages_.size(), size_t(1));
    QCOMPARE(messages_[0].text, QStringLiteral("Please select the devices!"));

    // Ticked, but every cell of either switch reads "N/A".
    for (int r = 1; r < grid->GetRowCount(); ++r) grid->SetCheck(r, true);
    QCOMPARE(page->CollectSelection().size(), size_t(4));
    for (CTButtonPicture* button : {page->SetBridgeButton(), page->PxsyncButton()}) {
        messages_.clear();
        WhenModal<QDialog> dialog([](QDialog*) {});
        QTest::mouseClick(button, Qt::LeftButton);
        dialog.Settle();
        QVERIFY(!dialog.Seen());
        QCOMPARE(messages_.size(), size_t(1));
        QCOMPARE(messages_[0].kind, MessageKind::kWarning);
        QCOMPARE(messages_[0].text, QStringLiteral("Please select configurable devices!"));
    }
    QVERIFY(link_->Calls().empty());
}

void StatusTest::switchBlocksCarryOnlyTheirStateByte() {
    // Type 10 has both switches; the first row (highest address) has
    // bridging on, PX-SYNC off.
    for (int i = 0; i < 3; ++i) {
        DeviceFields f = NthDevice(i);
        f.type = 10;
        f.bridgeTransparent = i == 2 ? 1 : 0;
        f.pxsync = i == 2 ? 0 : 1;
        AddDevice(f);
    }
    DeviceFields na = NthDevice(3);
    na.type = 17;
    AddDevice(na);
    auto page = ShownPage();
    CGridCtrl* grid = page->Grid();
    QCOMPARE(grid->GetItemText(2, kMac), QString::fromStdString(NthDevice(2).mac));
    ClickHeading(grid, 0);  // the heading box: every row
    for (int r = 1; r < grid->GetRowCount(); ++r) QVERIFY(grid->GetCheck(r));

    // Set Bridge: the dialog starts at the first device's "on"; Save
    // unchanged sends "on" to the three that have the switch, in row order.
    int initial = -1;
    WhenModal<CBridgeSetMultiDlg> bridge([&](CBridgeSetMultiDlg* d) {
        initial = d->SwitchState();
        QVERIFY(d->EnableRadio()->isChecked());
        QVERIFY(!d->DisableRadio()->isChecked());
        QCOMPARE(d->windowTitle(), QStringLiteral("Set Bridge"));
        QTest::mouseClick(d->SaveButton(), Qt::LeftButton);
    });
    QTest::mouseClick(page->SetBridgeButton(), Qt::LeftButton);
    QVERIFY(bridge.Seen());
    QCOMPARE(initial, 1);
    QTRY_COMPARE(link_->Sends(MsgType::DeviceInfo).size(), size_t(3));
    std::vector<RecordingLink::Call> sent = link_->Sends(MsgType::SetTransparentBridge);
    QCOMPARE(sent.size(), size_t(3));
    const std::vector<std::string> order = {NthDevice(2).mac, NthDevice(1).mac, NthDevice(0).mac};
    std::vector<uint8_t> block(ExtensionBlock::kSize, 0);
    block[0] = 1;
    for (size_t i = 0; i < 3; ++i) {
        QCOMPARE(sent[i].mac, order[i]);
        QCOMPARE(sent[i].payload, block);
        QVERIFY(sent[i].retry);
    }
    // Every command went out before the information requests.
    QCOMPARE(link_->Calls()[2].type, MsgType::SetTransparentBridge);
    QCOMPARE(link_->Calls()[3].type, MsgType::DeviceInfo);
    // After the last send the worker arms the 2 s refresh.
    QTRY_VERIFY(page->RefreshTimer().isActive());

    // PX-SYNC: the first device has it off; switched on, only byte 1 is set
    // whatever the devices' bridging is.
    link_->Clear();
    for (int r = 1; r < grid->GetRowCount(); ++r) grid->SetCheck(r, true);
    WhenModal<CPxsyncenSetMultiDlg> pxsync([&](CPxsyncenSetMultiDlg* d) {
        initial = d->SwitchState();
        QVERIFY(d->DisableRadio()->isChecked());
        QCOMPARE(d->windowTitle(), QStringLiteral("PX-SYNC"));
        QTest::mouseClick(d->EnableRadio(), Qt::LeftButton);
        QCOMPARE(d->SwitchState(), 1);
        QVERIFY(!d->DisableRadio()->isChecked());
        QTest::mouseClick(d->SaveButton(), Qt::LeftButton);
    });
    QTest::mouseClick(page->PxsyncButton(), Qt::LeftButton);
    QVERIFY(pxsync.Seen());
    QCOMPARE(initial, 0);
    QTRY_COMPARE(link_->Sends(MsgType::DeviceInfo).size(), size_t(3));
    sent = link_->Sends(MsgType::SetPxsync);
    QCOMPARE(sent.size(), size_t(3));
    block[0] = 0;
    block[1] = 1;
    for (const auto& c : sent) QCOMPARE(c.payload, block);
    QVERIFY(link_->Sends(MsgType::SetTransparentBridge).empty());
}

void StatusTest::cancelSendsNothing() {
    for (int i = 0; i < 2; ++i) {
        DeviceFields f = NthDevice(i);
        f.type = 10;
        AddDevice(f);
    }
    auto page = ShownPage();
    page->Grid()->SetCheck(1, true);
    // Cancel, and the close button, of each dialog.
    for (int kind = 0; kind < 3; ++kind) {
        for (bool closeButton : {false, true}) {
            auto close = [closeButton](auto* d) {
                QTest::mouseClick(closeButton ? d->CloseButton() : d->CancelButton(),
                                  Qt::LeftButton);
                QVERIFY(!d->isVisible());
            };
            if (kind == 0) {
                WhenModal<CBridgeSetMultiDlg> d([&](CBridgeSetMultiDlg* x) { close(x); });
                QTest::mouseClick(page->SetBridgeButton(), Qt::LeftButton);
                QVERIFY(d.Seen());
            } else if (kind == 1) {
                WhenModal<CPxsyncenSetMultiDlg> d([&](CPxsyncenSetMultiDlg* x) { close(x); });
                QTest::mouseClick(page->PxsyncButton(), Qt::LeftButton);
                QVERIFY(d.Seen());
            } else {
                WhenModal<CIpsetMutilDlg> d([&](CIpsetMutilDlg* x) { close(x); });
                QTest::mouseClick(page->SetIpButton(), Qt::LeftButton);
                QVERIFY(d.Seen());
            }
        }
    }
    QCoreApplication::processEvents();
    QVERIFY(link_->Calls().empty());
    QVERIFY(!page->RefreshTimer().isActive());
    for (int kind : {CStatusDlg::kBridgeSwitchWorker, CStatusDlg::kPxsyncSwitchWorker,
                     CStatusDlg::kBatchAddressWorker})
        QVERIFY(!page->Workers().IsRegistered(kind));
}

// ---- Set IP ------------------------------------------------------------------------

void StatusTest::batchAddressesSkipNetworkAndBroadcastEndings() {
    for (int i = 0; i < 4; ++i) {
        DeviceFields f = NthDevice(i);
        AddDevice(f);
    }
    // The first ticked device's stored address block fills the fields.
    ap_info_stu first;
    QVERIFY(store_->Store().GetDeviceByMac(NthDevice(3).mac, first));
    DeviceInfoBlock info = first.info();
    AddressBlock address = info.address();
    address.set_ip_mask(IpTextToBytes("255.255.0.0"));
    address.set_ip_gateway(IpTextToBytes("10.0.0.254"));
    address.set_ip_dns1(IpTextToBytes("10.0.0.53"));
    info.set_address(address);
    first.set_info(info);
    QVERIFY(store_->Store().SaveDeviceInfo(first));

    auto page = ShownPage();
    CGridCtrl* grid = page->Grid();
    QCOMPARE(grid->GetItemText(1, kMac), QString::fromStdString(NthDevice(3).mac));
    for (int r = 1; r <= 3; ++r) grid->SetCheck(r, true);  // devices 3, 2, 1

    std::vector<int> searchTicks;
    int releaseTick = -1;
    bool closed = false;
    WhenModal<CIpsetMutilDlg> batch([&](CIpsetMutilDlg* d) {
        QCOMPARE(d->windowTitle(), QStringLiteral("Set IP"));
        QCOMPARE(d->BeginLabel()->text(), QStringLiteral("Start IP address"));
        QVERIFY(d->EndField()->isVisible());
        QCOMPARE(d->BeginField()->Address(), QStringLiteral("10.0.0.4"));
        QCOMPARE(d->EndField()->Address(), QString());
        QCOMPARE(d->MaskField()->Address(), QStringLiteral("255.255.0.0"));
        QCOMPARE(d->GatewayField()->Address(), QStringLiteral("10.0.0.254"));
        QCOMPARE(d->PrimaryDnsField()->Address(), QStringLiteral("10.0.0.53"));
        QVERIFY(!d->Progress()->isVisible());

        d->BeginField()->SetAddress(QStringLiteral("192.168.1.253"));
        d->EndField()->SetAddress(QStringLiteral("192.168.2.10"));
        d->GatewayField()->SetAddress(QStringLiteral("192.168.1.1"));
        QTest::mouseClick(d->SaveButton(), Qt::LeftButton);
        QVERIFY(messages_.empty());
        QVERIFY(d->IsApplying());
        QVERIFY(d->Progress()->isVisible());
        QCOMPARE(d->Progress()->maximum(), 30);
        QVERIFY(!d->SaveButton()->isEnabled());
        QVERIFY(!d->CancelButton()->isEnabled());
        QVERIFY(!d->BeginField()->isEnabled());
        QVERIFY(d->CloseButton()->isEnabled());
        QCOMPARE(d->Timer().interval(), 500);
        QVERIFY(d->Timer().isActive());
        // A disabled Cancel does not close it.
        QTest::mouseClick(d->CancelButton(), Qt::LeftButton);
        QVERIFY(d->isVisible());

        QTRY_COMPARE(link_->Sends(MsgType::SetAddress).size(), size_t(3));
        link_->Clear();
        // 15 s of 500 ms ticks (counted from 1); the searches fall on ticks
        // 18, 24 and 30, the first after releasing the announced-only
        // devices, and the last one closes the dialog.
        for (int guard = 0; guard < 40 && d->isVisible(); ++guard) {
            const int tick = d->Schedule().Counter() + 1;
            const int before = link_->Count("search");
            d->Tick();
            if (link_->Count("search") != before) searchTicks.push_back(tick);
            if (releaseTick < 0 && link_->Count("release") > 0) releaseTick = tick;
            QCOMPARE(d->Progress()->value(), std::min(tick, 30));
        }
        closed = !d->isVisible() && d->result() == QDialog::Accepted;
    });
    QTest::mouseClick(page->SetIpButton(), Qt::LeftButton);
    QVERIFY(batch.Seen());
    QVERIFY(closed);
    QCOMPARE(searchTicks, (std::vector<int>{18, 24, 30}));
    QCOMPARE(releaseTick, 18);
    QCOMPARE(link_->Names(), (std::vector<std::string>{"release", "search", "search", "search"}));
}

void StatusTest::batchRangeTooShortOrInvalid() {
    for (int i = 0; i < 3; ++i) AddDevice(NthDevice(i));
    auto page = ShownPage();
    CGridCtrl* grid = page->Grid();
    for (int r = 1; r <= 3; ++r) grid->SetCheck(r, true);
    const QStringList macs = GridColumn(grid, kMac);
    const QStringList ips = GridColumn(grid, kIp);

    WhenModal<CIpsetMutilDlg> batch([&](CIpsetMutilDlg* d) {
        d->MaskField()->SetAddress(QStringLiteral("255.255.255.0"));
        d->GatewayField()->Clear();
        // The end below the begin: refused, nothing changes.
        d->BeginField()->SetAddress(QStringLiteral("10.0.0.11"));
        d->EndField()->SetAddress(QStringLiteral("10.0.0.10"));
        QTest::mouseClick(d->SaveButton(), Qt::LeftButton);
        QCOMPARE(messages_.size(), size_t(1));
        QCOMPARE(messages_[0].kind, MessageKind::kPlain);
        QCOMPARE(messages_[0].text, QStringLiteral("The ip address is invalid!"));
        QVERIFY(!d->IsApplying());
        QVERIFY(d->SaveButton()->isEnabled());
        QVERIFY(!d->Progress()->isVisible());
        // Several devices need an end address.
        d->EndField()->Clear();
        QTest::mouseClick(d->SaveButton(), Qt::LeftButton);
        QCOMPARE(messages_.size(), size_t(2));
        QVERIFY(!d->IsApplying());
        // Two usable addresses for three devices: the third gets nothing.
        d->BeginField()->SetAddress(QStringLiteral("10.0.0.10"));
        d->EndField()->SetAddress(QStringLiteral("10.0.0.11"));
        QTest::mouseClick(d->SaveButton(), Qt::LeftButton);
        QCOMPARE(messages_.size(), size_t(2));
        QVERIFY(d->IsApplying());
        QTRY_COMPARE(link_->Sends(MsgType::SetAddress).size(), size_t(2));
        // The close button closes it while the addresses go out.
        QTest::mouseClick(d->CloseButton(), Qt::LeftButton);
        QVERIFY(!d->isVisible());
        QVERIFY(!d->Timer().isActive());
    });
    QTest::mouseClick(page->SetIpButton(), Qt::LeftButton);
    QVERIFY(batch.Seen());

    // Each device is told its new address just before its command, in row
    // order; the block holds fixed mode, the range's settings and "apply".
    const std::vector<RecordingLink::Call> calls = link_->Calls();
    QCOMPARE(calls.size(), size_t(4));
    const char* const expected[] = {"10.0.0.10", "10.0.0.11"};
    for (int i = 0; i < 2; ++i) {
        const RecordingLink::Call& note = calls[size_t(2 * i)];
        const RecordingLink::Call& send = calls[size_t(2 * i + 1)];
        QCOMPARE(note.what, std::string("note"));
        QCOMPARE(QString::fromStdString(note.mac), macs[i]);
        QCOMPARE(QString::fromStdString(note.ip), ips[i]);
        QCOMPARE(note.newIp, std::string(expected[i]));
        QCOMPARE(send.type, MsgType::SetAddress);
        QCOMPARE(QString::fromStdString(send.ip), ips[i]);
        const AddressBlock block(send.payload.data(), send.payload.size());
        QCOMPARE(int(block.ip_mode()), 1);
        QCOMPARE(IpBytesToText(block.ip()), std::string(expected[i]));
        QCOMPARE(IpBytesToText(block.ip_mask()), std::string("255.255.255.0"));
        QCOMPARE(IpBytesToText(block.ip_gateway()), std::string("0.0.0.0"));
        QCOMPARE(int(block.apply()), 1);
    }
}

void StatusTest::batchForOneDeviceIgnoresTheEnd() {
    AddDevice(NthDevice(0));
    AddDevice(NthDevice(1));
    auto page = ShownPage();
    page->Grid()->SetCheck(2, true);
    const std::string mac = page->Grid()->GetItemText(2, kMac).toStdString();
    // A device the store no longer holds: the fields start empty.
    QVERIFY(store_->Store().DeleteDevice(mac));
    WhenModal<CIpsetMutilDlg> batch([&](CIpsetMutilDlg* d) {
        QVERIFY(!d->EndField()->isVisible());
        QVERIFY(!d->EndLabel()->isVisible());
        QCOMPARE(d->BeginLabel()->text(), QStringLiteral("IP address"));
        QCOMPARE(d->BeginField()->Address(), QString());
        QCOMPARE(d->MaskField()->Address(), QString());
        d->BeginField()->SetAddress(QStringLiteral("172.16.4.255"));
        d->MaskField()->SetAddress(QStringLiteral("255.255.0.0"));
        QTest::mouseClick(d->SaveButton(), Qt::LeftButton);
        // An address ending in 255 is refused for one device too.
        QCOMPARE(messages_.size(), size_t(1));
        d->BeginField()->SetAddress(QStringLiteral("172.16.4.9"));
        QTest::mouseClick(d->SaveButton(), Qt::LeftButton);
        QVERIFY(d->IsApplying());
        QTRY_COMPARE(link_->Sends(MsgType::SetAddress).size(), size_t(1));
    });
    QTest::mouseClick(page->SetIpButton(), Qt::LeftButton);
    QVERIFY(batch.Seen());
    const auto sends = link_->Sends(MsgType::SetAddress);
    QCOMPARE(sends.size(), size_t(1));
    QCOMPARE(sends[0].mac, mac);
    const AddressBlock block(sends[0].payload.data(), sends[0].payload.size());
    QCOMPARE(IpBytesToText(block.ip()), std::string("172.16.4.9"));
}

// ---- Renders -------------------------------------------------------------------------

void StatusTest::renders_data() {
    AddRenderLocales();
}

void StatusTest::renders() {
    QFETCH(uint, locale);
    QFETCH(QString, suffix);
    const QString out = UseRenderLocale(ctx_, locale);

    // Devices arriving while the search runs, a few only heard so far.
    for (int i = 0; i < 14; ++i) {
        DeviceFields f = RenderDevice(i);
        f.bridgeTransparent = static_cast<uint8_t>(i % 2);
        f.upTime = static_cast<uint32_t>(3600 * i + 125);
        AddDevice(f);
    }
    for (int i = 0; i < 3; ++i) {
        DeviceFields f = NthDevice(100 + i);
        f.ip = "192.168.10." + std::to_string(90 + i);
        f.status = kStatusAnnouncedOnly;
        f.ssid = i == 0 ? "" : "KX-Yard-1";
        source_->announced.push_back(MakeDevice(f));
    }
    ctx_.deviceSource = source_;
    ctx_.statusLink = link_;
    CApplicationDlg window(ctx_, RegisteredPages());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* page = qobject_cast<CStatusDlg*>(window.PageContainer()->Page(kStatusPageId));
    QVERIFY(page);
    window.PageContainer()->OnShowRefreshTimer();
    QTest::mouseClick(page->SearchButton(), Qt::LeftButton);
    for (int t = 0; t < 4; ++t) page->OnSearchTick();
    const QString searchText = locale == 2052 ? QString::fromUtf8("停止") : QStringLiteral("Stop");
    QCOMPARE(page->SearchButton()->text(), searchText);
    QCOMPARE(page->SetIpButton()->text(), ToQString(TranslateText("Set IP")));
    QCOMPARE(page->SetBridgeButton()->text(), ToQString(TranslateText("Set Bridge")));
    if (locale == 2052) QCOMPARE(page->SetIpButton()->text(), QString::fromUtf8("设置 IP"));
    QCoreApplication::processEvents();
    QVERIFY(window.grab().toImage().save(out + QStringLiteral("status_searching_") + suffix +
                                         QStringLiteral(".png")));
    QTest::mouseClick(page->SearchButton(), Qt::LeftButton);

    // The batch dialog for three devices, and again a third through.
    std::vector<SelectedDevice> three = {{"192.168.10.33", "02:00:00:00:00:0d", 5},
                                         {"192.168.10.32", "02:00:00:00:00:0c", 10},
                                         {"192.168.10.31", "02:00:00:00:00:0b", 5}};
    AddressBlock defaults;
    defaults.set_ip(IpTextToBytes("192.168.10.33"));
    defaults.set_ip_mask(IpTextToBytes("255.255.255.0"));
    defaults.set_ip_gateway(IpTextToBytes("192.168.10.1"));
    defaults.set_ip_dns1(IpTextToBytes("192.168.10.1"));
    {
        CIpsetMutilDlg batch(ctx_, three, &defaults, &window);
        batch.show();
        QVERIFY(QTest::qWaitForWindowExposed(&batch));
        batch.EndField()->SetAddress(QStringLiteral("192.168.10.60"));
        QVERIFY(batch.grab().toImage().save(out + QStringLiteral("status_setip_") + suffix +
                                            QStringLiteral(".png")));
        batch.OnSave();
        QVERIFY(batch.IsApplying());
        for (int i = 0; i < 10; ++i) batch.Tick();
        QVERIFY(batch.grab().toImage().save(out + QStringLiteral("status_setip_applying_") +
                                            suffix + QStringLiteral(".png")));
        batch.reject();
    }
    {
        CIpsetMutilDlg single(ctx_, {three[0]}, &defaults, &window);
        single.show();
        QVERIFY(QTest::qWaitForWindowExposed(&single));
        QVERIFY(single.grab().toImage().save(out + QStringLiteral("status_setip_single_") + suffix +
                                             QStringLiteral(".png")));
    }
    {
        CBridgeSetMultiDlg bridge(ctx_, 1, &window);
        bridge.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bridge));
        QVERIFY(bridge.grab().toImage().save(out + QStringLiteral("status_setbridge_") + suffix +
                                             QStringLiteral(".png")));
        CPxsyncenSetMultiDlg pxsync(ctx_, 0, &window);
        pxsync.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pxsync));
        QVERIFY(pxsync.grab().toImage().save(out + QStringLiteral("status_pxsync_") + suffix +
                                             QStringLiteral(".png")));
    }
}

QTEST_MAIN(StatusTest)
#include "status_test.moc"
