#pragma once
// "Set IP": gives every device ticked on the status page an address from a
// range in one go, in the order of their rows. Save checks the range, hands
// it to the status page (which starts the worker that sends the addresses)
// and shows a 15 s progress during which the link searches again, so that
// the devices reappear under their new addresses; then the dialog closes.

#include <functional>
#include <vector>

#include <QTimer>

#include "controls/logic/wait_schedule.h"
#include "fleet/address_batch.h"
#include "fleet/selection.h"
#include "link/wire/wire_format.h"
#include "pages/SkinDlg.h"

class QLabel;
class QProgressBar;

namespace kestrix {

class CTButtonPicture;
class CTIpAddressEdit;

class CIpsetMutilDlg : public CSkinDlg {
    Q_OBJECT
public:
    static constexpr int kProgressSeconds = 15;
    static constexpr int kClosingSearches = 3;

    // `defaults` is the stored address block of the first selected device,
    // or none when the store has no record of it (the fields start empty).
    CIpsetMutilDlg(const AppContext& context, std::vector<SelectedDevice> selection,
                   const AddressBlock* defaults, QWidget* parent = nullptr);

    // Called by Save with the accepted range (the status page starts its
    // batch worker).
    void SetApply(std::function<void(const AddressRange&)> apply) { apply_ = std::move(apply); }
    // The progress clock's searches, the first preceded by releasing the
    // devices that only announced themselves.
    void SetReleaseAnnounced(std::function<void()> call) { releaseAnnounced_ = std::move(call); }
    void SetSearch(std::function<void()> call) { search_ = std::move(call); }

    // Checks the fields; on success applies the range and starts the
    // progress, otherwise shows the rule's message and changes nothing.
    void OnSave();
    // One event of the 500 ms progress clock (tests drive it).
    void Tick();
    bool IsApplying() const { return applying_; }

    CTIpAddressEdit* BeginField() const { return begin_; }
    CTIpAddressEdit* EndField() const { return end_; }
    CTIpAddressEdit* MaskField() const { return mask_; }
    CTIpAddressEdit* GatewayField() const { return gateway_; }
    CTIpAddressEdit* PrimaryDnsField() const { return dns1_; }
    CTIpAddressEdit* SecondaryDnsField() const { return dns2_; }
    QLabel* BeginLabel() const { return beginLabel_; }
    QLabel* EndLabel() const { return endLabel_; }
    CTButtonPicture* SaveButton() const { return save_; }
    CTButtonPicture* CancelButton() const { return cancel_; }
    QProgressBar* Progress() const { return progress_; }
    const QTimer& Timer() const { return timer_; }
    const WaitSchedule& Schedule() const { return schedule_; }

protected:
    void done(int result) override;

private:
    std::vector<SelectedDevice> selection_;
    WaitSchedule schedule_;
    QTimer timer_;
    bool applying_ = false;
    std::function<void(const AddressRange&)> apply_;
    std::function<void()> releaseAnnounced_;
    std::function<void()> search_;

    QLabel* beginLabel_ = nullptr;
    QLabel* endLabel_ = nullptr;
    CTIpAddressEdit* begin_ = nullptr;
    CTIpAddressEdit* end_ = nullptr;
    CTIpAddressEdit* mask_ = nullptr;
    CTIpAddressEdit* gateway_ = nullptr;
    CTIpAddressEdit* dns1_ = nullptr;
    CTIpAddressEdit* dns2_ = nullptr;
    QProgressBar* progress_ = nullptr;
    CTButtonPicture* save_ = nullptr;
    CTButtonPicture* cancel_ = nullptr;
};

}  // namespace kestrix
