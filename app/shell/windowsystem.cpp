#include "windowsystem.h"

#include <QGuiApplication>
#include <QWindow>
#include <cstdlib>
#include <memory>

#ifdef QV_HAVE_XCB
#include <xcb/xcb.h>

namespace {

template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply> ReplyPtr<Reply> owned(Reply *reply)
{
    return ReplyPtr<Reply>(reply, &std::free);
}

// The window that window's _NET_SUPPORTING_WM_CHECK names, or none.
xcb_window_t supportingWindow(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t check)
{
    const auto reply = owned(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, check, XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    if (!reply || reply->type != XCB_ATOM_WINDOW || xcb_get_property_value_length(reply.get()) < 4)
        return XCB_WINDOW_NONE;
    return *static_cast<xcb_window_t *>(xcb_get_property_value(reply.get()));
}

} // namespace
#endif

bool windowManagerRuns(const QWindow *window)
{
#ifdef QV_HAVE_XCB
    // The offscreen platform answers for X11 too, without a connection.
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !connection)
        return true;
    const auto tree = owned(xcb_query_tree_reply(
        connection, xcb_query_tree(connection, xcb_window_t(window->winId())), nullptr));
    static const char name[] = "_NET_SUPPORTING_WM_CHECK";
    const auto atom = owned(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr));
    if (!tree || !atom || atom->atom == XCB_ATOM_NONE)
        return false;
    // A manager that has gone leaves the root's property behind, naming a
    // window that no longer names itself.
    const xcb_window_t check = supportingWindow(connection, tree->root, atom->atom);
    return check != XCB_WINDOW_NONE && supportingWindow(connection, check, atom->atom) == check;
#else
    Q_UNUSED(window);
    return true;
#endif
}
