#pragma once

#include <QByteArray>
#include <QSet>
#include <QStringList>

class FakeSerialPort;

// The monitor's side of the handshake on a FakeSerialPort, with scripted faults: it echoes the
// attention byte and acknowledges three-letter words with 0xFC, except where told not to.
class ScriptedMonitor {
public:
    explicit ScriptedMonitor(FakeSerialPort &port);

    int attentionsToIgnore = 0;     // the first this many attention bytes go unanswered
    bool mute = false;              // answers nothing at all
    QSet<QByteArray> silentWords;   // words left without an acknowledgement
    QByteArray replyToPlr;          // bytes that follow the "PLR" acknowledgement (a stream)

    QList<QByteArray> words;        // every complete word received, in order
    int attentions = 0;             // attention bytes received

private:
    void take(const QByteArray &bytes);
    void takeByte(char c);

    FakeSerialPort &port_;
    QByteArray word_;
};
