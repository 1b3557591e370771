#include "bootloaderinfo.h"
#include "extendedinfo.h"
#include "lockconfig.h"
#include "packettestsupport.h"
#include "reset.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// A bootloader reply with the given region records (type, address, size).
Response bootReply(uchar family, std::initializer_list<MemoryRegion> regions, uchar flag = 0)
{
    Response response;
    response[0] = 2;
    response[1] = 58;
    response[2] = family;
    int at = 3;
    for (const MemoryRegion &region : regions) {
        response[at] = region.type;
        response.setUInt32LE(at + 1, region.address);
        response.setUInt32LE(at + 5, region.size);
        at += 9;
    }
    response[57] = flag;
    return response;
}

} // namespace

class BootloaderPacketsTest : public QObject
{
    Q_OBJECT

private slots:
    void regionsBecomeBlocksUpToTheEndMark()
    {
        InstrumentBench bench;
        BootloaderInfo info;
        const Response reply = bootReply(
            1, {{1, 0x1000, 0x800}, {2, 0x20, 0x40}, {0xFF, 0, 0}, {5, 0x100000, 0x10000}}, 0xA5);
        QSignalSpy flags(&info, &BootloaderInfo::versionFlagChanged);
        QCOMPARE(info.read(&reply, &bench.device), Message::Success);
        QCOMPARE(flags.count(), 1);
        QCOMPARE(info.versionFlag(), uchar(0xA5));
        QCOMPARE(info.memoryRegions().size(), std::size_t(6)); // every record as received
        QCOMPARE(info.memoryRegions()[3].type, uchar(5));

        QVERIFY(bench.device.hasMemory(FlashMemoryBlock));
        QVERIFY(bench.device.hasMemory(EepromMemoryBlock));
        QVERIFY(!bench.device.hasMemory(DataEntryMemoryBlock)); // behind the end mark
        QCOMPARE(bench.device.memoryBlock(EepromMemoryBlock)->address, quint32(0x20));
        QCOMPARE(bench.device.memoryBlock(FlashMemoryBlock)->size, quint32(0x800));
        QCOMPARE(bench.device.details()->bytesPerPacket, quint8(58));
    }

    void unknownRegionTypeEndsTheWalkButSucceeds()
    {
        InstrumentBench bench;
        BootloaderInfo info;
        const Response reply = bootReply(1, {{0, 0, 10}, {1, 0, 10}});
        QTest::ignoreMessage(QtWarningMsg, "Unknown memory region type 0");
        QCOMPARE(info.read(&reply, &bench.device), Message::Success);
        QVERIFY(!bench.device.hasMemory(FlashMemoryBlock));

        // Blocks before an unknown type stay.
        const Response later = bootReply(1, {{4, 0x10, 7}, {9, 0, 1}, {5, 0, 1}});
        QTest::ignoreMessage(QtWarningMsg, "Unknown memory region type 9");
        QCOMPARE(info.read(&later, &bench.device), Message::Success);
        QVERIFY(bench.device.hasMemory(DeviceIDMemoryBlock));
        QVERIFY(!bench.device.hasMemory(DataEntryMemoryBlock));
    }

    void sixRecordsWithoutEndMarkGiveSixBlocks()
    {
        InstrumentBench bench;
        BootloaderInfo info;
        const Response reply =
            bootReply(1, {{1, 0, 1}, {2, 1, 1}, {3, 2, 1}, {4, 3, 1}, {5, 4, 1}, {1, 5, 1}});
        QCOMPARE(info.read(&reply, &bench.device), Message::Success);
        // A second reply replaces the list rather than adding to it.
        QCOMPARE(info.read(&reply, &bench.device), Message::Success);
        int count = 0;
        for (int type = 1; type <= 5; ++type)
            count += bench.device.hasMemory(MemoryBlockType(type)) ? 1 : 0;
        QCOMPARE(count, 5);
        QCOMPARE(bench.device.memoryBlock(FlashMemoryBlock)->address, quint32(0));
        QCOMPARE(bench.device.memoryBlock(ConfigMemoryBlock)->address, quint32(2));
    }

    void familyGeometry_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("flashWord");
        QTest::addColumn<int>("flashAddress");
        QTest::newRow("family 1") << 1 << 2 << 1;
        QTest::newRow("family 2") << 2 << 4 << 2;
        QTest::newRow("family 3") << 3 << 4 << 1;
        QTest::newRow("family 4") << 4 << 2 << 2;
        QTest::newRow("unknown family") << 77 << 2 << 1;
    }

    void familyGeometry()
    {
        QFETCH(int, family);
        QFETCH(int, flashWord);
        QFETCH(int, flashAddress);
        InstrumentBench bench;
        BootloaderInfo info;
        const Response reply = bootReply(uchar(family), {{4, 0x100, 8}, {5, 0x10000, 0x10000}});
        QCOMPARE(info.read(&reply, &bench.device), Message::Success);
        QCOMPARE(int(bench.device.family()), family);
        QCOMPARE(int(info.deviceFamily()), family);
        QCOMPARE(int(bench.device.details()->flashBytesPerWord), flashWord);
        QCOMPARE(int(bench.device.details()->flashBytesPerAddress), flashAddress);
        // Blocks take the geometry of their memory kind, as set by this reply.
        QCOMPARE(int(bench.device.memoryBlock(DeviceIDMemoryBlock)->bytesPerAddress), flashAddress);
        QCOMPARE(int(bench.device.memoryBlock(DataEntryMemoryBlock)->bytesPerAddress), 1);
    }

    void configGeometryOnlyChangesForFamilyTwo()
    {
        InstrumentBench bench;
        BootloaderInfo info;
        const Response one = bootReply(1, {{3, 0, 1}});
        const Response two = bootReply(2, {{3, 0, 1}});
        QCOMPARE(info.read(&one, &bench.device), Message::Success);
        QCOMPARE(int(bench.device.details()->configBytesPerAddress), 1);
        QCOMPARE(info.read(&two, &bench.device), Message::Success);
        QCOMPARE(int(bench.device.details()->configBytesPerWord), 4);
        QCOMPARE(int(bench.device.details()->configBytesPerAddress), 2);
        QCOMPARE(int(bench.device.memoryBlock(ConfigMemoryBlock)->bytesPerAddress), 2);
        QCOMPARE(info.read(&one, &bench.device), Message::Success);
        QCOMPARE(int(bench.device.details()->configBytesPerWord), 4);
        QCOMPARE(int(bench.device.details()->configBytesPerAddress), 2);
    }

    void oversizedRegionIsLoweredForTheBlockOnly()
    {
        InstrumentBench bench;
        BootloaderInfo info;
        const Response reply = bootReply(1, {{5, 0x100000, 0xFFFFFFFF}});
        QCOMPARE(info.read(&reply, &bench.device), Message::Success);
        QCOMPARE(info.memoryRegions()[0].size, quint32(0xFFFFFFFF));
        QCOMPARE(bench.device.memoryBlock(DataEntryMemoryBlock)->size, quint32(0x0FFFFFFF));
    }

    void wrongEchoChangesNothing()
    {
        InstrumentBench bench;
        BootloaderInfo info;
        Response reply = bootReply(1, {{1, 0, 1}});
        reply[0] = 12;
        QTest::ignoreMessage(QtWarningMsg, "Received incorrect response type.");
        QCOMPARE(info.read(&reply, &bench.device), Message::IncorrectCommand);
        QVERIFY(!bench.device.hasMemory(FlashMemoryBlock));
        QVERIFY(info.memoryRegions().empty());
    }

    void extendedInfoKeepsTheWholeReply()
    {
        InstrumentBench bench;
        ExtendedInfo info;
        QSignalSpy available(&info, &ExtendedInfo::extendedInfoAvailable);
        Response reply = replyOf({12, 3, 2, 7, 5});
        reply[64] = 0x99;
        QCOMPARE(info.read(&reply, &bench.device), Message::Success);
        QCOMPARE(available.count(), 1);
        QCOMPARE(int((*info.extendedInfo())[2]), 2);
        QCOMPARE(int((*info.extendedInfo())[4]), 5);
        QCOMPARE(int((*info.extendedInfo())[64]), 0x99);
    }

    void lockConfigRequest()
    {
        InstrumentBench bench;
        LockConfig lock(false);
        QVERIFY(!lock.expectsResponse());
        Request request;
        QCOMPARE(lock.write(&request, &bench.device), Message::Success);
        QCOMPARE(int(request[0]), 0);
        QCOMPARE(int(request[1]), 3);
        QCOMPARE(int(request[2]), 0);
        lock.setLock(true);
        QCOMPARE(lock.write(&request, &bench.device), Message::Success);
        QCOMPARE(int(request[2]), 1);
    }

    void queriesAgainstTheSimulatedInstrument()
    {
        InstrumentBench bench;
        QString error;
        QVERIFY2(bench.instrument.loadFile(Scenario::dataPath("basic.json"), &error),
                 qPrintable(error));
        QVERIFY(bench.connect());
        BootloaderInfo info;
        QCOMPARE(bench.exchange(&info), Device::Success);
        QCOMPARE(info.versionFlag(), uchar(0xA5));
        const MemoryBlock *identity = bench.device.memoryBlock(DeviceIDMemoryBlock);
        const MemoryBlock *entries = bench.device.memoryBlock(DataEntryMemoryBlock);
        QVERIFY(identity && entries);
        QCOMPARE(identity->size, quint32(9)); // seven identity bytes and two extra
        QCOMPARE(entries->address % 0x10000, quint32(0));
        QCOMPARE(entries->size % 0x10000, quint32(0));

        ExtendedInfo extended;
        QCOMPARE(bench.exchange(&extended), Device::Success);
        QCOMPARE(int((*extended.extendedInfo())[1]), 1); // bootloader 2.1
        QCOMPARE(int((*extended.extendedInfo())[2]), 2);
        QCOMPARE(int((*extended.extendedInfo())[3]), 4); // firmware 1.4
        QCOMPARE(int((*extended.extendedInfo())[4]), 1);

        LockConfig lock(true);
        QCOMPARE(bench.exchange(&lock), Device::Success);
        QCOMPARE(int(bench.instrument.simulator().requests().back()[2]), 1);
    }

    void resetDropsTheConnectionAndTheInstrumentComesBack()
    {
        InstrumentBench bench;
        QVERIFY(bench.connect());
        Reset reset;
        QStringList order;
        QObject::connect(&reset, &Message::sent, [&] { order << "sent"; });
        QObject::connect(&bench.device, &Device::disconnected, [&] { order << "disconnected"; });
        QCOMPARE(bench.exchange(&reset), Device::Success);
        QCOMPARE(order, QStringList({"sent", "disconnected"}));
        QVERIFY(!bench.device.isConnected());
        QCOMPARE(bench.instrument.simulator().requestCount(8), 1);

        // The instrument left the bus: the old session is gone, a new one opens.
        bench.device.link().close();
        QVERIFY(bench.instrument.simulator().isPlugged());
        QVERIFY(bench.connect());
        BootloaderInfo info;
        QCOMPARE(bench.exchange(&info), Device::Success);
    }
};

QTEST_GUILESS_MAIN(BootloaderPacketsTest)
#include "test_packets_bootloader.moc"
