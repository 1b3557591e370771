#include "bootloaderinfo.h"
#include "erase.h"
#include "packettestsupport.h"
#include "readaudiomemory.h"
#include "readdeviceidmemory.h"
#include "readfieldmemory.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr quint32 Sector = 0x10000;

// The bytes a reader must deliver for a session: marker, start time, data.
QByteArray expectedStream(const Scenario::Session &session,
                          const QList<Scenario::FieldRecord> &extra = {})
{
    QByteArray bytes(1, char(0xFF));
    bytes.append(InstrumentMemory::bcdTime(session.start));
    if (session.type == Scenario::Session::Audio)
        return bytes + session.samples;
    for (const auto &list : {session.records, extra}) {
        for (const Scenario::FieldRecord &r : list) {
            const char unit[4] = {char(r[0]), char(r[1]), 0, char(r[2])};
            bytes.append(unit, 4);
        }
    }
    return bytes;
}

// Reads one header record with command 13 and keeps the reply.
class HeaderProbe : public Message
{
public:
    explicit HeaderProbe(quint32 address) : Message(13, true), m_address(address) {}
    ErrorCode write(Request *request, Device *device) override
    {
        const ErrorCode result = Message::write(request, device);
        request->setUInt32LE(2, m_address);
        return result;
    }
    ErrorCode read(const Response *response, Device *device) override
    {
        reply = *response;
        return Message::read(response, device);
    }
    Response reply;

private:
    quint32 m_address;
};

struct HeaderEntry
{
    int type;
    quint32 address;
    QByteArray time;
};

} // namespace

class SimulatorTest : public QObject
{
    Q_OBJECT

    // Loads, connects and asks the bootloader query, as a handshake would.
    static bool start(InstrumentBench &bench, const Scenario &scenario, QString *error = nullptr)
    {
        if (!bench.instrument.load(scenario, error))
            return false;
        if (!bench.connect())
            return false;
        BootloaderInfo info;
        return bench.exchange(&info) == Device::Success;
    }

    static QByteArray readSession(InstrumentBench &bench, ReadHeaderMemory *reader)
    {
        QSignalSpy delivered(reader, &ReadMemory::dataReceived);
        if (bench.exchange(reader) != Device::Success || delivered.count() != 1)
            return QByteArray("<no delivery>");
        return delivered.at(0).at(1).toByteArray();
    }

    static QByteArray readPlacement(InstrumentBench &bench, const InstrumentMemory::Placement &p)
    {
        if (p.type == Scenario::Session::Field) {
            ReadFieldMemory reader(p.address);
            return readSession(bench, &reader);
        }
        ReadAudioMemory reader(p.address);
        return readSession(bench, &reader);
    }

    static QList<HeaderEntry> walkHeaders(InstrumentBench &bench, QList<quint32> *nexts = nullptr)
    {
        QList<HeaderEntry> entries;
        quint32 address = InstrumentMemory::HeaderTableStart;
        for (int guard = 0; guard < 100000 && address < 0xF03FFFFF; ++guard) {
            HeaderProbe probe(address);
            if (bench.exchange(&probe) != Device::Success)
                break;
            if (probe.reply[6] != 0)
                entries.append(
                    {probe.reply[6], probe.reply.uint32BE(7),
                     QByteArray(reinterpret_cast<const char *>(probe.reply.data()) + 11, 6)});
            address = probe.reply.uint32LE(1);
            if (nexts)
                nexts->append(address);
        }
        return entries;
    }

    // The layout rules every placed session keeps.
    static void checkLayoutRules(InstrumentBench &bench)
    {
        const InstrumentSimulator &simulator = bench.instrument.simulator();
        const QList<InstrumentMemory::Placement> placements = bench.instrument.placements();
        const MemoryBlock *block = bench.device.memoryBlock(DataEntryMemoryBlock);
        QVERIFY(block);
        for (quint32 sector = block->address; sector < block->address + block->size;
             sector += Sector)
            QCOMPARE(simulator.readMemory(sector, 1)[0], uint8_t(0xFF));
        for (const InstrumentMemory::Placement &p : placements) {
            const quint32 chunk = p.type == Scenario::Session::Field ? 4 : 1;
            const quint32 offset = (p.endAddress - block->address) % Sector;
            QVERIFY2(offset > 1 && offset < Sector - chunk,
                     qPrintable(QStringLiteral("end mark at 0x%1").arg(p.endAddress, 0, 16)));
            QCOMPARE(simulator.readMemory(p.endAddress, 1)[0], uint8_t(0xFF));
            QCOMPARE(simulator.readMemory(p.address, 1)[0], uint8_t(0xFF));
            QVERIFY(p.address % Sector != 0);
        }
    }

private slots:
    void exampleScenarioLoads()
    {
        Scenario scenario;
        QString error;
        QVERIFY2(scenario.loadFile(Scenario::dataPath("basic.json"), &error), qPrintable(error));
        QCOMPARE(scenario.barcode, quint32(42));
        QCOMPARE(scenario.identityBlock().toHex(), QByteArray("2a0000070000030a0b"));
        QCOMPARE(scenario.sessions.size(), 2);
        QCOMPARE(scenario.sessions.at(0).start,
                 QDateTime(QDate(2026, 3, 1), QTime(14, 0), Qt::UTC));
        QCOMPARE(scenario.sessions.at(1).samples, QByteArray("\x80\x82\x7f"));
        QVERIFY(scenario.hasLive);
        QCOMPARE(scenario.liveRecords.size(), 1);
    }

    void unrepresentableScenariosAreRefused_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("0xFF value")
            << QByteArray(
                   R"({"sessions":[{"type":"field","start":"2026-01-01T00:00:00Z","records":[[0,255,1]]}]})")
            << "records[0][1]";
        QTest::newRow("later zero delta")
            << QByteArray(
                   R"({"sessions":[{"type":"field","start":"2026-01-01T00:00:00Z","records":[[0,1,1],[0,2,2]]}]})")
            << "delta of 0";
        QTest::newRow("live zero delta")
            << QByteArray(
                   R"({"sessions":[{"type":"field","start":"2026-01-01T00:00:00Z"}],"live":{"records":[[0,1,1]]}})")
            << "live.records[0]";
        QTest::newRow("live without field session")
            << QByteArray(R"({"live":{"records":[[1,1,1]]}})") << "no field session";
        QTest::newRow("0xFF sample")
            << QByteArray(
                   R"({"sessions":[{"type":"audio","start":"2026-01-01T00:00:00Z","samples":[1,255]}]})")
            << "samples[1]";
        QTest::newRow("unknown key") << QByteArray(R"({"barcode":1})") << "barcode";
        QTest::newRow("bad hex") << QByteArray(R"({"identity":{"extraBytes":"0g"}})")
                                 << "extraBytes";
        QTest::newRow("24-bit barcode")
            << QByteArray(R"({"identity":{"barcode":16777216}})") << "barcode";
        QTest::newRow("bad start")
            << QByteArray(R"({"sessions":[{"type":"audio","start":"yesterday"}]})") << "start";
        QTest::newRow("unaligned block")
            << QByteArray(R"({"entryBlockAddress":4096})") << "entryBlockAddress";
        QTest::newRow("not json") << QByteArray("{") << "not JSON";
    }

    void unrepresentableScenariosAreRefused()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, mentions);
        Scenario scenario;
        QString error;
        QVERIFY(!scenario.loadJson(json, &error));
        QVERIFY2(error.contains(mentions), qPrintable(error));
    }

    void sessionThatDoesNotFitIsRefused()
    {
        Scenario scenario;
        scenario.entryBlockSectors = 1;
        Scenario::Session session;
        session.type = Scenario::Session::Audio;
        session.start = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
        session.samples = QByteArray(int(Sector) - 8, char(1));
        scenario.sessions.append(session);
        ScenarioInstrument instrument;
        QString error;
        QVERIFY(!instrument.load(scenario, &error));
        QVERIFY2(error.contains("does not fit"), qPrintable(error));
    }

    void dataFilesReadBackExactly_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("basic") << "basic.json";
        QTest::newRow("sector edges") << "sector-edges.json";
        QTest::newRow("empty") << "empty.json";
    }

    void dataFilesReadBackExactly()
    {
        QFETCH(QString, file);
        InstrumentBench bench;
        Scenario scenario;
        QString error;
        QVERIFY2(scenario.loadFile(Scenario::dataPath(file), &error), qPrintable(error));
        QVERIFY2(start(bench, scenario, &error), qPrintable(error));
        checkLayoutRules(bench);

        const QList<InstrumentMemory::Placement> placements = bench.instrument.placements();
        QCOMPARE(placements.size(), scenario.sessions.size());
        for (int i = 0; i < placements.size(); ++i)
            QCOMPARE(readPlacement(bench, placements.at(i)).toHex(),
                     expectedStream(scenario.sessions.at(i)).toHex());

        // The header table lists every session: field ones first, each once.
        QList<quint32> nexts;
        const QList<HeaderEntry> headers = walkHeaders(bench, &nexts);
        QCOMPARE(headers.size(), scenario.sessions.size());
        int h = 0;
        for (int pass = 1; pass <= 2; ++pass) {
            for (int i = 0; i < placements.size(); ++i) {
                if (int(placements.at(i).type) + 1 != pass)
                    continue;
                QCOMPARE(headers.at(h).type, pass);
                QCOMPARE(headers.at(h).address, placements.at(i).address);
                QCOMPARE(headers.at(h).time,
                         InstrumentMemory::bcdTime(scenario.sessions.at(i).start));
                ++h;
            }
        }
        QVERIFY(nexts.last() >= 0xF03FFFFF);
    }

    void identityBlockReadsBack_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<QString>("id");
        QTest::newRow("one byte per address") << 1 << "2a0000070000030a0b";
        // Two bytes per address: the block is whole addresses, padded with 0.
        QTest::newRow("two bytes per address") << 4 << "2a0000070000030a0b00";
    }

    void identityBlockReadsBack()
    {
        QFETCH(int, family);
        QFETCH(QString, id);
        InstrumentBench bench;
        Scenario scenario;
        QVERIFY(scenario.loadFile(Scenario::dataPath("basic.json")));
        scenario.family = uint8_t(family);
        scenario.sessions.clear();
        scenario.hasLive = false;
        QString error;
        QVERIFY2(start(bench, scenario, &error), qPrintable(error));
        ReadDeviceIDMemory reader(bench.device.deviceID(),
                                  bench.device.memoryBlock(DeviceIDMemoryBlock));
        QCOMPARE(bench.exchange(&reader), Device::Success);
        QCOMPARE(bench.device.deviceID()->barcode(), 42u);
        QCOMPARE(bench.device.deviceID()->databaseID(), 7u);
        QCOMPARE(bench.device.deviceID()->hardwareVersion(), uchar(3));
        QCOMPARE(bench.device.deviceID()->id(), id);

        // Sessions need one byte per address.
        if (family == 4) {
            QVERIFY(scenario.loadFile(Scenario::dataPath("basic.json")));
            scenario.family = 4;
            ScenarioInstrument refusing;
            QVERIFY(!refusing.load(scenario, &error));
            QVERIFY2(error.contains("family 4"), qPrintable(error));
        }
    }

    // Many sessions of random sizes and kinds fill several sectors; sessions
    // long enough to span sectors, and single-unit ones, all read back.
    void manyAndLongSessionsReadBack()
    {
        QRandomGenerator random(20260301);
        Scenario scenario;
        scenario.entryBlockSectors = 12;
        const QDateTime first(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
        for (int i = 0; i < 120; ++i) {
            Scenario::Session session;
            session.start = first.addSecs(i * 3600);
            const bool longOne = i % 40 == 7;
            const int units = longOne ? 30000 : random.bounded(0, 1500);
            session.type = random.bounded(2) ? Scenario::Session::Field : Scenario::Session::Audio;
            for (int u = 0; u < units; ++u) {
                if (session.type == Scenario::Session::Field)
                    session.records.append({uint8_t(u == 0 ? 0 : random.bounded(1, 255)),
                                            uint8_t(random.bounded(255)),
                                            uint8_t(random.bounded(255))});
                else
                    session.samples.append(char(random.bounded(255)));
            }
            scenario.sessions.append(session);
        }
        InstrumentBench bench;
        QString error;
        QVERIFY2(start(bench, scenario, &error), qPrintable(error));
        checkLayoutRules(bench);
        const QList<InstrumentMemory::Placement> placements = bench.instrument.placements();
        for (int i = 0; i < placements.size(); ++i) {
            const QByteArray read = readPlacement(bench, placements.at(i));
            const QByteArray expected = expectedStream(scenario.sessions.at(i));
            QVERIFY2(read == expected,
                     qPrintable(QStringLiteral("session %1 at 0x%2: %3 of %4 bytes")
                                    .arg(i)
                                    .arg(placements.at(i).address, 0, 16)
                                    .arg(read.size())
                                    .arg(expected.size())));
        }
    }

    // Sessions ending anywhere in the block's last 60 bytes, where the last
    // replies are short, read back without wrapping into the block's start.
    void sessionsAtTheEndOfTheBlockReadBack()
    {
        int placed = 0;
        int refused = 0;
        // The first session takes offsets 1-10; the second starts at 12 and
        // its end mark would fall on `end`.
        for (int end = int(Sector) - 70; end <= int(Sector) + 1; ++end) {
            Scenario scenario;
            scenario.entryBlockSectors = 1;
            Scenario::Session first; // something at the block's start to wrap into
            first.type = Scenario::Session::Audio;
            first.start = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
            first.samples = QByteArray(3, char(9));
            Scenario::Session last = first;
            last.start = first.start.addSecs(60);
            last.samples = QByteArray(end - 12 - 7, char(5));
            scenario.sessions = {first, last};
            InstrumentBench bench;
            QString error;
            if (!start(bench, scenario, &error)) {
                QVERIFY2(error.contains("does not fit"), qPrintable(error));
                ++refused;
                continue;
            }
            ++placed;
            const InstrumentMemory::Placement p = bench.instrument.placements().at(1);
            QCOMPARE(p.endAddress, scenario.entryBlockAddress + quint32(end));
            QCOMPARE(readPlacement(bench, p).size(), expectedStream(last).size());
        }
        qInfo("placed %d, refused %d", placed, refused);
        QCOMPARE(placed, 69); // the end mark may not be the block's last address
        QCOMPARE(refused, 3);
    }

    void liveRecordsExtendTheNewestFieldSession()
    {
        InstrumentBench bench;
        Scenario scenario;
        QVERIFY(scenario.loadFile(Scenario::dataPath("basic.json")));
        bench.instrument.setLiveClockRunning(false);
        QVERIFY(start(bench, scenario));
        checkLayoutRules(bench);

        const InstrumentMemory::Placement field = bench.instrument.placements().at(0);
        ReadFieldMemory reader(field.address);
        QSignalSpy delivered(&reader, &ReadMemory::dataReceived);
        QCOMPARE(bench.exchange(&reader), Device::Success);
        QCOMPARE(delivered.last().at(1).toByteArray(), expectedStream(scenario.sessions.at(0)));

        // A later read continues where the last stopped: each new record once.
        QList<Scenario::FieldRecord> live;
        for (int round = 0; round < 3; ++round) {
            QCOMPARE(bench.instrument.appendLiveRecords(2), 2);
            live << scenario.liveRecords.at(0) << scenario.liveRecords.at(0);
            QCOMPARE(bench.exchange(&reader), Device::Success);
            QCOMPARE(delivered.last().at(1).toByteArray(),
                     expectedStream(scenario.sessions.at(0), live));
        }
        // The audio session is untouched.
        QCOMPARE(readPlacement(bench, bench.instrument.placements().at(1)),
                 expectedStream(scenario.sessions.at(1)));
    }

    void liveRecordsCrossSectorsAndStopAtTheBlockEnd()
    {
        Scenario scenario;
        scenario.entryBlockSectors = 2;
        Scenario::Session session;
        session.start = QDateTime(QDate(2026, 4, 2), QTime(9, 30), Qt::UTC);
        session.earliestAddress = scenario.entryBlockAddress + Sector - 30;
        session.records = {{0, 1, 2}};
        scenario.sessions = {session};
        scenario.hasLive = true;
        scenario.liveRecords = {{1, 10, 20}, {2, 30, 40}, {3, 50, 60}};

        InstrumentBench bench;
        bench.instrument.setLiveClockRunning(false);
        QVERIFY(start(bench, scenario));
        ReadFieldMemory reader(bench.instrument.placements().at(0).address);
        QSignalSpy delivered(&reader, &ReadMemory::dataReceived);
        QList<Scenario::FieldRecord> live;
        // Appends one at a time across the sector edge, reading after each.
        for (int i = 0; i < 12; ++i) {
            QCOMPARE(bench.instrument.appendLiveRecords(1), 1);
            live << scenario.liveRecords.at(i % 3);
            QCOMPARE(bench.exchange(&reader), Device::Success);
            QCOMPARE(delivered.last().at(1).toByteArray().toHex(),
                     expectedStream(session, live).toHex());
        }
        // The session fills the second sector and then takes no more.
        const int fitted = bench.instrument.appendLiveRecords(20000);
        QVERIFY(fitted > 16000 && fitted < 16384);
        QCOMPARE(bench.exchange(&reader), Device::Success);
        QCOMPARE(delivered.last().at(1).toByteArray().size(), 7 + 4 * (1 + 12 + fitted));
        QCOMPARE(bench.instrument.appendLiveRecords(1), 0);
    }

    void liveClockAppendsWhileTheInstrumentIsRead()
    {
        Scenario scenario;
        QVERIFY(scenario.loadFile(Scenario::dataPath("basic.json")));
        scenario.liveAppendEveryMs = 20;
        InstrumentBench bench;
        QVERIFY(start(bench, scenario));
        ReadFieldMemory reader(bench.instrument.placements().at(0).address);
        QSignalSpy delivered(&reader, &ReadMemory::dataReceived);
        QCOMPARE(bench.exchange(&reader), Device::Success);
        QTest::qWait(120);
        QCOMPARE(bench.exchange(&reader), Device::Success);
        const int appended = bench.instrument.liveRecordsAppended();
        QVERIFY(appended >= 3);
        QCOMPARE(delivered.last().at(1).toByteArray().size(), 7 + 4 * (2 + appended));
    }

    void eraseLeavesOnlyTheIdentity()
    {
        InstrumentBench bench;
        Scenario scenario;
        QVERIFY(scenario.loadFile(Scenario::dataPath("sector-edges.json")));
        QVERIFY(start(bench, scenario));
        QCOMPARE(walkHeaders(bench).size(), 3);

        Erase erase;
        QSignalSpy disconnected(&bench.device, &Device::disconnected);
        QCOMPARE(bench.exchange(&erase), Device::Success);
        QCOMPARE(disconnected.count(), 1);

        // The instrument restarted: a new session, nothing recorded.
        bench.device.link().close();
        QVERIFY(bench.connect());
        BootloaderInfo info;
        QCOMPARE(bench.exchange(&info), Device::Success);
        QList<quint32> nexts;
        QVERIFY(walkHeaders(bench, &nexts).isEmpty());
        QCOMPARE(nexts, QList<quint32>({0xF0100000, 0xF0400000}));
        const MemoryBlock *block = bench.device.memoryBlock(DataEntryMemoryBlock);
        const std::vector<uint8_t> image =
            bench.instrument.simulator().readMemory(block->address, block->size);
        QVERIFY(std::all_of(image.begin(), image.end(), [](uint8_t b) { return b == 0xFF; }));
        QVERIFY(bench.instrument.placements().isEmpty());
        // Only the first byte (taken for a marker) comes back from erased memory.
        ReadFieldMemory reader(block->address + 1);
        QCOMPARE(readSession(bench, &reader), QByteArray(1, char(0xFF)));

        ReadDeviceIDMemory identity(bench.device.deviceID(),
                                    bench.device.memoryBlock(DeviceIDMemoryBlock));
        QCOMPARE(bench.exchange(&identity), Device::Success);
        QCOMPARE(bench.device.deviceID()->barcode(), 1193046u);
    }
};

QTEST_GUILESS_MAIN(SimulatorTest)
#include "test_simulator.moc"
