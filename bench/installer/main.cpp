// The installer download against a chunked body that never ends, served from
// the same process on 127.0.0.1 as fast as it goes: how much the resident
// memory grows before the size cap ends the download.
//
//   bench_installer [runs]
//
// Each run is a process of its own (peak memory is per process); the figures
// of every run are printed, then their median, with the load average.

#include "quorvantisapi.h"
#include "testwebservice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// "VmHWM" (peak) or "VmRSS" (now) of this process, in MiB.
double memoryMiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith(field))
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').value(0).toDouble() / 1024;
    return -1;
}

int once(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestWebService service;
    TestWebService::Response endless;
    endless.endless = true;
    service.setOverride(QStringLiteral("/cal/installer"), endless);
    if (!service.listen())
        return 1;
    qputenv("QUORVANTIS_API_URL", service.baseUrl().toUtf8());
    QTemporaryDir dir;
    QuorvantisApi api;
    api.setApiIsAllowed(true);
    api.setDownloadPath(dir.filePath(QStringLiteral("setup.exe")));

    qlonglong received = 0;
    QString error;
    QObject::connect(&api, &QuorvantisApi::reportFileProgress,
                     [&received](qlonglong bytes, qlonglong) { received = bytes; });
    QObject::connect(&api, &QuorvantisApi::apiError, &app, [&error](const QString &text) {
        error = text;
        QCoreApplication::quit();
    });
    const double before = memoryMiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    api.getLatestAppInstaller();
    app.exec();
    std::printf("%.1f %.2f %.1f %s\n", memoryMiB("VmHWM:") - before, timer.elapsed() / 1000.0,
                received / 1048576.0, qPrintable(error));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--once") == 0)
        return once(argc, argv);
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    std::printf("cap %.0f MiB; per run: peak growth MiB, seconds, MiB received, error\n",
                QuorvantisApi::maxInstallerBytes / 1048576.0);
    std::vector<double> growth;
    for (int run = 0; run < runs; ++run) {
        QFile load(QStringLiteral("/proc/loadavg"));
        const QByteArray average = load.open(QIODevice::ReadOnly) ? load.readAll().left(14) : "?";
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--once")});
        if (!child.waitForFinished(600000) || child.exitCode() != 0)
            return 1;
        const QByteArray line = child.readAllStandardOutput().trimmed();
        std::printf("load %s: %s\n", average.constData(), line.constData());
        growth.push_back(line.split(' ').value(0).toDouble());
    }
    std::sort(growth.begin(), growth.end());
    std::printf("median peak growth %.1f MiB over %d runs\n", growth[growth.size() / 2], runs);
    return 0;
}
