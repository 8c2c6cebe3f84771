#include "platform/screen.h"

#include "platform/backend.h"

#include <memory>

namespace {
Screen* replacement_screen = nullptr;
} // namespace

Screen& screen() {
    if (replacement_screen)
        return *replacement_screen;
    static const std::unique_ptr<Screen> real = make_real_screen();
    return *real;
}

void set_screen(Screen* replacement) {
    replacement_screen = replacement;
}
