#include "pages/BridgeWepDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "base/language.h"
#include "shell/Styling.h"

namespace kestrix {

namespace {

QComboBox* MakeList(QWidget* parent, const char* name,
                    std::initializer_list<std::pair<const char*, int>> items) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    // Filled with translated texts here; the dialog's walk leaves it alone.
    box->setProperty("kxKeepText", true);
    for (const auto& [key, data] : items) box->addItem(ToQString(TranslateText(key)), data);
    return box;
}

}  // namespace

CBridgeWepDlg::CBridgeWepDlg(const AppContext& context, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("bridgeWep"));
    const AppearanceSettings& a = context.appearance;
    auto* form = new QGridLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(6);
    auto label = [&](const char* key) {
        auto* l = new QLabel(QString::fromUtf8(key), this);
        StyleStaticLabel(a, l);
        return l;
    };
    auth_ = MakeList(this, "wepAuth", {{"Open", 0}, {"Share", 1}});
    defaultKey_ =
        MakeList(this, "wepDefaultKey", {{"Key 1", 0}, {"Key 2", 1}, {"Key 3", 2}, {"Key 4", 3}});
    form->addWidget(label("Encryption_Type"), 0, 0);
    form->addWidget(auth_, 0, 1);
    form->addWidget(label("Default_key"), 0, 2);
    form->addWidget(defaultKey_, 0, 3);
    static const char* const kKeyLabels[] = {"Key1", "Key2", "Key3", "Key4"};
    for (int k = 0; k < 4; ++k) {
        const size_t i = static_cast<size_t>(k);
        keys_[i] = new QLineEdit(this);
        keys_[i]->setObjectName(QStringLiteral("wepKey%1").arg(k + 1));
        keys_[i]->setMaxLength(kKeyLength);
        formats_[i] = MakeList(this, "", {{"ASCII", 0}, {"Hex", 1}});
        formats_[i]->setObjectName(QStringLiteral("wepFormat%1").arg(k + 1));
        form->addWidget(label(kKeyLabels[k]), k + 1, 0);
        form->addWidget(keys_[i], k + 1, 1, 1, 2);
        form->addWidget(formats_[i], k + 1, 3);
    }
}

void CBridgeWepDlg::Set(const WepSettings& wep) {
    auth_->setCurrentIndex(auth_->findData(wep.auth));
    defaultKey_->setCurrentIndex(defaultKey_->findData(wep.defaultKey));
    for (size_t k = 0; k < 4; ++k) {
        keys_[k]->setText(QString::fromStdString(wep.keys[k]));
        formats_[k]->setCurrentIndex(formats_[k]->findData(static_cast<int>(wep.formats[k])));
    }
}

WepSettings CBridgeWepDlg::Get() const {
    WepSettings wep;
    wep.auth = auth_->currentData().toInt();
    wep.defaultKey = defaultKey_->currentData().toInt();
    for (size_t k = 0; k < 4; ++k) {
        wep.keys[k] = keys_[k]->text().toStdString();
        wep.formats[k] = static_cast<WepKeyFormat>(formats_[k]->currentData().toInt());
    }
    return wep;
}

}  // namespace kestrix
