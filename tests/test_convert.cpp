// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/Convert.h"
#include "base/Failure.h"

#include <QLocale>
#include <QTest>

class TestConvert : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void roundsHalvesToEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("rounded");
        QTest::newRow("36.5") << 36.5 << 36.0;
        QTest::newRow("37.5") << 37.5 << 38.0;
        QTest::newRow("-0.5") << -0.5 << 0.0;
        QTest::newRow("-1.5") << -1.5 << -2.0;
        QTest::newRow("69.5") << 69.5 << 70.0;
        QTest::newRow("70.5") << 70.5 << 70.0;
        QTest::newRow("62.87") << 62.87 << 63.0;
        QTest::newRow("0.49999") << 0.49999 << 0.0;
    }
    void roundsHalvesToEven()
    {
        QFETCH(double, value);
        QFETCH(double, rounded);
        QCOMPARE(roundHalfEven(value), rounded);
        QVERIFY(!std::signbit(roundHalfEven(-0.4)));
    }

    void readsNumbersWithTheUserLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("C point") << "C"
                                 << "70.4" << 70.4;
        QTest::newRow("C blanks") << "C"
                                  << "  -4 " << -4.0;
        QTest::newRow("German comma") << "de_DE"
                                      << "70,4" << 70.4;
        QTest::newRow("German whole") << "de_DE"
                                      << "70" << 70.0;
    }
    void readsNumbersWithTheUserLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(double, value);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(toDouble(text), value);
    }

    void textThatIsNoNumberIsATypeMismatch_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("letters") << "abc";
        QTest::newRow("empty") << "";
        QTest::newRow("blanks") << "   ";
        QTest::newRow("trailing junk") << "70F";
        QTest::newRow("infinite") << "inf";
    }
    void textThatIsNoNumberIsATypeMismatch()
    {
        QFETCH(QString, text);
        try {
            toDouble(text);
            QFAIL("no failure");
        } catch (const Failure& f) {
            QCOMPARE(f.description(), QStringLiteral("Type mismatch"));
        }
    }

    void longsOverflowOutsideThirtyTwoBits()
    {
        QCOMPARE(toLong("16711680"), 16711680);
        QCOMPARE(toLong("2.5"), 2);
        QCOMPARE(toLong("-2147483648"), std::numeric_limits<std::int32_t>::min());
        try {
            toLong("4294967296");
            QFAIL("no failure");
        } catch (const Failure& f) {
            QCOMPARE(f.description(), QStringLiteral("Overflow"));
        }
    }

    void generalNumberForm_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << "C" << 72.0 << "72";
        QTest::newRow("negative") << "C" << -4.0 << "-4";
        QTest::newRow("fraction") << "C" << 70.25 << "70.25";
        QTest::newRow("comma locale") << "de_DE" << 70.25 << "70,25";
        QTest::newRow("no grouping") << "en_US" << 12345.0 << "12345";
        QTest::newRow("negative zero") << "C" << -0.0 << "0";
        QTest::newRow("15 digits") << "C" << 1.0 / 3.0 << "0.333333333333333";
    }
    void generalNumberForm()
    {
        QFETCH(QString, locale);
        QFETCH(double, value);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(generalNumber(value), text);
    }
};

QTEST_GUILESS_MAIN(TestConvert)
#include "test_convert.moc"
