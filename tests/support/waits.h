#pragma once
// Waiting in tests for what a window manager, a compositor or another program does in its own
// time, and driving the pointer and keyboard with xdotool.

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTest>
#include <functional>

// Processes events until `done` holds; false when `ms` milliseconds passed first.
inline bool wait_until(const std::function<bool()>& done, int ms = 5000, int step_ms = 10) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QTest::qWait(step_ms);
    }
    return true;
}

// Runs xdotool with these arguments, events processed meanwhile; true when it succeeded.
inline bool xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForStarted(5000))
        return false;
    wait_until([&] { return process.state() == QProcess::NotRunning; }, 20000);
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
