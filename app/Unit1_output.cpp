// The output buttons: save, clipboard, external programs, e-mail.
#include "app/Unit1.h"

void TForm1::save_Click() {}

void TForm1::copy_clipboardClick() {}

void TForm1::appli_externClick() {}

void TForm1::mailClick() {}
