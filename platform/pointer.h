#pragma once
// The mouse pointer as the platform knows it, outside any event: where it is on the screen,
// moving it, keeping it within a rectangle, and whether the left button is physically down now.

#include <QPoint>
#include <QRect>

class Pointer {
public:
    virtual ~Pointer() = default;
    virtual QPoint position() const = 0;
    virtual void set_position(QPoint screen) = 0;
    virtual bool left_button_held() const = 0;
    // Keeps the pointer within `screen` (edges included) until release_confinement(). False
    // where the window system cannot: the caller then puts the pointer back itself.
    virtual bool confine(const QRect& screen) = 0;
    virtual void release_confinement() = 0;
};

// The window system's confinement of the pointer to a rectangle of the screen in Qt's
// coordinates, or its release (nullptr): ClipCursor on Windows. False, with nothing done, where
// the window system has no such thing (X11, Wayland).
bool native_confine_pointer(const QRect* screen);

// The pointer in force: the platform's unless a test installed its own.
Pointer& pointer();
// Installs a replacement pointer (nullptr puts the platform's back) and returns the one it
// replaces (nullptr for the platform's). The caller keeps ownership.
Pointer* set_pointer(Pointer* replacement);
