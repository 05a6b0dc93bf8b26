#include "pages/BridgeConfigDlg.h"

#include <QHBoxLayout>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "base/language.h"
#include "controls/TButtonPicture.h"
#include "fleet/bridge_wizard.h"
#include "pages/BridgeFinishDlg.h"
#include "pages/BridgeIPSetDlg.h"
#include "pages/BridgeSearcgAPDlg.h"
#include "pages/BridgeSecureDlg.h"
#include "pages/PageMessage.h"
#include "shell/Styling.h"
#include "shell/TranslateWidgets.h"

namespace kestrix {

namespace {

constexpr int kApplyWorker = 1;
const QSize kStepSize(600, 360);

}  // namespace

CBridgeConfigDlg::CBridgeConfigDlg(const AppContext& context, const ap_info_stu& record,
                                   std::shared_ptr<BridgeLink> link,
                                   std::function<void()> startScanWorker,
                                   std::function<SelectedDevice()> wizardDevice, QWidget* parent)
    : CSkinDlg(context, "Device bridge", parent),
      record_(record),
      link_(std::move(link)),
      wizardDevice_(std::move(wizardDevice)) {
    setObjectName(QStringLiteral("bridgeConfigDialog"));
    steps_ = new QStackedWidget(this);
    steps_->setFixedSize(kStepSize);
    scanPage_ = new CBridgeSearcgAPDlg(context, link_, std::move(startScanWorker), steps_);
    securityPage_ = new CBridgeSecureDlg(context, steps_);
    addressPage_ = new CBridgeIPSetDlg(context, steps_);
    finishPage_ = new CBridgeFinishDlg(context, steps_);
    for (QWidget* page :
         std::initializer_list<QWidget*>{scanPage_, securityPage_, addressPage_, finishPage_})
        steps_->addWidget(page);
    Body()->addWidget(steps_);

    back_ = MakeButton("Back", "back");
    next_ = MakeButton("Next", "next");
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(back_);
    row->addSpacing(12);
    row->addWidget(next_);
    Body()->addLayout(row);
    connect(back_, &QAbstractButton::clicked, this, [this] { OnBack(); });
    connect(next_, &QAbstractButton::clicked, this, [this] { OnNext(); });
    connect(scanPage_, &CBridgeSearcgAPDlg::ChoiceChanged, this, [this](bool chosen) {
        if (step_ == kStepScan) next_->setEnabled(chosen);
    });

    TranslateDialog(this);
    ShowStep(kStepScan);
    setFixedSize(sizeHint());
    scanPage_->StartScan();
}

CBridgeConfigDlg::~CBridgeConfigDlg() {
    // The apply worker holds copies only; it is let go and finishes its send.
    workers_.ReleaseAll();
}

void CBridgeConfigDlg::ShowStep(int step) {
    step_ = step;
    steps_->setCurrentIndex(step);
    back_->setVisible(step != kStepScan);
    next_->setText(ToQString(TranslateText(step == kStepFinish ? "Save" : "Next")));
    if (step == kStepScan) {
        next_->setEnabled(scanPage_->TickedMac().has_value() && !scanPage_->IsScanning());
    } else {
        next_->setEnabled(true);
    }
}

void CBridgeConfigDlg::OnNext() {
    switch (step_) {
        case kStepScan: {
            const std::optional<std::string> mac = scanPage_->TickedMac();
            if (!mac) return;
            accessPoint_ = link_ ? link_->GetScanEntry(*mac) : config_otherwl_basic();
            securityPage_->Initialise(accessPoint_, record_);
            ShowStep(kStepSecurity);
            return;
        }
        case kStepSecurity: {
            bridge_ = BridgeBlock();
            const BridgeSecurity s = securityPage_->Collect();
            if (RuleResult r = CheckBridgeSecurity(s, record_.ap_type()); !r) {
                CPageMessage::Show(Context(), this, r.kind, ToQString(r.message));
                if (r.focus == FocusField::kSsid) securityPage_->FocusSsid();
                return;
            }
            bridge_ = BuildBridgeBlock(s, accessPoint_.mac());
            addressPage_->Set(InitialBridgeAddress(record_));
            ShowStep(kStepAddress);
            return;
        }
        case kStepAddress: {
            address_ = AddressBlock();
            const AddressSet a = addressPage_->Get();
            const std::vector<std::string> stored =
                link_ ? link_->GetAllDeviceIps() : std::vector<std::string>{};
            if (RuleResult r = CheckBridgeAddress(a, record_.info().address().ip(), stored); !r) {
                CPageMessage::Show(Context(), this, r.kind, ToQString(r.message));
                return;
            }
            address_ = BuildBridgeAddressBlock(a);
            ShowStep(kStepFinish);
            return;
        }
        case kStepFinish:
            Save();
            return;
        default:
            return;
    }
}

void CBridgeConfigDlg::OnBack() {
    if (step_ > kStepScan) ShowStep(step_ - 1);
}

void CBridgeConfigDlg::Save() {
    target_ = wizardDevice_ ? wizardDevice_() : SelectedDevice{};
    if (link_) {
        workers_.Start(kApplyWorker,
                       [link = link_, target = target_, bridge = bridge_, address = address_](
                           std::stop_token) { SendBridge(*link, target, bridge, address); });
    }
    accept();
}

void CBridgeConfigDlg::done(int result) {
    // Saved or closed: the scan's table goes, and a scan still running
    // fills nothing any more.
    scanPage_->StopScan();
    if (link_) link_->DeleteScanResults();
    CSkinDlg::done(result);
}

}  // namespace kestrix
