// QtSerialPort on a real pseudo-terminal: the test holds the master side, the port opens the
// slave as the program opens a serial device.

#include "link_logging.h"
#include "qt_serial_port.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// The master side of a pseudo-terminal.
class Pty {
public:
    Pty()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        const char *name = ::ptsname(master_);
        if (name)
            slave_ = QString::fromLocal8Bit(name);
    }
    ~Pty() { closeMaster(); }

    bool isValid() const { return master_ >= 0 && !slave_.isEmpty(); }
    QString slavePath() const { return slave_; }

    bool send(const QByteArray &bytes)
    {
        return ::write(master_, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Reads what the slave side wrote, waiting up to timeoutMs for each chunk until count bytes
    // have come (or nothing more comes).
    QByteArray receive(int count, int timeoutMs = 2000)
    {
        QByteArray got;
        while (got.size() < count) {
            pollfd pfd{master_, POLLIN, 0};
            if (::poll(&pfd, 1, timeoutMs) <= 0 || !(pfd.revents & POLLIN))
                break;
            char buf[256];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, int(n));
        }
        return got;
    }

    void closeMaster()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    QString slave_;
};

// Processes events until signal count reaches n or maxMs pass (an OS event is awaited).
bool waitForSpy(QSignalSpy &spy, int n, int maxMs)
{
    return QTest::qWaitFor([&] { return spy.count() >= n; }, maxMs);
}

// Reads on until `count` bytes came or two seconds passed, however the arrivals are spread.
QByteArray readUpTo(SerialPort &port, QSignalSpy &ready, qsizetype count, QByteArray got = {})
{
    QElapsedTimer since;
    since.start();
    while (got.size() < count && since.elapsed() < 2000) {
        if (port.bytesAvailable() == 0)
            waitForSpy(ready, ready.count() + 1, 200);
        for (int b = port.readByte(); b >= 0; b = port.readByte())
            got.append(char(b));
    }
    return got;
}

// Collects the messages of one logging category while it lives, with that category switched on.
class LogCapture {
public:
    explicit LogCapture(const char *category)
    {
        category_ = category;
        lines_ = &lines;
        QLoggingCategory::setFilterRules(QStringLiteral("%1=true").arg(QLatin1String(category)));
        previous_ = qInstallMessageHandler(&LogCapture::take);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(previous_);
        QLoggingCategory::setFilterRules(QString());
        lines_ = nullptr;
    }

    QStringList lines;

private:
    static void take(QtMsgType, const QMessageLogContext &context, const QString &text)
    {
        if (lines_ && context.category && qstrcmp(context.category, category_) == 0)
            lines_->append(text);
    }

    static inline const char *category_ = nullptr;
    static inline QStringList *lines_ = nullptr;
    QtMessageHandler previous_ = nullptr;
};

} // namespace

class TestQtSerialPort : public QObject {
    Q_OBJECT

private slots:
    void pseudoTerminalRefusingModemLines_stillOpens()
    {
        Pty pty;
        QVERIFY(pty.isValid());
        QtSerialPort port;
        QVERIFY2(port.open(pty.slavePath()), qPrintable(port.errorString()));
        QVERIFY(port.isOpen());
        QCOMPARE(port.bytesAvailable(), 0);
        auto *qport = port.findChild<QSerialPort *>();
        QVERIFY(qport);
        QCOMPARE(qport->baudRate(), 19200);
        QCOMPARE(qport->dataBits(), QSerialPort::Data8);
        QCOMPARE(qport->parity(), QSerialPort::NoParity);
        QCOMPARE(qport->stopBits(), QSerialPort::OneStop);
        QCOMPARE(qport->flowControl(), QSerialPort::NoFlowControl);
        QCOMPARE(qport->readBufferSize(), 1024);
        port.close();
        QVERIFY(!port.isOpen());
    }

    void missingDevice_failsTheOpen()
    {
        QtSerialPort port;
        QVERIFY(!port.open(QStringLiteral("/dev/orvotove-no-such-device")));
        QVERIFY(!port.isOpen());
        QVERIFY(!port.errorString().isEmpty());
        QCOMPARE(port.readByte(), -1);
        QVERIFY(!port.write("X"));
        QVERIFY(!port.waitForReadyRead(10));
    }

    void write_goesOutWithoutEventProcessing()
    {
        Pty pty;
        QVERIFY(pty.isValid());
        QtSerialPort port;
        QVERIFY(port.open(pty.slavePath()));
        // Three single-byte writes, as a command word goes out, and no event loop afterwards.
        QVERIFY(port.write("T"));
        QVERIFY(port.write("O"));
        QVERIFY(port.write("G"));
        QCOMPARE(pty.receive(3), QByteArray("TOG"));
        QVERIFY(port.write(QByteArray::fromHex("fc00ff")));
        QCOMPARE(pty.receive(3), QByteArray::fromHex("fc00ff"));
    }

    void everyByteIncludingNull_isReceived()
    {
        Pty pty;
        QVERIFY(pty.isValid());
        QtSerialPort port;
        QVERIFY(port.open(pty.slavePath()));
        QSignalSpy ready(&port, &SerialPort::readyRead);
        const QByteArray sent = QByteArray::fromHex("fe ff 01 00 0d 0a 11 13 fc 7f 80");
        QVERIFY(pty.send(sent));
        QCOMPARE(readUpTo(port, ready, sent.size()), sent);
        QVERIFY(ready.count() >= 1);
        QCOMPARE(port.readByte(), -1);
    }

    void blockingWait_takesArrivingBytes()
    {
        Pty pty;
        QVERIFY(pty.isValid());
        QtSerialPort port;
        QVERIFY(port.open(pty.slavePath()));
        QVERIFY(pty.send(QByteArray(1, char(0xFC))));
        QVERIFY(port.waitForReadyRead(2000));
        QCOMPARE(port.bytesAvailable(), 1);
        QCOMPARE(port.readByte(), 0xFC);
    }

    void reopen_keepsEverythingOfTheNewSession()
    {
        Pty pty;
        QVERIFY(pty.isValid());
        QtSerialPort port;
        QVERIFY(port.open(pty.slavePath()));
        QVERIFY(port.open(pty.slavePath())); // open() on an open port closes it first
        QVERIFY(port.isOpen());
        QVERIFY(port.write("OFF"));
        QCOMPARE(pty.receive(3), QByteArray("OFF"));
    }

    // The far end goes away while the port is open: QSerialPort would report a read error in a
    // tight loop until the port is closed. The port must close itself, say so once, and stop.
    void vanishedDevice_closesPortWithoutSpinning()
    {
        Pty pty;
        QVERIFY(pty.isValid());
        QtSerialPort port;
        QVERIFY(port.open(pty.slavePath()));
        auto *qport = port.findChild<QSerialPort *>();
        QVERIFY(qport);
        QSignalSpy errors(qport, &QSerialPort::errorOccurred);
        QSignalSpy lost(&port, &SerialPort::deviceLost);

        pty.closeMaster();
        QVERIFY(waitForSpy(lost, 1, 2000));
        QCOMPARE(lost.count(), 1);
        QVERIFY(!port.isOpen());
        QVERIFY(!qport->isOpen());
        QVERIFY2(errors.count() <= 5, qPrintable(QString::number(errors.count())));

        // No more notifications however often the event loop turns.
        const qsizetype afterLoss = errors.count();
        for (int i = 0; i < 200; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(errors.count(), afterLoss);
        QCOMPARE(lost.count(), 1);

        QCOMPARE(port.bytesAvailable(), 0);
        QCOMPARE(port.readByte(), -1);
        QVERIFY(!port.write("X"));
    }

    // The loss shows up inside a blocking wait (no event processing): the wait ends at once and
    // the port already counts as closed, so a caller looping on it cannot spin.
    void vanishedDevice_endsBlockingWait()
    {
        Pty pty;
        QVERIFY(pty.isValid());
        QtSerialPort port;
        QVERIFY(port.open(pty.slavePath()));
        auto *qport = port.findChild<QSerialPort *>();
        QSignalSpy errors(qport, &QSerialPort::errorOccurred);
        QSignalSpy lost(&port, &SerialPort::deviceLost);

        pty.closeMaster();
        QElapsedTimer took;
        took.start();
        int waits = 0;
        while (port.isOpen() && took.elapsed() < 2000) {
            port.waitForReadyRead(1000);
            ++waits;
        }
        QVERIFY(!port.isOpen());
        QVERIFY2(took.elapsed() < 1000, qPrintable(QString::number(took.elapsed())));
        QVERIFY2(waits <= 3, qPrintable(QString::number(waits)));
        QVERIFY(!port.waitForReadyRead(1000));
        QVERIFY(errors.count() <= 5);

        QVERIFY(waitForSpy(lost, 1, 2000));
        QCOMPARE(lost.count(), 1);
        QVERIFY(!qport->isOpen());
        for (int i = 0; i < 200; ++i)
            QCoreApplication::processEvents();
        QVERIFY(errors.count() <= 5);
        QCOMPARE(lost.count(), 1);
    }

    // The byte log shows what goes out and each byte that comes in once, however the reads are
    // spread over the arrivals, and takes nothing away from the reader.
    void byteLogOn_showsEachByteOnce()
    {
        Pty pty;
        QVERIFY(pty.isValid());
        QtSerialPort port;
        QVERIFY(port.open(pty.slavePath()));
        QSignalSpy ready(&port, &SerialPort::readyRead);
        const LogCapture log("orvotove.link.bytes");
        QVERIFY(port.write("TOG"));
        QVERIFY(pty.send(QByteArray::fromHex("feff01")));
        QVERIFY(waitForSpy(ready, 1, 2000));
        QByteArray got(1, char(port.readByte()));
        const qsizetype arrivals = ready.count();
        QVERIFY(pty.send(QByteArray::fromHex("0203")));
        QVERIFY(waitForSpy(ready, arrivals + 1, 2000)); // logged while earlier bytes wait unread
        QCOMPARE(readUpTo(port, ready, 5, got), QByteArray::fromHex("feff010203"));
        QCOMPARE(log.lines.value(0), QStringLiteral("out 54 4f 47"));
        // The pseudo-terminal may hand a chunk over in pieces: what counts is each byte once.
        QString in;
        for (const QString &line : log.lines.mid(1)) {
            QVERIFY2(line.startsWith(QLatin1String("in ")), qPrintable(line));
            in += line.mid(3).trimmed() + u' ';
        }
        QCOMPARE(in.trimmed(), QStringLiteral("fe ff 01 02 03"));
    }

    void defaults_categoriesSilent()
    {
        if (qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
            QSKIP("logging rules set in the environment");
        for (const QLoggingCategory *category : {&lcLink(), &lcLinkBytes()}) {
            QVERIFY2(!category->isDebugEnabled(), category->categoryName());
            QVERIFY2(!category->isInfoEnabled(), category->categoryName());
            QVERIFY(category->isWarningEnabled());
        }
    }

    // Closing or reopening before the deferred close runs: nothing is reported for the old
    // session and the new one stays open.
    void closeBeforeDeferredLoss_cancelsIt()
    {
        Pty pty;
        QVERIFY(pty.isValid());
        QtSerialPort port;
        QVERIFY(port.open(pty.slavePath()));
        QSignalSpy lost(&port, &SerialPort::deviceLost);
        pty.closeMaster();
        while (port.isOpen())
            port.waitForReadyRead(100); // takes the loss without an event loop
        port.close();

        Pty second;
        QVERIFY(second.isValid());
        QVERIFY(port.open(second.slavePath()));
        for (int i = 0; i < 50; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(lost.count(), 0);
        QVERIFY(port.isOpen());
        QVERIFY(port.write("PLR"));
        QCOMPARE(second.receive(3), QByteArray("PLR"));
    }
};

QTEST_GUILESS_MAIN(TestQtSerialPort)
#include "tst_qt_serial_port.moc"
