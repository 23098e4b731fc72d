#include "monitor_link.h"

#include "byte_waits.h"
#include "link_logging.h"
#include "port_names.h"
#include "second_deadline.h"

#include "end_request.h"

#include <QPointer>

namespace {

constexpr int kOpenSettleMs = 500;
constexpr int kAckPauseMs = 140;
constexpr int kAckByteSeconds = 2;
constexpr int kHandshakeSeconds = 3;

const QString kInvalidPortQuestion =
    QStringLiteral("Invalid COM port. Would you like to search for available ports?");
// "ocurred" is kept as users know it: see docs/compatibility.md
const QString kHandshakeOpenFailed = QStringLiteral(
    "An error ocurred or the COM port could not be found. Correct the problem and try again.");
// The dots and the spellings of "Realtime" are kept as users know them: see docs/compatibility.md
const QString kRealTimeTurningOff = QStringLiteral("Realtime is ON..... now turning OFF");
const QString kRealTimeOff = QStringLiteral("Realtime is OFF");
const QString kRestoringRealTime = QStringLiteral("Restoring Real-Time back to its ON state.");

} // namespace

MonitorLink::MonitorLink(SerialPort &port, Clock &clock, Reporters reporters, QObject *parent)
    : QObject(parent),
      port_(port),
      clock_(clock),
      reporters_(std::move(reporters)),
      timer1_(clock.createTimer(this))
{
    timer1_->setSingleShot(true); // its tick only ends the delays waiting on it
    connect(timer1_.get(), &ClockTimer::timeout, this, [this] { ++timer1Ticks_; });
    connect(&port_, &SerialPort::deviceLost, this, &MonitorLink::onDeviceLost);
}

MonitorLink::~MonitorLink() = default;

void MonitorLink::showOpen()
{
    reporters_.portView->showPortOpen();
    emit portOpened();
}

void MonitorLink::showClosed()
{
    reporters_.portView->showPortClosed();
    emit portClosed();
}

void MonitorLink::onDeviceLost()
{
    // The port has closed itself; it stays closed until the next openPort.
    qCInfo(lcLink) << "port" << portNumber_ << "lost: shown closed";
    if (port_.isOpen())
        port_.close();
    showClosed();
}

bool MonitorLink::openPort()
{
    if (EndRequest::isPending())
        return false; // the program is ending: the port stays as the orderly end left it
    const bool wasOpen = port_.isOpen();
    if (wasOpen)
        port_.close();

    const QString device = PortNames::deviceForPort(portNumber_);
    const bool ok = !device.isEmpty() && port_.open(device);
    qCInfo(lcLink).noquote() << "port" << portNumber_ << (ok ? "opened on" : "not opened:")
                             << (device.isEmpty() ? QStringLiteral("no device") : device);
    if (ok) {
        showOpen();
        const WaitEnd settled = delay(kOpenSettleMs);
        if (settled != WaitEnd::Condition)
            return false; // this object is gone, or the program is ending: no question
        // The wait handled events: the device may have gone, or a handler closed the port.
        if (port_.isOpen())
            return true;
        qCInfo(lcLink) << "port" << portNumber_ << "closed again while settling";
    } else if (wasOpen) {
        // Step 1 closed the port the fields still show open.
        showClosed();
    }
    // The question runs its own event loop, which may destroy this object: only locals after it.
    const ReporterAction searchForPorts = reporters_.searchForPorts;
    if (reporters_.prompts->askYesNo(kInvalidPortQuestion))
        searchForPorts();
    return false;
}

void MonitorLink::closePort()
{
    if (port_.isOpen())
        port_.close();
    showClosed();
}

WaitEnd MonitorLink::delay(int ms)
{
    const quint64 ticksBefore = timer1Ticks_;
    timer1_->start(qMax(0, ms));
    NestedWait wait(clock_, this);
    wait.wakeOn(timer1_.get(), &ClockTimer::timeout);
    // After GuardDestroyed nothing of this object may be touched: the condition is not run.
    return wait.untilCondition([this, ticksBefore] { return timer1Ticks_ != ticksBefore; });
}

bool MonitorLink::waitForAckByte()
{
    const SecondDeadline deadline(clock_, kAckByteSeconds);
    if (!waitForByteBlocking(port_, deadline)) {
        qCDebug(lcLink) << "no acknowledgement within" << kAckByteSeconds << "s";
        return false;
    }
    const int byte = port_.readByte();
    qCDebug(lcLink) << (byte == kAttentionByte ? "acknowledged" : "not acknowledged, got") << byte;
    return byte == kAttentionByte;
}

bool MonitorLink::exchangeAttentionByte()
{
    const QPointer<SerialPort> port(&port_);
    Clock &clock = clock_;
    const SecondDeadline deadline(clock, kHandshakeSeconds);
    while (port->bytesAvailable() > 0)
        port->readByte();
    port->write(QByteArray(1, char(kAttentionByte)));
    if (!waitForByteProcessingEvents(*port, clock, deadline)) {
        qCInfo(lcLink) << "handshake: no answer to the attention byte";
        return false;
    }
    const bool answered = port && port->readByte() == kAttentionByte;
    qCInfo(lcLink) << "handshake:" << (answered ? "answered" : "wrong answer or port gone");
    return answered;
}

bool MonitorLink::handshake()
{
    if (!port_.isOpen()) {
        // openPort may end with this object destroyed: only locals when it fails.
        const Reporter<StatusLines> statusLog = reporters_.statusLog;
        if (!openPort()) {
            qCInfo(lcLink) << "handshake: port could not be opened";
            statusLog->addLine(kHandshakeOpenFailed);
            return false;
        }
    }
    return exchangeAttentionByte();
}

void MonitorLink::writeCommandWord(const QByteArray &word)
{
    // First, second and last character, each as its own write: the word must have three.
    if (word.isEmpty())
        return;
    qCDebug(lcLink).noquote() << "command word" << word;
    port_.write(word.left(1));
    if (word.size() > 1)
        port_.write(word.mid(1, 1));
    port_.write(word.right(1));
}

bool MonitorLink::sendWord(const QByteArray &word, bool waitForAck)
{
    writeCommandWord(word);
    if (waitForAck && waitForAckByte())
        delay(kAckPauseMs); // nothing of this object is touched after it
    return true;
}

bool MonitorLink::suspendRealTime(StatusLines &window)
{
    const Reporter<StatusLines> lines(&window);
    if (!port_.isOpen() && !openPort())
        return false;
    qCInfo(lcLink) << "suspending real time for a command; real time on:" << flags_.realTimeOn;
    if (flags_.realTimeOn) {
        flags_.realTimeWasOn = true;
        lines->addLine(kRealTimeTurningOff);
        // The stop sequence waits on its own guard: this object may go meanwhile.
        const QPointer<MonitorLink> self(this);
        sequences_->stopRealTime();
        if (!self)
            return false;
    } else {
        flags_.realTimeWasOn = false;
    }
    flags_.commandInProgress = true;
    lines->addLine(kRealTimeOff);
    return true;
}

void MonitorLink::restoreRealTime(StatusLines &window)
{
    const Reporter<StatusLines> lines(&window);
    qCInfo(lcLink) << "command done; restarting real time:" << flags_.realTimeWasOn;
    if (flags_.realTimeWasOn) {
        lines->addLine(kRestoringRealTime);
        const QPointer<MonitorLink> self(this);
        sequences_->startRealTime();
        if (!self)
            return;
    }
    flags_.commandInProgress = false;
}

template <>
RealTimeSequences &doNothingReporter<RealTimeSequences>()
{
    class NoSequences final : public RealTimeSequences {
    public:
        void startRealTime() override {}
        void stopRealTime() override {}
    };
    static NoSequences none;
    return none;
}
