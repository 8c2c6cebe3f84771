#pragma once

// The main window's four status panels, left to right: the width of on-the-fly resizing, the
// remembered region in use, automatic saving on, and the notices of the commands (saves, the
// session's limits).
enum class StatusPanel { ResizeWidth, SameRegion, AutoSave, Notice };
