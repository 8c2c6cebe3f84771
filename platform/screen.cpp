#include "platform/screen.h"

#include "platform/x11_screen.h"

namespace {
Screen* replacement_screen = nullptr;
}

Screen& screen() {
    if (replacement_screen)
        return *replacement_screen;
    static X11Screen real;
    return real;
}

void set_screen(Screen* replacement) {
    replacement_screen = replacement;
}
