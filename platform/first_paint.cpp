#include "platform/first_paint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

class FirstPaint final : public QObject {
public:
    FirstPaint(QWidget* window, std::function<void()> work)
        : QObject(window), work_(std::move(work)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, QCoreApplication::instance(), std::move(work_));
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> work_;
};

} // namespace

void after_first_paint(QWidget* window, std::function<void()> work) {
    window->installEventFilter(new FirstPaint(window, std::move(work)));
}
