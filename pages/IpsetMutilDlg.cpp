#include "pages/IpsetMutilDlg.h"

#include <tuple>
#include <utility>

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "controls/TButtonPicture.h"
#include "controls/TIpAddressEdit.h"
#include "fleet/validation.h"
#include "pages/PageMessage.h"
#include "shell/Styling.h"
#include "shell/TranslateWidgets.h"

namespace kestrix {

namespace {

constexpr int kFieldWidth = 190;
constexpr int kFieldHeight = 28;

QString AddressText(const Ipv4Bytes& bytes) {
    return QString::fromStdString(IpBytesToText(bytes));
}

std::string FieldText(const CTIpAddressEdit* field) {
    return field->Address().toStdString();
}

}  // namespace

CIpsetMutilDlg::CIpsetMutilDlg(const AppContext& context, std::vector<SelectedDevice> selection,
                               const AddressBlock* defaults, QWidget* parent)
    : CSkinDlg(context, "Set IP", parent),
      selection_(std::move(selection)),
      schedule_(kProgressSeconds, true, kClosingSearches) {
    setObjectName(QStringLiteral("ipsetMutilDialog"));
    const bool several = selection_.size() > 1;

    auto* form = new QGridLayout;
    form->setHorizontalSpacing(16);
    form->setVerticalSpacing(10);
    auto addRow = [&](int row, const char* key, const char* name) {
        QLabel* label = MakeLabel(key, name);
        auto* field = new CTIpAddressEdit(this);
        field->setObjectName(QString::fromLatin1(name) + QStringLiteral("Field"));
        field->setFixedSize(kFieldWidth, kFieldHeight);
        form->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
        form->addWidget(field, row, 1);
        return std::pair{label, field};
    };
    // One device takes the begin address as its own: the field is simply
    // its address.
    std::tie(beginLabel_, begin_) =
        addRow(0, several ? "IP_Address_Begin" : "IP_Address", "ipBegin");
    std::tie(endLabel_, end_) = addRow(1, "IP_Address_End", "ipEnd");
    mask_ = addRow(2, "Sub_Network", "mask").second;
    gateway_ = addRow(3, "Gate_Way", "gateway").second;
    dns1_ = addRow(4, "Major_Dns", "primaryDns").second;
    dns2_ = addRow(5, "Dns", "secondaryDns").second;
    endLabel_->setVisible(several);
    end_->setVisible(several);
    Body()->addLayout(form);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("ipsetProgress"));
    progress_->setRange(0, schedule_.Total());
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setFixedHeight(14);
    // Shown only while the addresses go out; its place is kept so that the
    // dialog does not grow under the operator's pointer.
    QSizePolicy keep = progress_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    progress_->setSizePolicy(keep);
    progress_->hide();
    Body()->addSpacing(4);
    Body()->addWidget(progress_);

    AddSaveCancel(save_, cancel_);
    connect(save_, &QAbstractButton::clicked, this, [this] { OnSave(); });

    if (defaults != nullptr) {
        begin_->SetAddress(AddressText(defaults->ip()));
        mask_->SetAddress(AddressText(defaults->ip_mask()));
        gateway_->SetAddress(AddressText(defaults->ip_gateway()));
        dns1_->SetAddress(AddressText(defaults->ip_dns1()));
        dns2_->SetAddress(AddressText(defaults->ip_dns2()));
    }

    timer_.setInterval(WaitSchedule::kTickMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });

    TranslateDialog(this);
    setFixedSize(sizeHint().expandedTo(QSize(400, 0)));
}

void CIpsetMutilDlg::OnSave() {
    if (applying_) return;
    AddressRange range{FieldText(begin_),   FieldText(end_),  FieldText(mask_),
                       FieldText(gateway_), FieldText(dns1_), FieldText(dns2_)};
    // The end address counts only for several devices.
    if (selection_.size() <= 1) range.end.clear();
    const RuleResult rule = CheckAddressRange(
        AddressSet{range.begin, range.mask, range.gateway, range.dns1, range.dns2}, range.end,
        selection_.size());
    if (!rule) {
        CPageMessage::Show(Context(), this, rule.kind, ToQString(rule.message));
        return;
    }
    if (apply_) apply_(range);

    applying_ = true;
    for (CTIpAddressEdit* field : {begin_, end_, mask_, gateway_, dns1_, dns2_})
        field->setEnabled(false);
    // Greyed texts too: the buttons' pictures alone hardly change.
    const QColor grey = ToQColor(Context().appearance.StaticTextNumberColor);
    for (CTButtonPicture* b : {save_, cancel_}) {
        b->setEnabled(false);
        b->SetTextColors(grey, grey);
    }
    progress_->setValue(0);
    progress_->show();
    timer_.start();
}

void CIpsetMutilDlg::Tick() {
    if (!applying_) return;
    const WaitSchedule::Step step = schedule_.Tick();
    if (step.releaseAnnounced && releaseAnnounced_) releaseAnnounced_();
    if (step.search && search_) search_();
    progress_->setValue(step.position);
    if (step.finished) accept();
}

void CIpsetMutilDlg::done(int result) {
    // Closing ends the progress and its searches; the worker, which the
    // status page holds, goes on until it has sent everything.
    timer_.stop();
    CSkinDlg::done(result);
}

}  // namespace kestrix
