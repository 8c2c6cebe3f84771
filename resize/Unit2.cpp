#include "resize/Unit2.h"

#include "platform/application_windows.h"
#include "platform/stay_on_top.h"
#include "platform/window_placement.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>
#include <limits>

TForm2* Form2 = nullptr;

namespace {
// Repaint the bar at most this often while rows come in: often enough to move smoothly, rarely
// enough that painting costs nothing next to the resampling.
constexpr qint64 kRepaintEveryMs = 15;
} // namespace

TForm2::TForm2(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Redimensionnement..."));
    setFixedSize(235, 35);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(9, 9, 217, 16);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setFocusPolicy(Qt::NoFocus);
}

void TForm2::resample_started(int rows) {
    // Ten units per row as the bar has always counted; rows so many that ten times them would
    // not fit the bar's range count one unit each.
    const qint64 maximum = qint64{10} * (rows - 1);
    step_ = maximum <= std::numeric_limits<int>::max() ? 10 : 1;

    // Centred with the frame the window manager gave it last time (none the first time), then
    // again once it is framed, so that the frame counts in its place from the first showing.
    centre_window(this, known_frame_);
    show_in_front(this);
    ProgressBar1->setValue(0);
    ProgressBar1->setRange(0, step_ * (rows - 1));
    ProgressBar1->setValue(0);

    // The window can only be painted once the window system has mapped it: wait for that, a
    // moment at most, holding user input back for later. A window manager busy with another
    // window can let the request to map this one go unanswered; it is then asked again.
    if (QWindow* window = windowHandle()) {
        for (int attempt = 0; attempt < 3 && !window->isExposed(); ++attempt) {
            if (attempt > 0) {
                remapping_ = true;
                hide();
                show();
                remapping_ = false;
            }
            const QDeadlineTimer deadline(200);
            while (!window->isExposed() && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
        }
    }
    if (const QMargins frame = window_frame(this); !frame.isNull() && frame != known_frame_) {
        known_frame_ = frame;
        centre_window(this, known_frame_);
    }
    repaint();
    painted_.start();
}

void TForm2::row_reached(int row) {
    ProgressBar1->setValue(step_ * row);
    if (painted_.elapsed() >= kRepaintEveryMs)
        paint_bar_now();
}

void TForm2::resample_finished() {
    ProgressBar1->setValue(0);
    hide();
}

void TForm2::paint_bar_now() {
    ProgressBar1->repaint();
    painted_.restart();
}

void TForm2::FormShow() {
    secondary_window_visibility(this, true);
}

void TForm2::FormHide() {
    secondary_window_visibility(this, false);
}

void TForm2::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous() && !remapping_)
        FormShow();
}

void TForm2::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous() && !remapping_)
        FormHide();
}
