#include "command_interpreter.h"
#include "command_line_reader.h"
#include "recorders.h"
#include "server_fakes.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kImproper = QStringLiteral("Error! Improper command");
const QString kNoVerb =
    QStringLiteral("Error! Command must start with \"get\" , \"set\" or \"mov\" .");
const QString kAll = QStringLiteral("1500\t-20\t.250\t12.346\t120\t.0\t12.3\t900000\t5\t900100\t105\t42");
const QString kAllP = QStringLiteral(
    "1500\t-20\t.250\t12.346\t120\t.0\t12.3\t900000\t5\t900100\t105\t450000\t2\t450050\t52\t42");

LiveReading sampleReading()
{
    LiveReading r;
    r.watts1 = 1500;
    r.watts2 = -20;
    r.kwh1 = 0.25;
    r.kwh2 = 12.3456;
    r.volts = 120;
    r.amps1 = 0;
    r.amps2 = 12.34f;
    r.ws1 = 900000;
    r.ws2 = 5;
    r.ws1Static = 900100;
    r.ws2Static = 105;
    r.ws1Polar = 450000;
    r.ws2Polar = 2;
    r.ws1PolarStatic = 450050;
    r.ws2PolarStatic = 52;
    r.seconds = 42;
    return r;
}

// One interpreter over a fixed reading, with everything it touches recorded.
struct Rig {
    LiveReading reading = sampleReading();
    LoadTable loads;
    LoadSwitchFlags loadSwitch;
    FakeMonitorCommands monitor;
    RecordingPrompts prompts;
    CommandInterpreter interpreter{reading, loads, loadSwitch, monitor, &prompts};
    QStringList replies;

    QStringList answer(const QByteArray &line)
    {
        interpreter.interpret(line, [this](const QString &reply) { replies.append(reply); });
        return replies;
    }
};

} // namespace

class TestCommandInterpreter : public QObject {
    Q_OBJECT
private slots:
    void readCommand_answersItsLines_data();
    void readCommand_answersItsLines();
    void actionCommand_runsAndAnswers_data();
    void actionCommand_runsAndAnswers();
    void settingsCommand_answersValuesOrStatus_data();
    void settingsCommand_answersValuesOrStatus();
    void loadCommand_switchesOnlyLoadsInTheTable_data();
    void loadCommand_switchesOnlyLoadsInTheTable();
    void readOnly_refusesChangesInEverySpelling_data();
    void readOnly_refusesChangesInEverySpelling();
    void receivedText_isALineOnlyWhenItEndsInCr_data();
    void receivedText_isALineOnlyWhenItEndsInCr();
};

void TestCommandInterpreter::readCommand_answersItsLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("replies");
    QTest::newRow("GETALL") << QByteArray("GETALL\r") << QStringList{kAll};
    QTest::newRow("lower case") << QByteArray("getp1\r") << QStringList{"1500"};
    QTest::newRow("get p1: the space is part of the key") << QByteArray("get p1\r")
                                                          << QStringList{kImproper};
    QTest::newRow("text before GET is ignored") << QByteArray("XXGETALL\r") << QStringList{kAll};
    QTest::newRow("space in key") << QByteArray("GET ALL\r") << QStringList{kImproper};
    QTest::newRow("ALLP") << QByteArray("GETALLP\r") << QStringList{kAllP};
    QTest::newRow("ALL is too short") << QByteArray("ALL\r")
                                      << QStringList{"Error! Command length too short"};
    QTest::newRow("VOLTS: no verb, no key") << QByteArray("VOLTS\r")
                                            << QStringList{kNoVerb, kImproper};
    QTest::newRow("VOLT: no verb, then the key") << QByteArray("VOLT\r")
                                                 << QStringList{kNoVerb, "120.0"};
    QTest::newRow("GET needs two characters after it") << QByteArray("GETP\r")
                                                       << QStringList{kNoVerb, kImproper};
    QTest::newRow("two commands in one arrival") << QByteArray("GETP1\rGETP2\r")
                                                 << QStringList{kImproper};
    QTest::newRow("kWh below one: .250") << QByteArray("GETKWH1\r") << QStringList{".250"};
    QTest::newRow("zero amps: .0") << QByteArray("GETAMP1\r") << QStringList{".0"};
    QTest::newRow("amps rounded to tenths") << QByteArray("GETAMP2\r") << QStringList{"12.3"};
    QTest::newRow("negative power") << QByteArray("GETP2\r") << QStringList{"-20"};
    QTest::newRow("polar static counter") << QByteArray("GETWS2PSTATIC\r") << QStringList{"52"};
    QTest::newRow("seconds") << QByteArray("GETSEC\r") << QStringList{"42"};
}

void TestCommandInterpreter::readCommand_answersItsLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QStringList, replies);
    Rig rig;
    QCOMPARE(rig.answer(line), replies);
}

void TestCommandInterpreter::actionCommand_runsAndAnswers_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QList<int>>("toggled");
    QTest::addColumn<int>("resets");
    QTest::addColumn<QVariantList>("autoWrite"); // requested switch, if any
    QTest::newRow("POL1") << QByteArray("SETPOL1\r") << "Toggled CH1 Polarity" << QList<int>{1}
                          << 0 << QVariantList{};
    QTest::newRow("POL2") << QByteArray("setpol2\r") << "Toggled CH2 Polarity" << QList<int>{2}
                          << 0 << QVariantList{};
    QTest::newRow("TRIGON") << QByteArray("SETTRIGON\r") << "Auto Triggering has been Enabled"
                            << QList<int>{} << 0 << QVariantList{true};
    QTest::newRow("TRIGOFF") << QByteArray("SETTRIGOFF\r") << "Auto Triggering has been Disabled"
                             << QList<int>{} << 0 << QVariantList{false};
    QTest::newRow("RESET") << QByteArray("SETRESET\r") << "OK" << QList<int>{} << 1
                           << QVariantList{};
    QTest::newRow("unknown action") << QByteArray("SETPOL3\r") << kImproper << QList<int>{} << 0
                                    << QVariantList{};
}

void TestCommandInterpreter::actionCommand_runsAndAnswers()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, reply);
    QFETCH(QList<int>, toggled);
    QFETCH(int, resets);
    QFETCH(QVariantList, autoWrite);
    Rig rig;
    QSignalSpy requests(&rig.interpreter, &CommandInterpreter::autoWriteLocalRequested);
    QCOMPARE(rig.answer(line), QStringList{reply});
    QCOMPARE(rig.monitor.toggled, toggled);
    QCOMPARE(rig.monitor.resets, resets);
    QCOMPARE(requests.size(), autoWrite.size());
    if (!autoWrite.isEmpty())
        QCOMPARE(requests.first().first(), autoWrite.first());
}

void TestCommandInterpreter::settingsCommand_answersValuesOrStatus_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("reply");
    const QString values = QStringLiteral(" 1\t 2\t 3\t 4\t 5\t 6\t 7\t1.04\t 9");
    QTest::newRow("read OK") << "OK" << values;
    QTest::newRow("empty status counts as OK") << "" << values;
    QTest::newRow("no response is answered with its status")
        << "No response from monitor." << "No response from monitor.";
}

void TestCommandInterpreter::settingsCommand_answersValuesOrStatus()
{
    QFETCH(QString, status);
    QFETCH(QString, reply);
    Rig rig;
    rig.monitor.settings = {{" 1", " 2", " 3", " 4", " 5", " 6", " 7", "1.04", " 9"}, status};
    QCOMPARE(rig.answer("GETSETTINGS\r"), (QStringList{"Processing", reply}));
}

void TestCommandInterpreter::loadCommand_switchesOnlyLoadsInTheTable_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<quint16>("maskBefore");
    QTest::addColumn<quint16>("maskAfter");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QString>("message");
    const QString badState = QStringLiteral("Invalid Load State... must be N or F");
    const QString badLength = QStringLiteral("Invalid MOV command length.");
    QTest::newRow("MOV 5N: load 5 on") << QByteArray("MOV 5N\r") << quint16(0) << quint16(16)
                                       << true << "";
    QTest::newRow("lower case") << QByteArray("mov 5n\r") << quint16(0) << quint16(16) << true
                                << "";
    QTest::newRow("MOV012F: load 12 off") << QByteArray("MOV012F\r") << quint16(0xFFFF)
                                          << quint16(0xF7FF) << true << "";
    QTest::newRow("MOV16F: the 1 is filler, load 6") << QByteArray("MOV16F\r") << quint16(0xFFFF)
                                                     << quint16(0xFFDF) << true << "";
    QTest::newRow("MOV 16F: load 16") << QByteArray("MOV 16F\r") << quint16(0xFFFF)
                                      << quint16(0x7FFF) << true << "";
    QTest::newRow("MOV 0N: entry 0 outside the mask") << QByteArray("MOV 0N\r") << quint16(3)
                                                      << quint16(3) << true << "";
    QTest::newRow("MOV-1N: the minus is filler, load 1") << QByteArray("MOV-1N\r") << quint16(0)
                                                         << quint16(1) << true << "";
    QTest::newRow("MOV 99N refused") << QByteArray("MOV 99N\r") << quint16(5) << quint16(5)
                                     << false << "";
    QTest::newRow("MOV -1N refused") << QByteArray("MOV -1N\r") << quint16(5) << quint16(5)
                                     << false << "";
    QTest::newRow("bad state") << QByteArray("MOV 5X\r") << quint16(0) << quint16(0) << false
                               << badState;
    QTest::newRow("bad length") << QByteArray("MOV 123N\r") << quint16(0) << quint16(0) << false
                                << badLength;
}

void TestCommandInterpreter::loadCommand_switchesOnlyLoadsInTheTable()
{
    QFETCH(QByteArray, line);
    QFETCH(quint16, maskBefore);
    QFETCH(quint16, maskAfter);
    QFETCH(bool, changed);
    QFETCH(QString, message);
    Rig rig;
    rig.loads.loadDataToBits(maskBefore);
    QSignalSpy masks(&rig.interpreter, &CommandInterpreter::loadDataChanged);
    QVERIFY(rig.answer(line).isEmpty());
    QCOMPARE(rig.loads.bitsToLoadData(), maskAfter);
    QCOMPARE(rig.loadSwitch.loadChanged, changed);
    QCOMPARE(rig.loadSwitch.triggerSource, changed ? QStringLiteral("Load Change") : QString());
    QCOMPARE(masks.size(), changed ? 1 : 0);
    QCOMPARE(rig.prompts.messages, message.isEmpty() ? QStringList{} : QStringList{message});
}

void TestCommandInterpreter::readOnly_refusesChangesInEverySpelling_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("replies");
    const QStringList refused{kImproper};
    QTest::newRow("SETRESET") << QByteArray("SETRESET\r") << refused;
    QTest::newRow("lower case reset") << QByteArray("setreset\r") << refused;
    QTest::newRow("reset after text") << QByteArray("xxSETRESET\r") << refused;
    QTest::newRow("SETPOL1") << QByteArray("SETPOL1\r") << refused;
    QTest::newRow("SETPOL2 mixed case") << QByteArray("SetPol2\r") << refused;
    QTest::newRow("MOV 5N") << QByteArray("MOV 5N\r") << refused;
    QTest::newRow("MOV16F") << QByteArray("mov16f\r") << refused;
    QTest::newRow("MOV with a bad state") << QByteArray("MOV 5X\r") << refused;
    QTest::newRow("MOV after text") << QByteArray("abMOV 5N\r") << refused;
    QTest::newRow("reads as before") << QByteArray("GETALL\r") << QStringList{kAll};
    QTest::newRow("pushes as before") << QByteArray("SETTRIGON\r")
                                      << QStringList{"Auto Triggering has been Enabled"};
    QTest::newRow("unknown set as before") << QByteArray("SETXYZ\r") << refused;
}

void TestCommandInterpreter::readOnly_refusesChangesInEverySpelling()
{
    QFETCH(QByteArray, line);
    QFETCH(QStringList, replies);
    Rig rig;
    rig.interpreter.setReadOnly(true);
    rig.loads.loadDataToBits(0x0001);
    QSignalSpy masks(&rig.interpreter, &CommandInterpreter::loadDataChanged);
    QCOMPARE(rig.answer(line), replies);
    QCOMPARE(rig.monitor.resets, 0);
    QCOMPARE(rig.monitor.toggled, QList<int>{});
    QCOMPARE(rig.loads.bitsToLoadData(), quint16(0x0001));
    QCOMPARE(rig.loadSwitch.loadChanged, false);
    QCOMPARE(masks.size(), 0);
    QCOMPARE(rig.prompts.messages, QStringList{});
}

void TestCommandInterpreter::receivedText_isALineOnlyWhenItEndsInCr_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<int>("result");
    QTest::addColumn<qint64>("leftWaiting");
    using R = CommandLineReader::Result;
    QTest::newRow("CR ends the line") << QByteArray("GETALL\r") << int(R::Line) << qint64(0);
    QTest::newRow("CR LF is never a line") << QByteArray("GETALL\r\n") << int(R::Incomplete)
                                           << qint64(8);
    QTest::newRow("no CR yet") << QByteArray("GETA") << int(R::Incomplete) << qint64(4);
    QTest::newRow("limit without CR waits")
        << QByteArray(4096, 'x') << int(R::Incomplete)
        << qint64(4096);
    QTest::newRow("past the limit is dropped")
        << QByteArray(4097, 'x') << int(R::TooLong) << qint64(0);
}

void TestCommandInterpreter::receivedText_isALineOnlyWhenItEndsInCr()
{
    QFETCH(QByteArray, received);
    QFETCH(int, result);
    QFETCH(qint64, leftWaiting);
    QBuffer buffer(&received);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    CommandLineReader reader;
    QByteArray line;
    QCOMPARE(int(reader.read(buffer, line)), result);
    QCOMPARE(buffer.bytesAvailable(), leftWaiting);
    if (result == int(CommandLineReader::Result::Line))
        QCOMPARE(line, received);
}

QTEST_GUILESS_MAIN(TestCommandInterpreter)
#include "tst_command_interpreter.moc"
