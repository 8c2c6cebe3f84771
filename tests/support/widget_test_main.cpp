// Widget tests run inside the program's own application object, on Qt's offscreen platform.
#include "app/kap_application.h"
#include "platform/tool_cursors.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {
QtMessageHandler default_handler = nullptr;

// The offscreen platform warns about every window operation it cannot do (raise, grabs): noise.
void quiet_platform_warnings(QtMsgType type, const QMessageLogContext& context,
                             const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (default_handler)
        default_handler(type, context, message);
    else
        fprintf(stderr, "%s\n", qPrintable(message));
}
} // namespace

int main(int argc, char** argv) {
    default_handler = qInstallMessageHandler(quiet_platform_warnings);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    KapApplication app(argc, argv);
    init_resources();
    return RUN_ALL_TESTS();
}
