#pragma once
#include <QString>

// The user's temporary directory ($TMPDIR, else /tmp) with a trailing '/'.
// Every working-file path is temp_dir() followed by a bare file name.
QString temp_dir();
