#pragma once
// The desktop services through which the program hands its picture to other programs: the
// clipboard, the program the desktop associates with BMP pictures (and the chooser that changes
// it), and the user's mail program. The real services talk to X11, GIO and the mail tools; tests
// install their own.

#include <QImage>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class QWidget;

class ClipboardService {
public:
    virtual ~ClipboardService() = default;
    // Puts the picture alone on the clipboard, every pixel as it is, replacing whatever was
    // there; `bmp` is the same picture as a BMP file, the form programs paste as a bitmap.
    // Throws KapError "Impossible d'ouvrir le Presse-papiers" when the clipboard could not be
    // taken.
    virtual void put_image(const QImage& picture, const QByteArray& bmp) = 0;
};

// An application the user picked in the open-with chooser: a desktop entry, or a program file
// found by browsing.
struct ProgramChoice {
    QString desktop_id; // the desktop entry's id, empty for a program file
    QString program;    // the program file's path
    QString name;
    bool make_default = false; // make it the default for BMP pictures
};

class DesktopService {
public:
    virtual ~DesktopService() = default;
    // Opens the file with the desktop's default application for BMP pictures. False when no
    // program could be started for it.
    virtual bool open_with_default(const QString& path) = 0;
    // The open-with chooser over the file; nullopt when the user cancels.
    virtual std::optional<ProgramChoice> choose_program(QWidget* parent, const QString& path) = 0;
    // Makes the choice the default for BMP pictures in the desktop's MIME associations. Throws
    // KapError with a French message when that fails.
    virtual void make_default(const ProgramChoice& choice) = 0;
    // Opens the file with the chosen program. False when it could not be started.
    virtual bool open_with(const ProgramChoice& choice, const QString& path) = 0;
};

// A new message for the mail program: one record per recipient and per attached file.
struct MailRecipient {
    int recipient_class = 1; // a "To" recipient
    QString name;
    QString address; // "SMTP:" and the address
};
struct MailFile {
    int position = -1; // not placed inside the text
    QString path_name; // full path
    QString file_name; // what the recipient sees: the last part of the path
};
struct MailMessage {
    std::optional<QString> subject;
    std::optional<QString> note_text;
    std::vector<MailRecipient> recipients;
    std::vector<MailFile> files;
};

class MailService {
public:
    virtual ~MailService() = default;
    // Whether a mail program can be reached at all.
    virtual bool log_on() = 0;
    // Hands the message to the mail program's compose window. nullopt: the mail program could
    // not be reached after all (no mail client configured, the tool failed); otherwise the
    // result of the hand-over, 0 for success.
    virtual std::optional<int> send(QWidget* owner, const MailMessage& message) = 0;
    // The box that tells the user the mail program could not be reached: "Error while trying
    // to send email", caption "Error", error icon.
    virtual void report_failure(QWidget* owner);
};

// The services in force: the real ones unless a test installed its own (nullptr puts the real
// one back; the caller keeps ownership).
ClipboardService& clipboard_service();
void set_clipboard_service(ClipboardService* replacement);
DesktopService& desktop_service();
void set_desktop_service(DesktopService* replacement);
MailService& mail_service();
void set_mail_service(MailService* replacement);

// The text of the mail failure box, and its caption.
inline const QString kMailErrorText = QStringLiteral("Error while trying to send email");
inline const QString kMailErrorCaption = QStringLiteral("Error");

// The arguments given to xdg-email for a message: "--utf8", then "--attach" and the path of
// every file, "--subject" and "--body" when present, and each recipient as a mailto: address.
QStringList xdg_email_arguments(const MailMessage& message);
