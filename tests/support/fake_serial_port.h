#pragma once

#include "serial_port.h"

#include <QByteArray>
#include <QList>

#include <functional>

class ManualClock;

// A serial port double. Bytes "arrive" in flight and are delivered either by the event loop
// (with a readyRead, as a real port does) or at once by a blocking wait. Writes are recorded
// one per call; a responder may answer them, as the monitor would.
class FakeSerialPort final : public SerialPort {
    Q_OBJECT
public:
    explicit FakeSerialPort(ManualClock *clock = nullptr, QObject *parent = nullptr);

    bool open(const QString &deviceName) override;
    void close() override;
    bool isOpen() const override { return open_; }
    qint64 bytesAvailable() const override { return rx_.size(); }
    int readByte() override;
    bool write(const QByteArray &bytes) override;
    bool waitForReadyRead(int msec) override;
    QString errorString() const override { return errorString_; }

    // Bytes that arrive from the device: delivered by the event loop with a readyRead, or by
    // the next blocking wait, whichever comes first.
    void arrive(const QByteArray &bytes);
    // Bytes already sitting in the receive buffer, with no readyRead.
    void preload(const QByteArray &bytes) { rx_ += bytes; }
    // The device vanishes: the port closes and deviceLost is emitted.
    void loseDevice();

    // Called for every write with the bytes written; typically calls arrive() with a reply.
    std::function<void(const QByteArray &)> responder;
    bool failOpen = false;
    // When given, only the devices it accepts open (a port search over many names).
    std::function<bool(const QString &)> deviceExists;

    QList<QByteArray> writes;     // one entry per write call
    QByteArray written() const;   // all writes joined
    QString lastDevice;
    int openCount = 0;
    int closeCount = 0;
    int blockingWaits = 0;

private:
    void deliverInFlight();

    ManualClock *clock_;
    bool open_ = false;
    QByteArray rx_;
    QList<QByteArray> inFlight_;
    QString errorString_;
};
