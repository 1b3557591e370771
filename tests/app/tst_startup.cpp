// Runs the start-up in-process, up to the event loop, and looks into the
// main window it made.
#include "shell/startup.h"
#include "shell/windowgeometry.h"
#include "shelltest.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QIcon>
#include <QImage>
#include <QLockFile>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <memory>

namespace {

// Runs code in the scope of object, as a handler of its document would.
bool evaluate(QObject *object, const QString &code)
{
    QQmlExpression expression(qmlContext(object), object, code);
    expression.evaluate();
    if (expression.hasError())
        qWarning() << expression.error().toString();
    return !expression.hasError();
}

// Pointer input as the user gives it: through the X server when there is one,
// so that a window manager sees it too, else handed to Qt. Each step through
// the server waits until the program has taken it.
class Pointer
{
public:
    explicit Pointer(QWindow *window) : m_window(window) {}
    bool throughServer() const { return bool(m_display); }

    void move(QPoint at)
    {
        if (!m_display)
            return QTest::mouseMove(m_window, at);
        moveTo(m_window->mapToGlobal(at));
    }
    // Straight to a point of the screen, as the drags across monitors go.
    void moveTo(QPoint global)
    {
        XTestFakeMotionEvent(m_display.get(), -1, global.x(), global.y(), 0);
        settle();
    }
    void press(QPoint at, bool settled = true)
    {
        if (!m_display)
            return QTest::mousePress(m_window, Qt::LeftButton, {}, at);
        move(at);
        XTestFakeButtonEvent(m_display.get(), 1, 1, 0);
        if (settled)
            settle();
    }
    void release(QPoint at)
    {
        if (!m_display)
            return QTest::mouseRelease(m_window, Qt::LeftButton, {}, at);
        XTestFakeButtonEvent(m_display.get(), 1, 0, 0);
        settle();
    }
    // Press and release with no pause between them, as a touchpad's tap.
    void tap(QPoint at)
    {
        press(at, false);
        release(at);
    }
    // Press, one motion by by and the release releaseAfter ms later, or two
    // motions spread over 90 ms by a GUI thread busy for 200 ms: the program
    // sees the whole gesture at once.
    void quickDrag(QPoint from, QPoint by, bool busy, int releaseAfter = 0)
    {
        if (!m_display) {
            QTest::mousePress(m_window, Qt::LeftButton, {}, from);
            QTest::mouseMove(m_window, from + by);
            return QTest::mouseRelease(m_window, Qt::LeftButton, {}, from + by);
        }
        move(from);
        const QPoint to = m_window->mapToGlobal(from + by);
        const auto send = [&](auto event, int pause) {
            event();
            XFlush(m_display.get());
            QThread::msleep(pause);
        };
        send([&] { XTestFakeButtonEvent(m_display.get(), 1, 1, 0); }, busy ? 30 : 0);
        if (busy) {
            send([&] { XTestFakeMotionEvent(m_display.get(), -1, to.x() - by.x() / 2, to.y(), 0); },
                 30);
        }
        send([&] { XTestFakeMotionEvent(m_display.get(), -1, to.x(), to.y(), 0); },
             busy ? 30 : releaseAfter);
        send([&] { XTestFakeButtonEvent(m_display.get(), 1, 0, 0); }, busy ? 80 : 0);
        settle();
    }
    // Brings the window back as a taskbar does, through the window manager.
    void activate()
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = m_window->winId();
        event.xclient.message_type = XInternAtom(m_display.get(), "_NET_ACTIVE_WINDOW", 0);
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2; // from a pager
        XSendEvent(m_display.get(), DefaultRootWindow(m_display.get()), 0,
                   SubstructureRedirectMask | SubstructureNotifyMask, &event);
        settle();
    }
    void doubleClick(QPoint at)
    {
        if (!m_display)
            return QTest::mouseDClick(m_window, Qt::LeftButton, {}, at);
        tap(at);
        tap(at);
    }

private:
    void settle()
    {
        XSync(m_display.get(), 0);
        QTest::qWait(100);
    }

    QWindow *m_window;
    std::unique_ptr<Display, int (*)(Display *)> m_display{
        QGuiApplication::platformName() == QLatin1String("xcb") ? XOpenDisplay(nullptr) : nullptr,
        XCloseDisplay};
};

// The window manager started on the test's X server; false when it does not
// take over.
bool startWindowManager(QProcess &manager, const QString &program)
{
    QStringList arguments = QProcess::splitCommand(program);
    manager.start(arguments.takeFirst(), arguments);
    std::unique_ptr<Display, int (*)(Display *)> display(XOpenDisplay(nullptr), XCloseDisplay);
    return manager.waitForStarted() && display && QTest::qWaitFor([&] {
               return XGetSelectionOwner(display.get(), XInternAtom(display.get(), "WM_S0", 0));
           });
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

public:
    explicit TestStartup(QTemporaryDir *programData) : m_programData(programData) {}

private slots:
    void initTestCase();
    void cleanupTestCase();
    void environmentWinsOverInherited();
    void contextPropertiesAndFont();
    void lockIsHeldInDataFolder();
    void notConnectedPageShows();
    void minimumSizeFollowsWorkArea();
    void resizeBandResizes();
    void clientPressesReachTheScene();
    void titleBarMovesTheWindow_data();
    void titleBarMovesTheWindow();
    void maximiseButtonAndDoubleClickToggle_data();
    void maximiseButtonAndDoubleClickToggle();
    void clicksThatMoveNothing_data();
    void clicksThatMoveNothing();
    void dropsAcrossTheLineComeToRest_data();
    void dropsAcrossTheLineComeToRest();
    void timedNoticeHidesTheLastingOneMeanwhile();
    void bulkExportOutcomesPopTheSavingPage_data();
    void webServiceAnswersReachTheWindow();
    void sessionTextGoesToTheClipboard();
    void footerOpensAndClosesTheInformationPage();
    void bulkExportOutcomesPopTheSavingPage();

private:
    QObject *find(const QString &name) const;
    // Where the named item is in the window: across its width, halfway down.
    QPoint pointIn(const QString &name, qreal across = 0.5) const;
    // A window manager moves and resizes from where the pointer is when it
    // takes over, past the drag distance; by hand it is from the press.
    QPoint takenOver(const QPoint &startMotion) const { return m_managed ? startMotion : QPoint(); }
    // Drags the title bar by dx, as a hand does: past the drag distance first.
    void dragTitleBar(const QList<int> &dx);

    QTemporaryDir *m_programData;
    QProcess m_windowManager;
    bool m_managed = false;
    std::unique_ptr<Pointer> m_pointer;
    QTemporaryDir m_workingDir;
    QString m_startDir;
    std::unique_ptr<Startup> m_startup;
    QQuickWindow *m_window = nullptr;
};

QObject *TestStartup::find(const QString &name) const
{
    return ShellTest::findByName(m_window ? m_window->contentItem() : nullptr, name);
}

QPoint TestStartup::pointIn(const QString &name, qreal across) const
{
    auto *item = qobject_cast<QQuickItem *>(find(name));
    if (!item)
        qFatal("no item %s", qPrintable(name));
    return item->mapToScene(QPointF(item->width() * across, item->height() / 2)).toPoint();
}

void TestStartup::initTestCase()
{
    // Started from elsewhere: the working directory becomes applicationPath.
    m_startDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_workingDir.path()));
    const QString manager = qEnvironmentVariable("QV_WINDOW_MANAGER");
    m_managed = !manager.isEmpty();
    if (m_managed && !startWindowManager(m_windowManager, manager))
        QSKIP("the window manager did not start (scripts/setup installs openbox)");
    ShellTest::startProgram(m_startup, m_window);
    m_pointer = std::make_unique<Pointer>(m_window);
    // Centred on its screen at its own size once a window manager, if any,
    // has placed it: a loaded server can show the small default size first.
    const QSize screen = m_window->screen()->size();
    const auto placed = [&] {
        return m_window->width() >= m_window->minimumWidth() &&
               m_window->position() == QPoint(int(0.5 * (screen.width() - m_window->width())),
                                              int(0.5 * (screen.height() - m_window->height())));
    };
    QTRY_VERIFY2(placed(), qPrintable(QDebug::toString(m_window->geometry())));
}

void TestStartup::cleanupTestCase()
{
    m_pointer.reset();
    m_startup.reset();
    m_windowManager.terminate();
    m_windowManager.waitForFinished();
    QVERIFY2(!QFile::exists(Startup::lockFilePath()), "the lock outlived the start-up");
    QDir::setCurrent(m_startDir);
}

void TestStartup::environmentWinsOverInherited()
{
    // main() set inherited values before prepareEnvironment() ran.
    QCOMPARE(qgetenv("QT_LOGGING_RULES"), QByteArray("qt.qml.connections=false"));
    QCOMPARE(qgetenv("QT_QUICK_CONTROLS_CONF"), QByteArray(":/qtquickcontrols2.conf"));
    QCOMPARE(qgetenv("QT_ENABLE_HIGHDPI_SCALING"), QByteArray("1"));
    QCOMPARE(qgetenv("QT_AUTO_SCREEN_SCALE_FACTOR"), QByteArray("1"));
    QCOMPARE(qgetenv("QML_COMPAT_RESOLVE_URLS_ON_ASSIGNMENT"), QByteArray("1"));
}

void TestStartup::contextPropertiesAndFont()
{
    QQmlContext *context = m_startup->engine()->rootContext();
    QCOMPARE(context->contextProperty("version").toString(), QStringLiteral("3"));
    QCOMPARE(context->contextProperty("applicationPath").toString(), m_workingDir.path());
    QVERIFY(!context->contextProperty("gitTag").toString().isEmpty());
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("3"));
    QCOMPARE(QFontInfo(QGuiApplication::font()).family(), QStringLiteral("Roboto"));
    QVERIFY(m_startup->engine()->importPathList().contains(QStringLiteral("qrc:/")));
    // The embedded controls configuration won over the inherited one.
    QCOMPARE(QQuickStyle::name(), QStringLiteral("Material"));
}

void TestStartup::lockIsHeldInDataFolder()
{
    const QString expected =
        m_programData->filePath(QStringLiteral("QuorvANTIS Talvenor/app.lock"));
    QCOMPARE(Startup::lockFilePath(), expected);
    QVERIFY(QFile::exists(expected));
    QLockFile other(expected);
    QVERIFY(!other.tryLock(0));
}

void TestStartup::notConnectedPageShows()
{
    QCOMPARE(m_window->title(), QStringLiteral("QuorvANTIS"));
    QVERIFY(m_window->flags().testFlag(Qt::FramelessWindowHint));
    // The taskbar and the window switcher show the picture of the title bar.
    const QImage icon(QStringLiteral(":/assets/icon.png"));
    QVERIFY(!icon.isNull());
    QCOMPARE(m_window->icon().pixmap(icon.size()).toImage().convertToFormat(icon.format()), icon);
    QObject *page = find(QStringLiteral("notConnectedPage"));
    QVERIFY(page);
    QCOMPARE(page->property("pageName").toString(), QStringLiteral("NotConnected"));
    QVERIFY(page->property("visible").toBool());
    QObject *title = find(QStringLiteral("textTitle"));
    QObject *description = find(QStringLiteral("textDescription"));
    QVERIFY(title && description);
    QCOMPARE(title->property("text").toString(), QStringLiteral("Not Connected"));
    QCOMPARE(description->property("text").toString(),
             QStringLiteral("Please connect a quorvANTIS device to your computer."));
    auto *picture = qobject_cast<QQuickItem *>(find(QStringLiteral("usbPicture")));
    QVERIFY(picture);
    QTRY_COMPARE(picture->property("status").toInt(), 1); // Image.Ready
    QCOMPARE(picture->size(), QSizeF(103, 150));
    QCOMPARE(picture->rotation(), 45.0);
}

void TestStartup::minimumSizeFollowsWorkArea()
{
    const QSize workArea = m_window->screen()->availableGeometry().size();
    QCOMPARE(m_window->minimumSize(), FramelessGeometry::minimumSize(workArea));
}

// Without a window manager (offscreen) the window layer resizes and moves the
// window by hand; with one, the system takes over once the pointer has moved.
void TestStartup::resizeBandResizes()
{
    const QRect before = m_window->geometry();
    const QPoint inRightBand(m_window->width() - 3, m_window->height() / 2);

    m_pointer->move(inRightBand);
    QTRY_COMPARE(m_window->cursor().shape(), Qt::SizeHorCursor);

    m_pointer->press(inRightBand);
    m_pointer->move(inRightBand + QPoint(15, 0));
    m_pointer->move(inRightBand + QPoint(40, 0));
    m_pointer->release(inRightBand + QPoint(40, 0));
    QTRY_COMPARE(m_window->width(), before.width() + 40 - takenOver(QPoint(15, 0)).x());
    QCOMPARE(m_window->height(), before.height());
    QCOMPARE(m_window->position(), before.topLeft());

    // Dragging the left band far right stops at the minimum width.
    const QPoint inLeftBand(2, m_window->height() / 2);
    m_pointer->press(inLeftBand);
    m_pointer->move(inLeftBand + QPoint(20, 0));
    m_pointer->move(inLeftBand + QPoint(5000, 0));
    m_pointer->release(inLeftBand + QPoint(5000, 0));
    QTRY_COMPARE(m_window->width(), m_window->minimumWidth());
    QCOMPARE(m_window->x() + m_window->width(),
             before.x() + before.width() + 40 - takenOver(QPoint(15, 0)).x());

    m_pointer->move(QPoint(m_window->width() / 2, m_window->height() / 2));
    QTRY_VERIFY(m_window->cursor().shape() != Qt::SizeHorCursor);
    m_window->setGeometry(before);
    QTRY_COMPARE(m_window->geometry(), before);
}

void TestStartup::clientPressesReachTheScene()
{
    auto *titleBar = qobject_cast<QQuickItem *>(find(QStringLiteral("appHeaderMouseArea")));
    QVERIFY(titleBar);
    const QPointF centre =
        titleBar->mapToScene(QPointF(titleBar->width() / 2, titleBar->height() / 2));
    const QPoint topBand(int(centre.x()), 2);

    // In the top band the press resizes; a little lower it is the title bar's.
    m_pointer->press(topBand);
    QVERIFY(!titleBar->property("pressed").toBool());
    m_pointer->release(topBand);
    m_pointer->press(centre.toPoint());
    QVERIFY(titleBar->property("pressed").toBool());
    m_pointer->release(centre.toPoint());
}

void TestStartup::titleBarMovesTheWindow_data()
{
    QTest::addColumn<bool>("otherScreen");
    QTest::newRow("on its screen") << false;
    // Under a window manager the press ends cancelled, not released.
    QTest::newRow("onto a smaller screen: 80 % x 85 % of it") << true;
}

void TestStartup::titleBarMovesTheWindow()
{
    QFETCH(bool, otherScreen);
    const QRect before = m_window->geometry();
    const QPoint press = pointIn(QStringLiteral("appHeaderMouseArea"), 1.0 / 3);
    QPoint by(30, 20);
    QScreen *target = QGuiApplication::screens().constLast();
    if (otherScreen) {
        if (target == m_window->screen())
            QSKIP("needs a second screen (xrandr --setmonitor)");
        by = QPoint(target->geometry().center().x() - before.center().x(), 0);
    }
    // The pointer stays over the same spot of the moving window.
    m_pointer->press(press);
    m_pointer->move(press + QPoint(15, 10));
    m_pointer->move(press + by);
    m_pointer->release(press);
    if (otherScreen) {
        QTRY_COMPARE(m_window->screen(), target);
        QTRY_COMPARE(m_window->size(),
                     QSize(int(target->size().width() * 0.8), int(target->size().height() * 0.85)));
    } else {
        QTRY_COMPARE(m_window->position(), before.topLeft() + by - takenOver(QPoint(15, 10)));
    }
    m_window->setGeometry(before);
    QTRY_COMPARE(m_window->geometry(), before);
}

void TestStartup::maximiseButtonAndDoubleClickToggle_data()
{
    QTest::addColumn<QString>("restore");
    QTest::newRow("double-click on the title bar") << "title bar";
    // A maximised window's top band is caption, not a resize border.
    QTest::newRow("double-click on the top band of the maximised window") << "top band";
    // The click must not leave a move behind that takes the next click.
    QTest::newRow("a click on the title bar, then the restore button") << "button";
    QTest::newRow("minimised with its button and brought back maximised") << "minimise";
}

void TestStartup::maximiseButtonAndDoubleClickToggle()
{
    QFETCH(QString, restore);
    const QRect normal = m_window->geometry();
    QObject *maximise = find(QStringLiteral("windowMaximize"));
    QVERIFY(maximise);
    QVERIFY(QMetaObject::invokeMethod(maximise, "clicked"));
    QTRY_COMPARE(m_window->visibility(), QWindow::Maximized);
    QTRY_COMPARE(m_window->geometry(), m_window->screen()->availableGeometry());
    QVERIFY(QMetaObject::invokeMethod(maximise, "clicked"));
    QTRY_COMPARE(m_window->visibility(), QWindow::Windowed);
    QTRY_COMPARE(m_window->geometry(), normal);

    const auto titleBar = [this] { return pointIn(QStringLiteral("appHeaderMouseArea"), 1.0 / 3); };
    m_pointer->doubleClick(titleBar());
    QTRY_COMPARE(m_window->visibility(), QWindow::Maximized);
    const auto showsRestore = [maximise] {
        return QQmlExpression(qmlContext(maximise), maximise,
                              "icon === awesome.icons.fa_window_restore")
            .evaluate()
            .toBool();
    };
    QVERIFY(showsRestore());
    if (restore == QLatin1String("minimise")) {
        if (!m_pointer->throughServer())
            QSKIP("needs an X server, with a window manager or none");
        m_pointer->tap(pointIn(QStringLiteral("windowMinimize")));
        if (m_managed) {
            QTRY_COMPARE(m_window->visibility(), QWindow::Minimized);
            m_pointer->activate();
        }
        // With nothing to minimise it, the window stays maximised and says so.
        QTRY_COMPARE(m_window->visibility(), QWindow::Maximized);
        QTRY_COMPARE(m_window->geometry(), m_window->screen()->availableGeometry());
        QVERIFY(showsRestore());
        m_pointer->tap(pointIn(QStringLiteral("windowMaximize")));
    } else if (restore == QLatin1String("button")) {
        m_pointer->tap(titleBar());
        m_pointer->tap(pointIn(QStringLiteral("windowMaximize")));
    } else {
        m_pointer->doubleClick(restore == QLatin1String("top band") ? QPoint(titleBar().x(), 2)
                                                                    : titleBar());
    }
    QTRY_COMPARE(m_window->visibility(), QWindow::Windowed);
    // Restored, not only told so.
    QTRY_COMPARE(m_window->geometry(), normal);
    QVERIFY(!showsRestore());
}

void TestStartup::clicksThatMoveNothing_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("tap on the title bar") << "title bar";
    QTest::newRow("tap on the right band") << "right";
    // A release queued behind the drag's motion, or one that the server took
    // before the system took the drag: the system's resize or move would go
    // on after it. QV_QUICK_DRAG_ROUNDS repeats each of these.
    QTest::newRow("quick drag on the right band") << "right, quick";
    QTest::newRow("quick drag on the corner") << "corner, quick";
    QTest::newRow("quick drag on the top band") << "top, quick";
    QTest::newRow("quick drag on the top-left corner") << "top-left, quick";
    QTest::newRow("quick drag on the left band") << "left, quick";
    QTest::newRow("quick drag on the bottom band") << "bottom, quick";
    QTest::newRow("quick drag on the title bar") << "title bar, quick";
    QTest::newRow("90 ms drag on the right band, GUI thread busy") << "right, quick, busy";
    QTest::newRow("90 ms drag on the corner, GUI thread busy") << "corner, quick, busy";
    // The release went to another window of the program: the next motion
    // over this one comes without the button.
    QTest::newRow("press on the right band, released elsewhere") << "right, released elsewhere";
    // The dialog is modal: the title bar under the click neither moves the
    // window nor closes the dialog.
    QTest::newRow("click outside an open dialog") << "dialog";
}

// A click or a tap with no motion leaves the window where it is, whatever the
// pointer does afterwards.
void TestStartup::clicksThatMoveNothing()
{
    QFETCH(QString, where);
    const QRect before = m_window->geometry();
    const int w = m_window->width();
    const int h = m_window->height();
    const QString band = where.section(QLatin1Char(','), 0, 0);
    const QHash<QString, QPoint> bands{
        {QStringLiteral("right"), {w - 3, h / 2}}, {QStringLiteral("corner"), {w - 3, h - 3}},
        {QStringLiteral("top"), {w / 2, 2}},       {QStringLiteral("top-left"), {2, 2}},
        {QStringLiteral("left"), {2, h / 2}},      {QStringLiteral("bottom"), {w / 2, h - 3}}};
    const QPoint at = bands.value(band, pointIn(QStringLiteral("appHeaderMouseArea"), 1.0 / 3));
    QObject *stack = find(QStringLiteral("viewStack"));
    QObject *saveDialog = nullptr;
    const auto dialogShown = [] {
        const QWidget *dialog = QApplication::activeModalWidget();
        return dialog && dialog->isVisible();
    };
    if (where == QLatin1String("dialog")) {
        QVERIFY(evaluate(stack, "push('qrc:/content/AppInfo.qml')"));
        QTRY_VERIFY((saveDialog = find(QStringLiteral("saveDialog"))));
        QTRY_VERIFY(!stack->property("busy").toBool());
        QVERIFY(QMetaObject::invokeMethod(saveDialog, "open"));
        QTRY_VERIFY(dialogShown());
    }

    const bool releasedElsewhere = where.endsWith(QLatin1String("elsewhere"));
    const bool quick = where.contains(QLatin1String("quick"));
    const int rounds = quick ? qMax(1, qEnvironmentVariableIntValue("QV_QUICK_DRAG_ROUNDS")) : 1;
    QStringList moved;
    for (int round = 0; round < rounds; ++round) {
        if (releasedElsewhere) {
            m_pointer->press(at);
            QMouseEvent motion(QEvent::MouseMove, at + QPoint(30, 0),
                               m_window->mapToGlobal(at) + QPoint(30, 0), Qt::NoButton,
                               Qt::NoButton, {});
            QCoreApplication::sendEvent(m_window, &motion);
        } else if (quick) { // released 0 to 20 ms after the motion
            m_pointer->quickDrag(at, QPoint(30, 20), where.endsWith(QLatin1String("busy")),
                                 round % 21);
        } else {
            m_pointer->tap(at);
        }
        m_pointer->move(at + QPoint(60, 40));
        m_pointer->move(at + QPoint(90, 70));
        QTest::qWait(200);
        if (releasedElsewhere)
            m_pointer->release(at + QPoint(90, 70));
        if (m_window->geometry() == before)
            continue;
        moved << QDebug::toString(m_window->geometry());
        // The next click ends what the system held.
        m_pointer->tap(QPoint(m_window->width() / 2, m_window->height() / 2));
        m_window->setGeometry(before);
        QTRY_COMPARE(m_window->geometry(), before);
    }
    if (rounds > 1)
        qInfo("%s: %lld of %d stuck", qPrintable(where), qlonglong(moved.size()), rounds);
    QVERIFY2(moved.isEmpty(), qPrintable(moved.join(QLatin1Char(' '))));
    if (saveDialog) {
        QVERIFY(dialogShown());
        QCOMPARE(ShellTest::topPageName(stack), QStringLiteral("AppInfo"));
        QVERIFY(QMetaObject::invokeMethod(saveDialog, "close"));
        QVERIFY(evaluate(stack, "pop(null)"));
        QTRY_VERIFY(!stack->property("busy").toBool());
    }
    // A move left running would take this click to end it.
    m_pointer->tap(QPoint(m_window->width() / 2, m_window->height() / 2));
    m_pointer->move(QPoint(m_window->width() / 2 + 50, m_window->height() / 2));
    QCOMPARE(m_window->geometry(), before);
}

void TestStartup::dragTitleBar(const QList<int> &dx)
{
    const QPoint press = pointIn(QStringLiteral("appHeaderMouseArea"), 1.0 / 3);
    const QPoint origin = m_window->mapToGlobal(press);
    m_pointer->press(press);
    m_pointer->moveTo(origin + QPoint(15, 0));
    // Taken by the system or by hand: a busy machine may see it late.
    QObject *layer = m_window->property("windowLayer").value<QObject *>();
    QTRY_VERIFY(m_window->property("manualMove").toBool() || layer->property("dragging").toBool());
    for (int x : dx)
        m_pointer->moveTo(origin + QPoint(x, 0));
    m_pointer->release({});
}

void TestStartup::dropsAcrossTheLineComeToRest_data()
{
    using Drags = QList<QList<int>>;
    QTest::addColumn<int>("startX");
    // The pointer's way along the title bar, for each drag in a row.
    QTest::addColumn<Drags>("drags");
    QTest::addColumn<bool>("onSecond");
    // Its centre past the line, but the second monitor's size would put its
    // centre back on the first.
    QTest::newRow("just past the line") << 551 << Drags{{709}} << true;
    QTest::newRow("well onto the second") << 192 << Drags{{1400}} << true;
    // Its new size would reach past the second monitor's right side.
    QTest::newRow("far right on the second") << 192 << Drags{{2000}} << true;
    QTest::newRow("just short of the line") << 192 << Drags{{900}} << false;
    QTest::newRow("over the line and back in one drag") << 192 << Drags{{1400, 300}} << false;
    // Dragged again while its placement on the second may still be on its way.
    QTest::newRow("dragged back at once") << 551 << Drags{{709}, {-1000}} << false;
}

// Dropped anywhere across the line between the monitors, the window takes the
// size of the monitor its centre is on, lies on it and stays so.
void TestStartup::dropsAcrossTheLineComeToRest()
{
    QFETCH(int, startX);
    QFETCH(QList<QList<int>>, drags);
    QFETCH(bool, onSecond);
    QScreen *first = m_window->screen();
    QScreen *second = QGuiApplication::screens().constLast();
    if (second == first || !m_pointer->throughServer())
        QSKIP("needs a second screen (xrandr --setmonitor)");
    const QRect before = m_window->geometry();
    m_window->setPosition(startX, before.y());
    QTRY_COMPARE(m_window->x(), startX);

    for (const QList<int> &way : drags)
        dragTitleBar(way);
    // Sampled for five seconds: no change from two seconds after the release on.
    QList<QRect> changes{m_window->geometry()};
    int lastChange = 0;
    for (int tenth = 1; tenth <= 50; ++tenth) {
        QTest::qWait(100);
        if (m_window->geometry() != changes.constLast()) {
            changes << m_window->geometry();
            lastChange = tenth;
        }
    }
    QVERIFY2(lastChange < 20 && changes.size() <= 5, qPrintable(QDebug::toString(changes)));
    QScreen *target = onSecond ? second : first;
    QCOMPARE(m_window->screen(), target);
    QCOMPARE(m_window->size(),
             QSize(int(target->size().width() * 0.8), int(target->size().height() * 0.85)));
    if (onSecond || drags.size() > 1)
        QVERIFY(target->availableGeometry().contains(m_window->geometry()));
    else // where it was dropped, across the line
        QCOMPARE(m_window->x(), startX + drags[0].constLast() - takenOver(QPoint(15, 0)).x());

    if (onSecond) {
        dragTitleBar({before.x() - m_window->x()});
        QTRY_COMPARE(m_window->screen(), first);
        QTRY_COMPARE(m_window->size(), before.size());
    }
    m_window->setGeometry(before);
    QTRY_COMPARE(m_window->geometry(), before);
}

void TestStartup::timedNoticeHidesTheLastingOneMeanwhile()
{
    QObject *notification = find(QStringLiteral("notification"));
    QObject *notification2 = find(QStringLiteral("notification2"));
    QVERIFY(notification && notification2);
    QVERIFY(QMetaObject::invokeMethod(notification2, "showInfinite",
                                      Q_ARG(QVariant, "Loading headers"), Q_ARG(QVariant, "")));
    QVERIFY(notification2->property("visible").toBool());
    QVERIFY(QMetaObject::invokeMethod(notification, "show", Q_ARG(QVariant, "File saved"),
                                      Q_ARG(QVariant, ""), Q_ARG(QVariant, 100)));
    QTRY_VERIFY(!notification2->property("visible").toBool());
    QTRY_VERIFY_WITH_TIMEOUT(notification2->property("visible").toBool(), 3000);
    QCOMPARE(notification2->property("text").toString(), QStringLiteral("Loading headers"));
    QVERIFY(QMetaObject::invokeMethod(notification2, "hide"));
}

void TestStartup::bulkExportOutcomesPopTheSavingPage_data()
{
    QTest::addColumn<QByteArray>("outcome");
    QTest::addColumn<QString>("notice");
    QTest::newRow("saved") << QByteArray("dataSaved()") << QStringLiteral("Saved to folder");
    QTest::newRow("nothing") << QByteArray("noData()") << QStringLiteral("No data found");
    QTest::newRow("failed") << QByteArray("error(QString)")
                            << QStringLiteral("Failed to save to folder");
}

void TestStartup::bulkExportOutcomesPopTheSavingPage()
{
    QFETCH(QByteArray, outcome);
    QFETCH(QString, notice);
    QObject *stack = find(QStringLiteral("viewStack"));
    QObject *exporter = m_window->findChild<QObject *>(QStringLiteral("bulkFileExport"));
    QObject *notification = find(QStringLiteral("notification"));
    QVERIFY(stack && exporter && notification);

    // Two pages above the first: one in the data screen's place, and the saving page.
    QVERIFY(evaluate(stack, "push('qrc:/content/NotConnected.qml'); "
                            "push('qrc:/content/SavingFiles.qml')"));
    QTRY_COMPARE(stack->property("depth").toInt(), 3);

    const int index = exporter->metaObject()->indexOfSignal(outcome.constData());
    QVERIFY(index >= 0);
    QMetaMethod signal = exporter->metaObject()->method(index);
    if (signal.parameterCount() == 1)
        QVERIFY(signal.invoke(exporter, Q_ARG(QString, QStringLiteral("disk full"))));
    else
        QVERIFY(signal.invoke(exporter));
    QTRY_COMPARE(stack->property("depth").toInt(), 2);
    QTRY_COMPARE(notification->property("text").toString(), notice);

    QVERIFY(evaluate(stack, "pop(null)"));
    QTRY_COMPARE(stack->property("depth").toInt(), 1);
}

void TestStartup::webServiceAnswersReachTheWindow()
{
    QObject *api = m_window->findChild<QObject *>(QStringLiteral("qvApi"));
    QObject *vars = m_window->findChild<QObject *>(QStringLiteral("apiVars"));
    QObject *progress = m_window->findChild<QObject *>(QStringLiteral("progressDialog"));
    QObject *ok = m_window->findChild<QObject *>(QStringLiteral("okDialog"));
    QVERIFY(api && vars && progress && ok);
    const auto emitSignal = [api](const char *signature, auto... args) {
        const QMetaMethod signal =
            api->metaObject()->method(api->metaObject()->indexOfSignal(signature));
        return signal.invoke(api, args...);
    };

    QCOMPARE(vars->property("calDate").toString(), QStringLiteral("Disabled"));
    QVERIFY(emitSignal("calibrationDateReceived(QString)", Q_ARG(QString, "2099-03-15")));
    QCOMPARE(vars->property("calDate").toString(), QStringLiteral("Mar 2099"));
    QVERIFY(emitSignal("calibrationDateReceived(QString)", Q_ARG(QString, "")));
    QCOMPARE(vars->property("calDate").toString(), QStringLiteral("Pending"));
    QVERIFY(emitSignal("calibrationDateReceived(QString)", Q_ARG(QString, "2001-01-01")));
    QCOMPARE(vars->property("calDate").toString(), QStringLiteral("Expired"));
    QVERIFY(emitSignal("apiError(QString)", Q_ARG(QString, "HTTP 404: Barcode not found")));
    QCOMPARE(vars->property("calDate").toString(), QStringLiteral("Pending"));

    // Progress without a known total keeps the last percentage.
    QVERIFY(emitSignal("reportFileProgress(qlonglong,qlonglong)", Q_ARG(qlonglong, 25),
                       Q_ARG(qlonglong, 100)));
    QCOMPARE(progress->property("progressValue").toDouble(), 25.0);
    QVERIFY(emitSignal("reportFileProgress(qlonglong,qlonglong)", Q_ARG(qlonglong, 50),
                       Q_ARG(qlonglong, -1)));
    QVERIFY(emitSignal("reportFileProgress(qlonglong,qlonglong)", Q_ARG(qlonglong, 50),
                       Q_ARG(qlonglong, 0)));
    QCOMPARE(progress->property("progressValue").toDouble(), 25.0);

    QVERIFY(emitSignal("appVersionReceived(QString)", Q_ARG(QString, "")));
    QCOMPARE(vars->property("appUpdateAvailable").toBool(), false);
    QVERIFY(emitSignal("appVersionReceived(QString)", Q_ARG(QString, "3")));
    QCOMPARE(vars->property("appUpdateAvailable").toBool(), false);

    QVERIFY(emitSignal("apiError(QString)", Q_ARG(QString, "Hash values did not match")));
    QTRY_VERIFY(ok->property("opened").toBool());
    QCOMPARE(ok->property("dialogTitle").toString(), QStringLiteral("Installer download failed"));
    QVERIFY(QMetaObject::invokeMethod(ok, "close"));
    QTRY_VERIFY(!ok->property("visible").toBool());

    // Any other failure of the download ends it too; a failure of another
    // request meanwhile does not.
    QVERIFY(QMetaObject::invokeMethod(progress, "open"));
    QTRY_VERIFY(progress->property("opened").toBool());
    QVERIFY(emitSignal("apiError(QString)", Q_ARG(QString, "HTTP 404: Barcode not found")));
    QVERIFY(emitSignal("apiError(QString)", Q_ARG(QString, "HTTP 403: Invalid signature")));
    QVERIFY(emitSignal("apiError(QString)", Q_ARG(QString, "HTTP 0: Connection refused")));
    QTest::qWait(100);
    QVERIFY(progress->property("opened").toBool());
    QVERIFY(!ok->property("visible").toBool());
    QCOMPARE(vars->property("calDate").toString(), QStringLiteral("Pending"));
    QVERIFY(emitSignal("downloadFailed(QString)", Q_ARG(QString, "HTTP 0: Connection refused")));
    QTRY_VERIFY(!progress->property("visible").toBool());
    QTRY_VERIFY(ok->property("opened").toBool());
    QCOMPARE(ok->property("dialogTitle").toString(), QStringLiteral("Installer download failed"));
    QVERIFY(QMetaObject::invokeMethod(ok, "close"));
    QTRY_VERIFY(!ok->property("visible").toBool());
}

void TestStartup::sessionTextGoesToTheClipboard()
{
    QObject *notification = find(QStringLiteral("notification"));
    QVERIFY(notification);
    for (const char *name : {"exportCSV", "exportTSV"}) {
        QObject *exporter = m_window->findChild<QObject *>(QLatin1String(name));
        QVERIFY(exporter);
        const QByteArray text = QByteArray("Date,Time\n") + name;
        const QMetaMethod dataReady = exporter->metaObject()->method(
            exporter->metaObject()->indexOfSignal("dataReady(QString,QByteArray)"));
        QVERIFY(
            dataReady.invoke(exporter, Q_ARG(QString, "20260301-140000"), Q_ARG(QByteArray, text)));
        QTRY_COMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8(text));
        QCOMPARE(notification->property("text").toString(), QStringLiteral("Copied to clipboard"));
    }
}

void TestStartup::footerOpensAndClosesTheInformationPage()
{
    QObject *stack = find(QStringLiteral("viewStack"));
    QVERIFY(stack);
    const QPoint centre = pointIn(QStringLiteral("appVersionMouseArea"));

    QTest::mouseClick(m_window, Qt::LeftButton, {}, centre);
    QTRY_COMPARE(ShellTest::topPageName(stack), QStringLiteral("AppInfo"));
    QCOMPARE(stack->property("depth").toInt(), 2);
    QTest::mouseClick(m_window, Qt::LeftButton, {}, centre);
    QTRY_COMPARE(ShellTest::topPageName(stack), QStringLiteral("NotConnected"));
    QCOMPARE(stack->property("depth").toInt(), 1);
}

int main(int argc, char *argv[])
{
    QTemporaryDir programData;
    qputenv("ProgramData", programData.path().toLocal8Bit());
    // Consent given before: no question covers the window.
    if (!ShellTest::writeConfig(programData.path(),
                                R"({"firstTimeRun": false, "optInForAutoCalCheck": false})"))
        return 2;
    qputenv("QT_LOGGING_RULES", "inherited.rule=true");
    qputenv("QT_QUICK_CONTROLS_CONF", "/nowhere.conf");
    Startup::prepareEnvironment();
    QtWebEngineQuick::initialize();
    QApplication app(argc, argv);
    TestStartup test(&programData);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
