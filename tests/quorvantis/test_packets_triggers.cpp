#include "bootloaderinfo.h"
#include "datetimeconverter.h"
#include "devicestatus.h"
#include "erase.h"
#include "packettestsupport.h"
#include "readispublic.h"
#include "readtime.h"
#include "updatetime.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// Exposes the parameter writer to the test.
class ParameterTrigger : public UserTrigger
{
public:
    ParameterTrigger() : UserTrigger(9) {}
    using UserTrigger::writeParameters;
};

Response triggerReply(quint32 trigger, std::initializer_list<int> data, int count = -1)
{
    Response response;
    response[0] = 10;
    response.setUInt32LE(1, trigger);
    response[6] = uchar(count < 0 ? int(data.size()) : count);
    int i = 7;
    for (int b : data)
        response[i++] = uchar(b);
    return response;
}

} // namespace

class TriggerPacketsTest : public QObject
{
    Q_OBJECT

private slots:
    void requestLayout()
    {
        InstrumentBench bench;
        UserTrigger trigger(258);
        QVERIFY(trigger.expectsResponse());
        Request request;
        QCOMPARE(trigger.write(&request, &bench.device), Message::Success);
        const QList<int> head = {request[0], request[1], request[2], request[3],
                                 request[4], request[5], request[6], request[7]};
        QCOMPARE(head, QList<int>({0, 10, 2, 1, 0, 0, 0, 0}));
        QVERIFY(!UserTrigger(5, false).expectsResponse());
        QVERIFY(!Erase().expectsResponse());
    }

    void parameterRoom()
    {
        ParameterTrigger trigger;
        Request request;
        uint8_t parameters[19];
        for (int i = 0; i < 19; ++i)
            parameters[i] = uint8_t(0xA0 + i);
        QCOMPARE(trigger.writeParameters(&request, parameters, 18), Message::Success);
        QCOMPARE(int(request[7]), 18);
        QCOMPARE(int(request[8]), 0xA0);
        QCOMPARE(int(request[25]), 0xA0 + 17);
        QCOMPARE(int(request[26]), 0);

        Request untouched;
        QTest::ignoreMessage(QtWarningMsg, "Parameters for user trigger required more space than "
                                           "was allocated in the bootloader.");
        QCOMPARE(trigger.writeParameters(&untouched, parameters, 19), Message::Failed);
        for (int i = 0; i < ReportBuffer::Size; ++i)
            QCOMPARE(int(untouched[i]), 0);
    }

    void updateTimeWritesNowPlusThreeSecondsInUtc()
    {
        InstrumentBench bench;
        UpdateTime update;
        Request request;
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(3);
        QCOMPARE(update.write(&request, &bench.device), Message::Success);
        const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(3);
        QCOMPARE(request.uint32LE(2), quint32(2));
        QCOMPARE(int(request[7]), 6);
        QVERIFY(request[13] & 0x80); // the host's mark on the seconds
        const DeviceDateTime written = DeviceDateTime::fromBytes(request.data() + 8);
        const QDateTime time = DateTimeConverter::fromDevice(&written);
        QVERIFY(time >= before.addMSecs(-before.time().msec()) && time <= after);

        QSignalSpy updated(&update, &UpdateTime::timeUpdated);
        const Response reply = triggerReply(2, {});
        QCOMPARE(update.read(&reply, &bench.device), Message::Success);
        QCOMPARE(updated.count(), 1);
    }

    void readTime()
    {
        InstrumentBench bench;
        ReadTime readTime;
        Request request;
        QCOMPARE(readTime.write(&request, &bench.device), Message::Success);
        QCOMPARE(int(request[7]), 0); // no parameters: a read

        const QDateTime ahead = QDateTime::currentDateTimeUtc().addSecs(2);
        const DeviceDateTime bytes = DateTimeConverter::fromQDateTime(&ahead);
        uchar raw[6];
        bytes.toBytes(raw);
        const Response reply = triggerReply(2, {raw[0], raw[1], raw[2], raw[3], raw[4], raw[5]});
        QSignalSpy time(&readTime, &ReadTime::timeAvailable);
        QSignalSpy difference(&readTime, &ReadTime::timeDifferenceChanged);
        QCOMPARE(readTime.read(&reply, &bench.device), Message::Success);
        QCOMPARE(time.count(), 1);
        QCOMPARE(difference.count(), 1);
        QVERIFY2(readTime.timeDifference() > 900 && readTime.timeDifference() <= 2100,
                 qPrintable(QString::number(readTime.timeDifference())));

        const Response shortReply = triggerReply(2, {1, 2, 3, 4, 5});
        QCOMPARE(readTime.read(&shortReply, &bench.device), Message::Failed);
        QCOMPARE(time.count(), 1);
    }

    void deviceStatus_data()
    {
        QTest::addColumn<int>("raw");
        QTest::addColumn<double>("volts");
        QTest::newRow("1023") << 1023 << 4.026;
        QTest::newRow("768") << 768 << 3.0224516129032253;
        QTest::newRow("0") << 0 << 0.0;
    }

    void deviceStatus()
    {
        QFETCH(int, raw);
        QFETCH(double, volts);
        QCOMPARE(DeviceStatus::voltageFromRaw(quint16(raw)), volts);
        // The arithmetic order gives this value to the last bit.
        QVERIFY(DeviceStatus::voltageFromRaw(768) == 3.0224516129032253);

        InstrumentBench bench;
        DeviceStatus status;
        QSignalSpy battery(&status, &DeviceStatus::batteryVoltageChanged);
        QSignalSpy memory(&status, &DeviceStatus::memoryDisabledChanged);
        const Response two = triggerReply(99, {raw >> 8, raw & 0xFF}); // echo ignored
        QCOMPARE(status.read(&two, &bench.device), Message::Success);
        QCOMPARE(status.batteryVoltage(), volts);
        QCOMPARE(battery.count(), 1);
        QCOMPARE(memory.count(), 0);
        QVERIFY(!status.memoryDisabled());

        const Response three = triggerReply(3, {raw >> 8, raw & 0xFF, 5});
        QCOMPARE(status.read(&three, &bench.device), Message::Success);
        QVERIFY(status.memoryDisabled());
        QCOMPARE(memory.count(), 1);
        QCOMPARE(status.read(&three, &bench.device), Message::Success);
        QCOMPARE(memory.count(), 2); // also when unchanged

        const Response one = triggerReply(3, {0});
        QCOMPARE(status.read(&one, &bench.device), Message::Failed);
        QCOMPARE(status.batteryVoltage(), volts);
        QCOMPARE(battery.count(), 3);
    }

    void readIsPublic()
    {
        InstrumentBench bench;
        ReadIsPublic query;
        const Response yes = triggerReply(8, {1});
        QCOMPARE(query.read(&yes, &bench.device), Message::Success);
        QVERIFY(query.readIsPublic());

        const Response tooLong = triggerReply(8, {0, 0});
        QCOMPARE(query.read(&tooLong, &bench.device), Message::Failed);
        QVERIFY(query.readIsPublic()); // kept

        const Response otherTrigger = triggerReply(3, {1});
        QCOMPARE(query.read(&otherTrigger, &bench.device), Message::Success);
        QVERIFY(!query.readIsPublic());

        Response wrongEcho = yes;
        wrongEcho[0] = 13;
        QTest::ignoreMessage(QtWarningMsg, "Received incorrect response type.");
        QCOMPARE(query.read(&wrongEcho, &bench.device), Message::IncorrectCommand);
    }

    void triggersAgainstTheSimulatedInstrument()
    {
        InstrumentBench bench;
        QVERIFY(bench.instrument.loadFile(Scenario::dataPath("sector-edges.json")));
        QVERIFY(bench.connect());

        DeviceStatus status;
        QCOMPARE(bench.exchange(&status), Device::Success);
        QCOMPARE(status.batteryVoltage(), 3.0224516129032253);
        QVERIFY(status.memoryDisabled());

        ReadIsPublic query;
        QCOMPARE(bench.exchange(&query), Device::Success);
        QVERIFY(query.readIsPublic());

        // The clock is set to now + 3 s and then reads about 3 s ahead.
        UpdateTime update;
        QCOMPARE(bench.exchange(&update), Device::Success);
        QVERIFY(qAbs(bench.instrument.clockOffsetMs() - 3000) < 1500);
        ReadTime readTime;
        QCOMPARE(bench.exchange(&readTime), Device::Success);
        QVERIFY2(readTime.timeDifference() > 1000 && readTime.timeDifference() < 4500,
                 qPrintable(QString::number(readTime.timeDifference())));

        // A status answer that comes after its exchange gave up is no answer to
        // the clock reading that waits next.
        InstrumentSimulator &simulator = bench.instrument.simulator();
        bench.device.setCommunicationTimeout(20);
        simulator.setReplyDelay(std::chrono::milliseconds(300));
        QCOMPARE(bench.exchange(&status), Device::Timeout);
        simulator.setReplyDelay(std::chrono::microseconds(0));
        bench.device.setCommunicationTimeout(1000);
        QTest::ignoreMessage(QtWarningMsg,
                             "Dropped a reply to command 10 that answers another request.");
        QCOMPARE(bench.exchange(&readTime), Device::Success);
    }

    void eraseDropsTheConnectionAfterSent()
    {
        InstrumentBench bench;
        QVERIFY(bench.instrument.loadFile(Scenario::dataPath("basic.json")));
        QVERIFY(bench.connect());
        Erase erase;
        QStringList order;
        QObject::connect(&erase, &Message::sent, [&] { order << "sent"; });
        QObject::connect(&bench.device, &Device::connectedChanged,
                         [&](bool up) { order << (up ? "up" : "down"); });
        QObject::connect(&bench.device, &Device::disconnected, [&] { order << "disconnected"; });
        QCOMPARE(bench.exchange(&erase), Device::Success);
        QCOMPARE(order, QStringList({"sent", "down", "disconnected"}));
        QVERIFY(bench.instrument.placements().isEmpty());
        const InstrumentSimulator::Report request = bench.instrument.simulator().requests().back();
        QCOMPARE(int(request[1]), 10);
        QCOMPARE(int(request[2]), 1);
    }
};

QTEST_GUILESS_MAIN(TriggerPacketsTest)
#include "test_packets_triggers.moc"
