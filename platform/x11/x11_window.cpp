#include "platform/native_window.h"
#include "platform/pointer.h"
#include "platform/tool_cursors.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace {
// The X connection a created top-level window of the program lives on; none on other platforms.
xcb_connection_t* connection_of(const QWidget* window) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !window->testAttribute(Qt::WA_WState_Created))
        return nullptr;
    return x11->connection();
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return value;
}

xcb_window_t root_of(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}
} // namespace

std::optional<QPoint> native_client_origin(const QWidget* window) {
    xcb_connection_t* connection = connection_of(window);
    if (!connection)
        return std::nullopt;
    const auto id = static_cast<xcb_window_t>(window->winId());
    xcb_translate_coordinates_reply_t* reply = xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, id, root_of(connection), 0, 0), nullptr);
    if (!reply)
        return std::nullopt;
    const QPoint origin(reply->dst_x, reply->dst_y);
    std::free(reply);
    return origin;
}

bool native_set_above(const QWidget* window, bool above) {
    xcb_connection_t* connection = connection_of(window);
    if (!connection || !window->isVisible())
        return false;
    // The window manager's protocol for a mapped window's state: a message to the root window.
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = static_cast<xcb_window_t>(window->winId());
    event.type = atom(connection, "_NET_WM_STATE");
    event.data.data32[0] = above ? 1 : 0; // add or remove
    event.data.data32[1] = atom(connection, "_NET_WM_STATE_ABOVE");
    event.data.data32[3] = 1; // asked by an application
    xcb_send_event(connection, 0, root_of(connection),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
    return true;
}

bool native_confine_pointer(const QRect*) {
    // X confines the pointer only to a window, during a grab of its own: the text label's
    // drag puts the pointer back itself.
    return false;
}

std::optional<CursorResource> native_cursor_resource(const char*) {
    // Linux programs carry no cursor resources: the cursors' images serve.
    return std::nullopt;
}

void send_window_requests() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (xcb_connection_t* connection = x11 ? x11->connection() : nullptr)
        xcb_flush(connection);
}
