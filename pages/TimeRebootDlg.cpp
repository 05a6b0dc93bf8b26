#include "pages/TimeRebootDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>

#include "shell/Styling.h"

namespace kestrix {

CTimeRebootDlg::CTimeRebootDlg(const AppContext& context, RebootEntries& entries, QWidget* parent)
    : QWidget(parent), entries_(entries) {
    setObjectName(QStringLiteral("timeReboot"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(24, 16, 24, 16);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(12);
    auto label = [&](const char* key) {
        auto* l = new QLabel(QString::fromUtf8(key), this);
        StyleStaticLabel(context.appearance, l);
        return l;
    };
    enable_ = new QCheckBox(QStringLiteral("Enable"), this);
    enable_->setObjectName(QStringLiteral("rebootEnable"));
    grid->addWidget(label("Time_to_restart"), 0, 0);
    grid->addWidget(enable_, 0, 1);

    auto makeNumber = [&](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setMaxLength(2);
        e->setValidator(new QIntValidator(0, 99, e));
        e->setFixedWidth(60);
        return e;
    };
    hour_ = makeNumber("hour");
    minute_ = makeNumber("minute");
    auto* time = new QHBoxLayout;
    time->addWidget(hour_);
    time->addWidget(label("Hour"));
    time->addSpacing(12);
    time->addWidget(minute_);
    time->addWidget(label("Minutes"));
    time->addStretch(1);
    grid->addWidget(label("Restart_time"), 1, 0);
    grid->addLayout(time, 1, 1);

    constexpr std::array<const char*, 7> kDays = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                  "Friday", "Saturday", "Sunday"};
    auto* days = new QGridLayout;
    for (size_t d = 0; d < 7; ++d) {
        days_[d] = new QCheckBox(QString::fromUtf8(kDays[d]), this);
        days_[d]->setObjectName(QString::fromLatin1(kDays[d]).toLower());
        days->addWidget(days_[d], static_cast<int>(d / 4), static_cast<int>(d % 4));
    }
    everyday_ = new QCheckBox(QStringLiteral("Everyday"), this);
    everyday_->setObjectName(QStringLiteral("everyday"));
    days->addWidget(everyday_, 1, 3);
    grid->addWidget(label("Date"), 2, 0, Qt::AlignTop);
    grid->addLayout(days, 2, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(3, 1);

    hour_->setText(QString::fromStdString(entries.hour));
    minute_->setText(QString::fromStdString(entries.minute));
    Show();

    connect(enable_, &QCheckBox::clicked, this, [this](bool on) {
        Store();
        entries_.SetEnabled(on);
        Show();
    });
    connect(everyday_, &QCheckBox::clicked, this, [this](bool on) {
        Store();
        entries_.SetEveryday(on);
        Show();
    });
}

void CTimeRebootDlg::Show() {
    enable_->setChecked(entries_.enabled);
    hour_->setEnabled(entries_.timeEnabled);
    minute_->setEnabled(entries_.timeEnabled);
    everyday_->setChecked(entries_.everyday);
    everyday_->setEnabled(entries_.timeEnabled);
    for (size_t d = 0; d < 7; ++d) {
        days_[d]->setChecked(entries_.days[d]);
        days_[d]->setEnabled(entries_.weekdaysEnabled);
    }
}

void CTimeRebootDlg::Store() {
    entries_.hour = hour_->text().toStdString();
    entries_.minute = minute_->text().toStdString();
    for (size_t d = 0; d < 7; ++d) entries_.days[d] = days_[d]->isChecked();
    entries_.everyday = everyday_->isChecked();
}

QWidget* CTimeRebootDlg::FieldWidget(ConfigField field) const {
    switch (field) {
        case ConfigField::kRebootHour:
            return hour_;
        case ConfigField::kRebootMinute:
            return minute_;
        case ConfigField::kRebootDays:
            return days_[0];
        default:
            return nullptr;
    }
}

}  // namespace kestrix
