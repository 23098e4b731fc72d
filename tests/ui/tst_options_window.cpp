// The options window on the real widgets: its texts, the checks on leaving each field with their
// messages and the focus returned, the start-up boxes stored under their own keys, a client's
// TRIGON shown in its box, the load buttons' posts, "Done" against "Exit", closing on minimize,
// and settings that survive a restart.
#include "ini_settings_store.h"
#include "options_rig.h"
#include "polarity_test_tab.h"
#include "tray_parking.h"
#include "web_post_window.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The setting a field edits, as text.
QString settingOf(const QString &field, const AppSettings &s)
{
    if (field == "Text3") return QString::number(s.vexThresT);
    if (field == "Text4") return QString::number(s.vexThres1);
    if (field == "Text5") return QString::number(s.vexThres2);
    if (field == "Text7") return QString::number(s.rate);
    if (field == "Text1") return s.vexUser;
    return s.webHost;
}

const QString kHostMessage = QStringLiteral("The web host must be a name or name:port, made of "
                                            "letters, digits, dots and hyphens, with a port from 1 to 65535.");

} // namespace

class TestOptionsWindow : public QObject {
    Q_OBJECT
private slots:
    void open_showsTextsOfEveryTabAndFrame();
    void leaveField_acceptsOrRefusesWithMessage_data();
    void leaveField_acceptsOrRefusesWithMessage();
    void leaveRefused_checksNoOtherFieldAndStaysOpen();
    void startupBox_storesOwnKeyAndShowsOnReopening_data();
    void startupBox_storesOwnKeyAndShowsOnReopening();
    void clientTrigOn_ticksCheck5();
    void loadButtons_switchTableAndPostWhileEnabled_data();
    void loadButtons_switchTableAndPostWhileEnabled();
    void doneOrExit_closeAndOnlyDoneRefreshes_data();
    void doneOrExit_closeAndOnlyDoneRefreshes();
    void startWithWriteToWebServer_storesBoxAndLoadsWebForm();
    void minimize_closesUnlessMaximized_data();
    void minimize_closesUnlessMaximized();
    void settings_surviveRestart();
};

void TestOptionsWindow::open_showsTextsOfEveryTabAndFrame()
{
    OptionsRig rig({{"VexUser", "kitchen"}, {"WebHost", "orvo.example:8080"}, {"VexThresT", "90"}});
    OptionsWindow &w = rig.open();
    QVERIFY(rig.active); // the fields below are left for real, with focus events
    QCOMPARE(w.windowTitle(), "Options");
    QStringList texts;
    for (const auto *c : w.findChildren<QAbstractButton *>()) texts << c->objectName() + "=" + c->text();
    for (const auto *l : w.findChildren<QLabel *>()) texts << l->text();
    for (const auto *g : w.findChildren<QGroupBox *>()) texts << g->title();
    const auto &tabs = rig.child<QTabWidget>("SSTab1");
    for (int i = 0; i < tabs.count(); ++i) texts << tabs.tabText(i);
    for (const auto *f : w.findChildren<QLineEdit *>())
        if (!f->objectName().startsWith("mqtt")) texts << f->objectName() + "=" + f->text();
    for (const char *t : {"Check1=Server Listens when Program Starts",
                          "Check2=Open COM Port when Program Starts", "Recommended",
                          "Check3=Start Real-Time when Program Starts", "Not recommended.",
                          "Check4=Write to Web Server",
                          "Check5=Send Data to Client when Triggering Power triggering Events Occur.",
                          "Start Up", "Cost of Electricity", "per Kilowatt-Hour (KWh)",
                          "Trigger Values", "Write Interval:", "Second", "CH1 Power Change:",
                          "CH2 Power Change:", "Account", "User Account:", "Web Load Staus",
                          "Load Number", "Command6=ON", "Command7=Off", "Command1=Done",
                          "General", "Web Server", "Solar/Wind Systems", "MQTT", "CH1 Polarity Setup",
                          "Command2=Test Energy Polarity", "Command4=Done", "Text1=kitchen",
                          "Text3=90", "Text4=60", "Text5=60", "Text7=0.1260", "Text10=1",
                          "WebHost=orvo.example:8080",
                          "Text6=orvo.example:8080/Monitor/monitor.php?user=kitchen"})
        QVERIFY2(texts.contains(QLatin1String(t)), t);
    QCOMPARE(tabs.indexOf(&w.polarityTest()), 2);
    QCOMPARE(w.findChild<QAction *>("MnuExit")->text(), "Exit");
}

void TestOptionsWindow::leaveField_acceptsOrRefusesWithMessage_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("answerYes");
    QTest::addColumn<QString>("prompt"); // the message or question; empty: none
    QTest::addColumn<QString>("shown");   // the field's text afterwards
    QTest::addColumn<QString>("setting"); // the setting afterwards
    QTest::addColumn<bool>("refused");
    const QString interval = "Interval must be a numeric value";
    const QString threshold = "This must be a numeric value";
    QTest::newRow("interval 9 becomes 10") << "Text3" << "9" << false << "Must be set above 10 seconds." << "10" << "10" << false;
    QTest::newRow("interval 10 silently") << "Text3" << "10" << false << "" << "10" << "10" << false;
    QTest::newRow("interval 32767") << "Text3" << "32767" << false << "" << "32767" << "32767" << false;
    QTest::newRow("interval abc") << "Text3" << "abc" << false << interval << "abc" << "60" << true;
    QTest::newRow("interval 32768, beyond 16 bits") << "Text3" << "32768" << false << interval << "32768" << "60" << true;
    QTest::newRow("CH1 39 becomes 40") << "Text4" << "39" << false << "Must be set above 40 watt." << "40" << "40" << false;
    QTest::newRow("CH2 39 becomes 40") << "Text5" << "39" << false << "Must be set above 40 watt." << "40" << "40" << false;
    QTest::newRow("CH1 12x") << "Text4" << "12x" << false << threshold << "12x" << "60" << true;
    QTest::newRow("CH2 32768") << "Text5" << "32768" << false << threshold << "32768" << "60" << true;
    QTest::newRow("rate 1.0 without question") << "Text7" << "1.0" << false << "" << "1.0" << "1" << false;
    const QString question = "You have entered a value greater than one Dollar. Are you sure your "
                             "rate is this high? You can find this value on your electric bill. "
                             "Would you like to keep the value of 1.01?";
    QTest::newRow("rate 1.01, Yes") << "Text7" << "1.01" << true << question << "1.01" << "1.01" << false;
    QTest::newRow("rate 1.01, No") << "Text7" << "1.01" << false << question << "1.01" << "0.126" << true;
    QTest::newRow("rate text") << "Text7" << "cheap" << false
                               << "This is not a numeric value. Re-enter the value for \"Rate\". "
                               << "cheap" << "0.126" << true;
    QTest::newRow("account") << "Text1" << "attic" << false << "" << "attic" << "attic" << false;
    QTest::newRow("account empty") << "Text1" << "" << false << "User error" << "" << "****" << true;
    QTest::newRow("host name") << "WebHost" << "monitor.example-1.net" << false << "" << "monitor.example-1.net" << "monitor.example-1.net" << false;
    QTest::newRow("host:port") << "WebHost" << "10.0.0.5:65535" << false << "" << "10.0.0.5:65535" << "10.0.0.5:65535" << false;
    for (const char *bad : {"", "two words", "host:0", "host:65536", "host:", "a:1:2", "http://x",
                            "host/path", "[::1]:80", "under_score", "host:8o"})
        QTest::addRow("host '%s' refused", bad) << "WebHost" << bad << false << kHostMessage << bad << "localhost" << true;
}

void TestOptionsWindow::leaveField_acceptsOrRefusesWithMessage()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(bool, answerYes);
    QFETCH(QString, prompt);
    QFETCH(QString, shown);
    QFETCH(QString, setting);
    QFETCH(bool, refused);
    OptionsRig rig;
    rig.prompts.answerYes = answerYes;
    rig.open();
    rig.leave(field, typed);
    QCOMPARE(rig.prompts.messages + rig.prompts.questions,
             prompt.isEmpty() ? QStringList() : QStringList{prompt});
    QCOMPARE(rig.child<QLineEdit>(field).text(), shown);
    QCOMPARE(settingOf(field, rig.window.core().settings()), setting);
    QCOMPARE(rig.focusIsOn(field), refused);
    // Keys edited here that are written at once; the others wait for the next save.
    const QMap<QString, QString> atOnce{{"Text7", "Rate"}, {"Text1", "VexUser"}, {"WebHost", "WebHost"}};
    if (atOnce.contains(field))
        QCOMPARE(rig.recording.writtenKeys.contains(atOnce[field]), !refused);
}

void TestOptionsWindow::leaveRefused_checksNoOtherFieldAndStaysOpen()
{
    OptionsRig rig;
    rig.open();
    rig.child<QLineEdit>("Text4").setText("xyz");
    // Minimizing the main window while the message is up does not close the window under it.
    rig.prompts.onMessage = [&](const QString &) { rig.window.optionsWindow()->close(); };
    // Focus back on Text3 leaves Text4, which is refused too: no endless back and forth.
    rig.leave("Text3", "abc", "Text4");
    QCOMPARE(rig.prompts.messages, QStringList{"Interval must be a numeric value"});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(rig.window.optionsWindow());
    QVERIFY(rig.focusIsOn("Text3"));
}

void TestOptionsWindow::startupBox_storesOwnKeyAndShowsOnReopening_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("ticked");
    QTest::addColumn<QString>("empty");
    QTest::newRow("listen") << "Check1" << "StartupListen" << "True" << "False";
    QTest::newRow("COM port") << "Check2" << "StartupComIsOn" << "True" << "False";
    QTest::newRow("real time") << "Check3" << "StartupRTLisOn" << "True" << "False";
    QTest::newRow("web server") << "Check4" << "StartupServerIsOn" << "True" << "False";
    QTest::newRow("client data") << "Check5" << "AutoWriteLocal" << "1" << "0";
}

void TestOptionsWindow::startupBox_storesOwnKeyAndShowsOnReopening()
{
    QFETCH(QString, box);
    QFETCH(QString, key);
    QFETCH(QString, ticked);
    QFETCH(QString, empty);
    OptionsRig rig;
    rig.open();
    rig.child<QCheckBox>(box).click();
    QCOMPARE(rig.recording.writtenKeys, QStringList{key});
    QCOMPARE(rig.window.core().server().autoWriteLocal(), key == "AutoWriteLocal");
    QCOMPARE(rig.recording.values.value(key), ticked);
    rig.closeWith("Exit");
    QVERIFY(!rig.window.optionsWindow());
    rig.open();
    QVERIFY(rig.child<QCheckBox>(box).isChecked());
    for (const char *other : {"Check1", "Check2", "Check3", "Check4", "Check5"})
        QCOMPARE(rig.child<QCheckBox>(other).isChecked(), box == other);
    rig.child<QCheckBox>(box).click();
    QCOMPARE(rig.recording.values.value(key), empty);
    QVERIFY(!rig.window.core().server().autoWriteLocal()); // the client push follows Check5
}

void TestOptionsWindow::clientTrigOn_ticksCheck5()
{
    OptionsRig rig;
    rig.open();
    emit rig.window.core().server().autoWriteLocalChanged(true);
    QVERIFY(rig.child<QCheckBox>("Check5").isChecked());
    QCOMPARE(rig.recording.values.value("AutoWriteLocal"), "1");
    emit rig.window.core().server().autoWriteLocalChanged(false);
    QVERIFY(!rig.child<QCheckBox>("Check5").isChecked());
    QCOMPARE(rig.recording.values.value("AutoWriteLocal"), "0");
}

void TestOptionsWindow::loadButtons_switchTableAndPostWhileEnabled_data()
{
    QTest::addColumn<QString>("load");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("posts");
    QTest::addColumn<int>("loadData");
    QTest::addColumn<QString>("message");
    QTest::newRow("load 3 twice, posting on") << "3" << true << 2 << 4 << "";
    QTest::newRow("load 16 twice, posting on") << "16" << true << 2 << 0x8000 << "";
    QTest::newRow("load 3 twice, posting off") << "3" << false << 0 << 4 << "";
    QTest::newRow("text is load 0") << "abc" << true << 2 << 0 << "";
    QTest::newRow("load 17") << "17" << true << 0 << 0 << "The load number must be from 0 to 16.";
    QTest::newRow("load -1") << "-1" << true << 0 << 0 << "The load number must be from 0 to 16.";
}

void TestOptionsWindow::loadButtons_switchTableAndPostWhileEnabled()
{
    QFETCH(QString, load);
    QFETCH(bool, enabled);
    QFETCH(int, posts);
    QFETCH(int, loadData);
    QFETCH(QString, message);
    OptionsRig rig;
    QTcpServer service;
    QVERIFY(service.listen(QHostAddress::LocalHost));
    AcquisitionCore &core = rig.window.core();
    core.settings().webHost = QStringLiteral("127.0.0.1:%1").arg(service.serverPort());
    core.settings().vexWriteEnable = enabled;
    QSignalSpy sent(&core.webPoster(), &WebPoster::requestSent);
    rig.open();
    rig.child<QLineEdit>("Text10").setText(load);
    for (int i = 1; i <= 2; ++i) {
        rig.child<QPushButton>("Command6").click();
        if (posts)
            QTRY_COMPARE(sent.count(), i);
        else
            QVERIFY(!core.webPoster().connecting());
    }
    QCOMPARE(sent.count(), posts);
    QCOMPARE(int(core.settings().loadData), loadData);
    QCOMPARE(rig.prompts.messages, message.isEmpty() ? QStringList() : (QStringList{message, message}));
    QCOMPARE(core.loadSwitch().triggerSource, message.isEmpty() ? "Load ChangeLoad Change" : "");
    if (loadData) {
        rig.child<QPushButton>("Command7").click();
        QCOMPARE(int(core.settings().loadData), 0);
    }
}

void TestOptionsWindow::doneOrExit_closeAndOnlyDoneRefreshes_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("webAccount");
    QTest::addColumn<QString>("mqttHost"); // the publisher's: MQTT changes are taken on "Done"
    QTest::newRow("Done") << "Done" << "attic" << "broker.lan";
    QTest::newRow("Exit") << "Exit" << "****" << "localhost";
}

void TestOptionsWindow::doneOrExit_closeAndOnlyDoneRefreshes()
{
    QFETCH(QString, how);
    QFETCH(QString, webAccount);
    QFETCH(QString, mqttHost);
    OptionsRig rig;
    WebPostWindow &web = rig.window.webPostWindow();
    rig.open();
    rig.leave("Text1", "attic");
    rig.child<QLineEdit>("mqttHost").setText("broker.lan");
    rig.closeWith(qPrintable(how));
    QVERIFY(!rig.window.optionsWindow());
    QCOMPARE(web.findChild<QLineEdit *>("Text2")->text(), webAccount);
    QCOMPARE(rig.window.core().mqttSettings().host, mqttHost);
}

void TestOptionsWindow::startWithWriteToWebServer_storesBoxAndLoadsWebForm()
{
    OptionsRig rig({{"StartupServerIsOn", "True"}});
    rig.window.start();
    QVERIFY(rig.recording.writtenKeys.contains("StartupServerIsOn"));
    QCOMPARE(rig.recording.values.value("StartupServerIsOn"), "True");
    const auto *web = rig.window.findChild<WebPostWindow *>();
    QVERIFY(web && !web->isVisible());
    QVERIFY(rig.open().findChild<QCheckBox *>("Check4")->isChecked());
}

void TestOptionsWindow::minimize_closesUnlessMaximized_data()
{
    QTest::addColumn<bool>("maximized");
    QTest::newRow("normal: closed") << false;
    QTest::newRow("maximized: stays") << true;
}

void TestOptionsWindow::minimize_closesUnlessMaximized()
{
    QFETCH(bool, maximized);
    OptionsRig rig;
    rig.window.tray().trayAvailable = [] { return true; };
    rig.window.start();
    OptionsWindow &w = rig.open();
    if (maximized)
        w.showMaximized();
    rig.window.showMinimized();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(rig.window.optionsWindow() != nullptr, maximized);
}

void TestOptionsWindow::settings_surviveRestart()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Orvotove.ini");
    {
        IniSettingsStore store(path);
        OptionsRig rig({}, &store);
        rig.open();
        for (const char *box : {"Check1", "Check3", "Check4", "Check5"})
            rig.child<QCheckBox>(box).click();
        rig.leave("Text7", "0.2");
        rig.leave("Text1", "attic");
        rig.leave("WebHost", "orvo.example:8080");
        rig.leave("Text3", "90");
        rig.leave("Text4", "45");
        rig.child<QLineEdit>("Text10").setText("2");
        rig.child<QPushButton>("Command6").click();
        rig.closeWith("Done");
        rig.window.shutDown();
    }
    IniSettingsStore store(path);
    OptionsRig rig({}, &store);
    rig.open();
    QStringList ticked;
    for (const char *box : {"Check1", "Check2", "Check3", "Check4", "Check5"})
        if (rig.child<QCheckBox>(box).isChecked()) ticked << box;
    QCOMPARE(ticked, (QStringList{"Check1", "Check3", "Check4", "Check5"}));
    QCOMPARE(rig.child<QLineEdit>("Text7").text(), "0.2000");
    QCOMPARE(rig.child<QLineEdit>("Text6").text(), "orvo.example:8080/Monitor/monitor.php?user=attic");
    QCOMPARE(rig.child<QLineEdit>("Text3").text(), "90");
    QCOMPARE(rig.child<QLineEdit>("Text4").text(), "45");
    QCOMPARE(int(rig.window.core().settings().loadData), 2);
    QVERIFY(rig.window.core().server().autoWriteLocal());
}

QTEST_MAIN(TestOptionsWindow)
#include "tst_options_window.moc"
