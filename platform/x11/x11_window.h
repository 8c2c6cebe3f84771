#pragma once
// Where the X server has put a top-level window of the program. Qt's own idea of it can be off by
// the window manager's frame: a window placed while hidden, or just shown again, is placed by
// its frame's corner, yet Qt keeps the position it asked for as the client area's.

#include <QPoint>
#include <optional>

class QWidget;

// The top-left corner of the window's client area on the X screen, in the window system's
// coordinates; nothing on other platforms or when the server cannot tell.
std::optional<QPoint> x11_client_origin(const QWidget* window);

// Asks the window manager to keep a shown window above others, or to stop doing so, without
// changing the window's flags in Qt: Qt makes a new X window at the next showing of a window
// whose stay-on-top flag changed. False, with nothing done, on other platforms or for a hidden
// window.
bool x11_set_above(const QWidget* window, bool above);
