#pragma once
// The capture commands: the whole desktop, the active window, a region dragged on a frozen image
// of the screen or the region remembered from the last drag, and the cursor toggle with its delay.
// Every capture starts a new picture and a new history.

#include "platform/screen_rect.h"

#include <QImage>
#include <QPoint>
#include <QString>

class HistoryCommands;
class PictureHost;
class ResizeCommand;
class WindowShell;
class Configuration;
class ResizeProgressHost;
class ToolCommands;

// The full-screen overlay on which the user drags a region over the frozen screen.
class RegionOverlay {
public:
    virtual ~RegionOverlay() = default;
    // Covers the virtual desktop with the frozen screen (the primary display's pixels) and shows
    // the overlay; the command returns and the selection ends at the release of a button.
    virtual void start_selection(QImage frozen, const ScreenRect& desktop) = 0;
    // The frozen screen of the selection under way.
    virtual const QImage& frozen_screen() const = 0;
    virtual void hide_overlay() = 0;
    // Hides the overlay and frees the frozen screen.
    virtual void end_selection() = 0;
};

// Told once a run in the status bar's last panel, where the session keeps the pointer or the
// foreground window from the program (a Wayland session).
inline const QString kNoPointerText =
    QStringLiteral("Le pointeur ne peut pas être inclus dans les captures de cette session");
inline const QString kWindowPickText = QStringLiteral(
    "La fenêtre active ne peut être désignée dans cette session : elle se choisit à l'écran");
inline const QString kWholeDisplayText = QStringLiteral(
    "La fenêtre active ne peut être désignée dans cette session : l'écran entier est capturé");

class CaptureCommands {
public:
    CaptureCommands(PictureHost& view, WindowShell& window, Configuration& configuration,
                    ResizeProgressHost& progress, HistoryCommands& history, ResizeCommand& resize,
                    ToolCommands& tools, RegionOverlay& overlay)
        : view_(view), window_(window), configuration_(configuration), progress_(progress),
          history_(history), resize_(resize), tools_(tools), overlay_(overlay) {}

    // The cursor toggle went down (cursor and a 3-second delay) or up (no cursor, no delay).
    void cursor_toggled(bool down);
    void capture_desktop();
    void capture_active_window();
    // Shows the overlay, or grabs the remembered region at once when it is in use.
    void capture_region();
    // The end of a drag on the overlay, in the overlay's coordinates.
    void region_released(QPoint press, QPoint release);

    // The wait before a grab: tempo x 1000 + 200 milliseconds.
    int capture_wait_ms() const;

    // Whether the cursor toggle is down: captures include the cursor.
    bool with_cursor() const { return with_cursor_; }

private:
    void capture_remembered_region(const ScreenRect& region);
    void resize_if_asked(QImage& raster);
    // The window the user picks with the desktop's tool, else the whole display.
    QImage pick_window_or_display(bool include_cursor);
    void tell_once(bool& told, const QString& text);

    PictureHost& view_;
    WindowShell& window_;
    Configuration& configuration_;
    ResizeProgressHost& progress_;
    HistoryCommands& history_;
    ResizeCommand& resize_;
    ToolCommands& tools_;
    RegionOverlay& overlay_;
    bool with_cursor_ = false;
    bool told_no_pointer_ = false;
    bool told_window_pick_ = false;
    bool told_whole_display_ = false;
};
