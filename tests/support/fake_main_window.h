#pragma once
// A main window without any widget, for driving the commands in tests: the picture, the view's
// size, the window's visibility and sizes and the status texts are plain values to read back.

#include "edit/history.h"
#include "edit/main_window.h"

#include <QStringList>
#include <array>
#include <vector>

class FakeMainWindow : public MainWindow, public EditingState {
public:
    SettingsSnapshot snapshot; // what settings() returns
    QImage picture_;
    DrawingSurface surface_;
    QSize view{400, 252};
    bool visible = true;
    std::vector<bool> visible_at; // appended by note_visibility()
    QSize client{428, 380};
    QSize outer;
    int centrings = 0;
    int work_area_fits = 0;
    int repaints = 0;
    int cursor_applications = 0;
    QString cursor;
    int text_dialogs = 0;
    bool delay_panel = false;
    int delay = 0;
    std::array<QString, 4> status;
    std::vector<ScreenRect> remembered;
    int progress_resets = 0;
    bool minimised = false;
    bool enabled = true;
    QStringList window_events; // "minimise", "restore", "disable", "enable", in order

    EditingState& editing_state() override { return *this; }
    SettingsSnapshot settings() const override { return snapshot; }
    const QImage& picture() const override { return picture_; }
    QImage& picture_for_drawing() override { return picture_; }
    DrawingSurface& surface() override { return surface_; }
    void set_picture(QImage picture) override {
        surface_ = DrawingSurface{};
        assign_pixels(std::move(picture));
    }
    void assign_pixels(QImage pixels) override {
        if (!pixels.isNull() && pixels.format() != QImage::Format_BGR888)
            pixels = pixels.convertToFormat(QImage::Format_BGR888);
        picture_ = std::move(pixels);
        if (!picture_is_empty(picture_))
            view = picture_.size(); // the view sizes itself to the picture
    }
    QSize view_size() const override { return view; }
    void set_view_size(QSize size) override { view = size; }
    void repaint_picture(QRect) override { ++repaints; }
    void hide_window() override { visible = false; }
    void show_window() override { visible = true; }
    void fit_to_work_area() override { ++work_area_fits; }
    void centre_on_display() override { ++centrings; }
    void set_client_size(QSize size) override { client = size; }
    void set_outer_size(QSize size) override { outer = size; }
    void set_status_text(int panel, const QString& text) override {
        status.at(static_cast<size_t>(panel)) = text;
    }
    ToolColours tool_colours() const override { return {}; }
    void set_view_cursor(const QString& name) override { cursor = name; }
    void show_text_dialog() override { ++text_dialogs; }
    void apply_tool_cursor() override { ++cursor_applications; }
    void show_delay_panel(bool shown) override { delay_panel = shown; }
    int delay_seconds() const override { return delay; }
    void set_delay_seconds(int seconds) override { delay = seconds; }
    void clear_text_label() override {}
    ResampleProgress* resize_progress() override { return nullptr; }
    void reset_resize_progress() override { ++progress_resets; }
    void remember_region(const ScreenRect& region) override { remembered.push_back(region); }
    void minimise_application() override {
        minimised = true;
        window_events.append(QStringLiteral("minimise"));
    }
    void restore_application() override {
        minimised = false;
        window_events.append(QStringLiteral("restore"));
    }
    void set_application_enabled(bool on) override {
        enabled = on;
        window_events.append(on ? QStringLiteral("enable") : QStringLiteral("disable"));
    }
};
