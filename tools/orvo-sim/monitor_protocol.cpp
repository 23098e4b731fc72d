#include "monitor_protocol.h"

namespace {

constexpr qsizetype kWordLength = 3;

} // namespace

MonitorProtocol::MonitorProtocol(ProtocolFaults faults)
    : faults_(std::move(faults))
{
}

const std::vector<MonitorProtocol::WordRule> &MonitorProtocol::wordRules()
{
    // Each word is valid only at its stage; new commands are new rows here.
    static const std::vector<WordRule> rules{
        {Stage::Attention, "TOG", &MonitorProtocol::requestRealTime},
        {Stage::Requested, "PLR", &MonitorProtocol::turnStreamingOn},
        {Stage::Requested, "OFF", &MonitorProtocol::turnStreamingOff},
    };
    return rules;
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
    if (byte == kAttention)
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
    const WordRule *rule = ruleFor(wordTail_);
    if (!rule)
        return;
    wordTail_.clear();
    if (faults_.mutedWords.contains(rule->word.toByteArray()))
        return;
    stage_ = (this->*rule->action)();
    reply += kAttention;
}

const MonitorProtocol::WordRule *MonitorProtocol::ruleFor(QByteArrayView tail) const
{
    for (const WordRule &rule : wordRules()) {
        if (rule.stage == stage_ && rule.word == tail)
            return &rule;
    }
    return nullptr;
}

MonitorProtocol::Stage MonitorProtocol::requestRealTime()
{
    return Stage::Requested;
}

MonitorProtocol::Stage MonitorProtocol::turnStreamingOn()
{
    streaming_ = true;
    return Stage::Idle;
}

MonitorProtocol::Stage MonitorProtocol::turnStreamingOff()
{
    streaming_ = false;
    return Stage::Idle;
}
