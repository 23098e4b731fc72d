#include "monitor_protocol.h"

#include "sim_log.h"

namespace {

constexpr qsizetype kWordLength = 3;

struct ParameterName {
    SetupParameter parameter;
    const char *name;
};

constexpr ParameterName kParameterNames[] = {
    {SetupParameter::CtType, "ct-type"},
    {SetupParameter::CtRange, "ct-range"},
    {SetupParameter::PtType, "pt-type"},
    {SetupParameter::PtRange, "pt-range"},
    {SetupParameter::IntervalHigh, "interval-high"},
    {SetupParameter::IntervalLow, "interval-low"},
    {SetupParameter::DeviceId, "device-id"},
};

} // namespace

MonitorProtocol::MonitorProtocol(ProtocolFaults faults, MonitorSettings settings, MeterControl *meter)
    : faults_(std::move(faults))
    , settings_(settings)
    , meter_(meter)
{
}

const std::vector<MonitorProtocol::WordRule> &MonitorProtocol::wordRules()
{
    // Each word is valid only at its stage; new commands are new rows here. The serial number
    // letters may come once or twice each (a sender that writes every word as three bytes
    // sends "S" as "SS"): the first is acknowledged, a repeat is passed over, so that either
    // way the host gets one acknowledge per letter.
    static const std::vector<WordRule> rules{
        {Stage::Attention, "TOG", Stage::RealTimeRequested},
        {Stage::RealTimeRequested, "PLR", Stage::Idle, &MonitorProtocol::turnStreamingOn},
        {Stage::RealTimeRequested, "OFF", Stage::Idle, &MonitorProtocol::turnStreamingOff},
        {Stage::Attention, "RQS", Stage::ResetRequested},
        {Stage::ResetRequested, "RST", Stage::Idle, &MonitorProtocol::resetAccumulated},
        {Stage::Attention, "SET", Stage::Setting},
        {Stage::Setting, "CT1", Stage::CtChosen, &MonitorProtocol::chooseCt1},
        {Stage::Setting, "CT2", Stage::CtChosen, &MonitorProtocol::chooseCt2},
        {Stage::CtChosen, "TYP", Stage::CtTypeByte},
        {Stage::CtRangeWord, "RNG", Stage::CtRangeByte},
        {Stage::Setting, "PTT", Stage::PtTypeByte},
        {Stage::PtRangeWord, "PTR", Stage::PtRangeByte},
        {Stage::Setting, "IVL", Stage::IntervalHighByte},
        {Stage::Setting, "UID", Stage::DeviceIdByte},
        {Stage::Setting, "RCV", Stage::Idle, &MonitorProtocol::sendSettingsBlock},
        {Stage::Setting, "NG1", Stage::Idle, &MonitorProtocol::invertPolarity1},
        {Stage::Setting, "NG2", Stage::Idle, &MonitorProtocol::invertPolarity2},
        {Stage::Setting, "S", Stage::SerialLetterR},
        {Stage::SerialLetterR, "S", Stage::SerialLetterR, nullptr, false},
        {Stage::SerialLetterR, "R", Stage::SerialLetterN},
        {Stage::SerialLetterN, "R", Stage::SerialLetterN, nullptr, false},
        {Stage::SerialLetterN, "N", Stage::Idle, &MonitorProtocol::sendSerialNumber},
    };
    return rules;
}

const std::vector<MonitorProtocol::ParameterRule> &MonitorProtocol::parameterRules()
{
    static const std::vector<ParameterRule> rules{
        {Stage::CtTypeByte, SetupParameter::CtType, Stage::CtRangeWord},
        {Stage::CtRangeByte, SetupParameter::CtRange, Stage::Idle},
        {Stage::PtTypeByte, SetupParameter::PtType, Stage::PtRangeWord},
        {Stage::PtRangeByte, SetupParameter::PtRange, Stage::Idle},
        {Stage::IntervalHighByte, SetupParameter::IntervalHigh, Stage::IntervalLowByte},
        {Stage::IntervalLowByte, SetupParameter::IntervalLow, Stage::Idle},
        {Stage::DeviceIdByte, SetupParameter::DeviceId, Stage::Idle},
    };
    return rules;
}

QStringList MonitorProtocol::knownWords()
{
    QStringList words;
    for (const WordRule &rule : wordRules()) {
        const QString word = QString::fromLatin1(rule.word.toByteArray());
        if (!words.contains(word))
            words.append(word);
    }
    return words;
}

QStringList MonitorProtocol::parameterNames()
{
    QStringList names;
    for (const ParameterName &entry : kParameterNames)
        names.append(QString::fromLatin1(entry.name));
    return names;
}

std::optional<SetupParameter> MonitorProtocol::parameterNamed(const QString &name)
{
    for (const ParameterName &entry : kParameterNames) {
        if (name == QLatin1String(entry.name))
            return entry.parameter;
    }
    return std::nullopt;
}

QByteArray MonitorProtocol::receive(QByteArrayView bytes)
{
    QByteArray reply;
    if (faults_.noAck)
        return reply;
    for (const char byte : bytes)
        receiveByte(byte, reply);
    return reply;
}

void MonitorProtocol::abandonExchange()
{
    stage_ = Stage::Idle;
    wordTail_.clear();
}

void MonitorProtocol::receiveByte(char byte, QByteArray &reply)
{
    if (const ParameterRule *rule = parameterRuleFor(stage_))
        receiveParameter(*rule, quint8(byte), reply);
    else if (byte == kAttention)
        receiveAttention(reply);
    else if (stage_ != Stage::Idle)
        receiveWordByte(byte, reply);
}

void MonitorProtocol::receiveAttention(QByteArray &reply)
{
    if (faults_.ackSecondAttention && !attentionIgnored_) {
        attentionIgnored_ = true;
        return;
    }
    attentionIgnored_ = false;
    stage_ = Stage::Attention;
    wordTail_.clear();
    reply += kAttention;
}

void MonitorProtocol::receiveWordByte(char byte, QByteArray &reply)
{
    wordTail_ += byte;
    if (wordTail_.size() > kWordLength)
        wordTail_.remove(0, wordTail_.size() - kWordLength);
    const WordRule *rule = wordRuleFor(wordTail_);
    if (!rule)
        return;
    wordTail_.clear();
    if (faults_.mutedWords.contains(rule->word.toByteArray()))
        return;
    stage_ = rule->next;
    if (rule->acknowledged)
        reply += kAttention;
    if (rule->action)
        (this->*rule->action)(reply);
}

// A parameter whose acknowledge is withheld still counts: the host goes on after a missing
// parameter acknowledge, and so does the monitor.
void MonitorProtocol::receiveParameter(const ParameterRule &rule, quint8 value, QByteArray &reply)
{
    storeParameter(rule.parameter, value);
    stage_ = rule.next;
    if (!faults_.unacknowledgedParameters.contains(rule.parameter))
        reply += kAttention;
}

void MonitorProtocol::storeParameter(SetupParameter parameter, quint8 value)
{
    CtSetting &ct = settings_.ct[ctChannel_];
    switch (parameter) {
    case SetupParameter::CtType:
        ct.type = value;
        break;
    case SetupParameter::CtRange:
        ct.range = value;
        qCInfo(lcSim) << "CT" << ctChannel_ + 1 << "set to type" << ct.type << "range" << ct.range;
        break;
    case SetupParameter::PtType:
        settings_.ptType = value;
        break;
    case SetupParameter::PtRange:
        settings_.ptRange = value;
        qCInfo(lcSim) << "PT set to type" << settings_.ptType << "range" << settings_.ptRange;
        break;
    case SetupParameter::IntervalHigh:
        intervalHigh_ = value;
        break;
    case SetupParameter::IntervalLow:
        settings_.intervalMinutes = quint16(intervalHigh_ << 8 | value);
        qCInfo(lcSim) << "storage interval set to" << settings_.intervalMinutes << "minutes";
        break;
    case SetupParameter::DeviceId:
        settings_.deviceId = value;
        qCInfo(lcSim) << "device ID set to" << value;
        break;
    }
}

const MonitorProtocol::WordRule *MonitorProtocol::wordRuleFor(QByteArrayView tail) const
{
    // A word shorter than three letters must be all that came since the last word, so that a
    // stray word ending in the same letter ("RQS" for "S") is not taken for it.
    for (const WordRule &rule : wordRules()) {
        if (rule.stage != stage_)
            continue;
        if (rule.word.size() < kWordLength ? tail == rule.word : tail.endsWith(rule.word))
            return &rule;
    }
    return nullptr;
}

const MonitorProtocol::ParameterRule *MonitorProtocol::parameterRuleFor(Stage stage) const
{
    for (const ParameterRule &rule : parameterRules()) {
        if (rule.stage == stage)
            return &rule;
    }
    return nullptr;
}

void MonitorProtocol::turnStreamingOn(QByteArray &)
{
    streaming_ = true;
}

void MonitorProtocol::turnStreamingOff(QByteArray &)
{
    streaming_ = false;
}

void MonitorProtocol::chooseCt1(QByteArray &)
{
    ctChannel_ = 0;
}

void MonitorProtocol::chooseCt2(QByteArray &)
{
    ctChannel_ = 1;
}

void MonitorProtocol::sendSettingsBlock(QByteArray &reply)
{
    reply += encodeSettingsBlock(settings_, faults_.settingsBlockSize);
    qCInfo(lcSim) << "settings block sent," << faults_.settingsBlockSize << "bytes";
}

void MonitorProtocol::sendSerialNumber(QByteArray &reply)
{
    for (const quint8 byte : settings_.serial)
        reply += char(byte);
    reply += kAttention;
}

void MonitorProtocol::invertPolarity1(QByteArray &)
{
    invertPolarity(1);
}

void MonitorProtocol::invertPolarity2(QByteArray &)
{
    invertPolarity(2);
}

void MonitorProtocol::invertPolarity(int channel)
{
    if (!meter_)
        return;
    const bool inverted = meter_->invertPolarity(channel);
    qCInfo(lcSim).noquote() << "channel" << channel << "polarized counter now counts"
                            << (inverted ? "consumed" : "generated") << "energy";
}

void MonitorProtocol::resetAccumulated(QByteArray &)
{
    if (meter_)
        meter_->resetAccumulated();
    qCInfo(lcSim) << "accumulated data reset";
}
