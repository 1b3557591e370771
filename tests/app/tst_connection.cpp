// Plugging the simulated instrument in and out behind the stand-in hidapi:
// the shell's reactions to the connection, with consent to the web checks.
#include "shell/startup.h"
#include "shelltest.h"
#include "testwebservice.h"

#include <QApplication>
#include <QFile>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <memory>

using namespace ShellTest;

class TestConnection : public QObject
{
    Q_OBJECT

public:
    TestConnection(QString programData, QString plugFile)
        : m_programData(std::move(programData)), m_plugFile(std::move(plugFile))
    {}

private slots:
    void initTestCase();
    void cleanupTestCase();
    void connectionPushesTheDataPageAndAsksForTheCalibrationDate();
    void disconnectionReturnsToTheFirstPage();

private:
    QObject *find(const QString &name) const { return findByName(m_window, name); }
    void plug(bool in);

    QString m_programData;
    QString m_plugFile;
    TestWebService m_service;
    std::unique_ptr<Startup> m_startup;
    QQuickWindow *m_window = nullptr;
};

void TestConnection::initTestCase()
{
    m_service.addBarcode(QStringLiteral("42"), QStringLiteral("2099-06-30"));
    QVERIFY(m_service.listen());
    qputenv("QUORVANTIS_API_URL", m_service.baseUrl().toUtf8());
    QVERIFY(writeConfig(m_programData, R"({"firstTimeRun": false, "optInForAutoCalCheck": true})"));
    startProgram(m_startup, m_window);
}

void TestConnection::cleanupTestCase()
{
    m_startup.reset();
}

void TestConnection::plug(bool in)
{
    QFile file(m_plugFile);
    if (in)
        QVERIFY(file.open(QIODevice::WriteOnly));
    else
        QVERIFY(file.remove());
}

void TestConnection::connectionPushesTheDataPageAndAsksForTheCalibrationDate()
{
    QObject *device = m_window->findChild<QObject *>(QStringLiteral("device"));
    QObject *vars = m_window->findChild<QObject *>(QStringLiteral("apiVars"));
    QObject *loading = find(QStringLiteral("notification2"));
    QVERIFY(device && vars && loading);
    QCOMPARE(device->property("connected").toBool(), false);

    plug(true);
    QTRY_VERIFY_WITH_TIMEOUT(device->property("connected").toBool(), 10000);
    QTRY_COMPARE(loading->property("text").toString(), QStringLiteral("Loading headers"));
    QTRY_COMPARE_WITH_TIMEOUT(vars->property("calDate").toString(), QStringLiteral("Jun 2099"),
                              10000);
    bool asked = false;
    const QList<TestWebService::Request> requests = m_service.requests();
    for (const TestWebService::Request &request : requests)
        asked |= request.path.endsWith(QLatin1String("/get_calibration")) &&
                 request.query == "barcode=42";
    QVERIFY(asked);
    // The header walk ends the lasting notice.
    QTRY_VERIFY_WITH_TIMEOUT(!loading->property("isShowing").toBool(), 10000);

    QObject *stack = find(QStringLiteral("viewStack"));
    QVERIFY(stack);
    QCOMPARE(stack->property("depth").toInt(), 2);
    QCOMPARE(topPageName(stack), QStringLiteral("Data"));
}

void TestConnection::disconnectionReturnsToTheFirstPage()
{
    QObject *device = m_window->findChild<QObject *>(QStringLiteral("device"));
    QObject *stack = find(QStringLiteral("viewStack"));
    QVERIFY(device && stack);
    QVERIFY(device->property("connected").toBool());
    m_window->setProperty("lastSelectedSession", 3);
    // A page above the data screen goes too.
    evaluate(stack, QStringLiteral("push('qrc:/content/NotConnected.qml')"));
    QTRY_COMPARE(stack->property("depth").toInt(), 3);

    plug(false);
    QTRY_VERIFY_WITH_TIMEOUT(!device->property("connected").toBool(), 10000);
    QTRY_COMPARE(stack->property("depth").toInt(), 1);
    QCOMPARE(topPageName(stack), QStringLiteral("NotConnected"));
    QCOMPARE(m_window->property("lastSelectedSession").toInt(), -1);

    // A calibration answer that comes after its instrument went is nobody's.
    TestWebService::Response late;
    late.body = R"({"cal_expiry": "2001-01-01"})";
    late.trickleMs = 150;
    m_service.setOverride(QUrl(m_service.baseUrl()).path() + "/get_calibration", late);
    m_service.clearRequests();
    plug(true);
    QTRY_VERIFY_WITH_TIMEOUT(m_service.requestCount() == 1, 10000);
    plug(false);
    QTRY_VERIFY_WITH_TIMEOUT(!device->property("connected").toBool(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(m_service.requests().constFirst().completed, 10000);
    QTest::qWait(300);
    QCOMPARE(find(QStringLiteral("apiVars"))->property("calDate").toString(),
             QStringLiteral("Jun 2099"));
    m_service.clearOverrides();
}

int main(int argc, char *argv[])
{
    QTemporaryDir scratch;
    const QString plugFile = scratch.filePath(QStringLiteral("plugged"));
    const QString programData = scratch.filePath(QStringLiteral("programdata"));
    qputenv("ProgramData", programData.toLocal8Bit());
    qputenv("QV_SIM_PLUG_FILE", plugFile.toLocal8Bit());
    qputenv("QV_SIM_SCENARIO", qgetenv("QV_TEST_DATA") + "/basic.json");
    Startup::prepareEnvironment();
    QtWebEngineQuick::initialize();
    QApplication app(argc, argv);
    TestConnection test(programData, plugFile);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_connection.moc"
