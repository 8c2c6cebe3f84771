#pragma once
// Benchmarks that need a screen of a given size start an Xvfb server of their own.

#include <QSize>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// An Xvfb server of its own, stopped when the object goes.
class Xvfb {
public:
    explicit Xvfb(QSize size) {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            const std::string screen =
                std::to_string(size.width()) + "x" + std::to_string(size.height()) + "x24";
            // Its complaints about display numbers already taken are noise here.
            const int quiet = open("/dev/null", O_WRONLY);
            if (quiet >= 0)
                dup2(quiet, 2);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
                   "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The number comes first, then a line feed; both must be read.
        std::string number;
        char ch = 0;
        while (read(fds[0], &ch, 1) == 1 && ch != '\n')
            number += ch;
        close(fds[0]);
        if (!number.empty())
            name = ":" + number;
    }
    ~Xvfb() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    pid_t pid = -1;
    std::string name;
};
