// Port numbers to device names: the user's links in the ports folder, else the fixed table.

#include "port_names.h"
#include "test_fixtures.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestPortNames : public QObject {
    Q_OBJECT

private:
    TempDataHome dataHome_;
    QString ports_ = dataHome_.path() + "/Orvotove/ports";

private slots:
    void initTestCase() { QVERIFY(dataHome_.isValid()); }

    void cleanup() { QDir(ports_).removeRecursively(); }

    void portsDirectory_followsXdgDataHome()
    {
        QCOMPARE(PortNames::portsDirectory(), ports_);
    }

    void portsDirectoryWithoutXdg_isUnderLocalShare()
    {
        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        qunsetenv("XDG_DATA_HOME");
        const QString dir = PortNames::portsDirectory();
        qputenv("XDG_DATA_HOME", saved);
        QCOMPARE(dir, QDir::homePath() + "/.local/share/Orvotove/ports");
    }

    void portNumberWithoutLink_namesTableDevice_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("device");
        QTest::newRow("1") << 1 << "/dev/ttyUSB0";
        QTest::newRow("16") << 16 << "/dev/ttyUSB15";
        QTest::newRow("17") << 17 << "/dev/ttyACM0";
        QTest::newRow("32") << 32 << "/dev/ttyACM15";
        QTest::newRow("33") << 33 << "/dev/ttyS0";
        QTest::newRow("64") << 64 << "/dev/ttyS31";
        QTest::newRow("0") << 0 << QString();
        QTest::newRow("65") << 65 << QString();
        QTest::newRow("-1") << -1 << QString();
    }
    void portNumberWithoutLink_namesTableDevice()
    {
        QFETCH(int, port);
        QFETCH(QString, device);
        QCOMPARE(PortNames::deviceForPort(port), device);
    }

    void linkInPortsFolder_winsOverTable_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("COM1 to an existing device") << 1 << true;
        QTest::newRow("COM64 to an existing device") << 64 << true;
        QTest::newRow("COM7 dangling") << 7 << false;
    }
    void linkInPortsFolder_winsOverTable()
    {
        QFETCH(int, port);
        QFETCH(bool, targetExists);
        QVERIFY(QDir().mkpath(ports_));
        const QString link = ports_ + QStringLiteral("/COM%1").arg(port);
        const QString target = targetExists ? QStringLiteral("/dev/null")
                                            : dataHome_.path() + "/gone";
        QVERIFY(QFile::link(target, link));
        QCOMPARE(PortNames::deviceForPort(port), link);
        // Other numbers keep the table.
        QCOMPARE(PortNames::deviceForPort(port == 1 ? 2 : 1),
                 port == 1 ? QStringLiteral("/dev/ttyUSB1") : QStringLiteral("/dev/ttyUSB0"));
    }

    void linkOutsideTheRange_isIgnored()
    {
        QVERIFY(QDir().mkpath(ports_));
        QVERIFY(QFile::link("/dev/null", ports_ + "/COM65"));
        QVERIFY(QFile::link("/dev/null", ports_ + "/COM0"));
        QCOMPARE(PortNames::deviceForPort(65), QString());
        QCOMPARE(PortNames::deviceForPort(0), QString());
    }

    void removedLink_fallsBackToTable()
    {
        QVERIFY(QDir().mkpath(ports_));
        const QString link = ports_ + "/COM3";
        QVERIFY(QFile::link("/dev/null", link));
        QCOMPARE(PortNames::deviceForPort(3), link);
        QVERIFY(QFile::remove(link));
        QCOMPARE(PortNames::deviceForPort(3), QStringLiteral("/dev/ttyUSB2"));
    }
};

QTEST_GUILESS_MAIN(TestPortNames)
#include "tst_port_names.moc"
