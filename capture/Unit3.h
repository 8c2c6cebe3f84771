#pragma once
// The full-screen region-selection overlay: shows a frozen image of the screen on which the user
// drags the rectangle to capture.

#include <QWidget>

class PictureView;

class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    PictureView* Image1 = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

extern TForm3* Form3;
