// The real executable as its own process beside the stand-alone test web
// service: what the service is asked as the instrument comes and goes, and
// that the stand-in hidapi saw no misuse of the transport.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestProcess : public QObject
{
    Q_OBJECT

private slots:
    void plugUnplugAgainstTheService();
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

    const QString dataFolder = work.filePath("ProgramData/QuorvANTIS Talvenor");
    QVERIFY(QDir().mkpath(dataFolder));
    QFile config(dataFolder + "/config.json");
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(R"({"firstTimeRun": false, "optInForAutoCalCheck": true})");
    config.close();
    QVERIFY(QDir().mkpath(work.filePath("runtime")));
    QFile::setPermissions(work.filePath("runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

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

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
