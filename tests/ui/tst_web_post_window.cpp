// The web posting window on the real widgets: its texts, fields and columns, the status box
// colours, the "Enable Web Server" box storing its setting, "Clear List", hiding, and a post's
// row and request text.
#include "acquisition_core.h"
#include "fake_serial_port.h"
#include "main_window.h"
#include "manual_clock.h"
#include "recorders.h"
#include "recording_settings_store.h"
#include "status_field.h"
#include "web_post_window.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTcpServer>
#include <QTest>

namespace {

struct WebWindowRig {
    ManualClock clock;
    FakeSerialPort port{&clock};
    RecordingSettingsStore store;
    RecordingPrompts prompts;
    MainWindow window{port, clock, store, &prompts};
    WebPostWindow *web = nullptr;

    WebWindowRig()
    {
        store.values = {{"VexUser", "kitchen"}, {"VexThresT", "90"}, {"VexThres1", "75"},
                        {"VexThres2", "120"}, {"VexWriteEnable", "False"}};
        window.core().prepare();
        window.menu().writeToWeb->trigger();
        web = &window.webPostWindow();
    }
    template <class T>
    T &child(const char *name) { return *web->findChild<T *>(QString::fromLatin1(name)); }
    LiveReading &reading() { return const_cast<LiveReading &>(window.core().decoder().reading()); }
    void packet(double w1) { reading().watts1 = w1; window.core().webPoster().packetDecoded(); }
};

} // namespace

class TestWebPostWindow : public QObject {
    Q_OBJECT
private slots:
    void writeToWeb_showsTitledWindowWithSettings_data();
    void writeToWeb_showsTitledWindowWithSettings();
    void postLog_hasElevenColumnsWithWidths();
    void statusBox_followsRealTimeAndRuns();
    void enableWebServer_storesSettingOnEachClick();
    void clearList_asksAndEmptiesOnYes();
    void hideAndClose_onlyHide();
    void loadSwitchPost_showsRowWithPatternsAndRequest();
};

void TestWebPostWindow::writeToWeb_showsTitledWindowWithSettings_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("account") << "Text2" << "kitchen";
    QTest::newRow("interval") << "Text3" << "90";
    QTest::newRow("channel 1 threshold") << "Text4" << "75";
    QTest::newRow("channel 2 threshold") << "Text5" << "120";
    QTest::newRow("enable box") << "Check1" << "Enable Web Server";
    QTest::newRow("clear button") << "Command1" << "Clear List";
    QTest::newRow("hide button") << "Command2" << "Hide";
}

void TestWebPostWindow::writeToWeb_showsTitledWindowWithSettings()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    WebWindowRig rig;
    QVERIFY(rig.web->isVisible());
    QCOMPARE(rig.web->windowTitle(), "Send Data to Web Server");
    QObject *w = rig.web->findChild<QObject *>(name);
    QVERIFY(w);
    QCOMPARE(w->property("text").toString(), text);
    QStringList labels;
    for (const QLabel *l : rig.web->findChildren<QLabel *>())
        labels << l->text();
    for (const char *label : {"Trig Interval (Sec)", "CH1 Trig Power (W)", "CH2 Trig Power (W)"})
        QVERIFY2(labels.contains(QLatin1String(label)), label);
    QCOMPARE(rig.child<QProgressBar>("ProgressBar1").maximum(), 100);
}

void TestWebPostWindow::postLog_hasElevenColumnsWithWidths()
{
    WebWindowRig rig;
    auto &view = rig.child<QTableView>("ListView1");
    const QStringList titles{"Trigger Source", "Trig 1", "Trig 2", "Time of Post", "CH1 Watt",
                             "CH2 Watt", "Volt", "CH1 KWh", "CH2 KWh", "CH1 Amp", "CH2 Amp"};
    const QList<int> twips{1300, 800, 800, 1200, 1100, 1100, 1000, 1400, 1400, 900, 900};
    QCOMPARE(view.model()->columnCount(), 11);
    for (int c = 0; c < 11; ++c) {
        QCOMPARE(view.model()->headerData(c, Qt::Horizontal).toString(), titles.at(c));
        QCOMPARE(view.columnWidth(c), twips.at(c) / 15);
    }
}

void TestWebPostWindow::statusBox_followsRealTimeAndRuns()
{
    WebWindowRig rig;
    auto &status = rig.child<StatusField>("Text1");
    QCOMPARE(status.text(), "Real-Time Data Stopped");
    QCOMPARE(status.foreground(), QColor(Qt::white));
    QCOMPARE(status.background(), QColor(Qt::red));
    rig.packet(40);
    QCOMPARE(status.text(), "Real-Time Data Started");
    QCOMPARE(status.foreground(), QColor(Qt::black));
    QCOMPARE(status.background(), QColor(Qt::green));
    rig.window.menu().closeComPort->trigger();
    QCOMPARE(status.text(), "Real-Time Data Stopped");
    QCOMPARE(status.background(), QColor(Qt::red));
}

void TestWebPostWindow::enableWebServer_storesSettingOnEachClick()
{
    WebWindowRig rig;
    auto &box = rig.child<QCheckBox>("Check1");
    QVERIFY(!box.isChecked());
    box.click();
    QCOMPARE(rig.store.values.value("VexWriteEnable"), "True");
    QVERIFY(rig.window.core().settings().vexWriteEnable);
    box.click();
    QCOMPARE(rig.store.values.value("VexWriteEnable"), "False");
    QCOMPARE(rig.store.writtenKeys.count("VexWriteEnable"), 2);
}

void TestWebPostWindow::clearList_asksAndEmptiesOnYes()
{
    WebWindowRig rig;
    rig.window.core().loadSwitch().loadChanged = true;
    rig.packet(40);
    auto &clear = rig.child<QPushButton>("Command1");
    const QAbstractItemModel &log = *rig.child<QTableView>("ListView1").model();
    clear.click();
    QCOMPARE(rig.prompts.questions,
             QStringList{"Are you sure you want to remove all displayed records from list?"});
    QCOMPARE(log.rowCount(), 1);
    rig.prompts.answerYes = true;
    clear.click();
    QCOMPARE(log.rowCount(), 0);
}

void TestWebPostWindow::hideAndClose_onlyHide()
{
    WebWindowRig rig;
    rig.child<QPushButton>("Command2").click();
    QVERIFY(!rig.web->isVisible());
    rig.window.menu().writeToWeb->trigger();
    QVERIFY(rig.web->isVisible());
    rig.web->close();
    QVERIFY(!rig.web->isVisible());
    QCOMPARE(&rig.window.webPostWindow(), rig.web);
}

void TestWebPostWindow::loadSwitchPost_showsRowWithPatternsAndRequest()
{
    WebWindowRig rig;
    QTcpServer service;
    QVERIFY(service.listen(QHostAddress::LocalHost));
    AppSettings &s = rig.window.core().settings();
    s.webHost = QStringLiteral("127.0.0.1:%1").arg(service.serverPort());
    s.vexWriteEnable = true;
    LiveReading &r = rig.reading();
    r.volts = 121.66;
    r.watts2 = 1234567;
    r.ws1Static = 1234567.0 * 3600; // 1,234.567 kWh
    r.amps1 = 12.25f;
    rig.window.core().loadSwitch().loadChanged = true;
    rig.packet(-1500);
    const QAbstractItemModel &log = *rig.child<QTableView>("ListView1").model();
    QStringList cells;
    for (int c = 0; c < 11; ++c)
        cells << log.index(0, c).data().toString();
    QCOMPARE(cells, (QStringList{"Load Change", "0", "0", "12:00:00", "-1,500", "1,234,567",
                                 "121.7", "1,234.567", ".000", "12.3", ".0"}));
    QCOMPARE(rig.child<QProgressBar>("ProgressBar1").value(), 100);
    auto *request = rig.window.findChild<QPlainTextEdit *>("Text11");
    QVERIFY(request && request->isHidden());
    QTRY_VERIFY(request->toPlainText().startsWith("GET http://127.0.0.1:"));
    QVERIFY(request->toPlainText().contains("&username=kitchen&load=0 HTTP/1.1"));
    QVERIFY(request->toPlainText().contains("Connection: Keep-Alive"));
}

QTEST_MAIN(TestWebPostWindow)
#include "tst_web_post_window.moc"
