// The resize command of the context menu.
#include "app/Unit1.h"

void TForm1::Redimen1Click() {}
