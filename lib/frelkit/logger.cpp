#include "logger.h"

#include "savename.h"

#include <QDateTime>
#include <QTextStream>

namespace {

// Guards the instance slot; held while a message is forwarded so that the
// logger cannot be destroyed under a writing thread. Standard mutexes, so that
// thread sanitizers see the ordering.
std::mutex slotMutex;
Logger *current = nullptr;

void forwardMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // A message raised while writing one (a file warning, say) would deadlock
    // or interleave; it is dropped.
    thread_local bool inside = false;
    if (inside)
        return;
    inside = true;
    {
        const std::lock_guard<std::mutex> lock(slotMutex);
        if (current)
            current->handleMessage(type, context, message);
    }
    inside = false;
}

} // namespace

Logger *Logger::instance(const QString &fileName, QObject *parent)
{
    const std::lock_guard<std::mutex> lock(slotMutex);
    if (current)
        return current;
    current = new Logger(fileName, parent);
    current->previousHandler = qInstallMessageHandler(forwardMessage);
    return current;
}

Logger::Logger(const QString &fileName, QObject *parent)
    : QObject(parent), file(wholefile::localPathOf(fileName))
{
    if (file.exists())
        file.remove();
    file.open(QIODevice::WriteOnly | QIODevice::Text);
}

Logger::~Logger()
{
    {
        const std::lock_guard<std::mutex> lock(slotMutex);
        if (current == this) {
            qInstallMessageHandler(previousHandler);
            current = nullptr;
        }
    }
    const std::lock_guard<std::mutex> lock(writeMutex);
    if (file.isOpen())
        file.close();
}

QtMsgType Logger::logLevel() const
{
    return level.load();
}

void Logger::setLogLevel(QtMsgType newLevel)
{
    level.store(newLevel);
}

void Logger::handleMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    const std::lock_guard<std::mutex> lock(writeMutex);
    if (!file.isOpen())
        return;

    // The numeric order of QtMsgType decides, so info (4) passes at every level
    // up to QtInfoMsg while debug (0) passes only at QtDebugMsg.
    const int threshold = level.load();
    QString prefix;
    switch (type) {
    case QtDebugMsg:
        if (threshold > QtDebugMsg)
            return;
        prefix = QStringLiteral("DEBUG: ");
        break;
    case QtWarningMsg:
        if (threshold > QtWarningMsg)
            return;
        prefix = QStringLiteral("WARN:  ");
        break;
    case QtCriticalMsg:
        if (threshold > QtCriticalMsg)
            return;
        prefix = QStringLiteral("CRIT:  ");
        break;
    case QtFatalMsg:
        if (threshold > QtFatalMsg)
            return;
        prefix = QStringLiteral("FATAL: ");
        break;
    case QtInfoMsg:
        if (threshold > QtInfoMsg)
            return;
        prefix = QStringLiteral("INFO:  ");
        break;
    }

    QTextStream stream(&file);
    stream << prefix << '['
           << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) << "] "
           << message << '\n';
    stream.flush();
    file.flush();
}
