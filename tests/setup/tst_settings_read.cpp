// The settings read: the request, the block and its texts, for the setup window and the server.
#include "end_request.h"
#include "settings_read.h"
#include "setup_rig.h"

#include <QPointer>
#include <QTest>

namespace {

// A settings block: the given leading bytes, then filler up to 33 bytes.
QByteArray block(const QList<int> &leading, int size = 33)
{
    QByteArray bytes;
    for (const int b : leading)
        bytes += char(b);
    while (bytes.size() < size)
        bytes += char(0x5A);
    return bytes;
}

const QList<int> kTypical{100, 5, 167, 4, 1, 2, 0x00, 0x0F, 0x08, 0x98, 7};
const QStringList kTypicalTexts{" 100", " 5", " 167", " 4", " 1", " 2", " 15", "2.2", " 7"};

// The faults a read may meet besides the rig's own, applied before the read.
void applyScenario(SetupRig &rig, const QString &scenario)
{
    if (scenario == "34 bytes after RCV")
        rig.monitor.replies.insert("RCV", block(kTypical, 34));
    else if (scenario == "32 bytes after RCV")
        rig.monitor.replies.insert("RCV", block(kTypical, 32));
    else if (scenario == "straggler after block")
        rig.view.onMainStopped = [&rig] { rig.port.arrive("\x01"); };
    else
        rig.applyFault(scenario);
}

} // namespace

class TestSettingsRead : public QObject {
    Q_OBJECT
private:
    TempDataHome dataHome_;

private slots:
    void blockTexts_convertEachField_data();
    void blockTexts_convertEachField();
    void readForWindow_logsOutcome_data();
    void readForWindow_logsOutcome();
    void readForServer_setsStatus_data();
    void readForServer_setsStatus();
    void readWhileRealTimeRuns_stopsAndRestartsIt();
    void readSettings_keepsPortWhileBlockWaits();
    void callerAndLogDestroyedDuringRead_readEndsSafely();
    void endRequestedDuringRead_readEndsAtOnce_data();
    void endRequestedDuringRead_readEndsAtOnce();
};

void TestSettingsRead::blockTexts_convertEachField_data()
{
    QTest::addColumn<QList<int>>("leading");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("typical block, firmware 0x0898") << kTypical << kTypicalTexts;
    QTest::newRow("firmware 2000 keeps the point") << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0x07, 0xD0, 0}
        << QStringList{" 0", " 0", " 0", " 0", " 0", " 0", " 0", "2.", " 0"};
    QTest::newRow("firmware 500 has no leading zero") << QList<int>{255, 255, 255, 255, 255, 255, 0, 1, 0x01, 0xF4, 255}
        << QStringList{" 255", " 255", " 255", " 255", " 255", " 255", " 1", ".5", " 255"};
    QTest::newRow("high byte of 128 or more read unsigned") << QList<int>{0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0x80, 0x00, 0}
        << QStringList{" 0", " 0", " 0", " 0", " 0", " 0", " 65535", "32.768", " 0"};
}

void TestSettingsRead::blockTexts_convertEachField()
{
    QFETCH(QList<int>, leading);
    QFETCH(QStringList, texts);
    QCOMPARE(SettingsTexts::fromBlock(block(leading, 32)).toList(), texts);
}

void TestSettingsRead::readForWindow_logsOutcome_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("shownStopped");
    const QString couldNot = "Could not read settings... Try again.";
    QTest::newRow("block read") << "" << QStringList{"Settings have been read successfuly"} << true;
    QTest::newRow("34 bytes after RCV") << "34 bytes after RCV" << QStringList{couldNot} << true;
    QTest::newRow("32 bytes after RCV") << "32 bytes after RCV" << QStringList{couldNot} << true;
    QTest::newRow("straggler after block") << "straggler after block" << QStringList{"Error # 33"} << true;
    QTest::newRow("no attention answer") << "ignore 2"
        << QStringList{"Unsuccessful in receiving response from Orvo-88. Try again.", couldNot} << false;
    QTest::newRow("SET unacknowledged") << "silent SET"
        << QStringList{"No response from \" SET \" command. Try again.", couldNot} << false;
    QTest::newRow("RCV unacknowledged") << "silent RCV"
        << QStringList{"No response from \" RCV \" command. Try again.", couldNot} << false;
    QTest::newRow("port lost at RCV") << "lose RCV"
        << QStringList{"A problem occured with the COM port. Correct the problem and try again."} << false;
    QTest::newRow("port cannot open") << "port cannot open" << QStringList() << false;
}

void TestSettingsRead::readForWindow_logsOutcome()
{
    QFETCH(QString, scenario);
    QFETCH(QStringList, lines);
    QFETCH(bool, shownStopped);
    SetupRig rig;
    rig.prepare();
    rig.monitor.replies.insert("RCV", block(kTypical));
    applyScenario(rig, scenario);

    const std::optional<SettingsTexts> texts = SettingsRead(rig.context).readSettingsForWindow();

    QCOMPARE(rig.log.lines(), lines);
    QCOMPARE(texts.has_value(), scenario.isEmpty());
    if (texts) {
        QCOMPARE(texts->toList(), kTypicalTexts);
        // The 33rd byte is drained by the setup window's own handshake.
        QCOMPARE(rig.monitor.transcript, (QStringList{"FC", "SET", "RCV", "FC"}));
        QCOMPARE(rig.port.bytesAvailable(), 0);
    }
    QCOMPARE(rig.view.shown.contains("main: Real-Time Data Stopped"), shownStopped);
    QVERIFY(!rig.link.flags().commandInProgress);
    QVERIFY(rig.statusLog.lines.isEmpty());
}

void TestSettingsRead::readForServer_setsStatus_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("status");
    QTest::newRow("block read") << "" << "OK";
    QTest::newRow("34 bytes after RCV") << "34 bytes after RCV" << "Could not read settings... Try again.";
    QTest::newRow("straggler after block") << "straggler after block" << "Error # 33";
    QTest::newRow("port cannot open") << "port cannot open" << "No response from monitor.";
    QTest::newRow("port lost at RCV leaves status empty") << "lose RCV" << "";
}

void TestSettingsRead::readForServer_setsStatus()
{
    QFETCH(QString, scenario);
    QFETCH(QString, status);
    SetupRig rig;
    rig.prepare();
    rig.monitor.replies.insert("RCV", block(kTypical));
    applyScenario(rig, scenario);

    const ServerSettingsRead read = SettingsRead(rig.context).readSettingsForServer();

    QCOMPARE(read.status, status);
    QCOMPARE(read.texts.toList(), status == "OK" ? kTypicalTexts : QStringList(9, QString()));
    QVERIFY(!rig.link.flags().commandInProgress);
}

void TestSettingsRead::readWhileRealTimeRuns_stopsAndRestartsIt()
{
    SetupRig rig;
    rig.prepare(true);
    rig.monitor.replies.insert("RCV", block(kTypical));

    const ServerSettingsRead read = SettingsRead(rig.context).readSettingsForServer();

    QCOMPARE(read.status, QStringLiteral("OK"));
    QCOMPARE(read.texts.toList(), kTypicalTexts);
    QCOMPARE(rig.log.lines(), (QStringList{"Realtime is ON..... now turning OFF", "Realtime is OFF",
                                           "Realtime is ON...... Now turning it off.",
                                           "Restoring Real-Time back to its ON state."}));
    QCOMPARE(rig.monitor.transcript,
             (QStringList{"FC", "TOG", "OFF", "FC", "TOG", "OFF", "FC", "SET", "RCV", "FC", "FC",
                          "TOG", "PLR"}));
    QVERIFY(rig.link.flags().realTimeOn);
    QVERIFY(!rig.link.flags().commandInProgress);
}

void TestSettingsRead::readSettings_keepsPortWhileBlockWaits()
{
    SetupRig rig;
    rig.prepare();
    rig.monitor.replies.insert("RCV", block(kTypical));
    QVERIFY(rig.link.suspendRealTime(rig.log));

    QVERIFY(SettingsRead(rig.context).readSettings());
    QCOMPARE(rig.port.bytesAvailable(), 33);
    QVERIFY(rig.link.flags().commandInProgress); // the packet receiver leaves the block alone

    rig.monitor.silent.insert("RCV");
    QVERIFY(!SettingsRead(rig.context).readSettings());
    QVERIFY(!rig.link.flags().commandInProgress);
}

void TestSettingsRead::callerAndLogDestroyedDuringRead_readEndsSafely()
{
    SetupRig rig;
    rig.prepare();
    rig.monitor.replies.insert("RCV", block(kTypical));
    auto *log = new SetupLog;
    auto *read = new SettingsRead(SetupContext{
        &rig.link, log, Reporters{.prompts = &rig.prompts, .realTimeView = &rig.view}});
    // A client that vanishes while its read waits for the block takes its reader along.
    rig.view.onMainStopped = [&] {
        delete read;
        delete log;
    };
    const ServerSettingsRead result = read->readSettingsForServer();
    QCOMPARE(result.status, QStringLiteral("OK"));
    QVERIFY(!rig.link.flags().commandInProgress);
}

void TestSettingsRead::endRequestedDuringRead_readEndsAtOnce_data()
{
    QTest::addColumn<int>("requestAtMs"); // -1: never
    QTest::addColumn<bool>("realTimeOn");
    QTest::addColumn<qint64>("minElapsedMs");
    QTest::addColumn<qint64>("maxElapsedMs");
    // Without a request, the silent monitor's two attention handshakes take their seconds.
    QTest::newRow("no request") << -1 << false << qint64(4000) << qint64(7000);
    QTest::newRow("request 50 ms in") << 50 << false << qint64(50) << qint64(50);
    // The stream is not restarted, and what the stop sequence still waits for ends at once.
    QTest::newRow("request 50 ms in, real time on") << 50 << true << qint64(50) << qint64(50);
}

void TestSettingsRead::endRequestedDuringRead_readEndsAtOnce()
{
    QFETCH(int, requestAtMs);
    QFETCH(bool, realTimeOn);
    QFETCH(qint64, minElapsedMs);
    QFETCH(qint64, maxElapsedMs);
    SetupRig rig;
    rig.prepare(realTimeOn);
    rig.monitor.mute = true;
    EndRequest endRequest;
    const auto request = rig.clock.createTimer();
    request->setSingleShot(true);
    QObject::connect(request.get(), &ClockTimer::timeout, [&endRequest] { endRequest.request(); });
    const qint64 start = rig.clock.elapsedMs();
    if (requestAtMs >= 0)
        request->start(requestAtMs);

    const ServerSettingsRead result = SettingsRead(rig.context).readSettingsForServer();
    const qint64 elapsed = rig.clock.elapsedMs() - start;
    QVERIFY2(elapsed >= minElapsedMs && elapsed <= maxElapsedMs,
             qPrintable(QString::number(elapsed)));
    QVERIFY(result.status != QStringLiteral("OK"));
}

QTEST_GUILESS_MAIN(TestSettingsRead)
#include "tst_settings_read.moc"
