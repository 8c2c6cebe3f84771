#pragma once
// The resize progress window: a small stay-on-top window with one progress bar, shown only while
// a picture is being resampled. The program creates it once at start-up and keeps it hidden.
//
// The user-interface thread is busy for the whole resampling and processes no input meanwhile,
// so the bar is repainted directly from the progress calls instead of waiting for the event loop.

#include "resize/U_Interpolation_BiLineaire.h"

#include <QElapsedTimer>
#include <QMargins>
#include <QWidget>

class QProgressBar;

class TForm2 : public QWidget, public ResampleProgress {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);

    QProgressBar* ProgressBar1;

    // Shows the window centred on the desktop with the bar at 0 of 10 x (rows - 1).
    void resample_started(int rows) override;
    // Moves the bar to 10 x row and repaints it at once when it changed on screen.
    void row_reached(int row) override;
    // Puts the bar back to 0 and hides the window.
    void resample_finished() override;

public slots:
    void FormShow();
    void FormHide();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void paint_bar_now();

    int step_ = 10;          // bar units per row
    bool remapping_ = false; // hidden and shown again to have it mapped: no hooks
    QMargins known_frame_;   // the frame the window manager put around the window last time
    QElapsedTimer painted_;  // since the bar was last repainted
};

// The program's one progress window, created at start-up.
extern TForm2* Form2;
