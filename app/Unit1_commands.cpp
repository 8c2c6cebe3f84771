// The main window's commands: each handler hands the work to the object of the subsystem that
// owns it.
#include "app/Unit1.h"

#include "app/Unit5.h"
#include "app/main_window_commands.h"
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

void TForm1::Image1MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, Qt::MouseButtons, bool, int,
                             int) {
    if (Image1->is_empty())
        return;
    // The first press on a picture lets the context menu open on right clicks from now on.
    enable_popup();
}

void TForm1::Image1MouseMove(Qt::KeyboardModifiers, Qt::MouseButtons, int, int) {}

void TForm1::Image1MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}

void TForm1::Effetngatif1Click() {}
