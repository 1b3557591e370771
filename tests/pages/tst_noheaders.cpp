// When the running program shows the malfunction page: only when the walk over
// the instrument's headers fails while the instrument stays connected.
#include "commands/protocolcommands.h"
#include "depthprobe.h"
#include "shell/startup.h"
#include "shelltest.h"
#include "standinhid.h"

#include <QApplication>
#include <QPointer>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <atomic>
#include <memory>

using namespace ShellTest;

namespace {

// While set, header requests go unanswered, so each walk step times out.
std::atomic<bool> headersSilent{false};

InstrumentSimulator &instrument()
{
    return StandInHid::instance().simulator();
}

QString scenario(const char *name)
{
    return qEnvironmentVariable("QV_TEST_DATA") + QLatin1Char('/') + QLatin1String(name);
}

} // namespace

class TestNoHeaders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void failedWalkShowsPageAndRestartResets();
    void erasedUnitShowsDataScreen();
    void failedRefreshShowsNothing();
    void unplugDuringWalkReturnsToFirstPage();

private:
    void start(const char *scenarioName);
    QObject *find(const QString &name) const { return findByName(m_window, name); }
    QString topPageName() const;
    bool stackHolds(const QString &pageName) const;
    void click(const QString &name);
    void waitForFailure(QSignalSpy &failures);

    QTemporaryDir m_programData;
    std::unique_ptr<Startup> m_startup;
    QQuickWindow *m_window = nullptr;
    QObject *m_stack = nullptr;
    QObject *m_device = nullptr;
};

void TestNoHeaders::initTestCase()
{
    QVERIFY(m_programData.isValid());
    qputenv("ProgramData", m_programData.path().toLocal8Bit());
    // Nothing leaves for the web: consent is off below.
    qputenv("QUORVANTIS_API_URL", "http://127.0.0.1:9");
    instrument().setCommandHandler(
        13, [](InstrumentSimulator &simulator, const InstrumentSimulator::Report &request) {
            if (headersSilent.load())
                return InstrumentSimulator::Reply();
            return SimulatedCommands::entryHeader(simulator, request);
        });
}

void TestNoHeaders::cleanup()
{
    m_startup.reset();
    m_window = nullptr;
    m_stack = nullptr;
    m_device = nullptr;
    instrument().unplug();
    headersSilent = false;
}

void TestNoHeaders::start(const char *scenarioName)
{
    QString error;
    QVERIFY2(StandInHid::instance().loadScenario(scenario(scenarioName), &error),
             qPrintable(error));
    instrument().unplug();
    instrument().clearRequests();
    QVERIFY(writeConfig(m_programData.path(),
                        R"({"firstTimeRun": false, "optInForAutoCalCheck": false})"));
    startProgram(m_startup, m_window);
    if (QTest::currentTestFailed())
        return;
    m_stack = find(QStringLiteral("viewStack"));
    m_device = find(QStringLiteral("device"));
    QVERIFY(m_stack && m_device);
}

QString TestNoHeaders::topPageName() const
{
    return ShellTest::topPageName(m_stack);
}

bool TestNoHeaders::stackHolds(const QString &pageName) const
{
    const QString script =
        QStringLiteral("find(function(page) { return page.pageName === '%1' })").arg(pageName);
    return evaluate(m_stack, script).value<QObject *>() != nullptr;
}

void TestNoHeaders::click(const QString &name)
{
    ShellTest::click(m_window, m_stack, name);
}

// A step that gets no answer fails after the engine's time-out windows (seconds).
void TestNoHeaders::waitForFailure(QSignalSpy &failures)
{
    QTRY_VERIFY_WITH_TIMEOUT(failures.count() >= 1, 20000);
    // The shell's reaction is queued behind the signal.
    QTest::qWait(300);
}

void TestNoHeaders::failedWalkShowsPageAndRestartResets()
{
    start("probe.json");
    QSignalSpy failures(m_device, SIGNAL(headerWalkFailed()));
    headersSilent = true;
    instrument().replug();
    waitForFailure(failures);
    QTRY_COMPARE(topPageName(), QStringLiteral("NoHeaders"));
    QVERIFY(m_device->property("connected").toBool());
    // The page replaces the loading notice, which would claim a load still going.
    QVERIFY(!find(QStringLiteral("notification2"))->property("isShowing").toBool());
    QCOMPARE(find(QStringLiteral("noHeadersPage"))->property("resetDevice").value<QObject *>(),
             find(QStringLiteral("resetDevice")));

    DepthProbe probe(m_stack);
    QVERIFY(connect(m_device, SIGNAL(disconnected()), &probe, SLOT(record())));
    click(QStringLiteral("restartButton"));
    QTRY_COMPARE(instrument().requestCount(8), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!probe.seen.isEmpty(), 10000);
    QCOMPARE(probe.seen.first(), 1);
}

void TestNoHeaders::erasedUnitShowsDataScreen()
{
    start("empty.json");
    QSignalSpy failures(m_device, SIGNAL(headerWalkFailed()));
    instrument().replug();
    QObject *loading = find(QStringLiteral("notification2"));
    QTRY_VERIFY_WITH_TIMEOUT(m_device->property("hasAllHeaders").toBool(), 10000);
    QTRY_VERIFY(!loading->property("isShowing").toBool());
    QCOMPARE(m_device->property("dataEntries").value<QList<QObject *>>().size(), 0);
    QTest::qWait(500);
    QCOMPARE(topPageName(), QStringLiteral("Data"));
    QVERIFY(!stackHolds(QStringLiteral("NoHeaders")));
    QCOMPARE(failures.count(), 0);
}

void TestNoHeaders::failedRefreshShowsNothing()
{
    start("probe.json");
    instrument().replug();
    QTRY_VERIFY_WITH_TIMEOUT(m_device->property("hasAllHeaders").toBool(), 10000);
    QTRY_COMPARE(topPageName(), QStringLiteral("Data"));

    QSignalSpy failures(m_device, SIGNAL(headerWalkFailed()));
    headersSilent = true;
    QVERIFY(QMetaObject::invokeMethod(m_device, "refreshDataEntries"));
    waitForFailure(failures);
    QVERIFY(m_device->property("connected").toBool());
    QCOMPARE(topPageName(), QStringLiteral("Data"));
    QVERIFY(!stackHolds(QStringLiteral("NoHeaders")));
}

void TestNoHeaders::unplugDuringWalkReturnsToFirstPage()
{
    start("probe.json");
    QSignalSpy failures(m_device, SIGNAL(headerWalkFailed()));
    QSignalSpy connected(m_device, SIGNAL(connected()));
    headersSilent = true;
    instrument().replug();
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 10000);
    // The walk's first step is waiting for its answer when the unit leaves.
    QTest::qWait(300);
    instrument().unplug();
    QTRY_VERIFY_WITH_TIMEOUT(!m_device->property("connected").toBool(), 15000);
    QTRY_COMPARE(m_stack->property("depth").toInt(), 1);
    QTest::qWait(1000);
    QCOMPARE(topPageName(), QStringLiteral("NotConnected"));
    QVERIFY(!stackHolds(QStringLiteral("NoHeaders")));
    QCOMPARE(failures.count(), 0);
}

int main(int argc, char *argv[])
{
    return ShellTest::runInProcess<TestNoHeaders>(argc, argv);
}

#include "tst_noheaders.moc"
