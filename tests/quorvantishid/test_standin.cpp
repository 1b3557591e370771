// The stand-in hidapi itself: what it records, its timing model and its plug file.
#include "scenario.h"
#include "standinhid.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>
#include <array>
#include <atomic>
#include <thread>

namespace {

using Report = std::array<unsigned char, 65>;

Report request(unsigned char command)
{
    Report r{};
    r[1] = command;
    return r;
}

int readWithin(hid_device *device, Report *reply, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    int result = 0;
    while ((result = hid_read(device, reply->data(), reply->size())) == 0 &&
           timer.elapsed() < timeoutMs)
        QThread::usleep(50);
    return result;
}

hid_device *openInstrument()
{
    hid_device *device = hid_open(0x04D8, 0xF361, nullptr);
    if (device)
        hid_set_nonblocking(device, 1);
    return device;
}

} // namespace

class TestStandIn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void enumerationAndOpen();
    void recordsMisuse();
    void recordsOverlappingCalls();
    void timingModel();
    void plugFile();

private:
    QString m_plugFile;
};

void TestStandIn::initTestCase()
{
    // The plug file is read from the environment on first use: it must exist by then.
    m_plugFile = qEnvironmentVariable("QV_SIM_PLUG_FILE");
    QVERIFY(!m_plugFile.isEmpty());
    QFile file(m_plugFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void TestStandIn::init()
{
    StandInHid &hid = StandInHid::instance();
    hid.reset();
    hid.simulator().clearFaults();
    hid.setCallDuration(std::chrono::microseconds(0));
    QString error;
    QVERIFY2(hid.loadScenario(Scenario::dataPath("probe.json"), &error), qPrintable(error));
}

void TestStandIn::enumerationAndOpen()
{
    StandInHid &hid = StandInHid::instance();
    QVERIFY(!hid_enumerate(0x04D8, 0x0001));
    hid_device_info *any = hid_enumerate(0, 0);
    QVERIFY(any);
    QCOMPARE(any->vendor_id, 0x04D8);
    QCOMPARE(any->product_id, 0xF361);
    QVERIFY(!any->next);
    QCOMPARE(QString::fromWCharArray(any->serial_number), QStringLiteral("123456"));
    QCOMPARE(hid.outstandingEnumerations(), 1);
    hid_free_enumeration(any);
    QCOMPARE(hid.outstandingEnumerations(), 0);
    QVERIFY(hid.reached());

    QVERIFY(!hid_open(0x04D8, 0xF361, L"999"));
    hid_device *device = hid_open(0x04D8, 0xF361, L"123456");
    QVERIFY(device);
    hid_close(device);
    QCOMPARE(hid.openHandles(), 0);
    QVERIFY(hid.misuses().empty());
}

void TestStandIn::recordsMisuse()
{
    using M = StandInHid::Misuse;
    StandInHid &hid = StandInHid::instance();
    hid_device *device = hid_open(0x04D8, 0xF361, nullptr);
    QVERIFY(device);

    Report r = request(2);
    QCOMPARE(hid_write(device, r.data(), 64), 64);
    // Not yet non-blocking: the read waits for the reply, and says so.
    QCOMPARE(hid_read(device, r.data(), r.size()), 64);
    QCOMPARE(hid.misuseCount(M::BlockingRead), 1);

    QCOMPARE(hid_set_nonblocking(device, 1), 0);
    r = request(2);
    QCOMPARE(hid_write(device, r.data(), 65), 65);
    QCOMPARE(hid.misuseCount(M::WriteLength), 1);
    QCOMPARE(readWithin(device, &r, 1000), 64);
    QCOMPARE(hid.misuseCount(M::ReadLength), 0);
    r = request(2);
    hid_write(device, r.data(), 64);
    QCOMPARE(readWithin(device, &r, 1000), 64);
    unsigned char small[64];
    hid_read(device, small, sizeof small);
    QCOMPARE(hid.misuseCount(M::ReadLength), 1);

    hid_close(device);
    QCOMPARE(hid_write(device, r.data(), 64), -1);
    QCOMPARE(hid_read(device, r.data(), r.size()), -1);
    hid_close(device);
    QCOMPARE(hid.misuseCount(M::ClosedHandle), 3);

    hid_device *stranger = reinterpret_cast<hid_device *>(&r);
    QCOMPARE(hid_read(stranger, r.data(), r.size()), -1);
    QCOMPARE(hid.misuseCount(M::UnknownHandle), 1);

    hid_device_info *list = hid_enumerate(0x04D8, 0xF361);
    hid_free_enumeration(list);
    hid_free_enumeration(list);
    QCOMPARE(hid.misuseCount(M::ForeignEnumeration), 1);
    QCOMPARE(hid.misuseCount(M::Overlap), 0);
}

void TestStandIn::recordsOverlappingCalls()
{
    StandInHid &hid = StandInHid::instance();
    hid.setCallDuration(std::chrono::milliseconds(20));
    const auto enumerate = [] { hid_free_enumeration(hid_enumerate(0x04D8, 0xF361)); };
    // Two threads that start together overlap unless the scheduler keeps one
    // of them away for the whole call; a few tries make that vanishingly rare.
    for (int attempt = 0; attempt < 10 && hid.misuseCount(StandInHid::Misuse::Overlap) == 0;
         ++attempt) {
        std::atomic<bool> go{false};
        std::thread other([&] {
            while (!go.load()) {
            }
            enumerate();
        });
        go.store(true);
        enumerate();
        other.join();
    }
    QVERIFY(hid.misuseCount(StandInHid::Misuse::Overlap) >= 1);

    // The same calls one after another are fine.
    hid.reset();
    enumerate();
    enumerate();
    QCOMPARE(hid.misuseCount(StandInHid::Misuse::Overlap), 0);
}

void TestStandIn::timingModel()
{
    StandInHid &hid = StandInHid::instance();
    const auto replyDelayMs = [](hid_device *device) {
        Report r = request(2);
        QElapsedTimer timer;
        timer.start();
        hid_write(device, r.data(), 64);
        if (readWithin(device, &r, 1000) != 64)
            return -1.0;
        return timer.nsecsElapsed() / 1e6;
    };

    hid.setFrameMs(4);
    hid_device *device = openInstrument();
    QVERIFY(device);
    const double framed = replyDelayMs(device);
    QVERIFY2(framed >= 8 && framed < 100, qPrintable(QString::number(framed)));

    // The scenario may set the frame time as well.
    Scenario scenario;
    QVERIFY(scenario.loadJson(R"({"frameMs": 3})"));
    QCOMPARE(scenario.frameMs, 3);
    QVERIFY(hid.instrument().load(scenario));
    const double fromScenario = replyDelayMs(device);
    QVERIFY2(fromScenario >= 6 && fromScenario < 100, qPrintable(QString::number(fromScenario)));
    QVERIFY(!scenario.loadJson(R"({"frameMs": -1})"));

    hid.setFrameMs(0);
    QVERIFY(replyDelayMs(device) < 8);
    hid_close(device);
    QVERIFY(hid.misuses().empty());
}

void TestStandIn::plugFile()
{
    StandInHid &hid = StandInHid::instance();
    hid_device *device = openInstrument();
    QVERIFY(device);
    QVERIFY(QFile::remove(m_plugFile));
    QThread::msleep(30);
    QVERIFY(!hid_enumerate(0x04D8, 0xF361));
    Report r = request(2);
    QCOMPARE(hid_write(device, r.data(), 64), -1);
    hid_close(device);
    QVERIFY(!hid_open(0x04D8, 0xF361, nullptr));

    QFile file(m_plugFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QThread::msleep(30);
    hid_device_info *list = hid_enumerate(0x04D8, 0xF361);
    QVERIFY(list);
    hid_free_enumeration(list);
    device = openInstrument();
    QVERIFY(device);
    hid_close(device);
    QVERIFY(hid.misuses().empty());
}

QTEST_GUILESS_MAIN(TestStandIn)
#include "test_standin.moc"
