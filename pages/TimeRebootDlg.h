#pragma once
// The "TimeReboot" tab of the device configuration dialog: the weekly
// reboot schedule of one device (fleet/reboot_settings.h).

#include <array>

#include <QWidget>

#include "fleet/reboot_settings.h"
#include "shell/AppContext.h"

class QCheckBox;
class QLineEdit;

namespace kestrix {

class CTimeRebootDlg : public QWidget {
    Q_OBJECT
public:
    CTimeRebootDlg(const AppContext& context, RebootEntries& entries, QWidget* parent);
    void Store();
    QWidget* FieldWidget(ConfigField field) const;

    QCheckBox* EnableBox() const { return enable_; }
    QCheckBox* EverydayBox() const { return everyday_; }
    QCheckBox* DayBox(size_t day) const { return days_[day]; }
    QLineEdit* HourEdit() const { return hour_; }
    QLineEdit* MinuteEdit() const { return minute_; }

private:
    void Show();

    RebootEntries& entries_;
    QCheckBox* enable_ = nullptr;
    QLineEdit* hour_ = nullptr;
    QLineEdit* minute_ = nullptr;
    std::array<QCheckBox*, 7> days_{};
    QCheckBox* everyday_ = nullptr;
};

}  // namespace kestrix
