#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSet>

#include <vector>

// What the simulated monitor does wrong on purpose, to exercise the program's failure paths.
struct ProtocolFaults {
    bool noAck = false;              // a dead line: nothing is acknowledged or acted on
    bool ackSecondAttention = false; // every other attention byte goes unanswered
    QSet<QByteArray> mutedWords;     // command words that are neither acknowledged nor acted on
};

// The monitor's side of the command handshake, one byte at a time and free of any I/O, so that
// the byte stream can be fed in arbitrary pieces. An attention byte opens an exchange and is
// echoed; inside an exchange, three-letter command words are recognised wherever they end in
// the byte stream, so stray bytes before a word do not hide it. Each recognised word is
// acknowledged with the attention byte.
class MonitorProtocol {
public:
    static constexpr char kAttention = static_cast<char>(0xFC);

    explicit MonitorProtocol(ProtocolFaults faults = {});

    // Interprets the bytes and returns what the monitor answers.
    QByteArray receive(QByteArrayView bytes);

    // The host gave up half-way; the monitor returns to its resting state.
    void abandonExchange();

    bool isStreaming() const { return streaming_; }
    void setStreaming(bool on) { streaming_ = on; }
    // While an exchange is open the monitor keeps the line quiet, so that the host's next
    // acknowledge is not buried in packet bytes.
    bool inExchange() const { return stage_ != Stage::Idle; }

private:
    // Where the monitor stands in an exchange; each stage admits its own words.
    enum class Stage { Idle, Attention, Requested };

    struct WordRule {
        Stage stage;
        QByteArrayView word;
        Stage (MonitorProtocol::*action)();
    };

    void receiveByte(char byte, QByteArray &reply);
    void receiveAttention(QByteArray &reply);
    void receiveWordByte(char byte, QByteArray &reply);
    const WordRule *ruleFor(QByteArrayView tail) const;

    Stage requestRealTime();
    Stage turnStreamingOn();
    Stage turnStreamingOff();

    static const std::vector<WordRule> &wordRules();

    ProtocolFaults faults_;
    Stage stage_ = Stage::Idle;
    QByteArray wordTail_;            // the last bytes of the exchange, at most one word long
    bool streaming_ = false;
    bool attentionIgnored_ = false;
};
