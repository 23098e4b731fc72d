// The main window on the real widgets: what the user sees at start-up, the menu, the About box,
// the tray and the orderly end. The serial port, the clock and the settings store are doubles.
#include "acquisition_core.h"
#include "fake_serial_port.h"
#include "main_window.h"
#include "manual_clock.h"
#include "recorders.h"
#include "recording_settings_store.h"
#include "status_fields.h"
#include "status_log_list.h"
#include "tray_parking.h"

#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

struct WindowRig {
    ManualClock clock;
    FakeSerialPort port{&clock};
    RecordingSettingsStore store;
    RecordingPrompts prompts;
    MainWindow window{port, clock, store, &prompts};

    StatusField &field(const QString &name) { return *window.findChild<StatusField *>(name); }
};

// "caption" for an enabled entry, "(caption)" for a disabled one, submenus indented under theirs.
QStringList describeMenu(const QList<QAction *> &actions, const QString &indent = {})
{
    QStringList lines;
    for (const QAction *a : actions) {
        lines << indent + (a->isEnabled() ? a->text() : "(" + a->text() + ")");
        if (a->menu())
            lines << describeMenu(a->menu()->actions(), indent + "  ");
    }
    return lines;
}

const QStringList kShutDownKeys{
    "PreResetVal1", "PreResetVal2", "PreResetValP1", "PreResetValP2", "StartupComIsOn",
    "StartupRTLisOn", "ZigbeeVersion", "E1B", "E2B", "E1BP", "E2BP", "OrvoresetCount",
    "OrvoCounter", "LoadData", "Rate", "Interval", "VexThresT", "VexThres1", "VexThres2",
    "VexUser", "VexWriteEnable"};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void longRun_statusLogKeepsTheNewest10000Lines();
    void firstRun_showsClosedStatesInTheirColours_data();
    void firstRun_showsClosedStatesInTheirColours();
    void firstRun_placesTitledWindowTopLeftWithDefaults();
    void menu_listsEveryEntryWithOnlyBuiltOnesEnabled();
    void about_showsVersionAndSupportAddress();
    void deleteBox_returnsWindowToStartPlaceAndSize();
    void openThenCloseComPort_showsPortOpenThenClosed();
    void minimize_parksInTrayWhereThereIsOne_data();
    void minimize_parksInTrayWhereThereIsOne();
    void shutDown_writesSettingsInOrderOnce_data();
    void shutDown_writesSettingsInOrderOnce();
};

void TestMainWindow::firstRun_showsClosedStatesInTheirColours_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::newRow("port field") << "Text1" << "COM Port is Closed";
    QTest::newRow("real-time field") << "Text2" << "Real-Time Data Stopped";
    QTest::newRow("server field") << "Text12" << "Orvo-88 Stayhost Closed";
}

void TestMainWindow::firstRun_showsClosedStatesInTheirColours()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    WindowRig rig;
    rig.window.start();
    StatusField &f = rig.field(field);
    QCOMPARE(f.text(), text);
    QCOMPARE(f.foreground(), QColor(Qt::white));
    QCOMPARE(f.background(), QColor(Qt::red));
    QCOMPARE(f.alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    QVERIFY(f.isReadOnly());
}

void TestMainWindow::firstRun_placesTitledWindowTopLeftWithDefaults()
{
    WindowRig rig;
    rig.window.start();
    QVERIFY(rig.window.isVisible());
    QCOMPARE(rig.window.windowTitle(),
             QStringLiteral("Orvo-88 Tove Download and Real-Time Software Version 1.04 "));
    QCOMPARE(rig.window.pos(), rig.window.screen()->availableGeometry().topLeft());
    QCOMPARE(rig.window.size(), QSize(532, 228));
    QCOMPARE(rig.window.core().link().portNumber(), 1);
    QCOMPARE(rig.port.openCount, 0);
    QVERIFY(!rig.window.core().autoStart().isArmed());
    QVERIFY(rig.store.writtenKeys.isEmpty());
    QVERIFY(rig.window.statusLog().lines().isEmpty());
}

void TestMainWindow::menu_listsEveryEntryWithOnlyBuiltOnesEnabled()
{
    WindowRig rig;
    const QStringList expected{"Files",
                               "  Live Readings",
                               "  History",
                               "  Exit",
                               "Communication",
                               "  OPEN",
                               "  Open COM Port",
                               "  Close COM Port",
                               "  Start Real-Time Data",
                               "  Stop Real-Time Data",
                               "  Open Socket",
                               "  Close Socket",
                               "Write To Web",
                               "Options",
                               "Orvo-88 Utility",
                               "Help",
                               "  About"};
    QCOMPARE(describeMenu(rig.window.menuBar()->actions()), expected);
}

void TestMainWindow::about_showsVersionAndSupportAddress()
{
    WindowRig rig;
    rig.window.menu().about->trigger();
    QCOMPARE(rig.prompts.messages,
             QStringList{"Orvo-88 Stayhost Software 1.04  . This software requires firmware "
                         "version 2.200 or higher. Firmware updates, installer software and "
                         "instructions may be obtained from https://support.orvo.example ."});
}

void TestMainWindow::deleteBox_returnsWindowToStartPlaceAndSize()
{
    WindowRig rig;
    rig.window.start();
    const QPoint startPlace = rig.window.pos();
    rig.window.move(startPlace + QPoint(120, 80));
    rig.window.resize(700, 500);
    QCOMPARE(rig.window.deleteBoxButton().text(), QStringLiteral("Delete Box and Contents"));
    QTest::mouseClick(&rig.window.deleteBoxButton(), Qt::LeftButton);
    QCOMPARE(rig.window.pos(), startPlace);
    QCOMPARE(rig.window.size(), QSize(532, 228));
}

void TestMainWindow::openThenCloseComPort_showsPortOpenThenClosed()
{
    WindowRig rig;
    rig.window.start();
    rig.clock.setAutoAdvance(true); // the settling pause after opening passes at once
    rig.window.menu().openComPort->trigger();
    rig.clock.setAutoAdvance(false);
    QVERIFY(rig.port.isOpen());
    StatusField &port = rig.field("Text1");
    QCOMPARE(port.text(), QStringLiteral("COM Port is Open"));
    QCOMPARE(port.foreground(), QColor(Qt::black));
    QCOMPARE(port.background(), QColor(Qt::green));

    rig.window.menu().closeComPort->trigger();
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(port.text(), QStringLiteral("COM Port is Closed"));
    QCOMPARE(port.foreground(), QColor(Qt::white));
    QCOMPARE(port.background(), QColor(Qt::red));
}

void TestMainWindow::minimize_parksInTrayWhereThereIsOne_data()
{
    QTest::addColumn<bool>("trayAvailable");
    QTest::newRow("notification area present") << true;
    QTest::newRow("no notification area: stays in the task bar") << false;
}

void TestMainWindow::minimize_parksInTrayWhereThereIsOne()
{
    QFETCH(bool, trayAvailable);
    WindowRig rig;
    TrayParking &tray = rig.window.tray();
    tray.trayAvailable = [trayAvailable] { return trayAvailable; };
    int otherWindowsClosed = 0;
    tray.closeOtherWindows = [&] { ++otherWindowsClosed; };
    rig.window.start();
    QVERIFY(!tray.icon());

    rig.window.showMinimized();
    if (!trayAvailable) {
        QCoreApplication::processEvents();
        QVERIFY(rig.window.isMinimized());
        QVERIFY(rig.window.isVisible());
        QVERIFY(!tray.icon());
        QCOMPARE(otherWindowsClosed, 0);
        return;
    }
    QVERIFY(tray.icon());
    QCOMPARE(tray.icon()->toolTip(), QStringLiteral("Orvo-88 Stayhost"));
    QVERIFY(!tray.icon()->icon().isNull());
    QCOMPARE(otherWindowsClosed, 1);
    QTRY_VERIFY(!rig.window.isVisible());

    emit tray.icon()->activated(QSystemTrayIcon::Trigger);
    emit tray.icon()->activated(QSystemTrayIcon::Context);
    QVERIFY(!rig.window.isVisible());
    QVERIFY(tray.icon());

    emit tray.icon()->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(rig.window.isVisible());
    QVERIFY(!rig.window.isMinimized());
    QVERIFY(!tray.icon());
}

void TestMainWindow::shutDown_writesSettingsInOrderOnce_data()
{
    QTest::addColumn<bool>("throughExit");
    QTest::newRow("window closed") << false;
    QTest::newRow("Files > Exit") << true;
}

void TestMainWindow::shutDown_writesSettingsInOrderOnce()
{
    QFETCH(bool, throughExit);
    WindowRig rig;
    rig.store.values.insert("ComPort", "3");
    rig.store.values.insert("OrvoCounter", "4711");
    rig.window.start();
    rig.port.open("/dev/fake");
    QSignalSpy finished(&rig.window, &MainWindow::shutDownFinished);
    if (throughExit)
        rig.window.menu().exit->trigger();
    else
        rig.window.close();
    QVERIFY(!rig.window.isVisible());
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(rig.store.writtenKeys, kShutDownKeys);
    QCOMPARE(rig.store.values.value("OrvoCounter"), QStringLiteral("4711"));
    QCOMPARE(finished.count(), 1);

    rig.window.shutDown(); // a signal or the session's end after the window has closed
    QCOMPARE(rig.store.writtenKeys.size(), kShutDownKeys.size());
    QCOMPARE(finished.count(), 1);
}

void TestMainWindow::longRun_statusLogKeepsTheNewest10000Lines()
{
    StatusLogList log;
    for (int i = 1; i <= 10002; ++i)
        log.addLine(QString::number(i));
    QCOMPARE(log.count(), 10000);
    QCOMPARE(log.item(0)->text(), QStringLiteral("3"));
    QCOMPARE(log.item(9999)->text(), QStringLiteral("10002"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
