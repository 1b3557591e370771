#pragma once

#include "quorvantisshell_global.h"
#include "windowgeometry.h"

#include <QMetaObject>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QTimer>

class QMouseEvent;
class QScreen;
class QWindow;

// Gives the frameless main window what a system frame would: resize bands
// along its edges and corners with their cursors, a caption strip along the
// top while maximised, and a minimum size tied to the work area of its screen.
// The system moves or resizes the window where it can; where it cannot (no
// window manager) the filter does it by hand.
class QUORVANTISSHELL_EXPORT FramelessWindowFilter : public QObject
{
    Q_OBJECT
    // A move or resize holds the window, by hand or handed to the system.
    Q_PROPERTY(bool dragging READ dragging NOTIFY draggingChanged)

public:
    // Watches window and is owned by it.
    explicit FramelessWindowFilter(QWindow *window);

    // Minimises the window and keeps it maximised for its return, as the
    // system's own minimise does.
    Q_INVOKABLE void showMinimized();
    // The system's move of the window; false where there is none. Its end is
    // told by moveEnded(), also when the press that started it was cancelled.
    Q_INVOKABLE bool startSystemMove();
    // Gives the window size and moves it as little as needed to lie on the
    // available area of its screen, in one step: halfway it could stand on
    // another screen.
    Q_INVOKABLE void placeOnScreen(const QSize &size);

    bool dragging() const { return m_drag != Drag::None || m_systemDrag != Drag::None; }

signals:
    void draggingChanged();
    void moveEnded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Drag
    {
        None,
        Move,
        Resize
    };

    bool mouseMoved(QMouseEvent *event);
    bool mousePressed(QMouseEvent *event);
    bool mouseReleased(QMouseEvent *event);
    void startDrag();
    bool handOver(Drag drag);
    void setDrags(Drag byHand, Drag bySystem);
    bool endsSystemDrag(const QEvent *event) const;
    void endSystemDrag();
    void watchSystemDrag();
    HitArea hitAt(const QPoint &localPoint) const;
    void showCursorOf(HitArea area);
    void followScreen(QScreen *screen);
    void followState();
    void updateMinimumSize();

    QWindow *m_window;
    QPointer<QScreen> m_screen;
    QMetaObject::Connection m_workAreaConnection;
    // Pressed on a band or the caption; starts once the pointer has moved.
    Drag m_armed = Drag::None;
    QPoint m_armedDelta;
    // Tells a start queued for an earlier press from one for this press.
    quint64 m_pressCount = 0;
    Drag m_drag = Drag::None;
    // Handed to the system, which tells nothing of its end: the pointer
    // coming back without the button does.
    Drag m_systemDrag = Drag::None;
    // Asks the server for the button while the system holds the pointer: a
    // release that came before the system took the drag reaches neither.
    QTimer m_systemDragWatch;
    Qt::Edges m_edges;
    QRect m_dragStartGeometry;
    QPoint m_dragStartPoint;
    // Maximised by hand where no window manager does it.
    bool m_maximizedByHand = false;
    QRect m_normalGeometry;
    bool m_bandCursor = false;
    bool m_hadCursor = false;
    QCursor m_savedCursor;
};

// Installs the filter on the main window, whose property windowLayer then
// holds it; called once by the start-up.
QUORVANTISSHELL_EXPORT void installFramelessWindowHook(QWindow *window);
