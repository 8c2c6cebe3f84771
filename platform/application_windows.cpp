#include "platform/application_windows.h"

#include "platform/qt_translations.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <vector>

namespace {
std::vector<QPointer<QWidget>>& minimised_windows() {
    static std::vector<QPointer<QWidget>> windows;
    return windows;
}
} // namespace

void minimise_application_windows() {
    auto& minimised = minimised_windows();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->isMinimized())
            continue;
        minimised.emplace_back(window);
        window->showMinimized();
    }
}

void restore_application_windows() {
    auto& minimised = minimised_windows();
    for (const QPointer<QWidget>& window : minimised) {
        if (window && window->isMinimized())
            window->showNormal();
    }
    minimised.clear();
}

void show_in_front(QWidget* window) {
    // The window's edit fields have Qt's menus.
    load_qt_translations();
    if (window->windowState() & Qt::WindowMinimized)
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
}

void enable_application_windows(bool enabled) {
    for (QWidget* window : QApplication::topLevelWidgets())
        window->setEnabled(enabled);
}
