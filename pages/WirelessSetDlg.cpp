#include "pages/WirelessSetDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>

#include "base/language.h"
#include "controls/TIpAddressEdit.h"
#include "shell/Styling.h"

namespace kestrix {

namespace {

QString Tr(const std::string& key) {
    return ToQString(TranslateText(key));
}

QComboBox* MakeBox(QWidget* parent, const char* name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    // Filled with texts already looked up.
    box->setProperty("kxKeepText", true);
    box->setMinimumWidth(150);
    return box;
}

void ShowList(QComboBox* box, const RadioList& list) {
    const QSignalBlocker block(box);
    box->clear();
    for (const RadioEntry& e : list.entries)
        box->addItem(e.lookUp ? Tr(e.text) : QString::fromStdString(e.text), e.code);
    box->setCurrentIndex(list.selected);
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int maxLength) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(maxLength);
    return edit;
}

}  // namespace

CWirelessSetDlg::CWirelessSetDlg(const AppContext& context, WirelessSettings& settings,
                                 QWidget* parent)
    : QWidget(parent), context_(context), settings_(settings) {
    setObjectName(QStringLiteral("wirelessSet"));
    const AppearanceSettings& a = context_.appearance;
    auto label = [&](const char* key) {
        auto* l = new QLabel(QString::fromUtf8(key), this);
        StyleStaticLabel(a, l);
        return l;
    };
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(12, 10, 12, 10);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    int row = 0;

    ssid_ = MakeEdit(this, "ssid", 32);
    hide_ = new QCheckBox(QStringLiteral("Wireless_ssid_hide"), this);
    hide_->setObjectName(QStringLiteral("hideSsid"));
    grid->addWidget(label("Wireless_ssid"), row, 0);
    grid->addWidget(ssid_, row, 1);
    grid->addWidget(hide_, row++, 2, 1, 2);

    netMode_ = MakeBox(this, "networkMode");
    bandwidth_ = MakeBox(this, "bandwidth");
    grid->addWidget(label("NetMode"), row, 0);
    grid->addWidget(netMode_, row, 1);
    grid->addWidget(label("BandWidth"), row, 2);
    grid->addWidget(bandwidth_, row++, 3);

    country_ = MakeBox(this, "country");
    power_ = MakeEdit(this, "power", 3);
    powerRange_ = new QLabel(this);
    powerRange_->setProperty("kxKeepText", true);
    StyleStaticLabel(a, powerRange_, true);
    auto* powerRow = new QHBoxLayout;
    powerRow->addWidget(power_);
    powerRow->addWidget(powerRange_);
    grid->addWidget(label("Wireless_country"), row, 0);
    grid->addWidget(country_, row, 1);
    grid->addWidget(label("Wireless_power"), row, 2);
    grid->addLayout(powerRow, row++, 3);

    channel_ = MakeBox(this, "channel");
    extension_ = MakeBox(this, "extensionChannel");
    grid->addWidget(label("Wireless_channel"), row, 0);
    grid->addWidget(channel_, row, 1);
    grid->addWidget(label("ExpandChannel"), row, 2);
    grid->addWidget(extension_, row++, 3);

    dfsLabel_ = label("DFS");
    dfs_ = new QCheckBox(this);
    dfs_->setObjectName(QStringLiteral("dfs"));
    security_ = MakeBox(this, "security");
    grid->addWidget(label("Wireless_secureMode"), row, 0);
    grid->addWidget(security_, row, 1);
    grid->addWidget(dfsLabel_, row, 2);
    grid->addWidget(dfs_, row++, 3);

    // The personal modes' fields.
    pskRow_ = new QWidget(this);
    auto* radios = new QHBoxLayout(pskRow_);
    radios->setContentsMargins(0, 0, 0, 0);
    aes_ = new QRadioButton(QStringLiteral("AES"), pskRow_);
    tkip_ = new QRadioButton(QStringLiteral("TKIP"), pskRow_);
    tkipAes_ = new QRadioButton(QStringLiteral("TKIP&&AES"), pskRow_);
    aes_->setObjectName(QStringLiteral("aes"));
    tkip_->setObjectName(QStringLiteral("tkip"));
    tkipAes_->setObjectName(QStringLiteral("tkipAes"));
    for (QRadioButton* r : {aes_, tkip_, tkipAes_}) radios->addWidget(r);
    radios->addStretch(1);
    keyTime_ = MakeEdit(this, "keyTime", 5);
    key_ = MakeEdit(this, "key", 64);
    pskLabels_[0] = label("Wireless_AutoType");
    pskLabels_[1] = label("Wireless_Key_time");
    pskLabels_[2] = label("Wireless_Key");
    grid->addWidget(pskLabels_[0], row, 0);
    grid->addWidget(pskRow_, row++, 1, 1, 3);
    grid->addWidget(pskLabels_[1], row, 0);
    grid->addWidget(keyTime_, row++, 1);
    grid->addWidget(pskLabels_[2], row, 0);
    grid->addWidget(key_, row++, 1, 1, 3);

    // WEP sub-panel.
    wepPanel_ = new QWidget(this);
    wepPanel_->setObjectName(QStringLiteral("wepPanel"));
    auto* wep = new QGridLayout(wepPanel_);
    wep->setContentsMargins(0, 0, 0, 0);
    wepAuth_ = MakeBox(wepPanel_, "wepAuth");
    wepAuth_->addItem(Tr("Open"), 0);
    wepAuth_->addItem(Tr("Share"), 1);
    wepDefault_ = MakeBox(wepPanel_, "wepDefaultKey");
    for (int k = 1; k <= 4; ++k) wepDefault_->addItem(Tr("Key " + std::to_string(k)), k);
    auto wlabel = [&](const char* key) {
        auto* l = new QLabel(QString::fromUtf8(key), wepPanel_);
        StyleStaticLabel(a, l);
        return l;
    };
    wep->addWidget(wlabel("Encryption_Type"), 0, 0);
    wep->addWidget(wepAuth_, 0, 1);
    wep->addWidget(wlabel("Default_key"), 0, 2);
    wep->addWidget(wepDefault_, 0, 3);
    for (size_t k = 0; k < 4; ++k) {
        const std::string n = std::to_string(k + 1);
        wepKeys_[k] = MakeEdit(wepPanel_, ("wepKey" + n).c_str(), 26);
        wepFormats_[k] = MakeBox(wepPanel_, ("wepFormat" + n).c_str());
        wepFormats_[k]->addItem(Tr("ASCII"), 0);
        wepFormats_[k]->addItem(Tr("Hex"), 1);
        wep->addWidget(wlabel(("Key" + n).c_str()), static_cast<int>(k) + 1, 0);
        wep->addWidget(wepKeys_[k], static_cast<int>(k) + 1, 1, 1, 2);
        wep->addWidget(wepFormats_[k], static_cast<int>(k) + 1, 3);
    }
    grid->addWidget(wepPanel_, row++, 0, 1, 4);

    // WPA (enterprise) sub-panel.
    wpaPanel_ = new QWidget(this);
    wpaPanel_->setObjectName(QStringLiteral("wpaPanel"));
    auto* wpa = new QGridLayout(wpaPanel_);
    wpa->setContentsMargins(0, 0, 0, 0);
    auto plabel = [&](const char* key) {
        auto* l = new QLabel(QString::fromUtf8(key), wpaPanel_);
        StyleStaticLabel(a, l);
        return l;
    };
    wpaAuth_ = MakeBox(wpaPanel_, "wpaAuth");
    wpaAuth_->addItem(Tr("AES"), 0);
    wpaAuth_->addItem(Tr("TKIP"), 1);
    wpaAuth_->addItem(Tr("AES/TKIP"), 2);
    radiusIp_ = new CTIpAddressEdit(wpaPanel_);
    radiusIp_->setObjectName(QStringLiteral("radiusServer"));
    radiusIp_->setFixedSize(170, 26);
    radiusPort_ = MakeEdit(wpaPanel_, "radiusPort", 5);
    radiusKey_ = MakeEdit(wpaPanel_, "radiusKey", 64);
    radiusTime_ = MakeEdit(wpaPanel_, "radiusKeyTime", 5);
    wpa->addWidget(plabel("Encryption_Type"), 0, 0);
    wpa->addWidget(wpaAuth_, 0, 1);
    wpa->addWidget(plabel("Radius_server_ip"), 0, 2);
    wpa->addWidget(radiusIp_, 0, 3);
    wpa->addWidget(plabel("Radius_port"), 1, 0);
    wpa->addWidget(radiusPort_, 1, 1);
    wpa->addWidget(plabel("Radius_Key_time"), 1, 2);
    wpa->addWidget(radiusTime_, 1, 3);
    wpa->addWidget(plabel("Radius_Key"), 2, 0);
    wpa->addWidget(radiusKey_, 2, 1, 1, 3);
    grid->addWidget(wpaPanel_, row++, 0, 1, 4);
    grid->setRowStretch(row, 1);

    FillEntries();
    ShowLists();
    ShowSecurity();

    auto onIndex = [this](QComboBox* box, void (WirelessSettings::*handler)(int)) {
        connect(box, &QComboBox::currentIndexChanged, this, [this, handler](int index) {
            (settings_.*handler)(index);
            ShowLists();
        });
    };
    onIndex(country_, &WirelessSettings::SelectCountry);
    onIndex(netMode_, &WirelessSettings::SelectNetworkMode);
    onIndex(bandwidth_, &WirelessSettings::SelectBandwidth);
    onIndex(channel_, &WirelessSettings::SelectChannel);
    onIndex(extension_, &WirelessSettings::SelectExtension);
    connect(security_, &QComboBox::currentIndexChanged, this, [this](int index) {
        settings_.SelectSecurity(index);
        ShowSecurity();
    });
    connect(dfs_, &QCheckBox::toggled, this, [this](bool on) {
        settings_.SetDfs(on);
        ShowLists();
    });
    connect(aes_, &QRadioButton::clicked, this,
            [this] { settings_.SelectCipher(PskCipher::kAes); });
    connect(tkip_, &QRadioButton::clicked, this,
            [this] { settings_.SelectCipher(PskCipher::kTkip); });
    connect(tkipAes_, &QRadioButton::clicked, this,
            [this] { settings_.SelectCipher(PskCipher::kTkipAes); });

    const bool readOnly = settings_.ReadOnly();
    for (QWidget* w : findChildren<QWidget*>()) {
        if (qobject_cast<QLabel*>(w) == nullptr) w->setEnabled(!readOnly);
    }
    if (settings_.DfsOffered()) dfs_->setEnabled(true);
    ShowLists();
}

void CWirelessSetDlg::FillEntries() {
    const WirelessEntries& e = settings_.Entries();
    ssid_->setText(QString::fromStdString(e.ssid));
    hide_->setChecked(e.hideSsid);
    dfsLabel_->setVisible(settings_.DfsOffered());
    dfs_->setVisible(settings_.DfsOffered());
    dfs_->setChecked(settings_.Dfs());
    power_->setText(QString::fromStdString(e.power));
    powerRange_->setText(QString::fromStdString(settings_.PowerRange()));
    key_->setText(QString::fromStdString(e.pskKey));
    keyTime_->setText(QString::fromStdString(e.pskInterval));
    wepAuth_->setCurrentIndex(e.wep.authType);
    wepDefault_->setCurrentIndex(e.wep.defaultKey);
    for (size_t k = 0; k < 4; ++k) {
        wepKeys_[k]->setText(QString::fromStdString(e.wep.keys[k]));
        wepFormats_[k]->setCurrentIndex(static_cast<int>(e.wep.formats[k]));
    }
    wpaAuth_->setCurrentIndex(e.wpa.authType);
    radiusIp_->SetAddress(QString::fromStdString(IpBytesToText(e.wpa.server)));
    radiusPort_->setText(QString::fromStdString(e.wpa.port));
    radiusKey_->setText(QString::fromStdString(e.wpa.key));
    radiusTime_->setText(QString::fromStdString(e.wpa.interval));
    ShowList(security_, settings_.SecurityModes());
}

void CWirelessSetDlg::ShowLists() {
    ShowList(country_, settings_.Countries());
    ShowList(netMode_, settings_.NetworkModes());
    ShowList(bandwidth_, settings_.Bandwidths());
    ShowList(channel_, settings_.Channels());
    ShowList(extension_, settings_.Extensions());
    const bool editable = !settings_.ReadOnly();
    const bool radio = editable && !settings_.RadioLocked();
    country_->setEnabled(radio);
    channel_->setEnabled(radio);
    extension_->setEnabled(radio && settings_.Extensions().enabled);
}

void CWirelessSetDlg::ShowSecurity() {
    const SecurityLayout l = settings_.Layout();
    const bool editable = !settings_.ReadOnly();
    pskRow_->setVisible(l.pskFields);
    for (QWidget* w : {static_cast<QWidget*>(key_), static_cast<QWidget*>(keyTime_)}) {
        w->setVisible(l.pskFields);
        w->setEnabled(editable && l.pskFields);
    }
    for (QWidget* w : pskLabels_) {
        if (w != nullptr) w->setVisible(l.pskFields);
    }
    tkipAes_->setEnabled(editable && l.tkipAesEnabled);
    const PskCipher c = settings_.Cipher();
    aes_->setChecked(c == PskCipher::kAes);
    tkip_->setChecked(c == PskCipher::kTkip);
    tkipAes_->setChecked(c == PskCipher::kTkipAes);
    wepPanel_->setVisible(l.wepPanel);
    wpaPanel_->setVisible(l.wpaPanel);
}

void CWirelessSetDlg::Store() {
    WirelessEntries& e = settings_.Entries();
    e.ssid = ssid_->text().toStdString();
    e.hideSsid = hide_->isChecked();
    e.power = power_->text().toStdString();
    e.pskKey = key_->text().toStdString();
    e.pskInterval = keyTime_->text().toStdString();
    e.wep.authType = wepAuth_->currentIndex();
    e.wep.defaultKey = wepDefault_->currentIndex();
    for (size_t k = 0; k < 4; ++k) {
        e.wep.keys[k] = wepKeys_[k]->text().toStdString();
        e.wep.formats[k] =
            wepFormats_[k]->currentIndex() == 1 ? WepKeyFormat::kHex : WepKeyFormat::kAscii;
    }
    e.wpa.authType = wpaAuth_->currentIndex();
    e.wpa.server = IpTextToBytes(radiusIp_->Address().toStdString());
    e.wpa.port = radiusPort_->text().toStdString();
    e.wpa.key = radiusKey_->text().toStdString();
    e.wpa.interval = radiusTime_->text().toStdString();
}

QWidget* CWirelessSetDlg::FieldWidget(ConfigField field) const {
    switch (field) {
        case ConfigField::kSsid:
            return ssid_;
        case ConfigField::kTxPower:
            return power_;
        case ConfigField::kPskKey:
            return key_;
        case ConfigField::kPskInterval:
            return keyTime_;
        case ConfigField::kWepKey1:
            return wepKeys_[0];
        case ConfigField::kWepKey2:
            return wepKeys_[1];
        case ConfigField::kWepKey3:
            return wepKeys_[2];
        case ConfigField::kWepKey4:
            return wepKeys_[3];
        case ConfigField::kRadiusServer:
            return radiusIp_->Field(0);
        case ConfigField::kRadiusPort:
            return radiusPort_;
        case ConfigField::kRadiusKey:
            return radiusKey_;
        case ConfigField::kRadiusInterval:
            return radiusTime_;
        default:
            return nullptr;
    }
}

}  // namespace kestrix
