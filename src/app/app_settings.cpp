#include "app_settings.h"

#include "post_request.h"
#include "settings_store.h"
#include "settings_text.h"

#include <limits>

namespace {

// Reads one key into a value, keeping the value's default when the key is missing or its text
// does not convert.
class SettingsReader {
public:
    explicit SettingsReader(const SettingsStore &store) : store_(store) {}

    template <typename Int>
    void integer(const char *key, Int &value) const
    {
        if (const auto text = store_.value(QLatin1String(key)))
            if (const auto v = SettingsText::toInteger(*text, std::numeric_limits<Int>::min(),
                                                       std::numeric_limits<Int>::max()))
                value = Int(*v);
    }
    void number(const char *key, double &value) const
    {
        if (const auto text = store_.value(QLatin1String(key)))
            if (const auto v = SettingsText::toDouble(*text))
                value = *v;
    }
    void boolean(const char *key, bool &value) const
    {
        if (const auto text = store_.value(QLatin1String(key)))
            if (const auto v = SettingsText::toBool(*text))
                value = *v;
    }
    void text(const char *key, QString &value) const
    {
        if (const auto text = store_.value(QLatin1String(key)))
            value = *text;
    }

private:
    const SettingsStore &store_;
};

void put(SettingsStore &store, const char *key, const QString &text)
{
    store.setValue(QLatin1String(key), text);
}

void putNumber(SettingsStore &store, const char *key, double value)
{
    put(store, key, SettingsText::fromDouble(value));
}

void putInteger(SettingsStore &store, const char *key, qint64 value)
{
    put(store, key, SettingsText::fromInteger(value));
}

void putBool(SettingsStore &store, const char *key, bool value)
{
    put(store, key, SettingsText::fromBool(value));
}

void putWebPosting(const AppSettings &s, SettingsStore &store)
{
    putInteger(store, "VexThresT", s.vexThresT);
    putInteger(store, "VexThres1", s.vexThres1);
    putInteger(store, "VexThres2", s.vexThres2);
    put(store, "VexUser", s.vexUser);
    putBool(store, "VexWriteEnable", s.vexWriteEnable);
}

void putPreResets(const AppSettings &s, SettingsStore &store)
{
    putNumber(store, "PreResetVal1", s.counters.preReset1);
    putNumber(store, "PreResetVal2", s.counters.preReset2);
    putNumber(store, "PreResetValP1", s.counters.preResetP1);
    putNumber(store, "PreResetValP2", s.counters.preResetP2);
}

} // namespace

// Key names such as "ZigbeeVersion" (the link method) and "OrvoresetCount" are kept as users'
// settings files hold them: see docs/compatibility.md
AppSettings loadAppSettings(const SettingsStore &store)
{
    AppSettings s;
    const SettingsReader read(store);
    read.integer("ComPort", s.comPort);
    if (!refusedTcpPort(store))
        read.integer("TCPport", s.tcpPort);
    read.integer("ZigbeeVersion", s.linkMethod);
    read.number("Rate", s.rate);
    read.boolean("StartupComIsOn", s.startupComIsOn);
    read.boolean("StartupRTLisOn", s.startupRtlIsOn);
    read.boolean("StartupServerIsOn", s.startupServerIsOn);
    read.boolean("StartupListen", s.startupListen);
    read.boolean("AutoRecover", s.autoRecover);
    read.integer("LoadData", s.loadData);
    read.number("PreResetVal1", s.counters.preReset1);
    read.number("PreResetVal2", s.counters.preReset2);
    read.number("PreResetValP1", s.counters.preResetP1);
    read.number("PreResetValP2", s.counters.preResetP2);
    read.number("E1B", s.counters.lastWs1);
    read.number("E2B", s.counters.lastWs2);
    read.number("E1BP", s.counters.lastWsP1);
    read.number("E2BP", s.counters.lastWsP2);
    read.integer("OrvoresetCount", s.counters.lastResetCount);
    read.integer("OrvoCounter", s.counters.seconds);
    read.integer("VexThresT", s.vexThresT);
    read.integer("VexThres1", s.vexThres1);
    read.integer("VexThres2", s.vexThres2);
    read.text("VexUser", s.vexUser);
    read.boolean("VexWriteEnable", s.vexWriteEnable);
    read.integer("AutoWriteLocal", s.autoWriteLocal);
    read.text("WebHost", s.webHost);
    return s;
}

std::optional<QString> refusedTcpPort(const SettingsStore &store)
{
    // Every TCP port from 1 to 65535; 0 would listen on a port chosen by the system and a
    // negative number on a wrapped one, so they read as the default like unreadable text.
    const auto text = store.value(QStringLiteral("TCPport"));
    if (!text || SettingsText::toInteger(*text, 1, 65535))
        return std::nullopt;
    return *text;
}

std::optional<QString> refusedWebHost(const AppSettings &settings)
{
    if (PostRequest::parseWebHost(settings.webHost))
        return std::nullopt;
    return settings.webHost;
}

QString printableSettingText(const QString &text)
{
    constexpr qsizetype kShown = 60;
    QString shown;
    for (const QChar c : QStringView(text).left(kShown))
        shown += c.isPrint() ? c : QLatin1Char('?');
    return text.size() > kShown ? shown + QStringLiteral("...") : shown;
}

bool storeSettings(const AppSettings &s, SettingsStore &store)
{
    putPreResets(s, store);
    putNumber(store, "E1BP", s.counters.lastWsP1);
    putNumber(store, "E2BP", s.counters.lastWsP2);
    putNumber(store, "E1B", s.counters.lastWs1);
    putNumber(store, "E2B", s.counters.lastWs2);
    putInteger(store, "OrvoresetCount", s.counters.lastResetCount);
    putInteger(store, "OrvoCounter", s.counters.seconds);
    putWebPosting(s, store);
    return store.sync();
}

bool saveSettingsAtShutdown(const AppSettings &s, SettingsStore &store)
{
    putPreResets(s, store);
    putBool(store, "StartupComIsOn", s.startupComIsOn);
    putBool(store, "StartupRTLisOn", s.startupRtlIsOn);
    putInteger(store, "ZigbeeVersion", s.linkMethod);
    putNumber(store, "E1B", s.counters.lastWs1);
    putNumber(store, "E2B", s.counters.lastWs2);
    putNumber(store, "E1BP", s.counters.lastWsP1);
    putNumber(store, "E2BP", s.counters.lastWsP2);
    putInteger(store, "OrvoresetCount", s.counters.lastResetCount);
    putInteger(store, "OrvoCounter", s.counters.seconds);
    putInteger(store, "LoadData", s.loadData);
    putNumber(store, "Rate", s.rate);
    put(store, "Interval", s.interval);
    putWebPosting(s, store);
    return store.sync();
}
