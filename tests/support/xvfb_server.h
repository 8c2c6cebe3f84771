#pragma once
// An Xvfb server of its own for a test or a benchmark, stopped when the object goes. The
// server picks a free display number itself (-displayfd), so simultaneous runs never share one.

#include <QElapsedTimer>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

class XvfbServer {
public:
    // `screen_spec`: WIDTHxHEIGHTxDEPTH, as Xvfb's -screen takes it.
    explicit XvfbServer(const std::string& screen_spec) {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            // Its complaints about display numbers already taken are noise here.
            const int quiet = open("/dev/null", O_WRONLY);
            if (quiet >= 0)
                dup2(quiet, 2);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen_spec.c_str(),
                   "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The server writes the number, then a line feed: read both before closing, or the
        // second write fails and the server stops.
        std::string number;
        char ch = 0;
        while (read(fds[0], &ch, 1) == 1 && ch != '\n')
            number += ch;
        close(fds[0]);
        if (number.empty())
            return;
        const std::string candidate = ":" + number;
        // The number is announced before the server takes its first client.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 5000) {
            xcb_connection_t* c = xcb_connect(candidate.c_str(), nullptr);
            const bool up = !xcb_connection_has_error(c);
            xcb_disconnect(c);
            if (up) {
                name = candidate;
                return;
            }
            QThread::msleep(10);
        }
    }
    ~XvfbServer() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    pid_t pid = -1;
    std::string name; // ":N", empty when the server did not start
};
