#include "bootloaderinfo.h"
#include "commands/protocolcommands.h"
#include "delayedmessage.h"
#include "devicestatus.h"
#include "fetchdataentries.h"
#include "packettestsupport.h"
#include "readdeviceidmemory.h"
#include "readmemory.h"
#include "reset.h"
#include "robustnesssupport.h"

#include <QRandomGenerator>
#include <QtEndian>
#include <atomic>
#include <thread>

namespace {

enum class Fault
{
    Unplug,
    WrongEcho,
    ShortReply,
    TooManyBytes,
    Garbage,
    LateReply,
};

const char *const faultNames[] = {"unplug",         "wrong echo", "short reply",
                                  "too many bytes", "garbage",    "late reply"};

enum Phase
{
    Connecting, // handshake and header walk, in the order the instrument sees them
    LoadField,
    LoadAudio,
    Idle,
};

// Counts the requests of the current phase and spoils the one reply a case aims at.
struct FaultPlan
{
    // Long after the engine gives up on a reply (five windows of 40 ms), within
    // the next exchange's own windows.
    static constexpr std::chrono::milliseconds lateBy{320};

    std::atomic<int> phase{Connecting};
    std::atomic<int> seen[Idle + 1] = {};
    int targetPhase = -1;
    int targetIndex = -1;
    Fault fault = Fault::Unplug;
    std::atomic<bool> fired{false};
    std::atomic<bool> delaying{false};
    QList<int> commands; // of the connecting phase, for the clean run

    void install(InstrumentSimulator &simulator, quint32 seed)
    {
        simulator.setReplyFilter(
            [this, seed, &simulator](const InstrumentSimulator::Report &request,
                                     InstrumentSimulator::Reply &reply, int &length) {
                if (delaying.exchange(false))
                    simulator.setReplyDelay(std::chrono::microseconds(0));
                const int current = phase.load();
                const int index = seen[current]++;
                if (current == Connecting)
                    commands.append(request[1]);
                if (current != targetPhase || index != targetIndex || fired.exchange(true))
                    return;
                switch (fault) {
                case Fault::Unplug:
                    simulator.unplug();
                    reply.reset();
                    break;
                case Fault::WrongEcho:
                    if (reply)
                        (*reply)[0] = uint8_t(request[1] + 1);
                    break;
                case Fault::ShortReply:
                    length = 6;
                    break;
                case Fault::TooManyBytes:
                    if (reply) {
                        // The byte that tells how much data follows, where the reply has one.
                        const int at = request[1] == 2 ? 1 : request[1] == 10 ? 6 : 5;
                        (*reply)[at] = 0xF0;
                    }
                    break;
                case Fault::Garbage: {
                    QRandomGenerator random(seed);
                    InstrumentSimulator::Report noise{};
                    for (auto &byte : noise)
                        byte = uint8_t(random.bounded(256));
                    reply = noise;
                    break;
                }
                case Fault::LateReply:
                    simulator.setReplyDelay(lateBy);
                    delaying = true;
                    break;
                }
            });
    }
};

// The data screen's status query on a slow host: each call into it lingers
// until its page starts closing (or lingerMs pass), then still uses it.
class SlowStatus : public DeviceStatus
{
public:
    static inline std::atomic<int> calls{0};
    static inline std::atomic<bool> closing{false};
    static inline std::atomic<int> lingerMs{0};

    ~SlowStatus() override { closing = true; }

    ErrorCode write(Request *request, Device *device) override
    {
        const Linger linger;
        return DeviceStatus::write(request, device);
    }
    ErrorCode read(const Response *response, Device *device) override
    {
        const Linger linger;
        return DeviceStatus::read(response, device);
    }
    void onSendFailed(ErrorCode result, Device *device) override
    {
        const Linger linger;
        DeviceStatus::onSendFailed(result, device);
    }

private:
    struct Linger
    {
        Linger()
        {
            ++calls;
            QDeadlineTimer deadline(lingerMs.load());
            while (!closing && !deadline.hasExpired())
                QThread::usleep(100);
            QThread::msleep(2);
        }
        ~Linger() { --calls; }
    };
};

// Answers its write from inside the write of the DelayedMessage wrapping it, as
// a packet's handler may: looks at its wrapper and lets go of a packet it owns.
class WrappedCall : public Message
{
public:
    WrappedCall() : Message(3, false) {}

    Message *wrapper = nullptr;
    std::unique_ptr<DeviceStatus> owned = std::make_unique<DeviceStatus>();
    std::atomic<bool> wrapperWhole{false};

    ErrorCode write(Request *request, Device *device) override
    {
        wrapperWhole = qobject_cast<DelayedMessage *>(wrapper) != nullptr;
        owned.reset();
        return Message::write(request, device);
    }
};

DataEntry *newestOfType(const QList<DataEntry *> &entries, DataEntry::EntryType type)
{
    for (DataEntry *entry : entries)
        if (entry->type() == type)
            return entry;
    return nullptr;
}

} // namespace

// Every exchange of the handshake, the header walk and one load of each kind is
// answered once wrongly or cut off by an unplug; afterwards the instrument must
// come back and read exactly as recorded.
class TestFaultMatrix : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyExchangeEveryFault();
    void truncatedReportIsNoReply();
    void nonsenseAnswersEnd_data();
    void nonsenseAnswersEnd();
    void quickRebootsWhilePagesClose();
    void packetDestroyedWhileItsCallRuns();

private:
    struct Counts
    {
        int connecting = 0;
        int loadField = 0;
        int loadAudio = 0;
    };

    bool runCase(int phase, int index, Fault fault, QString *failure);
    bool cleanReloadMatches(ModelRig &rig, bool identitySpoilt, QString *failure);
    bool matchesRecording(DataEntry *entry, int index, QString *failure);

    Counts m_counts;
    Scenario m_scenario;
    QHash<int, QByteArray> m_cleanAudio; // by entry index
};

void TestFaultMatrix::initTestCase()
{
    QString error;
    QVERIFY2(m_scenario.loadJson(robustnessScenario(), &error), qPrintable(error));

    // A clean run tells how many exchanges each phase takes.
    ModelRig rig;
    QVERIFY(rig.load(robustnessScenario()));
    FaultPlan plan;
    plan.install(rig.instrument.simulator(), 0);
    rig.device->start();
    QVERIFY(waitForHeaders(rig.device.get()));
    QTest::qWait(200); // anything the connection sends after the walk
    plan.phase = Idle;
    m_counts.connecting = plan.seen[Connecting];
    const QList<DataEntry *> entries = rig.entries();
    plan.phase = LoadField;
    DataEntry *field = newestOfType(entries, DataEntry::Field);
    QVERIFY(field && field->load(rig.device.get(), true) && waitForLoad(field));
    plan.phase = LoadAudio;
    DataEntry *audio = newestOfType(entries, DataEntry::Audio);
    QVERIFY(audio && audio->load(rig.device.get(), true) && waitForLoad(audio));
    plan.phase = Idle;
    m_counts.loadField = plan.seen[LoadField];
    m_counts.loadAudio = plan.seen[LoadAudio];
    // Clips come out as 16-bit samples; an undisturbed load gives the reference.
    for (DataEntry *entry : entries) {
        QVERIFY(entry->load(rig.device.get(), true) && waitForLoad(entry) && entry->isLoaded());
        if (auto *clip = qobject_cast<AudioDataEntry *>(entry))
            m_cleanAudio.insert(entries.indexOf(entry), clip->rawData());
    }
    qInfo() << "exchanges: connecting" << m_counts.connecting << plan.commands << "field load"
            << m_counts.loadField << "audio load" << m_counts.loadAudio;
    QVERIFY(m_counts.connecting > 6);
    QVERIFY(m_counts.loadField > 5);
    QVERIFY(m_counts.loadAudio > 5);
}

void TestFaultMatrix::everyExchangeEveryFault()
{
    const QList<Fault> faults{Fault::Unplug,       Fault::WrongEcho, Fault::ShortReply,
                              Fault::TooManyBytes, Fault::Garbage,   Fault::LateReply};
    const QList<QPair<int, int>> phases{{Connecting, m_counts.connecting},
                                        {LoadField, m_counts.loadField},
                                        {LoadAudio, m_counts.loadAudio}};
    int cases = 0;
    QStringList failures;
    for (const auto &[phase, count] : phases) {
        // Every index, or an even spread of 50 over a longer phase.
        const int step = count > 50 ? (count + 49) / 50 : 1;
        for (int index = 0; index < count; index += step) {
            for (Fault fault : faults) {
                QString failure;
                if (!runCase(phase, index, fault, &failure))
                    failures << QStringLiteral("phase %1 exchange %2 %3: %4")
                                    .arg(phase)
                                    .arg(index)
                                    .arg(faultNames[int(fault)], failure);
                ++cases;
            }
        }
    }
    qInfo() << "fault cases run:" << cases;
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
}

// A report cut short must not pass for a reply whose missing bytes are zeros.
void TestFaultMatrix::truncatedReportIsNoReply()
{
    InstrumentBench bench;
    QVERIFY(bench.instrument.loadFile(Scenario::dataPath("basic.json")));
    bench.device.setCommunicationTimeout(20);
    QVERIFY(bench.connect());
    bench.instrument.simulator().setReplyFilter([](const InstrumentSimulator::Report &,
                                                   InstrumentSimulator::Reply &,
                                                   int &length) { length = 6; });
    BootloaderInfo info;
    QCOMPARE(bench.exchange(&info), Device::Timeout);
    QVERIFY(!bench.device.hasMemory(DeviceIDMemoryBlock));

    bench.instrument.simulator().setReplyFilter(nullptr);
    QCOMPARE(bench.exchange(&info), Device::Success);
    QVERIFY(bench.device.hasMemory(DeviceIDMemoryBlock));
}

bool TestFaultMatrix::runCase(int phase, int index, Fault fault, QString *failure)
{
    ModelRig rig;
    if (!rig.load(robustnessScenario())) {
        *failure = "scenario refused";
        return false;
    }
    rig.device->setCommunicationTimeout(40);
    FaultPlan plan;
    plan.targetPhase = phase;
    plan.targetIndex = index;
    plan.fault = fault;
    plan.install(rig.instrument.simulator(), quint32(phase * 1000 + index));
    InstrumentSimulator &simulator = rig.instrument.simulator();
    SimulatedQuorvAntisDevice *device = rig.device.get();
    device->start();

    if (phase != Connecting) {
        if (!waitForHeaders(device)) {
            *failure = "no clean walk before the load";
            return false;
        }
        plan.phase = phase;
        const QList<DataEntry *> entries = rig.entries();
        DataEntry *entry =
            newestOfType(entries, phase == LoadField ? DataEntry::Field : DataEntry::Audio);
        if (entry->load(device, true))
            waitForLoad(entry);
        if (fault == Fault::LateReply) {
            // Chosen again at once: the late reply arrives while the reload waits,
            // and the reload must read what was recorded.
            if (!entry->load(device, true) || !waitForLoad(entry) ||
                !matchesRecording(entry, int(entries.indexOf(entry)), failure)) {
                failure->prepend("the reload after the late reply: ");
                return false;
            }
        }
    }
    if (!QTest::qWaitFor([&] { return plan.fired.load(); }, 10000)) {
        *failure = "the aimed exchange never came";
        return false;
    }
    if (fault == Fault::Unplug) {
        if (!QTest::qWaitFor([&] { return !device->isConnected(); }, 5000)) {
            *failure = "the unplug went unnoticed";
            return false;
        }
        simulator.replug();
    }
    plan.phase = Idle;
    if (!QTest::qWaitFor([&] { return device->isConnected(); }, 10000)) {
        *failure = "did not reconnect";
        return false;
    }
    // Whatever the spoilt walk or load left, a fresh walk and loads read the recording.
    waitForHeaders(device, 3000);
    const bool identitySpoilt =
        fault == Fault::TooManyBytes && phase == Connecting && plan.commands.value(index) == 7;
    return cleanReloadMatches(rig, identitySpoilt, failure);
}

bool TestFaultMatrix::cleanReloadMatches(ModelRig &rig, bool identitySpoilt, QString *failure)
{
    SimulatedQuorvAntisDevice *device = rig.device.get();
    device->refreshDataEntries();
    if (!waitForHeaders(device)) {
        *failure = "the clean walk did not finish";
        return false;
    }
    const QList<DataEntry *> entries = rig.entries();
    if (entries.size() != m_scenario.sessions.size()) {
        *failure = QStringLiteral("%1 entries").arg(entries.size());
        return false;
    }
    // A count beyond the payload is clamped by design, so an identity reply that
    // claims too much is taken from the whole field; the next handshake mends it.
    if (device->deviceID()->barcode() != 314159 && !identitySpoilt) {
        *failure = QStringLiteral("barcode %1").arg(device->deviceID()->barcode());
        return false;
    }
    for (DataEntry *entry : entries) {
        waitForLoad(entry);
        if (!entry->load(device, true) || !waitForLoad(entry) || !entry->isLoaded() ||
            !entry->isValid()) {
            *failure = "an entry did not load";
            return false;
        }
    }
    for (int i = 0; i < entries.size(); ++i)
        if (!matchesRecording(entries.at(i), i, failure))
            return false;
    return true;
}

bool TestFaultMatrix::matchesRecording(DataEntry *entry, int index, QString *failure)
{
    const Scenario::Session &session =
        m_scenario.sessions.at(m_scenario.sessions.size() - 1 - index);
    if (entry->dateTime() != session.start) {
        *failure = QStringLiteral("entry %1 starts at the wrong time").arg(index);
        return false;
    }
    const bool same =
        session.type == Scenario::Session::Field
            ? readingsMatch(qobject_cast<FieldDataEntry *>(entry), session.records, session.start,
                            false)
            : qobject_cast<AudioDataEntry *>(entry) &&
                  qobject_cast<AudioDataEntry *>(entry)->rawData() == m_cleanAudio.value(index) &&
                  m_cleanAudio.value(index).size() == 2 * session.samples.size();
    if (!same)
        *failure = QStringLiteral("entry %1 differs from the recording").arg(index);
    return same;
}

void TestFaultMatrix::nonsenseAnswersEnd_data()
{
    QTest::addColumn<QString>("nonsense");
    QTest::newRow("header names itself as the next") << "header self";
    QTest::newRow("header table without end") << "header endless";
    // Each empty slot costs a pause: all 65,536 would take over ten minutes.
    QTest::newRow("header table of empty slots") << "header empty";
    QTest::newRow("field data without end mark") << "field";
    QTest::newRow("audio data without end mark") << "audio";
    QTest::newRow("identity block of 0x0FFFFFFF addresses") << "identity";
}

// An instrument whose answers never end a walk or a read: each ends all the same,
// with the failure it has, and what it holds stays within what the instrument has.
void TestFaultMatrix::nonsenseAnswersEnd()
{
    QFETCH(QString, nonsense);
    // One sector of entries, so that a read that meets no end mark is quick to wrap.
    QByteArray json = robustnessScenario();
    json.insert(1, R"("entryBlockSectors": 1, )");
    ModelRig rig;
    QVERIFY(rig.load(json));
    InstrumentSimulator &simulator = rig.instrument.simulator();
    SimulatedQuorvAntisDevice *device = rig.device.get();
    const auto asked = [](const InstrumentSimulator::Report &request) {
        return qFromLittleEndian<quint32>(request.data() + 2);
    };

    if (nonsense == "identity") {
        InstrumentSimulator::Profile profile = simulator.profile();
        for (InstrumentSimulator::MemoryRegion &region : profile.regions)
            if (region.type == DeviceIDMemoryBlock)
                region.size = 0x0FFFFFFF;
        simulator.setProfile(profile);
        device->start();
        QVERIFY(QTest::qWaitFor([&] { return device->isConnected(); }, 10000));
        QCOMPARE(device->deviceID()->barcode(), 314159u);
        QCOMPARE(device->deviceID()->id().size(), 2 * int(ReadDeviceIDMemory::MaximumRecordSize));
        QCOMPARE(simulator.requestCount(7), 2);
        return;
    }
    if (nonsense.startsWith("header")) {
        // Every header is the first session's, or an empty slot; the next one is the
        // same, or the one after.
        const bool empty = nonsense.endsWith("empty");
        const quint32 step = nonsense.endsWith("self") ? 0 : 16;
        InstrumentSimulator::Report first{};
        first[1] = 13;
        first[5] = 0xF0;
        simulator.setReplyFilter(
            [&simulator, asked, first, step, empty](const InstrumentSimulator::Report &request,
                                                    InstrumentSimulator::Reply &reply, int &) {
                if (request[1] == 13 && reply) {
                    reply = SimulatedCommands::entryHeader(simulator, first);
                    qToLittleEndian<quint32>(asked(request) + step, reply->data() + 1);
                    if (empty)
                        (*reply)[6] = 0;
                }
            });
        SafeSpy walkFailed(device, &QuorvAntisDevice::headerWalkFailed);
        device->start();
        QVERIFY(QTest::qWaitFor([&] { return walkFailed.count() == 1; }, 120000));
        QVERIFY(!device->hasAllHeaders() && device->isConnected());
        QVERIFY(device->dataEntries().size() <= 1);
        QCOMPARE(simulator.requestCount(13), 1 + (empty  ? FetchDataEntries::MaximumEmptySlots
                                                  : step ? FetchDataEntries::MaximumHeaders
                                                         : 0));
        return;
    }

    device->start();
    QVERIFY(waitForHeaders(device));
    DataEntry *entry =
        newestOfType(rig.entries(), nonsense == "field" ? DataEntry::Field : DataEntry::Audio);
    QVERIFY(entry);
    const quint32 marker = entry->absoluteAddress();
    // Nothing but the entry's own marker reads as 0xFF.
    simulator.setReplyFilter(
        [&](const InstrumentSimulator::Report &request, InstrumentSimulator::Reply &reply, int &) {
            if (request[1] != 7 || !reply)
                return;
            const int count = (*reply)[5];
            for (int j = 0; j < count; ++j) {
                uint8_t &byte = (*reply)[6 + 58 - count + j];
                if (byte == 0xFF && asked(request) + quint32(j) != marker)
                    byte = 0x01;
            }
        });
    simulator.clearRequests();
    QVERIFY(entry->load(device, true));
    QVERIFY(waitForLoad(entry, 60000) && entry->isLoaded());
    const auto *reader = entry->findChild<ReadMemory *>();
    QVERIFY(reader);
    QCOMPARE_LE(reader->data().size(), 0x10000);
    QCOMPARE_LE(simulator.requestCount(7), 0x10000 / 50);
    QVERIFY(device->isConnected());
}

// Reboot pressed twice in quick succession, round after round: each reboot
// closes the page whose status query may be in the middle of its exchange.
// A closing page must wait for a call into its packet, never free it under
// the device thread.
void TestFaultMatrix::quickRebootsWhilePagesClose()
{
    ModelRig rig;
    QVERIFY(rig.load(robustnessScenario()));
    SimulatedQuorvAntisDevice *device = rig.device.get();
    rig.instrument.simulator().setReplyDelay(std::chrono::microseconds(2000));
    Reset reset;
    std::unique_ptr<SlowStatus> status;
    int connects = 0;
    int freedMidCall = 0;
    const auto closePage = [&] {
        status.reset();
        freedMidCall += SlowStatus::calls.load() != 0 ? 1 : 0;
    };
    QObject::connect(device, &Device::connected, &reset, [&] {
        ++connects;
        SlowStatus::closing = false;
        status = std::make_unique<SlowStatus>();
        device->send(status.get());
    });
    QObject::connect(device, &Device::disconnected, &reset, closePage);
    SlowStatus::lingerMs = 5;
    device->start();
    QVERIFY(waitForHeaders(device));
    for (int round = 0; round < 25; ++round) {
        const int before = connects;
        device->send(&reset);
        QThread::msleep(50);
        QCoreApplication::processEvents();
        device->send(&reset);
        QVERIFY2(
            QTest::qWaitFor([&] { return connects > before && device->hasAllHeaders(); }, 20000),
            qPrintable(QStringLiteral("round %1").arg(round)));
    }
    QVERIFY(rig.instrument.simulator().requestCount(8) >= 25);

    // The page closes exactly while the device thread takes the reply apart.
    QVERIFY(QTest::qWaitFor([&] { return SlowStatus::calls == 0; }, 5000));
    SlowStatus::lingerMs = 2000;
    SlowStatus::closing = false;
    status = std::make_unique<SlowStatus>();
    device->send(status.get());
    QVERIFY(QTest::qWaitFor([&] { return SlowStatus::calls > 0; }, 5000));
    closePage();
    QCOMPARE(freedMidCall, 0);
}

// A packet made from QML goes while the device thread is inside a call into it,
// and that call lets go of another packet: both ends finish, and the call sees
// the packet whole.
void TestFaultMatrix::packetDestroyedWhileItsCallRuns()
{
    ModelRig rig;
    QVERIFY(rig.load(robustnessScenario()));
    SimulatedQuorvAntisDevice *device = rig.device.get();
    device->start();
    QVERIFY(waitForHeaders(device));

    WrappedCall call;
    auto *delayed = new DelayedMessage(300, &call);
    call.wrapper = delayed;
    device->send(delayed);
    QVERIFY(QTest::qWaitFor([&] { return !device->hasPendingPackets(); }, 5000));
    QThread::msleep(50); // the device thread waits inside the delayed packet's write

    std::atomic<bool> destroyed{false};
    std::thread watchdog([&destroyed] {
        for (int i = 0; i < 2000 && !destroyed; ++i)
            QThread::msleep(10);
        if (!destroyed)
            qFatal("A packet's destruction and a call into it wait for each other");
    });
    delete delayed;
    destroyed = true;
    watchdog.join();
    QVERIFY(!call.owned && call.wrapperWhole);
}

QTEST_GUILESS_MAIN(TestFaultMatrix)
#include "test_faultmatrix.moc"
