#pragma once

// The whole program in-process, as a user meets it: a private "ProgramData",
// the local test web service, the simulated instrument behind the stand-in
// hidapi, and the main window driven by clicks on items found by name.

#include "filedialogs.h"
#include "shell/startup.h"
#include "shelltest.h"
#include "standinhid.h"
#include "testwebservice.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlProperty>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace E2e {

inline QJsonArray fieldRecords(int count)
{
    QJsonArray records;
    for (int i = 0; i < count; ++i)
        records.append(QJsonArray{i == 0 ? 0 : 5, 100 + i % 50, 90 + (i * 7) % 60});
    return records;
}

inline QJsonObject fieldSession(const QString &start, int readings)
{
    return QJsonObject{{"type", "field"}, {"start", start}, {"records", fieldRecords(readings)}};
}

inline QJsonObject audioSession(const QString &start, int samples)
{
    QJsonArray bytes;
    for (int i = 0; i < samples; ++i)
        bytes.append(128 + int(100 * ((i % 40) - 20) / 20.0) / 2);
    return QJsonObject{{"type", "audio"}, {"start", start}, {"samples", bytes}};
}

// Oldest first; with live records the newest field session grows.
inline QJsonObject instrument(const QJsonArray &sessions, bool live = true)
{
    QJsonObject object{{"identity", QJsonObject{{"barcode", 123456}, {"databaseId", 7}}},
                       {"bootloaderVersion", QJsonArray{2, 1}},
                       {"firmwareVersion", QJsonArray{1, 4}},
                       {"batteryRaw", 1006},
                       {"sessions", sessions}};
    if (live)
        object.insert("live", QJsonObject{{"appendEveryMs", 1000},
                                          {"records", QJsonArray{QJsonArray{1, 120, 80}}}});
    return object;
}

// The name a bulk export gives a session: its local start time.
inline QString localStamp(const QString &isoUtc)
{
    QDateTime time = QDateTime::fromString(isoUtc, Qt::ISODate);
    time.setTimeSpec(Qt::UTC);
    return time.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

class App
{
public:
    App()
    {
        qputenv("ProgramData", m_programData.path().toLocal8Bit());
        m_service.listen();
        qputenv("QUORVANTIS_API_URL", m_service.baseUrl().toUtf8());
    }
    ~App()
    {
        forget();
        StandInHid::instance().simulator().replug();
        StandInHid::instance().setFrameMs(0);
    }
    App(const App &) = delete;
    App &operator=(const App &) = delete;

    TestWebService &service() { return m_service; }
    QString programData() const { return m_programData.path(); }
    QString files() const { return m_files.path(); }
    QJsonObject config() const { return ShellTest::readConfig(m_programData.path()); }
    bool writeConfig(const QByteArray &json)
    {
        return ShellTest::writeConfig(m_programData.path(), json);
    }
    bool consentGiven(bool yes)
    {
        return writeConfig(yes ? R"({"firstTimeRun": false, "optInForAutoCalCheck": true})"
                               : R"({"firstTimeRun": false, "optInForAutoCalCheck": false})");
    }

    // Loads the instrument (plugged unless told otherwise); "" or the fault.
    QString plugIn(const QJsonObject &scenario, bool plugged = true)
    {
        const QString path = m_programData.filePath(QStringLiteral("instrument.json"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(QJsonDocument(scenario).toJson()) < 0)
            return QStringLiteral("cannot write the scenario");
        file.close();
        QString error;
        if (!StandInHid::instance().loadScenario(path, &error))
            return error;
        StandInHid::instance().instrument().setLiveClockRunning(false);
        if (!plugged)
            StandInHid::instance().simulator().unplug();
        return QString();
    }
    InstrumentSimulator &simulator() { return StandInHid::instance().simulator(); }
    ScenarioInstrument &instrumentModel() { return StandInHid::instance().instrument(); }

    bool start()
    {
        m_startup = std::make_unique<Startup>();
        if (m_startup->start() || !window())
            return false;
        // Every page shown, also those that stay only a moment.
        QQmlComponent watch(m_startup->engine());
        watch.setData("import QtQuick\nQtObject { property var pages: []\n"
                      " function watch(stack) { stack.currentItemChanged.connect(function() {"
                      " if (stack.currentItem) pages.push(stack.currentItem.pageName) }) } }",
                      QUrl());
        m_pageWatch.reset(watch.create(qmlContext(window())));
        if (m_pageWatch)
            QMetaObject::invokeMethod(
                m_pageWatch.get(), "watch",
                Q_ARG(QVariant, QVariant::fromValue(object(QStringLiteral("viewStack")))));
        return QTest::qWaitForWindowExposed(window());
    }
    Startup *startup() const { return m_startup.get(); }
    void forget()
    {
        m_pageWatch.reset();
        m_startup.reset();
    }
    QStringList pagesSeen() const
    {
        QVariant pages = m_pageWatch ? m_pageWatch->property("pages") : QVariant();
        if (pages.userType() == qMetaTypeId<QJSValue>())
            pages = pages.value<QJSValue>().toVariant();
        return pages.toStringList();
    }
    QQuickWindow *window() const
    {
        return qobject_cast<QQuickWindow *>(m_startup ? m_startup->mainWindow() : nullptr);
    }

    QObject *object(const QString &name) const
    {
        return window() ? ShellTest::findByName(window(), name) : nullptr;
    }
    QQuickItem *item(const QString &name) const
    {
        return window() ? qobject_cast<QQuickItem *>(
                              ShellTest::findByName(window()->contentItem(), name))
                        : nullptr;
    }
    QString text(const QString &name) const
    {
        QObject *found = object(name);
        return found ? found->property("text").toString() : QString();
    }
    bool enabled(const QString &name) const
    {
        QQuickItem *found = item(name);
        // Some buttons declare an "enabled" of their own.
        return found && found->property("enabled").toBool() && found->isVisible();
    }
    bool visible(const QString &name) const
    {
        QQuickItem *found = item(name);
        return found && found->isVisible();
    }

    QString topPage() const
    {
        QObject *stack = object(QStringLiteral("viewStack"));
        QObject *top = stack ? stack->property("currentItem").value<QObject *>() : nullptr;
        return top ? top->property("pageName").toString() : QString();
    }
    int depth() const
    {
        QObject *stack = object(QStringLiteral("viewStack"));
        return stack ? stack->property("depth").toInt() : -1;
    }
    QString banner() const { return visibleText(QStringLiteral("notification")); }
    QString secondBanner() const { return visibleText(QStringLiteral("notification2")); }

    // A press and release on the item's centre, scrolling the side panel to
    // it first. Hidden items take no click.
    bool click(const QString &name) { return click(item(name)); }
    bool click(QQuickItem *target)
    {
        // A page sliding in takes no clicks.
        if (QObject *stack = object(QStringLiteral("viewStack")))
            ShellTest::waitFor([stack] { return !stack->property("busy").toBool(); }, 3000);
        if (!target || !target->isVisible())
            return false;
        if (QQuickItem *flickable = item(QStringLiteral("panelFlickable"))) {
            if (flickable->isAncestorOf(target)) {
                const QPointF inView = target->mapToItem(
                    flickable, QPointF(target->width() / 2, target->height() / 2));
                if (inView.y() < 0 || inView.y() > flickable->height()) {
                    const qreal y = flickable->property("contentY").toReal();
                    flickable->setProperty("contentY", y + inView.y() - flickable->height() / 2);
                }
            }
        }
        const QPointF centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        if (!QRectF(QPointF(), window()->size()).contains(centre)) {
            qWarning() << "click outside the window:" << target->objectName() << centre
                       << window()->size();
        }
        QTest::mouseClick(window(), Qt::LeftButton, {}, centre.toPoint());
        return true;
    }
    bool clickRow(int index)
    {
        const QString name = QStringLiteral("sessionRow%1").arg(index);
        return ShellTest::waitFor([&] { return item(name) != nullptr; }, 10000) && click(name);
    }

    // A file or folder typed into the dialog shown, key by key, then Enter.
    bool choose(const QString &path) { return FileDialogs::type(path); }

    // A button of an open dialog (its items live in the window's overlay).
    bool clickIn(QObject *dialog, const QString &name)
    {
        return dialog && click(qobject_cast<QQuickItem *>(ShellTest::findByName(dialog, name)));
    }

    QList<QObject *> questions() const
    {
        QList<QObject *> open;
        for (QObject *dialog : ShellTest::findByType(window(), "YesNoDialog"))
            if (dialog->property("visible").toBool())
                open.append(dialog);
        return open;
    }

    int requestsTo(const QString &path) const
    {
        int count = 0;
        for (const TestWebService::Request &request : m_service.requests())
            count += request.path.endsWith(path) ? 1 : 0;
        return count;
    }
    QString lastRequestQuery(const QString &path) const
    {
        QString query;
        for (const TestWebService::Request &request : m_service.requests())
            if (request.path.endsWith(path))
                query = request.query;
        return query;
    }

    // Field plot: the points of the exposure series and the plot's traces
    // and notes as the page draws them.
    QVariantList vertices() const
    {
        QObject *field = object(QStringLiteral("dataField"));
        QObject *series =
            field ? field->property("exposureLineSeries").value<QObject *>() : nullptr;
        return series ? series->property("vertices").toList() : QVariantList();
    }
    QStringList traceNames() const { return plotList("traces", "name"); }
    QStringList noteTexts() const { return plotList("annotations", "text"); }

    // Runs a script in the plot's page; the result, or an invalid variant
    // when none came within the time.
    QVariant pageValue(const QString &script, int timeoutMs = 5000)
    {
        return ShellTest::pageValue(object(QStringLiteral("webView")), script, timeoutMs);
    }

    QByteArray readFile(const QString &path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QString visibleText(const QString &name) const
    {
        QObject *found = object(name);
        if (!found)
            return QString();
        return found->property("isShowing").toBool() ? found->property("text").toString()
                                                     : QString();
    }
    QStringList plotList(const char *property, const char *key) const
    {
        QStringList out;
        QObject *plot = object(QStringLiteral("plot"));
        if (!plot)
            return out;
        QVariant value = plot->property(property);
        if (value.userType() == qMetaTypeId<QJSValue>())
            value = value.value<QJSValue>().toVariant();
        for (const QVariant &entry : value.toList())
            out.append(entry.toMap().value(QLatin1String(key)).toString());
        return out;
    }

    QTemporaryDir m_programData;
    QTemporaryDir m_files;
    TestWebService m_service;
    std::unique_ptr<Startup> m_startup;
    std::unique_ptr<QObject> m_pageWatch;
};

} // namespace E2e
