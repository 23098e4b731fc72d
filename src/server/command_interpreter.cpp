#include "command_interpreter.h"

#include "reading_replies.h"

#include <QPointer>

namespace {

const QString kTooShort = QStringLiteral("Error! Command length too short");
// The blanks before the comma and the full stop are kept as clients know them: see
// docs/compatibility.md
const QString kNoVerb =
    QStringLiteral("Error! Command must start with \"get\" , \"set\" or \"mov\" .");
const QString kImproper = QStringLiteral("Error! Improper command");
// The replies' capitals and dots are kept as clients know them: see docs/compatibility.md
const QString kBadLoadState = QStringLiteral("Invalid Load State... must be N or F");
const QString kBadMoveLength = QStringLiteral("Invalid MOV command length.");
constexpr int kShortestLine = 5; // CR included

// Where the verb starts, looking only where at least two characters can follow it; -1 if not.
qsizetype findVerb(const QString &command, QLatin1StringView verb)
{
    for (qsizetype i = 0; i + 5 <= command.size(); ++i) {
        if (QStringView(command).mid(i, 3) == verb)
            return i;
    }
    return -1;
}

// The leading number of text as far as blanks, one sign and digits form one; 0 when none does.
int leadingNumber(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    int sign = 1;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        sign = text[i] == u'-' ? -1 : 1;
        ++i;
    }
    int value = 0;
    for (; i < text.size() && text[i].isDigit() && text[i].unicode() < 128; ++i)
        value = value * 10 + (text[i].unicode() - '0');
    return sign * value;
}

} // namespace

CommandInterpreter::CommandInterpreter(const LiveReading &reading, LoadTable &loads,
                                       LoadSwitchFlags &loadSwitch, MonitorCommands &monitor,
                                       Reporter<UserPrompts> prompts, QObject *parent)
    : QObject(parent),
      reading_(reading),
      loads_(loads),
      loadSwitch_(loadSwitch),
      monitor_(monitor),
      prompts_(prompts)
{
}

void CommandInterpreter::interpret(const QByteArray &line, const ReplySink &send)
{
    // ASCII upper-casing keeps every character in its place, which the length rules rely on.
    const QString upper = QString::fromLatin1(line.toUpper());
    if (upper.size() < kShortestLine) {
        send(kTooShort);
        return;
    }
    const QString command = upper.chopped(1);
    if (const qsizetype at = findVerb(command, QLatin1StringView("GET")); at >= 0) {
        answerReadKey(command.mid(at + 3), send);
    } else if (const qsizetype at = findVerb(command, QLatin1StringView("SET")); at >= 0) {
        if (changesMonitorOrLoads(QStringLiteral("SET"), command.mid(at + 3)))
            send(kImproper);
        else
            answerActionKey(command.mid(at + 3), send);
    } else if (const qsizetype at = findVerb(command, QLatin1StringView("MOV")); at >= 0) {
        // A MOV normally gets no reply: the refusal is the only one it can get.
        if (changesMonitorOrLoads(QStringLiteral("MOV"), command.mid(at + 3)))
            send(kImproper);
        else
            runLoadCommand(command.mid(at + 3));
    } else {
        send(kNoVerb);
        // Kept as clients know it: the error line is still followed by an answer (see
        // docs/compatibility.md).
        answerReadKey(command, send);
    }
}

QString CommandInterpreter::pushLine() const { return ReadingReplies::allLine(reading_); }

bool CommandInterpreter::changesMonitorOrLoads(const QString &verb, const QString &key) const
{
    if (!readOnly_)
        return false;
    return verb == u"MOV" || key == u"RESET" || key == u"POL1" || key == u"POL2";
}

void CommandInterpreter::answerReadKey(const QString &key, const ReplySink &send)
{
    if (key == u"SETTINGS") {
        answerSettings(send);
        return;
    }
    QString reply;
    if (key == u"ALL")
        reply = ReadingReplies::allLine(reading_);
    else if (key == u"ALLP")
        reply = ReadingReplies::allpLine(reading_);
    else
        reply = ReadingReplies::valueText(reading_, key).value_or(kImproper);
    send(reply.isEmpty() ? QStringLiteral("Null") : reply); // "Null": kept as clients know it
}

void CommandInterpreter::answerSettings(const ReplySink &send)
{
    send(QStringLiteral("Processing"));
    const QPointer<CommandInterpreter> self(this);
    const MonitorSettingsReply read = monitor_.readSettingsForServer();
    if (!self)
        return;
    const bool valid = read.status.isEmpty() || read.status == u"OK";
    send(valid ? read.values.join(QLatin1Char('\t')) : read.status);
}

void CommandInterpreter::answerActionKey(const QString &key, const ReplySink &send)
{
    const QPointer<CommandInterpreter> self(this);
    // The replies' capitals are kept as clients know them: see docs/compatibility.md
    if (key == u"POL1" || key == u"POL2") {
        const int channel = key == u"POL1" ? 1 : 2;
        monitor_.togglePolarity(channel);
        if (self)
            send(QStringLiteral("Toggled CH%1 Polarity").arg(channel));
    } else if (key == u"TRIGON" || key == u"TRIGOFF") {
        const bool on = key == u"TRIGON";
        emit autoWriteLocalRequested(on);
        send(on ? QStringLiteral("Auto Triggering has been Enabled")
                : QStringLiteral("Auto Triggering has been Disabled"));
    } else if (key == u"RESET") {
        const QString result = monitor_.resetAccumulated();
        if (self)
            send(result);
    } else {
        send(kImproper);
    }
}

void CommandInterpreter::runLoadCommand(const QString &command)
{
    const QChar state = command.back();
    if (state != u'N' && state != u'F') {
        tell(kBadLoadState);
        return;
    }
    if (command.size() != 3 && command.size() != 4) {
        tell(kBadMoveLength);
        return;
    }
    // The first character only fills a place: "MOV16F" is load 6, load 16 is "MOV 16F".
    const int load = leadingNumber(QStringView(command).mid(1, command.size() - 2));
    // A number outside the table switches nothing and is not worth a message box per client line.
    if (!loads_.set(load, state == u'N'))
        return;
    loadSwitch_.loadChanged = true;
    loadSwitch_.triggerSource += QStringLiteral("Load Change");
    emit loadDataChanged(loads_.bitsToLoadData());
}

void CommandInterpreter::tell(const QString &message)
{
    prompts_->message(message);
}
