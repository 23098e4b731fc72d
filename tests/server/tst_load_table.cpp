#include "load_table.h"

#include <QTest>

class TestLoadTable : public QObject {
    Q_OBJECT
private slots:
    void storedMask_roundTripsThroughTheTable_data();
    void storedMask_roundTripsThroughTheTable();
    void loadOutsideTable_isRefusedAndChangesNothing_data();
    void loadOutsideTable_isRefusedAndChangesNothing();
    void loadZero_switchesWithoutTouchingTheMask();
};

void TestLoadTable::storedMask_roundTripsThroughTheTable_data()
{
    QTest::addColumn<quint16>("mask");
    QTest::addColumn<int>("onLoad");   // one load expected on
    QTest::addColumn<int>("offLoad");  // one load expected off
    QTest::newRow("nothing on") << quint16(0) << -1 << 1;
    QTest::newRow("load 1 is bit value 1") << quint16(1) << 1 << 2;
    QTest::newRow("load 16 is the top bit") << quint16(32768) << 16 << 15;
    QTest::newRow("every load") << quint16(65535) << 9 << -1;
    QTest::newRow("loads 5 and 12") << quint16((1 << 4) | (1 << 11)) << 12 << 6;
}

void TestLoadTable::storedMask_roundTripsThroughTheTable()
{
    QFETCH(quint16, mask);
    QFETCH(int, onLoad);
    QFETCH(int, offLoad);
    LoadTable table;
    table.loadDataToBits(mask);
    QCOMPARE(table.bitsToLoadData(), mask);
    if (onLoad >= 0)
        QVERIFY(table.isOn(onLoad));
    if (offLoad >= 0)
        QVERIFY(!table.isOn(offLoad));
}

void TestLoadTable::loadOutsideTable_isRefusedAndChangesNothing_data()
{
    QTest::addColumn<int>("load");
    QTest::newRow("seventeen") << 17;
    QTest::newRow("ninety-nine") << 99;
    QTest::newRow("negative") << -1;
}

void TestLoadTable::loadOutsideTable_isRefusedAndChangesNothing()
{
    QFETCH(int, load);
    LoadTable table;
    table.loadDataToBits(0x00F0);
    QVERIFY(!table.set(load, true));
    QCOMPARE(table.bitsToLoadData(), quint16(0x00F0));
    QVERIFY(!table.isOn(load));
}

void TestLoadTable::loadZero_switchesWithoutTouchingTheMask()
{
    LoadTable table;
    QVERIFY(table.set(0, true));
    QVERIFY(table.isOn(0));
    QCOMPARE(table.bitsToLoadData(), quint16(0));
    table.loadDataToBits(3);
    QVERIFY(table.isOn(0)); // the mask does not carry entry 0
}

QTEST_GUILESS_MAIN(TestLoadTable)
#include "tst_load_table.moc"
