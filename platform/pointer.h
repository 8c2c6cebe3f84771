#pragma once
// The mouse pointer as the platform knows it, outside any event: where it is on the screen,
// moving it, and whether the left button is physically down now.

#include <QPoint>

class Pointer {
public:
    virtual ~Pointer() = default;
    virtual QPoint position() const = 0;
    virtual void set_position(QPoint screen) = 0;
    virtual bool left_button_held() const = 0;
};

// The pointer in force: the platform's unless a test installed its own.
Pointer& pointer();
// Installs a replacement pointer (nullptr puts the platform's back) and returns the one it
// replaces (nullptr for the platform's). The caller keeps ownership.
Pointer* set_pointer(Pointer* replacement);
