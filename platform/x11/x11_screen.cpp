#include "platform/x11/x11_screen.h"

#include "platform/core/error.h"
#include "platform/x11/screen_pixels.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <vector>
#include <xcb/damage.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using Reply = std::unique_ptr<T, FreeDeleter>;

// Waits for the reply of `cookie`. An X error gives an empty reply; the error is dropped here
// so that it does not pile up in the event queue.
template <class T, class Cookie>
Reply<T> get_reply(T* (*fn)(xcb_connection_t*, Cookie, xcb_generic_error_t**), xcb_connection_t* c,
                   Cookie cookie) {
    xcb_generic_error_t* error = nullptr;
    T* reply = fn(c, cookie, &error);
    std::free(error);
    return Reply<T>(reply);
}

// Images are read in bands of at most this many bytes when shared memory is not available, so
// that no single reply grows to the size of a whole 4K screen.
constexpr size_t kPlainBandBytes = 8u << 20;
// Shared segments grow in steps of this size so that slightly larger grabs reuse them.
constexpr size_t kSegmentStep = 1u << 20;

QString display_label(const QByteArray& name) {
    QByteArray shown = name.isEmpty() ? qgetenv("DISPLAY") : name;
    return QString::fromLocal8Bit(shown);
}

// A window hidden by this program only leaves the screen once the window manager has taken its
// frame away and a compositing manager, where one runs, has painted the place again (after a
// fade-out of several hundred milliseconds with some). These bounds, counted from the moment
// the window was hidden, keep a broken window manager or compositor from holding up a capture.
constexpr qint64 kFrameWaitMs = 1000;
constexpr qint64 kFadeWaitMs = 1500;
// The compositor is done with a hidden window once it has repainted the window's place and then
// left it alone for a while: three times the longest pause seen between two steps of its fade,
// within these limits, or kFirstQuietMs while too few steps have been seen to tell its pace.
constexpr qint64 kFirstQuietMs = 100;
constexpr qint64 kMinQuietMs = 40;
constexpr qint64 kMaxQuietMs = 250;
constexpr unsigned long kPollMs = 4;
// A repaint counts as one of the hidden window when it covers this share of its place.
constexpr double kRepaintShare = 0.9;

qint64 now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// One of the program's top-level windows, hidden lately.
struct HiddenWindow {
    xcb_window_t id = 0;  // the program's window
    xcb_window_t top = 0; // its ancestor on the root window: the manager's frame, or itself
    QRect area;           // where that stood, in root-window coordinates
    qint64 hidden_at = 0; // now_ms() when it was hidden
};

std::vector<HiddenWindow>& hidden_windows() {
    static std::vector<HiddenWindow> windows;
    return windows;
}

// The X11 screens alive, told when one of the program's windows has just been hidden.
std::vector<std::pair<const void*, std::function<void()>>>& hide_listeners() {
    static std::vector<std::pair<const void*, std::function<void()>>> listeners;
    return listeners;
}

// Notes where each top-level window of the program stood when it was hidden, so that a grab
// can wait until it is really gone from the screen. A window tells it is being hidden (its
// visibleChanged signal) before Qt asks the server to unmap it: Qt's own X connection is asked
// then, while the window manager's frame is still there, and the X11 screens start watching the
// compositor before it can act on the hide. The hide event, which comes after the unmap, is the
// fallback.
class HideWatcher final : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() != QEvent::Hide && event->type() != QEvent::Show)
            return false;
        QWindow* window = qobject_cast<QWindow*>(object);
        if (!window)
            if (auto* widget = qobject_cast<QWidget*>(object); widget && widget->isWindow())
                window = widget->windowHandle();
        if (window && window->isTopLevel() && window->handle()) {
            if (event->type() == QEvent::Show)
                connect(window, &QWindow::visibleChanged, this, &HideWatcher::visibility_changed,
                        Qt::UniqueConnection);
            note(xcb_window_t(window->winId()), event->type() == QEvent::Hide);
        }
        return false;
    }

private:
    void visibility_changed(bool visible) {
        auto* window = qobject_cast<QWindow*>(sender());
        if (!visible && window && window->isTopLevel() && window->handle())
            note(xcb_window_t(window->winId()), true);
    }

    static void note(xcb_window_t id, bool hidden) {
        std::vector<HiddenWindow>& windows = hidden_windows();
        if (!hidden) {
            std::erase_if(windows, [&](const HiddenWindow& w) { return w.id == id; });
            return;
        }
        // The window and its widget both tell of one hide: the first, earlier, is kept.
        if (std::any_of(windows.begin(), windows.end(),
                        [&](const HiddenWindow& w) { return w.id == id; }))
            return;
        auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        xcb_connection_t* c = x11 ? x11->connection() : nullptr;
        if (!c)
            return;
        HiddenWindow entry;
        entry.id = id;
        entry.top = id;
        entry.hidden_at = now_ms();
        for (;;) {
            auto tree = get_reply(xcb_query_tree_reply, c, xcb_query_tree(c, entry.top));
            if (!tree)
                return;
            if (tree->parent == tree->root || tree->parent == XCB_NONE)
                break;
            entry.top = tree->parent;
        }
        auto g = get_reply(xcb_get_geometry_reply, c, xcb_get_geometry(c, entry.top));
        if (!g)
            return;
        entry.area =
            QRect(g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width);
        windows.push_back(entry);
        // The real screen exists from now on, so that it watches the compositor too.
        (void)screen();
        for (const auto& listener : hide_listeners())
            listener.second();
    }
};

void install_hide_watcher() {
    QCoreApplication* app = QCoreApplication::instance();
    app->installEventFilter(new HideWatcher(app));
}
Q_COREAPP_STARTUP_FUNCTION(install_hide_watcher)

// A connection to the X server with the root window of the screen it reads, and whether RandR
// answers on it.
struct Link {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    bool randr = false;
};

} // namespace

struct X11Screen::Impl {
    QByteArray display_name;
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    QString format_error; // empty when the root window's pixel format is one we read

    bool have_shm = false;
    bool have_xfixes = false;
    bool have_randr = false;
    bool have_damage = false;
    bool shm_allowed = true;
    bool last_shm = false;

    // The shared-memory segment, kept between grabs and grown when a grab needs more.
    xcb_shm_seg_t segment = 0;
    uint8_t* segment_addr = nullptr;
    size_t segment_size = 0;

    xcb_atom_t net_active_window = XCB_ATOM_NONE;
    xcb_atom_t net_frame_extents = XCB_ATOM_NONE;
    xcb_atom_t net_workarea = XCB_ATOM_NONE;
    xcb_atom_t net_current_desktop = XCB_ATOM_NONE;
    xcb_atom_t compositor_selection = XCB_ATOM_NONE; // _NET_WM_CM_Sn, owned by a compositor

    // What is painted on the root window while hidden windows leave the screen.
    xcb_damage_damage_t watch_damage = 0;
    xcb_xfixes_region_t watch_region = 0;

    // The work area's atoms, interned through Qt's connection before this one is open (atoms
    // belong to the server: they hold for every connection).
    bool layout_atoms = false;

    ~Impl() { disconnect(); }

    void disconnect() {
        release_segment();
        if (c)
            xcb_disconnect(c);
        c = nullptr;
        watch_damage = watch_region = 0;
        have_shm = have_xfixes = have_randr = have_damage = false;
    }

    void connect() {
        if (c && !xcb_connection_has_error(c))
            return;
        disconnect();
        int screen_number = 0;
        xcb_connection_t* conn = xcb_connect(
            display_name.isEmpty() ? nullptr : display_name.constData(), &screen_number);
        if (xcb_connection_has_error(conn)) {
            xcb_disconnect(conn);
            throw KapError(QStringLiteral("Impossible de se connecter à l'affichage X \"%1\".")
                               .arg(display_label(display_name)));
        }
        const xcb_setup_t* setup = xcb_get_setup(conn);
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
        for (int i = 0; i < screen_number && it.rem > 1; ++i)
            xcb_screen_next(&it);
        c = conn;
        root = it.data->root;
        format_error = check_format(setup, it.data);

        xcb_prefetch_extension_data(c, &xcb_shm_id);
        xcb_prefetch_extension_data(c, &xcb_xfixes_id);
        xcb_prefetch_extension_data(c, &xcb_randr_id);
        xcb_prefetch_extension_data(c, &xcb_damage_id);
        const QByteArray compositor = "_NET_WM_CM_S" + QByteArray::number(screen_number);
        const char* atom_names[] = {"_NET_ACTIVE_WINDOW", "_NET_FRAME_EXTENTS", "_NET_WORKAREA",
                                    "_NET_CURRENT_DESKTOP", compositor.constData()};
        constexpr int kAtomCount = 5;
        xcb_intern_atom_cookie_t atom_cookies[kAtomCount];
        for (int i = 0; i < kAtomCount; ++i)
            atom_cookies[i] =
                xcb_intern_atom(c, 0, uint16_t(std::strlen(atom_names[i])), atom_names[i]);
        xcb_atom_t* atoms[] = {&net_active_window, &net_frame_extents, &net_workarea,
                               &net_current_desktop, &compositor_selection};
        for (int i = 0; i < kAtomCount; ++i) {
            auto reply = get_reply(xcb_intern_atom_reply, c, atom_cookies[i]);
            *atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        }
        layout_atoms = true;

        if (xcb_get_extension_data(c, &xcb_shm_id)->present) {
            auto reply = get_reply(xcb_shm_query_version_reply, c, xcb_shm_query_version(c));
            have_shm = bool(reply);
        }
        if (xcb_get_extension_data(c, &xcb_xfixes_id)->present) {
            // The version must be announced before any other XFixes request.
            auto reply =
                get_reply(xcb_xfixes_query_version_reply, c, xcb_xfixes_query_version(c, 4, 0));
            have_xfixes = reply && reply->major_version >= 1;
        }
        if (xcb_get_extension_data(c, &xcb_randr_id)->present) {
            auto reply =
                get_reply(xcb_randr_query_version_reply, c, xcb_randr_query_version(c, 1, 3));
            have_randr = reply && (reply->major_version > 1 ||
                                   (reply->major_version == 1 && reply->minor_version >= 3));
        }
        if (const auto* damage = xcb_get_extension_data(c, &xcb_damage_id); damage->present) {
            auto reply =
                get_reply(xcb_damage_query_version_reply, c, xcb_damage_query_version(c, 1, 1));
            have_damage = bool(reply);
        }
    }

    // The root window must hold 32-bit pixels with 8-bit red, green and blue in the low three
    // bytes, stored least significant byte first: what depth-24 and depth-32 true-colour
    // servers use. Returns the message for anything else.
    static QString check_format(const xcb_setup_t* setup, const xcb_screen_t* s) {
        int bits_per_pixel = 0;
        const xcb_format_t* formats = xcb_setup_pixmap_formats(setup);
        for (int i = 0; i < xcb_setup_pixmap_formats_length(setup); ++i)
            if (formats[i].depth == s->root_depth)
                bits_per_pixel = formats[i].bits_per_pixel;
        const xcb_visualtype_t* visual = nullptr;
        for (auto d = xcb_screen_allowed_depths_iterator(s); d.rem && !visual; xcb_depth_next(&d))
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->visual_id == s->root_visual) {
                    visual = v.data;
                    break;
                }
        const bool ok = (s->root_depth == 24 || s->root_depth == 32) && bits_per_pixel == 32 &&
                        setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST && visual &&
                        visual->red_mask == 0xFF0000u && visual->green_mask == 0x00FF00u &&
                        visual->blue_mask == 0x0000FFu;
        if (ok)
            return {};
        return QStringLiteral("Format d'écran non pris en charge : profondeur de %1 bits. "
                              "Seuls les écrans en 24 ou 32 bits sont lus.")
            .arg(s->root_depth);
    }

    // Drops whatever errors of requests without replies arrived as events.
    void drain_events() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c))
            std::free(event);
    }

    Link own() const { return {c, root, have_randr}; }

    // The connection that answers questions about the screen's layout (displays, work area):
    // Qt's own where it serves this display, else the program's. The program's connection is
    // opened at the first grab: its set-up costs round trips the first window does without.
    Link layout() {
        if (display_name.isEmpty() && qGuiApp && QThread::currentThread() == qGuiApp->thread())
            if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
                if (xcb_connection_t* qt = x11->connection(); qt && !xcb_connection_has_error(qt))
                    return qt_link(qt);
        connect();
        return own();
    }

    Link qt_link(xcb_connection_t* qt) {
        // Qt opened the display of $DISPLAY: its screen number is the one this names.
        char* host = nullptr;
        int display = 0, screen_number = 0;
        if (xcb_parse_display(nullptr, &host, &display, &screen_number))
            std::free(host);
        else
            screen_number = 0;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(qt));
        for (int i = 0; i < screen_number && it.rem > 1; ++i)
            xcb_screen_next(&it);
        if (!layout_atoms) {
            const char* names[] = {"_NET_WORKAREA", "_NET_CURRENT_DESKTOP"};
            xcb_atom_t* atoms[] = {&net_workarea, &net_current_desktop};
            xcb_intern_atom_cookie_t cookies[2];
            for (int i = 0; i < 2; ++i)
                cookies[i] = xcb_intern_atom(qt, 0, uint16_t(std::strlen(names[i])), names[i]);
            for (int i = 0; i < 2; ++i) {
                auto reply = get_reply(xcb_intern_atom_reply, qt, cookies[i]);
                *atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
            }
            layout_atoms = true;
        }
        // Qt has set RandR up on its connection where the server has it.
        return {qt, it.data->root, xcb_get_extension_data(qt, &xcb_randr_id)->present != 0};
    }

    static QRect root_geometry(const Link& l) {
        auto g = get_reply(xcb_get_geometry_reply, l.c, xcb_get_geometry(l.c, l.root));
        if (!g)
            throw KapError(QStringLiteral("Impossible de lire la taille de l'écran X."));
        return QRect(0, 0, g->width, g->height);
    }

    // The primary display in root-window coordinates: the CRTC of the RandR primary output,
    // or the whole root window when there is none.
    static QRect primary_in_root(const Link& l) {
        xcb_connection_t* c = l.c;
        if (l.randr) {
            auto primary = get_reply(xcb_randr_get_output_primary_reply, c,
                                     xcb_randr_get_output_primary(c, l.root));
            if (primary && primary->output != XCB_NONE) {
                auto output =
                    get_reply(xcb_randr_get_output_info_reply, c,
                              xcb_randr_get_output_info(c, primary->output, XCB_CURRENT_TIME));
                if (output && output->crtc != XCB_NONE) {
                    auto crtc =
                        get_reply(xcb_randr_get_crtc_info_reply, c,
                                  xcb_randr_get_crtc_info(c, output->crtc, XCB_CURRENT_TIME));
                    if (crtc && crtc->width > 0 && crtc->height > 0)
                        return QRect(crtc->x, crtc->y, crtc->width, crtc->height);
                }
            }
        }
        return root_geometry(l);
    }

    // A request for a 32-bit property of `window`, at most `max_items` of its values; its
    // answer is taken with property32(), so that other requests can go out meanwhile.
    struct PropertyRequest {
        xcb_get_property_cookie_t cookie{0};
        xcb_atom_t type = XCB_ATOM_NONE;
        bool sent = false;
    };
    static PropertyRequest ask_property32(const Link& l, xcb_window_t window, xcb_atom_t name,
                                          xcb_atom_t type, uint32_t max_items) {
        if (name == XCB_ATOM_NONE)
            return {};
        return {xcb_get_property(l.c, 0, window, name, type, 0, max_items), type, true};
    }

    // Gives up the answer to a request that will not be taken.
    static void discard(const Link& l, const PropertyRequest& request) {
        if (request.sent)
            xcb_discard_reply(l.c, request.cookie.sequence);
    }

    // The property's values; empty when it is missing or of another type.
    static std::vector<uint32_t> property32(const Link& l, const PropertyRequest& request) {
        if (!request.sent)
            return {};
        auto reply = get_reply(xcb_get_property_reply, l.c, request.cookie);
        if (!reply || reply->type != request.type || reply->format != 32)
            return {};
        const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
        const int count = xcb_get_property_value_length(reply.get()) / 4;
        return std::vector<uint32_t>(values, values + count);
    }

    // Values of a 32-bit property of `window`, at most `max_items` of them; empty when the
    // property is missing or of another type.
    static std::vector<uint32_t> property32(const Link& l, xcb_window_t window, xcb_atom_t name,
                                            xcb_atom_t type, uint32_t max_items) {
        return property32(l, ask_property32(l, window, name, type, max_items));
    }

    bool compositor_running() {
        if (compositor_selection == XCB_ATOM_NONE)
            return false;
        auto owner = get_reply(xcb_get_selection_owner_reply, c,
                               xcb_get_selection_owner(c, compositor_selection));
        return owner && owner->owner != XCB_NONE;
    }

    // Waits until the window manager has taken each of `windows` off the root window (its
    // frame unmapped or destroyed), for each at most kFrameWaitMs from its hide.
    void wait_for_frames(const std::vector<HiddenWindow>& windows) {
        for (const HiddenWindow& window : windows) {
            while (now_ms() - window.hidden_at < kFrameWaitMs) {
                auto attributes = get_reply(xcb_get_window_attributes_reply, c,
                                            xcb_get_window_attributes(c, window.top));
                if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
                    break;
                QThread::msleep(2);
            }
        }
    }

    // Starts following what is painted on the root window, when a compositor runs: called as
    // one of the program's windows is being hidden, before the window manager and the
    // compositor act on it. One watch serves every hide until the next grab ends it; it holds
    // at most one pending event, however long it runs.
    void begin_watch() {
        if (watch_damage)
            return;
        try {
            connect();
        } catch (const KapError&) {
            return;
        }
        if (!have_damage || !have_xfixes || !compositor_running())
            return;
        watch_damage = xcb_generate_id(c);
        xcb_damage_create(c, watch_damage, root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
        watch_region = xcb_generate_id(c);
        xcb_xfixes_create_region(c, watch_region, 0, nullptr);
        // In place before the window manager hears of the hide.
        get_reply(xcb_get_input_focus_reply, c, xcb_get_input_focus(c));
        drain_events();
    }

    void end_watch() {
        if (!watch_damage)
            return;
        if (c && !xcb_connection_has_error(c)) {
            xcb_damage_destroy(c, watch_damage);
            xcb_xfixes_destroy_region(c, watch_region);
            xcb_flush(c);
        }
        watch_damage = watch_region = 0;
    }

    // Whether what was painted on the root window since the last call covers most of one of
    // `areas`.
    bool repainted(const std::vector<QRect>& areas) {
        xcb_damage_subtract(c, watch_damage, XCB_NONE, watch_region);
        auto region =
            get_reply(xcb_xfixes_fetch_region_reply, c, xcb_xfixes_fetch_region(c, watch_region));
        drain_events(); // the watch's notice that something was painted
        if (!region)
            return false;
        const xcb_rectangle_t* rects = xcb_xfixes_fetch_region_rectangles(region.get());
        const int count = xcb_xfixes_fetch_region_rectangles_length(region.get());
        for (const QRect& area : areas) {
            int64_t covered = 0;
            for (int i = 0; i < count; ++i) {
                const QRect part =
                    QRect(rects[i].x, rects[i].y, rects[i].width, rects[i].height) & area;
                if (!part.isEmpty())
                    covered += int64_t(part.width()) * part.height();
            }
            if (double(covered) >= kRepaintShare * double(area.width()) * area.height())
                return true;
        }
        return false;
    }

    // Waits until the compositor has painted the places of `windows` again and then left them
    // alone: the windows are gone, at the end of a fade-out or at once. Bounded by kFadeWaitMs
    // from the last hide.
    void wait_for_compositor(const std::vector<HiddenWindow>& windows) {
        std::vector<QRect> areas;
        qint64 deadline = 0;
        const QRect screen_area = root_geometry(own());
        for (const HiddenWindow& window : windows) {
            const QRect area = window.area.intersected(screen_area);
            if (area.isEmpty())
                continue;
            areas.push_back(area);
            deadline = std::max(deadline, window.hidden_at + kFadeWaitMs);
        }
        int seen = 0;
        qint64 last = 0;
        qint64 longest_gap = 0;
        while (!areas.empty()) {
            const qint64 now = now_ms();
            if (repainted(areas)) {
                if (seen > 0)
                    longest_gap = std::max(longest_gap, now - last);
                last = now;
                ++seen;
            } else if (seen > 0) {
                const qint64 quiet = seen >= 2
                                         ? std::clamp(3 * longest_gap, kMinQuietMs, kMaxQuietMs)
                                         : kFirstQuietMs;
                if (now - last >= quiet)
                    return;
            }
            if (now >= deadline)
                return;
            QThread::msleep(kPollMs);
        }
    }

    // Makes sure the program's windows hidden lately are really gone from the screen, right
    // before a grab: their frames gone, and the compositor's fade-out over.
    void settle_hidden_windows() {
        std::vector<HiddenWindow> recent;
        const qint64 now = now_ms();
        for (const HiddenWindow& window : hidden_windows())
            if (now - window.hidden_at < kFadeWaitMs)
                recent.push_back(window);
        hidden_windows().clear();
        if (recent.empty()) {
            end_watch();
            return;
        }
        wait_for_frames(recent);
        if (watch_damage)
            wait_for_compositor(recent);
        end_watch();
    }

    void release_segment() {
        if (!segment_addr)
            return;
        if (c && !xcb_connection_has_error(c)) {
            xcb_shm_detach(c, segment);
            xcb_flush(c);
        }
        shmdt(segment_addr);
        segment_addr = nullptr;
        segment_size = 0;
    }

    // A segment of at least `bytes` attached on both sides, or false.
    bool ensure_segment(size_t bytes) {
        if (segment_addr && segment_size >= bytes)
            return true;
        release_segment();
        const size_t size = (bytes + kSegmentStep - 1) / kSegmentStep * kSegmentStep;
        const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (id < 0)
            return false;
        void* addr = shmat(id, nullptr, 0);
        if (addr == reinterpret_cast<void*>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            return false;
        }
        const xcb_shm_seg_t seg = xcb_generate_id(c);
        xcb_generic_error_t* error =
            xcb_request_check(c, xcb_shm_attach_checked(c, seg, uint32_t(id), 0));
        // Marked for removal now: it disappears once both sides have detached, even if this
        // process dies.
        shmctl(id, IPC_RMID, nullptr);
        if (error) {
            // Typically a server on another machine: it cannot share our memory.
            std::free(error);
            shmdt(addr);
            have_shm = false;
            return false;
        }
        segment = seg;
        segment_addr = static_cast<uint8_t*>(addr);
        segment_size = size;
        return true;
    }

    // Reads the root-window area (x, y, w, h), which lies wholly on the root window, into the
    // raster at `dst`. The server writes straight into the shared segment; the conversion
    // into the raster is the only other pass over the pixels.
    bool grab_shared(int x, int y, int w, int h, uint8_t* dst, qsizetype dst_stride) {
        const size_t bytes = size_t(w) * size_t(h) * 4;
        if (!ensure_segment(bytes))
            return false;
        auto reply =
            get_reply(xcb_shm_get_image_reply, c,
                      xcb_shm_get_image(c, root, int16_t(x), int16_t(y), uint16_t(w), uint16_t(h),
                                        ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment, 0));
        if (!reply || reply->size < bytes)
            return false;
        xrgb32_to_bgr888(segment_addr, qsizetype(w) * 4, dst, dst_stride, w, h);
        return true;
    }

    void grab_plain(int x, int y, int w, int h, uint8_t* dst, qsizetype dst_stride) {
        const size_t row_bytes = size_t(w) * 4;
        const int band = int(std::max<size_t>(1, kPlainBandBytes / row_bytes));
        for (int row = 0; row < h; row += band) {
            const int rows = std::min(band, h - row);
            auto reply =
                get_reply(xcb_get_image_reply, c,
                          xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, int16_t(x),
                                        int16_t(y + row), uint16_t(w), uint16_t(rows), ~0u));
            if (!reply || size_t(xcb_get_image_data_length(reply.get())) < row_bytes * size_t(rows))
                throw KapError(QStringLiteral("Impossible de lire les pixels de l'écran."));
            xrgb32_to_bgr888(xcb_get_image_data(reply.get()), qsizetype(row_bytes),
                             dst + row * dst_stride, dst_stride, w, rows);
        }
    }
};

X11Screen::X11Screen(QByteArray display_name) : d(std::make_unique<Impl>()) {
    d->display_name = std::move(display_name);
    hide_listeners().emplace_back(d.get(), [impl = d.get()] { impl->begin_watch(); });
}

X11Screen::~X11Screen() {
    std::erase_if(hide_listeners(),
                  [&](const auto& listener) { return listener.first == d.get(); });
}

void X11Screen::set_shared_memory_allowed(bool allowed) {
    d->shm_allowed = allowed;
}

bool X11Screen::last_grab_used_shared_memory() const {
    return d->last_shm;
}

bool X11Screen::connected() const {
    return d->c != nullptr;
}

ScreenRect X11Screen::primary_display() {
    const QRect p = Impl::primary_in_root(d->layout());
    return {0, 0, p.width(), p.height()};
}

ScreenRect X11Screen::virtual_desktop() {
    const Link l = d->layout();
    const QRect p = Impl::primary_in_root(l);
    return ScreenRect::from_qrect(Impl::root_geometry(l).translated(-p.topLeft()));
}

ScreenRect X11Screen::work_area() {
    const Link l = d->layout();
    // _NET_WORKAREA holds one x, y, width, height per virtual desktop; take the current one's.
    // Both properties are asked for first: their answers come while the displays are read.
    const Impl::PropertyRequest current_request =
        Impl::ask_property32(l, l.root, d->net_current_desktop, XCB_ATOM_CARDINAL, 1);
    const Impl::PropertyRequest areas_request =
        Impl::ask_property32(l, l.root, d->net_workarea, XCB_ATOM_CARDINAL, 4 * 64);
    QRect primary;
    try {
        primary = Impl::primary_in_root(l);
    } catch (const KapError&) {
        Impl::discard(l, current_request);
        Impl::discard(l, areas_request);
        throw;
    }
    const std::vector<uint32_t> current = Impl::property32(l, current_request);
    const std::vector<uint32_t> areas = Impl::property32(l, areas_request);
    size_t index = current.empty() ? 0 : size_t(current[0]) * 4;
    if (index + 4 > areas.size())
        index = 0;
    QRect area = primary;
    if (areas.size() >= index + 4) {
        const QRect work(int32_t(areas[index]), int32_t(areas[index + 1]),
                         int32_t(areas[index + 2]), int32_t(areas[index + 3]));
        const QRect inside = work.intersected(primary);
        if (!inside.isEmpty())
            area = inside;
    }
    return ScreenRect::from_qrect(area.translated(-primary.topLeft()));
}

void X11Screen::grab(QImage& raster, const ScreenRect& rect) {
    d->connect();
    if (!d->format_error.isEmpty())
        throw KapError(d->format_error);
    d->last_shm = false;
    d->settle_hidden_windows();
    const QRect primary = Impl::primary_in_root(d->own());
    const QRect root = Impl::root_geometry(d->own());

    // The rectangle in root coordinates, and the part of it that lies on the root window.
    const int64_t left = int64_t(rect.left) + primary.x();
    const int64_t top = int64_t(rect.top) + primary.y();
    const int64_t right = int64_t(rect.right) + primary.x();
    const int64_t bottom = int64_t(rect.bottom) + primary.y();
    const int64_t in_left = std::max<int64_t>(left, 0);
    const int64_t in_top = std::max<int64_t>(top, 0);
    const int64_t in_right = std::min<int64_t>(right, root.width());
    const int64_t in_bottom = std::min<int64_t>(bottom, root.height());

    uint8_t* bits = raster.bits();
    const qsizetype stride = raster.bytesPerLine();
    const int raster_w = raster.width();
    const int raster_h = raster.height();
    if (in_left >= in_right || in_top >= in_bottom) {
        for (int y = 0; y < raster_h; ++y)
            fill_black_bgr888(bits + y * stride, raster_w);
        return;
    }

    // Black where the rectangle leaves the screen, so that every pixel is written once.
    const int dx = int(in_left - left);
    const int dy = int(in_top - top);
    const int w = int(in_right - in_left);
    const int h = int(in_bottom - in_top);
    for (int y = 0; y < raster_h; ++y) {
        uint8_t* row = bits + y * stride;
        if (y < dy || y >= dy + h) {
            fill_black_bgr888(row, raster_w);
        } else {
            fill_black_bgr888(row, dx);
            fill_black_bgr888(row + qsizetype(dx + w) * 3, raster_w - dx - w);
        }
    }

    uint8_t* dst = bits + dy * stride + qsizetype(dx) * 3;
    if (d->shm_allowed && d->have_shm &&
        d->grab_shared(int(in_left), int(in_top), w, h, dst, stride)) {
        d->last_shm = true;
    } else {
        d->grab_plain(int(in_left), int(in_top), w, h, dst, stride);
    }
    d->drain_events();
}

std::optional<ScreenRect> X11Screen::foreground_window() {
    d->connect();
    const std::vector<uint32_t> active =
        Impl::property32(d->own(), d->root, d->net_active_window, XCB_ATOM_WINDOW, 1);
    if (active.empty() || active[0] == XCB_NONE)
        return std::nullopt; // no window manager, or no window has the focus
    const xcb_window_t window = active[0];
    xcb_connection_t* c = d->c;

    const auto attributes_cookie = xcb_get_window_attributes(c, window);
    const auto geometry_cookie = xcb_get_geometry(c, window);
    const auto position_cookie = xcb_translate_coordinates(c, window, d->root, 0, 0);
    auto attributes = get_reply(xcb_get_window_attributes_reply, c, attributes_cookie);
    auto geometry = get_reply(xcb_get_geometry_reply, c, geometry_cookie);
    auto position = get_reply(xcb_translate_coordinates_reply, c, position_cookie);
    // A window that is gone, or unmapped (a hidden window the manager still names), has no
    // rectangle on the screen.
    if (!attributes || !geometry || !position || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
        return std::nullopt;

    // The frame the window manager put around the window: left, right, top, bottom.
    std::vector<uint32_t> frame =
        Impl::property32(d->own(), window, d->net_frame_extents, XCB_ATOM_CARDINAL, 4);
    if (frame.size() < 4)
        frame.assign(4, 0);
    const int64_t border = geometry->border_width;
    const QRect primary = Impl::primary_in_root(d->own());
    const int64_t x = int64_t(position->dst_x) - primary.x();
    const int64_t y = int64_t(position->dst_y) - primary.y();
    ScreenRect outer;
    outer.left = int32_t(x - border - frame[0]);
    outer.right = int32_t(x + geometry->width + border + frame[1]);
    outer.top = int32_t(y - border - frame[2]);
    outer.bottom = int32_t(y + geometry->height + border + frame[3]);
    return outer;
}

std::optional<CursorState> X11Screen::cursor() {
    d->connect();
    if (!d->have_xfixes)
        return std::nullopt;
    xcb_connection_t* c = d->c;
    const auto image_cookie = xcb_xfixes_get_cursor_image(c);
    const auto pointer_cookie = xcb_query_pointer(c, d->root);
    auto image = get_reply(xcb_xfixes_get_cursor_image_reply, c, image_cookie);
    auto pointer = get_reply(xcb_query_pointer_reply, c, pointer_cookie);
    if (!image)
        return std::nullopt;

    CursorState state;
    const QRect primary = Impl::primary_in_root(d->own());
    state.position = QPoint(image->x - primary.x(), image->y - primary.y());
    state.image.hot_spot = QPoint(image->xhot, image->yhot);
    const int w = image->width;
    const int h = image->height;
    const uint32_t* argb = xcb_xfixes_get_cursor_image_cursor_image(image.get());
    const int count = xcb_xfixes_get_cursor_image_cursor_image_length(image.get());
    bool any_pixel = false;
    if (w > 0 && h > 0 && count >= w * h) {
        QImage pixels(w, h, QImage::Format_ARGB32_Premultiplied);
        if (pixels.isNull())
            return std::nullopt;
        for (int y = 0; y < h; ++y) {
            const uint32_t* src = argb + size_t(y) * w;
            std::memcpy(pixels.scanLine(y), src, size_t(w) * 4);
            any_pixel = any_pixel || std::any_of(src, src + w, [](uint32_t p) { return p; });
        }
        state.image.pixels = std::move(pixels);
    }
    // X has no "cursor hidden" flag: a program hides the cursor by giving it an empty
    // picture. The pointer on another screen of the server is not on ours either.
    const bool on_this_screen = !pointer || pointer->same_screen;
    state.visible = any_pixel && on_this_screen;
    return state;
}

void X11Screen::sync() {
    // Qt's own connection carries the requests that hide our windows: a round trip on it
    // makes the server carry them out before the wait and the grab.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::sync();
    if (d->c && !xcb_connection_has_error(d->c)) {
        auto focus = get_reply(xcb_get_input_focus_reply, d->c, xcb_get_input_focus(d->c));
        d->drain_events();
        // The frames go now, so that the wait that follows starts with them gone; the grab
        // checks again, and waits for a compositor too.
        d->wait_for_frames(hidden_windows());
    }
}
