// Walks the program through its main states against the simulated instrument
// and the local test web service and writes a picture of each into a folder.
//   qv-screenshots --out <folder> [--scenario <instrument.json>]
// Needs a real display (for example Xvfb) and the stand-in hidapi first on
// the library path.
#include "e2eapp.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QImage>
#include <QJsonDocument>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <cstdio>

using namespace E2e;

namespace {

QJsonObject defaultInstrument()
{
    QJsonArray records;
    // An hour of readings that rise and fall, a minute apart.
    for (int i = 0; i < 60; ++i)
        records.append(QJsonArray{i == 0 ? 0 : 60, 60 + (i * 37) % 120, 40 + (i * 23) % 140});
    QJsonObject older{{"type", "field"}, {"start", "2026-03-01T09:00:00Z"}, {"records", records}};
    return instrument({older, audioSession("2026-03-01T11:00:00Z", 16000),
                       fieldSession("2026-03-02T08:00:00Z", 20)});
}

class Shooter
{
public:
    Shooter(App &app, const QString &folder) : m_app(app), m_folder(folder) {}

    bool shoot(const QString &name, int settleMs = 800)
    {
        QTest::qWait(settleMs);
        const QImage image = m_app.window()->grabWindow();
        const QString path = QDir(m_folder).filePath(name + QStringLiteral(".png"));
        const bool ok = !image.isNull() && image.save(path);
        std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
        m_failures += ok ? 0 : 1;
        return ok;
    }
    bool step(bool ok, const char *what)
    {
        if (!ok) {
            std::fprintf(stderr, "step failed: %s (page %s)\n", what, qPrintable(m_app.topPage()));
            ++m_failures;
        }
        return ok;
    }
    int failures() const { return m_failures; }

private:
    App &m_app;
    QString m_folder;
    int m_failures = 0;
};

// The first row of the session list whose entry is of the given class.
int rowOf(App &app, const char *className, int from = 0)
{
    QObject *device = app.object(QStringLiteral("device"));
    const QVariantList entries = device ? device->property("dataEntries").toList() : QVariantList();
    for (int i = from; i < entries.size(); ++i) {
        QObject *entry = entries.at(i).value<QObject *>();
        if (entry && QByteArray(entry->metaObject()->className()).contains(className))
            return i;
    }
    return -1;
}

bool waitFor(const std::function<bool()> &condition, int ms = 15000)
{
    return QTest::qWaitFor(condition, ms);
}

} // namespace

int main(int argc, char *argv[])
{
    Startup::prepareEnvironment();
    QtWebEngineQuick::initialize();
    QApplication application(argc, argv);

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"out", "Folder for the pictures.", "folder"});
    parser.addOption({"scenario", "Instrument scenario (JSON).", "file"});
    parser.process(application);
    const QString folder = parser.value("out");
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        std::fprintf(stderr, "--out <folder> is needed\n");
        return 2;
    }
    QJsonObject scenario = defaultInstrument();
    if (parser.isSet("scenario")) {
        QFile file(parser.value("scenario"));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
            return 2;
        }
        scenario = QJsonDocument::fromJson(file.readAll()).object();
    }

    App app;
    app.service().setVersion(QStringLiteral("99.0.0"));
    app.service().setInstallerPacing(2048, 300);
    const QString loaded = app.plugIn(scenario, false);
    if (!loaded.isEmpty()) {
        std::fprintf(stderr, "scenario: %s\n", qPrintable(loaded));
        return 2;
    }
    Shooter shots(app, folder);
    if (!shots.step(app.start(), "start"))
        return 1;
    app.window()->resize(1280, 800);

    // No configuration: the consent question over the not-connected page.
    if (shots.step(waitFor([&] { return app.questions().size() == 1; }), "consent question"))
        shots.shoot(QStringLiteral("consent-dialog"));
    shots.step(app.clickIn(app.questions().value(0), QStringLiteral("yesButton")), "yes");
    shots.step(waitFor([&] {
                   return app.text(QStringLiteral("appInfoLabel")) ==
                          QLatin1String("Update available");
               }),
               "update announced");
    waitFor([&] { return app.banner().isEmpty(); }, 8000);
    shots.shoot(QStringLiteral("not-connected"));

    app.simulator().replug();
    shots.step(waitFor([&] { return app.topPage() == QLatin1String("Data"); }), "data screen");
    shots.step(waitFor([&] { return app.secondBanner().isEmpty() && rowOf(app, "Field") >= 0; }),
               "headers");
    waitFor([&] { return app.banner().isEmpty(); }, 8000);
    shots.shoot(QStringLiteral("data-no-selection"), 1500);

    // An older field session with the six-minute average and its note.
    const int field = rowOf(app, "Field", 1);
    if (shots.step(field > 0 && app.clickRow(field), "field session")) {
        shots.step(waitFor([&] { return app.traceNames().size() == 1; }), "plot");
        shots.step(app.click(QStringLiteral("sixMinSwitch")), "six-minute switch");
        shots.step(
            waitFor([&] { return app.traceNames().size() == 2 && app.noteTexts().size() == 1; }),
            "two traces");
        shots.shoot(QStringLiteral("field-session"), 2500);
    }

    const int audio = rowOf(app, "Audio");
    if (shots.step(audio >= 0 && app.clickRow(audio), "audio session")) {
        shots.step(
            waitFor([&] { return !app.visible(QStringLiteral("audioLoadingBlock")); }, 30000),
            "audio loaded");
        if (!app.object(QStringLiteral("player"))->property("isAvailable").toBool())
            std::fprintf(stderr, "note: no audio output, the play button stays hidden\n");
        shots.shoot(QStringLiteral("audio-session"));
    }

    // The device information at the foot of the side panel.
    if (QQuickItem *panel = app.item(QStringLiteral("panelFlickable"))) {
        const qreal end = panel->property("contentHeight").toReal() - panel->height();
        panel->setProperty("contentY", qMax<qreal>(0, end));
    }
    shots.shoot(QStringLiteral("device-information"));

    if (shots.step(app.click(QStringLiteral("clearMemoryButton")), "clear memory")) {
        shots.step(waitFor([&] { return app.topPage() == QLatin1String("ClearDevice"); }),
                   "clear-device page");
        shots.shoot(QStringLiteral("clear-device"));
        app.clickIn(app.item(QStringLiteral("clearDevicePage")), QStringLiteral("cancelButton"));
        waitFor([&] { return app.topPage() == QLatin1String("Data"); });
    }

    if (shots.step(app.click(QStringLiteral("appVersionMouseArea")), "application information")) {
        shots.step(waitFor([&] { return app.topPage() == QLatin1String("AppInfo"); }),
                   "information page");
        shots.shoot(QStringLiteral("app-info-update"));
        QTemporaryDir downloads;
        shots.step(app.click(QStringLiteral("updateButton")), "update");
        shots.step(app.choose(downloads.filePath(QStringLiteral("installer.exe"))),
                   "download target");
        QObject *progress = app.object(QStringLiteral("progressDialog"));
        shots.step(
            waitFor([&] { return progress->property("progressValue").toReal() >= 20; }, 30000),
            "progress");
        shots.shoot(QStringLiteral("progress-dialog"), 200);
        app.clickIn(progress, QStringLiteral("cancelButton"));
        waitFor([&] { return !progress->property("visible").toBool(); });
    }

    app.forget();
    std::fprintf(stdout, "%d failure(s)\n", shots.failures());
    return shots.failures() == 0 ? 0 : 1;
}
