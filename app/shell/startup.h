#pragma once

#include "quorvantisshell_global.h"

#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

class QLockFile;
class QQmlApplicationEngine;
class QWindow;

// The program's start-up, from the environment to the main window. main()
// runs it whole; an in-process test runs it up to the event loop and then
// looks into the engine.
class QUORVANTISSHELL_EXPORT Startup
{
public:
    // Must run before the application object exists: overwrites inherited values.
    static void prepareEnvironment();

    static QString lockFilePath();
    static QUrl mainDocumentUrl();

    Startup();
    ~Startup();
    Startup(const Startup &) = delete;
    Startup &operator=(const Startup &) = delete;

    // Takes the single-instance lock, loads the font and the main document and
    // hooks the main window. Returns the exit code when the program must end
    // at once (1: another instance runs; -1: no root object), nothing when the
    // window is up and the event loop may run. Needs the application object.
    std::optional<int> start();

    QQmlApplicationEngine *engine() const { return m_engine.get(); }
    QWindow *mainWindow() const { return m_mainWindow; }

private:
    bool takeInstanceLock();
    static void loadApplicationFont();
    void findAndHookMainWindow();

    // Declared before the engine: the engine goes first, then the lock.
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QWindow *m_mainWindow = nullptr;
};

// main() without the parts that must precede the application object.
QUORVANTISSHELL_EXPORT int runApplication();
