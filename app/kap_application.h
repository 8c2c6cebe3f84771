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

// Runs fn and turns any escaping error into the error box. For code that runs outside an event
// (start-up, direct calls from tests that mimic the event loop).
template <typename Fn> void run_guarded(Fn&& fn);

void report_escaped_error(); // to be called from inside a catch block

template <typename Fn> void run_guarded(Fn&& fn) {
    try {
        fn();
    } catch (...) {
        report_escaped_error();
    }
}
