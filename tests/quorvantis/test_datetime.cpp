#include "datetimeconverter.h"

#include <QTest>

namespace {

DeviceDateTime bytes(uchar y, uchar mo, uchar d, uchar h, uchar mi, uchar s)
{
    return DeviceDateTime{y, mo, d, h, mi, s};
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

} // namespace

class TestDateTime : public QObject
{
    Q_OBJECT

private slots:
    void decodes_data()
    {
        const int century = QDate::currentDate().year() / 100 * 100;
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("plain") << QByteArray::fromHex("240517134530")
                               << utc(century + 24, 5, 17, 13, 45, 30);
        QTest::newRow("write flag ignored")
            << QByteArray::fromHex("2405171345b0") << utc(century + 24, 5, 17, 13, 45, 30);
        QTest::newRow("day and month 0 read as 1")
            << QByteArray::fromHex("240000000000") << utc(century + 24, 1, 1, 0, 0, 0);
        QTest::newRow("month bit 5 masked")
            << QByteArray::fromHex("242501000000") << utc(century + 24, 5, 1, 0, 0, 0);
        QTest::newRow("12-hour, afternoon")
            << QByteArray::fromHex("240517450000") << utc(century + 24, 5, 17, 17, 0, 0);
        QTest::newRow("12-hour, half-day flag")
            << QByteArray::fromHex("240517650000") << utc(century + 24, 5, 17, 5, 0, 0);
        QTest::newRow("month 13") << QByteArray::fromHex("241301000000") << QDateTime();
        QTest::newRow("30 February") << QByteArray::fromHex("240230000000") << QDateTime();
        QTest::newRow("hour 25") << QByteArray::fromHex("240517250000") << QDateTime();
        QTest::newRow("12-hour 12 pm") << QByteArray::fromHex("240517520000") << QDateTime();
        QTest::newRow("minute 60") << QByteArray::fromHex("240517106000") << QDateTime();
        QTest::newRow("non-BCD second") << QByteArray::fromHex("2405171000fa") << QDateTime();
    }

    void decodes()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QDateTime, expected);
        const DeviceDateTime d =
            DeviceDateTime::fromBytes(reinterpret_cast<const uchar *>(raw.constData()));
        const QDateTime decoded = DateTimeConverter::fromDevice(&d);
        QCOMPARE(decoded.isValid(), expected.isValid());
        if (expected.isValid()) {
            QCOMPARE(decoded, expected);
            QCOMPARE(decoded.timeSpec(), Qt::UTC);
        }
    }

    void encodes()
    {
        const QDateTime t = utc(2024, 5, 17, 13, 45, 30);
        const DeviceDateTime d = DateTimeConverter::fromQDateTime(&t);
        uchar out[6];
        d.toBytes(out);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(out), 6).toHex(),
                 QByteArray("2405171345b0"));

        // A local time is converted to UTC first (the tests run in Europe/Berlin).
        const QDateTime local(QDate(2024, 1, 1), QTime(0, 30, 5), Qt::LocalTime);
        const DeviceDateTime fromLocal = DateTimeConverter::fromQDateTime(&local);
        const DeviceDateTime expected = bytes(0x23, 0x12, 0x31, 0x23, 0x30, 0x85);
        QVERIFY(DateTimeConverter::equal(&fromLocal, &expected));
    }

    void roundTrip()
    {
        for (const QDateTime &t : {utc(2000, 1, 1, 0, 0, 0), utc(2031, 12, 31, 23, 59, 59),
                                   utc(2024, 2, 29, 12, 0, 1)}) {
            const DeviceDateTime d = DateTimeConverter::fromQDateTime(&t);
            QCOMPARE(DateTimeConverter::fromDevice(&d), t);
        }
    }

    void equalComparesRawBytes()
    {
        const DeviceDateTime a = bytes(0x24, 5, 0x17, 0x13, 0x45, 0x30);
        const DeviceDateTime flagged = bytes(0x24, 5, 0x17, 0x13, 0x45, 0xB0);
        QVERIFY(DateTimeConverter::equal(&a, &a));
        QVERIFY(!DateTimeConverter::equal(&a, &flagged));
    }
};

QTEST_GUILESS_MAIN(TestDateTime)
#include "test_datetime.moc"
