#pragma once

#include "packet_encoder.h"

#include <QByteArray>
#include <QString>
#include <QTest>

#include <fcntl.h>
#include <functional>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace simtest {

inline const QByteArray FC("\xFC", 1);
inline const QByteArray kHeader("\xFE\xFF\x01", 3);
constexpr int kWaitMs = 4000;

// The program's end of the simulator's terminal, opened as a serial port would be.
class TerminalEnd {
public:
    explicit TerminalEnd(const QString &path)
        : fd_(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios settings{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &settings) == 0) {
            ::cfmakeraw(&settings);
            ::cfsetspeed(&settings, B19200);
            ::tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~TerminalEnd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TerminalEnd(const TerminalEnd &) = delete;
    TerminalEnd &operator=(const TerminalEnd &) = delete;

    bool isOpen() const { return fd_ >= 0; }
    bool send(const QByteArray &bytes) { return ::write(fd_, bytes.constData(), size_t(bytes.size())) == bytes.size(); }

    // Everything that has arrived so far.
    QByteArray take()
    {
        char buffer[512];
        ssize_t n = 0;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0)
            received_.append(buffer, n);
        return std::exchange(received_, {});
    }

    // Collects until the condition holds for what has arrived, or the time is up.
    bool collectUntil(QByteArray &collected, const std::function<bool(const QByteArray &)> &done, int ms = kWaitMs)
    {
        return QTest::qWaitFor([&] {
            collected += take();
            return done(collected);
        }, ms);
    }

private:
    int fd_;
    QByteArray received_;
};

inline bool holdsValidPacket(const QByteArray &bytes)
{
    const qsizetype at = bytes.indexOf(kHeader);
    if (at < 0 || bytes.size() - at < packet::kSize)
        return false;
    const QByteArray packet = bytes.mid(at, packet::kSize);
    return packetCheckByte(packet.mid(packet::kBodyOffset, packet::kBodySize)) == quint8(packet.back());
}

// Sends the bytes and expects exactly this reply, with nothing after it for a moment.
inline void expectReply(TerminalEnd &end, const QByteArray &sent, const QByteArray &expected)
{
    QVERIFY(end.send(sent));
    QByteArray reply;
    QVERIFY2(end.collectUntil(reply, [&](const QByteArray &r) { return r.size() >= expected.size(); }),
             sent.toHex(' ').constData());
    QTest::qWait(50);
    reply += end.take();
    QCOMPARE(reply.toHex(' '), expected.toHex(' '));
}

// Sends a word and expects the acknowledge byte alone in reply.
inline void expectAck(TerminalEnd &end, const QByteArray &word)
{
    expectReply(end, word, FC);
}

} // namespace simtest
