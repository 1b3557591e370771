#include "audiodataentry.h"
#include "datetimeconverter.h"
#include "device.h"
#include "fielddataentry.h"
#include "fieldreading.h"
#include "packets/fetchdataentries.h"

#include <QPointer>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QtEndian>
#include <QtTest>

namespace {
const QDateTime start(QDate(2026, 3, 1), QTime(14, 0, 0), Qt::UTC);

QByteArray entryBytes(const QDateTime &stamp, const QByteArray &payload)
{
    QByteArray bytes(7, '\0');
    bytes[0] = char(0xFF);
    const DeviceDateTime device = DateTimeConverter::fromQDateTime(&stamp);
    device.toBytes(reinterpret_cast<uchar *>(bytes.data()) + 1);
    return bytes + payload;
}

QByteArray fieldRecords(const QList<QList<int>> &records)
{
    QByteArray payload;
    for (const auto &record : records) {
        payload.append(char(record.at(0)));
        payload.append(char(record.at(1)));
        payload.append('\0');
        payload.append(char(record.at(2)));
    }
    return payload;
}

void deliver(DataEntry *entry, const QByteArray &bytes)
{
    QVERIFY(QMetaObject::invokeMethod(entry, "onMemoryRead", Q_ARG(Device *, nullptr),
                                      Q_ARG(QByteArray, bytes)));
}

qint16 sampleAt(const QByteArray &samples, int index)
{
    return qFromLittleEndian<qint16>(samples.constData() + 2 * index);
}
} // namespace

class TestEntries : public QObject
{
    Q_OBJECT

private slots:
    void headerChecksEndTheLoadInvalid_data();
    void headerChecksEndTheLoadInvalid();
    void headerTimeIsShownInLocalTime();
    void fieldRecordsDecodeAndOddByteIsIgnored();
    void reloadingReusesReadingObjects();
    void audioSamplesTrimAndWave();
    void walkListsNewestFirstWithoutDuplicates();
    void entryDestroyedEarlyLeavesTheWalk();
    void walkDestructionReleasesEveryEntry();
};

void TestEntries::headerChecksEndTheLoadInvalid_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QByteArray>("nextRead"); // a later forced load; none when empty
    QTest::newRow("short") << QByteArray(6, char(0xFF))
                           << "Data entry did not contain enough data for a header."
                           << QByteArray();
    QByteArray marker = entryBytes(start, fieldRecords({{0, 1, 2}}));
    marker[0] = 0x00;
    QTest::newRow("marker") << marker
                            << "Data entry started with an incorrect header marker, expected 0xff."
                            << QByteArray();
    QTest::newRow("date") << entryBytes(start.addSecs(1), fieldRecords({{0, 1, 2}}))
                          << "Data entry date did not match the one specified in its header."
                          << QByteArray();
    // Only the end marker was there at first; the session was written afterwards.
    QTest::newRow("empty, then a session")
        << QByteArray() << "Data entry did not contain enough data for a header."
        << entryBytes(start, fieldRecords({{0, 1, 2}, {5, 3, 4}}));
}

void TestEntries::headerChecksEndTheLoadInvalid()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, warning);
    FieldDataEntry entry(start, 0x10000, false);
    QSignalSpy readings(&entry, &FieldDataEntry::fieldReadingsChanged);
    QSignalSpy loaded(&entry, &DataEntry::loaded);
    QTest::ignoreMessage(QtWarningMsg, warning.toUtf8().constData());
    deliver(&entry, bytes);
    QVERIFY(!entry.isValid());
    QVERIFY(entry.isLoaded());
    QVERIFY(!entry.isLoading());
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(readings.count(), 0);
    QVERIFY(entry.fieldReadings().isEmpty());

    QFETCH(QByteArray, nextRead);
    if (nextRead.isEmpty())
        return;
    QSignalSpy validity(&entry, &DataEntry::validChanged);
    deliver(&entry, nextRead);
    QVERIFY(entry.isValid());
    QVERIFY(entry.isLoaded());
    QCOMPARE(validity.count(), 1);
    QCOMPARE(entry.fieldReadings().size(), 2);
}

void TestEntries::headerTimeIsShownInLocalTime()
{
    // The tests run in Europe/Berlin: 22:30 UTC on 31 March 2026 is 00:30 summer time.
    const QDateTime late(QDate(2026, 3, 31), QTime(22, 30, 0), Qt::UTC);
    AudioDataEntry entry(late, 0x20000);
    QCOMPARE(entry.dateString(), QStringLiteral("01-04-2026"));
    QCOMPARE(entry.timeString(), QStringLiteral("00:30"));
    QCOMPARE(entry.type(), DataEntry::Audio);
    QCOMPARE(entry.sortOrder(), -late.toMSecsSinceEpoch());
    QCOMPARE(entry.dateTime(), late);

    DataEntry *undated = new AudioDataEntry(QDateTime(), 0);
    QCOMPARE(undated->sortOrder(), 0);
    delete undated;
}

void TestEntries::fieldRecordsDecodeAndOddByteIsIgnored()
{
    FieldDataEntry entry(start, 0x10000, false);
    QByteArray payload = fieldRecords({{0, 0, 100}, {5, 200, 0}, {10, 100, 100}});
    payload.append(char(7)); // an odd trailing byte is no record
    QSignalSpy readingsChanged(&entry, &FieldDataEntry::fieldReadingsChanged);
    deliver(&entry, entryBytes(start, payload));

    QVERIFY(entry.isValid());
    QVERIFY(entry.isLoaded());
    QCOMPARE(readingsChanged.count(), 1);
    const QList<FieldReading *> readings = entry.fieldReadings();
    QCOMPARE(readings.size(), 3);
    QCOMPARE(readings.at(0)->dateTime(), start.toLocalTime());
    QCOMPARE(readings.at(1)->dateTime(), start.addSecs(5).toLocalTime());
    QCOMPARE(readings.at(2)->dateTime(), start.addSecs(15).toLocalTime());
    QCOMPARE(readings.at(0)->EField(), 200.0);
    QCOMPARE(readings.at(0)->HField(), 20.0);
    QCOMPARE(readings.at(1)->EField(), 2.0);
    QCOMPARE(readings.at(0)->AlarmState(), 3);
    for (FieldReading *reading : readings)
        QCOMPARE(reading->parent(), &entry);
    QCOMPARE(entry.fieldReadingsVariantList().size(), 3);
    QCOMPARE(entry.fieldReadingsVariantList().at(2).value<FieldReading *>(), readings.at(2));

    // The averages before the newest reading pad with the noise floor (0 before any load
    // through a device) and weigh each value by how long it held.
    QCOMPARE(readings.at(2)->SixMinAvg(), (200.0 * 5 + 200.0 * 10) / 360.0);

    FieldDataEntry publicEntry(start, 0x10000, true);
    deliver(&publicEntry, entryBytes(start, fieldRecords({{0, 100, 100}})));
    QCOMPARE(publicEntry.fieldReadings().at(0)->EField(), 100.0);
}

void TestEntries::reloadingReusesReadingObjects()
{
    FieldDataEntry entry(start, 0x10000, false);
    deliver(&entry, entryBytes(start, fieldRecords({{0, 10, 10}, {1, 20, 20}})));
    const QList<FieldReading *> first = entry.fieldReadings();
    QCOMPARE(first.size(), 2);

    // A live session is read again with its new records appended; a read that brings
    // nothing new announces no change of readings.
    QSignalSpy readingsChanged(&entry, &FieldDataEntry::fieldReadingsChanged);
    for (int pass = 0; pass < 50; ++pass)
        deliver(&entry, entryBytes(start, fieldRecords({{0, 10, 10}, {1, 20, 20}, {1, 30, 30}})));
    QCOMPARE(readingsChanged.count(), 1);
    const QList<FieldReading *> grown = entry.fieldReadings();
    QCOMPARE(grown.size(), 3);
    QCOMPARE(grown.mid(0, 2), first);
    QCOMPARE(grown.at(2)->EField(), 200.0 * std::pow(10.0, -0.3));
    QCOMPARE(entry.findChildren<FieldReading *>().size(), 3);

    // Only the readings after a changed byte are decoded again, each as a fresh load
    // decodes it, averages included.
    const QList<QList<int>> rewritten = {{0, 10, 10}, {1, 90, 20}, {1, 30, 30}, {2, 40, 40}};
    deliver(&entry, entryBytes(start, fieldRecords(rewritten)));
    FieldDataEntry fresh(start, 0x10000, false);
    deliver(&fresh, entryBytes(start, fieldRecords(rewritten)));
    QCOMPARE(entry.fieldReadings().size(), 4);
    for (int i = 0; i < 4; ++i) {
        const FieldReading *got = entry.fieldReadings().at(i);
        const FieldReading *want = fresh.fieldReadings().at(i);
        QCOMPARE(got->dateTime(), want->dateTime());
        QCOMPARE(got->EField(), want->EField());
        QCOMPARE(got->SixMinAvg(), want->SixMinAvg());
        QCOMPARE(got->ThirtyMinAvg(), want->ThirtyMinAvg());
    }
    deliver(&entry, entryBytes(start, fieldRecords({{0, 10, 10}, {1, 20, 20}, {1, 30, 30}})));

    // Fewer records than before: the surplus reading stays usable until control returns.
    QPointer<FieldReading> surplus = grown.at(2);
    deliver(&entry, entryBytes(start, fieldRecords({{0, 10, 10}})));
    QCOMPARE(entry.fieldReadings().size(), 1);
    QVERIFY(surplus);
    QCOMPARE(surplus->EField(), 200.0 * std::pow(10.0, -0.3));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!surplus);
    QCOMPARE(entry.findChildren<FieldReading *>().size(), 1);
}

void TestEntries::audioSamplesTrimAndWave()
{
    AudioDataEntry small(start, 0x20000);
    QSignalSpy available(&small, &AudioDataEntry::audioDataAvailable);
    QByteArray ten;
    for (int i = 0; i < 10; ++i)
        ten.append(char(i == 0 ? 0 : i == 1 ? 254 : i == 2 ? 127 : 128));
    deliver(&small, entryBytes(start, ten));
    QCOMPARE(available.count(), 1);
    QVERIFY(small.isLoaded());
    const QByteArray raw = small.rawData();
    QCOMPARE(raw.size(), 20);
    QCOMPARE(sampleAt(raw, 0), qint16(-31752));
    QCOMPARE(sampleAt(raw, 1), qint16(31752));
    QCOMPARE(sampleAt(raw, 2), qint16(0));
    QCOMPARE(sampleAt(raw, 3), qint16(63));

    const QByteArray wav = small.wavData();
    QCOMPARE(wav.size(), 44 + 20);
    QCOMPARE(wav.left(4), QByteArray("RIFF"));
    QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 4), 56u);
    QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 16), 16u);
    QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 20), quint16(1));
    QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 22), quint16(1));
    QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 24), 7000u);
    QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 28), 14000u);
    QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 32), quint16(2));
    QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 34), quint16(16));
    QCOMPARE(wav.mid(36, 4), QByteArray("data"));
    QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 40), 20u);
    QCOMPARE(wav.mid(44), raw);

    // 1499 bytes stay whole; 1600 lose 750 samples at each end.
    AudioDataEntry under(start, 0x20000);
    deliver(&under, entryBytes(start, QByteArray(1499, char(120))));
    QCOMPARE(under.rawData().size(), 2 * 1499);
    AudioDataEntry over(start, 0x20000);
    QByteArray clip(1600, char(127));
    clip[750] = char(0);
    clip[849] = char(254);
    deliver(&over, entryBytes(start, clip));
    QCOMPARE(over.rawData().size(), 200);
    QCOMPARE(sampleAt(over.rawData(), 0), qint16(-31752));
    QCOMPARE(sampleAt(over.rawData(), 99), qint16(31752));
}

void TestEntries::walkListsNewestFirstWithoutDuplicates()
{
    auto *walk = new FetchDataEntries();
    QCOMPARE(walk->dataEntries(), QList<QObject *>());
    QSignalSpy changed(walk, &FetchDataEntries::dataEntriesChanged);
    auto *older = new FieldDataEntry(start, 1, false);
    auto *newer = new AudioDataEntry(start.addSecs(60), 2);
    auto *twin = new FieldDataEntry(start, 3, false);
    for (DataEntry *entry : {static_cast<DataEntry *>(older), static_cast<DataEntry *>(newer),
                             static_cast<DataEntry *>(twin)})
        QVERIFY(QMetaObject::invokeMethod(walk, "addDataEntry", Q_ARG(DataEntry *, entry)));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(walk->dataEntries(), (QList<QObject *>{newer, older}));

    QPointer<DataEntry> twinAlive = twin;
    delete walk;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!twinAlive);
}

void TestEntries::entryDestroyedEarlyLeavesTheWalk()
{
    FetchDataEntries walk;
    auto *undated = new FieldDataEntry(QDateTime(), 1, false);
    auto *dated = new FieldDataEntry(start, 2, false);
    QVERIFY(QMetaObject::invokeMethod(&walk, "addDataEntry", Q_ARG(DataEntry *, undated)));
    QVERIFY(QMetaObject::invokeMethod(&walk, "addDataEntry", Q_ARG(DataEntry *, dated)));
    QCOMPARE(walk.dataEntries().size(), 2);
    delete undated; // listed under key 0
    QCOMPARE(walk.dataEntries(), QList<QObject *>{dated});
    delete dated;
    QVERIFY(walk.dataEntries().isEmpty());
}

void TestEntries::walkDestructionReleasesEveryEntry()
{
    auto *walk = new FetchDataEntries();
    QList<QPointer<DataEntry>> entries;
    for (int i = 0; i < 5; ++i) {
        auto *entry = new FieldDataEntry(start.addSecs(i), i, false);
        entries.append(entry);
        QVERIFY(QMetaObject::invokeMethod(walk, "addDataEntry", Q_ARG(DataEntry *, entry)));
    }
    QVERIFY(QMetaObject::invokeMethod(walk, "reset"));
    QVERIFY(walk->dataEntries().isEmpty());
    delete walk;
    for (const auto &entry : entries)
        QVERIFY(entry); // deferred
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (const auto &entry : entries)
        QVERIFY(!entry);
}

QTEST_GUILESS_MAIN(TestEntries)
#include "test_entries.moc"
