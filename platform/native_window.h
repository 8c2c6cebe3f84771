#pragma once
// The window system's own view of a top-level window of the program. On X11, Qt's idea of a
// window's place can be off by the window manager's frame: a window placed while hidden, or just
// shown again, is placed by its frame's corner, yet Qt keeps the position it asked for as the
// client area's.

#include <QPoint>
#include <optional>

class QWidget;

// The top-left corner of the window's client area, in the window system's coordinates, where
// Qt's own may be wrong; nothing where Qt's is right or the window system cannot tell.
std::optional<QPoint> native_client_origin(const QWidget* window);

// Keeps a shown window above others, or stops doing so, without changing the window's flags in
// Qt: on X11, Qt makes a new X window at the next showing of a window whose stay-on-top flag
// changed. False, with nothing done, for a hidden window or where the window system cannot.
bool native_set_above(const QWidget* window, bool above);

// Sends the window system what the program has asked of it so far without waiting for any
// answer: a window just shown starts being mapped while the program goes on.
void send_window_requests();
