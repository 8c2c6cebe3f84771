// The capture buttons and the delay panel: the desktop, the active window, and a region dragged
// on a frozen image of the screen (or the region remembered from the last drag).
#include "app/Unit1.h"

#include "app/Unit5.h"
#include "app/spin_box.h"
#include "app/status_bar.h"
#include "capture/Unit3.h"
#include "capture/screen_grabber.h"
#include "codec/bmp.h"
#include "edit/history.h"
#include "edit/history_commands.h"
#include "edit/picture_view.h"
#include "edit/working_files.h"
#include "platform/screen.h"
#include "platform/wait.h"
#include "resize/Unit2.h"
#include "resize/on_the_fly.h"

#include <QCheckBox>
#include <QLabel>
#include <QToolButton>
#include <algorithm>

namespace {

// Shows the main window again when a capture ends early through an error, so that a failed
// capture never leaves the program without a window.
class ShowAgainOnError {
public:
    explicit ShowAgainOnError(QWidget* window) : window_(window) {}
    ~ShowAgainOnError() {
        if (armed_)
            window_->show();
    }
    void disarm() { armed_ = false; }

private:
    QWidget* window_;
    bool armed_ = true;
};

} // namespace

int TForm1::capture_wait_ms() const {
    // A delay typed as a negative number waits no longer than none at all.
    return std::max(0, tempo->value()) * 1000 + 200;
}

void TForm1::clear_history() {
    if (!history->empty()) {
        history->clear();
        history_index = 0;
    }
}

void TForm1::resize_capture_if_asked(QImage& raster) {
    if (Form5->resize->isChecked())
        resize_on_the_fly(raster, Form5->largeur_px->value(), Form2);
}

void TForm1::Insere_curseurClick() {
    if (Insere_curseur->isChecked()) {
        with_cursor = true;
        Panel_tempo->show();
        Panel_tempo->raise();
        tempo->setValue(3);
    } else {
        with_cursor = false;
        Panel_tempo->hide();
        tempo->setValue(0);
    }
}

void TForm1::Capture_bureauClick() {
    clear_history();
    hide();
    ShowAgainOnError show_again(this);
    resized = false;
    Panel_tempo->hide();
    block_for_ms(capture_wait_ms());
    QImage raster = grab_screen(with_cursor);
    show();
    show_again.disarm();

    // The picture is shown even when writing the capture file or resizing fails.
    auto show_raster = [&] {
        fit_to_work_area();
        Image1->assign_pixels(raster);
        Image1->picture_changed();
    };
    try {
        write_bmp(raster, grabbed_capture_file());
        resize_capture_if_asked(raster);
    } catch (...) {
        show_raster();
        throw;
    }
    show_raster();
    push_snapshot(*history, *Image1, history_index);
    apply_tool_cursor();
}

void TForm1::Capture_fenetreClick() {
    clear_history();
    hide();
    ShowAgainOnError show_again(this);
    resized = false;
    centre_on_display();
    Panel_tempo->hide();
    block_for_ms(capture_wait_ms());
    QImage raster = grab_active_window(with_cursor);
    write_bmp(raster, grabbed_capture_file());
    resize_capture_if_asked(raster);

    if (raster.width() >= 418) {
        set_client_size(raster.width() + 10, raster.height() + 76);
        centre_on_display();
    } else {
        set_client_size(428, 380);
    }
    Image1->assign_pixels(raster);
    Image1->picture_changed();
    push_snapshot(*history, *Image1, history_index);
    show();
    show_again.disarm();
    apply_tool_cursor();
}

void TForm1::Capture_selectionClick() {
    StatusBar1->set_panel_text(3, QString());
    clear_history();
    if (Form5->memo_aera->isChecked()) {
        capture_remembered_region();
        return;
    }
    hide();
    ShowAgainOnError show_again(this);
    resized = false;
    Panel_tempo->hide();
    block_for_ms(capture_wait_ms());
    QImage frozen = grab_screen(with_cursor);
    Form3->start_selection(std::move(frozen), ::screen().virtual_desktop());
    show_again.disarm(); // the main window stays hidden until the selection ends
    apply_tool_cursor();
}

void TForm1::capture_remembered_region() {
    if (Form5->x1->text().isEmpty())
        return;
    hide();
    ShowAgainOnError show_again(this); // shown again at the end, also after an error
    const ScreenRect rect{Form5->x1->text().toInt(), Form5->y1->text().toInt(),
                          Form5->x2->text().toInt(), Form5->y2->text().toInt()};
    QImage raster;
    if (Insere_curseur->isChecked()) {
        block_for_ms(capture_wait_ms());
        raster = grab_rect_cursor(true, rect);
    } else {
        ::screen().sync(); // no delay; only makes sure the window is gone
        raster = grab_rect_cursor(false, rect);
    }
    write_bmp(raster, grabbed_capture_file());
    resize_capture_if_asked(raster);
    Image1->assign_pixels(raster);
    Image1->picture_changed();
    push_snapshot(*history, *Image1, history_index);
}

void TForm1::region_released(QPoint press, QPoint release) {
    if (release.x() == press.x() || release.y() == press.y()) {
        // A click, or a flat drag: no picture.
        Image1->assign_pixels(QImage());
        Form3->end_selection();
        set_outer_size(436, 408);
        show();
        return;
    }
    const int left = std::min(press.x(), release.x());
    const int right = std::max(press.x(), release.x());
    const int top = std::min(press.y(), release.y());
    const int bottom = std::max(press.y(), release.y());
    Form5->x1->setText(QString::number(left));
    Form5->x2->setText(QString::number(right));
    Form5->y1->setText(QString::number(top));
    Form5->y2->setText(QString::number(bottom));
    Form5->memo_aera->setEnabled(true);

    QImage raster = Form3->captured_bitmap.copy(QRect(left, top, right - left, bottom - top));
    try {
        write_bmp(raster, grabbed_capture_file());
        resize_capture_if_asked(raster);
    } catch (...) {
        // The overlay has no close box: it must not stay over the screen after an error.
        Form3->end_selection();
        show();
        throw;
    }

    if (raster.width() < 418) {
        Image1->resize(418, 252);
        set_client_size(428, 382);
    } else {
        set_client_size(raster.width() + 10, raster.height() + 76);
    }
    Image1->assign_pixels(raster);
    Image1->picture_changed();
    Form3->hide();
    push_snapshot(*history, *Image1, history_index);
    Form3->end_selection();
    show();
}
