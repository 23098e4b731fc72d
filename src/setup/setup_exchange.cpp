#include "setup_exchange.h"

#include "clock.h"
#include "nested_wait.h"
#include "second_deadline.h"
#include "setup_logging.h"
#include "serial_port.h"

SetupExchange::SetupExchange(const SetupContext &context)
    : link_(context.link),
      log_(context.log),
      reporters_(context.reporters),
      setupLink_(*context.link)
{
}

bool SetupExchange::portOpen() const
{
    return link_ && link_->port().isOpen();
}

void SetupExchange::log(const QString &line)
{
    if (log_)
        log_->addLine(line);
}

void SetupExchange::clearLog()
{
    if (log_)
        log_->clear();
}

void SetupExchange::message(const QString &text)
{
    reporters_.prompts->message(text);
}

void SetupExchange::showRealTimeStopped()
{
    reporters_.realTimeView->showRealTimeStopped(RealTimeStatusView::Field::MainWindow);
}

void SetupExchange::setCommandInProgress(bool on)
{
    if (link_)
        link_->flags().commandInProgress = on;
}

bool SetupExchange::suspend()
{
    // Once the setup log has gone, the lines go nowhere.
    return link_ && link_->suspendRealTime(Reporter<StatusLines>(log_.data()));
}

void SetupExchange::restore()
{
    if (link_)
        link_->restoreRealTime(Reporter<StatusLines>(log_.data()));
}

void SetupExchange::stopRealTimeIfOn(const QString &line)
{
    if (!link_ || !link_->flags().realTimeOn)
        return;
    link_->flags().realTimeWasOn = true;
    qCInfo(lcSetup) << "stopping real time for the sequence";
    if (!line.isEmpty())
        log(line);
    link_->realTimeSequences().stopRealTime();
    // A stop that fails lets go of the port; the command still owns it.
    setCommandInProgress(true);
}

Ack SetupExchange::ackAfter(bool received) const
{
    if (!portOpen())
        return Ack::Fault;
    return received ? Ack::Received : Ack::Missing;
}

Ack SetupExchange::attention()
{
    return ackAfter(setupLink_.setupHandshake());
}

Ack SetupExchange::attentionTwice()
{
    const Ack ack = attention();
    return ack == Ack::Missing ? attention() : ack;
}

Ack SetupExchange::openSet()
{
    const Ack ack = logIfMissing(attentionTwice(), QStringLiteral("Did not receive ACK 1"));
    if (ack != Ack::Received)
        return ack;
    return logIfMissing(word("SET"), QStringLiteral("Abort SET command"));
}

Ack SetupExchange::logIfMissing(Ack ack, const QString &line)
{
    if (ack == Ack::Missing)
        qCInfo(lcSetup).noquote() << "step not acknowledged:" << line;
    if (ack == Ack::Missing)
        log(line);
    return ack;
}

Ack SetupExchange::word(const QByteArray &word)
{
    if (!portOpen())
        return Ack::Fault;
    return ackAfter(setupLink_.sendWord(word));
}

Ack SetupExchange::parameter(quint8 value)
{
    qCDebug(lcSetup) << "parameter byte" << value;
    return writeAndAwaitAck(QByteArray(1, char(value)));
}

Ack SetupExchange::awaitAck()
{
    if (!portOpen())
        return Ack::Fault;
    return ackAfter(link_->waitForAckByte());
}

Ack SetupExchange::writeAndAwaitAck(const QByteArray &bytes)
{
    return write(bytes) ? awaitAck() : Ack::Fault;
}

bool SetupExchange::write(const QByteArray &bytes)
{
    return portOpen() && link_->port().write(bytes);
}

void SetupExchange::drain()
{
    while (bytesWaiting() > 0)
        link_->port().readByte();
}

void SetupExchange::pause(int ms)
{
    if (link_)
        link_->delay(ms);
}

bool SetupExchange::waitForBytes(int count, int seconds)
{
    if (!portOpen())
        return false;
    SerialPort &port = link_->port();
    const SecondDeadline deadline(link_->clock(), seconds);
    NestedWait wait(link_->clock(), link_);
    wait.alsoGuard(&port).wakeOn(&port, &SerialPort::readyRead);
    wait.wakeOn(&port, &SerialPort::deviceLost);
    const WaitEnd end = wait.until(deadline, [&port, count] {
        return !port.isOpen() || port.bytesAvailable() >= count;
    });
    if (end == WaitEnd::Deadline)
        qCInfo(lcSetup) << "waited" << seconds << "s for" << count << "bytes, got"
                        << port.bytesAvailable();
    return end == WaitEnd::Condition && port.isOpen() && port.bytesAvailable() >= count;
}

qint64 SetupExchange::bytesWaiting() const
{
    return portOpen() ? link_->port().bytesAvailable() : 0;
}

int SetupExchange::readByte()
{
    return portOpen() ? link_->port().readByte() : -1;
}
