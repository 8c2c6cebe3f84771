#pragma once
// Windows error codes as the program tells them: in French, in the same words as on Linux.

#include <QString>

// The reason for a failed Windows call (a GetLastError() value).
QString windows_error_text(unsigned long error);
