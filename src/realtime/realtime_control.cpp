#include "realtime_control.h"

#include "data_server_control.h"
#include "end_request.h"
#include "monitor_link.h"
#include "radio_discovery.h"
#include "realtime_logging.h"
#include "second_deadline.h"

#include <QPointer>

namespace {

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
                                 DataServerControl *server, Reporters reporters, QObject *parent)
    : QObject(parent),
      link_(link),
      discovery_(discovery),
      server_(server),
      reporters_(std::move(reporters))
{
}

bool RealTimeControl::runPreamble()
{
    qCInfo(lcRealTime) << "link method" << int(linkMethod_)
                       << "radio node found:" << discovery_.radioNodeFound();
    if (linkMethod_ == LinkMethod::None) {
        reporters_.prompts->message(kNoMethod);
        reporters_.openCommunicationPanel();
        return false;
    }
    if (!discovery_.radioNodeFound()) {
        if (linkMethod_ == LinkMethod::UsbCable)
            discovery_.setRadioNodeFound();
        else if (isRadioDongle(linkMethod_))
            discovery_.discoverRadioNode(int(linkMethod_));
    }
    return true; // the sequence goes on whatever discovery found
}

void RealTimeControl::openServerIfListening()
{
    if (startupListen_)
        server_->openServer();
}

void RealTimeControl::showRealTime(bool active)
{
    for (const auto field : {RealTimeStatusView::Field::MainWindow,
                             RealTimeStatusView::Field::WebForm}) {
        if (active)
            reporters_.realTimeView->showRealTimeActive(field);
        else
            reporters_.realTimeView->showRealTimeStopped(field);
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
    reporters_.prompts->message(kStartFailed);
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
    reporters_.statusLog->addLine(QString::fromLatin1(failureLine));
    release();
    return false;
}

bool RealTimeControl::startStream()
{
    link_.flags().commandInProgress = true;
    if (!acknowledgeAttention()) {
        reporters_.statusLog->clear();
        reporters_.statusLog->addLine(QStringLiteral("No response from Acknowledge command"));
        release();
        return false;
    }
    return sendStartWord("TOG", "No response from Request command") &&
           sendStartWord("PLR", "Error turning Real-Time ON");
}

// For three seconds, shows real time active as soon as bytes arrive; the bytes stay in the
// buffer for the receiver, which the command still keeps away from them. Deadline is the
// ordinary end.
WaitEnd RealTimeControl::watchFirstBytes()
{
    SerialPort &port = link_.port();
    const SecondDeadline deadline(link_.clock(), kFirstBytesSeconds);
    while (port.bytesAvailable() > 0)
        port.readByte();

    const QObject watching; // the bytes are watched only while the wait lasts
    connect(&port, &SerialPort::readyRead, &watching, [this, &port] {
        if (port.bytesAvailable() == 0)
            return;
        qCDebug(lcRealTime) << "first bytes of the stream arrived";
        openServerIfListening();
        showRealTime(true);
    });
    return NestedWait(link_.clock(), this).until(deadline, {});
}

void RealTimeControl::startRealTime()
{
    qCInfo(lcRealTime) << "start real time";
    if (EndRequest::isPending())
        return; // the program is ending: an interrupted command does not restart the stream
    // The preamble, the port's opening and its pause wait on other objects' guards.
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
    qCInfo(lcRealTime) << "start: stream requested, watching for its first bytes";
    reporters_.statusLog->clear();
    reporters_.statusLog->addLine(QStringLiteral("Real-Time is ON"));
    openServerIfListening();
    if (watchFirstBytes() != WaitEnd::Deadline)
        return; // this object is gone, or the program is ending
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
        reporters_.statusLog->clear();
        reporters_.statusLog->addLine(
            QStringLiteral("Unsuccessful in receiving response from Orvo-88. Try again."));
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
    reporters_.statusLog->addLine(QStringLiteral("Real Time has been disabled successfully."));
    showRealTime(false);
    // The port stays with the command until the next start: the receiver leaves it alone, and
    // the watchdog notices within three ticks that data has stopped.
}

template <>
DataServerControl &doNothingReporter<DataServerControl>()
{
    class NoServer final : public DataServerControl {
    public:
        void openServer() override {}
        bool isServerClosed() const override { return false; }
    };
    static NoServer none;
    return none;
}
