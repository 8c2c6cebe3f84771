#include "platform/stay_on_top.h"

#include <algorithm>
#include <vector>

namespace {
std::function<void(bool)>& owner() {
    static std::function<void(bool)> apply;
    return apply;
}
// The secondary windows shown now; the main window is on top when there is none.
std::vector<const QWidget*>& shown_windows() {
    static std::vector<const QWidget*> shown;
    return shown;
}
} // namespace

void set_stay_on_top_owner(std::function<void(bool on_top)> apply) {
    owner() = std::move(apply);
    shown_windows().clear();
}

void secondary_window_visibility(const QWidget* window, bool shown) {
    auto& windows = shown_windows();
    const auto it = std::find(windows.begin(), windows.end(), window);
    if (shown && it == windows.end())
        windows.push_back(window);
    else if (!shown && it != windows.end())
        windows.erase(it);
    if (owner())
        owner()(windows.empty());
}

bool main_window_on_top() {
    return shown_windows().empty();
}
