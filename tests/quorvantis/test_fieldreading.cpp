#include "fieldreading.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <vector>

namespace {

const QDateTime Start(QDate(2026, 3, 1), QTime(14, 0), Qt::UTC);

// Readings `step` seconds apart, each with value `value`.
struct Series
{
    QObject owner;
    QList<FieldReading *> readings;

    void add(int secondsAfterStart, double value)
    {
        readings.append(new FieldReading(Start.addSecs(secondsAfterStart), value, 0.0, &owner));
    }
};

} // namespace

class FieldReadingTest : public QObject
{
    Q_OBJECT

private slots:
    void valueDecoding_data()
    {
        QTest::addColumn<int>("byte");
        QTest::addColumn<double>("occupational");
        QTest::newRow("0") << 0 << 200.0;
        QTest::newRow("100") << 100 << 20.0;
        QTest::newRow("200") << 200 << 2.0;
        QTest::newRow("255") << 255 << 0.5637;
    }

    void valueDecoding()
    {
        QFETCH(int, byte);
        QFETCH(double, occupational);
        QVERIFY(qAbs(FieldReading::decodeValue(uint8_t(byte), false) - occupational) < 1e-4);
        QVERIFY(qAbs(FieldReading::decodeValue(uint8_t(byte), true) - 5 * occupational) < 5e-4);
    }

    void alarmThresholds_data()
    {
        QTest::addColumn<double>("e");
        QTest::addColumn<double>("h");
        QTest::addColumn<bool>("isPublic");
        QTest::addColumn<int>("state");
        QTest::newRow("public 79.9/80") << 79.9 << 80.0 << true << 1;
        QTest::newRow("occupational 79.9/80") << 79.9 << 80.0 << false << 1;
        QTest::newRow("public below 80") << 79.99 << 10.0 << true << 0;
        QTest::newRow("public 100") << 10.0 << 100.0 << true << 2;
        QTest::newRow("public 499.9") << 499.9 << 0.0 << true << 2;
        QTest::newRow("public 500") << 500.0 << 0.0 << true << 3;
        QTest::newRow("occupational 49.9") << 49.9 << 0.0 << false << 0;
        QTest::newRow("occupational 50") << 0.0 << 50.0 << false << 1;
        QTest::newRow("occupational 100") << 100.0 << 99.0 << false << 2;
        QTest::newRow("occupational 200") << 200.0 << 0.0 << false << 3;
    }

    void alarmThresholds()
    {
        QFETCH(double, e);
        QFETCH(double, h);
        QFETCH(bool, isPublic);
        QFETCH(int, state);
        FieldReading reading(Start, e, h, isPublic, nullptr);
        QCOMPARE(reading.MaxField(), qMax(e, h));
        reading.setAlarmState();
        QCOMPARE(reading.AlarmState(), state);
    }

    void recordsAreReadInTurn()
    {
        // Four-byte records, a record with one value byte, and one with a
        // third value byte that is read past.
        const std::vector<uint8_t> data = {0,  0,   0, 0,         // E = H = 200 at the start
                                           10, 100, 0, 200,       // 10 s later
                                           5,  50,                // one value byte: H = 0
                                           7,  1,   0, 2,   0, 3, // a third value byte
                                           9,  20};
        FieldReading first(nullptr, false);
        QSignalSpy changed(&first, &FieldReading::readingChanged);
        uint index = 0;
        first.loadFromData(Start, data.data(), index, uint(data.size()));
        QCOMPARE(index, 4u);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(first.dateTime(), Start);
        QCOMPARE(first.EField(), 200.0);
        QCOMPARE(first.HField(), 200.0);
        QCOMPARE(first.AlarmState(), 3);

        FieldReading second(nullptr, false);
        second.loadFromData(first.dateTime(), data.data(), index, uint(data.size()));
        QCOMPARE(index, 8u);
        QCOMPARE(second.dateTime(), Start.addSecs(10));
        QCOMPARE(second.EField(), 20.0);
        QCOMPARE(second.HField(), 2.0);

        FieldReading single(nullptr, false);
        single.loadFromData(second.dateTime(), data.data(), index, uint(data.size()));
        QCOMPARE(index, 10u);
        QCOMPARE(single.HField(), 0.0);
        QVERIFY(qAbs(single.EField() - 200.0 * std::pow(10.0, -0.5)) < 1e-9);

        FieldReading triple(nullptr, false);
        triple.loadFromData(single.dateTime(), data.data(), index, uint(data.size()));
        QCOMPARE(index, 16u);
        QCOMPARE(triple.dateTime(), Start.addSecs(22));
        QVERIFY(qAbs(triple.HField() - FieldReading::decodeValue(2, false)) < 1e-12);

        FieldReading last(nullptr, true); // public: five times the value
        last.loadFromData(triple.dateTime(), data.data(), index, uint(data.size()));
        QCOMPARE(index, 18u);
        QVERIFY(qAbs(last.EField() - 5 * FieldReading::decodeValue(20, false)) < 1e-9);
        QVERIFY(last.IsFieldReadingPublic());
    }

    void recordsCutShortNeverReadPastTheData()
    {
        // Each buffer is exactly as long as the data, so reading past it is
        // caught by the address sanitizer build.
        for (const std::vector<uint8_t> &data :
             {std::vector<uint8_t>{3}, std::vector<uint8_t>{3, 40},
              std::vector<uint8_t>{3, 40, 0}}) {
            auto copy = std::make_unique<uint8_t[]>(data.size());
            std::copy(data.begin(), data.end(), copy.get());
            FieldReading reading(nullptr, false);
            uint index = 0;
            reading.loadFromData(Start, copy.get(), index, uint(data.size()));
            QCOMPARE(index, uint(data.size()));
            QCOMPARE(reading.dateTime(), Start.addSecs(3));
            QCOMPARE(reading.HField(), 0.0);
            QCOMPARE(reading.EField(),
                     data.size() > 1 ? FieldReading::decodeValue(40, false) : 0.0);
        }
    }

    void propertyWritesSignalOnlyOnChange()
    {
        FieldReading reading(Start, 10.0, 20.0, nullptr);
        QSignalSpy changed(&reading, &FieldReading::readingChanged);
        QVERIFY(reading.setProperty("EField", 10.0));
        QCOMPARE(changed.count(), 0);
        QVERIFY(reading.setProperty("EField", 11.0));
        QVERIFY(reading.setProperty("HField", 21.0));
        QVERIFY(reading.setProperty("dateTime", Start.addSecs(1)));
        QCOMPARE(changed.count(), 3);
        QCOMPARE(reading.EField(), 11.0);
        // The plain setters store quietly and leave the alarm state alone.
        reading.setFields(500.0, 0.0);
        reading.setSixMinAvg(4.0);
        reading.setThirtyMinAvg(5.0);
        QCOMPARE(changed.count(), 3);
        QCOMPARE(reading.AlarmState(), 0);
        QCOMPARE(reading.SixMinAvg(), 4.0);
        QCOMPARE(reading.ThirtyMinAvg(), 5.0);
    }

    void averagesOfAConstantSeries()
    {
        const double v = 42.0;
        const double floor = 1.9545;
        Series series;
        for (int i = 0; i < 37; ++i)
            series.add(10 * i, v);
        // 360 s of readings fill the six-minute window exactly.
        QCOMPARE(FieldReading::timeWeightedAverage(series.readings, 360, floor), v);
        // Five readings cover 40 s; the rest of the window is noise floor.
        const QList<FieldReading *> five = series.readings.mid(0, 5);
        QCOMPARE(FieldReading::timeWeightedAverage(five, 360, floor), (40 * v + 320 * floor) / 360);
        QCOMPARE(FieldReading::timeWeightedAverage(five, 1800, floor),
                 (40 * v + 1760 * floor) / 1800);
        QCOMPARE(FieldReading::timeWeightedAverage(series.readings.mid(0, 1), 360, floor), floor);
        QCOMPARE(FieldReading::timeWeightedAverage({}, 360, floor), floor);
    }

    void averagesFollowEveryWayTheTimeIsSet()
    {
        Series series;
        series.add(0, 100.0);
        series.add(10, 0.0);
        FieldReading *moved = series.readings.at(0);
        moved->setDateTime(Start.addSecs(-350)); // plain setter
        QCOMPARE(FieldReading::timeWeightedAverage(series.readings, 360, 0.0), 36000.0 / 360);
        QVERIFY(moved->setProperty("dateTime", Start.addSecs(-50))); // property write
        QCOMPARE(FieldReading::timeWeightedAverage(series.readings, 360, 0.0), 6000.0 / 360);
        QCOMPARE(moved->msecsSinceEpoch(), Start.addSecs(-50).toMSecsSinceEpoch());
    }

    void averagesWeighEachValueUntilTheNextReading()
    {
        Series series;
        series.add(0, 100.0);
        series.add(300, 10.0); // 100 held for 300 s
        series.add(400, 0.0);  // 10 held for 100 s; the newest value does not count
        // The window of 360 s starts at 40 s: 260 s of 100, 100 s of 10.
        QCOMPARE(FieldReading::timeWeightedAverage(series.readings, 360, 1.0),
                 (260 * 100.0 + 100 * 10.0) / 360);
        // A reading at the same second adds nothing.
        series.add(400, 77.0);
        QCOMPARE(FieldReading::timeWeightedAverage(series.readings, 360, 1.0),
                 (260 * 100.0 + 100 * 10.0) / 360);
    }
};

QTEST_GUILESS_MAIN(FieldReadingTest)
#include "test_fieldreading.moc"
