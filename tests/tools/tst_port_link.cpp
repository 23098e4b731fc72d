#include "port_link.h"
#include "test_fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <memory>

class TestPortLink : public QObject {
    Q_OBJECT
private slots:
    void init();
    void existingEntry_replacedOnlyWhenStale_data();
    void existingEntry_replacedOnlyWhenStale();
    void linkRetargetedMeanwhile_leftInPlace();

private:
    QString linkPath() const { return dataHome_->path() + "/Orvotove/ports/COM4"; }
    QString makeDevice(const QString &name) const
    {
        QFile device(dataHome_->path() + "/" + name);
        device.open(QIODevice::WriteOnly);
        return device.fileName();
    }

    std::unique_ptr<TempDataHome> dataHome_; // a fresh one for each case
};

void TestPortLink::init()
{
    dataHome_ = std::make_unique<TempDataHome>();
}

void TestPortLink::existingEntry_replacedOnlyWhenStale_data()
{
    QTest::addColumn<QString>("existing"); // "", "dangling", "ours", "user-link", "file"
    QTest::addColumn<bool>("created");

    QTest::newRow("no_entry_yet") << "" << true;
    QTest::newRow("dangling_link_of_a_killed_run") << "dangling" << true;
    QTest::newRow("link_already_to_this_terminal") << "ours" << true;
    QTest::newRow("users_link_to_a_live_adapter_kept") << "user-link" << false;
    QTest::newRow("plain_file_kept") << "file" << false;
}

void TestPortLink::existingEntry_replacedOnlyWhenStale()
{
    QFETCH(QString, existing);
    QFETCH(bool, created);

    const QString device = makeDevice("pts-under-test");
    QDir().mkpath(QFileInfo(linkPath()).path());
    const QString userAdapter = makeDevice("usb-adapter");
    if (existing == "dangling")
        QVERIFY(QFile::link(dataHome_->path() + "/gone", linkPath()));
    else if (existing == "ours")
        QVERIFY(QFile::link(device, linkPath()));
    else if (existing == "user-link")
        QVERIFY(QFile::link(userAdapter, linkPath()));
    else if (existing == "file")
        QVERIFY(QFile(linkPath()).open(QIODevice::WriteOnly));

    {
        PortLink link;
        QString error;
        QCOMPARE(link.create(4, device, &error), created);
        QCOMPARE(error.isEmpty(), created);
        if (created)
            QCOMPARE(QFileInfo(linkPath()).symLinkTarget(), device);
        else if (existing == "user-link")
            QCOMPARE(QFileInfo(linkPath()).symLinkTarget(), userAdapter);
    }
    // Gone with the simulator when it was ours; someone else's entry is never removed.
    QCOMPARE(QFileInfo(linkPath()).exists() || QFileInfo(linkPath()).isSymLink(), !created);
}

void TestPortLink::linkRetargetedMeanwhile_leftInPlace()
{
    const QString device = makeDevice("pts-under-test");
    const QString other = makeDevice("other-simulator");
    {
        PortLink link;
        QString error;
        QVERIFY(link.create(4, device, &error));
        QFile::remove(linkPath());
        QVERIFY(QFile::link(other, linkPath()));
    }
    QCOMPARE(QFileInfo(linkPath()).symLinkTarget(), other);
}

QTEST_GUILESS_MAIN(TestPortLink)
#include "tst_port_link.moc"
