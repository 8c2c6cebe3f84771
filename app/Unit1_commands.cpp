// The main window's commands: each handler hands the work to the object of the subsystem that
// owns it.
#include "app/Unit1.h"

#include "app/Unit5.h"
#include "app/main_window_commands.h"
#include "app/status_bar.h"
#include "edit/picture_view.h"

#include <QToolButton>

// --- Captures ------------------------------------------------------------------------------

void TForm1::Capture_bureauClick() {
    commands().capture.capture_desktop();
}

void TForm1::Capture_fenetreClick() {
    commands().capture.capture_active_window();
}

void TForm1::Capture_selectionClick() {
    commands().capture.capture_region();
}

void TForm1::Insere_curseurClick() {
    commands().capture.cursor_toggled(Insere_curseur->isChecked());
}

// --- History -------------------------------------------------------------------------------

void TForm1::Dfaire1Click() {
    commands().history.undo();
}

void TForm1::Rfaire1Click() {
    commands().history.redo();
}

void TForm1::reload_Click() {
    commands().history.reset();
}

// --- Resize --------------------------------------------------------------------------------

void TForm1::Redimen1Click() {
    commands().resize.run();
}

// --- Output --------------------------------------------------------------------------------

void TForm1::save_Click() {
    commands().save.run(picture(), settings().save);
}

void TForm1::copy_clipboardClick() {
    commands().share.copy_to_clipboard();
}

void TForm1::appli_externClick() {
    commands().share.open_in_external_program();
}

void TForm1::mailClick() {
    commands().share.mail();
}

// --- Configuration window ------------------------------------------------------------------

void TForm1::fenetre_reglagesClick() {
    Form5->show_non_modal();
}

void TForm1::ReglagesClick() {
    Form5->show_non_modal();
}

// --- Picture view and editing commands -----------------------------------------------------

void TForm1::Image1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                             Qt::MouseButtons held, bool double_click, int x, int y) {
    commands().annotation.press(button, modifiers, held, double_click, QPoint(x, y));
}

void TForm1::Image1MouseMove(Qt::KeyboardModifiers modifiers, Qt::MouseButtons held, int x, int y) {
    commands().annotation.move(modifiers, held, QPoint(x, y));
}

void TForm1::Image1MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
    commands().annotation.release(button, QPoint(x, y));
}

void TForm1::Effetngatif1Click() {
    commands().annotation.negative_effect();
}

// --- Text annotation -----------------------------------------------------------------------

void TForm1::Form4OKClick() {
    commands().text.place_label();
}

void TForm1::Form4Style_texteClick(const QFont& font, unsigned colour) {
    set_text_label_style(font, colour);
}

void TForm1::TexteMouseDown(Qt::MouseButton, int x, int y) {
    commands().text.label_pressed(QPoint(x, y));
}

void TForm1::TexteMouseMove(int x, int y) {
    commands().text.label_moved(QPoint(x, y));
}

void TForm1::TexteMouseUp(Qt::MouseButton, int, int) {
    commands().text.label_released();
}

void TForm1::TexteDblClick() {
    commands().text.label_double_clicked();
}

// --- Configuration window's notes and requests ---------------------------------------------

void TForm1::Form5ResizeNote(const QString& text, bool widen) {
    if (widen)
        StatusBar1->set_panel_width(StatusPanel::ResizeWidth, 100);
    StatusBar1->set_panel_text(StatusPanel::ResizeWidth, text);
}

void TForm1::Form5RegionNote(const QString& text) {
    StatusBar1->set_panel_text(StatusPanel::SameRegion, text);
}

void TForm1::Form5AutoSaveNote(const QString& text) {
    StatusBar1->set_panel_text(StatusPanel::AutoSave, text);
}

void TForm1::Form5NameEntered() {
    commands().save.restart_numbering();
}

void TForm1::Form5ProgramChoice(QWidget* asker) {
    commands().share.choose_program(asker);
}
