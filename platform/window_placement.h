#pragma once
// Where the program's windows go on the desktop. Screen coordinates (the program's) start at the
// primary display's top-left corner; the window system's start at the top-left of the whole
// desktop, which differs when a display lies left of or above the primary one.

#include "platform/screen_rect.h"

#include <QMargins>
#include <QPoint>
#include <QSize>

class QWidget;

// A point in screen coordinates, in the window system's.
QPoint window_system_point(QPoint screen_point);

// The primary display as the window system (Qt) sees it, in screen coordinates: origin (0, 0).
ScreenRect qt_primary_display();

// The frame the window manager has put around a top-level window (title bar and borders), or
// nothing while the window is not framed (hidden, or not yet mapped).
QMargins window_frame(const QWidget* window);

// Moves a top-level window so that its outer rectangle (client area grown by `frame`) has its
// top-left corner at `outer_top_left`, in screen coordinates. The window is placed by its client
// area, which works also before the window manager has told Qt the frame.
void place_outer(QWidget* window, QPoint outer_top_left, QMargins frame);

// Where the window's outer rectangle (client area grown by `frame`) lies now, in screen
// coordinates: as the window system has it while the window shows, where it was placed or last
// shown while it is hidden.
QPoint outer_top_left(const QWidget* window, QMargins frame);
// Notes where a window shows now, for outer_top_left() once it is hidden.
void remember_outer_top_left(QWidget* window, QMargins frame);

// The top-left corner that centres an outer size on a display: (display − outer) / 2 in each
// direction, truncated toward zero.
QPoint centred_top_left(const ScreenRect& display, QSize outer);

// Centres a top-level window, frame included, on a display (the primary one by default).
void centre_window(QWidget* window, QMargins frame);
void centre_window(QWidget* window, QMargins frame, const ScreenRect& display);
