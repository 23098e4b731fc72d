#include "monitor_link.h"

#include "byte_waits.h"
#include "link_logging.h"
#include "port_names.h"
#include "second_deadline.h"

#include <QEventLoop>

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

MonitorLink::MonitorLink(SerialPort &port, Clock &clock, LinkReporters reporters, QObject *parent)
    : QObject(parent),
      port_(port),
      clock_(clock),
      statusLog_(reporters.statusLog),
      portView_(reporters.portView),
      prompts_(reporters.prompts),
      searchForPorts_(std::move(reporters.searchForPorts)),
      timer1_(clock.createTimer(this))
{
    timer1_->setSingleShot(true); // its tick only stops it
    connect(&port_, &SerialPort::deviceLost, this, &MonitorLink::onDeviceLost);
}

MonitorLink::~MonitorLink() = default;

void MonitorLink::showOpen()
{
    if (portView_)
        portView_->showPortOpen();
    emit portOpened();
}

void MonitorLink::showClosed()
{
    if (portView_)
        portView_->showPortClosed();
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
    const QPointer<MonitorLink> self(this);
    const bool wasOpen = port_.isOpen();
    if (wasOpen)
        port_.close();

    const QString device = PortNames::deviceForPort(portNumber_);
    bool ok = !device.isEmpty() && port_.open(device);
    qCInfo(lcLink).noquote() << "port" << portNumber_ << (ok ? "opened on" : "not opened:")
                             << (device.isEmpty() ? QStringLiteral("no device") : device);
    if (ok) {
        showOpen();
        if (!self)
            return false;
        delay(kOpenSettleMs);
        if (!self)
            return false;
        // The wait handled events: the device may have gone, or a handler closed the port.
        ok = port_.isOpen();
        if (!ok)
            qCInfo(lcLink) << "port" << portNumber_ << "closed again while settling";
    } else if (wasOpen) {
        // Step 1 closed the port the fields still show open.
        showClosed();
        if (!self)
            return false;
    }
    if (ok)
        return true;

    const bool search = prompts_ && prompts_->askYesNo(kInvalidPortQuestion);
    if (!self)
        return false;
    if (search && searchForPorts_) {
        const auto searchForPorts = searchForPorts_; // may outlive this object
        searchForPorts();
    }
    return false;
}

void MonitorLink::closePort()
{
    if (port_.isOpen())
        port_.close();
    showClosed();
}

void MonitorLink::delay(int ms)
{
    QEventLoop loop;
    connect(timer1_.get(), &ClockTimer::timeout, &loop, &QEventLoop::quit);
    // Should this object go during the wait, its timer goes with it and never fires.
    connect(timer1_.get(), &QObject::destroyed, &loop, &QEventLoop::quit);
    timer1_->start(qMax(0, ms));
    loop.exec();
    // Nothing of this object may be touched here: it may have been destroyed meanwhile.
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
    const QPointer<MonitorLink> self(this);
    if (!port_.isOpen()) {
        const bool opened = openPort();
        if (!self)
            return false;
        if (!opened) {
            qCInfo(lcLink) << "handshake: port could not be opened";
            if (statusLog_)
                statusLog_->addLine(kHandshakeOpenFailed);
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
        delay(kAckPauseMs);
    return true;
}

bool MonitorLink::suspendRealTime(StatusLines &window)
{
    const QPointer<MonitorLink> self(this);
    const WatchedPtr<StatusLines> lines(&window);
    if (!port_.isOpen()) {
        const bool opened = openPort();
        if (!self || !opened)
            return false;
    }
    qCInfo(lcLink) << "suspending real time for a command; real time on:" << flags_.realTimeOn;
    if (flags_.realTimeOn) {
        flags_.realTimeWasOn = true;
        if (lines)
            lines->addLine(kRealTimeTurningOff);
        if (sequences_)
            sequences_->stopRealTime();
        if (!self)
            return false;
    } else {
        flags_.realTimeWasOn = false;
    }
    flags_.commandInProgress = true;
    if (lines)
        lines->addLine(kRealTimeOff);
    return true;
}

void MonitorLink::restoreRealTime(StatusLines &window)
{
    const QPointer<MonitorLink> self(this);
    const WatchedPtr<StatusLines> lines(&window);
    qCInfo(lcLink) << "command done; restarting real time:" << flags_.realTimeWasOn;
    if (flags_.realTimeWasOn) {
        if (lines)
            lines->addLine(kRestoringRealTime);
        if (sequences_)
            sequences_->startRealTime();
        if (!self)
            return;
    }
    flags_.commandInProgress = false;
}
