#pragma once
// Qt's own texts (the buttons of its dialogs, its file and font dialogs, the menus of edit fields,
// the names of keys) in French. Loading them waits until the main window shows: the window itself
// shows none of them, and every dialog loads them before it is readied.

class QWidget;

// Loads and installs the translation once; later calls do nothing. Widgets are told through
// their LanguageChange event.
void load_qt_translations();

// Loads it as soon as `window` has been painted for the first time.
void load_qt_translations_once_shown(QWidget* window);

// Whether it is installed.
bool qt_translations_loaded();
// Removes it again, so that a test can watch it being loaded.
void forget_qt_translations();
