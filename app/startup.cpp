#include "app/startup.h"

#include "app/Unit1.h"
#include "app/Unit5.h"
#include "app/main_window_commands.h"
#include "capture/Unit3.h"
#include "edit/Unit4.h"
#include "edit/working_files.h"
#include "platform/dialogs.h"
#include "platform/first_paint.h"
#include "platform/qt_translations.h"
#include "platform/stay_on_top.h"
#include "platform/tool_cursors.h"
#include "resize/Unit2.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLocale>

// The application icon's PNGs, compiled into the program (packaging/icons).
static void init_icon_resources() {
    Q_INIT_RESOURCE(kaptorama_icon);
}

namespace {
// The name of the installed desktop entry (without ".desktop"): task bars and docks match the
// windows to it for their name and icon.
const QString kDesktopFileName = QStringLiteral(KAP_APP_ID);

// The application icon in its sizes up to `largest` pixels.
QIcon application_icon(int largest) {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        if (size <= largest)
            icon.addFile(QStringLiteral(":/icons/kaptorama-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

// Title bars and task bars take the icon's small sizes as the window maps. The window manager
// reads the whole icon before it maps the window, and the sizes above 32 pixels are 97 % of its
// pixels: they follow once the window is on the screen, for the docks and task switchers that
// show them.
constexpr int kLargestIconBeforeShown = 32;
} // namespace

void create_windows() {
    create_main_window();
    create_secondary_windows();
}

void create_main_window() {
    init_resources();
    init_icon_resources();
    QApplication::setApplicationName(QStringLiteral("Kaptorama"));
    QApplication::setDesktopFileName(kDesktopFileName);
    QApplication::setWindowIcon(application_icon(kLargestIconBeforeShown));
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    // The windows are laid out for a small 8-point sans-serif face, 11 pixels high; Liberation
    // Sans has the narrow widths those layouts need.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    QApplication::setFont(font);

    Form1 = new TForm1;
    set_main_window(Form1);
    // Qt's French texts wait until the main window shows: it shows none of them at first (its
    // menu's key names follow when they come), and a dialog readied earlier loads them itself.
    load_qt_translations_once_shown(Form1);
    after_first_paint(Form1, [] { QApplication::setWindowIcon(application_icon(256)); });
}

void create_secondary_windows() {
    Form1->build_delay_panel();
    Form2 = new TForm2;
    Form3 = new TForm3;
    Form4 = new TForm4;
    Form5 = new TForm5;

    // The secondary windows take the main window's stay-on-top style while they are shown.
    set_stay_on_top_owner([](bool on_top) { Form1->set_stay_on_top(on_top); });
    Form1->set_commands(std::make_unique<MainWindowCommands>(*Form1, *Form3));
    Form3->on_release = [](QPoint press, QPoint release) {
        Form1->commands().capture.region_released(press, release);
    };
}

void destroy_windows() {
    forget_grabbed_capture_write();
    delete Form5;
    Form5 = nullptr;
    delete Form4;
    Form4 = nullptr;
    delete Form3;
    Form3 = nullptr;
    delete Form2;
    Form2 = nullptr;
    delete Form1;
    Form1 = nullptr;
}
