#pragma once

#include <QObject>

#include <functional>

class Clock;
class PacketDecoder;
class SerialPort;
class StatusLines;
struct LinkFlags;

// Takes the real-time stream off the serial port one byte at a time: finds the header
// FE FF 01 and hands every byte after it to the decoder.
//
// A real port raises one readyRead per arriving chunk, and a byte already buffered raises none,
// so the handler reads until the buffer is empty instead of one byte per signal. The decoder's
// callbacks may process events, and a blocking wait of the port may emit readyRead from inside;
// a readyRead that comes while the handler runs is ignored because the running handler reads on
// until the buffer is empty. Every byte so reaches the decoder once and in arrival order.
//
// While a command exchange owns the port (LinkFlags::commandInProgress) no byte is read; the
// owner of the flag calls drain() after clearing it so that what is left in the buffer is
// handled without waiting for the next arrival.
class PacketReceiver : public QObject {
    Q_OBJECT
public:
    PacketReceiver(SerialPort &port, Clock &clock, const LinkFlags &flags, PacketDecoder &decoder,
                   StatusLines &log, QObject *parent = nullptr);

    // Closes and reopens the serial port; used when a packet runs away without ending. The
    // serial session supplies it.
    void setPortReopener(std::function<void()> reopen) { reopenPort_ = std::move(reopen); }

    // Handles every byte waiting in the port's buffer (unless a command owns the port). Safe to
    // call from anywhere, also from inside the handler, where it does nothing.
    void drain() { receiveAvailable(); }

private:
    // [ReceiveHandler]
    void receiveAvailable();
    void restartLine();
    void searchHeader(quint8 b);
    // Waits, without processing events, up to two seconds for the next header byte.
    bool readHeaderByte(int &b);
    void logHeaderFound();

    SerialPort &port_;
    Clock &clock_;
    const LinkFlags &flags_;
    PacketDecoder &decoder_;
    StatusLines &log_;
    std::function<void()> reopenPort_;
    bool handling_ = false;
    qint64 headerSearchBytes_ = 0; // taken by the header search since the last header (for the log)
};
