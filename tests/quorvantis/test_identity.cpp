#include "deviceid.h"
#include "version.h"

#include <QSignalSpy>
#include <QTest>

class TestIdentity : public QObject
{
    Q_OBJECT

private slots:
    void deviceIdBlockIsDecoded()
    {
        DeviceID id(nullptr);
        QStringList order;
        connect(&id, &DeviceID::deviceIDChanged, this, [&] { order << "id"; });
        connect(&id, &DeviceID::hardwareVersionChanged, this, [&] { order << "hardware"; });
        connect(&id, &DeviceID::databaseIDChanged, this, [&] { order << "database"; });
        connect(&id, &DeviceID::barcodeChanged, this, [&] { order << "barcode"; });

        id.setDeviceID(QByteArray::fromHex("0102030405060708"));
        QCOMPARE(id.id(), QStringLiteral("0102030405060708"));
        QCOMPARE(id.barcode(), 197121u);
        QCOMPARE(id.databaseID(), 394500u);
        QCOMPARE(id.hardwareVersion(), uchar(7));
        QCOMPARE(order, QStringList({"id", "hardware", "database", "barcode"}));

        id.setDeviceID(QByteArray::fromHex("0102030405060708"));
        QCOMPARE(order.size(), 8); // every call signals, changed or not
    }

    void shortBlockReadsMissingBytesAsZero()
    {
        DeviceID id(nullptr);
        id.setDeviceID(QByteArray::fromHex("0102030405060708"));
        id.setDeviceID(QByteArray::fromHex("aabbccdd"));
        QCOMPARE(id.id(), QStringLiteral("aabbccdd"));
        QCOMPARE(id.barcode(), 0xccbbaau);
        QCOMPARE(id.databaseID(), 0xddu);
        QCOMPARE(id.hardwareVersion(), uchar(0));
        id.setDeviceID(QByteArray());
        QCOMPARE(id.id(), QString());
        QCOMPARE(id.barcode(), 0u);
    }

    void versionComparesLexicographically()
    {
        const Version v(1, 2, 3);
        QVERIFY(v.greaterThan(1, 2, 2));
        QVERIFY(v.greaterThan(0, 255, 255));
        QVERIFY(!v.greaterThan(1, 2, 3));
        QVERIFY(v.lessThan(1, 3, 0));
        QVERIFY(v.lessThan(2, 0, 0));
        QVERIFY(!v.lessThan(1, 2, 3));
        QVERIFY(v.equals(1, 2, 3));
        QVERIFY(!v.equals(1, 2, 4));
    }

    void versionSignalsOnEverySet()
    {
        Version v;
        QCOMPARE(v.humanize(), QStringLiteral("0.0.0"));
        QSignalSpy changed(&v, &Version::versionChanged);
        v.setVersion(1, 2, 10);
        v.setVersion(1, 2, 10);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1), QVariantList({uchar(1), uchar(2), uchar(10)}));
        QCOMPARE(v.humanize(), QStringLiteral("1.2.10"));
        v.setVersion(255, 0, 7);
        QCOMPARE(v.humanize(), QStringLiteral("255.0.7"));
        QCOMPARE(v.major(), uchar(255));
    }
};

QTEST_GUILESS_MAIN(TestIdentity)
#include "test_identity.moc"
