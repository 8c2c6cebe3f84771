#include "app/Unit1.h"
#include "app/Unit5.h"
#include "app/kap_application.h"
#include "app/startup.h"
#include "platform/native_window.h"
#include "platform/session.h"

int main(int argc, char** argv) {
    choose_display_platform();
    KapApplication app(argc, argv); // command-line arguments are ignored
    create_main_window();
    Form1->show();
    // The window manager maps the main window while the other windows are made: nothing is
    // painted, and no input handled, before they all exist.
    send_window_requests();
    create_secondary_windows();
    const int code = app.exec();
    destroy_windows();
    return code;
}
