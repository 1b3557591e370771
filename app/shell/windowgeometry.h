#pragma once

#include "quorvantisshell_global.h"

#include <QCursor>
#include <QPoint>
#include <QRect>
#include <QSize>

// Where a point of the frameless main window lies: inside it (client), on the
// caption strip that a maximised window keeps along its top edge, or on one of
// the resize bands along its edges and corners. The values are the classic
// hit-test codes so that log lines read the same on every platform.
enum class HitArea
{
    Client = 1,
    Caption = 2,
    Left = 10,
    Right = 11,
    Top = 12,
    TopLeft = 13,
    TopRight = 14,
    Bottom = 15,
    BottomLeft = 16,
    BottomRight = 17,
};

namespace FramelessGeometry {

// Width of every resize band, in the window's pixels.
constexpr int BorderWidth = 8;

// The band at point of a window occupying frame. The right and bottom bands
// are closed at the frame's far edge (x + width, y + height), the left and top
// bands open at their inner edge; a maximised window keeps its top band as the
// caption instead of a resize band.
QUORVANTISSHELL_EXPORT HitArea hitTest(const QRect &frame, const QPoint &point, bool maximized,
                                       int border = BorderWidth);

// Half the work area's width and 0.6 of its height, each cut toward zero.
QUORVANTISSHELL_EXPORT QSize minimumSize(const QSize &workArea);

// The window edges that a resize band moves; none for the client and caption.
QUORVANTISSHELL_EXPORT Qt::Edges edgesOf(HitArea area);

// The cursor a band shows; Qt::ArrowCursor for the client and caption.
QUORVANTISSHELL_EXPORT Qt::CursorShape cursorOf(HitArea area);

// The geometry after dragging edges of start by delta, never below minimum;
// the opposite edges stay where they were.
QUORVANTISSHELL_EXPORT QRect resized(const QRect &start, Qt::Edges edges, const QPoint &delta,
                                     const QSize &minimum);

// window moved as little as needed to lie within area; where it is larger,
// its top-left corner (the title bar) stays on the area.
QUORVANTISSHELL_EXPORT QRect placedWithin(const QRect &window, const QRect &area);

} // namespace FramelessGeometry
