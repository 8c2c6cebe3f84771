// The capture buttons and the delay panel.
#include "app/Unit1.h"

void TForm1::Capture_bureauClick() {}

void TForm1::Capture_fenetreClick() {}

void TForm1::Capture_selectionClick() {}

void TForm1::Insere_curseurClick() {}
