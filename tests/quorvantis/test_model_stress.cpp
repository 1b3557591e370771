#include "modeltestsupport.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

namespace {
QByteArray manySessions()
{
    QByteArray sessions;
    QDateTime start(QDate(2026, 6, 1), QTime(6, 0, 0), Qt::UTC);
    for (int s = 0; s < 40; ++s) {
        start = start.addSecs(3600);
        if (s % 4 == 3)
            sessions +=
                audioSessionJson(start, 300 + 10 * s, [s](int i) { return (i * 31 + s) % 255; });
        else
            sessions += fieldSessionJson(start, 20 + s, [s](int i) {
                return std::array<int, 3>{i ? 1 + i % 5 : 0, (i + s) % 250, (i * 3) % 250};
            });
    }
    sessions.chop(1);
    return R"({"sessions": [)" + sessions +
           R"(], "live": {"appendEveryMs": 50, "records": [[1, 10, 20], [2, 30, 40]]}})";
}
} // namespace

// The user-interface thread reads the entry list and entry states without pause while
// the device thread walks headers and loads entries. Meant for the thread sanitizer too.
class TestModelStress : public QObject
{
    Q_OBJECT

private slots:
    void readersRaceWalksAndLoads();
};

void TestModelStress::readersRaceWalksAndLoads()
{
    ModelRig rig;
    QVERIFY(rig.load(manySessions()));
    SimulatedQuorvAntisDevice &device = *rig.device;
    device.start();

    QRandomGenerator random(7);
    QElapsedTimer clock;
    clock.start();
    qint64 lastRefresh = 0;
    int refreshes = 0;
    int reads = 0;
    while (clock.elapsed() < 5000) {
        const QList<QObject *> list = device.dataEntries();
        for (QObject *object : list) {
            auto *entry = qobject_cast<DataEntry *>(object);
            QVERIFY(entry);
            reads += entry->isLoading() + entry->isLoaded() + entry->isValid();
            reads += entry->dateString().size() + entry->timeString().size();
            if (auto *field = qobject_cast<FieldDataEntry *>(entry)) {
                for (FieldReading *reading : field->fieldReadings())
                    reads += reading->EField() > 0;
            } else if (auto *audio = qobject_cast<AudioDataEntry *>(entry)) {
                reads += audio->rawData().size() > 0;
            }
            if (random.bounded(8) == 0)
                entry->load(&device, random.bounded(2) == 0);
        }
        reads += device.hasAllHeaders();
        reads += device.codeVersion()->humanize().size() + int(device.isPublic());
        reads += int(device.deviceID()->barcode() > 0);
        if (clock.elapsed() - lastRefresh > 700) {
            lastRefresh = clock.elapsed();
            device.refreshDataEntries();
            ++refreshes;
        }
        // Short waits, as a user-interface thread between frames.
        QTest::qWait(1);
    }
    QVERIFY(refreshes > 3);
    QVERIFY(reads > 0);

    // Settled: the last walk is complete and every entry loads whole.
    rig.instrument.setLiveClockRunning(false);
    QVERIFY(waitForHeaders(&device, 20000));
    const QList<DataEntry *> entries = rig.entries();
    QCOMPARE(entries.size(), 40);
    for (DataEntry *entry : entries) {
        QVERIFY(waitForLoad(entry, 20000));
        QVERIFY(entry->load(&device, true));
    }
    const Scenario scenario = rig.instrument.scenario();
    for (int i = 0; i < entries.size(); ++i) {
        DataEntry *entry = entries.at(i);
        QVERIFY(waitForLoad(entry, 20000));
        QVERIFY(entry->isLoaded() && entry->isValid());
        const Scenario::Session &session = scenario.sessions.at(scenario.sessions.size() - 1 - i);
        QCOMPARE(entry->dateTime(), session.start);
        if (i > 1 && session.type == Scenario::Session::Field)
            QVERIFY(readingsMatch(qobject_cast<FieldDataEntry *>(entry), session.records,
                                  session.start, false));
    }
    // The newest session is a clip; the newest field session before it is the live one.
    QCOMPARE(entries.at(0)->type(), DataEntry::Audio);
    auto *live = qobject_cast<FieldDataEntry *>(entries.at(1));
    QCOMPARE(live->fieldReadings().size(),
             scenario.sessions.at(scenario.sessions.size() - 2).records.size() +
                 rig.instrument.liveRecordsAppended());
    QCOMPARE(live->findChildren<FieldReading *>().size(), live->fieldReadings().size());
}

QTEST_GUILESS_MAIN(TestModelStress)
#include "test_model_stress.moc"
