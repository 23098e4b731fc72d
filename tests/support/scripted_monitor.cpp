#include "scripted_monitor.h"

#include "fake_serial_port.h"

namespace {
const char kAttention = char(0xFC);
}

ScriptedMonitor::ScriptedMonitor(FakeSerialPort &port) : port_(port)
{
    port_.responder = [this](const QByteArray &bytes) { take(bytes); };
}

void ScriptedMonitor::take(const QByteArray &bytes)
{
    for (const char c : bytes)
        takeByte(c);
}

void ScriptedMonitor::takeByte(char c)
{
    if (c == kAttention && word_.isEmpty()) {
        ++attentions;
        if (attentionsToIgnore > 0) {
            --attentionsToIgnore;
            return;
        }
        if (!mute)
            port_.arrive(QByteArray(1, kAttention));
        return;
    }
    word_ += c;
    if (word_.size() < 3)
        return;
    words.append(word_);
    const QByteArray word = word_;
    word_.clear();
    if (mute || silentWords.contains(word))
        return;
    port_.arrive(QByteArray(1, kAttention));
    if (word == "PLR" && !replyToPlr.isEmpty())
        port_.arrive(replyToPlr);
}
