#include "framelesswindow.h"

#include <QEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

FramelessWindowFilter::FramelessWindowFilter(QWindow *window) : QObject(window), m_window(window)
{
    window->installEventFilter(this);
    connect(window, &QWindow::screenChanged, this, &FramelessWindowFilter::followScreen);
    followScreen(window->screen());
}

bool FramelessWindowFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
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
    const HitArea area = hitAt(event->position().toPoint());
    if (area == HitArea::Client)
        return false;
    if (event->button() != Qt::LeftButton)
        return true;
    if (event->type() == QEvent::MouseButtonDblClick) {
        // As on a system caption, a double-click restores the maximised
        // window; the move its second press began must not outlive it.
        if (area == HitArea::Caption) {
            m_drag = Drag::None;
            m_window->showNormal();
        }
        return true;
    }

    bool handledBySystem = false;
    if (area == HitArea::Caption) {
        handledBySystem = m_window->startSystemMove();
        m_drag = Drag::Move;
    } else {
        m_edges = FramelessGeometry::edgesOf(area);
        handledBySystem = m_window->startSystemResize(m_edges);
        m_drag = Drag::Resize;
    }
    if (handledBySystem) {
        m_drag = Drag::None;
    } else {
        m_dragStartGeometry = m_window->geometry();
        m_dragStartPoint = event->globalPosition().toPoint();
    }
    return true;
}

bool FramelessWindowFilter::mouseReleased(QMouseEvent *event)
{
    if (m_drag == Drag::None || event->button() != Qt::LeftButton)
        return false;
    m_drag = Drag::None;
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
    new FramelessWindowFilter(window);
}
