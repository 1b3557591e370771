// The pages in the running program: the simulated instrument behind the
// stand-in hidapi, the local test web service, the whole start-up in-process.
#include "depthprobe.h"
#include "filedialogs.h"
#include "shell/startup.h"
#include "shelltest.h"
#include "standinhid.h"
#include "testwebservice.h"

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QFile>
#include <QFontMetricsF>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <memory>

using namespace ShellTest;

namespace {

QString scenarioPath()
{
    return qEnvironmentVariable("QV_TEST_DATA") + QStringLiteral("/probe.json");
}

InstrumentSimulator &instrument()
{
    return StandInHid::instance().simulator();
}

// User trigger 1 (erase) and 3 (status) go out as command 10.
int triggerCount(uint32_t trigger)
{
    int count = 0;
    for (const InstrumentSimulator::Report &request : instrument().requests()) {
        const uint32_t sent = uint32_t(request[2]) | uint32_t(request[3]) << 8 |
                              uint32_t(request[4]) << 16 | uint32_t(request[5]) << 24;
        count += request[1] == 10 && sent == trigger ? 1 : 0;
    }
    return count;
}

int eraseCount()
{
    return triggerCount(1);
}
int statusCount()
{
    return triggerCount(3);
}
int resetCount()
{
    return instrument().requestCount(8);
}

} // namespace

class TestPages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void clearDeviceEraseSendsOnceAndEndsNotConnected();
    void clearDeviceCancelSendsNothing();
    void noHeadersRestartSendsResetAndEndsNotConnected();
    void unplugWhilePageShown_data();
    void unplugWhilePageShown();

    void consentSwitchStoresAndSends();
    void consentSwitchOffStopsRequests();
    void updateAnnouncedOpensFromFooter();
    void downloadWithGoodDigestWritesServedBytes_data();
    void downloadWithGoodDigestWritesServedBytes();
    void downloadWithWrongDigestWritesNothing();
    void downloadThatCannotBeWrittenIsReported();
    void cancelDuringSlowDownloadAfterPageClosed();
    void downloadWaitsForSessionSaves_data();
    void downloadWaitsForSessionSaves();
    void updateWithoutConsentExplains();
    void termsDocumentGoesToUrlHandler();

    void diagnosticsShowsAndCopiesReport();
    void remainingPagesShow();

private:
    void start(bool consent);
    void connectInstrument();
    QObject *find(const QString &name) const;
    QObject *inPage(const QString &name) const { return findByName(topPage(), name); }
    QQuickItem *topPage() const;
    QQuickItem *push(const QString &url, const QString &properties = QString());
    void click(const QString &name);
    int depth() const { return m_stack->property("depth").toInt(); }
    int requestsTo(const QString &path) const;

    QTemporaryDir m_programData;
    QTemporaryDir m_workingDir;
    QTemporaryDir m_downloads;
    QTemporaryDir m_config;
    QTemporaryDir m_bin;
    QString m_handlerLog;
    std::unique_ptr<TestWebService> m_service;
    std::unique_ptr<Startup> m_startup;
    QQuickWindow *m_window = nullptr;
    QObject *m_stack = nullptr;
};

void TestPages::initTestCase()
{
    QVERIFY(m_programData.isValid() && m_workingDir.isValid() && m_downloads.isValid());
    qputenv("ProgramData", m_programData.path().toLocal8Bit());
    // Downloads land in a folder of the test's own.
    QVERIFY(m_config.isValid());
    QFile userDirs(m_config.filePath(QStringLiteral("user-dirs.dirs")));
    QVERIFY(userDirs.open(QIODevice::WriteOnly));
    userDirs.write("XDG_DOWNLOAD_DIR=\"" + m_downloads.path().toUtf8() + "\"\n");
    userDirs.close();
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    QVERIFY(QDir::setCurrent(m_workingDir.path()));

    // A stand-in URL handler that records what it was asked to open.
    m_handlerLog = m_bin.filePath(QStringLiteral("opened.txt"));
    QFile handler(m_bin.filePath(QStringLiteral("xdg-open")));
    QVERIFY(handler.open(QIODevice::WriteOnly));
    handler.write(
        QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\n").arg(m_handlerLog).toUtf8());
    handler.close();
    QVERIFY(handler.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("PATH", m_bin.path().toLocal8Bit() + ':' + qgetenv("PATH"));
}

void TestPages::init()
{
    QString error;
    QVERIFY2(StandInHid::instance().loadScenario(scenarioPath(), &error), qPrintable(error));
    instrument().unplug();
    instrument().clearRequests();
    m_service = std::make_unique<TestWebService>();
    QVERIFY(m_service->listen());
    qputenv("QUORVANTIS_API_URL", m_service->baseUrl().toUtf8());
    QFile::remove(m_handlerLog);
}

void TestPages::cleanup()
{
    m_startup.reset();
    m_window = nullptr;
    m_stack = nullptr;
    m_service.reset();
    instrument().unplug();
    StandInHid::instance().setFrameMs(0);
}

void TestPages::start(bool consent)
{
    QVERIFY(writeConfig(m_programData.path(),
                        consent ? R"({"firstTimeRun": false, "optInForAutoCalCheck": true})"
                                : R"({"firstTimeRun": false, "optInForAutoCalCheck": false})"));
    startProgram(m_startup, m_window);
    if (QTest::currentTestFailed())
        return;
    m_stack = find(QStringLiteral("viewStack"));
    QVERIFY(m_stack);
    QVERIFY2(find(QStringLiteral("device")), "the main window has no instrument");
}

void TestPages::connectInstrument()
{
    QObject *device = find(QStringLiteral("device"));
    // Caught after the shell's own reaction, which pushes the data screen.
    QSignalSpy connected(device, SIGNAL(connected()));
    instrument().replug();
    QTRY_VERIFY_WITH_TIMEOUT(connected.count() == 1, 10000);
    // The walk over the headers ends before the pages are used.
    QObject *loading = find(QStringLiteral("notification2"));
    QTRY_VERIFY_WITH_TIMEOUT(!loading->property("isShowing").toBool(), 10000);
    // The pages are tested over the first page, whatever the data screen does
    // (it may still be arriving after the notice has ended).
    for (int settled = 0, tries = 0; settled < 3 && tries < 60; ++tries) {
        if (depth() != 1) {
            settled = 0;
            evaluate(m_stack, QStringLiteral("pop(null)"));
        } else {
            ++settled;
        }
        QTest::qWait(150);
    }
    QCOMPARE(topPage()->property("pageName").toString(), QStringLiteral("NotConnected"));
}

QObject *TestPages::find(const QString &name) const
{
    return findByName(m_window, name);
}

QQuickItem *TestPages::topPage() const
{
    return m_stack->property("currentItem").value<QQuickItem *>();
}

QQuickItem *TestPages::push(const QString &url, const QString &properties)
{
    const int before = depth();
    evaluate(m_stack, QStringLiteral("push('%1'%2)")
                          .arg(url, properties.isEmpty() ? QString() : ", " + properties));
    if (depth() != before + 1)
        return nullptr;
    QQuickItem *page = topPage();
    // Let the push transition end so that the page takes clicks.
    QDeadlineTimer deadline(5000);
    while (m_stack->property("busy").toBool() && !deadline.hasExpired())
        QTest::qWait(20);
    return page;
}

void TestPages::click(const QString &name)
{
    ShellTest::click(m_window, m_stack, name);
}

int TestPages::requestsTo(const QString &path) const
{
    int count = 0;
    for (const TestWebService::Request &request : m_service->requests())
        count += request.path.endsWith(path) ? 1 : 0;
    return count;
}

void TestPages::clearDeviceEraseSendsOnceAndEndsNotConnected()
{
    start(false);
    connectInstrument();
    QVERIFY(push(QStringLiteral("qrc:/content/ClearDevice.qml")));
    QCOMPARE(topPage()->property("pageName").toString(), QStringLiteral("ClearDevice"));
    QCOMPARE(inPage(QStringLiteral("textTitle"))->property("text").toString(),
             QStringLiteral("Erase Device"));

    DepthProbe probe(m_stack);
    QVERIFY(
        connect(find(QStringLiteral("device")), SIGNAL(disconnected()), &probe, SLOT(record())));
    click(QStringLiteral("eraseButton"));
    QTRY_VERIFY(topPage()->property("pageName").toString() != QStringLiteral("ClearDevice"));
    QTRY_COMPARE(eraseCount(), 1);
    QObject *notification = find(QStringLiteral("notification"));
    QTRY_COMPARE(notification->property("text").toString(),
                 QStringLiteral("Erasing Device Memory..."));
    // The instrument leaves, and the stack with it returns to the first page.
    QTRY_VERIFY_WITH_TIMEOUT(!probe.seen.isEmpty(), 10000);
    QCOMPARE(probe.seen.first(), 1);
    QTest::qWait(500);
    QCOMPARE(eraseCount(), 1);
}

void TestPages::clearDeviceCancelSendsNothing()
{
    start(false);
    connectInstrument();
    QPointer<QQuickItem> page = push(QStringLiteral("qrc:/content/ClearDevice.qml"));
    QVERIFY(page);
    click(QStringLiteral("cancelButton"));
    // Popped pages are destroyed.
    QTRY_VERIFY(page.isNull());
    QTest::qWait(500);
    QCOMPARE(eraseCount(), 0);
    QVERIFY(find(QStringLiteral("device"))->property("connected").toBool());
}

void TestPages::noHeadersRestartSendsResetAndEndsNotConnected()
{
    start(false);
    connectInstrument();
    // Pushed the way the shell pushes it.
    QVERIFY(push(QStringLiteral("qrc:/content/NoHeaders.qml"),
                 QStringLiteral("{'device': device, 'notification': notification, "
                                "'resetDevice': resetDevice}")));
    QCOMPARE(topPage()->property("pageName").toString(), QStringLiteral("NoHeaders"));
    DepthProbe probe(m_stack);
    QVERIFY(
        connect(find(QStringLiteral("device")), SIGNAL(disconnected()), &probe, SLOT(record())));
    click(QStringLiteral("restartButton"));
    QTRY_VERIFY(topPage()->property("pageName").toString() != QStringLiteral("NoHeaders"));
    QTRY_COMPARE(resetCount(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!probe.seen.isEmpty(), 10000);
    QCOMPARE(probe.seen.first(), 1);
}

void TestPages::unplugWhilePageShown_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("clear device") << "qrc:/content/ClearDevice.qml";
    QTest::newRow("no headers") << "qrc:/content/NoHeaders.qml";
    QTest::newRow("app info") << "qrc:/content/AppInfo.qml";
    QTest::newRow("diagnostics") << "qrc:/content/Diagnostics.qml";
}

void TestPages::unplugWhilePageShown()
{
    QFETCH(QString, url);
    start(false);
    connectInstrument();
    QVERIFY(push(url));
    instrument().unplug();
    QTRY_COMPARE_WITH_TIMEOUT(depth(), 1, 10000);
    QCOMPARE(topPage()->property("pageName").toString(), QStringLiteral("NotConnected"));
    QCOMPARE(eraseCount(), 0);
    QCOMPARE(resetCount(), 0);
}

void TestPages::consentSwitchStoresAndSends()
{
    start(false);
    connectInstrument();
    QVERIFY(push(QStringLiteral("qrc:/content/AppInfo.qml")));
    QObject *consent = find(QStringLiteral("userExpSwitch"));
    QVERIFY(consent);
    QCOMPARE(consent->property("checked").toBool(), false);
    QTest::qWait(300);
    QCOMPARE(m_service->requestCount(), 0);

    click(QStringLiteral("userExpSwitch"));
    QCOMPARE(consent->property("checked").toBool(), true);
    QCOMPARE(readConfig(m_programData.path()).value("optInForAutoCalCheck"), QJsonValue(true));
    QTRY_COMPARE(requestsTo(QStringLiteral("/installer/version")), 1);
    QTRY_COMPARE(requestsTo(QStringLiteral("/get_calibration")), 1);
    QCOMPARE(m_service->requests().last().query, QByteArray("barcode=123456"));
    QObject *vars = find(QStringLiteral("apiVars"));
    QTRY_COMPARE(vars->property("calDate").toString(), QStringLiteral("May 2027"));

    // Opened again, the page shows the stored consent.
    instrument().unplug();
    QTRY_COMPARE_WITH_TIMEOUT(depth(), 1, 10000);
    QVERIFY(push(QStringLiteral("qrc:/content/AppInfo.qml")));
    QCOMPARE(find(QStringLiteral("userExpSwitch"))->property("checked").toBool(), true);
}

void TestPages::consentSwitchOffStopsRequests()
{
    start(true);
    QTRY_COMPARE(requestsTo(QStringLiteral("/installer/version")), 1);
    QVERIFY(push(QStringLiteral("qrc:/content/AppInfo.qml")));
    QObject *consent = find(QStringLiteral("userExpSwitch"));
    QCOMPARE(consent->property("checked").toBool(), true);
    QObject *vars = find(QStringLiteral("apiVars"));
    QVERIFY(vars->setProperty("calDate", QStringLiteral("May 2027")));

    click(QStringLiteral("userExpSwitch"));
    QCOMPARE(consent->property("checked").toBool(), false);
    QCOMPARE(readConfig(m_programData.path()).value("optInForAutoCalCheck"), QJsonValue(false));
    QCOMPARE(vars->property("calDate").toString(), QStringLiteral("Disabled"));
    QCOMPARE(find(QStringLiteral("qvApi"))->property("apiIsAllowed").toBool(), false);

    // A connection now asks nothing.
    const int before = m_service->requestCount();
    connectInstrument();
    QTest::qWait(500);
    QCOMPARE(m_service->requestCount(), before);
    QCOMPARE(vars->property("calDate").toString(), QStringLiteral("Disabled"));
}

void TestPages::updateAnnouncedOpensFromFooter()
{
    // Shown as it comes, never as markup that fetches pictures.
    const QString announced =
        "4 <img src=\"" + m_service->rootUrl() + "/b.png\"><font size=7>!</font>";
    m_service->setVersion(announced);
    start(true);
    QObject *vars = find(QStringLiteral("apiVars"));
    QTRY_COMPARE(vars->property("appUpdateAvailable").toBool(), true);

    click(QStringLiteral("appVersionMouseArea"));
    QTRY_COMPARE(topPage()->property("pageName").toString(), QStringLiteral("AppInfo"));
    QTRY_VERIFY_WITH_TIMEOUT(!m_stack->property("busy").toBool(), 5000);
    QVERIFY(find(QStringLiteral("updateButton"))->property("visible").toBool());
    auto *latest = qobject_cast<QQuickItem *>(find(QStringLiteral("latestVersionText")));
    QCOMPARE(latest->property("text").toString(), announced);
    // As markup it would show a few characters: the whole text is far wider.
    const qreal wide =
        QFontMetricsF(latest->property("font").value<QFont>()).horizontalAdvance(announced);
    QCOMPARE_GT(latest->implicitWidth(), wide / 2);
    QCOMPARE(find(QStringLiteral("currentVersionText"))->property("text").toString(),
             QStringLiteral("3"));

    // The dialog the user sees proposes the installer's name in the
    // downloads folder, under the installer filter.
    QObject *save = find(QStringLiteral("saveDialog"));
    QVERIFY(save);
    click(QStringLiteral("updateButton"));
    QFileDialog *shown = FileDialogs::shown();
    QVERIFY(shown);
    QCOMPARE(shown->windowTitle(), QStringLiteral("Save As"));
    QCOMPARE(shown->nameFilters(), QStringList{QStringLiteral("Installer (*.exe)")});
    QCOMPARE(FileDialogs::shownName(), QStringLiteral("QuorvANTIS_installer"));
    QCOMPARE(shown->directory().canonicalPath(), QDir(m_downloads.path()).canonicalPath());
    QVERIFY(QMetaObject::invokeMethod(save, "close"));
    QTRY_VERIFY(!QApplication::activeModalWidget());

    click(QStringLiteral("appVersionMouseArea"));
    QTRY_COMPARE(depth(), 1);
    QCOMPARE(requestsTo("/b.png"), 0);
}

void TestPages::downloadWithGoodDigestWritesServedBytes_data()
{
    QTest::addColumn<int>("redirects");
    QTest::newRow("direct") << 0;
    QTest::newRow("behind a redirect") << 1;
}

void TestPages::downloadWithGoodDigestWritesServedBytes()
{
    QFETCH(int, redirects);
    if (redirects > 0)
        m_service->setRedirects(QStringLiteral("/cal/installer"), redirects, 302);
    m_service->setVersion(QStringLiteral("4"));
    start(true);
    QTRY_COMPARE(find(QStringLiteral("apiVars"))->property("appUpdateAvailable").toBool(), true);
    QObject *progress = find(QStringLiteral("progressDialog"));
    QObject *ok = find(QStringLiteral("okDialog"));
    // A value left from an earlier download must not show.
    QVERIFY(progress->setProperty("progressValue", 100.0));

    QQuickItem *page = push(QStringLiteral("qrc:/content/AppInfo.qml"));
    QVERIFY(page);
    const QString target = m_downloads.filePath(QStringLiteral("dl dir/setup #1.exe"));
    QVERIFY(QDir().mkpath(QFileInfo(target).absolutePath()));
    QVERIFY(QMetaObject::invokeMethod(page, "startDownload",
                                      Q_ARG(QVariant, QUrl::fromLocalFile(target).toString())));
    QVERIFY(progress->property("opened").toBool() || progress->property("visible").toBool());
    QCOMPARE(progress->property("progressValue").toDouble(), 0.0);
    QCOMPARE(progress->property("dialogTitle").toString(), QStringLiteral("Downloading..."));

    QTRY_VERIFY_WITH_TIMEOUT(ok->property("visible").toBool(), 10000);
    QCOMPARE(ok->property("dialogTitle").toString(),
             QStringLiteral("Installer download completed"));
    QTRY_VERIFY(!progress->property("visible").toBool());
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), m_service->installer());
}

void TestPages::downloadWithWrongDigestWritesNothing()
{
    m_service->setVersion(QStringLiteral("4"));
    m_service->setHashMode(TestWebService::HashMode::Wrong);
    start(true);
    QQuickItem *page = push(QStringLiteral("qrc:/content/AppInfo.qml"));
    const QString target = m_downloads.filePath(QStringLiteral("wrong.exe"));
    QVERIFY(QMetaObject::invokeMethod(page, "startDownload",
                                      Q_ARG(QVariant, QUrl::fromLocalFile(target).toString())));
    QObject *ok = find(QStringLiteral("okDialog"));
    QTRY_VERIFY_WITH_TIMEOUT(ok->property("visible").toBool(), 10000);
    QCOMPARE(ok->property("dialogTitle").toString(), QStringLiteral("Installer download failed"));
    QCOMPARE(ok->property("message").toString(),
             QStringLiteral("The download was interrupted or corrupted. Please try again."));
    QTRY_VERIFY(!find(QStringLiteral("progressDialog"))->property("visible").toBool());
    QVERIFY(!QFile::exists(target));
}

void TestPages::downloadThatCannotBeWrittenIsReported()
{
    start(true);
    QQuickItem *page = push(QStringLiteral("qrc:/content/AppInfo.qml"));
    const QString target = m_downloads.filePath(QStringLiteral("no such folder/x.exe"));
    QVERIFY(QMetaObject::invokeMethod(page, "startDownload",
                                      Q_ARG(QVariant, QUrl::fromLocalFile(target).toString())));
    QObject *ok = find(QStringLiteral("okDialog"));
    QTRY_VERIFY_WITH_TIMEOUT(ok->property("visible").toBool(), 10000);
    QCOMPARE(ok->property("dialogTitle").toString(), QStringLiteral("Installer download failed"));
    // Not "interrupted or corrupted": trying again would not help.
    QCOMPARE(ok->property("message").toString(),
             "The installer could not be saved to " + target + " (No such file or directory).");
    QTRY_VERIFY(!find(QStringLiteral("progressDialog"))->property("visible").toBool());
}

void TestPages::cancelDuringSlowDownloadAfterPageClosed()
{
    m_service->setInstallerPacing(4096, 50);
    start(true);
    QQuickItem *page = push(QStringLiteral("qrc:/content/AppInfo.qml"));
    const QString target = m_downloads.filePath(QStringLiteral("slow.exe"));
    QVERIFY(QMetaObject::invokeMethod(page, "startDownload",
                                      Q_ARG(QVariant, QUrl::fromLocalFile(target).toString())));
    QObject *progress = find(QStringLiteral("progressDialog"));
    QTRY_VERIFY_WITH_TIMEOUT(progress->property("progressValue").toDouble() > 0, 10000);
    QVERIFY(progress->property("progressValue").toDouble() < 100);

    // The page is gone; the dialog's Cancel still stops the download.
    evaluate(m_stack, QStringLiteral("pop()"));
    QTRY_COMPARE(depth(), 1);
    QVERIFY(QMetaObject::invokeMethod(progress, "cancel"));
    QTRY_VERIFY(!progress->property("visible").toBool());
    QTest::qWait(3500);
    QVERIFY(!find(QStringLiteral("okDialog"))->property("visible").toBool());
    QVERIFY(!QFile::exists(target));
    QCOMPARE(m_service->requests().last().completed, false);
}

void TestPages::downloadWaitsForSessionSaves_data()
{
    QTest::addColumn<bool>("behindBulkRun"); // the save queued behind a bulk run
    QTest::newRow("save running") << false;
    QTest::newRow("save queued") << true;
}

void TestPages::downloadWaitsForSessionSaves()
{
    QFETCH(bool, behindBulkRun);
    m_service->setVersion(QStringLiteral("4"));
    start(true);
    connectInstrument();
    QQuickItem *page = push(QStringLiteral("qrc:/content/AppInfo.qml"));
    QVERIFY(page);
    const QString target = m_downloads.filePath(QStringLiteral("after saves.exe"));
    QTemporaryDir saves;
    const QString single = saves.filePath(QStringLiteral("single.csv"));
    const QString save =
        QStringLiteral("fileExport.setDevice(device); fileExport.setDataEntry(device.dataEntries"
                       ".filter(e => e.type === 1).sort((a, b) => a.dateTime - b.dateTime)[0]);"
                       " fileExport.write('%1')")
            .arg(single);
    const QString bulk =
        QStringLiteral("bulkFileExport.setDevice(device);"
                       " bulkFileExport.setDataEntries(device.dataEntries);"
                       " bulkFileExport.setFolder('%1'); bulkFileExport.writeAll()")
            .arg(QUrl::fromLocalFile(saves.path()).toString());
    StandInHid::instance().setFrameMs(20);
    QTimer::singleShot(0, page, [&] {
        evaluate(page, QStringLiteral("startDownload('%1')").arg(target));
        if (behindBulkRun)
            evaluate(page, save);
    });
    evaluate(page, behindBulkRun ? bulk : save);
    // Every save has ended: the installer comes only now.
    QVERIFY(QFile::exists(single));
    QCOMPARE(requestsTo("/installer"), 0);
    QTRY_COMPARE_WITH_TIMEOUT(find(QStringLiteral("okDialog"))->property("dialogTitle").toString(),
                              QStringLiteral("Installer download completed"), 10000);
    QCOMPARE(requestsTo("/installer"), 1);
}

void TestPages::updateWithoutConsentExplains()
{
    m_service->setVersion(QStringLiteral("4"));
    start(true);
    QTRY_COMPARE(find(QStringLiteral("apiVars"))->property("appUpdateAvailable").toBool(), true);
    QVERIFY(push(QStringLiteral("qrc:/content/AppInfo.qml")));
    click(QStringLiteral("userExpSwitch"));
    const int before = m_service->requestCount();
    // The announced update stays; the button explains instead of downloading.
    QVERIFY(find(QStringLiteral("updateButton"))->property("visible").toBool());
    click(QStringLiteral("updateButton"));
    QObject *ok = find(QStringLiteral("okDialog"));
    QTRY_VERIFY(ok->property("visible").toBool());
    QCOMPARE(ok->property("dialogTitle").toString(), QStringLiteral("Unable to download update"));
    QCOMPARE(ok->property("message").toString(),
             QStringLiteral("Please enable automatic checks to download the latest update."));
    QTest::qWait(300);
    QCOMPARE(m_service->requestCount(), before);
}

void TestPages::termsDocumentGoesToUrlHandler()
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        QSKIP("the offscreen platform opens no documents; run under a display server");
    start(false);
    QVERIFY(push(QStringLiteral("qrc:/content/AppInfo.qml")));
    click(QStringLiteral("termsButton"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(m_handlerLog).size() > 0, 5000);
    QFile log(m_handlerLog);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString opened = QString::fromUtf8(log.readAll()).trimmed();
    const QUrl url(opened, QUrl::StrictMode);
    QVERIFY2(url.isValid() && url.isLocalFile(), qPrintable(opened));
    QCOMPARE(url.toLocalFile(), QDir(m_workingDir.path()).filePath(QStringLiteral("T&Cs.pdf")));
}

void TestPages::diagnosticsShowsAndCopiesReport()
{
    start(false);
    connectInstrument();
    const int queriesBefore = statusCount();
    QPointer<QQuickItem> diagnostics = push(QStringLiteral("qrc:/content/Diagnostics.qml"));
    QVERIFY(diagnostics);
    QTRY_COMPARE(statusCount(), queriesBefore + 1);
    QCOMPARE(find(QStringLiteral("barcodeValue"))->property("text").toString(),
             QStringLiteral("0123456"));
    QCOMPARE(find(QStringLiteral("databaseValue"))->property("text").toString(),
             QStringLiteral("0004242"));
    QCOMPARE(find(QStringLiteral("bootloaderValue"))->property("text").toString(),
             QStringLiteral("v3.2.0"));
    QCOMPARE(find(QStringLiteral("firmwareValue"))->property("text").toString(),
             QStringLiteral("v7.5.0"));
    // 1006 counts: 1006 x 3.3 / 1023 x 1.22 volts.
    QTRY_COMPARE(find(QStringLiteral("batteryValue"))->property("text").toString(),
                 QStringLiteral("3.96V"));
    QCOMPARE(find(QStringLiteral("memoryValue"))->property("text").toString(),
             QStringLiteral("Enabled"));

    click(QStringLiteral("copyButton"));
    const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
    QCOMPARE(lines.size(), 8);
    const QString indent(20, ' ');
    QCOMPARE(lines[0], QStringLiteral("QuorvANTIS Talvenor 3"));
    QVERIFY(lines[1].startsWith(indent + QStringLiteral("Build ID:    ")));
    QVERIFY(lines[1].size() > indent.size() + 13);
    QCOMPARE(lines[2], QString());
    QVERIFY(lines[3].startsWith(indent + QStringLiteral("Device ID:   ")));
    QVERIFY(lines[3].size() > indent.size() + 13);
    QCOMPARE(lines[4], indent + QStringLiteral("Database ID: 0004242"));
    QCOMPARE(lines[5], indent + QStringLiteral("Barcode:     0123456"));
    QCOMPARE(lines[6], indent + QStringLiteral("Bootloader:  v3.2.0"));
    QCOMPARE(lines[7], indent + QStringLiteral("Firmware:    v7.5.0"));
    QVERIFY(!lines.join('\n').contains(QStringLiteral("undefined")));
    QTRY_COMPARE(find(QStringLiteral("notification"))->property("text").toString(),
                 QStringLiteral("Copied to Clipboard"));

    // Shown again after a page above it is popped: another query.
    QVERIFY(push(QStringLiteral("qrc:/content/LoadingHeaders.qml")));
    evaluate(m_stack, QStringLiteral("pop()"));
    QTRY_COMPARE(statusCount(), queriesBefore + 2);
    click(QStringLiteral("backButton"));
    QTRY_VERIFY(diagnostics.isNull());
}

void TestPages::remainingPagesShow()
{
    start(false);
    QQuickItem *loading = push(QStringLiteral("qrc:/content/LoadingHeaders.qml"));
    QVERIFY(loading);
    QCOMPARE(loading->property("pageName").toString(), QStringLiteral("LoadingHeaders"));
    QCOMPARE(inPage(QStringLiteral("textTitle"))->property("text").toString(),
             QStringLiteral("Loading Index"));
    QVERIFY(inPage(QStringLiteral("spinnerLoading"))->property("active").toBool());
    evaluate(m_stack, QStringLiteral("pop()"));

    QQuickItem *test = push(QStringLiteral("qrc:/content/TestPage.qml"));
    QVERIFY(test);
    QCOMPARE(test->property("pageName").toString(), QStringLiteral("Test"));
    auto *stack = qobject_cast<QQuickItem *>(m_stack);
    QCOMPARE(test->width(), stack->width());
    QCOMPARE(test->height(), stack->height());
    QVERIFY(test->height() > 0);
    QObject *combined = find(QStringLiteral("combinedSwitch"));
    QObject *eField = find(QStringLiteral("eFieldSwitch"));
    QCOMPARE(combined->property("checked").toBool(), true);
    QCOMPARE(eField->property("checked").toBool(), false);
    click(QStringLiteral("combinedSwitch"));
    click(QStringLiteral("eFieldSwitch"));
    QCOMPARE(combined->property("checked").toBool(), false);
    QCOMPARE(eField->property("checked").toBool(), true);
    // Resizing the window resizes the page.
    m_window->resize(m_window->width() - 100, m_window->height() - 60);
    QTRY_COMPARE(test->width(), stack->width());
    QCOMPARE(test->height(), stack->height());
}

int main(int argc, char *argv[])
{
    return ShellTest::runInProcess<TestPages>(argc, argv);
}

#include "tst_pages.moc"
