// Main of the QML test executables: the web engine comes up before the
// application object, the executable's built-in modules are linked in, and
// the harness document supplies the ids that elements expect from their host.
#include "iconfont.h"

#include <QCoreApplication>
#include <QFile>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <signal.h>

Q_IMPORT_QML_PLUGIN(QVImportsPlugin)
Q_IMPORT_QML_PLUGIN(FontAwesomePlugin)

class QuickTestSetup : public QObject
{
    Q_OBJECT

public:
    QuickTestSetup()
    {
        QtWebEngineQuick::initialize();
        qputenv("QT_QUICK_CONTROLS_MATERIAL_THEME", "Light");
        // Hover as on a desktop with a mouse, whatever the headless platform reports.
        qputenv("QT_QUICK_CONTROLS_HOVER_ENABLED", "1");
        QQuickStyle::setStyle(QStringLiteral("Material"));
    }

public slots:
    void applicationAvailable() { IconFont::registerEmbedded(); }

    // Ends a web view's renderer by its pid, as a crash would.
    bool endRenderer(qint64 pid) const
    {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        return pid > 0 && cmdline.open(QIODevice::ReadOnly) &&
               cmdline.readAll().contains("QtWebEngineProcess") && ::kill(pid_t(pid), SIGKILL) == 0;
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->addImportPath(QStringLiteral(QV_QML_IMPORT_DIR));

        QQmlComponent component(engine, QUrl(QStringLiteral("qrc:/qvtest/Harness.qml")));
        QObject *harness = component.create();
        if (!harness)
            qFatal("Harness failed to load: %s", qPrintable(component.errorString()));
        harness->setParent(engine);

        QQmlContext *context = engine->rootContext();
        context->setContextProperty(QStringLiteral("harness"), harness);
        context->setContextProperty(QStringLiteral("processes"), this);
        for (const char *id : {"screenScaler", "mainWindow", "clipboard", "awesome"})
            context->setContextProperty(QLatin1String(id),
                                        harness->property(id).value<QObject *>());
    }
};

QUICK_TEST_MAIN_WITH_SETUP(qvquicktest, QuickTestSetup)

#include "quicktestmain.moc"
