// The platform's pointer, through Qt.
#include "platform/pointer.h"

#include <QCursor>
#include <QGuiApplication>
#include <utility>

namespace {
class QtPointer final : public Pointer {
public:
    QPoint position() const override { return QCursor::pos(); }
    void set_position(QPoint screen) override { QCursor::setPos(screen); }
    bool left_button_held() const override {
        return QGuiApplication::mouseButtons().testFlag(Qt::LeftButton);
    }
    bool confine(const QRect& screen) override { return native_confine_pointer(&screen); }
    void release_confinement() override { native_confine_pointer(nullptr); }
};

Pointer* replacement_pointer = nullptr;
} // namespace

Pointer& pointer() {
    if (replacement_pointer)
        return *replacement_pointer;
    static QtPointer real;
    return real;
}

Pointer* set_pointer(Pointer* replacement) {
    return std::exchange(replacement_pointer, replacement);
}
