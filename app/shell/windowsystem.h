#pragma once

#include <optional>

class QWindow;

// Whether a window manager maximises, minimises and moves the window when
// asked. Only an X11 display can lack one; the other platforms do it
// themselves.
bool windowManagerRuns(const QWindow *window);

// Asks the window manager to end a move or resize of window that it may still
// hold though the button is up; nothing where there is none.
void cancelSystemMoveResize(const QWindow *window);

// Whether the left button is down as the display server sees it, even while
// another client holds the pointer; nothing where that cannot be asked.
std::optional<bool> leftButtonHeld(const QWindow *window);
