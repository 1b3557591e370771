// The close sequence, in-process with the event loop running: the window
// closes only once the instrument and exporter threads have finished, from
// a close request and from the title bar's close button alike.
#include "shell/startup.h"
#include "shelltest.h"

#include <QApplication>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <memory>

using namespace ShellTest;

class TestClosing : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void closeRequestWaitsForTheThreads();
    void closeButtonEndsTheLoopWithZero();

private:
    int runUntilClosed();
    bool allThreadsFinished() const;

    std::unique_ptr<QTemporaryDir> m_programData;
    std::unique_ptr<Startup> m_startup;
    QQuickWindow *m_window = nullptr;
};

void TestClosing::init()
{
    m_programData = std::make_unique<QTemporaryDir>();
    qputenv("ProgramData", m_programData->path().toLocal8Bit());
    QVERIFY(writeConfig(m_programData->path(),
                        R"({"firstTimeRun": false, "optInForAutoCalCheck": false})"));
    startProgram(m_startup, m_window);
}

void TestClosing::cleanup()
{
    m_startup.reset();
    m_programData.reset();
}

bool TestClosing::allThreadsFinished() const
{
    return m_window->property("deviceThreadFinished").toBool() &&
           m_window->property("csvExportedThreadFinished").toBool() &&
           m_window->property("tsvExportedThreadFinished").toBool();
}

int TestClosing::runUntilClosed()
{
    // The last window closing ends the loop; a hung sequence ends it with 99.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(20000);
    return QCoreApplication::exec();
}

void TestClosing::closeRequestWaitsForTheThreads()
{
    // The first request is refused: it only asks the threads to stop.
    QVERIFY(!m_window->close());
    QVERIFY(m_window->isVisible());
    // A second one while they stop changes nothing either.
    QVERIFY(!m_window->close());
    QVERIFY(m_window->isVisible());

    QCOMPARE(runUntilClosed(), 0);
    QVERIFY(allThreadsFinished());
    QVERIFY(!m_window->isVisible());
    QCOMPARE(readConfig(m_programData->path()).value("optInForAutoCalCheck"), QJsonValue(false));
}

void TestClosing::closeButtonEndsTheLoopWithZero()
{
    QObject *closeButton = findByName(m_window->contentItem(), QStringLiteral("windowClose"));
    QVERIFY(closeButton);
    QTimer::singleShot(0, closeButton,
                       [closeButton] { QMetaObject::invokeMethod(closeButton, "clicked"); });
    QCOMPARE(runUntilClosed(), 0);
    QVERIFY(allThreadsFinished());
    QVERIFY(!m_window->isVisible());
}

int main(int argc, char *argv[])
{
    return ShellTest::runInProcess<TestClosing>(argc, argv);
}

#include "tst_closing.moc"
