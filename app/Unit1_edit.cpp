// The picture view's mouse handlers and the editing commands of the context menu.
#include "app/Unit1.h"

#include "edit/Unit4.h"
#include "edit/picture_view.h"

void TForm1::Image1MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, Qt::MouseButtons, bool, int,
                             int) {
    if (Image1->is_empty())
        return;
    // The first press on a picture lets the context menu open on right clicks from now on.
    enable_popup();
}

void TForm1::Image1MouseMove(Qt::KeyboardModifiers, Qt::MouseButtons, int, int) {}

void TForm1::Image1MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}

void TForm1::Texte1Click() {
    select_tool(&mode_text);
    Form4->show();
    Form4->raise();
    Image1->setCursor(Qt::ArrowCursor);
}

void TForm1::Effetngatif1Click() {}
