#include "app_settings.h"
#include "ini_settings_store.h"
#include "recording_settings_store.h"
#include "settings_text.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

class TestAppSettings : public QObject {
    Q_OBJECT
private slots:
    void emptyStore_givesFirstRunDefaults();
    void handEditedValue_givesDefaultWhenUnreadable_data();
    void handEditedValue_givesDefaultWhenUnreadable();
    void realIniFile_roundTripsEveryWrittenValue();
    void numbers_areWrittenAsPlainDecimals_data();
    void numbers_areWrittenAsPlainDecimals();
    void integerText_fitsItsRangeOrGivesNothing_data();
    void integerText_fitsItsRangeOrGivesNothing();
    void periodicSave_writesCountersThenWebPostingInOrder();
    void shutdownSave_writesEveryKeyInOrder();
    void userScopeStore_usesOrvotoveIniUnderConfigHome();
    void autoRecover_onUnlessReadAsFalse_data();
    void autoRecover_onUnlessReadAsFalse();
};

void TestAppSettings::emptyStore_givesFirstRunDefaults()
{
    const RecordingSettingsStore store;
    const AppSettings s = loadAppSettings(store);
    QCOMPARE(s.comPort, 1);
    QCOMPARE(s.tcpPort, 1234);
    QCOMPARE(s.linkMethod, 0);
    QCOMPARE(s.rate, 0.126);
    QVERIFY(!s.startupComIsOn && !s.startupRtlIsOn && !s.startupServerIsOn && !s.startupListen);
    QCOMPARE(s.loadData, 0);
    QCOMPARE(s.vexThresT, 60);
    QCOMPARE(s.vexThres1, 60);
    QCOMPARE(s.vexThres2, 60);
    QCOMPARE(s.vexUser, QStringLiteral("****"));
    QCOMPARE(s.counters.lastWsP1, 0.0);
    QCOMPARE(s.webHost, QStringLiteral("localhost"));
}

// Each row: a key, the text a user typed into the file, and what the program must make of it.
void TestAppSettings::handEditedValue_givesDefaultWhenUnreadable_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // the value read, as the shut-down save writes it

    QTest::newRow("port as words") << "ComPort" << "three" << "1";
    QTest::newRow("port with blanks") << "ComPort" << " 7 " << "7";
    QTest::newRow("TCP port above 32767") << "TCPport" << "40000" << "40000";
    QTest::newRow("TCP port highest") << "TCPport" << "65535" << "65535";
    QTest::newRow("TCP port zero") << "TCPport" << "0" << "1234";
    QTest::newRow("TCP port negative") << "TCPport" << "-1" << "1234";
    QTest::newRow("TCP port past 65535") << "TCPport" << "70000" << "1234";
    QTest::newRow("16-bit negative fits") << "VexThresT" << "-5" << "-5";
    QTest::newRow("16-bit just past range") << "VexThres1" << "32768" << "60";
    QTest::newRow("8-bit method overflow") << "ZigbeeVersion" << "256" << "0";
    QTest::newRow("8-bit method negative") << "ZigbeeVersion" << "-1" << "0";
    QTest::newRow("integer from decimal rounds") << "ComPort" << "2.6" << "3";
    QTest::newRow("load mask top bit") << "LoadData" << "32768" << "32768";
    QTest::newRow("load mask past 16 bits") << "LoadData" << "65536" << "0";
    QTest::newRow("rate with comma") << "Rate" << "0,2" << "0.126";
    QTest::newRow("rate not a number") << "Rate" << "nan" << "0.126";
    QTest::newRow("bool lower case") << "StartupComIsOn" << "true" << "True";
    QTest::newRow("bool as one") << "StartupRTLisOn" << "1" << "True";
    QTest::newRow("bool as yes") << "StartupComIsOn" << "yes" << "False";
    QTest::newRow("counter as text") << "E1B" << "abc" << "0";
    QTest::newRow("polarized counter as text") << "E2BP" << "abc" << "0";
    QTest::newRow("seconds past 32 bits") << "OrvoCounter" << "4294967296" << "0";
    QTest::newRow("offset huge but finite") << "PreResetVal1" << "1099511627775" << "1099511627775";
}

void TestAppSettings::handEditedValue_givesDefaultWhenUnreadable()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(QString, expected);

    RecordingSettingsStore store;
    store.values.insert(key, text);
    const AppSettings s = loadAppSettings(store);

    // The port numbers are written by the communication panel, not at shut-down.
    RecordingSettingsStore written;
    QVERIFY(saveSettingsAtShutdown(s, written));
    written.values.insert(QStringLiteral("ComPort"), QString::number(s.comPort));
    written.values.insert(QStringLiteral("TCPport"), QString::number(s.tcpPort));
    QCOMPARE(written.values.value(key), expected);
}

void TestAppSettings::realIniFile_roundTripsEveryWrittenValue()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Orvotove.ini"));
    AppSettings s;
    s.counters.preReset1 = 123456789012.0;
    s.counters.preResetP2 = 5.5;
    s.counters.lastWs1 = 1099511627775.0;
    s.counters.lastWs2 = 42;
    s.counters.lastWsP1 = 1099511627000.0;
    s.counters.lastWsP2 = 7;
    s.counters.lastResetCount = 5;
    s.counters.seconds = 16777215;
    s.vexUser = QStringLiteral("house, main");
    s.vexWriteEnable = true;
    s.startupRtlIsOn = true;
    s.linkMethod = 8;
    s.loadData = 0x8001;
    s.rate = 0.2;
    {
        IniSettingsStore store(file);
        QVERIFY(saveSettingsAtShutdown(s, store));
    }
    IniSettingsStore reread(file);
    const AppSettings r = loadAppSettings(reread);
    QCOMPARE(r.counters.preReset1, s.counters.preReset1);
    QCOMPARE(r.counters.preResetP2, s.counters.preResetP2);
    QCOMPARE(r.counters.lastWs1, s.counters.lastWs1);
    QCOMPARE(r.counters.lastWs2, s.counters.lastWs2);
    QCOMPARE(r.counters.lastWsP1, s.counters.lastWsP1);
    QCOMPARE(r.counters.lastWsP2, s.counters.lastWsP2);
    QCOMPARE(r.counters.lastResetCount, 5);
    QCOMPARE(r.counters.seconds, 16777215);
    QCOMPARE(r.vexUser, s.vexUser);
    QVERIFY(r.vexWriteEnable && r.startupRtlIsOn);
    QCOMPARE(r.linkMethod, 8);
    QCOMPARE(r.loadData, 0x8001);
    QCOMPARE(r.rate, 0.2);
    QCOMPARE(reread.value(QStringLiteral("Interval")), std::optional<QString>(QString()));

    QFile raw(file);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray ini = raw.readAll();
    QVERIFY(ini.contains("[startup]"));
    QVERIFY(ini.contains("E1B=1099511627775"));
    QVERIFY(ini.contains("VexWriteEnable=True"));
}

void TestAppSettings::numbers_areWrittenAsPlainDecimals_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("forty-bit counter, no exponent") << 1099511627775.0 << "1099511627775";
    QTest::newRow("sum of two counters") << 2199023255550.0 << "2199023255550";
    QTest::newRow("rate, shortest digits") << 0.126 << "0.126";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative fraction") << -2.5 << "-2.5";
}

void TestAppSettings::numbers_areWrittenAsPlainDecimals()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(SettingsText::fromDouble(value), text);
}

void TestAppSettings::integerText_fitsItsRangeOrGivesNothing_data()
{
    constexpr qint64 kMin64 = std::numeric_limits<qint64>::min();
    constexpr qint64 kMax64 = std::numeric_limits<qint64>::max();
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("min");
    QTest::addColumn<qint64>("max");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<bool>("converts");
    QTest::newRow("16-bit top") << "32767" << qint64(-32768) << qint64(32767) << qint64(32767) << true;
    QTest::newRow("16-bit one past") << "32768" << qint64(-32768) << qint64(32767) << qint64(0) << false;
    QTest::newRow("half to even, down") << "2.5" << qint64(0) << qint64(255) << qint64(2) << true;
    QTest::newRow("half to even, up") << "3.5" << qint64(0) << qint64(255) << qint64(4) << true;
    QTest::newRow("negative half to even, up") << "-2.5" << qint64(-32768) << qint64(32767) << qint64(-2) << true;
    QTest::newRow("negative half to even, down") << "-3.5" << qint64(-32768) << qint64(32767) << qint64(-4) << true;
    QTest::newRow("64-bit widest rounds to 2^63") << "9223372036854775807" << kMin64 << kMax64
                                                  << qint64(0) << false;
    QTest::newRow("64-bit 2^63") << "9223372036854775808" << kMin64 << kMax64 << qint64(0) << false;
    QTest::newRow("64-bit lowest") << "-9223372036854775808" << kMin64 << kMax64 << kMin64 << true;
}

void TestAppSettings::integerText_fitsItsRangeOrGivesNothing()
{
    QFETCH(QString, text);
    QFETCH(qint64, min);
    QFETCH(qint64, max);
    QFETCH(qint64, value);
    QFETCH(bool, converts);
    const std::optional<qint64> read = SettingsText::toInteger(text, min, max);
    QCOMPARE(read.has_value(), converts);
    if (converts)
        QCOMPARE(*read, value);
}

void TestAppSettings::periodicSave_writesCountersThenWebPostingInOrder()
{
    RecordingSettingsStore store;
    QVERIFY(storeSettings(AppSettings(), store));
    const QStringList order = {"PreResetVal1", "PreResetVal2", "PreResetValP1", "PreResetValP2",
                               "E1BP", "E2BP", "E1B", "E2B", "OrvoresetCount", "OrvoCounter",
                               "VexThresT", "VexThres1", "VexThres2", "VexUser", "VexWriteEnable"};
    QCOMPARE(store.writtenKeys, order);
    QCOMPARE(store.syncs, 1);
}

void TestAppSettings::shutdownSave_writesEveryKeyInOrder()
{
    RecordingSettingsStore store;
    QVERIFY(saveSettingsAtShutdown(AppSettings(), store));
    const QStringList order = {"PreResetVal1", "PreResetVal2", "PreResetValP1", "PreResetValP2",
                               "StartupComIsOn", "StartupRTLisOn", "ZigbeeVersion", "E1B", "E2B",
                               "E1BP", "E2BP", "OrvoresetCount", "OrvoCounter", "LoadData", "Rate",
                               "Interval", "VexThresT", "VexThres1", "VexThres2", "VexUser",
                               "VexWriteEnable"};
    QCOMPARE(store.writtenKeys, order);
    QCOMPARE(store.values.value("StartupComIsOn"), QStringLiteral("False"));
    QCOMPARE(store.values.value("Interval"), QString());
}

void TestAppSettings::userScopeStore_usesOrvotoveIniUnderConfigHome()
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    IniSettingsStore store;
    QCOMPARE(store.fileName(), home.filePath(QStringLiteral("Orvotove/Orvotove.ini")));
}

QTEST_GUILESS_MAIN(TestAppSettings)
void TestAppSettings::autoRecover_onUnlessReadAsFalse_data()
{
    QTest::addColumn<QString>("text"); // empty: the key is missing
    QTest::addColumn<bool>("on");
    QTest::newRow("missing") << "" << true;
    QTest::newRow("False") << "False" << false;
    QTest::newRow("false, lower case") << "false" << false;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("unreadable") << "off" << true;
}

void TestAppSettings::autoRecover_onUnlessReadAsFalse()
{
    QFETCH(QString, text);
    QFETCH(bool, on);
    RecordingSettingsStore store;
    if (!text.isEmpty())
        store.values.insert("AutoRecover", text);
    QCOMPARE(loadAppSettings(store).autoRecover, on);
}

#include "tst_app_settings.moc"
