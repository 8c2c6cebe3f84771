#include "platform/wait.h"

#include "platform/screen.h"

#include <QThread>

namespace {
std::function<void(int)>& installed_waiter() {
    static std::function<void(int)> waiter;
    return waiter;
}
} // namespace

void block_for_ms(int milliseconds) {
    if (installed_waiter()) {
        installed_waiter()(milliseconds);
        return;
    }
    screen().sync();
    if (milliseconds > 0)
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void set_waiter(std::function<void(int)> waiter) {
    installed_waiter() = std::move(waiter);
}
