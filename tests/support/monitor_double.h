#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QStringList>

class FakeSerialPort;

inline const QByteArray kAck(1, char(0xFC)); // the attention byte and the acknowledgement

// The monitor's side of the link on a FakeSerialPort, with scripted faults. Everything it takes
// lands in the transcript as a token: "FC" for an attention byte, the word for a command word
// ("TOG", "SET", or "SS" for a letter sent twice, as the serial-number request does), "WORD:n"
// for a parameter byte n of a word. Each token is answered with `ack` unless told otherwise.
class MonitorDouble {
public:
    explicit MonitorDouble(FakeSerialPort &port);

    QByteArray ack = kAck;              // the answer to each token; empty answers nothing
    int attentionsToIgnore = 0;         // the first this many attention bytes go unanswered
    bool mute = false;                  // answers nothing at all
    QSet<QString> silent;               // tokens left unanswered
    QHash<QString, QByteArray> replies; // bytes that follow a token's answer
    QString loseDeviceOn;               // the port vanishes when this token comes
    QStringList transcript;

    QStringList words() const;          // the command words of the transcript, in order
    int attentions() const { return int(transcript.count(QStringLiteral("FC"))); }

private:
    void take(int byte);
    void takeWord(const QString &word);
    void answer(const QString &token);

    FakeSerialPort &port_;
    QString word_;
    QString paramWord_;
    int paramsLeft_ = 0;
};
