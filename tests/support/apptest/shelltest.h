#pragma once

// Helpers of the tests that run the whole program in-process: finding and
// clicking items of the running main window, evaluating QML in it, and reading
// or writing the configuration file it uses.

#include "shell/startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <functional>
#include <memory>

namespace ShellTest {

inline QObject *findByName(QObject *root, const QString &name)
{
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    if (auto *item = qobject_cast<QQuickItem *>(root)) {
        const QList<QQuickItem *> items = item->childItems();
        for (QQuickItem *child : items) {
            if (QObject *found = findByName(child, name))
                return found;
        }
    }
    const QObjectList children = root->children();
    for (QObject *child : children) {
        if (QObject *found = findByName(child, name))
            return found;
    }
    return nullptr;
}

// The shown items below root that match() picks, in tree order (a popup's
// items are below the window's content item too, in its overlay).
template <class Match> QList<QQuickItem *> shownItems(QQuickItem *root, const Match &match)
{
    QList<QQuickItem *> found;
    for (QQuickItem *child : root->childItems()) {
        if (child->isVisible()) {
            if (match(child))
                found.append(child);
            found += shownItems(child, match);
        }
    }
    return found;
}

inline QQuickItem *shownItem(QQuickItem *root, const QString &name)
{
    return shownItems(root, [&name](QQuickItem *item) { return item->objectName() == name; })
        .value(0);
}

// Objects below root whose QML type is typeName (e.g. "YesNoDialog").
inline QList<QObject *> findByType(QObject *root, const char *typeName)
{
    QList<QObject *> found;
    const QList<QObject *> all = root->findChildren<QObject *>();
    for (QObject *object : all) {
        const QByteArray className = object->metaObject()->className();
        if (className == typeName || className.startsWith(QByteArray(typeName) + "_QMLTYPE_"))
            found.append(object);
    }
    return found;
}

// The whole program started in-process, its main window shown.
inline void startProgram(std::unique_ptr<Startup> &startup, QQuickWindow *&window)
{
    startup = std::make_unique<Startup>();
    QVERIFY2(!startup->start(), "the start-up ended early");
    window = qobject_cast<QQuickWindow *>(startup->mainWindow());
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

// A click on the centre of the named item, once the page stack is still: a
// page sliding in or out takes no clicks.
inline void click(QQuickWindow *window, QObject *stack, const QString &name)
{
    QTRY_VERIFY_WITH_TIMEOUT(!stack->property("busy").toBool(), 5000);
    auto *item = qobject_cast<QQuickItem *>(findByName(window, name));
    QVERIFY2(item, qPrintable(name));
    QVERIFY2(item->isVisible(), qPrintable(name));
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

// The pageName of the page on top of the stack, "" when there is none.
inline QString topPageName(QObject *stack)
{
    QObject *top = stack ? stack->property("currentItem").value<QObject *>() : nullptr;
    return top ? top->property("pageName").toString() : QString();
}

// A QML expression evaluated in scope's context; errors are logged.
inline QVariant evaluate(QObject *scope, const QString &expression)
{
    QQmlExpression script(qmlContext(scope), scope, expression);
    const QVariant result = script.evaluate();
    if (script.hasError())
        qWarning() << expression << script.error().toString();
    return result;
}

// Runs the event loop until condition holds or the time is up, as the
// program's own loop runs. QTest's waits sleep about 10 ms between passes,
// which starves a web view's engine: a page loads five times slower.
inline bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    // Wakes the loop to look at the condition at least every millisecond.
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(1);
    while (!condition()) {
        if (clock.elapsed() >= timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Runs a script in a web view's page; its result, or an invalid variant when
// none came within the time.
inline QVariant pageValue(QObject *view, const QString &script, int timeoutMs = 20000)
{
    QQmlEngine *engine = view ? qmlEngine(view) : nullptr;
    if (!engine)
        return {};
    QQmlComponent component(engine);
    component.setData("import QtQml\nQtObject { property var result; property bool done: false\n"
                      " function probe(view, script) { view.runJavaScript(script,"
                      " function (r) { result = r; done = true }) } }",
                      QUrl());
    const std::unique_ptr<QObject> probe(component.create(qmlContext(view)));
    if (!probe)
        return {};
    QMetaObject::invokeMethod(probe.get(), "probe", Q_ARG(QVariant, QVariant::fromValue(view)),
                              Q_ARG(QVariant, script));
    if (!waitFor([&] { return probe->property("done").toBool(); }, timeoutMs))
        return {};
    return probe->property("result");
}

// The test object run with the program's environment prepared, as its own
// main prepares it before the application exists.
template <class Test> int runInProcess(int argc, char *argv[])
{
    Startup::prepareEnvironment();
    QtWebEngineQuick::initialize();
    QApplication app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

inline QString dataFolder(const QString &programData)
{
    return QDir(programData).filePath(QStringLiteral("QuorvANTIS Talvenor"));
}

inline QString configPath(const QString &programData)
{
    return dataFolder(programData) + QStringLiteral("/config.json");
}

inline bool writeConfig(const QString &programData, const QByteArray &content)
{
    QDir().mkpath(dataFolder(programData));
    QFile file(configPath(programData));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) >= 0;
}

inline QJsonObject readConfig(const QString &programData)
{
    QFile file(configPath(programData));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace ShellTest
