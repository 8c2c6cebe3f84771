#pragma once
// A client of the X server of its own, with which tests and benchmarks put known pixels on the
// screen (the root window's background, windows with a picture as background), make cursors,
// move the pointer and ask the window manager about its windows.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>
#include <xcb/xcb.h>

class XDesktop {
public:
    explicit XDesktop(const char* display = nullptr) {
        c_ = xcb_connect(display, nullptr);
        if (xcb_connection_has_error(c_))
            return;
        s_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        root = s_->root;
        active_atom_ = atom("_NET_ACTIVE_WINDOW");
        extents_atom_ = atom("_NET_FRAME_EXTENTS");
        stacking_atom_ = atom("_NET_CLIENT_LIST_STACKING");
    }
    ~XDesktop() {
        destroy_windows();
        if (root_pixmap_)
            xcb_free_pixmap(c_, root_pixmap_);
        xcb_disconnect(c_);
    }
    XDesktop(const XDesktop&) = delete;
    XDesktop& operator=(const XDesktop&) = delete;

    bool ok() const { return s_ && !xcb_connection_has_error(c_); }
    xcb_connection_t* connection() const { return c_; }

    QSize root_size() {
        auto* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, root), nullptr);
        const QSize size = g ? QSize(g->width, g->height) : QSize();
        std::free(g);
        return size;
    }

    // A round trip: every request sent before has been carried out by the server.
    void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    // Shows `picture` as the root window's background, from the top-left corner. The pixmap
    // is named in _XROOTPMAP_ID too, where a compositing manager looks for the background it
    // paints, and kept while it is named there.
    void show_on_root(const QImage& picture) {
        const xcb_pixmap_t pixmap = upload(picture);
        xcb_change_window_attributes(c_, root, XCB_CW_BACK_PIXMAP, &pixmap);
        xcb_clear_area(c_, 0, root, 0, 0, 0, 0);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, root, atom("_XROOTPMAP_ID"), XCB_ATOM_PIXMAP,
                            32, 1, &pixmap);
        if (root_pixmap_)
            xcb_free_pixmap(c_, root_pixmap_);
        root_pixmap_ = pixmap;
        sync();
    }

    // A 32-bit cardinal property of the root window (openbox names its process in
    // _OPENBOX_PID), or 0.
    uint32_t root_cardinal(const char* name) {
        const std::vector<uint32_t> v = property32(root, atom(name), XCB_ATOM_CARDINAL);
        return v.empty() ? 0 : v[0];
    }

    // The window owning a selection (a compositing manager owns _NET_WM_CM_S0), or none.
    xcb_window_t selection_owner(const char* name) {
        auto* r =
            xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, atom(name)), nullptr);
        const xcb_window_t owner = r ? r->owner : xcb_window_t(XCB_NONE);
        std::free(r);
        return owner;
    }

    // A window whose background is `picture`, of the picture's size. Override-redirect windows
    // stay exactly where they are put and get no frame; others are managed by the window
    // manager. Not mapped yet.
    xcb_window_t picture_window(QPoint at, const QImage& picture, bool override_redirect) {
        const xcb_pixmap_t pixmap = upload(picture);
        const uint32_t values[] = {pixmap, override_redirect ? 1u : 0u};
        const xcb_window_t win = make_window(QRect(at, picture.size()),
                                             XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_free_pixmap(c_, pixmap);
        if (!override_redirect) {
            // Ask the window manager to keep the position given here.
            uint32_t hints[18] = {};
            hints[0] = 1u | 4u; // USPosition | PPosition
            hints[1] = uint32_t(at.x());
            hints[2] = uint32_t(at.y());
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, win, XCB_ATOM_WM_NORMAL_HINTS,
                                XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
        }
        return win;
    }

    // An override-redirect window of one colour (0x00RRGGBB).
    xcb_window_t plain_window(const QRect& rect, uint32_t pixel) {
        const uint32_t values[] = {pixel, 1u};
        return make_window(rect, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    }

    bool viewable(xcb_window_t win) {
        auto* a = xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, win), nullptr);
        const bool result = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(a);
        return result;
    }
    void map(xcb_window_t win) {
        xcb_map_window(c_, win);
        sync();
    }
    void destroy_windows() {
        for (xcb_window_t w : windows_)
            xcb_destroy_window(c_, w);
        windows_.clear();
        if (ok())
            sync();
    }

    // A core cursor, red where `source` holds and blue elsewhere, shown where `mask` holds.
    xcb_cursor_t make_cursor(QSize size, QPoint hot_spot,
                             const std::function<bool(int, int)>& source,
                             const std::function<bool(int, int)>& mask) {
        const int w = size.width(), h = size.height();
        xcb_pixmap_t bitmaps[2];
        for (int i = 0; i < 2; ++i) {
            bitmaps[i] = xcb_generate_id(c_);
            xcb_create_pixmap(c_, 1, bitmaps[i], root, uint16_t(w), uint16_t(h));
            const xcb_gcontext_t gc = xcb_generate_id(c_);
            uint32_t value = 0;
            xcb_create_gc(c_, gc, bitmaps[i], XCB_GC_FOREGROUND, &value);
            const xcb_rectangle_t all{0, 0, uint16_t(w), uint16_t(h)};
            xcb_poly_fill_rectangle(c_, bitmaps[i], gc, 1, &all);
            value = 1;
            xcb_change_gc(c_, gc, XCB_GC_FOREGROUND, &value);
            std::vector<xcb_point_t> points;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if ((i == 0 ? source : mask)(x, y))
                        points.push_back({int16_t(x), int16_t(y)});
            if (!points.empty())
                xcb_poly_point(c_, XCB_COORD_MODE_ORIGIN, bitmaps[i], gc, uint32_t(points.size()),
                               points.data());
            xcb_free_gc(c_, gc);
        }
        const xcb_cursor_t cursor = xcb_generate_id(c_);
        xcb_create_cursor(c_, cursor, bitmaps[0], bitmaps[1], 0xFFFF, 0, 0, 0, 0, 0xFFFF,
                          uint16_t(hot_spot.x()), uint16_t(hot_spot.y()));
        xcb_free_pixmap(c_, bitmaps[0]);
        xcb_free_pixmap(c_, bitmaps[1]);
        return cursor;
    }
    void set_cursor(xcb_window_t win, xcb_cursor_t cursor) {
        xcb_change_window_attributes(c_, win, XCB_CW_CURSOR, &cursor);
        sync();
    }
    void warp(QPoint to) {
        xcb_warp_pointer(c_, XCB_NONE, root, 0, 0, 0, 0, int16_t(to.x()), int16_t(to.y()));
        sync();
    }

    // The managed windows from bottom to top, as the window manager stacks them.
    std::vector<xcb_window_t> stacking() {
        const std::vector<uint32_t> v = property32(root, stacking_atom_, XCB_ATOM_WINDOW);
        return std::vector<xcb_window_t>(v.begin(), v.end());
    }

    xcb_window_t active_window() {
        const std::vector<uint32_t> v = property32(root, active_atom_, XCB_ATOM_WINDOW);
        return v.empty() ? xcb_window_t(XCB_NONE) : v[0];
    }
    bool has_frame_extents(xcb_window_t win) {
        return property32(win, extents_atom_, XCB_ATOM_CARDINAL).size() == 4;
    }
    // Asks the window manager to activate `win` as a pager would: honoured at once.
    void request_activation(xcb_window_t win) {
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = win;
        e.type = active_atom_;
        e.data.data32[0] = 2;
        xcb_send_event(c_, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&e));
        sync();
    }

    // The outer rectangle of the top-level window holding `win` (the window manager's frame,
    // border included), read from the frame window's own geometry.
    QRect frame_of(xcb_window_t win) {
        xcb_window_t top = win;
        for (;;) {
            auto* t = xcb_query_tree_reply(c_, xcb_query_tree(c_, top), nullptr);
            const xcb_window_t parent = t ? t->parent : xcb_window_t(XCB_NONE);
            std::free(t);
            if (parent == root || parent == XCB_NONE)
                break;
            top = parent;
        }
        auto* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, top), nullptr);
        const QRect r =
            g ? QRect(g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width)
              : QRect();
        std::free(g);
        return r;
    }
    QPoint root_position(xcb_window_t win) {
        auto* t = xcb_translate_coordinates_reply(
            c_, xcb_translate_coordinates(c_, win, root, 0, 0), nullptr);
        const QPoint p = t ? QPoint(t->dst_x, t->dst_y) : QPoint();
        std::free(t);
        return p;
    }

    xcb_window_t root = 0;

private:
    xcb_atom_t atom(const char* name) {
        auto* r = xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        return a;
    }

    std::vector<uint32_t> property32(xcb_window_t win, xcb_atom_t name, xcb_atom_t type) {
        auto* r =
            xcb_get_property_reply(c_, xcb_get_property(c_, 0, win, name, type, 0, 1024), nullptr);
        std::vector<uint32_t> values;
        if (r && r->type == type && r->format == 32) {
            const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(r));
            values.assign(v, v + xcb_get_property_value_length(r) / 4);
        }
        std::free(r);
        return values;
    }

    // A pixmap holding `picture`, sent in bands that stay under the core request size limit.
    xcb_pixmap_t upload(const QImage& picture) {
        const QImage xrgb = picture.convertToFormat(QImage::Format_RGB32);
        const int w = xrgb.width(), h = xrgb.height();
        const xcb_pixmap_t pixmap = xcb_generate_id(c_);
        xcb_create_pixmap(c_, s_->root_depth, pixmap, root, uint16_t(w), uint16_t(h));
        const xcb_gcontext_t gc = xcb_generate_id(c_);
        xcb_create_gc(c_, gc, pixmap, 0, nullptr);
        const int band = std::max(1, (200 * 1024) / (w * 4));
        std::vector<uint8_t> buffer;
        for (int y = 0; y < h; y += band) {
            const int rows = std::min(band, h - y);
            buffer.resize(size_t(w) * 4 * size_t(rows));
            for (int r = 0; r < rows; ++r)
                std::memcpy(buffer.data() + size_t(r) * size_t(w) * 4, xrgb.constScanLine(y + r),
                            size_t(w) * 4);
            xcb_put_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, uint16_t(w), uint16_t(rows), 0,
                          int16_t(y), 0, s_->root_depth, uint32_t(buffer.size()), buffer.data());
        }
        xcb_free_gc(c_, gc);
        return pixmap;
    }

    xcb_window_t make_window(const QRect& r, uint32_t mask, const uint32_t* values) {
        const xcb_window_t win = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, win, root, int16_t(r.x()), int16_t(r.y()),
                          uint16_t(r.width()), uint16_t(r.height()), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, s_->root_visual, mask, values);
        windows_.push_back(win);
        return win;
    }

    xcb_connection_t* c_ = nullptr;
    xcb_screen_t* s_ = nullptr;
    xcb_atom_t active_atom_ = XCB_ATOM_NONE;
    xcb_atom_t extents_atom_ = XCB_ATOM_NONE;
    xcb_atom_t stacking_atom_ = XCB_ATOM_NONE;
    std::vector<xcb_window_t> windows_;
    xcb_pixmap_t root_pixmap_ = 0;
};
