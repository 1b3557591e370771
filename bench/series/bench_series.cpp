// Rebuild time of the five plot series of one field session, up to the
// points the plot is drawn from. The live session is reloaded every second
// and each reload rebuilds all five; choosing a session builds them from
// nothing, or over another session's points. A series takes its values from
// the readings when its points are first read, so the time depends on the
// curves shown: the default one (combined exposure), or all five. 100 ms is
// the figure reported against. Also what reading one series' vertices costs:
// its list of maps is made then.
// Wall time runs until the exposure series announces, followed as the screen
// follows it (its point count), and the shown curves' points are read as the
// plot reads them; CPU time is the calling (GUI) thread's own share.
#include "fielddataentry.h"
#include "lineseries.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTextStream>
#include <algorithm>
#include <ctime>
#include <functional>
#include <malloc.h>
#include <memory>
#include <vector>

namespace {

class BenchEntry : public FieldDataEntry
{
public:
    explicit BenchEntry(int daysAgo)
        : FieldDataEntry(QDateTime::currentDateTimeUtc().addDays(-daysAgo), 0, false)
    {}

    // Readings with varying values, decoded as a load would. They are spread
    // 200 s apart only to keep the entry's own averaging short; the series do
    // the same work at any spacing.
    void deliver(int count)
    {
        QByteArray payload;
        payload.reserve(count * 4);
        for (int i = 0; i < count; ++i) {
            payload.append(char(200));
            payload.append(char(20 + i % 200));
            payload.append(char(0));
            payload.append(char(40 + (i * 7) % 200));
        }
        onDataAvailable(payload, true);
    }

    // What a reload of the live session signals.
    void announce() { emit fieldReadingsChanged(); }
};

struct FiveSeries
{
    ExposureLineSeries exposure;
    EFieldLineSeries eField;
    HFieldLineSeries hField;
    SixMinAverageLineSeries six;
    ThirtyMinAverageLineSeries thirty;

    // As the screen sets them, the exposure series last.
    std::vector<FieldLineSeries *> all() { return {&eField, &hField, &six, &thirty, &exposure}; }

    void setFieldEntry(FieldDataEntry *entry)
    {
        for (FieldLineSeries *s : all())
            s->setFieldEntry(entry);
    }

    // Runs events until the exposure series has announced, then reads the
    // points of the exposure series, or of all five, as the plot does.
    void waitForAnnouncement(const std::function<void()> &change, bool allShown = false)
    {
        bool announced = false;
        const QMetaObject::Connection c =
            QObject::connect(&exposure, &FieldLineSeries::pointsChanged, [&] { announced = true; });
        change();
        while (!announced)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QObject::disconnect(c);
        for (FieldLineSeries *s : all()) {
            if (s != &exposure && !allShown)
                continue;
            std::vector<double> x(size_t(s->pointCount()));
            std::vector<double> y(x.size());
            s->copyPoints(0, x.data(), y.data());
        }
    }
};

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Timing
{
    double wallMs;
    double cpuMs; // steadier than wall time on a busy machine
};

Timing median(int rounds, const std::function<void()> &prepare, const std::function<void()> &work)
{
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < rounds; ++i) {
        prepare();
        QElapsedTimer timer;
        const double cpuStart = threadCpuMs();
        timer.start();
        work();
        wall.push_back(timer.nsecsElapsed() / 1e6);
        cpu.push_back(threadCpuMs() - cpuStart);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

QString figure(const Timing &t)
{
    return QString::number(t.wallMs, 'f', 1) + " (" + QString::number(t.cpuMs, 'f', 1) + ")";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    out << "TZ=" << qEnvironmentVariable("TZ", "(unset)") << "\n";
    // What a long session holds, measured first, before other sessions leave
    // freed memory to reuse: its readings, and the points of the five series
    // made from them.
    {
        // Freed memory is handed back before the resident size is read.
        const auto residentBytes = [] {
            malloc_trim(0);
            QFile status(QStringLiteral("/proc/self/status"));
            if (!status.open(QIODevice::ReadOnly))
                return qint64(0);
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("VmRSS:"))
                    return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
            }
            return qint64(0);
        };
        const qint64 before = residentBytes();
        BenchEntry entry(500);
        entry.deliver(200000);
        const qint64 readingsHeld = residentBytes() - before;
        FiveSeries series;
        series.waitForAnnouncement([&] { series.setFieldEntry(&entry); }, true);
        const qint64 pointsHeld = residentBytes() - before - readingsHeld;
        out << "resident memory held at 200,000 readings: readings " << readingsHeld / (1024 * 1024)
            << " MB, the five series' points " << pointsHeld / (1024 * 1024) << " MB\n";
    }
    out << "all five series, median wall ms (thread CPU ms)\n";
    out << "readings        first build       live rebuild     other session     "
           "(all five shown)   vertices read\n";
    Timing cold100k{};
    Timing warm100k{};
    for (int readings : {10000, 25000, 50000, 100000, 200000}) {
        // A session never shown before: its reading times are new to the series.
        int daysAgo = 400;
        std::unique_ptr<BenchEntry> other;
        std::unique_ptr<FiveSeries> fresh;
        const Timing cold = median(
            3,
            [&] {
                other = std::make_unique<BenchEntry>(daysAgo++);
                other->deliver(readings);
                fresh = std::make_unique<FiveSeries>();
            },
            [&] { fresh->waitForAnnouncement([&] { fresh->setFieldEntry(other.get()); }); });
        fresh.reset();
        other.reset();

        // Choosing a session while another one's points are shown.
        std::unique_ptr<BenchEntry> shown;
        std::unique_ptr<FiveSeries> showing;
        const auto switching = [&](bool allCurves) {
            return median(
                3,
                [&] {
                    showing.reset();
                    shown = std::make_unique<BenchEntry>(daysAgo++);
                    shown->deliver(readings);
                    other = std::make_unique<BenchEntry>(daysAgo++);
                    other->deliver(readings);
                    showing = std::make_unique<FiveSeries>();
                    showing->waitForAnnouncement([&] { showing->setFieldEntry(shown.get()); },
                                                 allCurves);
                },
                [&] {
                    showing->waitForAnnouncement([&] { showing->setFieldEntry(other.get()); },
                                                 allCurves);
                });
        };
        const Timing switched = switching(false);
        const Timing switchedAll = switching(true);
        showing.reset();
        shown.reset();
        other.reset();

        BenchEntry entry(300);
        entry.deliver(readings);

        FiveSeries live;
        live.waitForAnnouncement([&] { live.setFieldEntry(&entry); });
        const Timing warm = median(
            9, [] {}, [&] { live.waitForAnnouncement([&] { entry.announce(); }); });
        const Timing read = median(
            3, [] {},
            [&] {
                if (live.exposure.vertices().size() != 2 * (readings - 1))
                    qFatal("unexpected vertex count");
            });

        out << qSetFieldWidth(8) << readings << qSetFieldWidth(19) << figure(cold) << figure(warm)
            << figure(switched) << figure(switchedAll) << figure(read) << qSetFieldWidth(0) << "\n";
        out.flush();
        if (readings == 100000) {
            cold100k = cold;
            warm100k = warm;
        }
    }
    const auto under100 = [](double ms) {
        return qint64(100.0 / (std::max(ms, 0.001) / 100000.0));
    };
    out << "largest session under 100 ms, linear estimate from 100,000 readings (wall / CPU):\n"
        << "  first build about " << under100(cold100k.wallMs) << " / " << under100(cold100k.cpuMs)
        << " readings\n"
        << "  live rebuild about " << under100(warm100k.wallMs) << " / " << under100(warm100k.cpuMs)
        << " readings\n";
    return 0;
}
