#include "windowgeometry.h"

namespace FramelessGeometry {

HitArea hitTest(const QRect &frame, const QPoint &point, bool maximized, int border)
{
    const int left = frame.x();
    const int top = frame.y();
    const int right = left + frame.width();
    const int bottom = top + frame.height();
    const int x = point.x();
    const int y = point.y();

    const bool inTop = top <= y && y < top + border;
    const bool inBottom = bottom - border < y && y <= bottom;
    const bool inLeft = left <= x && x < left + border;
    const bool inRight = right - border < x && x <= right;

    if (maximized && inTop)
        return HitArea::Caption;
    if (inLeft) {
        if (inTop)
            return HitArea::TopLeft;
        if (inBottom)
            return HitArea::BottomLeft;
        return HitArea::Left;
    }
    if (inRight) {
        if (inTop)
            return HitArea::TopRight;
        if (inBottom)
            return HitArea::BottomRight;
        return HitArea::Right;
    }
    if (inTop)
        return HitArea::Top;
    if (inBottom)
        return HitArea::Bottom;
    return HitArea::Client;
}

QSize minimumSize(const QSize &workArea)
{
    // Integer arithmetic: 0.6 has no exact binary form, and a product just
    // below a whole number would lose a pixel when cut.
    const qint64 width = qMax(0, workArea.width());
    const qint64 height = qMax(0, workArea.height());
    return QSize(int(width / 2), int(height * 6 / 10));
}

Qt::Edges edgesOf(HitArea area)
{
    switch (area) {
    case HitArea::Left:
        return Qt::LeftEdge;
    case HitArea::Right:
        return Qt::RightEdge;
    case HitArea::Top:
        return Qt::TopEdge;
    case HitArea::Bottom:
        return Qt::BottomEdge;
    case HitArea::TopLeft:
        return Qt::TopEdge | Qt::LeftEdge;
    case HitArea::TopRight:
        return Qt::TopEdge | Qt::RightEdge;
    case HitArea::BottomLeft:
        return Qt::BottomEdge | Qt::LeftEdge;
    case HitArea::BottomRight:
        return Qt::BottomEdge | Qt::RightEdge;
    case HitArea::Client:
    case HitArea::Caption:
        break;
    }
    return {};
}

Qt::CursorShape cursorOf(HitArea area)
{
    switch (area) {
    case HitArea::Left:
    case HitArea::Right:
        return Qt::SizeHorCursor;
    case HitArea::Top:
    case HitArea::Bottom:
        return Qt::SizeVerCursor;
    case HitArea::TopLeft:
    case HitArea::BottomRight:
        return Qt::SizeFDiagCursor;
    case HitArea::TopRight:
    case HitArea::BottomLeft:
        return Qt::SizeBDiagCursor;
    case HitArea::Client:
    case HitArea::Caption:
        break;
    }
    return Qt::ArrowCursor;
}

QRect resized(const QRect &start, Qt::Edges edges, const QPoint &delta, const QSize &minimum)
{
    int left = start.x();
    int top = start.y();
    int right = start.x() + start.width();
    int bottom = start.y() + start.height();

    if (edges & Qt::LeftEdge)
        left = qMin(left + delta.x(), right - minimum.width());
    else if (edges & Qt::RightEdge)
        right = qMax(right + delta.x(), left + minimum.width());
    if (edges & Qt::TopEdge)
        top = qMin(top + delta.y(), bottom - minimum.height());
    else if (edges & Qt::BottomEdge)
        bottom = qMax(bottom + delta.y(), top + minimum.height());

    return QRect(left, top, right - left, bottom - top);
}

QRect placedWithin(const QRect &window, const QRect &area)
{
    QRect placed = window;
    if (placed.right() > area.right())
        placed.moveRight(area.right());
    if (placed.bottom() > area.bottom())
        placed.moveBottom(area.bottom());
    if (placed.left() < area.left())
        placed.moveLeft(area.left());
    if (placed.top() < area.top())
        placed.moveTop(area.top());
    return placed;
}

} // namespace FramelessGeometry
