#include "byte_stream_port.h"

#include "manual_clock.h"

#include <QIODevice>

ByteStreamPort::ByteStreamPort(QIODevice &source, ManualClock &clock, qint64 chunkSize,
                               QObject *parent)
    : SerialPort(parent), source_(source), clock_(clock), chunkSize_(qMax<qint64>(1, chunkSize))
{
}

bool ByteStreamPort::open(const QString &)
{
    open_ = true;
    return true;
}

void ByteStreamPort::close()
{
    open_ = false;
    buffer_.clear();
    readPos_ = 0;
    bufferChanged();
}

void ByteStreamPort::bufferChanged()
{
    data_ = reinterpret_cast<const uchar *>(buffer_.constData());
    end_ = buffer_.size();
}

bool ByteStreamPort::write(const QByteArray &)
{
    return open_;
}

bool ByteStreamPort::waitForReadyRead(int msec)
{
    if (fetchChunk())
        return true;
    clock_.advance(msec);
    return false;
}

bool ByteStreamPort::deliverNextChunk()
{
    if (!fetchChunk())
        return false;
    emit readyRead();
    return true;
}

bool ByteStreamPort::fetchChunk()
{
    if (!open_)
        return false;
    buffer_.remove(0, readPos_); // keep the buffer no larger than one chunk plus leftovers
    readPos_ = 0;
    const qint64 before = buffer_.size();
    buffer_.resize(before + chunkSize_);
    const qint64 got = source_.read(buffer_.data() + before, chunkSize_);
    buffer_.resize(before + qMax<qint64>(0, got));
    bufferChanged();
    return got > 0;
}
