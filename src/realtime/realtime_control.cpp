#include "realtime_control.h"

#include "data_server_control.h"
#include "monitor_link.h"
#include "radio_discovery.h"
#include "realtime_logging.h"
#include "realtime_status_view.h"
#include "second_deadline.h"
#include "status_lines.h"
#include "user_prompts.h"

#include <QEventLoop>
#include <QPointer>

namespace {

constexpr int kLinkUsbCable = 8;
constexpr int kSettleAfterOpenMs = 1000;
constexpr int kPauseBetweenWordsMs = 40;
constexpr int kFirstBytesSeconds = 3;

const QString kNoMethod = QStringLiteral(
    "A communication method has not been selected. Select method before proceeding.");
// "occured" is kept as users know it: see docs/compatibility.md
const QString kStartFailed = QStringLiteral("An error occured while attempting to start "
                                            "Real-Time data. Please verify your COM port or "
                                            "connection");

} // namespace

RealTimeControl::RealTimeControl(MonitorLink &link, RadioDiscovery &discovery,
                                 RealTimeServices services, QObject *parent)
    : QObject(parent), link_(link), discovery_(discovery), services_(std::move(services))
{
}

bool RealTimeControl::runPreamble()
{
    qCInfo(lcRealTime) << "link method" << linkMethod_
                       << "radio node found:" << discovery_.radioNodeFound();
    if (linkMethod_ == 0) {
        if (services_.prompts)
            services_.prompts->message(kNoMethod);
        if (services_.openCommunicationPanel)
            services_.openCommunicationPanel();
        return false;
    }
    if (!discovery_.radioNodeFound()) {
        if (linkMethod_ == kLinkUsbCable)
            discovery_.setRadioNodeFound();
        else if (linkMethod_ == 1 || linkMethod_ == 2)
            discovery_.discoverRadioNode(linkMethod_);
    }
    return true; // the sequence goes on whatever discovery found
}

void RealTimeControl::openServerIfListening()
{
    if (startupListen_ && services_.server)
        services_.server->openServer();
}

void RealTimeControl::showRealTime(bool active)
{
    if (!services_.view)
        return;
    for (const auto field : {RealTimeStatusView::Field::MainWindow,
                             RealTimeStatusView::Field::WebForm}) {
        if (active)
            services_.view->showRealTimeActive(field);
        else
            services_.view->showRealTimeStopped(field);
    }
}

void RealTimeControl::release()
{
    link_.flags().commandInProgress = false;
    emit portReleased();
}

void RealTimeControl::failStart()
{
    qCInfo(lcRealTime) << "start failed";
    if (services_.prompts)
        services_.prompts->message(kStartFailed);
}

bool RealTimeControl::acknowledgeAttention()
{
    // Some monitors sleep through the first attention byte: a second one wakes them.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!link_.port().write(QByteArray(1, char(MonitorLink::kAttentionByte))))
            continue;
        if (link_.waitForAckByte())
            return true;
        qCInfo(lcRealTime) << "start: attention byte" << attempt + 1 << "not acknowledged";
    }
    return false;
}

bool RealTimeControl::sendStartWord(const char *word, const char *failureLine)
{
    link_.port().write(QByteArray(word)); // one write of the three letters
    if (link_.waitForAckByte())
        return true;
    qCInfo(lcRealTime) << "start: word" << word << "not acknowledged";
    if (services_.statusLog)
        services_.statusLog->addLine(QString::fromLatin1(failureLine));
    release();
    return false;
}

bool RealTimeControl::startStream()
{
    link_.flags().commandInProgress = true;
    if (!acknowledgeAttention()) {
        if (services_.statusLog) {
            services_.statusLog->clear();
            services_.statusLog->addLine(QStringLiteral("No response from Acknowledge command"));
        }
        release();
        return false;
    }
    return sendStartWord("TOG", "No response from Request command") &&
           sendStartWord("PLR", "Error turning Real-Time ON");
}

// For three seconds, shows real time active as soon as bytes arrive; the bytes stay in the
// buffer for the receiver, which the command still keeps away from them.
void RealTimeControl::watchFirstBytes()
{
    const QPointer<RealTimeControl> self(this);
    SerialPort &port = link_.port();
    const SecondDeadline deadline(link_.clock(), kFirstBytesSeconds);
    while (port.bytesAvailable() > 0)
        port.readByte();

    QEventLoop loop;
    const auto onBytes = [this, &port] {
        if (port.bytesAvailable() == 0)
            return;
        qCDebug(lcRealTime) << "first bytes of the stream arrived";
        openServerIfListening();
        if (services_.view)
            showRealTime(true);
    };
    connect(&port, &SerialPort::readyRead, &loop, onBytes);
    const auto wake = link_.clock().createTimer();
    wake->setSingleShot(true);
    connect(wake.get(), &ClockTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    while (self && !deadline.reached()) {
        wake->start(deadline.msecUntil());
        loop.exec();
    }
}

void RealTimeControl::startRealTime()
{
    qCInfo(lcRealTime) << "start real time";
    const QPointer<RealTimeControl> self(this);
    if (!runPreamble() || !self)
        return;
    const bool opened = link_.openPort();
    if (!self)
        return;
    if (opened)
        link_.delay(kSettleAfterOpenMs);
    if (!self)
        return;
    qCInfo(lcRealTime) << "start: port opened:" << opened;
    if (!opened || !link_.port().isOpen() || !startStream()) {
        failStart();
        return;
    }
    if (services_.statusLog) {
        services_.statusLog->clear();
        services_.statusLog->addLine(QStringLiteral("Real-Time is ON"));
    }
    qCInfo(lcRealTime) << "start: stream requested, watching for its first bytes";
    openServerIfListening();
    watchFirstBytes();
    if (!self)
        return;
    link_.flags().realTimeOn = true;
    qCInfo(lcRealTime) << "start: real time on";
    release();
    openServerIfListening();
}

void RealTimeControl::stopRealTime()
{
    qCInfo(lcRealTime) << "stop real time";
    const QPointer<RealTimeControl> self(this);
    if (!runPreamble() || !self)
        return;
    link_.flags().commandInProgress = true;
    bool answered = link_.handshake();
    if (self && !answered)
        answered = link_.handshake();
    if (!self)
        return;
    qCInfo(lcRealTime) << "stop: handshake answered:" << answered;
    if (!answered) {
        if (services_.statusLog) {
            services_.statusLog->clear();
            services_.statusLog->addLine(
                QStringLiteral("Unsuccessful in receiving response from Orvo-88. Try again."));
        }
        release();
        return;
    }
    link_.sendWord("TOG", true);
    if (self)
        link_.delay(kPauseBetweenWordsMs);
    if (self)
        link_.sendWord("OFF", true);
    if (!self)
        return;
    qCInfo(lcRealTime) << "stop: TOG and OFF sent";
    if (services_.statusLog)
        services_.statusLog->addLine(QStringLiteral("Real Time has been disabled successfully."));
    showRealTime(false);
    // The port stays with the command until the next start: the receiver leaves it alone, and
    // the watchdog notices within three ticks that data has stopped.
}
