// The live readings window on the real widgets, opened from the main window's menu: what it
// shows of decoded packets, that closing only hides it, and that it draws nothing while hidden
// or minimized and at most once a second while shown.
#include "acquisition_core.h"
#include "fake_serial_port.h"
#include "live_readings_window.h"
#include "main_window.h"
#include "manual_clock.h"
#include "packet_encoder.h"
#include "recorders.h"
#include "recording_settings_store.h"

#include <QLabel>
#include <QTest>

namespace {

struct LiveRig {
    ManualClock clock{QDateTime(QDate(2026, 3, 7), QTime(12, 0))};
    FakeSerialPort port{&clock};
    RecordingSettingsStore store;
    RecordingPrompts prompts;
    MainWindow window{port, clock, store, &prompts};
    quint32 second = 0;

    LiveReadingsWindow &open()
    {
        window.menu().liveReadings->trigger();
        return *window.liveReadingsWindow();
    }
    // One packet of 3600 W on CH1 and 1800 W on CH2, then a second passes.
    void packet()
    {
        PacketFields f;
        f.seconds = 1000 + second;
        f.ws1 = 7200000ULL + 3600ULL * second;
        f.ws2 = 1800ULL * second;
        const QByteArray bytes = encodePacket(f);
        PacketDecoder &decoder = window.core().decoder();
        decoder.startPacket();
        for (int i = 3; i < bytes.size(); ++i)
            decoder.takePacketByte(quint8(bytes.at(i)));
        ++second;
        clock.advance(1000);
    }
    QString text(const QString &name)
    {
        return window.liveReadingsWindow()->findChild<QLabel *>(name)->text();
    }
};

} // namespace

class TestLiveReadingsWindow : public QObject {
    Q_OBJECT
private slots:
    void packets_showFiguresOfBothChannels_data();
    void packets_showFiguresOfBothChannels();
    void clearedPreResets_startTodayAgain();
    void close_onlyHidesWindow();
    void openAtLastEnd_opensAtStart();
    void hiddenOrMinimized_drawsNothing();
};

void TestLiveReadingsWindow::packets_showFiguresOfBothChannels_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text");
    QTest::newRow("CH1 power") << "CH1Watts" << "3600";
    QTest::newRow("CH2 power") << "CH2Watts" << "1800";
    QTest::newRow("CH1 counter") << "CH1Counter" << "2.003";
    QTest::newRow("CH1 cost per hour") << "CH1CostPerHour" << "0.45";
    QTest::newRow("CH1 today") << "CH1Today" << "0.003 / 0.00";
    QTest::newRow("CH1 not generating") << "CH1Generating" << "";
    QTest::newRow("line voltage") << "LineVolts" << "120.0 V";
    QTest::newRow("age") << "PacketAge" << "updated 1 s ago";
}

void TestLiveReadingsWindow::packets_showFiguresOfBothChannels()
{
    QFETCH(QString, label);
    QFETCH(QString, text);
    LiveRig rig;
    rig.window.start();
    LiveReadingsWindow &live = rig.open();
    QCOMPARE(live.windowTitle(), QString("Live Readings"));
    for (int i = 0; i < 4; ++i)
        rig.packet();
    QCOMPARE(rig.text(label), text);
}

void TestLiveReadingsWindow::clearedPreResets_startTodayAgain()
{
    LiveRig rig;
    rig.window.start();
    rig.open();
    for (int i = 0; i < 4; ++i)
        rig.packet();
    rig.window.core().clearPreResetValues();
    rig.packet();
    QCOMPARE(rig.text("CH1Today"), QString("0.000 / 0.00"));
    rig.packet();
    QCOMPARE(rig.text("CH1Today"), QString("0.001 / 0.00"));
}

void TestLiveReadingsWindow::close_onlyHidesWindow()
{
    LiveRig rig;
    rig.window.start();
    LiveReadingsWindow &live = rig.open();
    QVERIFY(live.isVisible());
    QCOMPARE(rig.store.values.value("LiveReadingsShown"), QString("True"));
    QVERIFY(live.close());
    QVERIFY(live.isHidden());
    QCOMPARE(rig.store.values.value("LiveReadingsShown"), QString("False"));
    QCOMPARE(&rig.open(), &live);
    QVERIFY(live.isVisible());
}

void TestLiveReadingsWindow::openAtLastEnd_opensAtStart()
{
    LiveRig rig;
    rig.store.values.insert("LiveReadingsShown", "True");
    rig.store.values.insert("LiveReadingsSpan", "1440");
    rig.window.start();
    LiveReadingsWindow *live = rig.window.liveReadingsWindow();
    QVERIFY(live && live->isVisible());
    QCOMPARE(live->span(), HistorySpan::Hours24);
    live->setSpan(HistorySpan::Minutes15);
    QCOMPARE(rig.store.values.value("LiveReadingsSpan"), QString("15"));
}

void TestLiveReadingsWindow::hiddenOrMinimized_drawsNothing()
{
    LiveRig rig;
    rig.window.start();
    LiveReadingsWindow &live = rig.open();
    for (int i = 0; i < 10; ++i)
        rig.packet();
    // Shown: figures once a second, the 15-minute chart with each new 2-second bucket.
    live.setSpan(HistorySpan::Minutes15);
    const int figures = live.figureDraws();
    const int charts = live.chartDraws();
    rig.clock.advance(10000);
    QCOMPARE(live.figureDraws() - figures, 10);
    QVERIFY(live.chartDraws() - charts >= 4 && live.chartDraws() - charts <= 6);

    live.hide();
    const int hiddenFrom = live.figureDraws() + live.chartDraws();
    for (int i = 0; i < 20; ++i)
        rig.packet();
    QCOMPARE(live.figureDraws() + live.chartDraws(), hiddenFrom);

    live.showMinimized();
    const int minimizedFrom = live.figureDraws() + live.chartDraws();
    for (int i = 0; i < 20; ++i)
        rig.packet();
    QCOMPARE(live.figureDraws() + live.chartDraws(), minimizedFrom);
}

QTEST_MAIN(TestLiveReadingsWindow)
#include "tst_live_readings_window.moc"
