#include "setup_window.h"

#include "acquisition_core.h"
#include "setup_log_list.h"

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

namespace {

struct CtPreset {
    int type;
    int range;
};
// Option1 to Option4: "SPLIT-60 CT", "SPLIT-100 or CLAMP-100", "SPLIT-150", "SPLIT-200 or CLAMP-200".
constexpr std::array<CtPreset, 4> kPresets{{{100, 5}, {167, 5}, {175, 5}, {167, 4}}};

const QString kDeletePreResets = QStringLiteral(
    "Are you sure you want to delete these values? Deleting these will cause your web server "
    "data to corrupt. This should only be used initialy before starting a new web server "
    "account.");

} // namespace

SetupWindow::SetupWindow(AcquisitionCore &core, QWidget *parent)
    : QMainWindow(parent),
      context_(core.setupContext()),
      core_(&core),
      server_(&core.server())
{
    setObjectName(QStringLiteral("Orvo_Util"));
    setWindowTitle(QStringLiteral("Orvo-88 Utility"));
    setAttribute(Qt::WA_DeleteOnClose);
    core.setupLog().clear(); // a window that opens starts with an empty status list
    w_ = buildSetupWidgets(*this, core.setupLog());
    QAction *exit = menuBar()->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("MnuExit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);
    connectControls();
}

SetupWindow::~SetupWindow() = default;

void SetupWindow::connectControls()
{
    const auto onClick = [this](int n, auto slot) {
        connect(w_.command.at(n), &QPushButton::clicked, this, slot);
    };
    onClick(1, [this] { acceptCt(1); });
    onClick(2, [this] { acceptCt(2); });
    onClick(3, [this] { acceptInterval(); });
    onClick(4, [this] { acceptPt(); });
    onClick(5, [this] { close(); });
    onClick(6, [this] { readSettings(); });
    onClick(7, [this] { acceptDeviceId(); });
    onClick(8, [this] { readSerialNumber(); });
    onClick(9, [this] { sendAcknowledge(); });
    onClick(10, [this] { resetMonitor(); });
    onClick(11, [this] { resetPreResetValues(); });
    onClick(12, [this] { connectTestServer(); });
    onClick(13, [this] { disconnectTestServer(); });
    onClick(14, [this] { showTestServerState(); });
    onClick(15, [this] { togglePolarity(1); });
    onClick(16, [this] { togglePolarity(2); });
    for (int n = 1; n <= 4; ++n) {
        const CtPreset preset = kPresets.at(n - 1);
        connect(w_.option.at(n), &QRadioButton::clicked, this,
                [this, preset] { refreshCt(preset.type, preset.range); });
    }
}

void SetupWindow::refreshCt(int type, int range)
{
    w_.text[1]->setText(QString::number(type));
    w_.text[3]->setText(QString::number(type));
    w_.text[2]->setText(QString::number(range));
    w_.text[4]->setText(QString::number(range));
}

void SetupWindow::resetPreResetValues()
{
    if (!context_.reporters.prompts->askYesNo(kDeletePreResets) || !core_)
        return;
    // In memory only: the next save of the settings writes them. Today's energy in the live
    // readings starts again from the new counters.
    core_->clearPreResetValues();
}

void SetupWindow::connectTestServer()
{
    if (server_ && server_->listenOn(testPort_))
        setWindowTitle(QStringLiteral("TCP Server : Listening"));
}

void SetupWindow::disconnectTestServer()
{
    if (!server_)
        return;
    const ServerState state = server_->state();
    if (state != ServerState::Connected && state != ServerState::Listening)
        return;
    server_->closeNow();
    setWindowTitle(QStringLiteral("TCP Server Closed"));
}

void SetupWindow::showTestServerState()
{
    if (server_)
        setWindowTitle(QString::number(int(server_->state())));
}
