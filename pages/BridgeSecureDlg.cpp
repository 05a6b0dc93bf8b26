#include "pages/BridgeSecureDlg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "base/language.h"
#include "pages/BridgeWepDlg.h"
#include "shell/Styling.h"

namespace kestrix {

namespace {

constexpr int kSsidLength = 32;
constexpr int kKeyLength = 64;
constexpr int kKeyTimeLength = 5;

QComboBox* MakeList(QWidget* parent, const char* name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    // Rebuilt with translated texts whenever the choices change.
    box->setProperty("kxKeepText", true);
    box->setMinimumWidth(190);
    return box;
}

void Fill(QComboBox* box, const std::vector<RadioEntry>& entries, int selected) {
    const QSignalBlocker quiet(box);
    box->clear();
    for (const RadioEntry& e : entries)
        box->addItem(ToQString(e.lookUp ? TranslateText(e.text) : e.text), e.code);
    box->setCurrentIndex(selected);
}

void Fill(QComboBox* box, const RadioList& list) {
    Fill(box, list.entries, list.selected);
}

void Show(QWidget* w, bool shown) {
    w->setVisible(shown);
    w->setEnabled(shown);
}

}  // namespace

CBridgeSecureDlg::CBridgeSecureDlg(const AppContext& context, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("bridgeSecure"));
    const AppearanceSettings& a = context.appearance;
    auto label = [&](const char* key) {
        auto* l = new QLabel(QString::fromUtf8(key), this);
        StyleStaticLabel(a, l);
        return l;
    };
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 4, 24, 4);
    auto* form = new QGridLayout;
    form->setHorizontalSpacing(16);
    form->setVerticalSpacing(8);

    ssid_ = new QLineEdit(this);
    ssid_->setObjectName(QStringLiteral("bridgeSsid"));
    ssid_->setMaxLength(kSsidLength);
    form->addWidget(label("BridgeSSID"), 0, 0);
    form->addWidget(ssid_, 0, 1);

    channel_ = MakeList(this, "bridgeChannel");
    form->addWidget(label("Channel"), 1, 0);
    form->addWidget(channel_, 1, 1, Qt::AlignLeft);

    bandwidthLabel_ = label("BandWidth");
    bandwidth_ = MakeList(this, "bridgeBandwidth");
    form->addWidget(bandwidthLabel_, 2, 0);
    form->addWidget(bandwidth_, 2, 1, Qt::AlignLeft);

    mode_ = MakeList(this, "bridgeSecureMode");
    form->addWidget(label("SecureMode"), 3, 0);
    form->addWidget(mode_, 3, 1, Qt::AlignLeft);

    cipherLabel_ = label("Encryption_Type");
    aes_ = new QRadioButton(QStringLiteral("AES"), this);
    aes_->setObjectName(QStringLiteral("bridgeAes"));
    tkip_ = new QRadioButton(QStringLiteral("TKIP"), this);
    tkip_->setObjectName(QStringLiteral("bridgeTkip"));
    tkipAes_ = new QRadioButton(QStringLiteral("TKIP&&AES"), this);
    tkipAes_->setObjectName(QStringLiteral("bridgeTkipAes"));
    auto* group = new QButtonGroup(this);
    auto* radios = new QHBoxLayout;
    for (QRadioButton* r : {aes_, tkip_, tkipAes_}) {
        r->setFont(MakeFont(a.StaticFont()));
        group->addButton(r);
        radios->addWidget(r);
    }
    radios->addStretch(1);
    aes_->setChecked(true);
    form->addWidget(cipherLabel_, 4, 0);
    form->addLayout(radios, 4, 1);

    keyLabel_ = label("WirelessKey");
    key_ = new QLineEdit(this);
    key_->setObjectName(QStringLiteral("bridgeKey"));
    key_->setMaxLength(kKeyLength);
    form->addWidget(keyLabel_, 5, 0);
    form->addWidget(key_, 5, 1);

    keyTimeLabel_ = label("Key_time");
    keyTime_ = new QLineEdit(this);
    keyTime_->setObjectName(QStringLiteral("bridgeKeyTime"));
    keyTime_->setMaxLength(kKeyTimeLength);
    keyTime_->setFixedWidth(90);
    form->addWidget(keyTimeLabel_, 6, 0);
    form->addWidget(keyTime_, 6, 1, Qt::AlignLeft);
    form->setColumnStretch(1, 1);
    column->addLayout(form);

    wep_ = new CBridgeWepDlg(context, this);
    column->addWidget(wep_);
    column->addStretch(1);

    connect(mode_, &QComboBox::currentIndexChanged, this, [this] { ShowFieldsOfMode(); });
    connect(bandwidth_, &QComboBox::currentIndexChanged, this, [this] { OnBandwidthChanged(); });
    ShowFieldsOfMode();
}

void CBridgeSecureDlg::Initialise(const config_otherwl_basic& entry, const ap_info_stu& record) {
    entry_ = entry;
    record_ = record;
    const BridgeSecurity s = InitialSecurity(entry, record);
    filling_ = true;
    ssid_->setText(QString::fromStdString(s.ssid));
    Fill(channel_, s.channels);
    Fill(bandwidth_, s.bandwidths);
    bandwidthLabel_->setVisible(s.bandwidthShown);
    Show(bandwidth_, s.bandwidthShown);
    int modeIndex = 0;
    for (size_t i = 0; i < s.modes.size(); ++i) {
        if (s.modes[i].code == s.mode) modeIndex = static_cast<int>(i);
    }
    Fill(mode_, s.modes, modeIndex);
    QRadioButton* ticked = s.cipher == PskCipher::kTkip      ? tkip_
                           : s.cipher == PskCipher::kTkipAes ? tkipAes_
                                                             : aes_;
    ticked->setChecked(true);
    wep_->Set(s.wep);
    filling_ = false;
    ShowFieldsOfMode();
}

void CBridgeSecureDlg::ShowFieldsOfMode() {
    const int mode = mode_->currentData().toInt();
    const SecurityFields f = FieldsOfMode(mode);
    cipherLabel_->setVisible(f.ciphers);
    for (QRadioButton* r : {aes_, tkip_, tkipAes_}) Show(r, f.ciphers);
    tkipAes_->setEnabled(f.tkipAesEnabled);
    if (CipherForMode(mode, TickedCipher()) != TickedCipher()) aes_->setChecked(true);
    for (QLabel* l : {keyLabel_, keyTimeLabel_}) l->setVisible(f.key);
    for (QLineEdit* e : {key_, keyTime_}) Show(e, f.key);
    wep_->setVisible(f.wepPanel);
}

void CBridgeSecureDlg::OnBandwidthChanged() {
    if (filling_) return;
    // The access point's channel is wanted again, as when the step opened.
    Fill(channel_, BridgeChannelList(record_, bandwidth_->currentData().toInt(), entry_.channel()));
}

PskCipher CBridgeSecureDlg::TickedCipher() const {
    if (tkip_->isChecked()) return PskCipher::kTkip;
    if (tkipAes_->isChecked()) return PskCipher::kTkipAes;
    return PskCipher::kAes;
}

BridgeSecurity CBridgeSecureDlg::Collect() const {
    BridgeSecurity s;
    s.ssid = ssid_->text().toStdString();
    for (int i = 0; i < channel_->count(); ++i)
        s.channels.entries.push_back({channel_->itemData(i).toInt(), {}, false});
    s.channels.selected = channel_->currentIndex();
    s.mode = mode_->currentData().toInt();
    s.cipher = TickedCipher();
    s.key = key_->text().toStdString();
    s.keyTime = keyTime_->text().toStdString();
    s.wep = wep_->Get();
    return s;
}

void CBridgeSecureDlg::FocusSsid() {
    ssid_->setFocus();
}

}  // namespace kestrix
