#pragma once
// The floating text label shown over the picture: transparent around its glyphs, it passes its
// mouse presses, moves, releases and double clicks on as signals in its own coordinates.

#include <QLabel>

class TextLabel : public QLabel {
    Q_OBJECT
public:
    explicit TextLabel(QWidget* parent = nullptr);

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
};
