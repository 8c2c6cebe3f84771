#pragma once
// What the commands of every subsystem need of the main window, by role: the working picture it
// shows 1:1, the window itself, the floating text label, the tools' controls, the configuration
// window's settings and the resize progress. The main window plays every role; each command
// takes only the roles it uses, and tests drive the commands through fakes of those roles. The
// pointer is the platform's (platform/pointer.h).

#include "edit/drawing_surface.h"
#include "edit/settings_snapshot.h"
#include "edit/status_panel.h"
#include "platform/application_windows.h"

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QString>

class ResampleProgress;

// The colours (0x00BBGGRR) of the items checked in the context menu's colour submenus, and the
// felt-tip cursor of the checked highlighter colour.
struct ToolColours {
    unsigned highlighter = 0x0000FFFF;
    QString highlighter_cursor = QStringLiteral("feutre_jaune");
    unsigned arrow = 0x000000FF;
    unsigned stylus = 0x000000FF;
    unsigned rectangle = 0x000000FF;
};

// The working picture (empty: no pixels) and the picture view that shows it. The view sizes
// itself to every new picture; its size is what a snapshot records.
class PictureHost {
public:
    virtual ~PictureHost() = default;
    virtual const QImage& picture() const = 0;
    virtual QImage& picture_for_drawing() = 0;
    virtual DrawingSurface& surface() = 0;
    // A new picture object: the drawing surface starts again from its initial state.
    virtual void set_picture(QImage picture) = 0;
    // New pixels in the same picture object: the drawing surface is kept (as a capture does).
    virtual void assign_pixels(QImage pixels) = 0;
    virtual QSize view_size() const = 0;
    virtual void set_view_size(QSize size) = 0;
    // Repaints the view at once (the command does not return to the event loop before it goes
    // on); an empty area repaints the whole picture.
    virtual void repaint_picture(QRect area = QRect()) = 0;
    // Repaints these parts of the picture at once (a rubber band: four thin sides).
    virtual void repaint_picture_region(const QRegion& area) = 0;
};

// The main window as a window, and the program's windows as a whole.
class WindowShell {
public:
    virtual ~WindowShell() = default;
    virtual void hide_window() = 0;
    virtual void show_window() = 0;
    // Stretches the window over the primary display's work area.
    virtual void fit_to_work_area() = 0;
    // Centres the window, frame included, on the primary display.
    virtual void centre_on_display() = 0;
    virtual void set_client_size(QSize size) = 0;
    virtual void set_outer_size(QSize size) = 0;
    virtual void set_status_text(StatusPanel panel, const QString& text) = 0;
    // The delay panel under the cursor toggle and its spin box `tempo` (seconds, read now).
    virtual void show_delay_panel(bool shown) = 0;
    virtual int delay_seconds() const = 0;
    virtual void set_delay_seconds(int seconds) = 0;
    // A press has landed on a picture: the context menu opens on right clicks from now on.
    virtual void enable_context_menu() = 0;
    // The program's windows as a whole, while another program takes over: all of them to the
    // task bar and back, and disabled while the mail program's window is being handed over.
    virtual void minimise_application() { minimise_application_windows(); }
    virtual void restore_application() { restore_application_windows(); }
    virtual void set_application_enabled(bool enabled) { enable_application_windows(enabled); }
};

// The floating text label `Texte` and what places it. Its geometry is in the coordinates of the
// scroll area's visible part; the picture lies under it shifted by scroll_offset().
class TextLabelHost {
public:
    virtual ~TextLabelHost() = default;
    // Empties the label's caption (it keeps its visibility).
    virtual void clear_text_label() = 0;
    virtual QRect text_label_geometry() const = 0;
    virtual void move_text_label(QPoint top_left) = 0;
    // Sets the caption, shows the label and gives it the four-way move pointer.
    virtual void show_text_label(const QString& caption, QPoint top_left) = 0;
    // Hides the label and gives it the default pointer.
    virtual void hide_text_label() = 0;
    virtual QFont text_label_font() const = 0;
    virtual unsigned text_label_colour() const = 0; // 0x00BBGGRR
    virtual QString text_label_caption() const = 0;
    // Where the label's text begins (the top-left corner its font's metrics give it), in the
    // label's coordinates plus its position: the label leaves room before it for the parts of
    // glyphs that reach further left or up, such as an italic's overhang.
    virtual QPoint text_label_origin() const = 0;
    // The text dialog's line of text, as it is now.
    virtual QString text_to_insert() const = 0;
    // The scroll area's visible part, on the screen, and how far its picture is scrolled.
    virtual QRect scroll_area_on_screen() const = 0;
    virtual QPoint scroll_offset() const = 0;
    // The main window's client coordinates of a screen point.
    virtual QPoint client_from_screen(QPoint screen) const = 0;
};

// The tools' controls: the colours checked in the menu, the picture view's cursor ("arrow" and
// "cross" are the platform's pointer and cross-hair, other names the program's tool cursors),
// the text dialog.
class ToolControls {
public:
    virtual ~ToolControls() = default;
    virtual ToolColours tool_colours() const = 0;
    virtual void set_view_cursor(const QString& name) = 0;
    virtual void show_text_dialog() = 0;
};

// The configuration window's controls, read now, and the region they remember.
class Configuration {
public:
    virtual ~Configuration() = default;
    virtual SettingsSnapshot settings() const = 0;
    // Writes the region last selected into the configuration window, and lets it be remembered.
    virtual void remember_region(const ScreenRect& region) = 0;
};

// The resize progress window, and putting its bar back to 0.
class ResizeProgressHost {
public:
    virtual ~ResizeProgressHost() = default;
    virtual ResampleProgress* resize_progress() = 0;
    virtual void reset_resize_progress() = 0;
};

// Whether a picture holds no pixels.
inline bool picture_is_empty(const QImage& picture) {
    return picture.isNull() || picture.width() == 0 || picture.height() == 0;
}

// How the main window is fitted to a new picture. Pictures narrower than 418 pixels get a fixed
// client area; wider ones a client area of the picture's size plus a margin.
struct WindowFit {
    QSize narrow_client;       // client area for a picture narrower than 418 pixels
    bool narrow_view_418x252;  // and the view set to 418 x 252 before the picture comes
    QSize margin;              // client area = picture + margin for wider pictures
    bool wide_view_to_picture; // and the view set to the picture's size
    bool centre;               // and the window centred on the display afterwards
};

// After an active-window capture; after a region selection; after a reset; after a resize.
inline constexpr WindowFit kFitWindowCapture{{428, 380}, false, {10, 76}, false, true};
inline constexpr WindowFit kFitRegionCapture{{428, 382}, true, {10, 76}, false, false};
inline constexpr WindowFit kFitReset{{428, 382}, true, {9, 76}, true, false};
inline constexpr WindowFit kFitResize{{428, 380}, false, {9, 127}, true, false};

void fit_window_to_picture(PictureHost& view, WindowShell& window, QSize picture,
                           const WindowFit& fit);
