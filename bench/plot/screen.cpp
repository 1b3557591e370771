// The plot where the user meets it: the whole program in-process against the
// simulated instrument, with an older field session of the given length and the
// live session one reading shorter. Per action (choose the loaded older session, switch one
// trace on, one live tick) it prints the time to the traces being drawn, the
// time Plotly alone takes to draw the same traces in the page, their ratio,
// and the longest stretch the GUI thread was blocked meanwhile. Also the time
// from the data screen opening to its plot page being ready, and the memory
// held with the session plotted: resident, and the heap in use once the
// choice has settled against its peak during the choice.
//
// It waits by running the event loop, as the program does: QTest's waits
// sleep 10 ms between passes, which starves the web engine.
//
// Run from the build folder with the stand-in hidapi first on the library path:
//   LD_LIBRARY_PATH=standin-hidapi QV_SIM_FRAME_MS=0 bench/bench_plotscreen [readings...]
// (offscreen, or under xvfb-run for real windows).
#include "shelltest.h"
#include "stallmonitor.h"
#include "standinhid.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cstdio>
#include <malloc.h>
#include <thread>

namespace {

// Receives the page's answers to the probes.
class Probe : public QObject
{
    Q_OBJECT

public:
    QString token;
    QString answer;
    qint64 loadedAt = 0;
    QElapsedTimer clock;

public slots:
    void drawn(const QString &t, const QString &a)
    {
        token = t;
        answer = a;
    }
    void entryLoaded() { loadedAt = clock.nsecsElapsed(); }
};

QJsonArray fieldRecords(int count, int seed)
{
    QJsonArray records;
    for (int i = 0; i < count; ++i)
        records.append(
            QJsonArray{i == 0 ? 0 : 2, 60 + (i * 7 + seed) % 150, 50 + (i * 13 + seed) % 160});
    return records;
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs = 120000)
{
    return ShellTest::waitFor(condition, timeoutMs);
}

void pause(int ms)
{
    QElapsedTimer clock;
    clock.start();
    waitFor([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

// The heap in use as malloc counts it, and its peak while sampled every
// millisecond from a thread of its own.
class HeapPeak
{
public:
    static double inUseMb()
    {
        const struct mallinfo2 info = mallinfo2();
        return double(info.uordblks + info.hblkhd) / (1024 * 1024);
    }
    void start()
    {
        m_peak = inUseMb();
        m_running = true;
        m_thread = std::thread([this] {
            while (m_running) {
                m_peak = std::max(m_peak.load(), inUseMb());
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    double stop()
    {
        m_running = false;
        m_thread.join();
        return std::max(m_peak.load(), inUseMb());
    }

private:
    std::atomic<bool> m_running{false};
    std::atomic<double> m_peak{0};
    std::thread m_thread;
};

qint64 residentKb(const QString &pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

// Resident memory of the children (the web engine's processes), in kB.
qint64 childrenResidentKb(const QString &pid)
{
    qint64 total = 0;
    const QStringList tasks = QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs);
    for (const QString &task : tasks) {
        QFile children(QStringLiteral("/proc/%1/task/%2/children").arg(pid, task));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &child : children.readAll().split(' ')) {
            if (child.trimmed().isEmpty())
                continue;
            total += residentKb(QString::fromLatin1(child.trimmed()));
            total += childrenResidentKb(QString::fromLatin1(child.trimmed()));
        }
    }
    return total;
}

class Bench
{
public:
    Bench(QQuickWindow *window, QQmlEngine *engine) : m_window(window), m_engine(engine)
    {
        m_probe.clock.start();
        m_engine->rootContext()->setContextProperty(QStringLiteral("benchProbe"), &m_probe);
    }

    QObject *object(const QString &name) const { return ShellTest::findByName(m_window, name); }

    QObject *webView() const
    {
        QObject *field = object(QStringLiteral("dataField"));
        QObject *graph = field ? field->property("graph").value<QObject *>() : nullptr;
        return graph ? ShellTest::findByName(graph, QStringLiteral("webView")) : nullptr;
    }

    bool pageReady() const
    {
        QObject *view = webView();
        return view && !view->property("loading").toBool() &&
               view->property("url").toString().startsWith(QLatin1String("data:"));
    }

    void click(const QString &name)
    {
        auto *item = qobject_cast<QQuickItem *>(object(name));
        if (!item)
            return;
        const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        QTest::mouseMove(m_window, centre.toPoint());
        QTest::mouseClick(m_window, Qt::LeftButton, {}, centre.toPoint());
    }

    // Runs script in the page; the page's answer comes back through the probe.
    void ask(const QString &token, const QString &script)
    {
        QObject *view = webView();
        const QString expression =
            QStringLiteral(
                "(function () { const poll = function () { webView.runJavaScript(%1,"
                " function (r) { if (r) benchProbe.drawn(%2, r); else Qt.callLater(poll);"
                " }); }; poll(); })()")
                .arg(quoted(script), quoted(token));
        QQmlExpression run(qmlContext(view), view, expression);
        run.evaluate();
        if (run.hasError())
            std::fprintf(stderr, "%s\n", qPrintable(run.error().toString()));
    }

    // The drawn point counts per trace once every script sent so far has run
    // and a frame has been painted after them.
    QString drawnCounts()
    {
        const QString token = QStringLiteral("d%1").arg(++m_tokens);
        ask(token, QStringLiteral("(function () { if (window.benchToken !== '%1') {"
                                  " window.benchToken = '%1'; window.benchDone = false;"
                                  " requestAnimationFrame(function () { requestAnimationFrame("
                                  "function () { window.benchDone = true; }); }); return ''; }"
                                  " return window.benchDone ? document.getElementById('chart')"
                                  ".data.map(function (t) { return t.x.length; }).join(',') || '-'"
                                  " : ''; })()")
                       .arg(token));
        ::waitFor([&] { return m_probe.token == token; });
        return m_probe.answer;
    }

    // Plotly alone: the traces as drawn, copied in the page, drawn again, timed
    // to the same drawn-frame probe as the actions so both sides pay its round trip.
    double plotlyAloneMs(const QString &expected)
    {
        const QString copied = QStringLiteral("c%1").arg(++m_tokens);
        ask(copied,
            QStringLiteral(
                "(function () { var chart = document.getElementById('chart');"
                " window.benchList = chart.data.map(function (t) { return { x: t.x.slice(),"
                " y: t.y.slice(), mode: t.mode, name: t.name, line: { color: t.line.color },"
                " hovertemplate: t.hovertemplate }; });"
                " window.benchLayout = Object.assign({}, chart.layout,"
                " { uirevision: Math.random() }); return 'copied'; })()"));
        ::waitFor([&] { return m_probe.token == copied; });
        const QString token = QStringLiteral("a%1").arg(++m_tokens);
        return measure(
                   [&] {
                       ask(token, QStringLiteral("(function () { Plotly.react(document."
                                                 "getElementById('chart'), window.benchList,"
                                                 " window.benchLayout); return 'sent'; })()"));
                   },
                   expected)
            .drawnMs;
    }

    struct Figures
    {
        double drawnMs = 0;
        double blockMs = 0;
        QString counts;
    };

    // Runs action, then waits until the page shows `expected` point counts.
    Figures measure(const std::function<void()> &action, const QString &expected)
    {
        pause(300);
        Figures f;
        m_monitor.reset();
        QElapsedTimer clock;
        clock.start();
        action();
        do {
            f.counts = drawnCounts();
        } while (f.counts != expected && clock.elapsed() < 120000);
        f.drawnMs = clock.nsecsElapsed() / 1e6;
        f.blockMs = m_monitor.worstMs();
        return f;
    }

    Probe &probe() { return m_probe; }
    StallMonitor &monitor() { return m_monitor; }

private:
    static QString quoted(const QString &text)
    {
        return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact))
            .mid(1)
            .chopped(1);
    }

    QQuickWindow *m_window;
    QQmlEngine *m_engine;
    Probe m_probe;
    StallMonitor m_monitor;
    int m_tokens = 0;
};

QString repeated(const QString &count, int traces)
{
    QStringList list;
    for (int i = 0; i < traces; ++i)
        list << count;
    return list.join(',');
}

void printRow(int readings, const char *action, const Bench::Figures &f, double aloneMs)
{
    if (aloneMs > 0)
        std::printf("%8d  %-22s %9.0f ms %9.0f ms %6.2fx %9.0f ms\n", readings, action, f.drawnMs,
                    aloneMs, f.drawnMs / aloneMs, f.blockMs);
    else
        std::printf("%8d  %-22s %9.0f ms %12s %7s %9.0f ms\n", readings, action, f.drawnMs, "-",
                    "-", f.blockMs);
    std::fflush(stdout);
}

int runSize(int readings)
{
    QTemporaryDir programData;
    qputenv("ProgramData", programData.path().toLocal8Bit());
    ShellTest::writeConfig(programData.path(),
                           R"({"firstTimeRun": false, "optInForAutoCalCheck": false})");
    const QJsonObject scenario{
        {"identity", QJsonObject{{"barcode", 42}, {"databaseId", 7}}},
        {"firmwareVersion", QJsonArray{1, 4}},
        {"entryBlockSectors", 64},
        {"sessions", QJsonArray{QJsonObject{{"type", "field"},
                                            {"start", "2026-03-01T10:00:00Z"},
                                            {"records", fieldRecords(readings, 1)}},
                                QJsonObject{{"type", "field"},
                                            {"start", "2026-03-20T10:00:00Z"},
                                            {"records", fieldRecords(readings - 1, 2)}}}},
        {"live",
         QJsonObject{{"appendEveryMs", 1000}, {"records", QJsonArray{QJsonArray{2, 120, 80}}}}}};
    const QString path = programData.filePath(QStringLiteral("scenario.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(scenario).toJson()) < 0)
        return 1;
    file.close();
    QString error;
    if (!StandInHid::instance().loadScenario(path, &error)) {
        std::fprintf(stderr, "scenario: %s\n", qPrintable(error));
        return 1;
    }
    StandInHid::instance().instrument().setLiveClockRunning(false);

    auto startup = std::make_unique<Startup>();
    if (startup->start() || !startup->mainWindow())
        return 1;
    auto *window = qobject_cast<QQuickWindow *>(startup->mainWindow());
    Bench bench(window, startup->engine());
    if (!QTest::qWaitForWindowExposed(window) ||
        !waitFor([&] { return bench.object(QStringLiteral("dataPage")) != nullptr; }, 30000))
        return 1;
    // From the data screen's start, which starts loading the page, to the
    // load's end, which the program logs as the page being ready.
    QElapsedTimer opening;
    opening.start();
    waitFor([&] { return bench.pageReady(); });
    const double pageMs = opening.nsecsElapsed() / 1e6;
    const qint64 baseKb = residentKb(QStringLiteral("self"));
    if (!waitFor([&] { return bench.object(QStringLiteral("sessionRow1")) != nullptr; }))
        return 1;

    const QString full = QString::number(2 * (readings - 1));
    const QString liveFull = QString::number(2 * (readings - 2));
    QObject *presenter = bench.object(QStringLiteral("presenter"));
    auto entryLoaded = [&] {
        QObject *entry = presenter->property("fieldDataEntry").value<QObject *>();
        return entry && entry->property("loaded").toBool() && !entry->property("loading").toBool();
    };
    // Both sessions loaded once: the older one, then the live one.
    bench.click(QStringLiteral("sessionRow1"));
    waitFor(entryLoaded, 300000);
    bench.measure([] {}, full);
    bench.click(QStringLiteral("sessionRow0"));
    waitFor(entryLoaded, 300000);
    bench.measure([] {}, liveFull);

    HeapPeak heap;
    heap.start();
    const Bench::Figures select =
        bench.measure([&] { bench.click(QStringLiteral("sessionRow1")); }, full);
    const double peakMb = heap.stop();
    printRow(readings, "choose loaded session", select, bench.plotlyAloneMs(full));
    pause(1000);
    const double settledMb = HeapPeak::inUseMb();
    std::printf("%8d  resident memory: %lld MB program (%lld MB before any session was "
                "chosen), %lld MB web engine processes\n",
                readings, residentKb(QStringLiteral("self")) / 1024, baseKb / 1024,
                childrenResidentKb(QString::number(QCoreApplication::applicationPid())) / 1024);
    std::printf("%8d  heap in use: %.0f MB settled, %.0f MB at its peak while choosing (%.2fx)\n",
                readings, settledMb, peakMb, peakMb / settledMb);

    const Bench::Figures toggle =
        bench.measure([&] { bench.click(QStringLiteral("eFieldSwitch")); }, repeated(full, 2));
    printRow(readings, "switch E-Field on", toggle, bench.plotlyAloneMs(repeated(full, 2)));

    bench.click(QStringLiteral("sessionRow0"));
    bench.measure([] {}, repeated(liveFull, 2));
    QObject *live = presenter->property("fieldDataEntry").value<QObject *>();
    QObject::connect(live, SIGNAL(loaded()), &bench.probe(), SLOT(entryLoaded()));
    Bench::Figures worstTick;
    for (int tick = 1; tick <= 3; ++tick) {
        const QString grown = QString::number(2 * (readings + tick - 2));
        Bench::Figures f = bench.measure(
            [&] { StandInHid::instance().instrument().appendLiveRecords(1); }, repeated(grown, 2));
        // Drawn time counted from the reload's readings arriving.
        f.drawnMs = (bench.probe().clock.nsecsElapsed() - bench.probe().loadedAt) / 1e6;
        if (f.blockMs >= worstTick.blockMs)
            worstTick = f;
    }
    printRow(readings, "live tick (worst of 3)", worstTick, 0);
    std::printf("%8d  data screen opened to plot page ready: %.0f ms\n", readings, pageMs);
    std::fflush(stdout);
    startup.reset();
    StandInHid::instance().simulator().replug();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    Startup::prepareEnvironment();
    QtWebEngineQuick::initialize();
    QApplication app(argc, argv);
    if (!qEnvironmentVariable("LD_LIBRARY_PATH").contains(QLatin1String("standin-hidapi"))) {
        std::fprintf(stderr, "put the stand-in hidapi (build/standin-hidapi) on LD_LIBRARY_PATH\n");
        return 1;
    }
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLatin1(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {10000, 100000, 200000};
    std::printf("readings  action                 drawn      Plotly alone  ratio  longest GUI "
                "block\n");
    for (int readings : sizes) {
        if (runSize(readings) != 0) {
            std::fprintf(stderr, "the run with %d readings failed\n", readings);
            return 1;
        }
    }
    return 0;
}

#include "screen.moc"
