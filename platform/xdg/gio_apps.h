#pragma once
// The applications the desktop registers for a type of file, through GIO and the XDG MIME
// associations (the desktop entries under $XDG_DATA_HOME and $XDG_DATA_DIRS, mimeapps.list under
// $XDG_CONFIG_HOME and the system folders). Programs are started by GIO from the entry's command
// line, without a shell: the file's path reaches the program as one argument, whatever it holds.

#include <QString>
#include <vector>

inline const QString kBmpMimeType = QStringLiteral("image/bmp");

struct DesktopApp {
    QString id;      // the desktop entry's id ("org.gnome.eog.desktop"); empty for a command
    QString name;    // the name shown to the user
    QString icon;    // a theme icon name or an icon file's path; may be empty
    QString command; // the program to run, when the application is a chosen program file
    bool is_default = false;
};

// The applications registered for the type, the current default first.
std::vector<DesktopApp> apps_for_type(const QString& mime_type);

// Opens the file with the type's default application. False when there is none or it could not
// be started.
bool launch_default_for_type(const QString& mime_type, const QString& path);

// The application of a desktop entry, or of a program file (which is given the file to open as
// its one argument). Throws KapError with a French message when there is no such application.
// Makes it the type's default in the user's mimeapps.list (a program file first gets a desktop
// entry of its own in the user's applications folder).
void set_default_app(const DesktopApp& app, const QString& mime_type);
// Opens the file with the application; false when it could not be started.
bool launch_app(const DesktopApp& app, const QString& path);
