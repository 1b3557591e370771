// The HID transport against the stand-in hidapi.
#include "audiodataentry.h"
#include "fielddataentry.h"
#include "hidtestsupport.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <array>
#include <memory>

namespace {

using Report = std::array<unsigned char, 65>;

Report bootloaderQuery()
{
    Report request{};
    request[1] = 2;
    request[64] = 0xEE; // never handed over
    return request;
}

int readWithin(TestableHidDevice &device, Report *reply, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    int result = 0;
    while ((result = device.readRaw(reply->data(), int(reply->size()))) == 0 &&
           !deadline.hasExpired())
        QThread::usleep(100);
    return result;
}

bool waitForLoad(const QList<DataEntry *> &entries, int timeoutMs = 20000)
{
    QDeadlineTimer deadline(timeoutMs);
    const auto done = [&entries] {
        for (const DataEntry *e : entries) {
            if (e->isLoading() || !e->isLoaded())
                return false;
        }
        return true;
    };
    while (!done() && !deadline.hasExpired())
        QTest::qWait(5);
    return done();
}

} // namespace

class TestHidDevice : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void rawOperations();
    void connectFailures();
    void destructorClosesHandle();
    void readsInstrumentWithoutOverlappingCalls();
    void unplugDuringTransferAndReconnect();
    void qmlModule();
};

void TestHidDevice::init()
{
    QVERIFY(resetStandIn(QStringLiteral("probe.json")));
}

void TestHidDevice::rawOperations()
{
    StandInHid &hid = StandInHid::instance();
    TestableHidDevice device;
    QVERIFY(device.availableRaw());
    QVERIFY2(hid.reached(), "the real hidapi was loaded instead of the stand-in");
    QVERIFY(!device.isConnectedRaw());

    QCOMPARE(device.connectRaw(), Device::Success);
    QCOMPARE(device.connectRaw(), Device::Success);
    QCOMPARE(int(hid.handles().size()), 1);
    QCOMPARE(hid.handles().at(0).nonblockingCalls, 1);
    QVERIFY(device.isConnectedRaw());
    QVERIFY(device.availableRaw()); // also while open

    Report reply{};
    QCOMPARE(device.readRaw(reply.data(), int(reply.size())), 0);

    const Report request = bootloaderQuery();
    QCOMPARE(device.writeRaw(request.data(), int(request.size())), 64);
    const auto requests = hid.simulator().requests();
    QCOMPARE(int(requests.size()), 1);
    QCOMPARE(int(requests.back()[1]), 2);
    QCOMPARE(int(requests.back()[64]), 0); // the buffer's last byte stayed behind
    QCOMPARE(readWithin(device, &reply, 1000), 64);
    QCOMPARE(int(reply[0]), 2);

    device.disconnectRaw();
    QVERIFY(!device.isConnectedRaw());
    device.disconnectRaw();
    QCOMPARE(hid.handles().at(0).closeCalls, 1);
    QCOMPARE(device.writeRaw(request.data(), int(request.size())), -1);
    QCOMPARE(device.readRaw(reply.data(), int(reply.size())), -1);
    QCOMPARE(hid.handles().at(0).writes, 1);
    QVERIFY2(hid.misuses().empty(), qPrintable(misuseText()));
}

void TestHidDevice::connectFailures()
{
    StandInHid &hid = StandInHid::instance();
    TestableHidDevice device;

    hid.simulator().unplug();
    QVERIFY(!device.availableRaw());
    QCOMPARE(device.connectRaw(), Device::Failed);
    QVERIFY(!device.isConnectedRaw());
    QVERIFY(hid.handles().empty());
    hid.simulator().replug();

    // A handle that cannot be made non-blocking would stall the device thread
    // on its first read: it is closed again and the connection fails.
    hid.failNonblocking(1);
    QCOMPARE(device.connectRaw(), Device::Failed);
    QVERIFY(!device.isConnectedRaw());
    QCOMPARE(int(hid.handles().size()), 1);
    QCOMPARE(hid.handles().at(0).closeCalls, 1);
    QCOMPARE(device.connectRaw(), Device::Success);
    QCOMPARE(hid.openHandles(), 1);
    QCOMPARE(hid.outstandingEnumerations(), 0);
    QVERIFY2(hid.misuses().empty(), qPrintable(misuseText()));
}

void TestHidDevice::destructorClosesHandle()
{
    StandInHid &hid = StandInHid::instance();
    {
        TestableHidDevice device;
        device.start();
        QVERIFY(waitForHeaders(&device));
        // As the application does: the thread has finished before the device goes.
        device.stop();
        device.wait();
        QCOMPARE(hid.openHandles(), 1);
    }
    QCOMPARE(int(hid.handles().size()), 1);
    QCOMPARE(hid.handles().at(0).closeCalls, 1);
    QCOMPARE(hid.openHandles(), 0);
    QVERIFY2(hid.misuses().empty(), qPrintable(misuseText()));
}

void TestHidDevice::readsInstrumentWithoutOverlappingCalls()
{
    StandInHid &hid = StandInHid::instance();
    // Calls that last a while make any two that may overlap do so.
    hid.setCallDuration(std::chrono::microseconds(200));
    Scenario scenario;
    QVERIFY(scenario.loadFile(Scenario::dataPath("probe.json")));

    TestableHidDevice device;
    device.start();
    // The user-interface thread asks for `available` throughout, as a binding would.
    const auto pollAvailable = [&device](const std::function<bool()> &done, int timeoutMs) {
        QDeadlineTimer deadline(timeoutMs);
        int asked = 0;
        while (!done() && !deadline.hasExpired()) {
            QVERIFY(device.property("available").toBool());
            ++asked;
            QCoreApplication::processEvents();
        }
        QVERIFY(asked > 0);
    };
    pollAvailable([&device] { return device.isConnected() && device.hasAllHeaders(); }, 20000);
    if (QTest::currentTestFailed())
        return;
    QCoreApplication::sendPostedEvents();
    const QList<DataEntry *> entries = entriesOf(&device);
    QCOMPARE(entries.size(), scenario.sessions.size());
    for (DataEntry *entry : entries)
        QVERIFY(entry->load(&device));
    const auto loaded = [&entries] {
        for (const DataEntry *e : entries) {
            if (e->isLoading() || !e->isLoaded())
                return false;
        }
        return true;
    };
    pollAvailable(loaded, 30000);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(loaded());
    for (const DataEntry *entry : entries)
        QVERIFY(entry->isValid());
    device.stop();
    device.wait();

    QVERIFY2(hid.misuses().empty(), qPrintable(misuseText()));
    QCOMPARE(int(hid.handles().size()), 1);
    QCOMPARE(hid.handles().at(0).nonblockingCalls, 1);
    QVERIFY(hid.handles().at(0).writes > scenario.sessions.size());
    QCOMPARE(hid.outstandingEnumerations(), 0);
}

void TestHidDevice::unplugDuringTransferAndReconnect()
{
    StandInHid &hid = StandInHid::instance();
    hid.setFrameMs(1);
    TestableHidDevice device;
    device.setCommunicationTimeout(200);
    QueuedSpy disconnected(&device, &Device::disconnected);
    QueuedSpy connectedChanged(&device, &Device::connectedChanged);
    QueuedSpy connected(&device, qOverload<>(&Device::connected));
    device.start();
    QVERIFY(waitForHeaders(&device));

    // The long audio session takes many chunks; the instrument leaves after a few.
    AudioDataEntry *audio = nullptr;
    for (DataEntry *entry : entriesOf(&device)) {
        auto *candidate = qobject_cast<AudioDataEntry *>(entry);
        if (candidate && (!audio || candidate->dateTime() < audio->dateTime()))
            audio = candidate;
    }
    QVERIFY(audio);
    const DataEntryHold shown(audio); // as the page that loads it
    hid.simulator().unplugAfterReplies(5);
    QVERIFY(audio->load(&device));
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 5000);
    QCOMPARE(connectedChanged.count(), 2);
    QCOMPARE(connectedChanged.at(1).at(0).toBool(), false);
    QTRY_VERIFY_WITH_TIMEOUT(!audio->isLoading(), 5000);
    QVERIFY(!audio->isLoaded());
    QTRY_COMPARE_WITH_TIMEOUT(hid.openHandles(), 0, 5000);
    QVERIFY(!device.property("available").toBool());

    hid.simulator().replug();
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 2, 10000);
    QVERIFY(waitForHeaders(&device));
    QVERIFY(audio->load(&device));
    QVERIFY(waitForLoad({audio}));
    QVERIFY(audio->isValid());
    QCOMPARE(audio->rawData().size(), 2 * (1600 - 1500));
    device.stop();
    device.wait();

    const auto handles = hid.handles();
    QCOMPARE(int(handles.size()), 2);
    QCOMPARE(handles.at(0).closeCalls, 1);
    QCOMPARE(handles.at(0).nonblockingCalls, 1);
    QCOMPARE(handles.at(1).nonblockingCalls, 1);
    QVERIFY2(hid.misuses().empty(), qPrintable(misuseText()));
}

void TestHidDevice::qmlModule()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QuorvantisHID 1.0\nHIDDevice {}\n", QUrl());
    std::unique_ptr<QObject> object(component.create());
    QVERIFY2(object, qPrintable(component.errorString()));
    auto *device = qobject_cast<HIDDevice *>(object.get());
    QVERIFY(device);
    QVERIFY(device->property("available").toBool());
    QVERIFY(!device->property("connected").toBool());
    QVERIFY(device->property("dataEntries").value<QList<QObject *>>().isEmpty());
    QVERIFY(QMetaType::fromName("QuorvAntisDevice*").isValid());
}

QTEST_GUILESS_MAIN(TestHidDevice)
#include "test_hiddevice.moc"
