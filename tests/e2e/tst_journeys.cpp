// The user's journeys through the whole program, each step checked by what a
// user sees or gets: pages, banners, dialogs, files, the clipboard, the
// requests the web service received and the stored configuration.
#include "e2eapp.h"

#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QPointer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTimer>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <csignal>

using namespace E2e;

namespace {

const QString Heading = QStringLiteral(
    "# Timestamp,Exposure [Occ %],EField [Occ %],HField [Occ %],Alarm State,6min Avg,30min Avg");

// The visible texts below an item, top to bottom.
QStringList textsBelow(QQuickItem *root)
{
    QList<QPair<qreal, QString>> found;
    std::function<void(QQuickItem *)> walk = [&](QQuickItem *item) {
        if (!item->isVisible())
            return;
        if (QByteArray(item->metaObject()->className()).startsWith("QQuickText") &&
            !item->property("text").toString().isEmpty())
            found.append({item->mapToScene(QPointF()).y(), item->property("text").toString()});
        for (QQuickItem *child : item->childItems())
            walk(child);
    };
    if (root)
        walk(root);
    std::stable_sort(found.begin(), found.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList texts;
    for (const auto &entry : found)
        texts.append(entry.second);
    return texts;
}

// Two tables with the same rows and the same values, whatever their number
// formatting.
bool sameTable(const QString &a, const QString &b, QChar separator)
{
    const QStringList rowsA = a.trimmed().split('\n');
    const QStringList rowsB = b.trimmed().split('\n');
    if (rowsA.size() != rowsB.size()) {
        qWarning() << "rows:" << rowsA.size() << rowsB.size();
        return false;
    }
    for (int i = 0; i < rowsA.size(); ++i) {
        const QStringList cellsA = rowsA.at(i).trimmed().split(separator);
        const QStringList cellsB = rowsB.at(i).trimmed().split(separator);
        if (cellsA.size() != cellsB.size())
            return false;
        for (int c = 0; c < cellsA.size(); ++c) {
            bool numberA = false;
            bool numberB = false;
            const double x = cellsA.at(c).toDouble(&numberA);
            const double y = cellsB.at(c).toDouble(&numberB);
            const bool same =
                numberA && numberB ? qAbs(x - y) < 1e-3 : cellsA.at(c) == cellsB.at(c);
            if (!same) {
                qWarning() << "row" << i << "differs:" << rowsA.at(i) << rowsB.at(i);
                return false;
            }
        }
    }
    return true;
}

int lines(const QByteArray &text)
{
    return QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts).size();
}

// The saves waiting on the data screen, once there are count or after 2 s.
int queuedSaves(App &app, int count)
{
    QObject *page = app.object(QStringLiteral("dataPage"));
    const auto waiting = [page] {
        return ShellTest::evaluate(page, QStringLiteral("queuedSaves.length")).toInt();
    };
    ShellTest::waitFor([&] { return waiting() == count; }, 2000);
    return waiting();
}

} // namespace

#define REQUIRE(condition)                                                                         \
    do {                                                                                           \
        if (!(condition))                                                                          \
            QFAIL(#condition);                                                                     \
    } while (false)

#define PLUG_IN(app, ...) QCOMPARE((app).plugIn(__VA_ARGS__), QString())

class Journeys : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstStartAnsweredNo();
    void firstStartAnsweredYes();
    void pluggingInShowsTheDataScreen();
    void sessionListAndFieldPlot();
    void liveSessionGrowsWhileShown();
    void copiesAndSaves();
    void savesThroughTheDialog_data();
    void savesThroughTheDialog();
    void bulkExports();
    void audioPlayback();
    void clearMemoryAndReboot();
    void applicationInformation();
    void updateDownloads_data();
    void updateDownloads();
    void unplugDuringHeaderWalkAndLoad();
    void unplugWithPagesOpen();
    void unplugDuringBulkExport();
    void closingWhileExporting_data();
    void closingWhileExporting();

private:
    // The data screen with the headers in, consent given or refused.
    void openDataScreen(App &app, const QJsonArray &sessions, bool consent = false);
    // A CSV save to path from an instrument sending a frame each frameMs;
    // during runs inside the save's wait for its session's reload.
    void saveSlowly(App &app, const QString &path, int frameMs,
                    const std::function<void()> &during);
};

void Journeys::initTestCase()
{
    QVERIFY2(qEnvironmentVariable("LD_LIBRARY_PATH").contains(QLatin1String("standin-hidapi")),
             "the stand-in hidapi must be on LD_LIBRARY_PATH");
    QCOMPARE(qEnvironmentVariable("TZ"), QStringLiteral("Europe/Berlin"));
}

void Journeys::openDataScreen(App &app, const QJsonArray &sessions, bool consent)
{
    PLUG_IN(app, instrument(sessions));
    QVERIFY(app.consentGiven(consent));
    QVERIFY(app.start());
    QTRY_COMPARE_WITH_TIMEOUT(app.topPage(), QStringLiteral("Data"), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(app.secondBanner().isEmpty(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(app.item(QStringLiteral("sessionRow%1").arg(sessions.size() - 1)),
                             10000);
}

void Journeys::firstStartAnsweredNo()
{
    App app;
    PLUG_IN(app, instrument({}, false), false);
    QVERIFY(app.start());
    QTRY_COMPARE(app.questions().size(), 1);
    QObject *question = app.questions().first();
    QVERIFY(question->property("message").toString().startsWith(
        "Would you like the app to automatically check:"));
    QVERIFY(app.clickIn(question, QStringLiteral("noButton")));
    QTRY_COMPARE(app.questions().size(), 0);
    QTRY_COMPARE(app.config().value("firstTimeRun"), QJsonValue(false));
    QCOMPARE(app.config().value("optInForAutoCalCheck"), QJsonValue(false));
    QTest::qWait(500);
    QCOMPARE(app.service().requestCount(), 0);
    QCOMPARE(app.text(QStringLiteral("appInfoLabel")), QStringLiteral("App Info"));

    // The answer holds on the next start: nothing is asked, nothing sent.
    app.forget();
    QVERIFY(app.start());
    QTest::qWait(500);
    QCOMPARE(app.questions().size(), 0);
    QCOMPARE(app.service().requestCount(), 0);
}

void Journeys::firstStartAnsweredYes()
{
    App app;
    app.service().setVersion(QStringLiteral("99.0.0"));
    PLUG_IN(app, instrument({}, false), false);
    QVERIFY(app.start());
    QTRY_COMPARE(app.questions().size(), 1);
    QCOMPARE(app.service().requestCount(), 0);
    QVERIFY(app.clickIn(app.questions().first(), QStringLiteral("yesButton")));
    QTRY_COMPARE(app.requestsTo("/installer/version"), 1);
    QTRY_COMPARE(app.banner(), QStringLiteral("Software update available"));
    QTRY_COMPARE(app.text(QStringLiteral("appInfoLabel")), QStringLiteral("Update available"));
    QCOMPARE(app.config().value("optInForAutoCalCheck"), QJsonValue(true));
    QCOMPARE(app.config().value("firstTimeRun"), QJsonValue(false));
}

void Journeys::saveSlowly(App &app, const QString &path, int frameMs,
                          const std::function<void()> &during)
{
    StandInHid::instance().setFrameMs(frameMs);
    QTimer::singleShot(50, app.window(), [&app, during] {
        QObject *exporter = app.object(QStringLiteral("fileExport"));
        ShellTest::waitFor([exporter] { return exporter->property("isBusy").toBool(); }, 5000);
        during();
    });
    QVERIFY(app.click(QStringLiteral("saveCsvButton")));
    QVERIFY(app.choose(path));
}

void Journeys::pluggingInShowsTheDataScreen()
{
    App app;
    QJsonArray sessions;
    for (int i = 0; i < 12; ++i)
        sessions.append(
            fieldSession(QStringLiteral("2026-03-01T%1:00:00Z").arg(i + 8, 2, 10, QChar('0')), 3));
    PLUG_IN(app, instrument(sessions), false);
    QVERIFY(app.consentGiven(true));
    QVERIFY(app.start());
    QTRY_COMPARE(app.topPage(), QStringLiteral("NotConnected"));
    QCOMPARE(app.text(QStringLiteral("textTitle")), QStringLiteral("Not Connected"));
    QCOMPARE(app.text(QStringLiteral("textDescription")),
             QStringLiteral("Please connect a quorvANTIS device to your computer."));
    QTRY_COMPARE(app.requestsTo("/installer/version"), 1);
    QCOMPARE(app.requestsTo("/get_calibration"), 0);

    // A slow bus keeps the header walk long enough to be seen.
    StandInHid::instance().setFrameMs(20);
    app.simulator().replug();
    QTRY_COMPARE_WITH_TIMEOUT(app.secondBanner(), QStringLiteral("Loading headers"), 15000);
    QTRY_COMPARE(app.topPage(), QStringLiteral("Data"));
    QTRY_VERIFY_WITH_TIMEOUT(app.secondBanner().isEmpty(), 30000);
    QTRY_VERIFY(app.item(QStringLiteral("sessionRow11")));
    StandInHid::instance().setFrameMs(0);

    QTRY_COMPARE(app.requestsTo("/get_calibration"), 1);
    QCOMPARE(app.lastRequestQuery("/get_calibration"), QStringLiteral("barcode=123456"));
    QTRY_COMPARE(app.text(QStringLiteral("calDateText")), QStringLiteral("May 2027"));
    QCOMPARE(app.text(QStringLiteral("barcodeText")), QStringLiteral("0123456"));
}

void Journeys::sessionListAndFieldPlot()
{
    App app;
    // Two days; the newest field session is the live one.
    openDataScreen(app, {fieldSession("2026-03-01T10:00:00Z", 1),
                         fieldSession("2026-03-01T12:00:00Z", 40),
                         fieldSession("2026-03-02T09:00:00Z", 5)});
    const QStringList texts = textsBelow(app.item(QStringLiteral("sessionList")));
    const int current = texts.indexOf(QStringLiteral("Current"));
    const int older = texts.indexOf(QStringLiteral("01-03-2026"));
    QVERIFY2(current >= 0 && older > current, qPrintable(texts.join('|')));
    QVERIFY(texts.contains(QStringLiteral("02-03-2026")));
    QVERIFY(texts.contains(QStringLiteral("13:00")) && texts.contains(QStringLiteral("11:00")));
    QVERIFY(app.visible(QStringLiteral("dataNothing")));

    // The older field session: drawn with the exposure trace alone.
    QVERIFY(app.clickRow(1));
    QTRY_VERIFY(app.visible(QStringLiteral("dataField")));
    QTRY_COMPARE_WITH_TIMEOUT(app.vertices().size(), 2 * 39, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(app.traceNames().size(), 1, 10000);
    // The plot's page must be up before it can show the no-data note below.
    QTRY_COMPARE_WITH_TIMEOUT(app.pageValue("typeof Plotly").toString(), QStringLiteral("object"),
                              30000);

    // Each switch adds its trace and takes it away again.
    const QStringList switches{"eFieldSwitch", "hFieldSwitch", "sixMinSwitch", "thirtyMinSwitch"};
    for (const QString &name : switches) {
        const int before = app.traceNames().size();
        QVERIFY(app.click(name));
        QTRY_COMPARE_WITH_TIMEOUT(app.traceNames().size(), before + 1, 5000);
    }
    const QStringList allTraces = app.traceNames();
    QCOMPARE(QSet<QString>(allTraces.begin(), allTraces.end()).size(), 5);
    QCOMPARE(app.noteTexts().size(), 2);
    for (const QString &name : switches) {
        const int before = app.traceNames().size();
        QVERIFY(app.click(name));
        QTRY_COMPARE_WITH_TIMEOUT(app.traceNames().size(), before - 1, 5000);
    }
    QCOMPARE(app.noteTexts().size(), 0);
    // The combined switch takes the exposure trace (and its notes) away.
    QVERIFY(app.click(QStringLiteral("combinedSwitch")));
    QTRY_COMPARE_WITH_TIMEOUT(app.traceNames().size(), 0, 5000);
    QVERIFY(app.click(QStringLiteral("combinedSwitch")));
    QTRY_COMPARE_WITH_TIMEOUT(app.traceNames().size(), 1, 5000);
    QVERIFY(app.click(QStringLiteral("sixMinSwitch")));
    QTRY_COMPARE_WITH_TIMEOUT(app.traceNames().size(), 2, 5000);
    QCOMPARE(app.noteTexts().size(), 1);

    // One reading is no plot.
    QVERIFY(app.clickRow(2));
    QTRY_VERIFY_WITH_TIMEOUT(app.object(QStringLiteral("presenter"))
                                 ->property("fieldDataEntry")
                                 .value<QObject *>()
                                 ->property("loaded")
                                 .toBool(),
                             10000);
    QTRY_COMPARE_WITH_TIMEOUT(
        app.pageValue("getComputedStyle(document.getElementById('noData')).display").toString(),
        QStringLiteral("block"), 10000);
    QCOMPARE(app.pageValue("document.getElementById('noData').textContent").toString(),
             QStringLiteral("No data in this data block"));
    QVERIFY(!app.enabled(QStringLiteral("copyCsvButton")));
    QVERIFY(!app.enabled(QStringLiteral("saveImgButton")));
}

void Journeys::liveSessionGrowsWhileShown()
{
    App app;
    openDataScreen(
        app, {fieldSession("2026-03-01T10:00:00Z", 4), fieldSession("2026-03-02T10:00:00Z", 3)});
    app.instrumentModel().setLiveClockRunning(true);
    QVERIFY(app.clickRow(0));
    QTRY_VERIFY_WITH_TIMEOUT(app.vertices().size() >= 4, 10000);
    const int first = app.vertices().size();
    QTRY_VERIFY_WITH_TIMEOUT(app.vertices().size() >= first + 4, 8000);
    QVERIFY(app.object(QStringLiteral("liveReloadTimer"))->property("running").toBool());

    // Another session: the reloads stop and its plot stays as it is.
    QVERIFY(app.clickRow(1));
    QTRY_COMPARE_WITH_TIMEOUT(app.vertices().size(), 6, 10000);
    QVERIFY(!app.object(QStringLiteral("liveReloadTimer"))->property("running").toBool());
    const int readsBefore = app.simulator().requestCount(7);
    QTest::qWait(2500);
    QCOMPARE(app.vertices().size(), 6);
    // Only the odd status poll may reach the instrument, no session reload.
    QVERIFY2(app.simulator().requestCount(7) - readsBefore < 3,
             qPrintable(QString::number(app.simulator().requestCount(7) - readsBefore)));
}

void Journeys::copiesAndSaves()
{
    App app;
    const int readings = 6;
    openDataScreen(app, {fieldSession("2026-03-01T10:00:00Z", readings),
                         audioSession("2026-03-01T11:00:00Z", 800),
                         fieldSession("2026-03-02T10:00:00Z", 3)});
    QVERIFY(app.clickRow(2));
    QTRY_VERIFY_WITH_TIMEOUT(app.enabled(QStringLiteral("copyCsvButton")), 10000);

    QGuiApplication::clipboard()->clear();
    QVERIFY(app.click(QStringLiteral("copyCsvButton")));
    QTRY_VERIFY_WITH_TIMEOUT(!QGuiApplication::clipboard()->text().isEmpty(), 5000);
    const QString csvCopy = QGuiApplication::clipboard()->text();
    QCOMPARE(csvCopy.split('\n').first().trimmed(), Heading);
    // A row per reading and a step row before every one but the first.
    QCOMPARE(csvCopy.split('\n', Qt::SkipEmptyParts).size(), 1 + 2 * readings - 1);
    QTRY_COMPARE(app.banner(), QStringLiteral("Copied to clipboard"));

    QGuiApplication::clipboard()->clear();
    QVERIFY(app.click(QStringLiteral("copyTsvButton")));
    QTRY_VERIFY_WITH_TIMEOUT(!QGuiApplication::clipboard()->text().isEmpty(), 5000);
    const QString tsvCopy = QGuiApplication::clipboard()->text();
    QCOMPARE(tsvCopy, QString(csvCopy).replace(',', '\t'));

    // Saved files hold what the copies held.
    const QString csv = QDir(app.files()).filePath("session one.csv");
    QVERIFY(app.click(QStringLiteral("saveCsvButton")));
    QVERIFY(app.choose(csv));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(csv), 10000);
    QTRY_COMPARE(app.banner(), QStringLiteral("File saved"));
    QVERIFY(sameTable(QString::fromUtf8(app.readFile(csv)), csvCopy, ','));

    const QString tsv = QDir(app.files()).filePath("session one.tsv");
    QVERIFY(app.click(QStringLiteral("saveTsvButton")));
    // A new dialog: no name left from the last one to type after.
    QCOMPARE(FileDialogs::shownName(), QString());
    QVERIFY(app.choose(tsv));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(tsv), 10000);
    QVERIFY(sameTable(QString::fromUtf8(app.readFile(tsv)), tsvCopy, '\t'));

    QTRY_COMPARE_WITH_TIMEOUT(app.pageValue("typeof Plotly").toString(), QStringLiteral("object"),
                              30000);
    for (const char *suffix : {"png", "svg"}) {
        const QString image = QDir(app.files()).filePath(QStringLiteral("plot.") + suffix);
        QVERIFY(app.click(QStringLiteral("saveImgButton")));
        QVERIFY(app.choose(image));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(image) && QFileInfo(image).size() > 0, 30000);
        QTRY_COMPARE(app.banner(), QStringLiteral("Image saved"));
        const QByteArray content = app.readFile(image);
        if (QByteArray(suffix) == "png")
            QVERIFY(content.startsWith("\x89PNG"));
        else
            QVERIFY(content.contains("<svg"));
        // A banner shown during another's display only gets the rest of it.
        QTRY_VERIFY_WITH_TIMEOUT(app.banner().isEmpty(), 10000);
    }

    // A Save IMG answered while a CSV save waits for its session's reload,
    // then Copy IMG: both served after it, in the order asked.
    QGuiApplication::clipboard()->clear();
    const QString image = QDir(app.files()).filePath(QStringLiteral("then copied.png"));
    int queued = -1;
    saveSlowly(app, QDir(app.files()).filePath(QStringLiteral("first.csv")), 500, [&] {
        app.click(QStringLiteral("saveImgButton"));
        app.choose(image);
        queuedSaves(app, 1);
        app.click(QStringLiteral("copyImgButton"));
        queued = queuedSaves(app, 2);
    });
    QTRY_VERIFY_WITH_TIMEOUT(!QGuiApplication::clipboard()->image().isNull(), 60000);
    StandInHid::instance().setFrameMs(0);
    QCOMPARE(queued, 2);
    QVERIFY(app.readFile(image).startsWith("\x89PNG"));
    QTRY_COMPARE(app.banner(), QStringLiteral("Image copied to clipboard"));
    QTRY_VERIFY_WITH_TIMEOUT(app.banner().isEmpty(), 10000);

    // The plot's renderer ends during Copy IMG: the copy ends in its error and
    // the CSV save asked behind it is written.
    const QString behind = QDir(app.files()).filePath(QStringLiteral("behind.csv"));
    QVERIFY(app.click(QStringLiteral("copyImgButton")));
    QVERIFY(app.click(QStringLiteral("saveCsvButton")));
    QVERIFY(app.choose(behind));
    QCOMPARE(queuedSaves(app, 1), 1);
    const int pid = app.object(QStringLiteral("webView"))->property("renderProcessPid").toInt();
    QVERIFY(pid > 0 && ::kill(pid, SIGKILL) == 0); // 0 would be our own group
    QTRY_COMPARE_WITH_TIMEOUT(app.banner(),
                              QStringLiteral("Error saving image: The plot's page "
                                             "stopped before the image was ready."),
                              10000);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(behind), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(app.banner().isEmpty(), 15000);

    // The audio session as a wave file: 8-bit samples as recorded.
    QVERIFY(app.clickRow(1));
    QTRY_VERIFY_WITH_TIMEOUT(app.enabled(QStringLiteral("exportWavButton")), 10000);
    const QString wav = QDir(app.files()).filePath("voice.wav");
    QVERIFY(app.click(QStringLiteral("exportWavButton")));
    QVERIFY(app.choose(wav));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(wav), 10000);
    const QByteArray wave = app.readFile(wav);
    QVERIFY(wave.startsWith("RIFF") && wave.mid(8, 4) == "WAVE");
    QVERIFY(wave.size() >= 44 + 800);

    QTRY_COMPARE_WITH_TIMEOUT(app.banner(), QStringLiteral("File saved"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(app.banner().isEmpty(), 10000);

    // An unwritable target: the one error banner, no file.
    QFile blocker(QDir(app.files()).filePath("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString bad = QDir(app.files()).filePath("blocker/x.wav");
    QVERIFY(app.click(QStringLiteral("exportWavButton")));
    QVERIFY(app.choose(bad));
    QTRY_COMPARE_WITH_TIMEOUT(app.banner(), QStringLiteral("Error saving file"), 10000);
    QTest::qWait(500);
    QCOMPARE(app.banner(), QStringLiteral("Error saving file"));
    QVERIFY(!QFile::exists(bad));
}

void Journeys::savesThroughTheDialog_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<int>("session");
    // Typed into the dialog's name field, then Enter (%1: the folder of the
    // test's files); empty: the existing file is picked from its list.
    QTest::addColumn<QString>("typed");
    // A file there before, which the question must name; the answer to it.
    QTest::addColumn<QString>("existing");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QString>("written");
    QTest::newRow("CSV, a new name") << "saveCsvButton"
                                     << "dataDownloadFileDialog" << 2 << "session 1"
                                     << "" << false << "session 1.csv";
    QTest::newRow("CSV, a full path into another folder")
        << "saveCsvButton"
        << "dataDownloadFileDialog" << 2 << "%1/other/y.csv"
        << "" << false << "other/y.csv";
    QTest::newRow("WAV, a new name") << "exportWavButton"
                                     << "audioDownloadFileDialog" << 1 << "voice#1"
                                     << "" << false << "voice#1.wav";
    // The name asked about is the one the wave file gets.
    QTest::newRow("WAV over another file, declined")
        << "exportWavButton"
        << "audioDownloadFileDialog" << 1 << "take.part2"
        << "take.wav" << false << "";
    QTest::newRow("PNG over a dotted name, confirmed")
        << "saveImgButton"
        << "imageDownloadFileDialog" << 2 << "plot.v2"
        << "plot.v2.png" << true << "plot.v2.png";
    QTest::newRow("CSV over a file picked in the list, confirmed")
        << "saveCsvButton"
        << "dataDownloadFileDialog" << 2 << ""
        << "older.csv" << true << "older.csv";
}

// The dialog Qt shows here, driven as the user does.
void Journeys::savesThroughTheDialog()
{
    QFETCH(QString, button);
    QFETCH(QString, dialog);
    QFETCH(int, session);
    QFETCH(QString, typed);
    QFETCH(QString, existing);
    QFETCH(bool, replace);
    QFETCH(QString, written);
    App app;
    openDataScreen(app, {fieldSession("2026-03-01T10:00:00Z", 6),
                         audioSession("2026-03-01T11:00:00Z", 800),
                         fieldSession("2026-03-02T10:00:00Z", 3)});
    const QDir files(app.files());
    QVERIFY(files.mkdir("other"));
    const QByteArray before = "another session\n";
    QFile old(files.filePath(existing));
    QVERIFY(existing.isEmpty() || (old.open(QIODevice::WriteOnly) && old.write(before) > 0));
    old.close();
    QVERIFY(app.clickRow(session));
    QTRY_VERIFY_WITH_TIMEOUT(app.enabled(button), 10000);
    if (button == QLatin1String("saveImgButton"))
        QTRY_COMPARE_WITH_TIMEOUT(app.pageValue("typeof Plotly").toString(),
                                  QStringLiteral("object"), 30000);
    QVERIFY(app.object(dialog)->setProperty("folder", QUrl::fromLocalFile(app.files())));

    QVERIFY(app.click(button));
    if (typed.isEmpty())
        QVERIFY(FileDialogs::click(existing) && FileDialogs::press(QStringLiteral("Save")));
    else
        QVERIFY(app.choose(QString(typed).replace("%1", app.files())));
    if (!existing.isEmpty()) {
        QObject *question = ShellTest::findByName(app.object(dialog), "replaceQuestion");
        QTRY_VERIFY(question->property("visible").toBool());
        QVERIFY(question->property("message").toString().startsWith(existing + " already"));
        QVERIFY(app.clickIn(question, replace ? "yesButton" : "noButton"));
    }
    const auto filesBelow = [&files] {
        QStringList found;
        for (QDirIterator it(files.path(), QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();)
            found << files.relativeFilePath(it.next());
        return found;
    };
    if (written.isEmpty()) {
        // Back in the dialog, with the name asked about to edit.
        QTRY_COMPARE(FileDialogs::shownName(), existing);
        QVERIFY(FileDialogs::press(QStringLiteral("Cancel")));
        QTest::qWait(1500);
        QCOMPARE(app.readFile(files.filePath(existing)), before);
        QCOMPARE(filesBelow(), QStringList{existing});
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(app.readFile(files.filePath(written)).size() > 100, 30000);
    QCOMPARE(filesBelow(), QStringList{written});
    const QByteArray starts = written.endsWith(QLatin1String(".csv"))   ? Heading.toUtf8()
                              : written.endsWith(QLatin1String(".wav")) ? "RIFF"
                                                                        : "\x89PNG";
    QVERIFY(app.readFile(files.filePath(written)).startsWith(starts));
}

void Journeys::bulkExports()
{
    App app;
    const QJsonArray sessions{
        fieldSession("2026-03-01T10:00:00Z", 3), audioSession("2026-03-01T11:00:00Z", 100),
        fieldSession("2026-03-01T12:00:00Z", 4), fieldSession("2026-03-02T10:00:00Z", 2)};
    openDataScreen(app, sessions);
    QStringList fieldNames;
    for (const auto &value : sessions)
        if (value.toObject().value("type") == "field")
            fieldNames << localStamp(value.toObject().value("start").toString());
    fieldNames.sort();

    // An empty folder entered by a double-click is chosen; the next dialog
    // opens in it.
    const QString folder = QDir(app.files()).filePath("exports");
    const QString bulk = folder + "/bulk";
    QVERIFY(QDir().mkpath(bulk));
    QVERIFY(app.object(QStringLiteral("bulkDownloadFileDialog"))
                ->setProperty("folder", QUrl::fromLocalFile(folder)));
    for (const char *kind : {"csv", "tsv"}) {
        QVERIFY(app.click(
            QStringLiteral("bulk%1Button").arg(kind == QByteArray("csv") ? "Csv" : "Tsv")));
        if (kind == QByteArray("csv")) {
            QVERIFY(FileDialogs::click(QStringLiteral("bulk"), true));
            QTRY_COMPARE(FileDialogs::shown()->directory().path(), bulk);
        }
        QVERIFY(FileDialogs::press(QStringLiteral("Choose")));
        QTRY_COMPARE_WITH_TIMEOUT(app.banner(), QStringLiteral("Saved to folder"), 30000);
        QCOMPARE(app.topPage(), QStringLiteral("Data"));
        QStringList expected;
        for (const QString &stamp : fieldNames)
            expected << stamp + "_data." + kind;
        QCOMPARE(QDir(bulk).entryList({QStringLiteral("*.") + kind}, QDir::Files, QDir::Name),
                 expected);
        for (const QString &name : expected)
            QCOMPARE(app.readFile(bulk + '/' + name).split('\n').first().trimmed(),
                     kind == QByteArray("csv") ? Heading.toUtf8()
                                               : QString(Heading).replace(',', '\t').toUtf8());
        QTRY_VERIFY_WITH_TIMEOUT(app.banner().isEmpty(), 10000);
    }
    QVERIFY(app.click(QStringLiteral("bulkAudioButton")));
    QVERIFY(app.choose(folder));
    QTRY_COMPARE_WITH_TIMEOUT(app.banner(), QStringLiteral("Saved to folder"), 30000);
    QCOMPARE(QDir(folder).entryList(QDir::Files),
             QStringList{localStamp("2026-03-01T11:00:00Z") + "_voice.wav"});
    QCOMPARE(QDir(bulk).entryList(QDir::Files).size(), 2 * 3);
}

void Journeys::audioPlayback()
{
    App app;
    openDataScreen(
        app, {audioSession("2026-03-01T11:00:00Z", 4000), fieldSession("2026-03-02T10:00:00Z", 3)});
    QVERIFY(app.clickRow(1));
    QTRY_VERIFY(app.visible(QStringLiteral("dataAudio")));
    QTRY_VERIFY_WITH_TIMEOUT(!app.visible(QStringLiteral("audioLoadingBlock")), 10000);
    QObject *player = app.object(QStringLiteral("player"));
    QVERIFY(player);
    const QString soundServer = qEnvironmentVariable("QV_SOUND_SERVER_DIR");
    if (soundServer.isEmpty()) {
        // No audio output: no play control, the rest of the page works on.
        QVERIFY(!player->property("isAvailable").toBool());
        QTest::qWait(500);
        QVERIFY(!app.visible(QStringLiteral("audioPlayBlock")));
        QVERIFY(!app.visible(QStringLiteral("audioStopBlock")));
        QVERIFY(app.enabled(QStringLiteral("exportWavButton")));
        QVERIFY(app.clickRow(0));
        QTRY_VERIFY(app.visible(QStringLiteral("dataField")));
        QVERIFY(app.clickRow(1));
        QTRY_VERIFY(app.visible(QStringLiteral("dataAudio")));
        return;
    }
    if (!QFile::exists(soundServer + QStringLiteral("/ready")))
        QSKIP("the private sound server did not start");
    QTRY_VERIFY_WITH_TIMEOUT(app.visible(QStringLiteral("audioPlayBlock")), 10000);
    QVERIFY(app.click(QStringLiteral("playButton")));
    QTRY_VERIFY(app.visible(QStringLiteral("audioStopBlock")));
    QVERIFY(player->property("isPlaying").toBool());
    QVERIFY(app.visible(QStringLiteral("playingMark")));
    QVERIFY(app.click(QStringLiteral("stopButton")));
    QTRY_VERIFY(app.visible(QStringLiteral("audioPlayBlock")));
    QVERIFY(!player->property("isPlaying").toBool());
    // Choosing another session while it plays leaves no sound behind.
    QVERIFY(app.click(QStringLiteral("playButton")));
    QTRY_VERIFY(player->property("isPlaying").toBool());
    QVERIFY(app.clickRow(0));
    QTRY_VERIFY(app.visible(QStringLiteral("dataField")));
}

void Journeys::clearMemoryAndReboot()
{
    // A panel that lays itself out in more than one pass moves its buttons
    // under the pointer.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("Binding loop detected")));
    App app;
    openDataScreen(app, {fieldSession("2026-03-01T10:00:00Z", 3),
                         audioSession("2026-03-01T11:00:00Z", 100),
                         fieldSession("2026-03-02T10:00:00Z", 3)});

    // Reboot: the instrument gets the command, leaves and comes back with
    // its sessions.
    QSignalSpy left(app.object(QStringLiteral("device")), SIGNAL(disconnected()));
    QSignalSpy back(app.object(QStringLiteral("device")), SIGNAL(connected()));
    QObject *stack = app.object(QStringLiteral("viewStack"));
    const QPointer<QObject> firstPage = stack->property("currentItem").value<QObject *>();
    QVERIFY(app.click(QStringLiteral("rebootButton")));
    QTRY_COMPARE(app.banner(), QStringLiteral("Device rebooting"));
    QTRY_VERIFY(app.simulator().requestCount(8) == 1);
    QTRY_COMPARE_WITH_TIMEOUT(left.size(), 1, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(back.size(), 1, 15000);
    // The spies count on the device thread: the page of the first connection
    // may still be up, with its buttons, until the window has caught up.
    QTRY_VERIFY_WITH_TIMEOUT(!firstPage, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(app.topPage(), QStringLiteral("Data"), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(app.secondBanner().isEmpty(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(app.item(QStringLiteral("sessionRow2")), 15000);
    QTRY_VERIFY(app.enabled(QStringLiteral("clearMemoryButton")));

    // Cancel leaves everything as it was. One click: a button shown enabled
    // acts, also while the panel settles after the reconnect.
    QVERIFY(app.click(QStringLiteral("clearMemoryButton")));
    QTRY_COMPARE(app.topPage(), QStringLiteral("ClearDevice"));
    QVERIFY(
        app.clickIn(app.item(QStringLiteral("clearDevicePage")), QStringLiteral("cancelButton")));
    QTRY_COMPARE(app.topPage(), QStringLiteral("Data"));

    QVERIFY(app.click(QStringLiteral("clearMemoryButton")));
    QTRY_COMPARE(app.topPage(), QStringLiteral("ClearDevice"));
    QVERIFY(
        app.clickIn(app.item(QStringLiteral("clearDevicePage")), QStringLiteral("eraseButton")));
    QTRY_COMPARE(app.banner(), QStringLiteral("Erasing Device Memory..."));
    QTRY_VERIFY(app.simulator().requestCount(10) > 0);
    QTRY_COMPARE_WITH_TIMEOUT(left.size(), 2, 15000);
    // The window learns of the disconnect after the device thread does: the
    // old data page may come back first, the not-connected page after it.
    const auto sinceErase = [&] {
        const QStringList seen = app.pagesSeen();
        return seen.mid(seen.lastIndexOf(QStringLiteral("ClearDevice")));
    };
    QTRY_VERIFY2_WITH_TIMEOUT(sinceErase().contains(QStringLiteral("NotConnected")),
                              qPrintable(app.pagesSeen().join(' ')), 15000);
    // It comes back empty, on a data page of the new connection.
    QTRY_VERIFY_WITH_TIMEOUT(sinceErase()
                                 .mid(sinceErase().indexOf(QStringLiteral("NotConnected")))
                                 .contains(QStringLiteral("Data")),
                             15000);
    QTRY_COMPARE_WITH_TIMEOUT(app.topPage(), QStringLiteral("Data"), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(app.secondBanner().isEmpty(), 15000);
    QTRY_COMPARE(app.object(QStringLiteral("device"))->property("dataEntries").toList().size(), 0);
    QVERIFY(!app.item(QStringLiteral("sessionRow1")));
}

void Journeys::applicationInformation()
{
    App app;
    app.service().setVersion(QStringLiteral("99.0.0"));
    openDataScreen(app, {fieldSession("2026-03-02T10:00:00Z", 3)}, false);
    QTest::qWait(300);
    QCOMPARE(app.service().requestCount(), 0);
    QCOMPARE(app.text(QStringLiteral("calDateText")), QStringLiteral("Disabled"));

    QVERIFY(app.click(QStringLiteral("appVersionMouseArea")));
    QTRY_COMPARE(app.topPage(), QStringLiteral("AppInfo"));
    QCOMPARE(app.text(QStringLiteral("currentVersionText")),
             QCoreApplication::applicationVersion());
    QObject *consent = app.object(QStringLiteral("userExpSwitch"));
    QVERIFY(!consent->property("checked").toBool());

    // On: stored, the version and the calibration asked for.
    QVERIFY(app.click(QStringLiteral("userExpSwitch")));
    QTRY_VERIFY(consent->property("checked").toBool());
    QTRY_COMPARE(app.config().value("optInForAutoCalCheck"), QJsonValue(true));
    QTRY_COMPARE(app.requestsTo("/installer/version"), 1);
    QTRY_COMPARE(app.requestsTo("/get_calibration"), 1);
    QTRY_VERIFY(app.visible(QStringLiteral("updateButton")));
    QCOMPARE(app.text(QStringLiteral("latestVersionText")), QStringLiteral("99.0.0"));

    // Off: stored, nothing more sent.
    QVERIFY(app.click(QStringLiteral("userExpSwitch")));
    QTRY_VERIFY(!consent->property("checked").toBool());
    QTRY_COMPARE(app.config().value("optInForAutoCalCheck"), QJsonValue(false));
    const int sent = app.service().requestCount();
    QVERIFY(app.clickIn(app.item(QStringLiteral("appInfoPage")), QStringLiteral("backButton")));
    QTRY_COMPARE(app.topPage(), QStringLiteral("Data"));
    QCOMPARE(app.text(QStringLiteral("calDateText")), QStringLiteral("Disabled"));
    QTest::qWait(500);
    QCOMPARE(app.service().requestCount(), sent);
}

void Journeys::updateDownloads_data()
{
    QTest::addColumn<int>("hash");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<bool>("downloadsFolder");
    QTest::newRow("good digest") << int(TestWebService::HashMode::Correct) << false
                                 << "Installer download completed" << true;
    QTest::newRow("bad digest") << int(TestWebService::HashMode::Wrong) << false
                                << "Installer download failed" << true;
    QTest::newRow("cancelled") << int(TestWebService::HashMode::Correct) << true << QString()
                               << true;
    // The dialog proposes a file in the home folder instead.
    QTest::newRow("no Downloads folder") << int(TestWebService::HashMode::Correct) << false
                                         << "Installer download completed" << false;
}

void Journeys::updateDownloads()
{
    QFETCH(int, hash);
    QFETCH(bool, cancel);
    QFETCH(QString, outcome);
    QFETCH(bool, downloadsFolder);
    App app;
    const QString home = QDir(app.files()).filePath("home");
    QVERIFY(QDir().mkpath(downloadsFolder ? home + "/Downloads" : home));
    const QByteArray realHome = qgetenv("HOME");
    const auto restoreHome = qScopeGuard([&] { qputenv("HOME", realHome); });
    app.service().setVersion(QStringLiteral("99.0.0"));
    app.service().setHashMode(TestWebService::HashMode(hash));
    app.service().setInstallerPacing(8192, cancel ? 200 : 20);
    PLUG_IN(app, instrument({}, false), false);
    QVERIFY(app.consentGiven(true));
    QVERIFY(app.start());
    QTRY_COMPARE(app.text(QStringLiteral("appInfoLabel")), QStringLiteral("Update available"));
    qputenv("HOME", QFile::encodeName(home));
    QVERIFY(app.click(QStringLiteral("appVersionMouseArea")));
    QTRY_COMPARE(app.topPage(), QStringLiteral("AppInfo"));
    QVERIFY(app.visible(QStringLiteral("updateButton")));

    // The proposed name, saved as it stands.
    const QString target = (downloadsFolder ? home + "/Downloads" : home) +
                           QStringLiteral("/QuorvANTIS_installer.exe");
    QVERIFY(app.click(QStringLiteral("updateButton")));
    QCOMPARE(FileDialogs::shownName(), QStringLiteral("QuorvANTIS_installer"));
    QVERIFY(FileDialogs::press(QStringLiteral("Save")));
    QObject *progress = app.object(QStringLiteral("progressDialog"));
    QTRY_VERIFY(progress->property("visible").toBool());
    QCOMPARE(progress->property("dialogTitle").toString(), QStringLiteral("Downloading..."));
    QTRY_VERIFY_WITH_TIMEOUT(progress->property("progressValue").toReal() > 0, 10000);

    QObject *ok = app.object(QStringLiteral("okDialog"));
    if (cancel) {
        QVERIFY(app.clickIn(progress, QStringLiteral("cancelButton")));
        QTRY_VERIFY(!progress->property("visible").toBool());
        QTest::qWait(1000);
        QVERIFY(!ok->property("visible").toBool());
        QVERIFY(!QFile::exists(target));
        QCOMPARE(app.topPage(), QStringLiteral("AppInfo"));
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(ok->property("visible").toBool(), 20000);
    QTRY_VERIFY(!progress->property("visible").toBool());
    QCOMPARE(ok->property("dialogTitle").toString(), outcome);
    if (TestWebService::HashMode(hash) == TestWebService::HashMode::Correct) {
        QCOMPARE(QFileInfo(target).size(), 200 * 1024);
    } else {
        QCOMPARE(ok->property("message").toString(),
                 QStringLiteral("The download was interrupted or corrupted. Please try again."));
        QVERIFY(!QFile::exists(target));
    }
    QVERIFY(app.clickIn(ok, QStringLiteral("okButton")));
    QTRY_VERIFY(!ok->property("visible").toBool());
}

void Journeys::unplugDuringHeaderWalkAndLoad()
{
    App app;
    QJsonArray sessions;
    for (int i = 0; i < 10; ++i)
        sessions.append(fieldSession(QStringLiteral("2026-03-01T1%1:00:00Z").arg(i), 400));
    PLUG_IN(app, instrument(sessions), false);
    QVERIFY(app.consentGiven(false));
    QVERIFY(app.start());
    QTRY_COMPARE(app.topPage(), QStringLiteral("NotConnected"));

    // During the header walk.
    StandInHid::instance().setFrameMs(30);
    app.simulator().replug();
    QTRY_COMPARE_WITH_TIMEOUT(app.secondBanner(), QStringLiteral("Loading headers"), 15000);
    app.simulator().unplug();
    QTRY_COMPARE_WITH_TIMEOUT(app.topPage(), QStringLiteral("NotConnected"), 15000);
    QCOMPARE(app.depth(), 1);
    QTRY_VERIFY(app.secondBanner().isEmpty());

    // During a session's load.
    StandInHid::instance().setFrameMs(0);
    app.simulator().replug();
    QTRY_COMPARE_WITH_TIMEOUT(app.topPage(), QStringLiteral("Data"), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(app.item(QStringLiteral("sessionRow9")), 30000);
    StandInHid::instance().setFrameMs(10);
    QVERIFY(app.clickRow(5));
    QTRY_VERIFY(
        app.object(QStringLiteral("presenter"))->property("fieldDataEntry").value<QObject *>());
    QTest::qWait(100);
    app.simulator().unplug();
    QTRY_COMPARE_WITH_TIMEOUT(app.topPage(), QStringLiteral("NotConnected"), 15000);
    QCOMPARE(app.depth(), 1);
    StandInHid::instance().setFrameMs(0);

    // It comes back whole.
    app.simulator().replug();
    QTRY_COMPARE_WITH_TIMEOUT(app.topPage(), QStringLiteral("Data"), 15000);
    QVERIFY(app.clickRow(5));
    QTRY_COMPARE_WITH_TIMEOUT(app.vertices().size(), 2 * 399, 20000);
}

void Journeys::unplugWithPagesOpen()
{
    App app;
    openDataScreen(app, {fieldSession("2026-03-02T10:00:00Z", 3)});
    // Data: a folder dialog open over it.
    for (const QString &page :
         {QStringLiteral("ClearDevice"), QStringLiteral("AppInfo"), QStringLiteral("Data")}) {
        if (page == QLatin1String("ClearDevice"))
            QVERIFY(app.click(QStringLiteral("clearMemoryButton")));
        else if (page == QLatin1String("AppInfo"))
            QVERIFY(app.click(QStringLiteral("appVersionMouseArea")));
        else
            QVERIFY(app.click(QStringLiteral("bulkCsvButton")) && FileDialogs::shown());
        QTRY_COMPARE(app.topPage(), page);
        app.simulator().unplug();
        QTRY_COMPARE_WITH_TIMEOUT(app.topPage(), QStringLiteral("NotConnected"), 10000);
        QCOMPARE(app.depth(), 1);
        QVERIFY(app.visible(QStringLiteral("notConnectedPage")));
        QTRY_VERIFY(!QApplication::activeModalWidget());
        app.simulator().replug();
        QTRY_COMPARE_WITH_TIMEOUT(app.topPage(), QStringLiteral("Data"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(app.secondBanner().isEmpty(), 15000);
    }
}

void Journeys::unplugDuringBulkExport()
{
    App app;
    QJsonArray sessions;
    for (int i = 0; i < 4; ++i)
        sessions.append(fieldSession(QStringLiteral("2026-03-01T1%1:00:00Z").arg(i), 400));
    openDataScreen(app, sessions);
    StandInHid::instance().setFrameMs(4);
    const QString folder = app.files();
    QVERIFY(app.click(QStringLiteral("bulkCsvButton")));
    QVERIFY(app.choose(folder));
    // Inside the export's own loop, which starts once the dialog has gone.
    QTimer::singleShot(50, [&app] {
        if (!QTest::qWaitFor([&] { return app.topPage() == QLatin1String("SavingFiles"); }, 5000))
            return;
        QTest::qWait(150);
        app.simulator().unplug();
    });
    QTRY_COMPARE_WITH_TIMEOUT(app.topPage(), QStringLiteral("NotConnected"), 30000);
    QCOMPARE(app.depth(), 1);
    StandInHid::instance().setFrameMs(0);
    // Every file under a final name is whole: heading and all its rows.
    const QStringList written = QDir(folder).entryList(QDir::Files);
    QVERIFY(written.size() < 4);
    for (const QString &name : written) {
        if (!name.endsWith(QLatin1String(".csv")))
            continue;
        QCOMPARE(lines(app.readFile(folder + '/' + name)), 1 + 2 * 400 - 1);
    }
}

void Journeys::closingWhileExporting_data()
{
    // A bulk run, or three saves: the first waiting for its session's reload
    // from a slow instrument, two queued behind it.
    QTest::addColumn<bool>("bulk");
    // How the instrument's thread ends: the title bar's close button, the
    // window's close request; or the instrument goes: pulled out, rebooted, erased.
    QTest::addColumn<QString>("end");
    QTest::newRow("bulk run, the title bar's close") << true << "windowClose";
    QTest::newRow("three saves, the window closed") << false << "close";
    QTest::newRow("three saves, unplugged") << false << "unplug";
    QTest::newRow("three saves, rebooted") << false << "rebootButton";
    QTest::newRow("three saves, erased") << false << "eraseButton";
}

void Journeys::closingWhileExporting()
{
    QFETCH(bool, bulk);
    QFETCH(QString, end);
    App app;
    QJsonArray sessions;
    for (int i = 0; i < 4; ++i)
        sessions.append(fieldSession(QStringLiteral("2026-03-01T1%1:00:00Z").arg(i), 400));
    openDataScreen(app, sessions, true);
    QQuickWindow *window = app.window();
    const QString files = app.files();
    QSignalSpy failed(app.object(QStringLiteral("fileExport")), SIGNAL(error(QString)));
    QSignalSpy saved(app.object(QStringLiteral("fileExport")), SIGNAL(dataSaved()));
    QElapsedTimer sinceStop;
    const bool closing = end == QLatin1String("close") || end == QLatin1String("windowClose");
    const auto stop = [&app, end, &sinceStop] {
        sinceStop.start();
        if (end == QLatin1String("unplug")) {
            app.simulator().unplug();
        } else if (end == QLatin1String("close")) {
            app.window()->close();
        } else if (end == QLatin1String("eraseButton")) {
            app.click(QStringLiteral("clearMemoryButton"));
            ShellTest::waitFor([&] { return app.topPage() == QLatin1String("ClearDevice"); }, 5000);
            app.clickIn(app.item(QStringLiteral("clearDevicePage")), end);
        } else {
            app.click(end);
        }
    };
    // Each notice as it comes into view.
    QStringList seen;
    QString shown;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        const QString now = app.window() ? app.banner() : QString();
        if (now != shown && !now.isEmpty())
            seen << now;
        shown = now;
    });
    watch.start(50);
    int queued = -1;
    if (bulk) {
        StandInHid::instance().setFrameMs(4);
        QVERIFY(app.click(QStringLiteral("bulkCsvButton")));
        // The choice starts the export, which runs its own loop; the close
        // request comes from inside it.
        QVERIFY(app.choose(files));
        QTimer::singleShot(50, window, [&app, stop] {
            ShellTest::waitFor([&] { return app.topPage() == QLatin1String("SavingFiles"); }, 5000);
            QTest::qWait(100);
            stop();
        });
    } else {
        QVERIFY(app.clickRow(2));
        QTRY_VERIFY_WITH_TIMEOUT(app.enabled(QStringLiteral("saveCsvButton")), 10000);
        saveSlowly(app, files + "/one.csv", 100, [&] {
            app.click(QStringLiteral("saveTsvButton"));
            app.choose(files + "/two.tsv");
            app.click(QStringLiteral("saveCsvButton"));
            app.choose(files + "/three.csv");
            queued = queuedSaves(app, 2);
            stop();
        });
    }
    // A save that waited for good would end the run on QTest's watchdog.
    if (!closing) {
        QTRY_VERIFY_WITH_TIMEOUT(app.pagesSeen().contains(QStringLiteral("NotConnected")), 30000);
        QTest::qWait(500);
    } else {
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        guard.start(30000);
        QCOMPARE(QCoreApplication::exec(), 0);
        // Promptly: the threads end after the step they are in.
        QVERIFY2(sinceStop.elapsed() < 3000, qPrintable(QString::number(sinceStop.elapsed())));
        QVERIFY(!window->isVisible());
        QVERIFY(window->property("deviceThreadFinished").toBool());
        QVERIFY(window->property("csvExportedThreadFinished").toBool());
        QVERIFY(window->property("tsvExportedThreadFinished").toBool());
        QCOMPARE(app.config().value("optInForAutoCalCheck"), QJsonValue(true));
        QCOMPARE(app.config().value("firstTimeRun"), QJsonValue(false));
        // The lock is free again: a second start runs.
        app.forget();
        QVERIFY(app.start());
    }
    // Nothing half-written: no part, and every file whole.
    for (const QString &name : QDir(files).entryList(QDir::Files | QDir::Hidden)) {
        QVERIFY2(!name.endsWith(QLatin1String(".part")), qPrintable(name));
        QCOMPARE(lines(app.readFile(files + '/' + name)), 1 + 2 * 400 - 1);
    }
    if (!bulk) {
        // The running save ends written whole or reported as failed; those
        // queued never start.
        QCOMPARE(queued, 2);
        QCOMPARE(failed.count() + saved.count(), 1);
        QCOMPARE(QDir(files).entryList(QDir::Files | QDir::Hidden),
                 saved.count() ? QStringList{QStringLiteral("one.csv")} : QStringList());
        // Told once, after or before the running save's own report, both seen.
        const QString dropped =
            QStringLiteral("2 files not saved: the instrument was disconnected");
        const QString report =
            saved.count() ? QStringLiteral("File saved") : QStringLiteral("Error saving file");
        if (!closing)
            QTRY_VERIFY2_WITH_TIMEOUT(seen.contains(dropped) && seen.contains(report),
                                      qPrintable(seen.join('|')), 30000);
        QCOMPARE(seen.count(dropped), closing ? 0 : 1);
    }
}

int main(int argc, char *argv[])
{
    Startup::prepareEnvironment();
    QtWebEngineQuick::initialize();
    QApplication app(argc, argv);
    Journeys test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_journeys.moc"
