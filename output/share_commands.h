#pragma once
// Handing the working picture to the rest of the desktop: the clipboard, the program associated
// with BMP pictures, the chooser of that program, and a new e-mail with the picture attached.
// None of them changes the picture or writes a setting.

#include "platform/sharing.h"

#include <QString>
#include <QStringList>
#include <optional>

class Configuration;
class PictureHost;
class QWidget;
class WindowShell;

// Told when no program could be started on the picture.
inline const QString kNoProgramText = QStringLiteral(
    "Aucun programme n'a pu ouvrir la capture. Choisissez un programme d'édition dans les "
    "réglages.");

class ShareCommands {
public:
    ShareCommands(const PictureHost& view, WindowShell& window, const Configuration& configuration)
        : view_(view), window_(window), configuration_(configuration) {}

    // The toolbar's clipboard button.
    void copy_to_clipboard();
    // The toolbar's external-program button: the picture to kaptorama.bmp, opened with the
    // default application for BMP pictures. The program goes to the task bar; it comes back
    // and tells the user (kNoProgramText) when no program could be started.
    void open_in_external_program();
    // The configuration window's "?" button: the open-with chooser over kaptorama.bmp.
    // `asker` is the window the chooser belongs to. A chosen program that cannot be started is
    // told as above.
    void choose_program(QWidget* asker);
    // The toolbar's e-mail button: the picture in the configured format, attached to a new
    // message of the user's mail program.
    void mail();

private:
    // Writes the picture to kaptorama.bmp; whether the file now exists.
    bool write_current_picture();
    void no_program_started();

    const PictureHost& view_;
    WindowShell& window_;
    const Configuration& configuration_;
};

// A mail description: lines "name=value". The value of the first line whose name equals `name`
// without regard to case; nullopt when no line has that name.
std::optional<QString> mail_value(const QStringList& description, const QString& name);

// The message a mail description stands for: "to" (one recipient, address "SMTP:" + the value,
// name the value), "subject", "body", and "attachment0", "attachment1"... up to the first missing
// or empty one.
MailMessage build_mail_message(const QStringList& description);

// Hands the message to the mail program, the program's windows disabled meanwhile. When the
// mail program cannot be reached, tells the user ("Error while trying to send email") and
// returns 0; otherwise returns the result of the hand-over.
int send_mail(WindowShell& window, QWidget* owner, const QStringList& description);
