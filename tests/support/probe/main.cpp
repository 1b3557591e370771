// qv-probe: reads everything from the instrument through the HID transport and
// prints it, one fact per line, for comparison with the scenario the stand-in
// hidapi was given. Diagnostics go to standard error only.
#include "audiodataentry.h"
#include "fielddataentry.h"
#include "fieldreading.h"
#include "hiddevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>
#include <atomic>
#include <ctime>
#include <functional>

namespace {

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Sleeps in the event loop between looks, so that waiting costs no CPU time
// that the transfer figures would count.
bool waitUntil(const std::function<bool()> &done, QDeadlineTimer deadline)
{
    QTimer tick;
    tick.start(10);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

QString utc(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + QLatin1Char('Z');
}

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

QString version(const Version *v)
{
    return QStringLiteral("%1.%2.%3").arg(v->major()).arg(v->minor()).arg(v->patch());
}

int fail(HIDDevice &device, const QString &message)
{
    QTextStream(stderr) << "qv-probe: " << message << Qt::endl;
    device.stop();
    device.wait();
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads the instrument's identity and every recorded session."));
    parser.addHelpOption();
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("Seconds to wait for each stage."),
                                           QStringLiteral("seconds"), QStringLiteral("30"));
    parser.addOption(timeoutOption);
    parser.process(app);
    const int timeoutMs = parser.value(timeoutOption).toInt() * 1000;

    HIDDevice device;
    // The transfer runs from the first load request to the last reply; decoding
    // the entries afterwards on this thread is not part of it.
    QElapsedTimer wall;
    std::atomic<bool> measuring{false};
    std::atomic<int> exchanges{0};
    std::atomic<qint64> lastReplyNs{0};
    std::atomic<double> cpuAtLastReply{0};
    QObject::connect(
        &device, &Device::sent, &device, [&exchanges](Message *) { ++exchanges; },
        Qt::DirectConnection);
    QObject::connect(
        &device, &Device::received, &device,
        [&](Message *) {
            if (!measuring.load())
                return;
            lastReplyNs.store(wall.nsecsElapsed());
            cpuAtLastReply.store(processCpuSeconds());
        },
        Qt::DirectConnection);
    device.start();

    if (!waitUntil([&device] { return device.isConnected(); }, QDeadlineTimer(timeoutMs)))
        return fail(device, QStringLiteral("the instrument did not connect"));
    if (!waitUntil([&device] { return device.hasAllHeaders(); }, QDeadlineTimer(timeoutMs)))
        return fail(device, QStringLiteral("the entry headers were not all read"));
    // Entries found by the walk reach the list through events posted before the
    // walk reported completion.
    QCoreApplication::sendPostedEvents();

    QList<DataEntry *> entries;
    for (QObject *object : device.dataEntries())
        entries.append(qobject_cast<DataEntry *>(object));

    const int exchangesBefore = exchanges.load();
    const double cpuBefore = processCpuSeconds();
    wall.start();
    measuring.store(true);
    for (int i = 0; i < entries.size(); ++i) {
        if (!entries.at(i) || !entries.at(i)->load(&device))
            return fail(device, QStringLiteral("session %1 could not be loaded").arg(i));
    }
    const auto allDone = [&entries] {
        for (const DataEntry *entry : std::as_const(entries)) {
            if (entry->isLoading() || !entry->isLoaded())
                return false;
        }
        return true;
    };
    const auto anyFailed = [&entries] {
        for (const DataEntry *entry : std::as_const(entries)) {
            if (!entry->isLoading() && !entry->isLoaded())
                return true;
        }
        return false;
    };
    if (!waitUntil([&] { return allDone() || anyFailed(); }, QDeadlineTimer(timeoutMs)))
        return fail(device, QStringLiteral("loading the sessions did not finish"));
    if (!allDone()) {
        for (int i = 0; i < entries.size(); ++i) {
            if (!entries.at(i)->isLoaded())
                return fail(device, QStringLiteral("loading session %1 failed").arg(i));
        }
    }
    measuring.store(false);
    const double seconds = lastReplyNs.load() / 1e9;
    const double cpu = entries.isEmpty() ? 0.0 : cpuAtLastReply.load() - cpuBefore;
    const int transferExchanges = exchanges.load() - exchangesBefore;

    QTextStream out(stdout);
    out << "device barcode=" << device.deviceID()->barcode()
        << " hw=" << device.deviceID()->hardwareVersion() << " public=" << int(device.isPublic())
        << " bootloader=" << version(device.bootloaderVersion())
        << " firmware=" << version(device.codeVersion()) << '\n';
    for (int i = 0; i < entries.size(); ++i) {
        const DataEntry *entry = entries.at(i);
        const auto *field = qobject_cast<const FieldDataEntry *>(entry);
        const auto *audio = qobject_cast<const AudioDataEntry *>(entry);
        const int count = field   ? int(field->fieldReadings().size())
                          : audio ? int(audio->rawData().size() / 2)
                                  : 0;
        out << "session " << i << " type=" << (audio ? "audio" : "field")
            << " start=" << utc(entry->dateTime()) << " valid=" << int(entry->isValid())
            << " count=" << count << '\n';
        if (field) {
            for (const FieldReading *r : field->fieldReadings()) {
                out << "reading " << utc(r->dateTime()) << " e=" << number(r->EField())
                    << " h=" << number(r->HField()) << " max=" << number(r->MaxField())
                    << " alarm=" << r->AlarmState() << " avg6=" << number(r->SixMinAvg())
                    << " avg30=" << number(r->ThirtyMinAvg()) << '\n';
            }
        } else if (audio) {
            const QByteArray wav = audio->wavData();
            out << "audio bytes=" << wav.size()
                << " sha256=" << QCryptographicHash::hash(wav, QCryptographicHash::Sha256).toHex()
                << '\n';
        }
    }
    out << "transfer exchanges=" << transferExchanges << " seconds=" << number(seconds)
        << " cpu=" << number(cpu) << '\n';
    out.flush();

    device.stop();
    device.wait();
    return 0;
}
