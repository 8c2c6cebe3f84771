// Start-up time of a program to its first window mapped, beside a yardstick program, in rounds
// that alternate the two so that the load of a shared machine weighs on both alike:
//
//   bench/startup/run.sh [rounds]            (its own X server and window manager)
//   startup_bench [--rounds N] PROGRAM YARDSTICK
//
// Each launch is timed from just before the program is started to the moment the X server maps
// its first top-level window (the window manager's frame around it, under a reparenting
// manager): this client watches the root window's children from before the start, and the
// mapped window is the program's when it, or a window inside it, carries the program's process
// id (_NET_WM_PID). The program is then ended and the next launch waits for the desktop to
// settle. One launch of each, not counted, warms the caches first.
//
// Prints every round, then the medians of both times and of the per-round ratio, and the ratio
// of the two medians.

#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kMapDeadline = std::chrono::seconds(20);
constexpr auto kSettle = std::chrono::milliseconds(300);

template <class T> struct Freed {
    T* p;
    explicit Freed(T* reply) : p(reply) {}
    ~Freed() { std::free(p); }
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

class MapWatch {
public:
    MapWatch() {
        c_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c_)) {
            std::fprintf(stderr, "startup_bench: no X display (DISPLAY=%s)\n",
                         std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "");
            std::exit(2);
        }
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
        const char name[] = "_NET_WM_PID";
        Freed<xcb_intern_atom_reply_t> atom(
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, sizeof name - 1, name), nullptr));
        pid_atom_ = atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    ~MapWatch() { xcb_disconnect(c_); }
    MapWatch(const MapWatch&) = delete;
    MapWatch& operator=(const MapWatch&) = delete;

    // Milliseconds from the start of `program` to its first window mapped; nothing when it
    // failed to start, ended or showed nothing in time. The program is ended afterwards.
    std::optional<double> launch(const std::string& program) {
        drain();
        const Clock::time_point start = Clock::now();
        pid_t pid = 0;
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) {
            std::fprintf(stderr, "startup_bench: cannot start %s\n", program.c_str());
            return std::nullopt;
        }
        std::optional<double> ms;
        while (Clock::now() - start < kMapDeadline) {
            xcb_generic_event_t* event = xcb_poll_for_event(c_);
            if (!event) {
                if (xcb_connection_has_error(c_) || waitpid(pid, nullptr, WNOHANG) == pid) {
                    pid = 0;
                    break;
                }
                pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
                poll(&fd, 1, 50);
                continue;
            }
            const Clock::time_point at = Clock::now();
            const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
            const xcb_window_t window =
                mapped ? reinterpret_cast<xcb_map_notify_event_t*>(event)->window : 0;
            std::free(event);
            if (mapped && belongs_to(window, pid, 3)) {
                ms = std::chrono::duration<double, std::milli>(at - start).count();
                break;
            }
        }
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        // The window manager lets the window go before the next launch.
        std::this_thread::sleep_for(kSettle);
        drain();
        if (!ms)
            std::fprintf(stderr, "startup_bench: %s showed no window\n", program.c_str());
        return ms;
    }

private:
    void drain() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c_))
            std::free(event);
    }

    // Whether `window` or one of its descendants down to `depth` levels carries `pid`.
    bool belongs_to(xcb_window_t window, pid_t pid, int depth) {
        Freed<xcb_get_property_reply_t> property(xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, window, pid_atom_, XCB_ATOM_CARDINAL, 0, 1), nullptr));
        if (property && property->format == 32 && xcb_get_property_value_length(property.p) >= 4 &&
            *static_cast<const uint32_t*>(xcb_get_property_value(property.p)) == uint32_t(pid))
            return true;
        if (depth == 0)
            return false;
        Freed<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c_, xcb_query_tree(c_, window), nullptr));
        if (!tree)
            return false;
        const xcb_window_t* children = xcb_query_tree_children(tree.p);
        const int count = xcb_query_tree_children_length(tree.p);
        for (int i = 0; i < count; ++i)
            if (belongs_to(children[i], pid, depth - 1))
                return true;
        return false;
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t pid_atom_ = XCB_ATOM_NONE;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string base_name(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 9;
    std::vector<std::string> programs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else
            programs.emplace_back(argv[i]);
    }
    if (programs.size() != 2) {
        std::fprintf(stderr, "usage: startup_bench [--rounds N] PROGRAM YARDSTICK\n");
        return 2;
    }
    const std::string& program = programs[0];
    const std::string& yardstick = programs[1];
    MapWatch watch;
    if (!watch.launch(yardstick) || !watch.launch(program))
        return 1;

    std::printf("program: %s, yardstick: %s (ms to the window mapped)\n",
                base_name(program).c_str(), base_name(yardstick).c_str());
    std::printf("round  program  yardstick  ratio\n");
    std::vector<double> times_a, times_b, ratios;
    for (int round = 1; round <= rounds; ++round) {
        // Alternate which goes first, so that neither always follows the other.
        std::optional<double> ta, tb;
        if (round % 2) {
            ta = watch.launch(program);
            tb = watch.launch(yardstick);
        } else {
            tb = watch.launch(yardstick);
            ta = watch.launch(program);
        }
        if (!ta || !tb)
            return 1;
        times_a.push_back(*ta);
        times_b.push_back(*tb);
        ratios.push_back(*ta / *tb);
        std::printf("%5d  %7.1f  %9.1f  %5.3f\n", round, *ta, *tb, ratios.back());
        std::fflush(stdout);
    }
    std::printf("median %7.1f  %9.1f  %5.3f\n", median(times_a), median(times_b), median(ratios));
    std::printf("ratio of the medians: %5.3f\n", median(times_a) / median(times_b));
    return 0;
}
