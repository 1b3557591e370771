// Plot view benchmark: five traces of a field session of 10,000, 50,000 and
// 100,000 readings. For a full re-plot and for a live tick that adds one
// reading it prints the time from handing the vertices over to the plot being
// drawn, and the longest stretch the GUI thread was blocked meanwhile; and,
// for comparison, how long Plotly alone takes to draw the same traces.
#include "stallmonitor.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QTimer>
#include <QVariantList>
#include <QtQml/qqmlextensionplugin.h>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <algorithm>
#include <cstdio>

Q_IMPORT_QML_PLUGIN(QVImportsPlugin)

namespace {

// Stands in for a line series: a vertex list in a QVariantList property, the
// way the screen hands it to the plot.
class VertexSource : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariantList vertices READ vertices NOTIFY verticesChanged)

public:
    using QObject::QObject;
    QVariantList vertices() const { return m_vertices; }
    void setVertices(QVariantList vertices)
    {
        m_vertices = std::move(vertices);
        emit verticesChanged();
    }

signals:
    void verticesChanged();

private:
    QVariantList m_vertices;
};

// Receives the page's answer that a probe token was drawn.
class DrawnReceiver : public QObject
{
    Q_OBJECT

public:
    QString token;
    QString counts;

public slots:
    void drawn(const QString &t, const QString &c)
    {
        token = t;
        counts = c;
        emit answered();
    }

signals:
    void answered();
};

// The step rule of the line series: two vertices per reading after the first.
QVariantList stepVertices(int readings, int series)
{
    const qint64 start = 1780300800000; // 2026-06-01T08:00:00Z
    QVariantList list;
    list.reserve(2 * std::max(0, readings - 1));
    double previous = 0.0;
    for (int i = 0; i < readings; ++i) {
        const double value = ((i * 7919 + series * 104729) % 15000) / 10000.0;
        if (i > 0) {
            const qint64 t = start + qint64(i) * 2000;
            list.append(QVariantMap{{"x", t}, {"y", previous}});
            list.append(QVariantMap{{"x", t}, {"y", value}});
        }
        previous = value;
    }
    return list;
}

struct Figures
{
    double callMs = 0;
    double drawnMs = 0;
    double blockMs = 0;
    QString counts;
};

} // namespace

int main(int argc, char *argv[])
{
    QtWebEngineQuick::initialize();
    QGuiApplication app(argc, argv);

    QList<VertexSource *> sources;
    QVariantList sourceList;
    for (int i = 0; i < 5; ++i) {
        sources.append(new VertexSource(&app));
        sourceList.append(QVariant::fromValue<QObject *>(sources.last()));
    }
    DrawnReceiver receiver;
    QObject clipboard;

    QQmlApplicationEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    engine.addImportPath(QStringLiteral(QV_QML_IMPORT_DIR));
    engine.rootContext()->setContextProperty("bench", &receiver);
    engine.rootContext()->setContextProperty("clipboard", &clipboard);
    engine.load(QUrl(QStringLiteral("qrc:/benchplot/Bench.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    QObject *root = engine.rootObjects().first();
    engine.rootContext()->setContextProperty("mainWindow", root);

    auto waitUntil = [&](auto condition, int timeoutMs) {
        QElapsedTimer t;
        t.start();
        while (!condition() && t.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return condition();
    };
    auto pageReady = [&] {
        QVariant ready;
        QMetaObject::invokeMethod(root, "pageReady", Q_RETURN_ARG(QVariant, ready));
        return ready.toBool();
    };
    if (!waitUntil(pageReady, 60000)) {
        std::fprintf(stderr, "page did not load\n");
        return 1;
    }

    StallMonitor monitor;
    int tokenNumber = 0;
    auto measure = [&](const char *method) {
        Figures f;
        const QString token = QStringLiteral("t%1").arg(++tokenNumber);
        waitUntil([] { return false; }, 200); // let the page settle
        monitor.reset();
        QElapsedTimer clock;
        clock.start();
        QMetaObject::invokeMethod(root, method, Q_ARG(QVariant, QVariant(sourceList)));
        f.callMs = clock.nsecsElapsed() / 1e6;
        QMetaObject::invokeMethod(root, "probe", Q_ARG(QVariant, token));
        waitUntil([&] { return receiver.token == token; }, 120000);
        f.drawnMs = clock.nsecsElapsed() / 1e6;
        f.blockMs = monitor.worstMs();
        f.counts = receiver.counts;
        return f;
    };

    std::printf(
        "readings  operation    handed-over-to-drawn  longest-GUI-block  (call)  points/trace\n");
    const QList<int> sizes =
        argc > 1 ? QList<int>{QString(argv[1]).toInt()} : QList<int>{10000, 50000, 100000};
    for (int n : sizes) {
        for (int s = 0; s < sources.size(); ++s)
            sources[s]->setVertices(stepVertices(n, s));
        const Figures full = measure("fullReplot");
        std::printf("%8d  full re-plot %17.0f ms %15.0f ms %6.0f ms  %s\n", n, full.drawnMs,
                    full.blockMs, full.callMs, qPrintable(full.counts));
        std::fflush(stdout);

        const QString token = QStringLiteral("a%1").arg(++tokenNumber);
        waitUntil([] { return false; }, 200);
        QMetaObject::invokeMethod(root, "plotlyAlone", Q_ARG(QVariant, n), Q_ARG(QVariant, token));
        waitUntil([&] { return receiver.token == token; }, 120000);
        std::printf("%8d  Plotly alone %17s ms  (the same traces made in the page as ISO text)\n",
                    n, qPrintable(receiver.counts));
        std::fflush(stdout);

        QList<Figures> ticks;
        for (int tick = 1; tick <= 3; ++tick) {
            for (int s = 0; s < sources.size(); ++s)
                sources[s]->setVertices(stepVertices(n + tick, s));
            ticks.append(measure("liveTick"));
        }
        const Figures worst =
            *std::max_element(ticks.begin(), ticks.end(), [](const Figures &a, const Figures &b) {
                return a.blockMs < b.blockMs;
            });
        std::printf("%8d  live tick    %17.0f ms %15.0f ms %6.0f ms  %s  (worst of 3)\n", n,
                    worst.drawnMs, worst.blockMs, worst.callMs, qPrintable(worst.counts));
        std::fflush(stdout);
    }
    return 0;
}

#include "main.moc"
