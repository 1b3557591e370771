#include "bootloaderinfo.h"
#include "packettestsupport.h"
#include "readaudiomemory.h"
#include "readblockmemory.h"
#include "readdeviceidmemory.h"
#include "readfieldmemory.h"

#include <QSignalSpy>
#include <QTest>

namespace {

constexpr quint32 Block = 0x100000; // the entry block of the geometry below
constexpr quint32 Sector = 0x10000;

// Gives the device a geometry without an instrument: identity block, an
// entry block of two sectors, 58-byte packets.
void setGeometry(Device *device, uchar family = 1, quint32 entrySize = 2 * Sector,
                 uchar bytesPerPacket = 58, bool withEntryBlock = true)
{
    Response reply;
    reply[0] = 2;
    reply[1] = bytesPerPacket;
    reply[2] = family;
    reply[3] = 4;
    reply.setUInt32LE(4, 0x100);
    reply.setUInt32LE(8, 7);
    reply[12] = withEntryBlock ? 5 : 0xFF;
    reply.setUInt32LE(13, Block);
    reply.setUInt32LE(17, entrySize);
    reply[21] = 0xFF;
    BootloaderInfo info;
    info.read(&reply, device);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// `count` bytes of data that hold no 0xFF.
QByteArray filler(int count, int first = 1)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out.append(char((first + i) % 0xFF));
    return out;
}

// A read over an arbitrary region with no end marks: only the region's end
// and the wrap stop it.
class PlainRead : public ReadMemory
{
public:
    PlainRead(quint32 start, quint32 end, quint32 sector = Sector,
              Device::MemoryType type = Device::FLASH)
        : ReadMemory(start, type), m_start(start), m_end(end), m_sector(sector)
    {}
    quint32 memoryRegionStart(Device *) override { return m_start; }
    quint32 memoryRegionEnd(Device *) override { return m_end; }
    quint32 memorySectorSize(Device *) override { return m_sector; }
    quint32 memoryWriteChunkSize(Device *) override { return 1; }
    bool isEndOfData(Device *, const Response *, uint, uint) override { return false; }

private:
    quint32 m_start, m_end, m_sector;
};

class TypedHeaderRead : public ReadHeaderMemory
{
public:
    TypedHeaderRead(quint32 address, Device::MemoryType type) : ReadHeaderMemory(address, type) {}
    quint32 memoryWriteChunkSize(Device *) override { return 4; }
};

} // namespace

class MemoryPacketsTest : public QObject
{
    Q_OBJECT

private slots:
    void fullReplyWithoutEndMoves58Bytes_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("advance");
        QTest::newRow("one byte per address") << 1 << 58;
        QTest::newRow("two bytes per address") << 4 << 29;
    }

    void fullReplyWithoutEndMoves58Bytes()
    {
        QFETCH(int, family);
        QFETCH(int, advance);
        InstrumentBench bench;
        setGeometry(&bench.device, uchar(family));
        ReadFieldMemory reader(Block + 0x10);
        Request request;
        QCOMPARE(reader.write(&request, &bench.device), Message::Success);
        QCOMPARE(int(request[1]), 7);
        QCOMPARE(request.uint32LE(2), Block + 0x10);
        QCOMPARE(int(request[6]), 58);

        QSignalSpy delivered(&reader, &ReadMemory::dataReceived);
        const Response reply = memoryReply(Block + 0x10, bytes({0xFF}) + filler(57));
        QCOMPARE(reader.read(&reply, &bench.device), Message::Success);
        QCOMPARE(reader.data().size(), 58);
        QCOMPARE(reader.readAddress(), Block + 0x10 + quint32(advance));
        QCOMPARE(delivered.count(), 0);
        QVERIFY(bench.device.hasPendingPackets()); // queued itself for the next chunk
    }

    void endMarkEndsTheReadAndStaysOut()
    {
        InstrumentBench bench;
        setGeometry(&bench.device);
        ReadAudioMemory reader(Block + 0x21);
        QSignalSpy delivered(&reader, &ReadMemory::dataReceived);
        const Response reply =
            memoryReply(Block + 0x21, bytes({0xFF}) + filler(9) + bytes({0xFF}) + filler(47));
        QCOMPARE(reader.read(&reply, &bench.device), Message::Success);
        QCOMPARE(delivered.count(), 1);
        QCOMPARE(delivered.at(0).at(1).toByteArray(), bytes({0xFF}) + filler(9));
        QCOMPARE(reader.readAddress(), Block + 0x21 + 10); // on the end mark
        QVERIFY(!bench.device.hasPendingPackets());
    }

    void entryWithoutMarkerStopsAfterOneReply()
    {
        InstrumentBench bench;
        setGeometry(&bench.device);
        ReadFieldMemory reader(Block + 0x40);
        QSignalSpy delivered(&reader, &ReadMemory::dataReceived);
        const Response reply = memoryReply(Block + 0x40, filler(58, 5));
        QCOMPARE(reader.read(&reply, &bench.device), Message::Success);
        QCOMPARE(delivered.count(), 1);
        QCOMPARE(delivered.at(0).at(1).toByteArray().size(), 58);
        QVERIFY(!bench.device.hasPendingPackets());

        QVERIFY(!reader.isDataValid(&bench.device, QByteArray()));
        QVERIFY(!reader.isDataValid(&bench.device, bytes({0})));
        QVERIFY(reader.isDataValid(&bench.device, bytes({0xFF, 1})));
    }

    void markAtSectorStartRestartsThere_data()
    {
        QTest::addColumn<int>("offset"); // of the 0xFF within the next sector
        QTest::newRow("first address") << 0;
        QTest::newRow("second address") << 1;
    }

    void markAtSectorStartRestartsThere()
    {
        QFETCH(int, offset);
        InstrumentBench bench;
        setGeometry(&bench.device);
        const quint32 start = Block + Sector - 32;
        ReadFieldMemory reader(start);
        // 32 bytes up to the sector's end, then the mark in the next sector.
        QByteArray first = bytes({0xFF}) + filler(31 + offset);
        first += bytes({0xFF}) + filler(58 - first.size() - 1);
        Response reply = memoryReply(start, first);
        QCOMPARE(reader.read(&reply, &bench.device), Message::Success);
        QCOMPARE(reader.data().size(), 32 + offset);
        QCOMPARE(reader.readAddress(), Block + Sector);
        QVERIFY(bench.device.hasPendingPackets());

        // At the sector start the first byte and the repeated marker and time
        // are skipped once data has been collected.
        QSignalSpy delivered(&reader, &ReadMemory::dataReceived);
        reply =
            memoryReply(Block + Sector, bytes({0xFF, 0xFF, 0x26, 0x03, 0x01, 0x14, 0x00, 0x00}) +
                                            filler(12, 100) + bytes({0xFF}) + filler(37));
        QCOMPARE(reader.read(&reply, &bench.device), Message::Success);
        QCOMPARE(delivered.count(), 1);
        const QByteArray data = delivered.at(0).at(1).toByteArray();
        QCOMPARE(data.size(), 32 + offset + 12);
        QCOMPARE(data.right(12), filler(12, 100));
        QCOMPARE(reader.readAddress(), Block + Sector + 20);
    }

    void markInTheLastChunkGoesOnInTheNextSector()
    {
        InstrumentBench bench;
        setGeometry(&bench.device);
        const quint32 start = Block + Sector - 40;
        // Field data: 0xFF three addresses before the sector's end is its
        // erased tail; audio data (one-byte chunks) ends there.
        const QByteArray payload = bytes({0xFF}) + filler(36) + bytes({0xFF}) + filler(20);
        ReadFieldMemory field(start);
        Response reply = memoryReply(start, payload);
        QCOMPARE(field.read(&reply, &bench.device), Message::Success);
        QCOMPARE(field.readAddress(), Block + Sector);
        QVERIFY(bench.device.hasPendingPackets());

        ReadAudioMemory audio(start);
        QSignalSpy delivered(&audio, &ReadMemory::dataReceived);
        QCOMPARE(audio.read(&reply, &bench.device), Message::Success);
        QCOMPARE(delivered.count(), 1);
        QCOMPARE(audio.readAddress(), start + 37);
    }

    void readWrapsAtTheRegionEndAndStopsAtItsStart()
    {
        InstrumentBench bench;
        setGeometry(&bench.device);
        PlainRead reader(0x1000, 0x1000 + 100);
        Request request;
        Response reply = memoryReply(0x1000, filler(58));
        QCOMPARE(reader.read(&reply, &bench.device), Message::Success);
        QCOMPARE(reader.readAddress(), quint32(0x103A));
        QCOMPARE(reader.write(&request, &bench.device), Message::Success);
        QCOMPARE(int(request[6]), 42); // what is left of the region

        // A short reply near the end: its bytes count from the field's start,
        // so the read passes the end and wraps to its own start.
        QSignalSpy delivered(&reader, &ReadMemory::dataReceived);
        reply = memoryReply(0x103A, filler(42, 60));
        QCOMPARE(reader.read(&reply, &bench.device), Message::Success);
        QCOMPARE(reader.readAddress(), quint32(0x1000));
        QCOMPARE(delivered.count(), 1);
        QCOMPARE(delivered.at(0).at(1).toByteArray().size(), 100);

        // An instrument that answers a whole field past the end still gives
        // only the region.
        PlainRead greedy(0x1000, 0x1000 + 100);
        reply = memoryReply(0x1000, filler(58));
        QCOMPARE(greedy.read(&reply, &bench.device), Message::Success);
        reply = memoryReply(0x103A, filler(58, 60));
        QCOMPARE(greedy.read(&reply, &bench.device), Message::Success);
        QCOMPARE(greedy.data(), filler(58) + filler(42, 60));
    }

    void readPastTheEndContinuesAtTheRegionStart()
    {
        InstrumentBench bench;
        setGeometry(&bench.device, 1, Sector);
        const quint32 end = Block + Sector;
        ReadFieldMemory reader(end - 64);
        Response reply = memoryReply(end - 64, bytes({0xFF}) + filler(57));
        QCOMPARE(reader.read(&reply, &bench.device), Message::Success);
        Request request;
        QCOMPARE(reader.write(&request, &bench.device), Message::Success);
        QCOMPARE(int(request[6]), 6);
        reply = memoryReply(end - 6, filler(6));
        QCOMPARE(reader.read(&reply, &bench.device), Message::Success);
        QCOMPARE(reader.readAddress(), Block); // the entry goes on at the block's start
        QVERIFY(bench.device.hasPendingPackets());
    }

    void emptyReplyEndsTheRead()
    {
        InstrumentBench bench;
        setGeometry(&bench.device);
        ReadFieldMemory reader(Block + 0x10);
        Response reply = memoryReply(Block + 0x10, bytes({0xFF}) + filler(57));
        QCOMPARE(reader.read(&reply, &bench.device), Message::Success);
        QSignalSpy delivered(&reader, &ReadMemory::dataReceived);
        reply = memoryReply(Block + 0x10 + 58, QByteArray());
        QCOMPARE(reader.read(&reply, &bench.device), Message::Success);
        QCOMPARE(delivered.count(), 1);
        QCOMPARE(reader.data().size(), 58);
        QCOMPARE(reader.readAddress(), Block + 0x10); // back to the start
    }

    void requestedSizeIsCappedAndZeroAtTheEnd()
    {
        InstrumentBench bench;
        setGeometry(&bench.device, 1, 2 * Sector, 40);
        ReadFieldMemory reader(Block);
        QCOMPARE(int(reader.requestedPacketSize(&bench.device, Block)), 40);
        QCOMPARE(int(reader.requestedPacketSize(&bench.device, Block + 2 * Sector - 3)), 3);
        QCOMPARE(int(reader.requestedPacketSize(&bench.device, Block + 2 * Sector)), 0);
        QCOMPARE(reader.boundedReadAddress(&bench.device, Block + 2 * Sector), Block + 2 * Sector);
        QCOMPARE(reader.boundedReadAddress(&bench.device, Block + 2 * Sector + 1), Block);
        QCOMPARE(reader.boundedReadAddress(&bench.device, Block - 1), Block);
    }

    void oversizedCountIsClampedToThePayload()
    {
        InstrumentBench bench;
        setGeometry(&bench.device);
        ReadAudioMemory reader(Block + 0x10);
        const Response reply = memoryReply(Block + 0x10, bytes({0xFF}) + filler(57), 200);
        QCOMPARE(reader.read(&reply, &bench.device), Message::Success);
        QCOMPARE(reader.data().size(), 58);
        QCOMPARE(reader.readAddress(), Block + 0x10 + 58);
    }

    void unusableGeometryEndsTheReadWithWhatItHas()
    {
        InstrumentBench bench;
        setGeometry(&bench.device);
        const Response reply = memoryReply(Block + 0x10, bytes({0xFF}) + filler(57));

        TypedHeaderRead unknownType(Block + 0x10, Device::MemoryType(9));
        QSignalSpy unknownDelivered(&unknownType, &ReadMemory::dataReceived);
        QTest::ignoreMessage(QtWarningMsg, "Unknown memory type 0x9");
        QCOMPARE(unknownType.read(&reply, &bench.device), Message::Success);
        QCOMPARE(unknownDelivered.count(), 1);
        QVERIFY(!bench.device.hasPendingPackets());

        PlainRead noSectors(Block, Block + 100, 0);
        QVERIFY(!noSectors.isStartOfSector(&bench.device, Block));
        QVERIFY(!noSectors.isWithinEndOfSector(&bench.device, Block));
        QCOMPARE(noSectors.nextSectorStartAddress(&bench.device, Block + 5), Block + 5);
        QSignalSpy sectorDelivered(&noSectors, &ReadMemory::dataReceived);
        QCOMPARE(noSectors.read(&reply, &bench.device), Message::Success);
        QCOMPARE(sectorDelivered.count(), 1);
        QVERIFY(!bench.device.hasPendingPackets());
    }

    void missingEntryBlockEndsTheRead()
    {
        InstrumentBench bench;
        setGeometry(&bench.device, 1, Sector, 58, false);
        QVERIFY(!bench.device.hasMemory(DataEntryMemoryBlock));
        ReadFieldMemory reader(Block + 0x10);
        Request request;
        QCOMPARE(reader.write(&request, &bench.device), Message::Success);
        QCOMPARE(int(request[6]), 0);
        QSignalSpy delivered(&reader, &ReadMemory::dataReceived);
        const Response reply = memoryReply(Block + 0x10, QByteArray());
        QCOMPARE(reader.read(&reply, &bench.device), Message::Success);
        QCOMPARE(delivered.count(), 1);
        QVERIFY(!bench.device.hasPendingPackets());
    }

    void wrongReplyTypeLeavesTheDataAlone()
    {
        InstrumentBench bench;
        setGeometry(&bench.device);
        ReadFieldMemory reader(Block + 0x10);
        Response reply = memoryReply(Block + 0x10, bytes({0xFF}) + filler(57));
        reply[0] = 13;
        QTest::ignoreMessage(QtWarningMsg, "Received incorrect response type.");
        QCOMPARE(reader.read(&reply, &bench.device), Message::IncorrectCommand);
        QVERIFY(reader.data().isEmpty());
        QCOMPARE(reader.readAddress(), Block + 0x10);
    }

    void blockReaderKeepsItsOwnCopyOfTheBlock()
    {
        InstrumentBench bench;
        setGeometry(&bench.device);
        ReadBlockMemory reader(bench.device.memoryBlock(DeviceIDMemoryBlock), Device::FLASH);
        // The next bootloader reply replaces the device's blocks.
        Response other;
        other[0] = 2;
        other[1] = 58;
        other[2] = 1;
        other[3] = 4;
        other.setUInt32LE(4, 0x9000);
        other.setUInt32LE(8, 3);
        other[12] = 0xFF;
        BootloaderInfo info;
        QCOMPARE(info.read(&other, &bench.device), Message::Success);
        QCOMPARE(bench.device.memoryBlock(DeviceIDMemoryBlock)->address, quint32(0x9000));
        QCOMPARE(reader.memoryBlock().address, quint32(0x100));
        QCOMPARE(reader.memoryRegionEnd(&bench.device), quint32(0x107));

        ReadBlockMemory none(nullptr, Device::FLASH);
        QSignalSpy delivered(&none, &ReadMemory::dataReceived);
        const Response reply = memoryReply(0, filler(7));
        QCOMPARE(none.read(&reply, &bench.device), Message::Success);
        QCOMPARE(delivered.count(), 1);
        QVERIFY(none.data().isEmpty());
    }

    void identityIsReadInOneExchangeAndHandedOnFirst()
    {
        InstrumentBench bench;
        QVERIFY(bench.instrument.loadFile(Scenario::dataPath("empty.json")));
        QVERIFY(bench.connect());
        BootloaderInfo info;
        QCOMPARE(bench.exchange(&info), Device::Success);
        bench.instrument.simulator().clearRequests();

        ReadDeviceIDMemory reader(bench.device.deviceID(),
                                  bench.device.memoryBlock(DeviceIDMemoryBlock));
        uint barcodeSeen = 0;
        QObject::connect(&reader, &ReadMemory::dataReceived,
                         [&] { barcodeSeen = bench.device.deviceID()->barcode(); });
        QCOMPARE(bench.exchange(&reader), Device::Success);
        QCOMPARE(bench.instrument.simulator().requestCount(7), 1);
        QCOMPARE(barcodeSeen, 5u);
        QCOMPARE(bench.device.deviceID()->id(), QString("05000006000007"));
    }
};

QTEST_GUILESS_MAIN(MemoryPacketsTest)
#include "test_packets_memory.moc"
