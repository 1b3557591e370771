// Runs the real executable: the single-instance lock and its data folder.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sys/stat.h>

namespace {
const QString DataFolderName = QStringLiteral("QuorvANTIS Talvenor");

bool waitForFile(const QString &path, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(path)) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(50);
    }
    return true;
}
} // namespace

class TestStartupProcess : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void secondInstanceExitsSilentlyWithOne();
    void lockFallsBackToUserDataFolderWithoutProgramData();
    void lockNobodyHoldsIsTakenOver_data();
    void lockNobodyHoldsIsTakenOver();
    void lockBeingWrittenIsNotTakenOver();
    void unusableDataFolderExitsWithOne();

private:
    std::unique_ptr<QProcess> startApp(const QProcessEnvironment &env);
    QProcessEnvironment environment() const;
    void stopApp(QProcess &process);

    std::unique_ptr<QTemporaryDir> m_programData;
    std::unique_ptr<QTemporaryDir> m_runtime;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

void TestStartupProcess::init()
{
    m_programData = std::make_unique<QTemporaryDir>();
    // A private runtime folder with the permissions Qt expects, so that a
    // warning about it cannot pass for output of the program.
    m_runtime = std::make_unique<QTemporaryDir>();
    QVERIFY(m_programData->isValid() && m_runtime->isValid());
}

void TestStartupProcess::cleanup()
{
    for (auto &process : m_processes)
        stopApp(*process);
    m_processes.clear();
}

QProcessEnvironment TestStartupProcess::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ProgramData"), m_programData->path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime->path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The program must find its modules beside itself, not through the
    // test environment's import path.
    env.remove(QStringLiteral("QML_IMPORT_PATH"));
    return env;
}

std::unique_ptr<QProcess> TestStartupProcess::startApp(const QProcessEnvironment &env)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(env);
    process->setProgram(QStringLiteral(QV_APP_EXECUTABLE));
    // Started from elsewhere than the build folder.
    process->setWorkingDirectory(m_runtime->path());
    process->start();
    return process;
}

void TestStartupProcess::stopApp(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000))
        process.kill();
    process.waitForFinished(5000);
}

void TestStartupProcess::secondInstanceExitsSilentlyWithOne()
{
    m_processes.push_back(startApp(environment()));
    QProcess &first = *m_processes.back();
    const QString lock = m_programData->filePath(DataFolderName + QStringLiteral("/app.lock"));
    QVERIFY2(waitForFile(lock), "the first instance never took its lock");
    // The configuration lives beside the lock.
    QVERIFY(waitForFile(m_programData->filePath(DataFolderName + QStringLiteral("/config.json"))));

    std::unique_ptr<QProcess> second = startApp(environment());
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 1);
    QCOMPARE(second->readAllStandardOutput(), QByteArray());
    QCOMPARE(second->readAllStandardError(), QByteArray());

    QTest::qWait(300);
    QCOMPARE(first.state(), QProcess::Running);
    QVERIFY(QFile::exists(lock));
}

void TestStartupProcess::lockFallsBackToUserDataFolderWithoutProgramData()
{
    QProcessEnvironment env = environment();
    env.remove(QStringLiteral("ProgramData"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_programData->path());
    m_processes.push_back(startApp(env));
    QVERIFY(waitForFile(m_programData->filePath(DataFolderName + QStringLiteral("/app.lock"))));

    env.insert(QStringLiteral("ProgramData"), QString());
    std::unique_ptr<QProcess> second = startApp(env);
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitCode(), 1);
}

void TestStartupProcess::lockNobodyHoldsIsTakenOver_data()
{
    QTest::addColumn<QByteArray>("content"); // null: left by a killed instance
    QTest::addColumn<QString>("inPlace");    // "pipe" or "folder" in its place
    QTest::newRow("killed instance") << QByteArray() << QString();
    // As a power cut just after a start can leave it.
    QTest::newRow("empty") << QByteArray("") << QString();
    QTest::newRow("garbled") << QByteArray("not-a-pid\n") << QString();
    QTest::newRow("another machine")
        << QByteArray("4242\nQuorvANTIS\nanother-machine\n") << QString();
    // Opened, it would block every start for good.
    QTest::newRow("named pipe") << QByteArray() << "pipe";
    QTest::newRow("empty folder") << QByteArray() << "folder";
}

void TestStartupProcess::lockNobodyHoldsIsTakenOver()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, inPlace);
    const QString lock = m_programData->filePath(DataFolderName + QStringLiteral("/app.lock"));
    if (inPlace == "pipe") {
        QVERIFY(QDir().mkpath(QFileInfo(lock).absolutePath()));
        QCOMPARE(::mkfifo(QFile::encodeName(lock).constData(), 0600), 0);
    } else if (inPlace == "folder") {
        QVERIFY(QDir().mkpath(lock));
    } else if (content.isNull()) {
        std::unique_ptr<QProcess> crashed = startApp(environment());
        QVERIFY(waitForFile(lock));
        crashed->kill();
        QVERIFY(crashed->waitForFinished(10000));
        QVERIFY2(QFile::exists(lock), "a killed process leaves its lock file behind");
    } else {
        QVERIFY(QDir().mkpath(QFileInfo(lock).absolutePath()));
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }

    m_processes.push_back(startApp(environment()));
    QProcess &next = *m_processes.back();
    QTest::qWait(3000);
    QCOMPARE(next.state(), QProcess::Running);
    QVERIFY(QFileInfo(lock).isFile());
    QFile taken(lock);
    QVERIFY(taken.open(QIODevice::ReadOnly));
    QCOMPARE(taken.readLine().trimmed().toLongLong(), next.processId());

    // The new holder keeps the single-instance rule.
    std::unique_ptr<QProcess> second = startApp(environment());
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitCode(), 1);
    QCOMPARE(second->readAllStandardError(), QByteArray());
}

void TestStartupProcess::lockBeingWrittenIsNotTakenOver()
{
    // Made by an instance starting just now, which writes it a moment later.
    const QString lock = m_programData->filePath(DataFolderName + QStringLiteral("/app.lock"));
    QVERIFY(QDir().mkpath(QFileInfo(lock).absolutePath()));
    QFile file(lock);
    QVERIFY(file.open(QIODevice::WriteOnly));
    std::unique_ptr<QProcess> app = startApp(environment());
    QTest::qWait(500);
    QFile held(m_runtime->filePath(QStringLiteral("holder.lock")));
    QLockFile holder(held.fileName());
    QVERIFY(holder.lock() && held.open(QIODevice::ReadOnly));
    QVERIFY(file.write(held.readAll()) > 0 && file.flush());
    QVERIFY(app->waitForFinished(20000));
    QCOMPARE(app->exitCode(), 1);
}

void TestStartupProcess::unusableDataFolderExitsWithOne()
{
    // A plain file where the data folder's parent should be: the folder and
    // its lock cannot be made.
    const QString blocker = m_programData->filePath(QStringLiteral("blocker"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("ProgramData"), blocker);

    std::unique_ptr<QProcess> app = startApp(env);
    QVERIFY(app->waitForFinished(20000));
    QCOMPARE(app->exitCode(), 1);
    QCOMPARE(app->readAllStandardError(), QByteArray());
}

QTEST_GUILESS_MAIN(TestStartupProcess)
#include "tst_startupprocess.moc"
