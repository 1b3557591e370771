#include "startup.h"

#include "framelesswindow.h"
#include "settrove/datafolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QLockFile>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QSysInfo>
#include <QThread>
#include <QWindow>
#include <QtQml/qqmlextensionplugin.h>

// The style constants and the icon font are built into the program.
Q_IMPORT_QML_PLUGIN(QVImportsPlugin)
Q_IMPORT_QML_PLUGIN(FontAwesomePlugin)

namespace {
const char ApplicationVersion[] = "3";
const char RobotoResource[] = ":/content/fonts/Roboto-Regular.ttf";
// How long a lock file may stay unreadable while its writer may still be at it.
constexpr qint64 unreadableLockGraceMs = 1000;
} // namespace

// The module of the pages lives in a library of its own; naming its
// registration function keeps that library linked.
void qml_register_types_content();

void Startup::prepareEnvironment()
{
    qputenv("QT_AUTO_SCREEN_SCALE_FACTOR", "1");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "1");
    // Qt 6 always scales for high-dpi screens; the old attribute is a no-op.
    qputenv("QT_LOGGING_RULES", "qt.qml.connections=false");
    qputenv("QT_QUICK_CONTROLS_CONF", ":/qtquickcontrols2.conf");
    qputenv("QML_COMPAT_RESOLVE_URLS_ON_ASSIGNMENT", "1");
#ifdef Q_OS_LINUX
    // With TZ unset, glibc reads the zone file again for every local-time
    // conversion, and sessions convert thousands; naming the system's own
    // file keeps the same zone without that cost.
    if (qEnvironmentVariableIsEmpty("TZ") && QFile::exists(QStringLiteral("/etc/localtime")))
        qputenv("TZ", ":/etc/localtime");
#endif
}

QString Startup::lockFilePath()
{
    return settrove::dataFolder() + QStringLiteral("/app.lock");
}

QUrl Startup::mainDocumentUrl()
{
    return QUrl(QStringLiteral("qrc:/Main/main.qml"));
}

Startup::Startup() = default;

Startup::~Startup()
{
    // The scene first: its objects may still use the lock's folder.
    m_engine.reset();
    m_lock.reset();
}

std::optional<int> Startup::start()
{
    volatile auto keepLinked = &qml_register_types_content;
    Q_UNUSED(keepLinked);

    if (!takeInstanceLock())
        return 1;

    QCoreApplication::setApplicationVersion(QString::fromLatin1(ApplicationVersion));
    // The picture the title bar draws and the installation ships: every window
    // of the program, the taskbar and the window switcher show it.
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));
    loadApplicationFont();

    m_engine = std::make_unique<QQmlApplicationEngine>();
    m_engine->rootContext()->setContextProperty(QStringLiteral("version"),
                                                QString::fromLatin1(ApplicationVersion));
    m_engine->rootContext()->setContextProperty(QStringLiteral("applicationPath"),
                                                QDir::currentPath());
    // The build the diagnostics page names.
    m_engine->rootContext()->setContextProperty(QStringLiteral("gitTag"),
                                                QStringLiteral(QV_GIT_TAG));

    const QUrl url = mainDocumentUrl();
    QObject::connect(
        m_engine.get(), &QQmlApplicationEngine::objectCreated, QCoreApplication::instance(),
        [url](QObject *object, const QUrl &objectUrl) {
            if (!object && objectUrl == url)
                QCoreApplication::exit(-1);
        },
        Qt::QueuedConnection);

    // Modules built into the program sit under qrc:/, the libraries in the
    // "qml" folder beside the executable.
    m_engine->addImportPath(QStringLiteral("qrc:/"));
    m_engine->addImportPath(QCoreApplication::applicationDirPath() + QStringLiteral("/qml"));
    m_engine->load(url);
    if (m_engine->rootObjects().isEmpty())
        return -1;

    findAndHookMainWindow();
    return std::nullopt;
}

bool Startup::takeInstanceLock()
{
    QDir().mkpath(settrove::dataFolder());
    m_lock = std::make_unique<QLockFile>(lockFilePath());
    // Only a lock that no running instance holds is taken over; Qt itself
    // takes over one whose process has ended.
    m_lock->setStaleLockTime(0);
    QElapsedTimer waited;
    waited.start();
    for (int takeOvers = 0;;) {
        // No instance makes anything but a regular file, and reading anything
        // else may never end (a pipe blocks in open): such a lock is removed
        // unread, and so is an empty folder; one with content is kept and
        // keeps the program from starting.
        const QFileInfo info(lockFilePath());
        if (info.isSymLink() || (info.exists() && !info.isFile())) {
            if (++takeOvers > 3 || !(QFile::remove(lockFilePath()) || QDir().rmdir(lockFilePath())))
                return false;
            continue;
        }
        if (m_lock->tryLock(0))
            return true;
        if (m_lock->error() != QLockFile::LockFailedError)
            return false;
        qint64 pid = 0;
        QString host;
        QString application;
        if (m_lock->getLockInfo(&pid, &host, &application)) {
            // One written on another machine (a copied or restored data
            // folder) is held by no instance here.
            if (host.isEmpty() || host == QSysInfo::machineHostName())
                return false;
        } else {
            // Empty or garbled, as a power cut can leave it; but an instance
            // starting just now may not have written its lock yet.
            const qint64 age =
                QFileInfo(lockFilePath()).lastModified().msecsTo(QDateTime::currentDateTime());
            if (age >= 0 && age < unreadableLockGraceMs) {
                if (waited.elapsed() > 2 * unreadableLockGraceMs)
                    return false;
                QThread::msleep(50);
                continue;
            }
        }
        if (++takeOvers > 3 || !m_lock->removeStaleLockFile())
            return false;
    }
}

void Startup::loadApplicationFont()
{
    const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(RobotoResource));
    const QStringList families =
        id == -1 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty()) {
        qWarning("Failed to load Roboto font!");
        return;
    }
    QGuiApplication::setFont(QFont(families.first(), -1, -1, false));
}

void Startup::findAndHookMainWindow()
{
    const QList<QObject *> roots = m_engine->rootObjects();
    for (QObject *root : roots) {
        QWindow *window = qobject_cast<QWindow *>(root);
        if (!window)
            window = root->findChild<QWindow *>();
        if (window) {
            m_mainWindow = window;
            installFramelessWindowHook(window);
            return;
        }
    }
}

int runApplication()
{
    Startup startup;
    if (const std::optional<int> exitCode = startup.start())
        return *exitCode;
    return QCoreApplication::exec();
}
