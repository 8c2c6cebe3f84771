#pragma once
#include "edit/drawing_surface.h"

#include <QImage>
#include <QWidget>

// The picture control: shows a picture 1:1 from its top-left corner and sizes itself to it
// whenever the picture changes. Mouse presses, moves and releases are passed on as signals with
// picture coordinates; while a button is held the moves and the release keep coming even when
// the pointer leaves the control. A right click asks for the context menu at its release, once
// the tools have seen the whole click (a right-button drag draws first).
class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    // The picture shown; a null image is the empty picture.
    const QImage& picture() const { return picture_; }
    QImage& picture_for_drawing() { return picture_; }
    // A new picture object: the drawing state starts again from its initial values.
    void set_picture(QImage picture);
    // New pixels in the same picture object: the drawing state is kept (as a capture does).
    void assign_pixels(QImage pixels);
    bool is_empty() const {
        return picture_.isNull() || picture_.width() == 0 || picture_.height() == 0;
    }

    // Call after drawing into picture_for_drawing(); repaints at once.
    void picture_changed();

    DrawingSurface surface;

signals:
    void mouse_down(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, Qt::MouseButtons held,
                    bool double_click, int x, int y);
    void mouse_move(Qt::KeyboardModifiers modifiers, Qt::MouseButtons held, int x, int y);
    void mouse_up(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QImage picture_;
};
