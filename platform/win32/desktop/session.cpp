#include "platform/session.h"

void choose_display_platform() {
    // One display platform on Windows: Qt's own.
}

bool windows_place_themselves() {
    return true;
}
