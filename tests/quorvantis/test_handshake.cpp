#include "delayedmessage.h"
#include "devicestatus.h"
#include "modeltestsupport.h"

#include <QPointer>

namespace {
const QByteArray publicUnit = R"({
  "identity": {"barcode": 1193046, "databaseId": 7, "hardwareVersion": 3, "extraBytes": "0a0b"},
  "bootloaderVersion": [2, 1], "firmwareVersion": [1, 4], "extendedQuery": true,
  "isPublic": true,
  "sessions": [{"type": "field", "start": "2026-03-01T14:00:00Z", "records": [[0, 100, 0]]}]
})";

const QByteArray plainBootloader = R"({
  "identity": {"barcode": 42, "databaseId": 7, "hardwareVersion": 7},
  "bootloaderVersion": [2, 1], "firmwareVersion": [1, 4], "extendedQuery": false,
  "isPublic": false
})";

int triggerCount(const InstrumentSimulator &simulator, uint8_t trigger)
{
    int count = 0;
    for (const auto &request : simulator.requests())
        count += request[1] == 10 && request[2] == trigger;
    return count;
}
} // namespace

class TestHandshake : public QObject
{
    Q_OBJECT

private slots:
    void extendedQuerySetsVersionsIdentityAndClock();
    void withoutExtendedQuery();
    void failingPublicQueryEndsTheHandshake();
    void identityReadDecidesTheResult();
    void deviceWithoutParentReleasesWalksAndEntries();
};

void TestHandshake::extendedQuerySetsVersionsIdentityAndClock()
{
    ModelRig rig;
    QVERIFY(rig.load(publicUnit));
    SimulatedQuorvAntisDevice &device = *rig.device;
    SafeSpy handshake(&device, &Device::handshakeStarted);
    SafeSpy connected(&device, &Device::connected);
    SafeSpy codeVersion(&device, &QuorvAntisDevice::codeVersionChanged);
    SafeSpy entriesChanged(&device, &QuorvAntisDevice::dataEntriesChanged);
    // The walk is queued before the world hears of the connection.
    std::atomic<int> entrySignalsAtConnection{-1};
    QObject::connect(
        &device, &Device::connected, &device,
        [&] { entrySignalsAtConnection = entriesChanged.count(); }, Qt::DirectConnection);
    device.start();
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);
    QCOMPARE(handshake.count(), 1);
    QVERIFY(entrySignalsAtConnection >= 1);

    QCOMPARE(device.bootloaderVersion()->humanize(), QStringLiteral("2.1.0"));
    QCOMPARE(device.codeVersion()->humanize(), QStringLiteral("1.4.0"));
    QCOMPARE(codeVersion.count(), 1);
    QCOMPARE(codeVersion.at(0).at(0).value<Version *>(), device.codeVersion());
    QVERIFY(device.isPublic());
    QCOMPARE(device.deviceID()->barcode(), 1193046u);
    QCOMPARE(device.deviceID()->databaseID(), 7u);
    QCOMPARE(device.deviceID()->hardwareVersion(), uchar(3));
    QCOMPARE(device.deviceID()->id(), QStringLiteral("563412070000030a0b"));
    QCOMPARE(device.rfNoiseFloor(), 1.9545);
    // Clock: UTC now plus 3 s.
    QVERIFY2(qAbs(rig.instrument.clockOffsetMs() - 3000) < 1500,
             qPrintable(QString::number(rig.instrument.clockOffsetMs())));

    // The handshake's order on the wire: bootloader, extended, public, clock, identity.
    const auto requests = rig.instrument.simulator().requests();
    QVERIFY(requests.size() >= 5);
    QCOMPARE(requests.at(0)[1], uint8_t(2));
    QCOMPARE(requests.at(1)[1], uint8_t(12));
    QCOMPARE(requests.at(2)[1], uint8_t(10));
    QCOMPARE(requests.at(2)[2], uint8_t(8));
    QCOMPARE(requests.at(3)[1], uint8_t(10));
    QCOMPARE(requests.at(3)[2], uint8_t(2));
    QCOMPARE(requests.at(4)[1], uint8_t(7));

    QVERIFY(waitForHeaders(&device, 10000));
    auto *entry = qobject_cast<FieldDataEntry *>(rig.entries().value(0));
    QVERIFY(entry);
    QVERIFY(entry->isFieldDataPublic());
    QVERIFY(entry->load(&device));
    QVERIFY(waitForLoad(entry));
    QCOMPARE(entry->fieldReadings().value(0)->EField(), 100.0);
    rig.device.reset(); // stopped before the spies go
}

void TestHandshake::withoutExtendedQuery()
{
    ModelRig rig;
    QVERIFY(rig.load(plainBootloader));
    rig.device->start();
    QTRY_VERIFY_WITH_TIMEOUT(rig.device->isConnected(), 10000);
    QCOMPARE(rig.instrument.simulator().requestCount(12), 0);
    QCOMPARE(rig.device->bootloaderVersion()->humanize(), QStringLiteral("1.0.0"));
    QCOMPARE(rig.device->codeVersion()->humanize(), QStringLiteral("0.0.0"));
    QVERIFY(!rig.device->isPublic());
    QCOMPARE(rig.device->deviceID()->barcode(), 42u);
    QCOMPARE(rig.device->rfNoiseFloor(), 1.9545); // hardware version 7 has no entry
    QVERIFY(waitForHeaders(rig.device.get(), 10000));
    QVERIFY(rig.device->dataEntries().isEmpty());
}

void TestHandshake::failingPublicQueryEndsTheHandshake()
{
    ModelRig rig;
    QVERIFY(rig.load(plainBootloader));
    InstrumentSimulator &simulator = rig.instrument.simulator();
    // The public query answered with two data bytes instead of one.
    simulator.setCommandHandler(
        10, [](InstrumentSimulator &, const InstrumentSimulator::Report &request) {
            InstrumentSimulator::Report reply{};
            reply[0] = 10;
            for (int i = 0; i < 4; ++i)
                reply[1 + i] = request[2 + i];
            reply[6] = 2;
            return InstrumentSimulator::Reply(reply);
        });
    SafeSpy handshake(rig.device.get(), &Device::handshakeStarted);
    rig.device->start();
    QTRY_VERIFY_WITH_TIMEOUT(handshake.count() >= 2, 10000);
    QVERIFY(!rig.device->isConnected());
    QCOMPARE(triggerCount(simulator, 2), 0);
    QCOMPARE(simulator.requestCount(7), 0);
    QCOMPARE(simulator.requestCount(13), 0);
    QVERIFY(rig.device->dataEntries().isEmpty());
    rig.device.reset(); // stopped before the spies go
}

void TestHandshake::identityReadDecidesTheResult()
{
    ModelRig rig;
    QVERIFY(rig.load(publicUnit));
    SimulatedQuorvAntisDevice &device = *rig.device;
    // Packets queued while the handshake runs go out in its drain; one that fails and
    // one that succeeds keep their own results.
    DelayedMessage empty;
    DeviceStatus status;
    SafeSpy emptyFailed(&empty, &Message::sendFailed);
    SafeSpy statusReceived(&status, &Message::received);
    QObject::connect(
        &device, &Device::handshakeStarted, &device,
        [&] {
            device.send(&status);
            device.send(&empty);
        },
        Qt::DirectConnection);
    SafeSpy connected(&device, &Device::connected);
    SafeSpy handshakes(&device, &Device::handshakeStarted);
    device.start();
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);
    QCOMPARE(handshakes.count(), 1);
    QCOMPARE(emptyFailed.count(), 1);
    QCOMPARE(emptyFailed.at(0).at(0).toInt(), int(Message::Failed));
    QCOMPARE(statusReceived.count(), 1);
    QCOMPARE(device.deviceID()->barcode(), 1193046u);
    rig.device.reset(); // stopped before the spies go
}

void TestHandshake::deviceWithoutParentReleasesWalksAndEntries()
{
    ModelRig rig;
    QVERIFY(rig.load(R"({"sessions": [
        {"type": "field", "start": "2026-03-01T14:00:00Z", "records": [[0, 1, 2]]},
        {"type": "audio", "start": "2026-03-01T15:00:00Z", "samples": [1, 2, 3]}]})"));
    QVERIFY(!rig.device->parent());
    rig.device->start();
    QVERIFY(waitForHeaders(rig.device.get(), 10000));
    // A refresh from the user interface starts a second walk with new objects.
    const QList<DataEntry *> first = rig.entries();
    DataEntryHold shown(first.at(0));
    SafeSpy changed(rig.device.get(), &QuorvAntisDevice::dataEntriesChanged);
    rig.device->refreshDataEntries();
    QCOMPARE(changed.count(), 1);
    QVERIFY(rig.device->dataEntries().isEmpty());
    QVERIFY(waitForHeaders(rig.device.get(), 10000));
    const QList<DataEntry *> second = rig.entries();
    QCOMPARE(second.size(), 2);
    QVERIFY(second.at(0) != first.at(0));
    QVERIFY(first.at(0)->load(rig.device.get())); // a shown entry of the earlier walk stays valid
    QVERIFY(waitForLoad(first.at(0)));
    QVERIFY(first.at(0)->isLoaded());

    // Once nothing shows it, the earlier walk goes with its entries.
    const QList<QPointer<DataEntry>> earlier(first.cbegin(), first.cend());
    shown.reset();
    QTRY_VERIFY(std::none_of(earlier.cbegin(), earlier.cend(),
                             [](const QPointer<DataEntry> &entry) { return !entry.isNull(); }));

    const QList<QPointer<DataEntry>> current(second.cbegin(), second.cend());
    rig.device.reset();
    // Walks and entries go by deferred deletion, so they must sit on a thread that runs
    // an event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (const auto &entry : current)
        QVERIFY(!entry);
}

QTEST_GUILESS_MAIN(TestHandshake)
#include "test_handshake.moc"
