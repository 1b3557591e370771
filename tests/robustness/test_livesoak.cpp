#include "reset.h"
#include "robustnesssupport.h"

#include <QFile>

namespace {

// Resident memory of this process in KiB.
qint64 residentKiB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

bool sanitized()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#endif
#endif
    return false;
}

} // namespace

// The field view reloads the live session every second for as long as it shows;
// memory must stay flat over a long session.
class TestLiveSoak : public QObject
{
    Q_OBJECT

private slots:
    void sixHundredReloads();
    void reconnectsReleaseEarlierLists();
};

void TestLiveSoak::sixHundredReloads()
{
    ModelRig rig;
    QVERIFY(rig.load(robustnessScenario(true)));
    rig.instrument.setLiveClockRunning(false);
    SimulatedQuorvAntisDevice *device = rig.device.get();
    device->start();
    QVERIFY(waitForHeaders(device));

    const Scenario scenario = rig.instrument.scenario();
    // The newest field session is the live one.
    int liveSession = scenario.sessions.size() - 1;
    while (scenario.sessions.at(liveSession).type != Scenario::Session::Field)
        --liveSession;
    auto *live = qobject_cast<FieldDataEntry *>(
        rig.entries().value(scenario.sessions.size() - 1 - liveSession));
    QVERIFY(live);
    const int recorded = scenario.sessions.at(liveSession).records.size();

    constexpr int reloads = 600;
    constexpr int settle = 60;
    qint64 afterSettle = 0;
    for (int i = 1; i <= reloads; ++i) {
        QCOMPARE(rig.instrument.appendLiveRecords(1), 1);
        QVERIFY(live->load(device, true));
        QVERIFY(waitForLoad(live));
        QVERIFY(live->isLoaded() && live->isValid());
        QCOMPARE(live->fieldReadings().size(), recorded + i);
        if (i == settle)
            afterSettle = residentKiB();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const qint64 atEnd = residentKiB();
    const double growth = 100.0 * double(atEnd - afterSettle) / double(afterSettle);
    qInfo("resident memory: %lld KiB after %d reloads, %lld KiB after %d (%.1f %%)", afterSettle,
          settle, atEnd, reloads, growth);
    QCOMPARE(live->findChildren<FieldReading *>().size(), recorded + reloads);
    QVERIFY(afterSettle > 0);
    // Sanitizers hold freed memory back on purpose; the figure means nothing there.
    if (!sanitized())
        QVERIFY2(growth <= 10.0, qPrintable(QString::number(growth)));
}

// Every reboot lists the sessions anew. An earlier list, its entries and their
// readings go once no page shows them, while the page's own session stays.
void TestLiveSoak::reconnectsReleaseEarlierLists()
{
    ModelRig rig;
    QVERIFY(rig.load(robustnessScenario()));
    SimulatedQuorvAntisDevice *device = rig.device.get();
    int connects = 0;
    QObject::connect(device, &Device::connected, device, [&] { ++connects; });
    device->start();
    QVERIFY(waitForHeaders(device));
    const int sessions = int(rig.instrument.scenario().sessions.size());

    Reset reset;
    DataEntryHold shown; // the data page's session
    QList<QPointer<DataEntry>> earlier;
    const auto alive = [&earlier] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return int(earlier.size() - earlier.count(QPointer<DataEntry>()));
    };
    for (int round = 0; round < 40; ++round) {
        const QList<DataEntry *> entries = rig.entries();
        QCOMPARE(int(entries.size()), sessions);
        auto *field = qobject_cast<FieldDataEntry *>(entries.at(0));
        QVERIFY(field);
        shown.reset(field);
        QVERIFY(field->load(device) && waitForLoad(field) && field->isLoaded());
        earlier.append(QList<QPointer<DataEntry>>(entries.cbegin(), entries.cend()));

        const int before = connects;
        device->send(&reset);
        QVERIFY(
            QTest::qWaitFor([&] { return connects > before && device->hasAllHeaders(); }, 20000));
        // The shown session and its readings outlive the new list; only its list does.
        QVERIFY(shown.entry() == field && !field->fieldReadings().isEmpty());
        QTRY_COMPARE(alive(), sessions);
    }
    shown.reset();
    QTRY_COMPARE(alive(), 0);
}

QTEST_GUILESS_MAIN(TestLiveSoak)
#include "test_livesoak.moc"
