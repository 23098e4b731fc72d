#pragma once

#include "serial_port.h"

#include <QByteArray>

class ManualClock;
class QIODevice;

// A serial port whose receive side is a byte stream (a capture file, standard input or a
// buffer), read a chunk at a time so that inputs far larger than memory pass through. Nothing
// sleeps: a blocking wait takes the next chunk if there is one, and otherwise moves the manual
// clock past the wait at once, so a header cut off at the end of input times out instantly.
// Writes go nowhere.
class ByteStreamPort final : public SerialPort {
    Q_OBJECT
public:
    static constexpr qint64 kDefaultChunkSize = 64 * 1024;

    ByteStreamPort(QIODevice &source, ManualClock &clock, qint64 chunkSize = kDefaultChunkSize,
                   QObject *parent = nullptr);

    bool open(const QString &deviceName) override;
    // Drops what was received and not yet read, as closing a real port does.
    void close() override;
    bool isOpen() const override { return open_; }
    qint64 bytesAvailable() const override { return end_ - readPos_; }
    int readByte() override
    {
        if (readPos_ >= end_)
            return -1;
        return data_[readPos_++];
    }
    bool write(const QByteArray &bytes) override;
    bool waitForReadyRead(int msec) override;
    QString errorString() const override { return {}; }

    // Moves the next chunk of the source into the receive buffer and emits readyRead. False,
    // with no signal, at the end of the source or while the port is closed.
    bool deliverNextChunk();

private:
    bool fetchChunk();
    void bufferChanged();

    QIODevice &source_;
    ManualClock &clock_;
    qint64 chunkSize_;
    QByteArray buffer_;
    qint64 readPos_ = 0;
    // buffer_'s bytes and size, kept at hand for readByte(), which runs for every byte
    const uchar *data_ = nullptr;
    qint64 end_ = 0;
    bool open_ = false;
};
