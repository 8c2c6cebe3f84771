#include "app/Unit1.h"
#include "app/Unit5.h"
#include "app/kap_application.h"
#include "app/startup.h"
#include "platform/session.h"

int main(int argc, char** argv) {
    choose_display_platform();
    KapApplication app(argc, argv); // command-line arguments are ignored
    create_windows();
    Form1->show();
    const int code = app.exec();
    destroy_windows();
    return code;
}
