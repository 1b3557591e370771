#include "framelesswindow.h"

#include "windowsystem.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QStyleHints>
#include <QWindow>

FramelessWindowFilter::FramelessWindowFilter(QWindow *window) : QObject(window), m_window(window)
{
    window->installEventFilter(this);
    connect(window, &QWindow::screenChanged, this, &FramelessWindowFilter::followScreen);
    connect(window, &QWindow::windowStateChanged, this, &FramelessWindowFilter::followState);
    followScreen(window->screen());
    m_systemDragWatch.setInterval(30);
    connect(&m_systemDragWatch, &QTimer::timeout, this, &FramelessWindowFilter::watchSystemDrag);
}

void FramelessWindowFilter::showMinimized()
{
    // Without a window manager nothing minimises the window, nor brings it
    // back: it stays as it is, and says so.
    if (!windowManagerRuns(m_window))
        return;
    // Qt's own minimise replaces the maximised state.
    m_window->setWindowStates(m_window->windowStates() | Qt::WindowMinimized);
}

void FramelessWindowFilter::placeOnScreen(const QSize &size)
{
    if (!m_window->screen())
        return;
    m_window->setGeometry(FramelessGeometry::placedWithin(QRect(m_window->position(), size),
                                                          m_window->screen()->availableGeometry()));
}

void FramelessWindowFilter::followState()
{
    const bool maximized = m_window->windowStates().testFlag(Qt::WindowMaximized);
    if (maximized && !m_maximizedByHand && m_window->screen() && !windowManagerRuns(m_window)) {
        m_maximizedByHand = true;
        m_normalGeometry = m_window->geometry();
        m_window->setGeometry(m_window->screen()->availableGeometry());
    } else if (!maximized && m_maximizedByHand) {
        m_maximizedByHand = false;
        m_window->setGeometry(m_normalGeometry);
    }
}

bool FramelessWindowFilter::startSystemMove()
{
    // Released already: its release is on its way to the title bar.
    if (!leftButtonHeld(m_window).value_or(true))
        return false;
    return handOver(Drag::Move);
}

bool FramelessWindowFilter::handOver(Drag drag)
{
    if (!(drag == Drag::Move ? m_window->startSystemMove() : m_window->startSystemResize(m_edges)))
        return false;
    setDrags(Drag::None, drag);
    if (leftButtonHeld(m_window).has_value())
        m_systemDragWatch.start();
    return true;
}

void FramelessWindowFilter::endSystemDrag()
{
    m_systemDragWatch.stop();
    // Harmless where the system has ended it already.
    cancelSystemMoveResize(m_window);
    setDrags(m_drag, Drag::None);
}

void FramelessWindowFilter::watchSystemDrag()
{
    if (m_systemDrag == Drag::None)
        m_systemDragWatch.stop();
    else if (!leftButtonHeld(m_window).value_or(true))
        endSystemDrag();
}

void FramelessWindowFilter::setDrags(Drag byHand, Drag bySystem)
{
    const bool was = dragging();
    const bool moveEnds = m_systemDrag == Drag::Move && bySystem == Drag::None;
    m_drag = byHand;
    m_systemDrag = bySystem;
    if (was != dragging())
        emit draggingChanged();
    if (moveEnds)
        emit moveEnded();
}

bool FramelessWindowFilter::endsSystemDrag(const QEvent *event) const
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        return true;
    case QEvent::Enter:
    case QEvent::MouseMove:
        return !QGuiApplication::mouseButtons().testFlag(Qt::LeftButton);
    default:
        return false;
    }
}

bool FramelessWindowFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
    if (m_systemDrag != Drag::None && endsSystemDrag(event)) {
        // A new press comes to the window only when the system holds nothing.
        if (event->type() == QEvent::MouseButtonPress) {
            m_systemDragWatch.stop();
            setDrags(m_drag, Drag::None);
        } else {
            endSystemDrag();
        }
    }
    switch (event->type()) {
    case QEvent::MouseMove:
        return mouseMoved(static_cast<QMouseEvent *>(event));
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return mousePressed(static_cast<QMouseEvent *>(event));
    case QEvent::MouseButtonRelease:
        return mouseReleased(static_cast<QMouseEvent *>(event));
    case QEvent::Leave:
        if (m_drag == Drag::None)
            showCursorOf(HitArea::Client);
        return false;
    default:
        return false;
    }
}

HitArea FramelessWindowFilter::hitAt(const QPoint &localPoint) const
{
    const bool maximized = m_window->windowStates().testFlag(Qt::WindowMaximized);
    return FramelessGeometry::hitTest(QRect(QPoint(0, 0), m_window->size()), localPoint, maximized);
}

bool FramelessWindowFilter::mouseMoved(QMouseEvent *event)
{
    const QPoint delta = event->globalPosition().toPoint() - m_dragStartPoint;
    // A release the window never saw ends the press all the same.
    if (m_armed != Drag::None && !event->buttons().testFlag(Qt::LeftButton))
        m_armed = Drag::None;
    if (m_armed != Drag::None) {
        m_armedDelta = delta;
        if (delta.manhattanLength() >= QGuiApplication::styleHints()->startDragDistance()) {
            // The release may already wait behind this motion, and the system
            // would keep resizing after it: start once the queue has been seen.
            QMetaObject::invokeMethod(
                this,
                [this, press = m_pressCount] {
                    if (press == m_pressCount)
                        startDrag();
                },
                Qt::QueuedConnection);
        }
        return true;
    }
    switch (m_drag) {
    case Drag::Move:
        m_window->setPosition(m_dragStartGeometry.topLeft() + delta);
        return true;
    case Drag::Resize:
        m_window->setGeometry(FramelessGeometry::resized(m_dragStartGeometry, m_edges, delta,
                                                         m_window->minimumSize()));
        return true;
    case Drag::None:
        break;
    }
    // Presses that started in the client area keep their moves, whatever
    // band the pointer crosses while the button is held.
    if (event->buttons() != Qt::NoButton)
        return false;
    const HitArea area = hitAt(event->position().toPoint());
    showCursorOf(area);
    // The bands stand for a frame the window does not have: what lies under
    // them sees no hover.
    return area != HitArea::Client && area != HitArea::Caption;
}

bool FramelessWindowFilter::mousePressed(QMouseEvent *event)
{
    // Whatever an earlier press left, this one decides.
    ++m_pressCount;
    m_armed = Drag::None;
    const HitArea area = hitAt(event->position().toPoint());
    if (area == HitArea::Client)
        return false;
    if (event->button() != Qt::LeftButton)
        return true;
    if (event->type() == QEvent::MouseButtonDblClick) {
        // As on a system caption, a double-click restores the maximised
        // window; its second press starts nothing.
        setDrags(Drag::None, m_systemDrag);
        if (area == HitArea::Caption)
            m_window->showNormal();
        return true;
    }
    // The system takes the pointer once it moves or resizes the window:
    // started on the press, it would keep the pointer past a click that
    // never moved, so it starts with the first motion past the drag distance.
    m_armed = area == HitArea::Caption ? Drag::Move : Drag::Resize;
    m_edges = FramelessGeometry::edgesOf(area);
    m_dragStartGeometry = m_window->geometry();
    m_dragStartPoint = event->globalPosition().toPoint();
    return true;
}

void FramelessWindowFilter::startDrag()
{
    const Drag drag = m_armed;
    m_armed = Drag::None;
    if (drag == Drag::None || !QGuiApplication::mouseButtons().testFlag(Qt::LeftButton) ||
        !leftButtonHeld(m_window).value_or(true))
        return;
    const QPoint delta = m_armedDelta;
    if (handOver(drag))
        return;
    // By hand from the spot that was pressed.
    setDrags(drag, Drag::None);
    if (drag == Drag::Move)
        m_window->setPosition(m_dragStartGeometry.topLeft() + delta);
    else
        m_window->setGeometry(FramelessGeometry::resized(m_dragStartGeometry, m_edges, delta,
                                                         m_window->minimumSize()));
}

bool FramelessWindowFilter::mouseReleased(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || (m_armed == Drag::None && m_drag == Drag::None))
        return false;
    m_armed = Drag::None;
    setDrags(Drag::None, m_systemDrag);
    showCursorOf(hitAt(event->position().toPoint()));
    return true;
}

void FramelessWindowFilter::showCursorOf(HitArea area)
{
    const bool band = area != HitArea::Client && area != HitArea::Caption;
    if (band) {
        // Keep the cursor the scene had set, to give it back on leaving.
        if (!m_bandCursor) {
            m_hadCursor = m_window->cursor().shape() != Qt::ArrowCursor;
            m_savedCursor = m_window->cursor();
        }
        m_window->setCursor(FramelessGeometry::cursorOf(area));
        m_bandCursor = true;
    } else if (m_bandCursor) {
        if (m_hadCursor)
            m_window->setCursor(m_savedCursor);
        else
            m_window->unsetCursor();
        m_bandCursor = false;
    }
}

void FramelessWindowFilter::followScreen(QScreen *screen)
{
    disconnect(m_workAreaConnection);
    m_screen = screen;
    if (screen) {
        m_workAreaConnection = connect(screen, &QScreen::availableGeometryChanged, this,
                                       &FramelessWindowFilter::updateMinimumSize);
    }
    updateMinimumSize();
}

void FramelessWindowFilter::updateMinimumSize()
{
    if (!m_screen)
        return;
    m_window->setMinimumSize(FramelessGeometry::minimumSize(m_screen->availableGeometry().size()));
}

void installFramelessWindowHook(QWindow *window)
{
    if (!window ||
        window->findChild<FramelessWindowFilter *>(QString(), Qt::FindDirectChildrenOnly))
        return;
    auto *filter = new FramelessWindowFilter(window);
    window->setProperty("windowLayer", QVariant::fromValue<QObject *>(filter));
}
