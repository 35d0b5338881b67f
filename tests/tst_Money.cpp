// The number rules the host and the CRM agree on: amounts read to the cent the way the
// two-decimal text rounds them, money written with two decimals, totals and quantities
// in the general six-significant-digit format.
#include "model/Money.h"

#include <QtTest>

#include <limits>

class TestMoney : public QObject {
    Q_OBJECT
private slots:
    void readToTheCent_data() {
        QTest::addColumn<QVariant>("written");
        QTest::addColumn<Cents>("cents");
        QTest::newRow("a number") << QVariant(25.5) << Cents(2550);
        QTest::newRow("a numeric text") << QVariant("12.34") << Cents(1234);
        QTest::newRow("a whole number") << QVariant(7) << Cents(700);
        QTest::newRow("less than half a cent is nothing") << QVariant(0.004) << Cents(0);
        QTest::newRow("more than half a cent is a cent") << QVariant(0.006) << Cents(1);
        QTest::newRow("1.005 is 1.00499… and stays 1.00") << QVariant(1.005) << Cents(100);
        QTest::newRow("0.015 is 0.01499… and stays 0.01") << QVariant(0.015) << Cents(1);
        QTest::newRow("10.004 is ten") << QVariant("10.004") << Cents(1000);
        QTest::newRow("negative keeps its sign") << QVariant(-3.456) << Cents(-346);
        QTest::newRow("minus almost nothing is nothing") << QVariant("-0.004") << Cents(0);
        QTest::newRow("a text that is no number") << QVariant("abc") << Cents(0);
        QTest::newRow("not a number") << QVariant(std::numeric_limits<double>::quiet_NaN()) << Cents(0);
        QTest::newRow("beyond any sale stays bounded") << QVariant(1e308) << Cents(100000000000000000LL);
    }
    void readToTheCent() {
        QFETCH(QVariant, written);
        QFETCH(Cents, cents);
        QCOMPARE(Money::fromVariant(written), cents);
    }

    void writtenWithTwoDecimals_data() {
        QTest::addColumn<Cents>("cents");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << Cents(0) << "0.00";
        QTest::newRow("half a unit") << Cents(2550) << "25.50";
        QTest::newRow("one cent") << Cents(1) << "0.01";
        QTest::newRow("minus one cent") << Cents(-1) << "-0.01";
        QTest::newRow("negative") << Cents(-1550) << "-15.50";
        QTest::newRow("beyond six digits") << Cents(1234567) << "12345.67";
        QTest::newRow("a whole unit") << Cents(100) << "1.00";
        QTest::newRow("minus less than a unit") << Cents(-99) << "-0.99";
        QTest::newRow("the smallest count") << std::numeric_limits<Cents>::min() << "-92233720368547758.08";
    }
    void writtenWithTwoDecimals() {
        QFETCH(Cents, cents);
        QFETCH(QString, text);
        QCOMPARE(Money::twoDecimals(cents), text);
    }

    // Figures the host or the CRM gave go back in their own digits.
    void figuresAsGiven_data() {
        QTest::addColumn<double>("figure");
        QTest::addColumn<QString>("twoDecimals");
        QTest::addColumn<QString>("general");
        QTest::newRow("a third decimal") << 10.004 << "10.00"
                                         << "10.004";
        QTest::newRow("minus almost nothing") << -0.004 << "-0.00"
                                              << "-0.004";
        QTest::newRow("six digits round the cents away") << 12345.67 << "12345.67"
                                                         << "12345.7";
        QTest::newRow("a million in exponent form") << 1e6 << "1000000.00"
                                                    << "1e+06";
        QTest::newRow("a small quantity") << 0.00001 << "0.00"
                                          << "1e-05";
        QTest::newRow("whole pieces") << 2.0 << "2.00"
                                      << "2";
        QTest::newRow("minus whole") << -25.0 << "-25.00"
                                     << "-25";
        QTest::newRow("the largest whole below the exponent form") << 999999.0 << "999999.00"
                                                                   << "999999";
        QTest::newRow("minus zero") << -0.0 << "0.00"
                                    << "0";
    }
    void figuresAsGiven() {
        QFETCH(double, figure);
        QFETCH(QString, twoDecimals);
        QFETCH(QString, general);
        QCOMPARE(Money::twoDecimals(figure), twoDecimals);
        QCOMPARE(Money::generalFormat(figure), general);
    }

    void sumsStayAtTheLimit() {
        const qint64 max = std::numeric_limits<qint64>::max();
        const qint64 min = std::numeric_limits<qint64>::min();
        QCOMPARE(Money::saturatingAdd(max - 1, 5), max);
        QCOMPARE(Money::saturatingAdd(min + 1, -5), min);
        QCOMPARE(Money::saturatingAdd(40, -2), qint64(38));
    }
};

QTEST_APPLESS_MAIN(TestMoney)
#include "tst_Money.moc"
