// The real executable as its own process beside the stand-alone test web
// service: what the service is asked as the instrument comes and goes, and
// that the stand-in hidapi saw no misuse of the transport. Also the installed
// program, started from its prefix on a private X server.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// A private data folder holding this configuration, and a runtime folder
// with the permissions Qt expects; the data folder, or empty on failure.
QString prepareFolders(const QTemporaryDir &work, const char *configJson)
{
    const QString dataFolder = work.filePath("ProgramData/QuorvANTIS Talvenor");
    const QString runtime = work.filePath("runtime");
    QFile config(dataFolder + "/config.json");
    if (!QDir().mkpath(dataFolder) || !QDir().mkpath(runtime) ||
        !config.open(QIODevice::WriteOnly) || config.write(configJson) < 0)
        return {};
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return dataFolder;
}

// The viewable top-level window with this title, or 0.
Window viewableWindow(Display *display, const QByteArray &title)
{
    Window root = 0;
    Window parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", 0);
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes) ||
            attributes.map_state != IsViewable)
            continue;
        Atom type = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(display, children[i], netName, 0, 256, 0, AnyPropertyType, &type,
                               &format, &items, &after, &data) == Success &&
            data) {
            if (QByteArray(reinterpret_cast<const char *>(data), int(items)) == title)
                found = children[i];
            XFree(data);
        }
    }
    XFree(children);
    return found;
}

// What a window manager sends when the user closes a window.
void requestClose(Display *display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", 0);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", 0));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, 0, NoEventMask, &event);
    XFlush(display);
}

} // namespace

class TestProcess : public QObject
{
    Q_OBJECT

private slots:
    void plugUnplugAgainstTheService();
    void installedProgramStartsFromItsPrefix();
};

void TestProcess::plugUnplugAgainstTheService()
{
    QTemporaryDir work;
    QVERIFY(work.isValid());

    QProcess service;
    service.setProgram(QStringLiteral(QV_WEBSERVICE_EXECUTABLE));
    service.setArguments({"--port", "0", "--version", "99.0.0", "--log"});
    service.setProcessChannelMode(QProcess::MergedChannels);
    service.start();
    QVERIFY(service.waitForStarted());
    QString baseUrl;
    QString log;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            log += QString::fromUtf8(service.readAll());
            const auto match = QRegularExpression("Listening on (\\S+)").match(log);
            baseUrl = match.hasMatch() ? match.captured(1) : QString();
            return !baseUrl.isEmpty();
        }(),
        10000);
    const auto serviceLog = [&] {
        log += QString::fromUtf8(service.readAll());
        return log;
    };

    const QString dataFolder =
        prepareFolders(work, R"({"firstTimeRun": false, "optInForAutoCalCheck": true})");
    QVERIFY(!dataFolder.isEmpty());

    const QString plug = work.filePath("plugged");
    const QString misuse = work.filePath("misuse.log");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ProgramData", work.filePath("ProgramData"));
    env.insert("XDG_RUNTIME_DIR", work.filePath("runtime"));
    env.insert("QUORVANTIS_API_URL", baseUrl);
    env.insert("QV_SIM_SCENARIO", QString::fromLocal8Bit(qgetenv("QV_TEST_DATA")) + "/basic.json");
    env.insert("QV_SIM_PLUG_FILE", plug);
    env.insert("QV_SIM_MISUSE_LOG", misuse);
    env.remove("QML_IMPORT_PATH");

    QProcess app;
    app.setProcessEnvironment(env);
    app.setProgram(QStringLiteral(QV_APP_EXECUTABLE));
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start();
    QVERIFY(app.waitForStarted());

    // Consent stored: the version is asked for at once, no calibration yet.
    QTRY_VERIFY_WITH_TIMEOUT(serviceLog().contains("/cal/installer/version"), 30000);
    QVERIFY(!serviceLog().contains("get_calibration"));

    // Plugging in: a calibration request with the instrument's barcode.
    QFile plugged(plug);
    QVERIFY(plugged.open(QIODevice::WriteOnly));
    plugged.close();
    QTRY_VERIFY_WITH_TIMEOUT(serviceLog().contains("/cal/get_calibration?barcode=42"), 30000);

    // Out and in again: a second calibration request, the program still up.
    QFile::remove(plug);
    QTest::qWait(1000);
    QVERIFY(plugged.open(QIODevice::WriteOnly));
    plugged.close();
    QTRY_COMPARE_WITH_TIMEOUT(serviceLog().count("/cal/get_calibration?barcode=42"), 2, 30000);
    QCOMPARE(app.state(), QProcess::Running);
    QVERIFY2(!serviceLog().contains(" 403 "), qPrintable(serviceLog()));

    app.kill();
    app.waitForFinished();
    service.kill();
    service.waitForFinished();
    QVERIFY2(!QFile::exists(misuse) || QFileInfo(misuse).size() == 0,
             qPrintable(QString::fromUtf8(QFile(misuse).exists() ? "misuse recorded" : "")));
}

void TestProcess::installedProgramStartsFromItsPrefix()
{
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString prefix = work.filePath("prefix");
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(QV_CMAKE_COMMAND),
                  {"--install", QStringLiteral(QV_BUILD_DIR), "--prefix", prefix});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitCode() == 0, install.readAll().constData());

    // Menu entry, icon and access rule where the desktop and udev look.
    QFile entry(prefix + "/share/applications/quorvantis.desktop");
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QByteArray entryText = entry.readAll();
    QVERIFY2(entryText.contains("\nExec=" + prefix.toUtf8() + "/bin/QuorvANTIS\n"),
             entryText.constData());
    QVERIFY(entryText.contains("\nIcon=quorvantis\n"));
    QVERIFY(QFile::exists(prefix + "/share/icons/hicolor/128x128/apps/quorvantis.png"));
    QVERIFY(QFile::exists(prefix + "/lib/udev/rules.d/70-quorvantis-instrument.rules"));
    for (QDirIterator it(prefix, QDir::Files | QDir::System, QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString name = it.next().section('/', -1);
        QVERIFY2(!QRegularExpression("^(qv-|libqv|tst_|bench)|standin|hidapi|\\.a$")
                      .match(name)
                      .hasMatch(),
                 qPrintable("test tooling installed: " + it.filePath()));
    }

    QProcess xvfb;
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1920x1080x24", "-nolisten", "tcp"});
    QVERIFY2(xvfb.waitForStarted(), "Xvfb is missing (scripts/setup installs it)");
    QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), 20000);
    const QByteArray displayName = ":" + xvfb.readLine().trimmed();
    std::unique_ptr<Display, int (*)(Display *)> display(XOpenDisplay(displayName.constData()),
                                                         XCloseDisplay);
    QVERIFY(display);
    // A window gone between listing and asking must not end this process.
    XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });

    const QString dataFolder =
        prepareFolders(work, R"({"firstTimeRun": false, "optInForAutoCalCheck": false})");
    QVERIFY(!dataFolder.isEmpty());

    // Nothing from the build may help: no import path, no library path.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ProgramData", work.filePath("ProgramData"));
    env.insert("XDG_RUNTIME_DIR", work.filePath("runtime"));
    env.insert("DISPLAY", QString::fromLatin1(displayName));
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("QML_IMPORT_PATH");
    env.remove("LD_LIBRARY_PATH");
    QProcess app;
    app.setProcessEnvironment(env);
    app.setWorkingDirectory(work.path());
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(prefix + "/bin/QuorvANTIS", {});
    QVERIFY(app.waitForStarted());

    Window window = 0;
    QTRY_VERIFY_WITH_TIMEOUT((window = viewableWindow(display.get(), "QuorvANTIS")) != 0 ||
                                 app.state() != QProcess::Running,
                             60000);
    QVERIFY2(window, app.readAll().constData());

    // Its libraries and modules came from the prefix.
    QFile maps(QStringLiteral("/proc/%1/maps").arg(app.processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QString mapped = QString::fromUtf8(maps.readAll());
    QVERIFY(mapped.contains(prefix + "/lib/quorvantis/qml/Elements/libelementshook.so"));
    QVERIFY2(!mapped.contains(QStringLiteral(QV_BUILD_DIR) + "/"), qPrintable(mapped));

    requestClose(display.get(), window);
    QVERIFY2(app.waitForFinished(30000), app.readAll().constData());
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
    QVERIFY(!QFile::exists(dataFolder + "/app.lock"));
    display.reset(); // before the server goes, or Xlib ends this process
    xvfb.terminate();
    xvfb.waitForFinished();
}

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
