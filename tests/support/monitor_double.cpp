#include "monitor_double.h"

#include "fake_serial_port.h"

#include <utility>

MonitorDouble::MonitorDouble(FakeSerialPort &port) : port_(port)
{
    port_.responder = [this](const QByteArray &bytes) {
        for (const char c : bytes)
            take(static_cast<unsigned char>(c));
    };
}

QStringList MonitorDouble::words() const
{
    QStringList list;
    for (const QString &token : transcript) {
        if (token != QLatin1String("FC") && !token.contains(u':'))
            list.append(token);
    }
    return list;
}

void MonitorDouble::take(int byte)
{
    if (paramsLeft_ > 0) {
        --paramsLeft_;
        answer(paramWord_ + ':' + QString::number(byte));
    } else if (byte == 0xFC && word_.isEmpty()) {
        if (attentionsToIgnore > 0) {
            --attentionsToIgnore;
            transcript.append(QStringLiteral("FC"));
        } else {
            answer(QStringLiteral("FC"));
        }
    } else {
        word_ += QChar(byte);
        const bool doubledLetter = word_.size() == 2 && word_.at(0) == word_.at(1);
        if (word_.size() == 3 || doubledLetter)
            takeWord(std::exchange(word_, QString()));
    }
}

void MonitorDouble::takeWord(const QString &word)
{
    static const QHash<QString, int> kParams{{"TYP", 1}, {"RNG", 1}, {"PTT", 1},
                                             {"PTR", 1}, {"IVL", 2}, {"UID", 1}};
    paramsLeft_ = kParams.value(word);
    paramWord_ = word;
    answer(word);
}

void MonitorDouble::answer(const QString &token)
{
    transcript.append(token);
    if (token == loseDeviceOn) {
        port_.loseDevice();
        return;
    }
    if (mute || silent.contains(token))
        return;
    port_.arrive(ack); // the reply that follows comes as a read of its own
    port_.arrive(replies.value(token));
}
