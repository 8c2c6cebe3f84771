#pragma once
#include <QApplication>

// The application object. Its notify() is the one guard of the program: an error escaping any
// handler (a click, a shortcut, a mouse event, a timer) is shown in the error box and the program
// returns to idle, instead of reaching Qt's event loop.
class KapApplication : public QApplication {
public:
    KapApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows the error being handled in the error box; to be called from inside a catch block.
void report_escaped_error(QWidget* asker = nullptr);
