#include "datetimeconverter.h"
#include "fetchdataentries.h"
#include "fielddataentry.h"
#include "instrumentsimulator.h"
#include "readheader.h"
#include "simulatedquorvantisdevice.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

namespace {
const QDateTime start(QDate(2026, 3, 1), QTime(14, 0, 0), Qt::UTC);

Response headerReply(quint32 next, uchar type = 0, quint32 entryAddress = 0,
                     const QDateTime &at = start)
{
    Response reply;
    reply[0] = 13;
    reply.setUInt32LE(1, next);
    reply[6] = type;
    for (int i = 0; i < 4; ++i)
        reply[7 + i] = uchar(entryAddress >> (24 - 8 * i));
    DateTimeConverter::fromQDateTime(&at).toBytes(reply.data() + 11);
    return reply;
}
} // namespace

// The header walk step by step, without a device thread: replies go straight into read.
class TestModelWalk : public QObject
{
    Q_OBJECT

private:
    InstrumentSimulator simulator;

private slots:
    void requestNamesAddressAndLength_data()
    {
        QTest::addColumn<quint32>("address");
        QTest::addColumn<int>("bytesPerAddress");
        QTest::addColumn<int>("length");
        QTest::newRow("start") << 0xF0000000u << 1 << 58;
        QTest::newRow("near the end") << 0xF03FFFF0u << 1 << 16;
        QTest::newRow("two per address") << 0xF03FFFF0u << 2 << 32;
        QTest::newRow("at the end") << 0xF0400000u << 1 << 0;
        QTest::newRow("past the end") << 0xF0400010u << 1 << 58;
    }

    void requestNamesAddressAndLength()
    {
        QFETCH(quint32, address);
        QFETCH(int, bytesPerAddress);
        QFETCH(int, length);
        SimulatedQuorvAntisDevice device(&simulator);
        device.details()->bytesPerPacket = 58;
        device.details()->eepromBytesPerAddress = quint8(bytesPerAddress);
        ReadHeader header;
        QCOMPARE(header.absoluteAddress(), 0xF0000000u);
        header.setAbsoluteAddress(address);
        Request request;
        QCOMPARE(header.write(&request, &device), Message::Success);
        QCOMPARE(int(request[0]), 0);
        QCOMPARE(int(request[1]), 13);
        QCOMPARE(request.uint32LE(2), address);
        QCOMPARE(int(request[6]), length);
        QCOMPARE(int(request[7]), 0);

        header.setRelativeAddress(0x100);
        QCOMPARE(header.absoluteAddress(), 0xF0000100u);
    }

    void headersBecomeEntries()
    {
        SimulatedQuorvAntisDevice device(&simulator);
        device.setIsPublic(true);
        FetchDataEntries walk;
        QSignalSpy changed(&walk, &FetchDataEntries::dataEntriesChanged);

        // Nothing here: no entry, and a pause before the next step.
        QElapsedTimer timer;
        timer.start();
        Response empty = headerReply(0xF0000010, 0);
        QCOMPARE(walk.read(&empty, &device), Message::Success);
        QVERIFY(timer.elapsed() >= 10);
        Response unknown = headerReply(0xF0000020, 3, 0x1234, start);
        QCOMPARE(walk.read(&unknown, &device), Message::Success);
        QCOMPARE(changed.count(), 0);

        Response field = headerReply(0xF0000030, 1, 0x00101234, start);
        QCOMPARE(walk.read(&field, &device), Message::Success);
        QCOMPARE(changed.count(), 1);
        auto *entry = qobject_cast<FieldDataEntry *>(walk.dataEntries().value(0));
        QVERIFY(entry);
        QCOMPARE(entry->absoluteAddress(), 0x00101234ul); // big-endian in the reply
        QCOMPARE(entry->dateTime(), start);
        QVERIFY(entry->isFieldDataPublic());
        QCOMPARE(entry->thread(), device.thread());

        // Each step queues the walk again at the address the instrument named.
        QCOMPARE(walk.readHeader()->absoluteAddress(), 0xF0000030u);
        int queued = 0;
        while (device.hasPendingPackets()) {
            QCOMPARE(device.takePendingPacket(), &walk);
            ++queued;
        }
        QCOMPARE(queued, 3);

        Response wrongEcho = headerReply(0xF0000040, 2, 1, start.addSecs(5));
        wrongEcho[0] = 10;
        QTest::ignoreMessage(QtWarningMsg, "Received incorrect response type.");
        QCOMPARE(walk.read(&wrongEcho, &device), Message::IncorrectCommand);
        QCOMPARE(walk.dataEntries().size(), 1);
        QVERIFY(!device.hasPendingPackets());
    }

    void thresholdsEndTheWalk()
    {
        SimulatedQuorvAntisDevice device(&simulator);
        FetchDataEntries walk;
        QSignalSpy field(&walk, &FetchDataEntries::fieldHeadersAvailable);
        QSignalSpy audio(&walk, &FetchDataEntries::audioHeadersAvailable);
        QSignalSpy all(&walk, &FetchDataEntries::allHeadersAvailable);
        Response reply = headerReply(0xF00FFFFE);
        walk.read(&reply, &device);
        QCOMPARE(field.count(), 0);
        reply = headerReply(0xF00FFFFF);
        walk.read(&reply, &device);
        QCOMPARE(field.count(), 1);
        QVERIFY(walk.hasFieldHeaders() && !walk.hasAllHeaders());
        reply = headerReply(0xF03FFFFF);
        walk.read(&reply, &device);
        QCOMPARE(audio.count(), 1);
        QCOMPARE(all.count(), 1);
        QCOMPARE(all.at(0).at(0).toBool(), false);
        QVERIFY(walk.hasAllHeaders());
        int queued = 0;
        while (device.takePendingPacket())
            ++queued;
        QCOMPARE(queued, 2); // not after the last step

        // A refresh clears the flags, says so once each, and keeps the list.
        QSignalSpy fieldChanged(&walk, &FetchDataEntries::hasFieldHeadersChanged);
        QSignalSpy audioChanged(&walk, &FetchDataEntries::hasAudioHeadersChanged);
        QSignalSpy allChanged(&walk, &FetchDataEntries::hasAllHeadersChanged);
        QSignalSpy entriesChanged(&walk, &FetchDataEntries::dataEntriesChanged);
        walk.refresh();
        for (const QSignalSpy *spy : {&fieldChanged, &audioChanged, &allChanged}) {
            QCOMPARE(spy->count(), 1);
            QCOMPARE(spy->at(0).at(0).toBool(), false);
            QCOMPARE(spy->at(0).at(1).toBool(), true);
        }
        QCOMPARE(field.count() + audio.count() + all.count(), 3);
        QCOMPARE(entriesChanged.count(), 0);
        QCOMPARE(walk.readHeader()->absoluteAddress(), 0xF0000000u);
        QVERIFY(!device.hasPendingPackets());

        // One step at the very end completes everything at once.
        FetchDataEntries quick;
        QSignalSpy quickAll(&quick, &FetchDataEntries::allHeadersAvailable);
        reply = headerReply(0xF0400000);
        quick.read(&reply, &device);
        QVERIFY(quick.hasFieldHeaders() && quick.hasAudioHeaders() && quick.hasAllHeaders());
        QCOMPARE(quickAll.count(), 1);
        QVERIFY(!device.hasPendingPackets());
    }
};

QTEST_GUILESS_MAIN(TestModelWalk)
#include "test_model_walk.moc"
