#include "capture/capture_commands.h"

#include "capture/screen_grabber.h"
#include "codec/bmp.h"
#include "edit/history_commands.h"
#include "edit/main_window.h"
#include "edit/tool_commands.h"
#include "edit/working_files.h"
#include "platform/core/frames.h"
#include "platform/core/scope_guard.h"
#include "platform/screen.h"
#include "platform/wait.h"
#include "resize/on_the_fly.h"
#include "resize/resize_command.h"

#include <algorithm>
#include <optional>

namespace {
// A failed capture never leaves the program without a window: the main window, hidden for the
// grab, is shown again when the command ends through an error.
auto show_again_on_failure(WindowShell& window) {
    return OnFailure([&window] { window.show_window(); });
}
} // namespace

int CaptureCommands::capture_wait_ms() const {
    // A delay typed as a negative number waits no longer than none at all.
    return std::max(0, window_.delay_seconds()) * 1000 + 200;
}

void CaptureCommands::resize_if_asked(QImage& raster) {
    const SettingsSnapshot settings = configuration_.settings();
    if (settings.resize_on_the_fly)
        resize_on_the_fly(raster, settings.largeur_px, progress_.resize_progress());
}

void CaptureCommands::tell_once(bool& told, const QString& text) {
    if (told)
        return;
    told = true;
    window_.set_status_text(StatusPanel::Notice, text);
}

void CaptureCommands::cursor_toggled(bool down) {
    with_cursor_ = down;
    window_.show_delay_panel(down);
    window_.set_delay_seconds(down ? 3 : 0);
    // The toggle still sets the delay where the pointer cannot be had.
    if (down && !screen().reports_cursor())
        tell_once(told_no_pointer_, kNoPointerText);
}

QImage CaptureCommands::pick_window_or_display(bool include_cursor) {
    if (std::optional<QImage> picked = screen().pick_interactively()) {
        tell_once(told_window_pick_, kWindowPickText);
        return std::move(*picked);
    }
    tell_once(told_whole_display_, kWholeDisplayText);
    return grab_screen(include_cursor);
}

void CaptureCommands::capture_desktop() {
    history_.start_again();
    window_.hide_window();
    auto show_again = show_again_on_failure(window_);
    resize_.forget_last_resize();
    window_.show_delay_panel(false);
    block_for_ms(capture_wait_ms());
    QImage raster = grab_screen(with_cursor_);
    window_.show_window();
    show_again.dismiss();

    // The picture is shown even when writing the capture file or resizing fails.
    also_on_failure(
        [&] {
            write_grabbed_capture_file(raster);
            resize_if_asked(raster);
        },
        [&] {
            window_.fit_to_work_area();
            view_.assign_pixels(raster);
            view_.repaint_picture();
        });
    history_.push_snapshot();
    tools_.apply_tool_cursor();
}

void CaptureCommands::capture_active_window() {
    history_.start_again();
    window_.hide_window();
    auto show_again = show_again_on_failure(window_);
    resize_.forget_last_resize();
    window_.centre_on_display();
    window_.show_delay_panel(false);
    block_for_ms(capture_wait_ms());
    QImage raster = screen().reports_foreground_window() ? grab_active_window(with_cursor_)
                                                         : pick_window_or_display(with_cursor_);
    write_grabbed_capture_file(raster);
    resize_if_asked(raster);

    fit_window_to_picture(view_, window_, raster.size(), kFitWindowCapture);
    view_.assign_pixels(raster);
    view_.repaint_picture();
    history_.push_snapshot();
    window_.show_window();
    show_again.dismiss();
    tools_.apply_tool_cursor();
}

void CaptureCommands::capture_region() {
    window_.set_status_text(StatusPanel::Notice, QString());
    history_.start_again();
    const SettingsSnapshot settings = configuration_.settings();
    if (settings.use_remembered_region) {
        if (settings.remembered_region)
            capture_remembered_region(*settings.remembered_region);
        return;
    }
    window_.hide_window();
    auto show_again = show_again_on_failure(window_);
    resize_.forget_last_resize();
    window_.show_delay_panel(false);
    block_for_ms(capture_wait_ms());
    QImage frozen = grab_screen(with_cursor_);
    overlay_.start_selection(std::move(frozen), screen().virtual_desktop());
    show_again.dismiss(); // the main window stays hidden until the selection ends
    tools_.apply_tool_cursor();
}

void CaptureCommands::capture_remembered_region(const ScreenRect& region) {
    window_.hide_window();
    // Shown again at the end, also after an error.
    also_on_failure(
        [&] {
            QImage raster;
            if (with_cursor_) {
                block_for_ms(capture_wait_ms());
                raster = grab_rect_cursor(true, region);
            } else {
                screen().sync(); // no delay; only makes sure the window is gone
                raster = grab_rect_cursor(false, region);
            }
            write_grabbed_capture_file(raster);
            resize_if_asked(raster);
            view_.assign_pixels(raster);
            view_.repaint_picture();
            history_.push_snapshot();
        },
        [&] { window_.show_window(); });
}

void CaptureCommands::region_released(QPoint press, QPoint release) {
    if (release.x() == press.x() || release.y() == press.y()) {
        // A click, or a flat drag: no picture.
        view_.assign_pixels(QImage());
        overlay_.end_selection();
        window_.set_outer_size(QSize(436, 408));
        window_.show_window();
        return;
    }
    const int left = std::min(press.x(), release.x());
    const int right = std::max(press.x(), release.x());
    const int top = std::min(press.y(), release.y());
    const int bottom = std::max(press.y(), release.y());
    configuration_.remember_region(ScreenRect{left, top, right, bottom});

    const QRect area(left, top, right - left, bottom - top);
    QImage raster = copy_to_frame(overlay_.frozen_screen(), area);
    if (raster.isNull())
        raster_out_of_memory(area.width(), area.height());
    {
        // The overlay has no close box: it must not stay over the screen after an error.
        auto take_down = OnFailure([this] {
            overlay_.end_selection();
            window_.show_window();
        });
        write_grabbed_capture_file(raster);
        resize_if_asked(raster);
    }

    fit_window_to_picture(view_, window_, raster.size(), kFitRegionCapture);
    view_.assign_pixels(raster);
    view_.repaint_picture();
    overlay_.hide_overlay();
    history_.push_snapshot();
    overlay_.end_selection();
    window_.show_window();
}
