#pragma once
// A screen with known contents for tests: a picture of the whole virtual desktop, a primary
// display, a foreground window and a cursor, all set by the test. It records what is asked of
// it so that tests can check when and what the program grabbed.

#include "platform/screen.h"

#include <functional>
#include <vector>

class FakeScreen final : public Screen {
public:
    // `desktop`: the pixels of the whole virtual desktop, any format. `desktop_origin`: where
    // the picture's top-left corner lies in screen coordinates (negative when a display sits
    // left of or above the primary one). `primary_size`: the primary display, at (0, 0).
    FakeScreen(const QImage& desktop, QPoint desktop_origin, QSize primary_size);
    // A single display showing `desktop`.
    explicit FakeScreen(const QImage& desktop);

    ScreenRect primary_display() override;
    ScreenRect virtual_desktop() override;
    ScreenRect work_area() override;
    void grab(QImage& raster, const ScreenRect& rect) override;
    std::optional<ScreenRect> foreground_window() override;
    std::optional<CursorState> cursor() override;
    void sync() override;
    bool reports_cursor() const override { return cursor_reportable; }
    bool reports_foreground_window() const override { return window_reportable; }
    std::optional<QImage> pick_interactively() override { return pick ? pick() : std::nullopt; }

    // Set by tests.
    QImage desktop; // Format_BGR888
    QPoint desktop_origin;
    QSize primary_size;
    std::optional<ScreenRect> work; // the primary display when unset
    std::optional<ScreenRect> foreground;
    std::optional<CursorState> cursor_state;        // unset: the platform cannot report the cursor
    std::function<void(const ScreenRect&)> on_grab; // called before each grab
    // A session that keeps the pointer or the foreground window from the program, and the pick
    // it offers instead (none when unset).
    bool cursor_reportable = true;
    bool window_reportable = true;
    std::function<std::optional<QImage>()> pick;

    // Recorded.
    std::vector<ScreenRect> grabs;
    int syncs = 0;
    int syncs_before_last_grab = 0;
};
