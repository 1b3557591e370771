#include "datetimeconverter.h"
#include "erase.h"
#include "modeltestsupport.h"
#include "reset.h"

#include <QQmlEngine>
#include <list>
#include <thread>

namespace {
// Oldest first; the third field session repeats the first one's start time.
const QByteArray roadScenario = R"({
  "identity": {"barcode": 42, "databaseId": 7, "hardwareVersion": 3, "extraBytes": "0a0b"},
  "bootloaderVersion": [2, 1], "firmwareVersion": [1, 4], "extendedQuery": true,
  "family": 1, "bytesPerPacket": 58, "isPublic": false,
  "sessions": [
    {"type": "field", "start": "2026-03-01T14:00:00Z", "records": [[0, 120, 130], [5, 110, 140], [7, 0, 254]]},
    {"type": "audio", "start": "2026-03-01T15:00:00Z", "samples": [128, 130, 127, 0, 254]},
    {"type": "field", "start": "2026-03-02T09:30:00Z", "records": [[3, 50, 60]]},
    {"type": "field", "start": "2026-03-01T14:00:00Z", "records": [[1, 1, 1]]}
  ]
})";

QByteArray longSessions(int fieldRecords, int audioSamples)
{
    QByteArray records;
    for (int i = 0; i < fieldRecords; ++i)
        records += QByteArray(i ? "," : "") + "[" + QByteArray::number(i ? 1 + i % 9 : 0) + "," +
                   QByteArray::number(i % 250) + "," + QByteArray::number((i * 7) % 250) + "]";
    QByteArray samples;
    for (int i = 0; i < audioSamples; ++i)
        samples += QByteArray(i ? "," : "") + QByteArray::number((i * 13) % 255);
    return R"({"identity": {"barcode": 5, "databaseId": 6, "hardwareVersion": 60},
      "sessions": [
        {"type": "field", "start": "2026-04-01T08:00:00Z", "records": [)" +
           records + R"(]},
        {"type": "audio", "start": "2026-04-01T09:00:00Z", "samples": [)" +
           samples + R"(]}
      ]})";
}

QByteArray entryImage(const QDateTime &start, const QByteArray &payload)
{
    QByteArray bytes(7, '\0');
    bytes[0] = char(0xFF);
    DateTimeConverter::fromQDateTime(&start).toBytes(reinterpret_cast<uchar *>(bytes.data()) + 1);
    return bytes + payload;
}
} // namespace

class TestModel : public QObject
{
    Q_OBJECT

private slots:
    void wholeRoad();
    void liveSessionGrowsOnceEach();
    void unplugDuringHeaderWalk();
    void unplugDuringEntryLoad();
    void eraseAndReset();
    void loadAskedFromAWorkerThread();
};

void TestModel::wholeRoad()
{
    ModelRig rig;
    QVERIFY(rig.load(roadScenario));
    SimulatedQuorvAntisDevice &device = *rig.device;
    QVERIFY(device.dataEntries().isEmpty());
    QVERIFY(!device.hasAllHeaders());
    SafeSpy allHeaders(&device, &QuorvAntisDevice::hasAllHeadersChanged);
    device.start();
    // Complete means listed: whenever the flag reads true, every entry is in the list.
    QDeadlineTimer deadline(10000);
    while (!device.hasAllHeaders() && !deadline.hasExpired())
        QTest::qWait(1);
    QCOMPARE(rig.entries().size(), 3);
    QTRY_COMPARE(allHeaders.count(), 1);
    QCOMPARE(allHeaders.at(0).at(0).toBool(), false);

    const QList<DataEntry *> entries = rig.entries();
    QCOMPARE(entries.size(), 3);
    const Scenario scenario = rig.instrument.scenario();
    QCOMPARE(entries.at(0)->dateTime(), scenario.sessions.at(2).start);
    QCOMPARE(entries.at(1)->dateTime(), scenario.sessions.at(1).start);
    QCOMPARE(entries.at(2)->dateTime(), scenario.sessions.at(0).start);
    QCOMPARE(entries.at(1)->type(), DataEntry::Audio);
    for (DataEntry *entry : entries) {
        QVERIFY(entry);
        // Entries found on the device thread live where the device object lives, and QML
        // may never collect them.
        QCOMPARE(entry->thread(), device.thread());
        QCOMPARE(QQmlEngine::objectOwnership(entry), QQmlEngine::CppOwnership);
        QVERIFY(!entry->isLoaded());
    }

    for (DataEntry *entry : entries) {
        QSignalSpy loaded(entry, &DataEntry::loaded);
        QVERIFY(entry->load(&device));
        QVERIFY(entry->isLoading());
        QVERIFY(entry->load(&device)); // under way: nothing more is sent
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 10000);
        QVERIFY(entry->isValid());
        QVERIFY(!entry->isLoading());
    }
    QVERIFY(readingsMatch(qobject_cast<FieldDataEntry *>(entries.at(0)),
                          scenario.sessions.at(2).records, scenario.sessions.at(2).start, false));
    // Of two sessions with one start time, the first header met is the one listed.
    QVERIFY(readingsMatch(qobject_cast<FieldDataEntry *>(entries.at(2)),
                          scenario.sessions.at(0).records, scenario.sessions.at(0).start, false));

    // Audio: the samples the instrument holds, decoded exactly as from a direct image.
    auto *audio = qobject_cast<AudioDataEntry *>(entries.at(1));
    AudioDataEntry reference(scenario.sessions.at(1).start, 0);
    QVERIFY(
        QMetaObject::invokeMethod(&reference, "onMemoryRead", Q_ARG(Device *, nullptr),
                                  Q_ARG(QByteArray, entryImage(scenario.sessions.at(1).start,
                                                               scenario.sessions.at(1).samples))));
    QCOMPARE(audio->rawData().size(), 10);
    QCOMPARE(audio->rawData(), reference.rawData());
    QCOMPARE(audio->wavData(), reference.wavData());

    // A loaded entry loads again only when forced.
    const int reads = rig.instrument.simulator().requestCount(7);
    QVERIFY(entries.at(0)->load(&device));
    QVERIFY(!entries.at(0)->isLoading());
    QCOMPARE(rig.instrument.simulator().requestCount(7), reads);
    QVERIFY(entries.at(0)->load(&device, true));
    QVERIFY(entries.at(0)->isLoading());
    QVERIFY(waitForLoad(entries.at(0)));
    QVERIFY(entries.at(0)->isLoaded());
    QVERIFY(rig.instrument.simulator().requestCount(7) > reads);
    rig.device.reset(); // stopped before the spies go
}

void TestModel::liveSessionGrowsOnceEach()
{
    ModelRig rig;
    QVERIFY(rig.load(R"({
      "sessions": [
        {"type": "audio", "start": "2026-05-01T07:00:00Z", "samples": [1, 2, 3]},
        {"type": "field", "start": "2026-05-01T08:00:00Z", "records": [[0, 100, 100], [1, 101, 99]]}
      ],
      "live": {"appendEveryMs": 1000, "records": [[1, 10, 20], [2, 30, 40], [1, 50, 60]]}
    })"));
    rig.instrument.setLiveClockRunning(false);
    rig.device->start();
    QVERIFY(waitForHeaders(rig.device.get(), 10000));
    auto *live = qobject_cast<FieldDataEntry *>(rig.entries().value(0));
    QVERIFY(live);
    QVERIFY(live->load(rig.device.get()));
    QVERIFY(waitForLoad(live));
    QCOMPARE(live->fieldReadings().size(), 2);

    const QList<Scenario::FieldRecord> cycle = rig.instrument.scenario().liveRecords;
    QList<Scenario::FieldRecord> expected = rig.instrument.scenario().sessions.at(1).records;
    const QList<FieldReading *> firstReadings = live->fieldReadings();
    for (int pass = 0; pass < 12; ++pass) {
        const int appended = rig.instrument.appendLiveRecords(pass % 3);
        for (int i = 0; i < appended; ++i)
            expected.append(cycle.at((expected.size() - 2) % cycle.size()));
        QVERIFY(live->load(rig.device.get(), true));
        QVERIFY(waitForLoad(live));
        QVERIFY(live->isLoaded() && live->isValid());
        QVERIFY(
            readingsMatch(live, expected, rig.instrument.scenario().sessions.at(1).start, false));
    }
    // Readings published by the first pass are the same objects, and no others pile up.
    QCOMPARE(live->fieldReadings().mid(0, 2), firstReadings);
    QCOMPARE(live->findChildren<FieldReading *>().size(), expected.size());
}

void TestModel::unplugDuringHeaderWalk()
{
    ModelRig rig;
    QVERIFY(rig.load(roadScenario));
    InstrumentSimulator &simulator = rig.instrument.simulator();
    // Bootloader, extended, public, clock and identity replies, then a few headers.
    simulator.unplugAfterReplies(8);
    SafeSpy disconnected(rig.device.get(), &Device::disconnected);
    SafeSpy allHeaders(rig.device.get(), &QuorvAntisDevice::hasAllHeadersChanged);
    rig.device->start();
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 10000);
    QTRY_COMPARE(allHeaders.count(), 1); // the disconnection's
    QVERIFY(!rig.device->hasAllHeaders());
    const QList<DataEntry *> partial = rig.entries();
    QVERIFY(partial.size() < 3);
    std::list<DataEntryHold> shown(partial.cbegin(), partial.cend());

    simulator.replug();
    QVERIFY(waitForHeaders(rig.device.get(), 10000));
    QCOMPARE(rig.entries().size(), 3);
    // Entries of the broken walk that a page still shows stay usable.
    for (DataEntry *entry : partial) {
        QVERIFY(entry->load(rig.device.get()));
        QVERIFY(waitForLoad(entry));
        QVERIFY(entry->isLoaded() && entry->isValid());
    }
    rig.device.reset(); // stopped before the spies go
}

void TestModel::unplugDuringEntryLoad()
{
    ModelRig rig;
    QVERIFY(rig.load(longSessions(600, 4000)));
    InstrumentSimulator &simulator = rig.instrument.simulator();
    rig.device->start();
    QVERIFY(waitForHeaders(rig.device.get(), 10000));
    const Scenario scenario = rig.instrument.scenario();

    const QList<DataEntry *> before = rig.entries();
    const std::list<DataEntryHold> shown(before.cbegin(), before.cend());
    for (DataEntry *entry : before) {
        SafeSpy disconnected(rig.device.get(), &Device::disconnected);
        simulator.unplugAfterReplies(5);
        QVERIFY(entry->load(rig.device.get()));
        QVERIFY(waitForLoad(entry));
        // The failed read ends the load without data and without claiming success.
        QVERIFY(!entry->isLoaded());
        QVERIFY(entry->isValid());
        QTRY_COMPARE(disconnected.count(), 1);

        // While unplugged a load fails at once and ends again.
        QVERIFY(entry->load(rig.device.get()));
        QVERIFY(waitForLoad(entry));
        QVERIFY(!entry->isLoaded());

        simulator.clearFaults();
        simulator.replug();
        QTRY_VERIFY_WITH_TIMEOUT(rig.device->isConnected(), 10000);
        QVERIFY(entry->load(rig.device.get()));
        QVERIFY(waitForLoad(entry));
        QVERIFY(entry->isLoaded() && entry->isValid());
    }
    QVERIFY(readingsMatch(qobject_cast<FieldDataEntry *>(before.at(1)),
                          scenario.sessions.at(0).records, scenario.sessions.at(0).start, false));
    auto *audio = qobject_cast<AudioDataEntry *>(before.at(0));
    QCOMPARE(audio->rawData().size(), 2 * (4000 - 1500));

    // The new connection's walk lists new objects for the same sessions, and they load too.
    QVERIFY(waitForHeaders(rig.device.get(), 10000));
    const QList<DataEntry *> after = rig.entries();
    QCOMPARE(after.size(), 2);
    QVERIFY(after.at(1) != before.at(1));
    QVERIFY(after.at(1)->load(rig.device.get()));
    QVERIFY(waitForLoad(after.at(1)));
    QVERIFY(readingsMatch(qobject_cast<FieldDataEntry *>(after.at(1)),
                          scenario.sessions.at(0).records, scenario.sessions.at(0).start, false));
    rig.device.reset(); // stopped before the spies go
}

void TestModel::eraseAndReset()
{
    ModelRig rig;
    QVERIFY(rig.load(roadScenario));
    rig.device->start();
    QVERIFY(waitForHeaders(rig.device.get(), 10000));
    QCOMPARE(rig.entries().size(), 3);

    Erase erase;
    SafeSpy sent(&erase, &Message::sent);
    SafeSpy disconnected(rig.device.get(), &Device::disconnected);
    SafeSpy connected(rig.device.get(), &Device::connected);
    rig.device->send(&erase);
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 10000);
    QCOMPARE(sent.count(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);
    QVERIFY(waitForHeaders(rig.device.get(), 10000));
    QVERIFY(rig.entries().isEmpty());

    Reset reset;
    rig.device->send(&reset);
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 2, 10000);
    QVERIFY(rig.device->isConnected());
    rig.device.reset(); // stopped before the spies go
}

void TestModel::loadAskedFromAWorkerThread()
{
    ModelRig rig;
    QVERIFY(rig.load(roadScenario));
    rig.device->start();
    QVERIFY(waitForHeaders(rig.device.get(), 10000));
    DataEntry *entry = rig.entries().at(0);
    // A worker's request is carried out on the entry's own thread, never beside it.
    bool accepted = false;
    std::thread worker([&] { accepted = entry->load(rig.device.get(), true); });
    worker.join();
    QVERIFY(accepted);
    QTRY_VERIFY_WITH_TIMEOUT(entry->isLoaded(), 10000);
    QVERIFY(entry->isValid());
    QCOMPARE(entry->findChildren<Message *>().size(), 1);
    QCOMPARE(entry->findChildren<Message *>().at(0)->thread(), entry->thread());
}

QTEST_GUILESS_MAIN(TestModel)
#include "test_model.moc"
