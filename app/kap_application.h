#pragma once
#include <QApplication>

// The application object. Its notify() is the one guard of the program: an error escaping any
// handler (a click, a shortcut, a mouse event, a timer) is shown in the error box and the program
// returns to idle, instead of reaching Qt's event loop.
//
// The program takes no arguments: Qt is handed the program's name alone, so that none of its
// own options (-reverse, -style, -platform, ...) change how the program looks or runs.
class KapApplication : public QApplication {
public:
    KapApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

private:
    // What Qt sees as the command line; it must outlive the application object.
    static int& program_name_only(int argc, char** argv);
    static int qt_argc_;
    static char* qt_argv_[2];
};

// Shows the error being handled in the error box; to be called from inside a catch block.
void report_escaped_error(QWidget* asker = nullptr);
