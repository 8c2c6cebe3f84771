#pragma once
// The full-screen region-selection overlay: shows a frozen image of the screen on which the user
// drags the rectangle to capture. A rubber band, drawn inverted, follows the pointer while the
// left button is held. The overlay covers every display; the frozen picture, of the primary
// display only, lies where that display is, and black covers the others.

#include "capture/capture_commands.h"
#include "platform/screen.h"

#include <QImage>
#include <QRect>
#include <QWidget>
#include <functional>

class PictureView;

class TForm3 : public QWidget, public RegionOverlay {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    PictureView* Image1 = nullptr;

    // The frozen screen, from the start of a selection to its end.
    QImage captured_bitmap;

    // Selection state.
    QPoint press_point;
    QPoint band_corner;
    bool dragging = false;
    QPoint release_point;
    // Whether the band from press_point to band_corner is on screen now.
    bool band_shown = false;

    // Called with the press and release points when a button is released.
    std::function<void(QPoint press, QPoint release)> on_release;

    // Covers the virtual desktop with the frozen screen and shows the overlay.
    void start_selection(QImage frozen, const ScreenRect& desktop) override;
    const QImage& frozen_screen() const override { return captured_bitmap; }
    void hide_overlay() override { hide(); }
    // Hides the overlay and frees the frozen screen.
    void end_selection() override;

    // The pixels as the overlay shows them now (the frozen screen with the band inverted).
    QImage shown_pixels() const;

    // Where the picture control, holding the primary display's frozen picture, lies in the
    // overlay: the primary display's place in the virtual desktop.
    QPoint picture_origin;
    // A point of the overlay in the picture control's coordinates, which are screen coordinates.
    QPoint overlay_to_picture(QPoint overlay_point) const;

public slots:
    void Image1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                         Qt::MouseButtons held, bool double_click, int x, int y);
    void Image1MouseMove(Qt::KeyboardModifiers modifiers, Qt::MouseButtons held, int x, int y);
    void Image1MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Escape gives up the selection, as a click without dragging does.
    void keyPressEvent(QKeyEvent* event) override;
    // However the selection ends, the keyboard the overlay took goes back to the program.
    void hideEvent(QHideEvent* event) override;

private:
    // Inverts the outline of the rectangle between two corners on the shown picture; drawing
    // the same outline twice restores it.
    void invert_band(QPoint a, QPoint b);
};

extern TForm3* Form3;
