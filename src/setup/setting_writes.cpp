#include "setting_writes.h"

#include "setup_logging.h"

namespace {

constexpr quint8 kLargestRange = 10;
constexpr quint8 kFirstInvalidId = 128;

const QString kImproperRange = QStringLiteral("Improper Range");
const QString kIdTooLarge =
    QStringLiteral("ID value must be less than 128, Re-enter proper value");
const QString kCtFault =
    QStringLiteral("The CT type or CT range is improper. Change value and try again");
const QString kPtFault = QStringLiteral("Error writing new PT setting value");
const QString kIntervalFault = QStringLiteral("Error writing new storage interval value");
const QString kIdFault = QStringLiteral("Error writing new Device ID value");

bool rangeValid(quint8 range)
{
    return range >= 1 && range <= kLargestRange;
}

} // namespace

SettingWrites::Step SettingWrites::command(const char *word, const char *abortLine)
{
    return Step{QByteArray(word), 0, QString::fromLatin1(abortLine)};
}

SettingWrites::Step SettingWrites::byte(quint8 value, const char *failureLine)
{
    return Step{QByteArray(), value, QString::fromLatin1(failureLine)};
}

SetupOutcome SettingWrites::writeCtSetting(quint8 ctType, quint8 ctRange, quint8 channel)
{
    if (channel != 1 && channel != 2)
        return SetupOutcome::Refused;
    if (!rangeValid(ctRange)) {
        SetupExchange(context_).message(kImproperRange);
        return SetupOutcome::Refused;
    }
    const bool first = channel == 1;
    return run({command(first ? "CT1" : "CT2", first ? "Abort CT1 command" : "Abort CT2 command"),
                command("TYP", "Abort TYP command"),
                // "successfuly", "PTtype" and "DeviceID" below are kept: see docs/compatibility.md
                byte(ctType, "Did not successfuly send CT type"),
                command("RNG", "Abort RNG command"),
                byte(ctRange, "Did not successfuly send new CT value")},
               kCtFault);
}

SetupOutcome SettingWrites::writePtSetting(quint8 ptType, quint8 ptRange)
{
    if (!rangeValid(ptRange)) {
        SetupExchange(context_).message(kImproperRange);
        return SetupOutcome::Refused;
    }
    return run({command("PTT", "Abort PTT command"),
                byte(ptType, "Did not successfuly send PTtype"),
                command("PTR", "Abort PTR command"),
                byte(ptRange, "Did not successfuly send new PT value")},
               kPtFault);
}

SetupOutcome SettingWrites::writeIntervalSetting(quint8 hiVal, quint8 loVal)
{
    return run({command("IVL", "Abort IVL command"),
                byte(hiVal, "Did not successfuly send Interval Setting value."),
                byte(loVal, "Did not successfuly send Interval Setting value.")},
               kIntervalFault);
}

SetupOutcome SettingWrites::writeDeviceId(quint8 id)
{
    if (id >= kFirstInvalidId) {
        SetupExchange(context_).message(kIdTooLarge);
        return SetupOutcome::Refused;
    }
    return run({command("UID", "Abort UID command"),
                byte(id, "Did not successfuly send DeviceID value")},
               kIdFault);
}

SetupOutcome SettingWrites::run(const std::vector<Step> &steps, const QString &faultMessage)
{
    SetupExchange exchange(context_);
    qCInfo(lcSetup) << "setting write" << (steps.empty() ? QByteArray() : steps.front().word);
    exchange.stopRealTimeIfOn();
    Ack ack = exchange.openSet();
    for (auto step = steps.begin(); ack == Ack::Received && step != steps.end(); ++step) {
        const bool isWord = !step->word.isEmpty();
        ack = exchange.logIfMissing(
            isWord ? exchange.word(step->word) : exchange.parameter(step->value),
            step->failureLine);
        if (ack == Ack::Missing && !isWord)
            ack = Ack::Received; // an unacknowledged parameter byte does not end the sequence
    }
    qCInfo(lcSetup) << "setting write:"
                    << (ack == Ack::Received ? "completed"
                        : ack == Ack::Missing ? "aborted"
                                              : "port fault");
    switch (ack) {
    case Ack::Received:
        return SetupOutcome::Completed;
    case Ack::Missing:
        return SetupOutcome::Aborted;
    case Ack::Fault:
        break;
    }
    exchange.message(faultMessage);
    return SetupOutcome::Fault;
}
