// The plot where the user meets it: the whole program in-process against the
// simulated instrument, with three older field sessions of the given length and
// the live session one reading shorter. Choosing a loaded older session (coming
// from the live one) and switching E-Field on are each measured in several
// pairs per process, for a session drawn in the pair before and for one the
// page no longer holds, taking turns: the action, to the traces being drawn, then
// Plotly alone drawing the same traces in the page. It prints the median ratio
// with its spread, the times, the time from the click to Plotly.react being
// called and the longest stretch the GUI thread was blocked; then the worst of
// three live ticks, the time from the data screen opening to its plot page
// being ready, and the memory: the program's resident share apart from the
// simulated instrument's, the web engine's after the first sessions drawn and
// after all pairs, and the heap in use once settled against its peak while
// choosing.
//
// It waits by running the event loop, as the program does: QTest's waits
// sleep 10 ms between passes, which starves the web engine.
//
// Run from the build folder with the stand-in hidapi first on the library path:
//   LD_LIBRARY_PATH=standin-hidapi QV_SIM_FRAME_MS=0 bench/bench_plotscreen [readings...]
// (offscreen, or under xvfb-run for real windows); QV_BENCH_PAIRS sets the
// pairs per action (default 5).
#include "benchfigures.h"
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
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <thread>

namespace {

using namespace BenchFigures;

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
    Figures measure(const std::function<void()> &action, const QString &expected,
                    int timeoutMs = 120000)
    {
        pause(300);
        Figures f;
        m_monitor.reset();
        QElapsedTimer clock;
        clock.start();
        action();
        do {
            f.counts = drawnCounts();
        } while (f.counts != expected && clock.elapsed() < timeoutMs);
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

double wallMs()
{
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// One action measured in pairs with Plotly alone on the traces it drew.
struct Pairs
{
    QList<double> drawnMs, aloneMs, ratio, toReactMs, reactMs, aloneReactMs, blockMs;

    void add(const Bench::Figures &f, double alone, double toReact, double react, double aloneReact)
    {
        drawnMs << f.drawnMs;
        aloneMs << alone;
        ratio << f.drawnMs / alone;
        toReactMs << toReact;
        reactMs << react;
        aloneReactMs << aloneReact;
        blockMs << f.blockMs;
    }
    void print(int readings, const char *action) const
    {
        std::printf("%8d  %-18s ratio %s, drawn %s ms, Plotly alone %s ms, click to react %s ms,"
                    " Plotly.react call %s ms against %s ms alone, longest GUI block %s ms;"
                    " %d pairs\n",
                    readings, action, qPrintable(spread(ratio, "%.2f")),
                    qPrintable(spread(drawnMs, "%.0f")), qPrintable(spread(aloneMs, "%.0f")),
                    qPrintable(spread(toReactMs, "%.0f")), qPrintable(spread(reactMs, "%.0f")),
                    qPrintable(spread(aloneReactMs, "%.0f")), qPrintable(spread(blockMs, "%.0f")),
                    int(ratio.size()));
        std::fflush(stdout);
    }
};

int runSize(int readings, int pairs)
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
                                // Chosen in turns, so that neither was among
                                // the last sessions drawn.
                                QJsonObject{{"type", "field"},
                                            {"start", "2026-02-01T10:00:00Z"},
                                            {"records", fieldRecords(readings, 3)}},
                                QJsonObject{{"type", "field"},
                                            {"start", "2026-01-01T10:00:00Z"},
                                            {"records", fieldRecords(readings, 4)}},
                                // The instrument records into its last session,
                                // the newest, which the program lists first.
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
    // The simulated instrument and its scenario live in this process too:
    // their share of the resident memory is taken before the program starts.
    const qint64 beforeScenarioKb = residentKb(QStringLiteral("self"));
    QString error;
    if (!StandInHid::instance().loadScenario(path, &error)) {
        std::fprintf(stderr, "scenario: %s\n", qPrintable(error));
        return 1;
    }
    StandInHid::instance().instrument().setLiveClockRunning(false);
    const qint64 scenarioKb = residentKb(QStringLiteral("self")) - beforeScenarioKb;

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
    // The page notes when Plotly.react is called, on the machine's clock,
    // and how long the call takes.
    bench.ask(QStringLiteral("hook"),
              QStringLiteral("(function () { if (!window.benchHooked) { window.benchHooked = true;"
                             " var react = Plotly.react; Plotly.react = function () {"
                             " var start = performance.now();"
                             " window.benchReactAt = performance.timeOrigin + start;"
                             " try { return react.apply(this, arguments); } finally {"
                             " window.benchReactMs = performance.now() - start; } }; }"
                             " return 'hooked'; })()"));
    waitFor([&] { return bench.probe().token == QLatin1String("hook"); });
    int reactTokens = 0;
    struct React
    {
        double at = 0;
        double ms = 0;
    };
    auto lastReact = [&] {
        const QString token = QStringLiteral("r%1").arg(++reactTokens);
        bench.ask(token, QStringLiteral("(window.benchReactAt || 0) + ' ' + (window.benchReactMs"
                                        " || 0)"));
        waitFor([&] { return bench.probe().token == token; });
        const QStringList parts = bench.probe().answer.split(QLatin1Char(' '));
        return React{parts.value(0).toDouble(), parts.value(1).toDouble()};
    };

    const QString full = QString::number(2 * (readings - 1));
    const QString liveFull = QString::number(2 * (readings - 2));
    QObject *presenter = bench.object(QStringLiteral("presenter"));
    auto entryLoaded = [&] {
        QObject *entry = presenter->property("fieldDataEntry").value<QObject *>();
        return entry && entry->property("loaded").toBool() && !entry->property("loading").toBool();
    };
    // Every session loaded once, the live one last.
    for (const char *row : {"sessionRow2", "sessionRow3", "sessionRow1", "sessionRow0"}) {
        bench.click(QLatin1String(row));
        waitFor(entryLoaded, 300000);
        bench.measure([] {}, QLatin1String(row) == QLatin1String("sessionRow0") ? liveFull : full);
    }
    const qint64 firstWebKb =
        childrenResidentKb(QString::number(QCoreApplication::applicationPid()));

    // Each pair: the action, then Plotly alone on the traces it drew; the
    // two actions take turns, and each pair starts from the live session.
    Pairs choose;
    Pairs toggle;
    Pairs chooseNew;
    Pairs toggleNew;
    double peakMb = 0;
    QStringList webMb;
    for (int pair = 0; pair < pairs; ++pair) {
        HeapPeak heap;
        heap.start();
        // A session drawn in the pair before, then one drawn two pairs ago,
        // which the page no longer holds.
        const auto chooseAndSwitch = [&](const QString &row, Pairs &chosen, Pairs &switched) {
            double clickedAt = 0;
            const Bench::Figures select = bench.measure(
                [&] {
                    clickedAt = wallMs();
                    bench.click(row);
                },
                full);
            React react = lastReact();
            double alone = bench.plotlyAloneMs(full);
            chosen.add(select, alone, react.at - clickedAt, react.ms, lastReact().ms);
            const Bench::Figures on = bench.measure(
                [&] {
                    clickedAt = wallMs();
                    bench.click(QStringLiteral("eFieldSwitch"));
                },
                repeated(full, 2));
            react = lastReact();
            alone = bench.plotlyAloneMs(repeated(full, 2));
            switched.add(on, alone, react.at - clickedAt, react.ms, lastReact().ms);
            bench.click(QStringLiteral("eFieldSwitch"));
            bench.measure([] {}, full);
            bench.click(QStringLiteral("sessionRow0"));
            bench.measure([] {}, liveFull);
        };
        chooseAndSwitch(QStringLiteral("sessionRow1"), choose, toggle);
        peakMb = std::max(peakMb, heap.stop());
        chooseAndSwitch(pair % 2 ? QStringLiteral("sessionRow3") : QStringLiteral("sessionRow2"),
                        chooseNew, toggleNew);
        webMb << QString::number(
            childrenResidentKb(QString::number(QCoreApplication::applicationPid())) / 1024);
    }
    choose.print(readings, "choose again");
    toggle.print(readings, "E-Field on again");
    chooseNew.print(readings, "choose anew");
    toggleNew.print(readings, "E-Field on anew");
    // Settled: the program hands freed pages back once its plot series have
    // been left alone for two seconds.
    pause(3000);
    const double settledMb = HeapPeak::inUseMb();
    const qint64 programKb = residentKb(QStringLiteral("self"));
    std::printf("%8d  resident memory: program %lld MB (%lld MB before any session was chosen),"
                " besides %lld MB of the simulated instrument and its scenario; web engine"
                " processes %lld MB after each session drawn once, %lld MB after %d more chosen\n",
                readings, (programKb - scenarioKb) / 1024, (baseKb - scenarioKb) / 1024,
                scenarioKb / 1024, firstWebKb / 1024,
                childrenResidentKb(QString::number(QCoreApplication::applicationPid())) / 1024,
                4 * pairs);
    std::printf("%8d  web engine processes after each pair: %s MB\n", readings,
                qPrintable(webMb.join(QLatin1Char(' '))));
    std::printf("%8d  heap in use: %.0f MB settled, %.0f MB at its peak while choosing (%.2fx)\n",
                readings, settledMb, peakMb, peakMb / settledMb);

    bench.click(QStringLiteral("eFieldSwitch"));
    bench.measure([] {}, repeated(liveFull, 2));
    QObject *live = presenter->property("fieldDataEntry").value<QObject *>();
    QObject::connect(live, SIGNAL(loaded()), &bench.probe(), SLOT(entryLoaded()));
    Bench::Figures worstTick;
    QString undrawn;
    for (int tick = 1; tick <= 3 && undrawn.isEmpty(); ++tick) {
        const QString grown = repeated(QString::number(2 * (readings + tick - 2)), 2);
        Bench::Figures f = bench.measure(
            [&] { StandInHid::instance().instrument().appendLiveRecords(1); }, grown, 10000);
        if (f.counts != grown)
            undrawn = f.counts;
        // Drawn time counted from the reload's readings arriving.
        f.drawnMs = (bench.probe().clock.nsecsElapsed() - bench.probe().loadedAt) / 1e6;
        if (f.blockMs >= worstTick.blockMs)
            worstTick = f;
    }
    if (undrawn.isEmpty())
        std::printf("%8d  live tick (worst of 3): drawn %.0f ms, longest GUI block %.0f ms\n",
                    readings, worstTick.drawnMs, worstTick.blockMs);
    else
        std::printf("%8d  live tick: the reading appended was not drawn within 10 s (%s)\n",
                    readings, qPrintable(undrawn));
    std::printf("%8d  data screen opened to plot page ready: %.0f ms; load %s\n", readings, pageMs,
                qPrintable(loadAverage()));
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
    if (!standInHidOnPath())
        return 1;
    // QV_BENCH_PAIRS pairs per action and process.
    const int pairs = qEnvironmentVariableIntValue("QV_BENCH_PAIRS") > 0
                          ? qEnvironmentVariableIntValue("QV_BENCH_PAIRS")
                          : 5;
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLatin1(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {10000, 100000, 200000};
    std::printf("figures as median (lowest to highest) over the pairs; load %s at the start\n",
                qPrintable(loadAverage()));
    for (int readings : sizes) {
        if (runSize(readings, pairs) != 0) {
            std::fprintf(stderr, "the run with %d readings failed\n", readings);
            return 1;
        }
    }
    return 0;
}

#include "screen.moc"
