#pragma once
// The main window's roles without any widget, for driving the commands in tests: the picture,
// the view's size, the window's visibility and sizes, the status texts, the label and the
// pointer are plain values to read back. FakeMainWindow plays every role, for tests that drive
// several commands; FakeEditing adds the commands that own the editing state.

#include "edit/history.h"
#include "edit/history_commands.h"
#include "edit/main_window.h"
#include "edit/tool_commands.h"
#include "platform/pointer.h"

#include <QStringList>
#include <array>
#include <optional>
#include <vector>

class FakePicture : public PictureHost {
public:
    QImage picture_;
    DrawingSurface surface_;
    QSize view{400, 252};
    int repaints = 0;
    std::vector<QRect> repainted; // the areas repainted (empty: the whole picture)
    std::vector<QRegion> repainted_regions;

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
    void repaint_picture(QRect area) override {
        ++repaints;
        repainted.push_back(area);
    }
    void repaint_picture_region(const QRegion& area) override {
        ++repaints;
        repainted.push_back(area.boundingRect());
        repainted_regions.push_back(area);
    }
};

class FakeShell : public WindowShell {
public:
    bool visible = true;
    std::vector<bool> visible_at;
    QSize client{428, 380};
    QSize outer;
    int centrings = 0;
    int work_area_fits = 0;
    bool delay_panel = false;
    int delay = 0;
    std::array<QString, 4> status;
    bool context_menu_enabled = false;
    bool minimised = false;
    bool enabled = true;
    QStringList window_events; // "minimise", "restore", "disable", "enable", in order

    void hide_window() override { visible = false; }
    void show_window() override { visible = true; }
    void fit_to_work_area() override { ++work_area_fits; }
    void centre_on_display() override { ++centrings; }
    void set_client_size(QSize size) override { client = size; }
    void set_outer_size(QSize size) override { outer = size; }
    void set_status_text(StatusPanel panel, const QString& text) override {
        status.at(static_cast<size_t>(panel)) = text;
    }
    void show_delay_panel(bool shown) override { delay_panel = shown; }
    int delay_seconds() const override { return delay; }
    void set_delay_seconds(int seconds) override { delay = seconds; }
    void enable_context_menu() override { context_menu_enabled = true; }
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

// The floating text label, the text dialog's text, the scroll area and the client area.
class FakeTextLabel : public TextLabelHost {
public:
    QRect label{0, 0, 40, 13};
    bool label_visible = false;
    QString label_caption;
    QPoint label_text_offset{0, 0};
    QString label_cursor;
    QFont label_font;
    unsigned label_colour = 0;
    QString dialog_text;
    QRect scroll_area{100, 200, 419, 314}; // on the screen
    QPoint scroll{0, 0};
    QPoint client_origin{0, 0}; // the main window's client area on the screen

    void clear_text_label() override { label_caption.clear(); }
    QRect text_label_geometry() const override { return label; }
    void move_text_label(QPoint top_left) override { label.moveTopLeft(top_left); }
    void show_text_label(const QString& caption, QPoint top_left) override {
        label_caption = caption;
        label.moveTopLeft(top_left);
        label_visible = true;
        label_cursor = QStringLiteral("sizeall");
    }
    void hide_text_label() override {
        label_visible = false;
        label_cursor = QStringLiteral("arrow");
    }
    QFont text_label_font() const override { return label_font; }
    unsigned text_label_colour() const override { return label_colour; }
    QString text_label_caption() const override { return label_caption; }
    QPoint text_label_origin() const override { return label.topLeft() + label_text_offset; }
    QString text_to_insert() const override { return dialog_text; }
    QRect scroll_area_on_screen() const override { return scroll_area; }
    QPoint scroll_offset() const override { return scroll; }
    QPoint client_from_screen(QPoint screen) const override { return screen - client_origin; }
};

class FakeToolControls : public ToolControls {
public:
    ToolColours colours;
    QString cursor;
    int text_dialogs = 0;

    ToolColours tool_colours() const override { return colours; }
    void set_view_cursor(const QString& name) override { cursor = name; }
    void show_text_dialog() override { ++text_dialogs; }
};

class FakeConfiguration : public Configuration {
public:
    SettingsSnapshot snapshot; // what settings() returns
    std::vector<ScreenRect> remembered;

    SettingsSnapshot settings() const override { return snapshot; }
    void remember_region(const ScreenRect& region) override { remembered.push_back(region); }
};

class FakeProgress : public ResizeProgressHost {
public:
    int progress_resets = 0;

    ResampleProgress* resize_progress() override { return nullptr; }
    void reset_resize_progress() override { ++progress_resets; }
};

// The platform's pointer while it lives.
class FakePointer : public Pointer {
public:
    QPoint pointer{0, 0};
    bool left_held = false; // what left_button_held() answers
    std::vector<QPoint> pointer_moves;

    FakePointer() : replaced_(set_pointer(this)) {}
    ~FakePointer() override { set_pointer(replaced_); }
    FakePointer(const FakePointer&) = delete;
    FakePointer& operator=(const FakePointer&) = delete;

    QPoint position() const override { return pointer; }
    void set_position(QPoint screen) override {
        pointer = screen;
        pointer_moves.push_back(screen);
    }
    bool left_button_held() const override { return left_held; }
    // The platform here cannot confine: the caller keeps the pointer inside.
    std::optional<QRect> confined;
    bool confine(const QRect& screen) override {
        confined = screen;
        return false;
    }
    void release_confinement() override { confined.reset(); }

private:
    Pointer* replaced_;
};

class FakeMainWindow : public FakePicture,
                       public FakeShell,
                       public FakeTextLabel,
                       public FakeToolControls,
                       public FakeConfiguration,
                       public FakeProgress,
                       public FakePointer {};

// The tool and history commands, owners of the tools' state and of the history, over a
// FakeMainWindow.
struct FakeEditing {
    FakeMainWindow window;
    ToolCommands tool_commands{window};
    ToolState& state = tool_commands.state();
    HistoryCommands history{window, window, window, window, tool_commands, [] {}};
};
