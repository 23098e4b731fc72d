#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// The serial line to the monitor, as the program uses it: open by device name with the fixed
// line settings, one byte read at a time, writes that go out at once, and a blocking wait that
// does not process events. QtSerialPort is the real one; tests use a double that feeds bytes,
// records writes and injects faults.
class SerialPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPort() override = default;

    // Opens the device with 19200 baud, no parity, 8 data bits, 1 stop bit, a receive buffer of
    // 1024 bytes, DTR and RTS off. False when the device cannot be opened.
    virtual bool open(const QString &deviceName) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Bytes received and not yet read.
    virtual qint64 bytesAvailable() const = 0;
    // Takes the next received byte (0 to 255), or -1 when none is waiting.
    virtual int readByte() = 0;
    // Sends the bytes now, as one write; false when the port is closed or the write failed.
    virtual bool write(const QByteArray &bytes) = 0;
    // Blocks, without processing events, until new bytes arrive or msec pass. Bytes already
    // waiting do not count: look at bytesAvailable() first.
    virtual bool waitForReadyRead(int msec) = 0;

    virtual QString errorString() const = 0;

signals:
    // New bytes have arrived.
    void readyRead();
    // The device vanished while open (adapter pulled, far end gone); the port is now closed.
    void deviceLost();
};
