// An instrument with many sessions, where the user meets it: the whole program
// in-process against the simulated instrument with 1 ms USB frames. For 10, 200
// and 1,000 sessions it prints, counted from the connection's first exchange,
// the header walk's own time (to the last header answered), the time until the
// session list shows every session and the time until the plot page is ready,
// their ratios to the walk, and the longest stretch the GUI thread was blocked
// during the walk (to the list being complete) and from start-up on.
// Rounds take the sizes in turn so that each meets the same load; the medians
// and spread of the rounds follow, with the load average.
//
// Run from the build folder with the stand-in hidapi first on the library path:
//   LD_LIBRARY_PATH=standin-hidapi bench/bench_sessions [rounds [sessions...]]
#include "benchfigures.h"
#include "shelltest.h"
#include "stallmonitor.h"
#include "standinhid.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>

namespace {

using namespace BenchFigures;

using Clock = std::chrono::steady_clock;

struct Figures
{
    double walkMs = 0;
    double listMs = 0;
    double pageMs = 0;
    double blockMs = 0;
    double startBlockMs = 0;
};

QJsonObject scenario(int sessions)
{
    QJsonArray list;
    const QDateTime first(QDate(2025, 1, 1), QTime(8, 0), Qt::UTC);
    for (int i = 0; i < sessions; ++i)
        list.append(
            QJsonObject{{"type", "field"},
                        {"start", first.addSecs(qint64(i) * 7200).toString(Qt::ISODate)},
                        {"records", QJsonArray{QJsonArray{0, 100, 90}, QJsonArray{2, 110, 95}}}});
    return QJsonObject{{"identity", QJsonObject{{"barcode", 42}, {"databaseId", 7}}},
                       {"firmwareVersion", QJsonArray{1, 4}},
                       {"sessions", list}};
}

bool runOnce(int sessions, Figures &f)
{
    QTemporaryDir programData;
    qputenv("ProgramData", programData.path().toLocal8Bit());
    ShellTest::writeConfig(programData.path(),
                           R"({"firstTimeRun": false, "optInForAutoCalCheck": false})");
    const QString path = programData.filePath(QStringLiteral("scenario.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(scenario(sessions)).toJson()) < 0)
        return false;
    file.close();
    QString error;
    if (!StandInHid::instance().loadScenario(path, &error)) {
        std::fprintf(stderr, "scenario: %s\n", qPrintable(error));
        return false;
    }
    StandInHid::instance().setFrameMs(1);

    // The device thread's exchanges, as the instrument sees them.
    std::atomic<bool> started{false};
    std::atomic<qint64> firstNs{0};
    std::atomic<qint64> firstHeaderNs{0};
    std::atomic<qint64> lastHeaderNs{0};
    const Clock::time_point origin = Clock::now();
    StandInHid::instance().simulator().setReplyFilter(
        [&](const InstrumentSimulator::Report &request, auto &, int &) {
            const qint64 now = (Clock::now() - origin).count();
            if (!started.exchange(true))
                firstNs = now;
            if (request[1] == 13) {
                if (!firstHeaderNs)
                    firstHeaderNs = now;
                lastHeaderNs = now;
            }
        });

    auto startup = std::make_unique<Startup>();
    // From start-up to the page being ready, and during the walk alone.
    StallMonitor monitor;
    StallMonitor walkMonitor;
    bool walking = false;
    if (startup->start() || !startup->mainWindow())
        return false;
    auto *window = qobject_cast<QQuickWindow *>(startup->mainWindow());
    QObject *device = ShellTest::findByName(window, QStringLiteral("device"));
    if (!device)
        return false;
    monitor.reset();
    auto listed = [&] {
        QObject *list = ShellTest::findByName(window, QStringLiteral("sessionList"));
        return list && list->property("model").toList().size() == sessions &&
               device->property("hasAllHeaders").toBool();
    };
    auto pageReady = [&] {
        QObject *page = ShellTest::findByName(window, QStringLiteral("dataField"));
        QObject *graph = page ? page->property("graph").value<QObject *>() : nullptr;
        QObject *view = graph ? ShellTest::findByName(graph, QStringLiteral("webView")) : nullptr;
        return view && !view->property("loading").toBool() &&
               view->property("url").toString().startsWith(QLatin1String("data:"));
    };
    qint64 listNs = 0;
    qint64 pageNs = 0;
    const bool done = ShellTest::waitFor(
        [&] {
            const qint64 now = (Clock::now() - origin).count();
            if (!walking && firstHeaderNs) {
                walking = true;
                walkMonitor.reset();
            }
            if (!listNs && listed()) {
                listNs = now;
                f.blockMs = walkMonitor.worstMs();
            }
            if (!pageNs && pageReady())
                pageNs = now;
            return listNs && pageNs;
        },
        120000);
    f.startBlockMs = monitor.worstMs();
    StandInHid::instance().simulator().setReplyFilter(nullptr);
    startup.reset();
    StandInHid::instance().simulator().replug();
    if (!done) {
        std::fprintf(stderr, "%d sessions: not listed or no page within two minutes\n", sessions);
        return false;
    }
    f.walkMs = (lastHeaderNs - firstNs) / 1e6;
    f.listMs = (listNs - firstNs) / 1e6;
    f.pageMs = (pageNs - firstNs) / 1e6;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    Startup::prepareEnvironment();
    QtWebEngineQuick::initialize();
    QApplication app(argc, argv);
    if (!standInHidOnPath())
        return 1;
    const int rounds = argc > 1 ? std::max(1, QString::fromLatin1(argv[1]).toInt()) : 3;
    QList<int> sizes;
    for (int i = 2; i < argc; ++i)
        sizes << QString::fromLatin1(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {10, 200, 1000};

    std::map<int, QList<Figures>> runs;
    std::printf("round  sessions    walk    listed    page   list/walk  page/walk  longest GUI "
                "block: walk, all  load\n");
    for (int round = 1; round <= rounds; ++round) {
        for (int sessions : sizes) {
            Figures f;
            if (!runOnce(sessions, f))
                return 1;
            runs[sessions].append(f);
            std::printf(
                "%5d  %8d  %6.0f ms %6.0f ms %6.0f ms  %8.2fx  %8.2fx  %10.0f ms %5.0f ms  %s\n",
                round, sessions, f.walkMs, f.listMs, f.pageMs, f.listMs / f.walkMs,
                f.pageMs / f.walkMs, f.blockMs, f.startBlockMs, qPrintable(loadAverage()));
            std::fflush(stdout);
        }
    }
    std::printf("\nmedians (lowest to highest) over %d rounds\n", rounds);
    for (int sessions : sizes) {
        QList<double> walk, list, page, listRatio, pageRatio, block;
        for (const Figures &f : runs[sessions]) {
            walk << f.walkMs;
            list << f.listMs;
            page << f.pageMs;
            listRatio << f.listMs / f.walkMs;
            pageRatio << f.pageMs / f.walkMs;
            block << f.blockMs;
        }
        std::printf("%8d sessions: walk %s ms, listed %s ms (%sx), page ready %s ms (%sx), "
                    "longest GUI block during the walk %s ms\n",
                    sessions, qPrintable(spread(walk)), qPrintable(spread(list)),
                    qPrintable(spread(listRatio, "%.2f")), qPrintable(spread(page)),
                    qPrintable(spread(pageRatio, "%.2f")), qPrintable(spread(block)));
    }
    std::printf("load average at the end: %s\n", qPrintable(loadAverage()));
    return 0;
}
