// Session file export against a plain write of the same bytes to the same disk.
//
//   bench_export [folder] [readings]
//
// The export is timed whole: text built from the readings and written through
// a save file (which syncs before it renames). The plain write is timed with and
// without a sync, so both the raw figure and the like-for-like one show.

#include "exporttext.h"
#include "fielddataentry.h"
#include "fieldreading.h"
#include "fileexporter.h"
#include "wholefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

class BenchEntry : public FieldDataEntry
{
public:
    explicit BenchEntry(const QDateTime &start) : FieldDataEntry(start, 0, false) {}
    void feed(const QByteArray &payload) { onDataAvailable(payload, true); }
};

QByteArray session(int readings)
{
    QByteArray payload;
    payload.reserve(readings * 4);
    for (int i = 0; i < readings; ++i) {
        const char record[] = {char(10), char(i * 7 % 250), 0, char(i * 13 % 250)};
        payload.append(record, sizeof record);
    }
    return payload;
}

template <typename Run> double bestSeconds(int rounds, Run run)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        times.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2]; // median: the disk is shared
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTemporaryDir scratch(args.size() > 1 ? args[1] + "/bench-export-XXXXXX"
                                          : QDir::currentPath() + "/bench-export-XXXXXX");
    const int readings = args.size() > 2 ? args[2].toInt() : 100000;
    if (!scratch.isValid() || readings < 2) {
        std::fprintf(stderr, "usage: bench_export [folder] [readings >= 2]\n");
        return 2;
    }

    QElapsedTimer setup;
    setup.start();
    BenchEntry entry(QDateTime(QDate(2024, 1, 31), QTime(13, 22, 33), Qt::UTC));
    entry.feed(session(readings));
    std::printf("session: %lld readings decoded in %.1f s (not timed below)\n",
                qlonglong(entry.fieldReadings().size()), double(setup.elapsed()) / 1000);

    FileExporter exporter;
    const QString csv = scratch.filePath("session.csv");
    const int rounds = qEnvironmentVariableIntValue("QV_BENCH_ROUNDS") > 0
                           ? qEnvironmentVariableIntValue("QV_BENCH_ROUNDS")
                           : 9;
    const double exportSeconds = bestSeconds(rounds, [&] {
        if (!exporter.writeFieldFile(&entry, false, FileExporter::CSV, csv, true))
            std::fprintf(stderr, "export failed\n");
    });

    QFile written(csv);
    written.open(QIODevice::ReadOnly);
    const QByteArray bytes = written.readAll();
    const double megabytes = double(bytes.size()) / 1e6;

    const QString plain = scratch.filePath("plain.csv");
    auto plainWrite = [&](bool sync) {
        QFile file(plain);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes);
        file.flush();
        if (sync)
            ::fsync(file.handle());
        file.close();
    };
    const double plainSeconds = bestSeconds(rounds, [&] { plainWrite(false); });
    const double syncedSeconds = bestSeconds(rounds, [&] { plainWrite(true); });
    const double saveSeconds = bestSeconds(rounds, [&] {
        wholefile::write(scratch.filePath("saved.csv"), bytes, wholefile::Existing::Replace,
                         wholefile::Links::Follow);
    });

    std::printf("file: %.2f MB (%lld lines), median of %d rounds\n", megabytes,
                qlonglong(bytes.count('\n')), rounds);
    std::printf("CSV export (text + save file): %8.1f MB/s  %7.1f ms\n", megabytes / exportSeconds,
                exportSeconds * 1000);
    std::printf("plain write, no sync:          %8.1f MB/s  %7.1f ms\n", megabytes / plainSeconds,
                plainSeconds * 1000);
    std::printf("plain write + fsync:           %8.1f MB/s  %7.1f ms\n", megabytes / syncedSeconds,
                syncedSeconds * 1000);
    std::printf("save file alone (same bytes):  %8.1f MB/s  %7.1f ms\n", megabytes / saveSeconds,
                saveSeconds * 1000);
    std::printf("export / plain: %.2f   export / plain+fsync: %.2f\n", plainSeconds / exportSeconds,
                syncedSeconds / exportSeconds);
    return 0;
}
