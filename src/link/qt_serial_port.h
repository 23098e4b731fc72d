#pragma once

#include "serial_port.h"

#include <QSerialPort>

// The real serial port: a QSerialPort with the monitor's fixed line settings.
//
// Opening applies 19200 baud, 8 data bits, no parity, 1 stop bit, no flow control and a read
// buffer of 1024 bytes, then turns DTR and RTS off as a best effort: a pseudo-terminal refuses
// those requests and the port still counts as open.
//
// A device that vanishes while open (the far end of a pseudo-terminal closed, a USB adapter
// pulled) makes QSerialPort report a read or resource error over and over until the port is
// closed. On the first such error the port counts as closed at once (isOpen() is false, reads,
// writes and waits do nothing), the QSerialPort itself is closed from the event loop right after
// (never from inside its own notification), and deviceLost() is emitted once.
class QtSerialPort final : public SerialPort {
    Q_OBJECT
public:
    explicit QtSerialPort(QObject *parent = nullptr);
    ~QtSerialPort() override;

    bool open(const QString &deviceName) override;
    void close() override;
    bool isOpen() const override;

    qint64 bytesAvailable() const override;
    int readByte() override;
    // Writes and flushes at once, so the bytes leave even when the caller then blocks without
    // processing events.
    bool write(const QByteArray &bytes) override;
    bool waitForReadyRead(int msec) override;

    QString errorString() const override { return errorString_; }

private:
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void finishDeviceLoss(quint64 session);
    void logArrivals(); // the byte log of what came in (orvotove.link.bytes)

    QSerialPort port_;
    QString errorString_;
    // Counts open() and close() calls, so that a deferred close meant for one session of the port
    // never touches a later one.
    quint64 session_ = 0;
    bool opening_ = false;
    bool lost_ = false;
    qint64 loggedUnread_ = 0; // bytes waiting in the buffer that the byte log has shown
};
