#include "counter_state_file.h"

#include "app_logging.h"
#include "settings_store.h"
#include "settings_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#ifdef Q_OS_UNIX
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#else
#include <QSaveFile>
#endif

#include <limits>

namespace {

const QString kGroup = QStringLiteral("counters");
const QString kSequenceKey = QStringLiteral("Sequence");
constexpr char kHeader[] = "[counters]\n";
constexpr char kCheckKey[] = "Check=";

// The counters by the settings file's own key names, so that a person reading one file knows
// the other.
struct NumberKey {
    const char *key;
    double DecoderState::*field;
};
constexpr NumberKey kNumbers[] = {
    {"PreResetVal1", &DecoderState::preReset1}, {"PreResetVal2", &DecoderState::preReset2},
    {"PreResetValP1", &DecoderState::preResetP1}, {"PreResetValP2", &DecoderState::preResetP2},
    {"E1B", &DecoderState::lastWs1}, {"E2B", &DecoderState::lastWs2},
    {"E1BP", &DecoderState::lastWsP1}, {"E2BP", &DecoderState::lastWsP2},
};
constexpr char kResetCountKey[] = "OrvoresetCount";
constexpr char kSecondsKey[] = "OrvoCounter";

QByteArray checkOf(const QByteArray &text)
{
    return QByteArray::number(qChecksum(text), 16);
}

QByteArray line(const char *key, const QString &value)
{
    return QByteArray(key) + '=' + value.toLatin1() + '\n';
}

// key=value lines after the header, up to the check line; nothing when the text is not one
// this program wrote whole.
std::optional<QHash<QByteArray, QString>> checkedLines(const QByteArray &text)
{
    const qsizetype checkAt = text.lastIndexOf(QByteArray("\n") + kCheckKey);
    if (!text.startsWith(kHeader) || checkAt < 0)
        return std::nullopt;
    const QByteArray body = text.left(checkAt + 1);
    if (text.mid(checkAt + 1 + qsizetype(sizeof kCheckKey - 1)).trimmed() != checkOf(body))
        return std::nullopt;
    QHash<QByteArray, QString> values;
    const QList<QByteArray> lines = body.mid(qsizetype(sizeof kHeader - 1)).split('\n');
    for (const QByteArray &l : lines) {
        const qsizetype eq = l.indexOf('=');
        if (eq > 0)
            values.insert(l.left(eq), QString::fromLatin1(l.mid(eq + 1)));
    }
    return values;
}

#ifdef Q_OS_UNIX
bool syncPath(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// Written beside the target and renamed over it: rename replaces a file in one step. Synced,
// the data reach the disk before the rename, and the rename itself after it.
bool replaceFile(const QString &path, const QByteArray &text, bool synced)
{
    const QString temporary = path + QStringLiteral(".new");
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()
        || !file.flush() || (synced && ::fsync(file.handle()) != 0)) {
        file.remove();
        return false;
    }
    file.close();
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData())
        != 0) {
        QFile::remove(temporary);
        return false;
    }
    return !synced || syncPath(QFileInfo(path).absolutePath(), O_RDONLY | O_DIRECTORY);
}
#else
// Where rename cannot replace a file, QSaveFile does; it always syncs.
bool replaceFile(const QString &path, const QByteArray &text, bool)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
}
#endif

} // namespace

QString CounterStateFile::pathBeside(const QString &settingsFile)
{
    const QFileInfo info(settingsFile);
    return info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral(".state"));
}

bool CounterStateFile::exists() const
{
    return !path_.isEmpty() && QFileInfo::exists(path_);
}

QByteArray CounterStateFile::format(const StampedCounters &state)
{
    QByteArray text(kHeader);
    text += line("Sequence", SettingsText::fromInteger(state.sequence));
    for (const NumberKey &n : kNumbers)
        text += line(n.key, SettingsText::fromDouble(state.counters.*n.field));
    text += line(kResetCountKey, SettingsText::fromInteger(state.counters.lastResetCount));
    text += line(kSecondsKey, SettingsText::fromInteger(state.counters.seconds));
    return text + kCheckKey + checkOf(text) + '\n';
}

std::optional<StampedCounters> CounterStateFile::parse(const QByteArray &text)
{
    const auto values = checkedLines(text);
    if (!values)
        return std::nullopt;
    const auto integer = [&values](const char *key, qint64 min, qint64 max) {
        const auto it = values->constFind(key);
        return it == values->cend() ? std::nullopt : SettingsText::toInteger(*it, min, max);
    };
    StampedCounters s;
    const auto sequence = integer("Sequence", 1, std::numeric_limits<qint64>::max());
    const auto resets = integer(kResetCountKey, 0, 7);
    const auto seconds = integer(kSecondsKey, std::numeric_limits<qint32>::min(),
                                 std::numeric_limits<qint32>::max());
    if (!sequence || !resets || !seconds)
        return std::nullopt;
    s.sequence = *sequence;
    s.counters.lastResetCount = int(*resets);
    s.counters.seconds = qint32(*seconds);
    for (const NumberKey &n : kNumbers) {
        const auto it = values->constFind(n.key);
        const auto v = it == values->cend() ? std::nullopt : SettingsText::toDouble(*it);
        if (!v)
            return std::nullopt;
        s.counters.*n.field = *v;
    }
    return s;
}

std::optional<StampedCounters> CounterStateFile::read() const
{
    QFile file(path_);
    if (path_.isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // The file holds a dozen short lines; anything much longer is not ours.
    return parse(file.read(4096));
}

bool CounterStateFile::write(const StampedCounters &state, Durability durability) const
{
    const bool written = !path_.isEmpty()
                         && replaceFile(path_, format(state), durability == Durability::Synced);
    qCDebug(lcApp) << "counters kept in" << path_ << "sequence" << state.sequence
                   << (durability == Durability::Synced ? "synced" : "cached") << written;
    return written;
}

qint64 storedCounterSequence(const SettingsStore &store)
{
    const auto text = store.groupValue(kGroup, kSequenceKey);
    const auto n = text ? SettingsText::toInteger(*text, 0, std::numeric_limits<qint64>::max())
                        : std::nullopt;
    return n.value_or(0);
}

void stampStoredCounters(SettingsStore &store, qint64 sequence)
{
    store.setGroupValue(kGroup, kSequenceKey, SettingsText::fromInteger(sequence));
}
