#include "delayedmessage.h"
#include "enginetestsupport.h"
#include "simulateddevice.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <thread>

namespace {

constexpr char extendedQuery = 12; // answered by the simulated instrument
constexpr char lockConfig = 3;     // no reply
constexpr int waitMs = 5000;

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private:
    // A running device over a plugged-in instrument, connected before returning.
    struct Rig
    {
        InstrumentSimulator simulator;
        SimulatedDevice device{&simulator};
        SignalRecorder recorder;

        Rig(int communicationTimeout = 1000)
        {
            device.setCommunicationTimeout(communicationTimeout);
            recorder.watchDevice(&device);
        }
        bool startConnected()
        {
            device.start();
            return QTest::qWaitFor([this] { return recorder.has("connected"); }, waitMs);
        }
        bool waitFor(const QString &event)
        {
            return QTest::qWaitFor([this, event] { return recorder.has(event); }, waitMs);
        }
    };

private slots:
    void queueOrderOfSendAndSendImmediate()
    {
        InstrumentSimulator simulator;
        SimulatedDevice device(&simulator);
        TestPacket a(1, false), b(1, false), p(1, false);

        device.send(&a);
        device.send(&b);
        device.sendImmediate(&p);
        QCOMPARE(device.takePendingPacket(), &p);
        QCOMPARE(device.takePendingPacket(), &a);
        QCOMPARE(device.takePendingPacket(), &b);
        QCOMPARE(device.takePendingPacket(), nullptr);

        device.send(&a);
        device.send(&b);
        device.send(&p);
        device.send(nullptr);
        device.sendImmediate(nullptr);
        p.send(&device); // the packet's own slot queues at the tail too
        QCOMPARE(device.takePendingPacket(), &a);
        QCOMPARE(device.takePendingPacket(), &b);
        QCOMPARE(device.takePendingPacket(), &p);
        QCOMPARE(device.takePendingPacket(), &p);
        QVERIFY(!device.hasPendingPackets());
    }

    void destroyedPacketLeavesTheQueue()
    {
        InstrumentSimulator simulator;
        SimulatedDevice device(&simulator);
        auto *a = new TestPacket(1, false);
        auto *b = new TestPacket(1, false);
        TestPacket keep(1, false);

        device.send(a);
        device.sendImmediate(a);
        device.send(&keep);
        device.send(a);
        delete a;
        // Destroyed on another thread: the watch must act before delete returns.
        device.send(b);
        std::thread([b] { delete b; }).join();

        QCOMPARE(device.takePendingPacket(), &keep);
        QCOMPARE(device.takePendingPacket(), nullptr);
    }

    void packetDestroyedBetweenTakeAndExchangeIsNotTouched()
    {
        InstrumentSimulator simulator;
        SimulatedDevice device(&simulator);
        SignalRecorder recorder;
        recorder.watchDevice(&device);
        auto *p = new TestPacket(extendedQuery, true);
        const std::shared_ptr<PacketTrace> trace = p->trace();

        device.send(p);
        Message *taken = device.takePendingPacket();
        QCOMPARE(taken, p);
        delete p;
        QCOMPARE(device.sendReceivePacket(taken), Device::Failed);
        QCOMPARE(trace->writes.load() + trace->hooks.load(), 0);
        QCoreApplication::processEvents();
        QVERIFY(recorder.events().isEmpty());

        // A later packet is exchanged as usual.
        TestPacket q(extendedQuery, false);
        QCOMPARE(device.sendReceivePacket(&q), Device::NotConnected);
        QCOMPARE(q.trace()->writes.load(), 1);
    }

    void packetWhileNotConnectedFailsAfterItsWrite()
    {
        InstrumentSimulator simulator;
        simulator.unplug();
        SimulatedDevice device(&simulator);
        SignalRecorder recorder;
        recorder.watchDevice(&device);
        TestPacket p(extendedQuery, true);
        recorder.watchPacket(&p, "p");

        device.send(&p);
        device.start();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.has("p.sendFailed(3)"), waitMs);
        QCOMPARE(recorder.events(), QStringList({"device.sendFailed(p,3)", "p.sendFailed(3)"}));
        QCOMPARE(p.trace()->writes.load(), 1);
        QCOMPARE(simulator.writeCalls(), 0);
    }

    void exchangeSignalsComeInOrderAndRequestIsZeroFilled()
    {
        Rig rig;
        QVERIFY(rig.startConnected());
        QCOMPARE(rig.recorder.events(),
                 QStringList({"handshakeStarted", "connectedChanged(1)", "connected"}));
        QVERIFY(rig.device.isConnected());
        rig.recorder.clear();
        rig.simulator.clearRequests();

        TestPacket p(extendedQuery, true);
        rig.recorder.watchPacket(&p, "p");
        rig.device.send(&p);
        QVERIFY(rig.waitFor("p.received"));
        QCOMPARE(rig.recorder.events(),
                 QStringList({"device.sent(p)", "p.sent", "device.received(p)", "p.received"}));
        QCOMPARE(p.trace()->reads.load(), 1);

        const auto requests = rig.simulator.requests();
        QCOMPARE(requests.size(), std::size_t(1));
        InstrumentSimulator::Report expected{};
        expected[1] = extendedQuery;
        expected[2] = 0x5A;
        // The transport hands over 64 bytes; everything not written is zero.
        QVERIFY(std::equal(expected.begin(), expected.begin() + 64, requests[0].begin()));
    }

    void packetWithoutReplyIsOnlySent()
    {
        Rig rig;
        QVERIFY(rig.startConnected());
        rig.recorder.clear();

        // The instrument answers command 12, but a packet that expects nothing
        // must leave that reply unread.
        TestPacket p(extendedQuery, false);
        TestPacket lock(lockConfig, false);
        rig.recorder.watchPacket(&p, "p");
        rig.recorder.watchPacket(&lock, "lock");
        rig.device.send(&p);
        rig.device.send(&lock);
        QVERIFY(rig.waitFor("lock.sent"));
        QCOMPARE(rig.recorder.events(),
                 QStringList({"device.sent(p)", "p.sent", "device.sent(lock)", "lock.sent"}));
        QCOMPARE(p.trace()->reads.load(), 0);
        QCOMPARE(rig.simulator.pendingReplies(), std::size_t(1));
    }

    void stalledTransportTimesOutAfterFiveWindows_data()
    {
        QTest::addColumn<QString>("stall");
        QTest::addColumn<QString>("failure");
        QTest::newRow("write") << "write"
                               << "device.sendFailed(p,1)";
        QTest::newRow("read") << "read"
                              << "device.receiveFailed(p,1)";
        QTest::newRow("reply lost") << "lost"
                                    << "p.receiveFailed(1)";
        QTest::newRow("reply after the time-out") << "late"
                                                  << "p.receiveFailed(1)";
    }

    void stalledTransportTimesOutAfterFiveWindows()
    {
        QFETCH(QString, stall);
        QFETCH(QString, failure);
        Rig rig(20);
        QVERIFY(rig.startConnected());
        rig.recorder.clear();

        if (stall == "write")
            rig.simulator.setWriteResult(0, -1);
        else if (stall == "read")
            rig.simulator.setReadResult(0, -1);
        else if (stall == "lost")
            rig.simulator.dropReplies(1);
        else
            rig.simulator.setReplyDelay(std::chrono::milliseconds(300));
        TestPacket p(extendedQuery, true), q(extendedQuery, true);
        rig.recorder.watchPacket(&p, "p");
        rig.recorder.watchPacket(&q, "q");
        QElapsedTimer timer;
        timer.start();
        rig.device.send(&p);
        QVERIFY(rig.waitFor(failure));
        QVERIFY2(timer.elapsed() >= 5 * 20, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(rig.device.isConnected());
        QCOMPARE(p.trace()->reads.load(), 0);

        // The engine stays connected and takes the next packet; a late reply left
        // in the input answers nothing that is asked later.
        if (stall == "late") {
            QTRY_VERIFY(rig.simulator.pendingReplies() == 1);
            QTest::qWait(400);
            QTest::ignoreMessage(QtWarningMsg, "Dropped a late reply to command 12.");
        }
        rig.simulator.clearFaults();
        rig.device.send(&q);
        QVERIFY(rig.waitFor("q.received"));
        QCOMPARE(q.trace()->reads.load(), 1);
        QCOMPARE(rig.simulator.pendingReplies(), std::size_t(0));
        QCOMPARE(rig.recorder.count("disconnected"), 0);
    }

    void transportFailureDisconnects_data()
    {
        QTest::addColumn<bool>("failWrite");
        QTest::addColumn<QString>("failure");
        QTest::newRow("write") << true << "device.sendFailed(p,255)";
        QTest::newRow("read") << false << "device.receiveFailed(p,255)";
    }

    void transportFailureDisconnects()
    {
        QFETCH(bool, failWrite);
        QFETCH(QString, failure);
        Rig rig;
        QVERIFY(rig.startConnected());
        rig.recorder.clear();

        if (failWrite)
            rig.simulator.setWriteResult(-1, 1);
        else
            rig.simulator.setReadResult(-1, 1);
        TestPacket p(extendedQuery, true);
        rig.recorder.watchPacket(&p, "p");
        rig.device.send(&p);
        QVERIFY(rig.waitFor("disconnected"));
        QVERIFY(rig.waitFor(failure));
        const QStringList events = rig.recorder.events();
        const int changed = int(events.indexOf("connectedChanged(0)"));
        QVERIFY(changed >= 0);
        QVERIFY(changed < events.indexOf("disconnected"));
        QCOMPARE(rig.recorder.count("disconnected"), 1);

        // The next pass closes the transport; the instrument is still there, so
        // the engine connects again.
        QTRY_COMPARE_WITH_TIMEOUT(rig.device.link().closeCount(), 1, waitMs);
        QTRY_COMPARE_WITH_TIMEOUT(rig.recorder.count("connected"), 1, waitMs);
        QTRY_VERIFY_WITH_TIMEOUT(rig.device.isConnected(), waitMs);
        QCOMPARE(rig.device.handshakeCount(), 2);
    }

    void wrongEchoIsDroppedAndTheNextReplyRead()
    {
        Rig rig;
        QVERIFY(rig.startConnected());
        rig.recorder.clear();

        rig.simulator.injectWrongEchoes(2, 13);
        QTest::ignoreMessage(QtWarningMsg, "Received incorrect response type.");
        QTest::ignoreMessage(QtWarningMsg, "Received incorrect response type.");
        TestPacket p(extendedQuery, true);
        rig.recorder.watchPacket(&p, "p");
        rig.device.send(&p);
        QVERIFY(rig.waitFor("p.received"));
        QCOMPARE(p.trace()->reads.load(), 3);
        QCOMPARE(rig.recorder.events(),
                 QStringList({"device.sent(p)", "p.sent", "device.received(p)", "p.received"}));
    }

    void stopEndsAnExchangeWithFailed()
    {
        Rig rig;
        QVERIFY(rig.startConnected());
        rig.recorder.clear();
        rig.simulator.setReadResult(0, -1);

        TestPacket p(extendedQuery, true);
        rig.recorder.watchPacket(&p, "p");
        rig.device.send(&p);
        QVERIFY(rig.waitFor("p.sent"));
        rig.device.stop();
        QVERIFY(rig.device.wait(waitMs));
        QVERIFY(rig.waitFor("p.receiveFailed(255)"));
        QCOMPARE(rig.recorder.count("disconnected"), 0);
        QCOMPARE(rig.recorder.count("device.receiveFailed(p,255)"), 1);
        QCOMPARE(rig.device.link().closeCount(), 0);
    }

    void packetDestroyedDuringItsExchangeIsLeftAlone()
    {
        Rig rig;
        QVERIFY(rig.startConnected());
        rig.recorder.clear();
        rig.simulator.setReadResult(0, -1);

        auto *p = new TestPacket(extendedQuery, true);
        const std::shared_ptr<PacketTrace> trace = p->trace();
        rig.recorder.watchPacket(p, "p");
        rig.device.send(p);
        QVERIFY(rig.waitFor("p.sent"));
        const int hooksBefore = trace->hooks.load();
        delete p;

        // The engine drops the exchange and goes on with the next packet.
        rig.simulator.clearFaults();
        TestPacket q(extendedQuery, true);
        rig.recorder.watchPacket(&q, "q");
        rig.device.send(&q);
        QVERIFY(rig.waitFor("q.received"));
        QCOMPARE(trace->hooks.load(), hooksBefore);
        QCOMPARE(trace->reads.load(), 0);
        for (const QString &event : rig.recorder.events())
            QVERIFY2(!event.contains("Failed(p") && !event.contains("received(p"),
                     qPrintable(event));
        QVERIFY(rig.device.isConnected());
    }

    void setConnectedSignalsOncePerChange()
    {
        InstrumentSimulator simulator;
        SimulatedDevice device(&simulator);
        std::atomic<int> changes{0};
        std::atomic<int> rising{0};
        QObject::connect(
            &device, &Device::connectedChanged, &device, [&] { ++changes; }, Qt::DirectConnection);
        QObject::connect(
            &device, &Device::connected, &device, [&] { ++rising; }, Qt::DirectConnection);

        device.setConnected(true);
        device.setConnected(true);
        QCOMPARE(changes.load(), 1);
        QCOMPARE(rising.load(), 1);
        device.setConnected(false);
        QCOMPARE(changes.load(), 2);

        constexpr int rounds = 300;
        for (int i = 0; i < rounds; ++i) {
            for (bool value : {true, false}) {
                std::atomic<bool> go{false};
                auto race = [&] {
                    while (!go.load()) {
                    }
                    device.setConnected(value);
                };
                std::thread one(race), two(race);
                go.store(true);
                one.join();
                two.join();
            }
        }
        QCOMPARE(changes.load(), 2 + 2 * rounds);
        QCOMPARE(rising.load(), 1 + rounds);
    }

    void delayedMessageWithoutPacketFailsAfterItsDelay()
    {
        Rig rig;
        QVERIFY(rig.startConnected());
        rig.recorder.clear();
        const int writesBefore = rig.simulator.writeCalls();

        DelayedMessage delayed;
        delayed.setDelay(50);
        rig.recorder.watchPacket(&delayed, "d");
        QElapsedTimer timer;
        timer.start();
        rig.device.send(&delayed);
        QVERIFY(rig.waitFor("d.sendFailed(255)"));
        QVERIFY(timer.elapsed() >= 50);
        QCOMPARE(rig.recorder.events(),
                 QStringList({"device.sendFailed(d,255)", "d.sendFailed(255)"}));
        QCOMPARE(rig.simulator.writeCalls(), writesBefore);
    }

    void delayedMessageDecodesThroughTheWrappedPacket()
    {
        Rig rig;
        QVERIFY(rig.startConnected());
        rig.recorder.clear();

        TestPacket wrapped(extendedQuery, true);
        DelayedMessage delayed(10, &wrapped);
        QCOMPARE(delayed.type(), extendedQuery);
        QVERIFY(delayed.expectsResponse());
        rig.recorder.watchPacket(&wrapped, "w");
        rig.recorder.watchPacket(&delayed, "d");
        rig.device.send(&delayed);
        QVERIFY(rig.waitFor("d.received"));
        QCOMPARE(rig.recorder.events(),
                 QStringList({"device.sent(d)", "d.sent", "device.received(d)", "d.received"}));
        QCOMPARE(wrapped.trace()->writes.load(), 1);
        QCOMPARE(wrapped.trace()->reads.load(), 1);
        QCOMPARE(wrapped.trace()->hooks.load(), 0);
    }

    void failedConnectionAttemptsAreRetried()
    {
        InstrumentSimulator simulator;
        simulator.refuseOpens(2);
        SimulatedDevice device(&simulator);
        SignalRecorder recorder;
        recorder.watchDevice(&device);
        int attempts = 0;
        device.setHandshake([&attempts](SimulatedDevice &) {
            return ++attempts == 1 ? Device::Failed : Device::Success;
        });

        device.start();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.has("connected"), waitMs);
        // Refused opens start no handshake; the failed handshake closes the
        // transport and the engine tries again.
        QCOMPARE(recorder.events(), QStringList({"handshakeStarted", "handshakeStarted",
                                                 "connectedChanged(1)", "connected"}));
        QCOMPARE(device.link().openCount(), 2);
        QCOMPARE(device.link().closeCount(), 1);
    }

    void unplugAndReplug()
    {
        Rig rig;
        QVERIFY(rig.startConnected());
        rig.recorder.clear();

        rig.simulator.unplug();
        QVERIFY(rig.waitFor("disconnected"));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.device.link().isOpen(), waitMs);
        QVERIFY(!rig.device.property("available").toBool());

        rig.simulator.replug();
        QVERIFY(rig.waitFor("connected"));
        TestPacket p(extendedQuery, true);
        rig.recorder.watchPacket(&p, "p");
        rig.device.send(&p);
        QVERIFY(rig.waitFor("p.received"));
    }

    void unplugDuringExchange()
    {
        Rig rig;
        QVERIFY(rig.startConnected());
        rig.recorder.clear();
        rig.simulator.setReadResult(0, -1);

        TestPacket p(extendedQuery, true);
        rig.recorder.watchPacket(&p, "p");
        rig.device.send(&p);
        QVERIFY(rig.waitFor("p.sent"));
        rig.simulator.unplug();
        QVERIFY(rig.waitFor("p.receiveFailed(255)"));
        QVERIFY(rig.waitFor("disconnected"));
    }

    void destroyingARunningDeviceStopsItsThread()
    {
        InstrumentSimulator simulator;
        simulator.setReadResult(0, -1);
        auto *device = new SimulatedDevice(&simulator);
        device->start();
        QVERIFY(QTest::qWaitFor([device] { return device->isConnected(); }, waitMs));
        TestPacket p(extendedQuery, true);
        device->send(&p);
        QTRY_VERIFY_WITH_TIMEOUT(simulator.readCalls() > 0, waitMs);
        delete device;                        // mid-exchange
        QCOMPARE(p.trace()->hooks.load(), 2); // sent, then the failed receive
    }

    void identityRecordsAndNoiseFloor()
    {
        InstrumentSimulator simulator;
        SimulatedDevice device(&simulator);
        QCOMPARE(device.rfNoiseFloor(), Device::defaultRfNoiseFloor);

        device.deviceID()->setDeviceID(QByteArray::fromHex("0102030405063c"));
        device.updateRfNoiseFloor();
        QCOMPARE(device.rfNoiseFloor(), 1.9545);
        device.deviceID()->setDeviceID(QByteArray::fromHex("01020304050607"));
        device.updateRfNoiseFloor();
        QCOMPARE(device.rfNoiseFloor(), Device::defaultRfNoiseFloor);

        QVERIFY(!device.hasMemory(DeviceIDMemoryBlock));
        QCOMPARE(device.memoryBlock(DeviceIDMemoryBlock), nullptr);
        device.addMemoryBlock({FlashMemoryBlock, 0x100, 0x10, 1});
        device.addMemoryBlock({DeviceIDMemoryBlock, 0x200, 7, 1});
        device.addMemoryBlock({DeviceIDMemoryBlock, 0x300, 9, 1});
        QVERIFY(device.hasMemory(DeviceIDMemoryBlock));
        QCOMPARE(device.memoryBlock(DeviceIDMemoryBlock)->address, 0x200u);
        device.clearMemoryBlocks();
        QVERIFY(!device.hasMemory(FlashMemoryBlock));

        QSignalSpy versions(&device, &Device::bootloaderVersionChanged);
        device.setBootloaderVersion(2, 3, 0);
        device.setBootloaderVersion(2, 3, 0);
        QCOMPARE(versions.count(), 2);
        QCOMPARE(device.bootloaderVersion()->humanize(), QStringLiteral("2.3.0"));
        QSignalSpy publicFlag(&device, &Device::isPublicChanged);
        device.setIsPublic(false);
        QCOMPARE(publicFlag.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "test_engine.moc"
