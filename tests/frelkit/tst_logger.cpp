#include "logger.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtConcurrent>
#include <QtTest>

namespace {

QStringList linesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// Deletes the logger at the end of a test, so the next one gets a fresh one.
struct LoggerGuard
{
    Logger *logger;
    ~LoggerGuard() { delete logger; }
};

} // namespace

class TestLogger : public QObject
{
    Q_OBJECT

private slots:
    void levelFilterAndLineFormat();
    void infoLevelKeepsOnlyInfo();
    void debugLevelKeepsEverything();
    void oneInstanceUntilDestroyed();
    void startsANewFileEachRun();
    void acceptsFileUrls();
    void linesFromManyThreadsStayWhole();

private:
    QTemporaryDir dir;
};

void TestLogger::levelFilterAndLineFormat()
{
    const QString path = dir.filePath("default.log");
    LoggerGuard guard{Logger::instance(path)};
    QCOMPARE(guard.logger->logLevel(), QtWarningMsg);

    qDebug() << "not written";
    qInfo("info line");
    qWarning("warning line");
    qCritical("critical line");

    const QStringList lines = linesOf(path);
    QCOMPARE(lines.size(), 3);
    const QRegularExpression stamp(R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] )");
    QVERIFY(lines[0].startsWith("INFO:  ["));
    QVERIFY(lines[1].startsWith("WARN:  ["));
    QVERIFY(lines[2].startsWith("CRIT:  ["));
    QVERIFY(lines[0].endsWith("] info line"));
    for (const QString &line : lines)
        QVERIFY2(stamp.match(line.mid(7)).hasMatch(), qPrintable(line));

    // The stamp is local time.
    const QDateTime written =
        QDateTime::fromString(lines[1].mid(8, 19), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QVERIFY(qAbs(written.secsTo(QDateTime::currentDateTime())) < 5);
}

void TestLogger::infoLevelKeepsOnlyInfo()
{
    const QString path = dir.filePath("info.log");
    LoggerGuard guard{Logger::instance(path)};
    guard.logger->setLogLevel(QtInfoMsg);
    QCOMPARE(guard.logger->property("logLevel").value<QtMsgType>(), QtInfoMsg);

    qDebug("debug");
    qWarning("warning");
    qCritical("critical");
    qInfo("info");
    guard.logger->handleMessage(QtMsgType(42), QMessageLogContext(), "odd type");

    QCOMPARE(linesOf(path).size(), 2);
    QVERIFY(linesOf(path)[0].startsWith("INFO:  "));
    // An unknown type carries no prefix and is always written.
    QVERIFY(linesOf(path)[1].startsWith("["));
    QVERIFY(linesOf(path)[1].endsWith("] odd type"));
}

void TestLogger::debugLevelKeepsEverything()
{
    const QString path = dir.filePath("debug.log");
    LoggerGuard guard{Logger::instance(path)};
    guard.logger->setLogLevel(QtDebugMsg);

    qDebug("d");
    qInfo("i");
    qWarning("w");
    qCritical("c");
    const QStringList lines = linesOf(path);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].startsWith("DEBUG: ["));
}

void TestLogger::oneInstanceUntilDestroyed()
{
    const QString first = dir.filePath("first.log");
    const QString second = dir.filePath("second.log");
    Logger *logger = Logger::instance(first);
    QCOMPARE(Logger::instance(second), logger);
    QVERIFY(!QFile::exists(second));

    delete logger;
    // The previous handler is back: nothing more reaches the old file.
    qWarning("after destruction");
    QVERIFY(linesOf(first).isEmpty());

    // A later call makes a new logger on the new name.
    LoggerGuard guard{Logger::instance(second)};
    QVERIFY(QFile::exists(second));
    qWarning("to the second");
    QCOMPARE(linesOf(second).size(), 1);
}

void TestLogger::startsANewFileEachRun()
{
    const QString path = dir.filePath("rerun.log");
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("left over from last time\n");
    }
    LoggerGuard guard{Logger::instance(path)};
    qWarning("fresh");
    const QStringList lines = linesOf(path);
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines[0].endsWith("] fresh"));
}

void TestLogger::acceptsFileUrls()
{
    const QString path = dir.filePath("from url.log");
    LoggerGuard guard{Logger::instance(QUrl::fromLocalFile(path).toString())};
    qWarning("via url");
    QCOMPARE(linesOf(path).size(), 1);
}

void TestLogger::linesFromManyThreadsStayWhole()
{
    const QString path = dir.filePath("threads.log");
    LoggerGuard guard{Logger::instance(path)};
    constexpr int threads = 8;
    constexpr int perThread = 400;
    const QString tail = QString(200, QLatin1Char('x'));

    QList<QFuture<void>> running;
    for (int t = 0; t < threads; ++t) {
        running << QtConcurrent::run([t, &tail] {
            for (int i = 0; i < perThread; ++i)
                qWarning("thread %d message %d %s", t, i, qPrintable(tail));
        });
    }
    // One thread keeps changing the level meanwhile; warnings pass at both.
    for (int i = 0; i < 100; ++i)
        guard.logger->setLogLevel(i % 2 ? QtWarningMsg : QtDebugMsg);
    for (auto &f : running)
        f.waitForFinished();

    const QStringList lines = linesOf(path);
    QCOMPARE(lines.size(), threads * perThread);
    const QRegularExpression whole(R"(^WARN:  \[[^\]]+\] thread \d message \d+ x{200}$)");
    for (const QString &line : lines)
        QVERIFY2(whole.match(line).hasMatch(), qPrintable(line.left(80)));
}

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
