#pragma once

#include "meter_control.h"
#include "monitor_settings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QSet>
#include <QStringList>

#include <optional>
#include <set>
#include <vector>

// The single raw bytes that follow some command words.
enum class SetupParameter { CtType, CtRange, PtType, PtRange, IntervalHigh, IntervalLow, DeviceId };

// What the simulated monitor does wrong on purpose, to exercise the program's failure paths.
struct ProtocolFaults {
    bool noAck = false;              // a dead line: nothing is acknowledged or acted on
    bool ackSecondAttention = false; // every other attention byte goes unanswered
    QSet<QByteArray> mutedWords;     // command words that are neither acknowledged nor acted on
    std::set<SetupParameter> unacknowledgedParameters; // taken, but not acknowledged
    int settingsBlockSize = settings_block::kSize;
};

// The monitor's side of the command handshake, one byte at a time and free of any I/O, so that
// the byte stream can be fed in arbitrary pieces. An attention byte opens an exchange and is
// echoed; inside an exchange, command words are recognised wherever they end in the byte
// stream, so stray bytes before a word do not hide it. Each recognised word is acknowledged
// with the attention byte. Where a word is followed by a parameter, the next byte is that
// parameter whatever its value, so a parameter of 0xFC or a letter is never taken for an
// attention byte or part of a word.
class MonitorProtocol {
public:
    static constexpr char kAttention = static_cast<char>(0xFC);

    // meter: where resets and polarity changes go; null ignores them.
    explicit MonitorProtocol(ProtocolFaults faults = {}, MonitorSettings settings = {},
                             MeterControl *meter = nullptr);

    // Interprets the bytes and returns what the monitor answers.
    QByteArray receive(QByteArrayView bytes);

    // The host gave up half-way; the monitor returns to its resting state.
    void abandonExchange();

    bool isStreaming() const { return streaming_; }
    void setStreaming(bool on) { streaming_ = on; }
    // While an exchange is open the monitor keeps the line quiet, so that the host's next
    // acknowledge is not buried in packet bytes.
    bool inExchange() const { return stage_ != Stage::Idle; }

    const MonitorSettings &settings() const { return settings_; }

    // Every command word the monitor knows, for checking the words named in faults.
    static QStringList knownWords();
    // Parameters by the names the command line uses ("ct-type", "interval-high", ...).
    static QStringList parameterNames();
    static std::optional<SetupParameter> parameterNamed(const QString &name);

private:
    // Where the monitor stands in an exchange; each stage admits its own words, or, for the
    // stages that wait for a parameter byte, the next byte whatever it is.
    enum class Stage {
        Idle, Attention, RealTimeRequested, ResetRequested, Setting,
        CtChosen, CtTypeByte, CtRangeWord, CtRangeByte,
        PtTypeByte, PtRangeWord, PtRangeByte,
        IntervalHighByte, IntervalLowByte, DeviceIdByte,
        SerialLetterR, SerialLetterN,
    };
    using Action = void (MonitorProtocol::*)(QByteArray &reply);

    struct WordRule {
        Stage stage;
        QByteArrayView word;
        Stage next;
        Action action = nullptr;    // runs after the acknowledge, which it may follow with more
        bool acknowledged = true;   // false for a repeat that is only passed over
    };
    struct ParameterRule {
        Stage stage;
        SetupParameter parameter;
        Stage next;
    };

    void receiveByte(char byte, QByteArray &reply);
    void receiveAttention(QByteArray &reply);
    void receiveWordByte(char byte, QByteArray &reply);
    void receiveParameter(const ParameterRule &rule, quint8 value, QByteArray &reply);
    void storeParameter(SetupParameter parameter, quint8 value);
    const WordRule *wordRuleFor(QByteArrayView tail) const;
    const ParameterRule *parameterRuleFor(Stage stage) const;

    void turnStreamingOn(QByteArray &reply);
    void turnStreamingOff(QByteArray &reply);
    void chooseCt1(QByteArray &reply);
    void chooseCt2(QByteArray &reply);
    void sendSettingsBlock(QByteArray &reply);
    void sendSerialNumber(QByteArray &reply);
    void invertPolarity1(QByteArray &reply);
    void invertPolarity2(QByteArray &reply);
    void invertPolarity(int channel);
    void resetAccumulated(QByteArray &reply);

    static const std::vector<WordRule> &wordRules();
    static const std::vector<ParameterRule> &parameterRules();

    ProtocolFaults faults_;
    MonitorSettings settings_;
    MeterControl *meter_;
    Stage stage_ = Stage::Idle;
    QByteArray wordTail_;            // the last bytes of the exchange, at most one word long
    int ctChannel_ = 0;              // 0 or 1: the CT that "CT1" or "CT2" chose
    quint8 intervalHigh_ = 0;        // kept until the low byte completes the interval
    bool streaming_ = false;
    bool attentionIgnored_ = false;
};
