#pragma once

class QWindow;

// Whether a window manager maximises, minimises and moves the window when
// asked. Only an X11 display can lack one; the other platforms do it
// themselves.
bool windowManagerRuns(const QWindow *window);
