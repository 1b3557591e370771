#pragma once

#include "frelkit_global.h"

#include <QFile>
#include <QObject>
#include <QtGlobal>
#include <atomic>
#include <mutex>

// Process-wide file logger for the Qt message system. One instance at a time;
// messages from any thread are written whole, one line each.
class FRELKIT_EXPORT Logger : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QtMsgType logLevel READ logLevel WRITE setLogLevel)

public:
    // Returns the living logger, or creates one writing to fileName (a path or a
    // "file:" URL) and installs it as the message handler.
    static Logger *instance(const QString &fileName, QObject *parent = nullptr);
    ~Logger() override;

    QtMsgType logLevel() const;
    void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message);

public slots:
    void setLogLevel(QtMsgType level);

private:
    Logger(const QString &fileName, QObject *parent);

    QFile file;
    std::atomic<QtMsgType> level{QtWarningMsg};
    QtMessageHandler previousHandler = nullptr;
    std::mutex writeMutex;
};
