#include "pages/UpgradeConfigDlg.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QStringList>
#include <QVBoxLayout>

#include "base/language.h"
#include "controls/TButtonPicture.h"
#include "pages/PageMessage.h"
#include "shell/Styling.h"
#include "shell/TranslateWidgets.h"

namespace kestrix {

namespace {

constexpr int kPathWidth = 300;
constexpr int kFieldHeight = 28;

QString Tr(const char* key) {
    return ToQString(TranslateText(key));
}

// The file dialog's filter from the language file's "name|pattern|...||"
// form to Qt's "name (pattern);;...".
QString QtFilter(const QString& pipes) {
    const QStringList parts = pipes.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& name = parts[i];
        filters << (name.contains(QLatin1Char('('))
                        ? name
                        : name + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

}  // namespace

CUpgradeConfigDlg::CUpgradeConfigDlg(const AppContext& context, std::vector<SelectedDevice> targets,
                                     std::shared_ptr<UpgradeLink> link,
                                     std::shared_ptr<FileServerControl> server, QWidget* parent)
    : CSkinDlg(context, "Device upgrade", parent),
      targets_(std::move(targets)),
      link_(std::move(link)),
      server_(std::move(server)),
      run_(*link_, *server_) {
    setObjectName(QStringLiteral("upgradeConfigDialog"));

    auto* form = new QGridLayout;
    form->setHorizontalSpacing(16);
    form->setVerticalSpacing(10);
    form->addWidget(MakeLabel("Type", "typeLabel"), 0, 0, Qt::AlignLeft | Qt::AlignVCenter);
    type_ = new QComboBox(this);
    type_->setObjectName(QStringLiteral("typeBox"));
    type_->setFixedHeight(kFieldHeight);
    // Model names are the devices' own, in every language.
    type_->setProperty("kxKeepText", true);
    for (const UpgradeTypeChoice& c : UpgradeTypeChoices(targets_))
        type_->addItem(QString::fromStdString(c.modelName), QVariant(int{c.type}));
    if (type_->count() > 0) type_->setCurrentIndex(0);
    form->addWidget(type_, 0, 1, 1, 2);

    form->addWidget(MakeLabel("ChooseFile", "chooseFileLabel"), 1, 0,
                    Qt::AlignLeft | Qt::AlignVCenter);
    path_ = new QLineEdit(this);
    path_->setObjectName(QStringLiteral("pathEdit"));
    path_->setFixedSize(kPathWidth, kFieldHeight);
    form->addWidget(path_, 1, 1);
    scan_ = MakeButton("Scan", "scan");
    form->addWidget(scan_, 1, 2);
    Body()->addLayout(form);

    progressLabel_ = MakeLabel("Upgrade file transfer progress", "progressLabel");
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("upgradeProgress"));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setFixedHeight(14);
    for (QWidget* w : {static_cast<QWidget*>(progressLabel_), static_cast<QWidget*>(progress_)}) {
        QSizePolicy keep = w->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        w->setSizePolicy(keep);
        w->hide();
    }
    Body()->addSpacing(4);
    Body()->addWidget(progressLabel_);
    Body()->addWidget(progress_);

    upgrade_ = MakeButton("Upgrade", "upgrade");
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(upgrade_);
    Body()->addLayout(row);

    connect(scan_, &QAbstractButton::clicked, this, [this] { OnScan(); });
    connect(upgrade_, &QAbstractButton::clicked, this, [this] { OnUpgrade(); });
    for (QTimer* t : {&groupTimer_, &transferTimer_, &rebootingTimer_, &statusTimer_})
        t->setInterval(kTimerMs);
    connect(&groupTimer_, &QTimer::timeout, this, [this] { OnGroupTimer(); });
    connect(&transferTimer_, &QTimer::timeout, this, [this] { OnTransferTimer(); });
    connect(&rebootingTimer_, &QTimer::timeout, this, [this] { OnRebootingTimer(); });
    connect(&statusTimer_, &QTimer::timeout, this, [this] { OnStatusViewTimer(); });

    TranslateDialog(this);
    setFixedSize(sizeHint().expandedTo(QSize(480, 0)));
}

CUpgradeConfigDlg::~CUpgradeConfigDlg() {
    StopWorker();
    run_.Stop();
}

void CUpgradeConfigDlg::OnScan() {
    QString chosen;
    if (chooser_) {
        chosen = chooser_();
    } else {
        chosen = QFileDialog::getOpenFileName(
            this, QString(), QString(), QtFilter(Tr("Files (*.bin)|*.bin|All files (*.*)|*.*||")));
    }
    if (!chosen.isEmpty()) path_->setText(chosen);
}

void CUpgradeConfigDlg::OnUpgrade() {
    if (run_.CurrentPhase() != UpgradeRun::Phase::kIdle) return;
    const std::string path = path_->text().toStdString();
    if (const RuleResult rule = CheckUpgradePath(path); !rule) {
        CPageMessage::Show(Context(), this, rule.kind, ToQString(rule.message));
        return;
    }
    if (!CPageMessage::Confirm(Context(), this, Tr("Are you sure you want to upgrade?"))) return;
    StartUpgrade(InspectUpgradeFile(path));
}

void CUpgradeConfigDlg::StartUpgrade(const UpgradeFile& file) {
    scan_->setEnabled(false);
    upgrade_->hide();
    progressLabel_->setText(Tr("Upgrade file transfer progress"));
    progressLabel_->show();
    progress_->show();
    const uint16_t type = static_cast<uint16_t>(type_->currentData().toInt());
    type_->setEnabled(false);
    path_->setEnabled(false);
    run_.Start(targets_, type, MakeUpgradeRequest(file), file.folder);
    StartWorker();
    Follow();
}

void CUpgradeConfigDlg::StartWorker() {
    StopWorker();
    QPointer<CUpgradeConfigDlg> self(this);
    worker_ = std::jthread([server = server_, wait = serverWait_, self](std::stop_token stop) {
        WaitForFileServer(*server, stop, wait);
        if (stop.stop_requested()) return;
        // The first group goes out on the user-interface thread, which owns
        // the run; the worker only waited.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self] {
                if (!self) return;
                self->run_.SendFirstGroup();
                self->Follow();
            },
            Qt::QueuedConnection);
    });
}

void CUpgradeConfigDlg::StopWorker() {
    if (!worker_.joinable()) return;
    worker_.request_stop();
    worker_.join();
}

void CUpgradeConfigDlg::OnGroupTimer() {
    run_.TickGroup();
    Follow();
}

void CUpgradeConfigDlg::OnTransferTimer() {
    run_.TickTransfer();
    Follow();
}

void CUpgradeConfigDlg::OnRebootingTimer() {
    run_.TickRebooting();
    Follow();
}

void CUpgradeConfigDlg::OnStatusViewTimer() {
    if (!statusView_) return;
    for (const SelectedDevice& d : run_.WatchList())
        statusView_(d.mac, link_->GetDeviceStatus(d.mac));
}

void CUpgradeConfigDlg::Follow() {
    const std::pair<QTimer*, UpgradeRun::Timer> timers[] = {
        {&groupTimer_, UpgradeRun::Timer::kGroup},
        {&transferTimer_, UpgradeRun::Timer::kTransfer},
        {&rebootingTimer_, UpgradeRun::Timer::kRebooting},
        {&statusTimer_, UpgradeRun::Timer::kStatusView},
    };
    for (const auto& [timer, which] : timers) {
        const bool on = run_.TimerRunning(which);
        if (on && !timer->isActive() && !manualTicks_) timer->start();
        if (!on && timer->isActive()) timer->stop();
    }
    if (run_.CurrentPhase() == UpgradeRun::Phase::kIdle) return;
    progress_->setRange(0, run_.ProgressMaximum());
    progress_->setValue(run_.ProgressValue());
    progressLabel_->setText(Tr(run_.ProgressTextKey()));
    if (run_.CloseRequested() && !closing_) {
        scan_->setEnabled(true);
        upgrade_->show();
        // The last statuses reach the page before the dialog goes.
        OnStatusViewTimer();
        accept();
    }
}

void CUpgradeConfigDlg::done(int result) {
    closing_ = true;
    StopWorker();
    run_.Stop();
    Follow();
    CSkinDlg::done(result);
}

}  // namespace kestrix
