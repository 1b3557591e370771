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

xcb_connection_t *x11Connection()
{
    // The offscreen platform answers for X11 too, without a connection.
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !x11)
        return nullptr;
    return x11->connection();
}

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    const auto reply = owned(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, uint16_t(qstrlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
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
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return true;
    const auto tree = owned(xcb_query_tree_reply(
        connection, xcb_query_tree(connection, xcb_window_t(window->winId())), nullptr));
    const xcb_atom_t checkAtom = atom(connection, "_NET_SUPPORTING_WM_CHECK");
    if (!tree || checkAtom == XCB_ATOM_NONE)
        return false;
    // A manager that has gone leaves the root's property behind, naming a
    // window that no longer names itself.
    const xcb_window_t check = supportingWindow(connection, tree->root, checkAtom);
    return check != XCB_WINDOW_NONE && supportingWindow(connection, check, checkAtom) == check;
#else
    Q_UNUSED(window);
    return true;
#endif
}

void cancelSystemMoveResize(const QWindow *window)
{
#ifdef QV_HAVE_XCB
    xcb_connection_t *connection = x11Connection();
    if (!connection || !window->handle())
        return;
    const xcb_atom_t moveResize = atom(connection, "_NET_WM_MOVERESIZE");
    const auto tree = owned(xcb_query_tree_reply(
        connection, xcb_query_tree(connection, xcb_window_t(window->winId())), nullptr));
    if (moveResize == XCB_ATOM_NONE || !tree)
        return;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window->winId());
    event.type = moveResize;
    event.data.data32[2] = 11; // _NET_WM_MOVERESIZE_CANCEL
    event.data.data32[4] = 1;  // from a normal application
    // Sent on Qt's own connection: it follows the request that started the drag.
    xcb_send_event(connection, 0, tree->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(connection);
#else
    Q_UNUSED(window);
#endif
}

std::optional<bool> leftButtonHeld(const QWindow *window)
{
#ifdef QV_HAVE_XCB
    xcb_connection_t *connection = x11Connection();
    if (!connection || !window->handle())
        return std::nullopt;
    const auto pointer = owned(xcb_query_pointer_reply(
        connection, xcb_query_pointer(connection, xcb_window_t(window->winId())), nullptr));
    if (!pointer)
        return std::nullopt;
    return bool(pointer->mask & XCB_BUTTON_MASK_1);
#else
    Q_UNUSED(window);
    return std::nullopt;
#endif
}
