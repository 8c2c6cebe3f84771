// Undo, redo and reset of the working picture.
#include "app/Unit1.h"

void TForm1::Dfaire1Click() {}

void TForm1::Rfaire1Click() {}

void TForm1::reload_Click() {}
