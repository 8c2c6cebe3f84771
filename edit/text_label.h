#pragma once
// The floating text label shown over the picture: transparent around its glyphs, it passes its
// mouse presses, moves, releases and double clicks on as signals in its own coordinates. It
// shows every pixel of its glyphs: where they reach beyond the box of the font's metrics (an
// italic's overhang), it leaves room for them around the text.

#include <QLabel>

class TextLabel : public QLabel {
    Q_OBJECT
public:
    explicit TextLabel(QWidget* parent = nullptr);

    // Sizes the label to its text and font, room for the glyphs' overhangs included. Call after
    // changing either.
    void fit_to_text();
    // Where the text begins in the label: the corner of the box its font's metrics give it.
    QPoint text_origin() const { return origin_; }

signals:
    void mouse_down(Qt::MouseButton button, int x, int y);
    void mouse_move(int x, int y);
    void mouse_up(Qt::MouseButton button, int x, int y);
    void double_clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // Paints the text as draw_text does, so that the picture receives what the label showed.
    void paintEvent(QPaintEvent* event) override;

private:
    QPoint origin_{0, 0};
};
