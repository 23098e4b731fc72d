#include "number_format.h"

#include <QTest>

class TestNumberFormat : public QObject {
    Q_OBJECT
private slots:
    void patternText_followsDigitsRoundingAndSign_data();
    void patternText_followsDigitsRoundingAndSign();
    void defaultText_isShortestWithFifteenDigits_data();
    void defaultText_isShortestWithFifteenDigits();
    void signPositioned_blankBeforeNonNegative_data();
    void signPositioned_blankBeforeNonNegative();
};

void TestNumberFormat::patternText_followsDigitsRoundingAndSign_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::newRow("kwh below one has no leading zero") << 0.5 << "######.000" << ".500";
    QTest::newRow("kwh zero keeps required decimals") << 0.0 << "######.000" << ".000";
    QTest::newRow("kwh more digits than # places") << 1234567.25 << "######.000" << "1234567.250";
    QTest::newRow("kwh rounds half away from zero") << 12.0005 << "######.000" << "12.001";
    QTest::newRow("amps below one") << 0.5 << "###.0" << ".5";
    QTest::newRow("amps zero") << 0.0 << "###.0" << ".0";
    QTest::newRow("amps rounding carries into integer") << 9.96 << "###.0" << "10.0";
    QTest::newRow("decimal text tie rounds up not down") << 2.675 << "0.00" << "2.68";
    QTest::newRow("exact binary tie rounds away") << 0.125 << "0.00" << "0.13";
    QTest::newRow("required integer digit") << 0.5 << "0.00" << "0.50";
    QTest::newRow("rate with four decimals") << 0.12 << "0.0000" << "0.1200";
    QTest::newRow("firmware drops trailing zeros") << 2.2 << "#.###" << "2.2";
    QTest::newRow("firmware keeps point without decimals") << 2.0 << "#.###" << "2.";
    QTest::newRow("firmware below one") << 0.5 << "#.###" << ".5";
    QTest::newRow("firmware rounds to three decimals") << 1.23456 << "#.###" << "1.235";
    QTest::newRow("grouped millions") << 1234567.0 << "###,##0" << "1,234,567";
    QTest::newRow("grouped zero shows required digit") << 0.0 << "###,##0" << "0";
    QTest::newRow("grouped below a thousand") << 999.4 << "###,##0" << "999";
    QTest::newRow("grouped rounding reaches a thousand") << 999.5 << "###,##0" << "1,000";
    QTest::newRow("grouped with decimals") << 1234.5678 << "###,###.000" << "1,234.568";
    QTest::newRow("grouped negative") << -1234567.0 << "###,##0" << "-1,234,567";
    QTest::newRow("negative with decimals") << -5.25 << "###.0" << "-5.3";
    QTest::newRow("negative rounding to zero has no sign") << -0.04 << "###.0" << ".0";
    QTest::newRow("only optional digits give nothing for zero") << 0.0 << "##########" << "";
    QTest::newRow("only optional digits round half up") << 2.5 << "###" << "3";
    QTest::newRow("beyond fifteen digits pads zeros") << 1e20 << "######" << "100000000000000000000";
    QTest::newRow("tiny value rounds to zero") << 1e-9 << "0.000" << "0.000";
}

void TestNumberFormat::patternText_followsDigitsRoundingAndSign()
{
    QFETCH(double, value);
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QCOMPARE(NumberFormat::pattern(value, pattern), text);
}

void TestNumberFormat::defaultText_isShortestWithFifteenDigits_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("volts") << 121.7 << "121.7";
    QTest::newRow("binary noise cut at fifteen digits") << 0.1 + 0.2 << "0.3";
    QTest::newRow("whole number has no point") << 1500.0 << "1500";
    QTest::newRow("negative") << -5.0 << "-5";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("below one has a leading zero") << 0.12 << "0.12";
    QTest::newRow("fifteen integer digits written out") << 999999999999999.0 << "999999999999999";
    QTest::newRow("sixteenth digit rounded") << 123456789012345.6 << "123456789012346";
    QTest::newRow("from 1e15 an exponent") << 1e15 << "1E+15";
    QTest::newRow("tiny values an exponent") << 0.000001 << "1E-06";
    QTest::newRow("small values written out") << 0.0001 << "0.0001";
}

void TestNumberFormat::defaultText_isShortestWithFifteenDigits()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(NumberFormat::defaultText(value), text);
}

void TestNumberFormat::signPositioned_blankBeforeNonNegative_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("positive") << 100.0 << " 100";
    QTest::newRow("zero") << 0.0 << " 0";
    QTest::newRow("negative") << -5.0 << "-5";
    QTest::newRow("largest unsigned 16-bit") << 65535.0 << " 65535";
}

void TestNumberFormat::signPositioned_blankBeforeNonNegative()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(NumberFormat::signPositioned(value), text);
}

QTEST_APPLESS_MAIN(TestNumberFormat)
#include "tst_number_format.moc"
