#include "acquisition_core.h"
#include "fake_serial_port.h"
#include "ini_settings_store.h"
#include "manual_clock.h"
#include "packet_encoder.h"
#include "recorders.h"
#include "recording_settings_store.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTcpServer>
#include <QTest>

namespace {

PacketFields packetAt(quint32 seconds, quint64 ws1, quint64 ws2, quint8 resets = 0)
{
    PacketFields f;
    f.seconds = seconds;
    f.ws1 = ws1;
    f.ws2 = ws2;
    f.ws1Polar = ws1 / 2;
    f.ws2Polar = ws2 / 3;
    f.pfRaw1 = 60000;
    f.pfRaw2 = 50000;
    f.resetCount = resets;
    return f;
}

struct CoreRig {
    ManualClock clock;
    FakeSerialPort port{&clock};
    RecordingStatusLines log;
    RecordingPrompts prompts;
    AcquisitionCore core;

    explicit CoreRig(SettingsStore &store)
        : core(port, clock, store, Reporters{.statusLog = &log, .prompts = &prompts})
    {
        core.prepare();
    }
    // Packets arriving on an open port while no command owns it.
    void receive(const QList<PacketFields> &packets)
    {
        if (!port.isOpen())
            port.open(QStringLiteral("/dev/fake"));
        for (const PacketFields &p : packets)
            port.arrive(encodePacket(p));
        QCoreApplication::processEvents();
    }
};

} // namespace

class TestAcquisitionCore : public QObject {
    Q_OBJECT
private slots:
    void periodicSave_runsOnThe101stTickOnly();
    void savedFile_holdsWhatTheDecoderLastSaw();
    void restart_doesNotCountAResetTwice();
    void startupFlags_openPortAndArmAutomaticStart();
    void shutDown_writesOnceHoweverOftenAsked();
    void unwritableFile_isReportedOnceAndRetried();
    void unwritableFileAtShutDown_failsTheEnd();
    void loadStep_isPostedWithinTwoPackets();
    void restart_startsFromTheCountersWrittenLast_data();
    void restart_startsFromTheCountersWrittenLast();
    void storedWebHost_notAHost_saidOnceInTheStatusLog_data();
    void storedWebHost_notAHost_saidOnceInTheStatusLog();
};

void TestAcquisitionCore::periodicSave_runsOnThe101stTickOnly()
{
    RecordingSettingsStore store;
    CoreRig rig(store);
    // A tick every 3 s; the 101st saves: not at 302,999 ms, at 303,000 ms.
    rig.clock.advance(302999);
    QCOMPARE(store.syncs, 0);
    rig.clock.advance(1);
    QCOMPARE(store.syncs, 1);
    QCOMPARE(store.writtenKeys.first(), QStringLiteral("PreResetVal1"));
    rig.clock.advance(302999);
    QCOMPARE(store.syncs, 1);
    rig.clock.advance(1);
    QCOMPARE(store.syncs, 2);
}

void TestAcquisitionCore::savedFile_holdsWhatTheDecoderLastSaw()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Orvotove.ini"));
    IniSettingsStore store(file);
    CoreRig rig(store);
    rig.receive({packetAt(100, 5000, 7000, 3), packetAt(101, 1099511627000ull, 8000, 4)});
    const LiveReading &reading = rig.core.decoder().reading();
    QCOMPARE(reading.seconds, 101);
    rig.core.saveSettings();

    const IniSettingsStore reread(file);
    QCOMPARE(*reread.value("E1B"), QStringLiteral("1099511627000"));
    QCOMPARE(*reread.value("E2B"), QStringLiteral("8000"));
    QCOMPARE(*reread.value("OrvoCounter"), QStringLiteral("101"));
    QCOMPARE(*reread.value("OrvoresetCount"), QStringLiteral("4"));
    QCOMPARE(*reread.value("PreResetVal1"), QStringLiteral("5000")); // the reset from 3 to 4
    QCOMPARE(*reread.value("PreResetVal2"), QStringLiteral("7000"));
}

void TestAcquisitionCore::restart_doesNotCountAResetTwice()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Orvotove.ini"));
    {
        IniSettingsStore store(file);
        CoreRig first(store);
        first.receive({packetAt(10, 100, 100, 2), packetAt(11, 200, 200, 3)});
        first.core.shutDown();
    }
    IniSettingsStore store(file);
    CoreRig second(store);
    second.receive({packetAt(20, 300, 300, 3)});
    const LiveReading &reading = second.core.decoder().reading();
    QCOMPARE(reading.ws1Static, 100.0 + 300.0); // one reset's offset, not two
    QCOMPARE(reading.watts1, (300 - 200) / (20 - 11)); // power since the stored packet
}

void TestAcquisitionCore::startupFlags_openPortAndArmAutomaticStart()
{
    RecordingSettingsStore store;
    store.values.insert("StartupComIsOn", "True");
    store.values.insert("StartupRTLisOn", "True");
    CoreRig rig(store);
    QVERIFY(!rig.port.isOpen());
    QVERIFY(!rig.core.autoStart().isArmed());
    rig.clock.setAutoAdvance(true);
    rig.core.startAutomaticActions();
    QVERIFY(rig.port.isOpen());
    QVERIFY(rig.core.autoStart().isArmed());
    QCOMPARE(rig.port.lastDevice.isEmpty(), false);
}

void TestAcquisitionCore::shutDown_writesOnceHoweverOftenAsked()
{
    RecordingSettingsStore store;
    CoreRig rig(store);
    rig.core.shutDown();
    rig.core.shutDown();
    QCOMPARE(store.syncs, 1);
    QCOMPARE(store.writtenKeys.size(), 21);
}

namespace {
// A settings file that cannot be written even by root: its folder is a plain file.
struct BlockedFile {
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("Orvotove"));
    QString file = folder + QStringLiteral("/Orvotove.ini");
    BlockedFile() { QFile(folder).open(QIODevice::WriteOnly); }
    void unblock()
    {
        QFile::remove(folder);
        QDir().mkpath(folder);
    }
};
} // namespace

void TestAcquisitionCore::unwritableFile_isReportedOnceAndRetried()
{
    BlockedFile blocked;
    IniSettingsStore store(blocked.file);
    CoreRig rig(store);
    rig.receive({packetAt(10, 100, 100)});
    QVERIFY(!rig.core.saveSettings());
    QVERIFY(!rig.core.saveSettings());
    const QString error = QStringLiteral("Error: the settings could not be saved to ") + blocked.file;
    QCOMPARE(rig.log.lines, QStringList{error}); // one line for a lasting fault

    blocked.unblock();
    QVERIFY(rig.core.saveSettings());
    QCOMPARE(rig.log.lines.last(),
             QStringLiteral("The settings were saved to %1 again").arg(blocked.file));
    QCOMPARE(*IniSettingsStore(blocked.file).value("OrvoCounter"), QStringLiteral("10"));
}

void TestAcquisitionCore::unwritableFileAtShutDown_failsTheEnd()
{
    RecordingSettingsStore store;
    store.failSyncs = true;
    CoreRig rig(store);
    QVERIFY(rig.core.finalSaveSucceeded());
    rig.core.shutDown();
    QVERIFY(!rig.core.finalSaveSucceeded());
    QCOMPARE(rig.log.lines.last(),
             QStringLiteral("Error: the settings could not be saved to the settings store"));
}

void TestAcquisitionCore::loadStep_isPostedWithinTwoPackets()
{
    QTcpServer service;
    QVERIFY(service.listen(QHostAddress::LocalHost));
    RecordingSettingsStore store;
    store.values = {{"WebHost", QStringLiteral("127.0.0.1:%1").arg(service.serverPort())},
                    {"VexWriteEnable", "True"}, {"VexUser", "demo"}};
    CoreRig rig(store);
    QList<QByteArray> shown;
    connect(&rig.core.webPoster(), &WebPoster::requestSent, this,
            [&shown](const QByteArray &request) { shown << request; });
    PacketFields f;
    f.seconds = 100;
    auto next = [&f](int watts) {
        f.seconds += 1;
        f.ws1 += quint64(watts);
        f.ws2 += 50;
        return f;
    };
    rig.receive({next(100), next(100), next(100), next(100), next(100)});
    const PostLogModel &log = rig.core.webPoster().log();
    const int before = log.rowCount();
    rig.receive({next(1000), next(1000)});
    QCOMPARE(log.rowCount(), before + 1);
    QCOMPARE(log.post(0).triggerSource, QStringLiteral("CH1 / "));
    QCOMPARE(log.post(0).change1, 900);
    // An earlier post still connecting is given up for this one, so only the last is sure.
    QTRY_VERIFY(!shown.isEmpty() && shown.last().contains("&ch1_power=1000&ch2_power=50&"));
    QVERIFY(shown.last().contains("&username=demo&load=0 HTTP/1.1\r\n"));
}

void TestAcquisitionCore::restart_startsFromTheCountersWrittenLast_data()
{
    QTest::addColumn<QString>("end");     // how the first run ended, after its last packet
    QTest::addColumn<bool>("damaged");    // the state file spoilt before the second run
    QTest::addColumn<double>("e1b");      // the counter the second run starts from
    QTest::addColumn<QString>("line");    // the status line that says where it came from
    constexpr double kWide = 1099511000000.0; // near the top of the five-byte counter
    const QString restored = "The counters were restored from %1, which is newer than the settings.";
    QTest::newRow("killed: the state file") << "kill" << false << kWide + 1100 << restored;
    QTest::newRow("killed after a periodic save") << "save, kill" << false << kWide + 1200 << "";
    QTest::newRow("orderly end, file edited by hand") << "end, edit" << false << 5000.0 << "";
    QTest::newRow("killed, state file damaged")
        << "kill" << true << 0.0 << "%1 holds no readable counters; the counters come from the settings.";
}

void TestAcquisitionCore::restart_startsFromTheCountersWrittenLast()
{
    QFETCH(QString, end);
    QFETCH(bool, damaged);
    QFETCH(double, e1b);
    QFETCH(QString, line);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Orvotove.ini"));
    const QString state = dir.filePath(QStringLiteral("Orvotove.state"));
    {
        IniSettingsStore store(file);
        CoreRig first(store);
        constexpr quint64 kWide = 1099511000000;
        first.receive({packetAt(100, kWide + 1000, 2000), packetAt(101, kWide + 1100, 2100)});
        first.core.counterKeeper().tick(); // 5 s on: the state file is written
        first.receive({packetAt(102, kWide + 1200, 2200)}); // after the state file's last write
        if (end.startsWith("save"))
            first.core.saveSettings();
        if (end.startsWith("end"))
            first.core.shutDown();
    } // otherwise killed: nothing more is written
    if (end.endsWith("edit"))
        QSettings(file, QSettings::IniFormat).setValue("startup/E1B", "5000");
    if (damaged) {
        QFile f(state);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(40);
        f.write("garbage");
    }
    IniSettingsStore store(file);
    CoreRig second(store);
    QCOMPARE(second.core.decoder().persistedState().lastWs1, e1b);
    // A client asking before the first packet sees the counters where they were.
    QCOMPARE(second.core.decoder().reading().ws1Static, e1b);
    QCOMPARE(second.log.lines, line.isEmpty() ? QStringList{} : QStringList{line.arg(state)});
}

void TestAcquisitionCore::storedWebHost_notAHost_saidOnceInTheStatusLog_data()
{
    QTest::addColumn<QString>("webHost");
    QTest::addColumn<QString>("line");
    const QString refused = "The stored web host \"%1\" is not a host name or name:port; nothing "
                            "is posted to it.";
    QTest::newRow("name:port") << "monitor.example:8080" << "";
    QTest::newRow("blank inside") << "monitor example" << refused.arg("monitor example");
    QTest::newRow("a line of its own") << "x\nFake line" << refused.arg("x?Fake line");
}

void TestAcquisitionCore::storedWebHost_notAHost_saidOnceInTheStatusLog()
{
    QFETCH(QString, webHost);
    QFETCH(QString, line);
    RecordingSettingsStore store;
    store.values.insert("WebHost", webHost);
    CoreRig rig(store);
    QCOMPARE(rig.log.lines, line.isEmpty() ? QStringList{} : QStringList{line});
}

QTEST_GUILESS_MAIN(TestAcquisitionCore)
#include "tst_acquisition_core.moc"
