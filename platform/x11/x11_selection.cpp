#include "platform/x11/x11_selection.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWindow>
#include <cstdlib>
#include <xcb/xcb.h>

namespace {

xcb_connection_t* x11_connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t intern(xcb_connection_t* connection, const char* name, std::size_t length) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(length), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace

bool x11_owns_clipboard() {
    xcb_connection_t* connection = x11_connection();
    if (!connection)
        return true;
    const char name[] = "CLIPBOARD";
    const xcb_atom_t clipboard = intern(connection, name, sizeof name - 1);
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, clipboard), nullptr);
    const xcb_window_t owner = reply ? reply->owner : xcb_window_t(XCB_NONE);
    std::free(reply);
    // Every resource this client creates carries its id base.
    const xcb_setup_t* setup = xcb_get_setup(connection);
    return owner != XCB_NONE && (owner & ~setup->resource_id_mask) == setup->resource_id_base;
}

void refresh_x11_time() {
    xcb_connection_t* connection = x11_connection();
    if (!connection)
        return;
    // A property changed on a window of ours comes back as an event stamped with the server's
    // time, which Qt takes as its own.
    static QWindow* window = nullptr;
    if (!window) {
        window = new QWindow;
        window->create();
    }
    const char name[] = "_KAPTORAMA_TIME";
    const xcb_atom_t atom = intern(connection, name, sizeof name - 1);
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, xcb_window_t(window->winId()), atom,
                        XCB_ATOM_STRING, 8, 0, nullptr);
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    const QDeadlineTimer deadline(30);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(2);
    }
}
