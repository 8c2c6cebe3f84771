#pragma once
// Every message box and dialog of the program goes through this seam, so that tests can answer
// them (record the text, choose a file or a folder, cancel) without a person.

#include <QFont>
#include <QString>
#include <QStringList>
#include <optional>

class QMessageBox;
class QWidget;

// A font with its colour (0x00BBGGRR), as the text style dialog chooses them.
struct FontChoice {
    QFont font;
    unsigned colour = 0;
};

struct SaveFileRequest {
    QString title;
    QStringList filters;    // "PNG (*.png)" style, in the order shown
    int filter_index = 1;   // 1-based, as the save command counts them
    QString default_suffix; // without the dot
    QString file_name;      // the name proposed (may be empty)
};

struct SaveFileAnswer {
    QString path;
    int filter_index = 1; // 1-based index of the filter the user left selected
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Modal information box: title "Kaptorama", no icon, one "OK".
    virtual void message(QWidget* parent, const QString& text) = 0;
    // Modal error box: title "Kaptorama", error icon, one "OK". The text is shown as given.
    virtual void error(QWidget* parent, const QString& text) = 0;
    // Folder chooser; nullopt when cancelled.
    virtual std::optional<QString> choose_folder(QWidget* parent, const QString& title,
                                                 const QString& preselected) = 0;
    // File-save chooser with its own overwrite prompt; nullopt when cancelled.
    virtual std::optional<SaveFileAnswer> save_file(QWidget* parent,
                                                    const SaveFileRequest& request) = 0;
    // Font chooser with the effects (underline, strike-out) and a colour; nullopt when
    // cancelled.
    virtual std::optional<FontChoice> choose_font(QWidget* parent, const FontChoice& initial) = 0;
};

// The dialogs in force: the real ones unless a test installed its own.
Dialogs& dialogs();
// Installs replacement dialogs (nullptr puts the real ones back). The caller keeps ownership.
void set_dialogs(Dialogs* replacement);

// The error box's text: a full stop is added when the last character sorts after '.'.
QString error_box_text(const QString& message);

// The window a dialog belongs to: the window that asked (its top-level window), else the main
// window. A dialog is modal over its parent, shows above it, and gives the keyboard back to it.
QWidget* dialog_parent(QWidget* asker = nullptr);
// Runs a message box of `parent` as every box of the program runs: above its parent (on top
// while the parent is), centred on the screen, and the keyboard back to the parent afterwards.
void show_box(QMessageBox& box, QWidget* parent);
// Readies a dialog of `parent` as every dialog of the program: above its parent (on top while the
// parent is), with a title and a close box but no minimise or maximise button, and Qt's texts in
// French.
void stack_over(QWidget* dialog, QWidget* parent);
// The program's main window, the parent of dialogs that no other window asked for.
void set_main_window(QWidget* main_window);

// Shorthands used by every command; `asker` is the window that asks, if not the main window.
void show_message(const QString& text, QWidget* asker = nullptr);
void show_error(const QString& message, QWidget* asker = nullptr);
