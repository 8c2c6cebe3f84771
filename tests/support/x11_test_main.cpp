// X11 tests run in the program's own application object on the X server that
// tests/run-under-x11.sh started for them.
#include "app/kap_application.h"
#include "platform/tool_cursors.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    KapApplication app(argc, argv);
    init_resources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
