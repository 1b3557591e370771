#include "fulldisk.h"
#include "quorvantisapi.h"
#include "testwebservice.h"

#include <QDir>
#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char urlVariable[] = "QUORVANTIS_API_URL";

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Every signal of one facade, counted.
struct Spies
{
    explicit Spies(QuorvantisApi *api)
        : error(api, &QuorvantisApi::apiError),
          calibration(api, &QuorvantisApi::calibrationDateReceived),
          version(api, &QuorvantisApi::appVersionReceived),
          completed(api, &QuorvantisApi::downloadCompleted),
          progress(api, &QuorvantisApi::reportFileProgress),
          failed(api, &QuorvantisApi::downloadFailed)
    {}
    int results() const
    {
        return error.count() + calibration.count() + version.count() + completed.count();
    }
    QSignalSpy error, calibration, version, completed, progress, failed;
};

} // namespace

class TestQuorvantisApi : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void serviceAddress_data();
    void serviceAddress();
    void switchedOffSendsNothing();
    void calibrationDate();
    void latestVersion();
    void installerDigest_data();
    void installerDigest();
    void failedWriteLeavesNoFile();
    void cancelDuringSlowDownload_data();
    void cancelDuringSlowDownload();
    void progressConnectionsAddUp();
    void qmlSetsProperties();

private:
    std::unique_ptr<QuorvantisApi> makeApi(bool allowed = true);

    std::unique_ptr<TestWebService> service;
    std::unique_ptr<QTemporaryDir> tmp;
};

void TestQuorvantisApi::init()
{
    service = std::make_unique<TestWebService>();
    QVERIFY(service->listen());
    qputenv(urlVariable, service->baseUrl().toUtf8());
    tmp = std::make_unique<QTemporaryDir>();
}

void TestQuorvantisApi::cleanup()
{
    qunsetenv(urlVariable);
    service.reset();
    tmp.reset();
}

std::unique_ptr<QuorvantisApi> TestQuorvantisApi::makeApi(bool allowed)
{
    auto api = std::make_unique<QuorvantisApi>();
    api->setApiIsAllowed(allowed);
    return api;
}

void TestQuorvantisApi::serviceAddress_data()
{
    QTest::addColumn<QByteArray>("variable"); // null: unset
    QTest::addColumn<QString>("expected");    // empty: the default
    QTest::addColumn<bool>("refused");
    QTest::newRow("loopback http") << QByteArray("http://127.0.0.1:9/elsewhere/")
                                   << QStringLiteral("http://127.0.0.1:9/elsewhere") << false;
    QTest::newRow("unset") << QByteArray() << QString() << false;
    // Signed requests and the installer must not go in the clear to a stranger.
    QTest::newRow("plain http elsewhere")
        << QByteArray("http://cal.example.org/cal") << QString() << true;
}

void TestQuorvantisApi::serviceAddress()
{
    QFETCH(QByteArray, variable);
    QFETCH(QString, expected);
    QFETCH(bool, refused);
    QCOMPARE(makeApi()->baseUrl(), service->baseUrl());

    if (variable.isNull())
        qunsetenv(urlVariable);
    else
        qputenv(urlVariable, variable);
    if (refused)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("QUORVANTIS_API_URL refused"));
    const QString address = makeApi()->baseUrl();
    QCOMPARE(address, expected.isEmpty() ? QuorvantisApi::defaultBaseUrl() : expected);
    QVERIFY(QuorvantisApi::defaultBaseUrl().startsWith("https://"));
    QVERIFY(QuorvantisApi::defaultBaseUrl().endsWith(":1001/cal"));
}

void TestQuorvantisApi::switchedOffSendsNothing()
{
    auto api = makeApi(false);
    QCOMPARE(api->apiIsAllowed(), false);
    Spies spies(api.get());
    api->setDownloadPath(tmp->filePath("setup.bin"));
    api->getCalibrationDate("123456");
    api->getLatestAppVersion();
    api->getLatestAppInstaller();
    api->cancelDownload();
    api->disconnectDownloadProgress();
    QTest::qWait(300);
    QCOMPARE(service->requestCount(), 0);
    QCOMPARE(spies.results() + spies.progress.count(), 0);
    QVERIFY(!QFile::exists(tmp->filePath("setup.bin")));
}

void TestQuorvantisApi::calibrationDate()
{
    auto api = makeApi();
    Spies spies(api.get());

    api->getCalibrationDate("123456");
    QVERIFY(spies.calibration.wait());
    QCOMPARE(spies.calibration.at(0).at(0).toString(), QStringLiteral("2027-05-31"));
    QCOMPARE(service->requests().value(0).query, QByteArray("barcode=123456"));

    api->getCalibrationDate("999");
    QVERIFY(spies.error.wait());
    QCOMPARE(spies.error.at(0).at(0).toString(), QStringLiteral("HTTP 404: Barcode not found"));
    QCOMPARE(spies.failed.count(), 0); // not the installer's failure

    TestWebService::Response odd;
    odd.body = R"({"other": "value"})";
    service->setOverride("/cal/get_calibration", odd);
    api->getCalibrationDate("123456");
    QVERIFY(spies.calibration.wait());
    QCOMPARE(spies.calibration.at(1).at(0).toString(), QString());
    QCOMPARE(spies.results(), 3);

    // An answer far larger than any date is not taken in.
    odd.body = R"({"cal_expiry": "2030-01-01"})" + QByteArray(100 * 1024, ' ');
    service->setOverride("/cal/get_calibration", odd);
    api->getCalibrationDate("123456");
    QVERIFY(spies.error.wait());
    QCOMPARE(spies.error.at(1).at(0).toString(), QStringLiteral("HTTP 200: Answer too large"));

    // Instrument A unplugged while its date is on its way, then B plugged in:
    // A's late answer must not land under B's barcode.
    odd.body = R"({"cal_expiry": "2001-01-01"})";
    odd.trickleMs = 40;
    service->setOverride("/cal/get_calibration", odd);
    QSignalSpy aborted(service.get(), &TestWebService::answerAborted);
    api->getCalibrationDate("111111");
    QTRY_COMPARE(service->requestCount(), 5);
    service->clearOverrides();
    service->addBarcode("222222", "2031-02-28");
    api->getCalibrationDate("222222");
    QVERIFY(spies.calibration.wait());
    QCOMPARE(spies.calibration.last().at(0).toString(), QStringLiteral("2031-02-28"));
    QVERIFY(aborted.count() == 1 || aborted.wait());
    QCOMPARE(spies.calibration.count(), 3);

    // Behind redirects the date comes as without them.
    service->setRedirects("/cal/get_calibration", 5, 307);
    api->getCalibrationDate("123456");
    QVERIFY(spies.calibration.wait());
    QCOMPARE(spies.calibration.last().at(0).toString(), QStringLiteral("2027-05-31"));
}

void TestQuorvantisApi::latestVersion()
{
    service->setVersion("2.3.4");
    auto api = makeApi();
    Spies spies(api.get());
    api->getLatestAppVersion();
    QVERIFY(spies.version.wait());
    QCOMPARE(spies.version.at(0).at(0).toString(), QStringLiteral("2.3.4"));
    service->setVersion(QStringLiteral("\t2.3\u0007\n.5\u202e\u2028"));
    api->getLatestAppVersion();
    QVERIFY(spies.version.wait());
    QCOMPARE(spies.version.at(1).at(0).toString(), QStringLiteral("2.3.5"));

    // An answer that is not JSON is logged and dropped.
    TestWebService::Response text;
    text.body = "2.3.5";
    service->setOverride("/cal/installer/version", text);
    QTest::ignoreMessage(QtDebugMsg, "None Op received");
    api->getLatestAppVersion();
    QTRY_COMPARE(service->requestCount(), 3);
    QTest::qWait(200);
    QCOMPARE(spies.results(), 2);

    service->clearOverrides();
    service->setRedirects("/cal/installer/version", 1, 302);
    api->getLatestAppVersion();
    QVERIFY(spies.version.wait());
    QCOMPARE(spies.version.at(2).at(0).toString(), QStringLiteral("2.3.5"));
}

void TestQuorvantisApi::installerDigest_data()
{
    using Hash = TestWebService::HashMode;
    QTest::addColumn<Hash>("mode");
    QTest::addColumn<QString>("served"); // empty: the installer
    QTest::addColumn<int>("redirects");  // of status 302
    QTest::addColumn<QString>("error");  // empty: accepted
    const QString mismatch = QStringLiteral("Hash values did not match");
    QTest::newRow("correct") << Hash::Correct << "" << 0 << "";
    QTest::newRow("upper case") << Hash::UpperCase << "" << 0 << "";
    QTest::newRow("a check answered meanwhile") << Hash::Correct << "check" << 0 << "";
    QTest::newRow("wrong") << Hash::Wrong << "" << 0 << mismatch;
    QTest::newRow("missing") << Hash::Missing << "" << 0 << mismatch;
    // From a download host, as the same download.
    QTest::newRow("behind a redirect") << Hash::Correct << "" << 1 << "";
    QTest::newRow("behind five redirects") << Hash::Correct << "" << 5 << "";
    QTest::newRow("wrong behind a redirect") << Hash::Wrong << "" << 1 << mismatch;
    QTest::newRow("gone behind a redirect")
        << Hash::Correct << "gone" << 1 << "HTTP 404: Not Found";
    QTest::newRow("too large behind a redirect")
        << Hash::Correct << "huge" << 1 << "HTTP 200: Answer too large";
    QTest::newRow("six redirects") << Hash::Correct << "" << 6 << "HTTP 302: Too many redirects";
    QTest::newRow("redirect to a local file")
        << Hash::Correct << "file" << 1 << "HTTP 302: Unsupported redirect";
}

void TestQuorvantisApi::installerDigest()
{
    QFETCH(TestWebService::HashMode, mode);
    QFETCH(int, redirects);
    QFETCH(QString, served);
    QFETCH(QString, error);
    service->setHashMode(mode);
    const QString path = tmp->filePath("setup.exe");
    writeFile(path, "previous installer");
    if (redirects > 0)
        service->setRedirects("/cal/installer", redirects, 302,
                              served == "file" ? QUrl::fromLocalFile(path).toEncoded() : "");
    if (served == "gone" || served == "huge") {
        TestWebService::Response answer;
        answer.status = served == "gone" ? 404 : 200;
        answer.body = R"({"detail": "Not Found"})";
        answer.declaredLength = served == "huge" ? QuorvantisApi::maxInstallerBytes + 1 : -1;
        service->setOverride("/cal/installer", answer);
    }

    auto api = makeApi();
    api->setDownloadPath(path);
    Spies spies(api.get());
    service->setInstallerPacing(served == "check" ? 16 * 1024 : 0, 20);
    api->getLatestAppInstaller();
    if (served == "check")
        api->getLatestAppVersion();
    QTRY_COMPARE(spies.results() - spies.version.count(), 1);

    const qlonglong size = service->installer().size();
    if ((served.isEmpty() || served == "check") && redirects <= 5) {
        QVERIFY(!spies.progress.isEmpty());
        QCOMPARE(spies.progress.last(), (QList<QVariant>{size, size}));
        for (qsizetype i = 0; i < spies.progress.count(); ++i)
            QVERIFY(spies.progress.at(i).at(1) == size &&
                    spies.progress.at(i).at(0).toLongLong() >=
                        spies.progress.value(i - 1).value(0).toLongLong());
    }
    QCOMPARE(spies.error.value(0).value(0).toString(), error);
    QCOMPARE(spies.failed.value(0).value(0).toString(), error);
    QCOMPARE(spies.completed.count() + spies.failed.count(), 1);
    QCOMPARE(readFile(path), error.isEmpty() ? service->installer() : "previous installer");
    QCOMPARE(QDir(tmp->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"setup.exe"});
}

void TestQuorvantisApi::failedWriteLeavesNoFile()
{
    auto api = makeApi();
    Spies spies(api.get());

    // A directory where the file should go.
    const QString blocked = tmp->filePath("setup.exe");
    QVERIFY(QDir().mkpath(blocked));
    api->setDownloadPath(blocked);
    api->getLatestAppInstaller();
    QVERIFY(spies.error.wait());
    QCOMPARE(spies.error.at(0).at(0).toString(), "Failed to write to: " + blocked);
    QVERIFY(QFileInfo(blocked).isDir());
    QCOMPARE(QDir(tmp->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
             QStringList{"setup.exe"});

    const QString missingFolder = tmp->filePath("no/such/folder/setup.exe");
    api->setDownloadPath(missingFolder);
    api->getLatestAppInstaller();
    QVERIFY(spies.error.wait());
    QCOMPARE(spies.error.at(1).at(0).toString(), "Failed to write to: " + missingFolder);
    QVERIFY(!QFileInfo::exists(tmp->filePath("no")));
    QCOMPARE(spies.completed.count(), 0);
    // The user is told why, not of an interrupted or corrupted download.
    QCOMPARE(spies.failed.at(0).at(0).toString(),
             "Failed to write to: " + blocked + " (Not a regular file)");
    QCOMPARE(spies.failed.at(1).at(0).toString(),
             "Failed to write to: " + missingFolder + " (No such file or directory)");

    // A small installer fits a write buffer: on a full disk only its flush fails.
    FullDisk disk(tmp->path());
    const QString earlier = disk.path() + "/setup.exe";
    writeFile(earlier, "previous installer");
    service->setInstaller(QByteArray(8 * 1024, 'i'));
    if (!disk.fill())
        QSKIP("Neither a small tmpfs nor a file-size limit could be set up");
    api->setDownloadPath(earlier);
    api->getLatestAppInstaller();
    QVERIFY(spies.failed.wait());
    disk.release();
    QCOMPARE(spies.error.at(2).at(0).toString(), "Failed to write to: " + earlier);
    QCOMPARE(readFile(earlier), QByteArray("previous installer"));
    QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"setup.exe"});
    QCOMPARE(spies.completed.count(), 0);
}

void TestQuorvantisApi::cancelDuringSlowDownload_data()
{
    QTest::addColumn<bool>("switchOff");
    QTest::addColumn<int>("redirects");
    QTest::newRow("checks on") << false << 0;
    // The calibration answer must not land once the user said no.
    QTest::newRow("checks switched off") << true << 0;
    // The cancel reaches the request that runs after the redirect.
    QTest::newRow("behind a redirect") << false << 1;
}

void TestQuorvantisApi::cancelDuringSlowDownload()
{
    QFETCH(bool, switchOff);
    QFETCH(int, redirects);
    service->setInstallerPacing(2048, 20);
    if (redirects > 0)
        service->setRedirects("/cal/installer", redirects, 302);
    TestWebService::Response slowDate;
    slowDate.body = QByteArray(R"({"cal_expiry": "2030-01-01"})").leftJustified(30 * 1024, ' ');
    slowDate.paced = true;
    service->setOverride("/cal/get_calibration", slowDate);

    const QString path = tmp->filePath("setup.exe");
    auto api = makeApi();
    api->setDownloadPath(path);
    Spies spies(api.get());
    QSignalSpy aborted(service.get(), &TestWebService::answerAborted);

    api->getLatestAppInstaller();
    QVERIFY(spies.progress.wait());
    // A later request must not turn the cancel away from the download.
    api->getCalibrationDate("123456");
    QTRY_COMPARE(service->requestCount(), 2 + redirects);
    if (switchOff) {
        api->setApiIsAllowed(false);
        QVERIFY(aborted.wait());
        QCOMPARE(aborted.at(0).at(0).toString(), QStringLiteral("/cal/get_calibration"));
        aborted.clear();
    }
    // Still works with the checks off.
    api->cancelDownload();

    QVERIFY(aborted.wait());
    QVERIFY(aborted.at(0).at(0).toString().endsWith(QStringLiteral("/cal/installer")));
    if (switchOff) {
        QTest::qWait(300);
    } else {
        QVERIFY(spies.calibration.wait(10000));
        QCOMPARE(spies.calibration.at(0).at(0).toString(), QStringLiteral("2030-01-01"));
    }
    QTest::qWait(100);
    QCOMPARE(spies.calibration.count(), switchOff ? 0 : 1);
    QCOMPARE(spies.completed.count(), 0);
    QCOMPARE(spies.error.count() + spies.failed.count(), 0);
    QVERIFY(!QFile::exists(path));
}

void TestQuorvantisApi::progressConnectionsAddUp()
{
    service->setInstaller(QByteArray(64, 'x'));
    auto api = makeApi();
    api->setDownloadPath(tmp->filePath("setup.exe"));
    Spies spies(api.get());

    api->getLatestAppInstaller();
    api->getLatestAppInstaller();
    QTRY_COMPARE(spies.completed.count(), 2);
    // Two connections: every step is reported twice.
    QVERIFY(spies.progress.count() % 2 == 0);
    QCOMPARE(spies.progress.at(0), spies.progress.at(1));

    api->disconnectDownloadProgress();
    spies.progress.clear();
    api->getLatestAppVersion();
    QVERIFY(spies.version.wait());
    QCOMPARE(spies.progress.count(), 0);
}

void TestQuorvantisApi::qmlSetsProperties()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(R"(
        import QtQml
        import QuorvantisApi
        QuorvantisApi {
            apiIsAllowed: true
            downloadPath: "/tmp/setup.exe"
        })",
                      QUrl());
    std::unique_ptr<QObject> object(component.create());
    QVERIFY2(object, qPrintable(component.errorString()));
    auto *api = qobject_cast<QuorvantisApi *>(object.get());
    QVERIFY(api);
    QCOMPARE(api->apiIsAllowed(), true);
    QCOMPARE(api->downloadPath(), QStringLiteral("/tmp/setup.exe"));
}

QTEST_GUILESS_MAIN(TestQuorvantisApi)
#include "tst_quorvantisapi.moc"
