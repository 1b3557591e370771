// The consent question for the web checks, run in-process against the local
// test web service: what is asked, when, what is stored, and that nothing is
// sent before the user said yes.
#include "shell/startup.h"
#include "shelltest.h"
#include "testwebservice.h"

#include <QApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <memory>

using namespace ShellTest;

namespace {
const QString AfterErrorText = QStringLiteral(
    "Would you like the app to automatically check:\n1. If software updates are available.\n2. "
    "The calibration expiry date of a connected unit.\n\nSee application terms and conditions "
    "for details.");
const QString FirstRunText = QStringLiteral(
    "Would you like the app to automatically check:\n1. If software updates are available.\n2. "
    "The calibration expiry date of a connected unit.\nSee application terms and conditions for "
    "details.");
} // namespace

class TestConsent : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void missingFileAsksAfterErrorAndNoSendsNothing();
    void brokenFileAsksAfterError();
    void firstRunAsksAndYesAllowsChecks();
    void firstRunIsRecordedOnlyByTheAnswer();
    void storedConsentChecksWithoutAsking();
    void storedRefusalSendsNothing();
    void unwritableConfigurationAsksOnce_data();
    void unwritableConfigurationAsksOnce();

private:
    void start();
    QObject *window() const { return m_startup->mainWindow(); }
    // The questions shown (a save dialog keeps one of its own, hidden).
    QList<QObject *> questions() const
    {
        QList<QObject *> shown = findByType(window(), "YesNoDialog");
        shown.removeIf([](QObject *dialog) { return !dialog->property("visible").toBool(); });
        return shown;
    }
    QObject *onlyQuestion();
    int requestsTo(const QString &path) const;

    std::unique_ptr<QTemporaryDir> m_programData;
    std::unique_ptr<TestWebService> m_service;
    std::unique_ptr<Startup> m_startup;
};

void TestConsent::init()
{
    m_programData = std::make_unique<QTemporaryDir>();
    QVERIFY(m_programData->isValid());
    qputenv("ProgramData", m_programData->path().toLocal8Bit());
    m_service = std::make_unique<TestWebService>();
    QVERIFY(m_service->listen());
    qputenv("QUORVANTIS_API_URL", m_service->baseUrl().toUtf8());
}

void TestConsent::cleanup()
{
    m_startup.reset();
    m_service.reset();
    m_programData.reset();
}

void TestConsent::start()
{
    m_startup = std::make_unique<Startup>();
    QVERIFY(!m_startup->start());
    QVERIFY(window());
}

QObject *TestConsent::onlyQuestion()
{
    const QList<QObject *> open = questions();
    if (open.size() != 1) {
        qWarning() << "questions open:" << open.size();
        return nullptr;
    }
    return open.first();
}

int TestConsent::requestsTo(const QString &path) const
{
    int count = 0;
    const QList<TestWebService::Request> requests = m_service->requests();
    for (const TestWebService::Request &request : requests)
        count += request.path.endsWith(path) ? 1 : 0;
    return count;
}

void TestConsent::missingFileAsksAfterErrorAndNoSendsNothing()
{
    start();
    QObject *question = onlyQuestion();
    QVERIFY(question);
    QCOMPARE(question->property("message").toString(), AfterErrorText);
    QCOMPARE(question->property("dialogTitle").toString(), QString());
    QVERIFY(question->property("visible").toBool());
    QCOMPARE(window()->property("recoveredFromMissingConfig").toBool(), true);

    QTest::qWait(300);
    QCOMPARE(m_service->requests().size(), 0);

    QVERIFY(QMetaObject::invokeMethod(question, "no"));
    QTRY_COMPARE(questions().size(), 0);
    const QJsonObject config = readConfig(m_programData->path());
    QCOMPARE(config.value("optInForAutoCalCheck"), QJsonValue(false));
    QCOMPARE(config.value("firstTimeRun"), QJsonValue(false));
    QTest::qWait(300);
    QCOMPARE(m_service->requests().size(), 0);
}

void TestConsent::brokenFileAsksAfterError()
{
    QVERIFY(writeConfig(m_programData->path(), "{ not json"));
    start();
    QObject *question = onlyQuestion();
    QVERIFY(question);
    QCOMPARE(question->property("message").toString(), AfterErrorText);

    QVERIFY(QMetaObject::invokeMethod(question, "yes"));
    QTRY_COMPARE(requestsTo("/installer/version"), 1);
    QCOMPARE(readConfig(m_programData->path()).value("firstTimeRun"), QJsonValue(false));
    QCOMPARE(readConfig(m_programData->path()).value("optInForAutoCalCheck"), QJsonValue(true));
}

void TestConsent::firstRunAsksAndYesAllowsChecks()
{
    m_service->setVersion(QStringLiteral("4"));
    QVERIFY(writeConfig(m_programData->path(),
                        R"({"firstTimeRun": true, "optInForAutoCalCheck": true})"));
    start();
    QObject *question = onlyQuestion();
    QVERIFY(question);
    QCOMPARE(question->property("message").toString(), FirstRunText);
    QCOMPARE(window()->property("recoveredFromMissingConfig").toBool(), false);
    QTest::qWait(300);
    QCOMPARE(m_service->requests().size(), 0);

    QVERIFY(QMetaObject::invokeMethod(question, "yes"));
    QTRY_COMPARE(questions().size(), 0);
    QTRY_COMPARE(requestsTo("/installer/version"), 1);

    // The announced version reaches the footer.
    QObject *label = findByName(window(), QStringLiteral("appInfoLabel"));
    QVERIFY(label);
    QTRY_COMPARE(label->property("text").toString(), QStringLiteral("Update available"));
}

void TestConsent::firstRunIsRecordedOnlyByTheAnswer()
{
    QVERIFY(writeConfig(m_programData->path(),
                        R"({"firstTimeRun": true, "optInForAutoCalCheck": true})"));
    start();
    QVERIFY(onlyQuestion());
    QTest::qWait(200);
    // Closing without an answer must ask again next time.
    QCOMPARE(readConfig(m_programData->path()).value("firstTimeRun"), QJsonValue(true));
}

void TestConsent::storedConsentChecksWithoutAsking()
{
    m_service->setVersion(QStringLiteral("3"));
    QVERIFY(writeConfig(m_programData->path(),
                        R"({"firstTimeRun": false, "optInForAutoCalCheck": true})"));
    start();
    QCOMPARE(questions().size(), 0);
    QTRY_COMPARE(requestsTo("/installer/version"), 1);
    // The same version is no update.
    QTest::qWait(300);
    QObject *label = findByName(window(), QStringLiteral("appInfoLabel"));
    QVERIFY(label);
    QCOMPARE(label->property("text").toString(), QStringLiteral("App Info"));
}

void TestConsent::storedRefusalSendsNothing()
{
    QVERIFY(writeConfig(m_programData->path(),
                        R"({"firstTimeRun": false, "optInForAutoCalCheck": false})"));
    start();
    QCOMPARE(questions().size(), 0);
    QTest::qWait(500);
    QCOMPARE(m_service->requests().size(), 0);
}

void TestConsent::unwritableConfigurationAsksOnce_data()
{
    QTest::addColumn<bool>("afterLoad");
    QTest::addColumn<bool>("fromSwitch");
    QTest::addColumn<bool>("yes");
    QTest::newRow("from the start") << false << false << false;
    // The user must learn that the answer was not stored.
    QTest::newRow("after the load") << true << false << false;
    // The switch shows the answer in force, not the click that asked.
    QTest::newRow("switched off on App Info, answered yes") << true << true << true;
}

void TestConsent::unwritableConfigurationAsksOnce()
{
    QFETCH(bool, afterLoad);
    QFETCH(bool, fromSwitch);
    QFETCH(bool, yes);
    const QString path = configPath(m_programData->path());
    if (afterLoad) {
        QVERIFY(writeConfig(m_programData->path(),
                            R"({"firstTimeRun": false, "optInForAutoCalCheck": true})"));
        start();
        QTRY_COMPARE(requestsTo("/installer/version"), 1);
        QCOMPARE(questions().size(), 0);
        QVERIFY(QFile::remove(path));
    }
    // A folder in place of the file: it can be neither read nor written, so
    // every write of the answer fails again.
    QVERIFY(QDir().mkpath(path));
    if (fromSwitch) {
        QObject *stack = findByName(window(), QStringLiteral("viewStack"));
        evaluate(stack, QStringLiteral("push('qrc:/content/AppInfo.qml')"));
        QTRY_COMPARE(topPageName(stack), QStringLiteral("AppInfo"));
        click(qobject_cast<QQuickWindow *>(window()), stack, QStringLiteral("userExpSwitch"));
    } else if (afterLoad)
        QVERIFY(QMetaObject::invokeMethod(window()->findChild<QObject *>("settrove"), "setValue",
                                          Q_ARG(QString, "optInForAutoCalCheck"),
                                          Q_ARG(QVariant, true)));
    else
        start();
    QCOMPARE(questions().size(), 1);
    QCOMPARE(onlyQuestion()->property("message").toString(), AfterErrorText);
    const int sent = m_service->requestCount();
    QVERIFY(QMetaObject::invokeMethod(onlyQuestion(), yes ? "yes" : "no"));
    QTRY_COMPARE(questions().size(), 0);
    QTest::qWait(300);
    QCOMPARE(questions().size(), 0);
    QCOMPARE(window()->findChild<QObject *>("qvApi")->property("apiIsAllowed").toBool(), yes);
    if (yes)
        QTRY_COMPARE(requestsTo("/installer/version"), 2);
    else
        QCOMPARE(m_service->requestCount(), sent);
    if (fromSwitch)
        QCOMPARE(
            findByName(window(), QStringLiteral("userExpSwitch"))->property("checked").toBool(),
            yes);
}

int main(int argc, char *argv[])
{
    return ShellTest::runInProcess<TestConsent>(argc, argv);
}

#include "tst_consent.moc"
