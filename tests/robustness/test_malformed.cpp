#include "bootloaderinfo.h"
#include "datetimeconverter.h"
#include "extendedinfo.h"
#include "fielddataentry.h"
#include "packettestsupport.h"
#include "readaudiomemory.h"
#include "readdeviceidmemory.h"
#include "readfieldmemory.h"
#include "readheader.h"
#include "settrove.h"
#include "wirlex.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int inputsEach = 100000;

// Bytes that favour the values parsers treat specially: 0, 0xFF, small counts.
uchar nastyByte(QRandomGenerator &random)
{
    switch (random.bounded(6)) {
    case 0:
        return 0x00;
    case 1:
        return 0xFF;
    case 2:
        return uchar(random.bounded(64));
    default:
        return uchar(random.bounded(256));
    }
}

Response randomReply(QRandomGenerator &random, uchar echo)
{
    Response reply;
    for (int i = 0; i < ReportBuffer::Size; ++i)
        reply[i] = nastyByte(random);
    if (random.bounded(4) != 0)
        reply[0] = echo; // mostly the right echo, so the parsing behind it runs
    return reply;
}

// An entry whose decoding is fed by hand.
class FedFieldEntry : public FieldDataEntry
{
public:
    using FieldDataEntry::FieldDataEntry;
    using FieldDataEntry::onDataAvailable;
};

// Answers every connection with one seeded random HTTP answer, then hangs up.
class RandomAnswerServer : public QTcpServer
{
public:
    explicit RandomAnswerServer(quint32 seed) : m_random(seed) {}
    QByteArray lastAnswer;

protected:
    void incomingConnection(qintptr handle) override
    {
        auto *socket = new QTcpSocket(this);
        socket->setSocketDescriptor(handle);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            if (!socket->readAll().contains("\r\n\r\n") || socket->property("answered").toBool())
                return;
            socket->setProperty("answered", true);
            lastAnswer = answer();
            socket->write(lastAnswer);
            socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    QByteArray answer()
    {
        static const QList<int> statuses{200, 201, 204, 206, 301, 302, 304, 400, 401,
                                         403, 404, 405, 409, 418, 500, 502, 503, 599};
        static const QList<QByteArray> bodies{"",
                                              "{}",
                                              "{\"detail\": \"Barcode not found\"}",
                                              "{\"detail\": 5}",
                                              "{\"cal_expiry\": \"2027-05-31\"}",
                                              "{\"version\": null}",
                                              "[1, 2, 3]",
                                              "null",
                                              "{\"detail\": \"",
                                              "\xff\xfe\x00garbage",
                                              "<html>oops</html>",
                                              "{\"a\": {\"b\": [}}"};
        QByteArray body = bodies.at(m_random.bounded(bodies.size()));
        if (m_random.bounded(4) == 0) {
            body.resize(m_random.bounded(300));
            for (char &c : body)
                c = char(m_random.bounded(256));
        }
        QByteArray head;
        switch (m_random.bounded(8)) {
        case 0:
            head = "HTTP/1.1 " + QByteArray::number(m_random.bounded(1000)) + " X";
            break;
        case 1:
            head = "HTTP/9.9 200 OK";
            break;
        case 2:
            head = "garbage";
            break;
        default:
            head = "HTTP/1.1 " +
                   QByteArray::number(statuses.at(m_random.bounded(statuses.size()))) + " Whatever";
        }
        head += "\r\nConnection: close\r\n";
        switch (m_random.bounded(6)) {
        case 0:
            break;
        case 5:
            head += "Content-Length: -3\r\n";
            break;
        case 1:
            head += "Content-Length: " + QByteArray::number(body.size() + 50) + "\r\n";
            break;
        case 2:
            head += "Content-Length: 0\r\n";
            break;
        case 3:
            head += "Content-Length: nonsense\r\n";
            break;
        default:
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        }
        if (m_random.bounded(12) == 0) {
            head += "Transfer-Encoding: chunked\r\n";
            // Mostly well-formed chunks, sometimes a broken or missing last chunk.
            switch (m_random.bounded(4)) {
            case 0:
                break;
            case 1:
                body = QByteArray::number(body.size(), 16) + "\r\n" + body + "\r\n";
                break;
            default:
                body = QByteArray::number(body.size(), 16) + "\r\n" + body + "\r\n0\r\n\r\n";
            }
        }
        if (m_random.bounded(3) == 0)
            head += "Content-Type: application/json\r\n";
        if (m_random.bounded(4) == 0)
            head += "x-file-hash: " + QByteArray(m_random.bounded(90), 'a') + "\r\n";
        if (m_random.bounded(10) == 0)
            head += "Location: /again\r\n";
        if (m_random.bounded(20) == 0)
            head += QByteArray(m_random.bounded(200), 'h') + "\r\n";
        return head + "\r\n" + body;
    }

    QRandomGenerator m_random;
};

} // namespace

// Seeded random input for every parser that takes bytes from outside: replies of
// the instrument, its clock, the configuration file and the web service.
class TestMalformed : public QObject
{
    Q_OBJECT

private slots:
    void instrumentReplies();
    void fieldRecords();
    void bcdDateTime();
    void configurationFiles();
    void webServiceAnswers();
};

void TestMalformed::instrumentReplies()
{
    InstrumentBench bench;
    QVERIFY(bench.instrument.loadFile(Scenario::dataPath("basic.json")));
    QVERIFY(bench.connect());
    BootloaderInfo geometry;
    QCOMPARE(bench.exchange(&geometry), Device::Success);
    Device &device = bench.device;
    const MemoryBlock *identity = device.memoryBlock(DeviceIDMemoryBlock);
    QVERIFY(identity);
    MemoryBlock identityCopy = *identity;

    QRandomGenerator random(1501);
    int entriesMade = 0;
    int accepted = 0;
    for (int i = 0; i < inputsEach; ++i) {
        const int kind = random.bounded(6);
        const quint32 address =
            random.bounded(4) == 0 ? random.generate() : 0x100000 + random.bounded(0x20000);
        Message::ErrorCode result = Message::Failed;
        if (kind == 0) {
            ReadFieldMemory reader(address);
            Request request;
            reader.write(&request, &device);
            const Response reply = randomReply(random, 7);
            result = reader.read(&reply, &device);
        } else if (kind == 1) {
            ReadAudioMemory reader(address);
            Request request;
            reader.write(&request, &device);
            const Response reply = randomReply(random, 7);
            result = reader.read(&reply, &device);
        } else if (kind == 2) {
            DeviceID id(nullptr);
            ReadDeviceIDMemory reader(&id, &identityCopy);
            Request request;
            reader.write(&request, &device);
            const Response reply = randomReply(random, 7);
            result = reader.read(&reply, &device);
        } else if (kind == 3 || kind == 4) {
            ReadHeader reader(ReadHeader::headerAreaStart + 16 * random.bounded(64));
            QObject::connect(&reader, &ReadHeader::dataEntryRead, &reader, [&](DataEntry *entry) {
                ++entriesMade;
                QVERIFY(entry->type() == DataEntry::Field || entry->type() == DataEntry::Audio);
                delete entry;
            });
            Request request;
            reader.write(&request, &device);
            const Response reply = randomReply(random, 13);
            result = reader.read(&reply, &device);
        } else {
            // The geometry itself, then a clean one back for the next inputs.
            BootloaderInfo info;
            const Response reply = randomReply(random, 2);
            result = info.read(&reply, &device);
            ExtendedInfo extended;
            const Response versions = randomReply(random, 12);
            extended.read(&versions, &device);
            QCOMPARE(bench.exchange(&geometry), Device::Success);
            identity = device.memoryBlock(DeviceIDMemoryBlock);
            QVERIFY(identity);
            identityCopy = *identity;
        }
        accepted += result == Message::Success;
        // Follow-ups the readers queued belong to packets already gone.
        while (bench.device.hasPendingPackets())
            bench.device.takePendingPacket();
        if (QTest::currentTestFailed())
            return;
    }
    qInfo() << inputsEach << "replies," << accepted << "taken," << entriesMade << "entries";
}

void TestMalformed::fieldRecords()
{
    QRandomGenerator random(1502);
    std::unique_ptr<FedFieldEntry> entry;
    for (int i = 0; i < inputsEach; ++i) {
        if (i % 500 == 0) {
            entry = std::make_unique<FedFieldEntry>(
                QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).addSecs(random.bounded(1000000)),
                0x100000, random.bounded(2) == 0);
        }
        QByteArray payload(random.bounded(65), Qt::Uninitialized);
        for (char &c : payload)
            c = char(nastyByte(random));
        entry->onDataAvailable(payload, random.bounded(8) == 0);
        // Each pass decodes the whole session again: never more readings than
        // record bytes allow, each with finite values.
        QVERIFY(entry->fieldReadings().size() <= payload.size() / 2);
        if (!entry->fieldReadings().isEmpty()) {
            const FieldReading *last = entry->fieldReadings().constLast();
            QVERIFY(std::isfinite(last->EField()) && std::isfinite(last->HField()));
        }
    }
}

void TestMalformed::bcdDateTime()
{
    QRandomGenerator random(1503);
    int valid = 0;
    for (int i = 0; i < inputsEach; ++i) {
        uchar bytes[6];
        for (uchar &b : bytes)
            b = random.bounded(3) == 0 ? uchar(random.bounded(256))
                                       : uchar((random.bounded(10) << 4) | random.bounded(10));
        const DeviceDateTime raw = DeviceDateTime::fromBytes(bytes);
        const QDateTime decoded = DateTimeConverter::fromDevice(&raw);
        if (!decoded.isValid())
            continue;
        ++valid;
        QCOMPARE(decoded.timeSpec(), Qt::UTC);
        // Nibbles above 9 reach past the century; the rest encodes back unchanged.
        const int century = QDate::currentDate().year() / 100 * 100;
        QVERIFY(decoded.date().year() >= century && decoded.date().year() <= century + 165);
        if (decoded.date().year() >= century + 100)
            continue;
        const DeviceDateTime again = DateTimeConverter::fromQDateTime(&decoded);
        QCOMPARE(DateTimeConverter::fromDevice(&again), decoded);
    }
    QVERIFY(valid > 1000);
}

void TestMalformed::configurationFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("ProgramData", dir.path().toUtf8());
    const QString path = Settrove().filePath();
    QDir().mkpath(QFileInfo(path).absolutePath());

    static const QList<QByteArray> pieces{"{",          "}",
                                          "[",          "]",
                                          "\"",         ":",
                                          ",",          "null",
                                          "true",       "1e999",
                                          "-0",         "\"key\"",
                                          "\\u0000",    "\xff",
                                          "\xc3\x28",   " ",
                                          "\"locale\"", "\"lastFolder\"",
                                          "{\"a\":",    "12345678901234567890"};
    QRandomGenerator random(1504);
    int loaded = 0;
    for (int i = 0; i < inputsEach; ++i) {
        QByteArray text;
        const int count = random.bounded(12);
        for (int p = 0; p < count; ++p)
            text += pieces.at(random.bounded(pieces.size()));
        if (random.bounded(10) == 0) {
            text.resize(random.bounded(64));
            for (char &c : text)
                c = char(random.bounded(256));
        }
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(text);
        }
        Settrove store;
        const bool ok = store.load();
        loaded += ok;
        QCOMPARE(store.isLoaded(), ok);
        if (!ok)
            QVERIFY(!store.lastError().isEmpty());
        // Whatever was read, asking for values is safe.
        store.getValue(QStringLiteral("key"), 1);
        store.getValue(QStringLiteral("a"));
    }
    qInfo() << inputsEach << "files," << loaded << "loaded";
    qunsetenv("ProgramData");
}

void TestMalformed::webServiceAnswers()
{
    // Several requests in flight, as the network manager allows per host, keep
    // 100,000 connections short; a short idle time-out ends the answers that
    // leave a reply running.
    constexpr int inFlight = 6;
    RandomAnswerServer server(1505);
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
    Wirlex client(QStringLiteral("talvenor-app"), nullptr);
    client.setSecretKey(QStringLiteral("secret"));
    client.setIdleTimeout(50);
    int outcomes = 0, errors = 0, timeouts = 0;
    QObject::connect(&client, &Wirlex::jsonReceived, [&] { ++outcomes; });
    QObject::connect(&client, &Wirlex::dataReceived, [&] { ++outcomes; });
    QObject::connect(&client, &Wirlex::errorOccurred, [&](const QString &error) {
        ++outcomes;
        ++errors;
        timeouts += error.endsWith(QLatin1String("Operation timed out"));
        QVERIFY(error.startsWith(QLatin1String("HTTP ")));
    });
    int started = 0;
    while (outcomes < inputsEach) {
        while (started < inputsEach && started - outcomes < inFlight) {
            client.get(base + "/cal/health", started, started % 2 == 0);
            ++started;
        }
        // Every request must come to an end well within its idle time-out.
        const int before = outcomes;
        QDeadlineTimer deadline(10000);
        while (outcomes == before && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        QVERIFY2(outcomes > before, server.lastAnswer.left(200).constData());
    }
    QTest::qWait(50);
    QCOMPARE(outcomes, inputsEach);
    qInfo() << inputsEach << "answers," << errors << "errors," << timeouts << "timed out";
}

QTEST_GUILESS_MAIN(TestMalformed)
#include "test_malformed.moc"
