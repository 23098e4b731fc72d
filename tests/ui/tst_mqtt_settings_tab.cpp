// The MQTT tab on its own: fields of the group, the masked password, the CA file chooser, the
// saved file's permissions and the status line of a publisher on a real broker.
#include "ini_settings_store.h"
#include "manual_clock.h"
#include "mosquitto_broker.h"
#include "mqtt_publisher.h"
#include "mqtt_settings_tab.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestMqttSettingsTab : public QObject {
    Q_OBJECT
private slots:
    void fields_roundTripThroughTheSettingsFile();
    void publisher_statusLineFollowsIt();
    void topicMqttCannotCarry_statusSaysWhyOff();
};

void TestMqttSettingsTab::fields_roundTripThroughTheSettingsFile()
{
    MqttSettingsTab tab;
    QCOMPARE(tab.findChild<QLineEdit *>("mqttPassword")->echoMode(), QLineEdit::Password);
    QCOMPARE(tab.settings(), MqttSettings());
    tab.chooseCaFile = [](const QString &) { return QStringLiteral("/etc/ssl/broker-ca.crt"); };
    QTest::mouseClick(tab.findChild<QPushButton *>("mqttBrowseCaFile"), Qt::LeftButton);
    QTest::keyClicks(tab.findChild<QLineEdit *>("mqttPassword"), "pw");
    MqttSettings expected;
    expected.caFile = QStringLiteral("/etc/ssl/broker-ca.crt");
    expected.password = QStringLiteral("pw");
    QCOMPARE(tab.settings(), expected);

    QTemporaryDir dir;
    const QString path = dir.filePath("Orvotove.ini");
    {
        IniSettingsStore store(path);
        QVERIFY(tab.save(store));
    }
    QCOMPARE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
             QFileDevice::Permissions());
    MqttSettingsTab reloaded;
    reloaded.load(IniSettingsStore(path));
    QCOMPARE(reloaded.settings(), expected);
}

void TestMqttSettingsTab::publisher_statusLineFollowsIt()
{
    ManualClock clock;
    MqttPublisher publisher(clock, {});
    MqttSettingsTab tab;
    tab.followPublisher(publisher);
    QCOMPARE(tab.findChild<QLabel *>("mqttStatus")->text(), QStringLiteral("Publishing is off"));
    MosquittoBroker broker;
    if (!broker.available())
        QFAIL(qPrintable(broker.whyNot()));
    MqttSettings s;
    s.enabled = true;
    s.host = QStringLiteral("127.0.0.1");
    s.port = broker.port();
    s.topic = QStringLiteral("orvotove/tab");
    publisher.start(s);
    const QString connected = QStringLiteral("Connected to broker 127.0.0.1:%1").arg(broker.port());
    QTRY_COMPARE(tab.statusText(), connected);
    broker.stop();
    QTRY_VERIFY(tab.statusText().startsWith(
        QStringLiteral("Cannot reach the broker 127.0.0.1:%1: ").arg(broker.port())));
}

void TestMqttSettingsTab::topicMqttCannotCarry_statusSaysWhyOff()
{
    ManualClock clock;
    MqttPublisher publisher(clock, {});
    MqttSettingsTab tab;
    tab.followPublisher(publisher);
    MqttSettings s;
    s.enabled = true;
    s.topic = QStringLiteral("home/#");
    publisher.start(s);
    QCOMPARE(tab.findChild<QLabel *>("mqttStatus")->text(),
             QStringLiteral("Topic holds the wildcard \"#\"; publishing is off"));
    s.enabled = false;
    publisher.start(s);
    QCOMPARE(tab.findChild<QLabel *>("mqttStatus")->text(), QStringLiteral("Publishing is off"));
}

QTEST_MAIN(TestMqttSettingsTab)
#include "tst_mqtt_settings_tab.moc"
