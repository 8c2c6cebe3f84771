#include "output/share_commands.h"

#include "codec/bmp.h"
#include "codec/image_writers.h"
#include "edit/main_window.h"
#include "edit/working_files.h"
#include "platform/core/scope_guard.h"
#include "platform/dialogs.h"

#include <QFileInfo>

namespace {

QString attachment_name(int number) {
    return QStringLiteral("attachment%1").arg(number);
}

// The working file that carries an attachment of this format.
QString attachment_file(ImageFormat format) {
    switch (format) {
    case ImageFormat::Png:
    case ImageFormat::Png8:
        return png_attachment_file();
    case ImageFormat::Jpeg:
        return jpeg_attachment_file();
    case ImageFormat::Bmp:
        break;
    }
    return full_colour_copy_file();
}

// Writes the attachment file of the configured format; its path, or nothing when no format is
// selected. The 8-bit PNG is made from a private copy: the picture keeps its colours.
std::optional<QString> write_attachment(const QImage& picture, const SaveSettings& settings) {
    if (!settings.format)
        return std::nullopt;
    const QString path = attachment_file(*settings.format);
    write_image(path, picture, *settings.format, settings.jpeg_quality);
    return path;
}

} // namespace

void ShareCommands::copy_to_clipboard() {
    const QImage& picture = view_.picture();
    if (picture_is_empty(picture)) {
        show_message(QStringLiteral("Il n'y a pas de capture à coller dans le presse papier!"));
        return;
    }
    clipboard_service().put_image(picture, encode_bmp(picture));
}

bool ShareCommands::write_current_picture() {
    const QString path = current_picture_file();
    write_bmp(view_.picture(), path);
    return QFileInfo::exists(path);
}

void ShareCommands::open_in_external_program() {
    if (picture_is_empty(view_.picture())) {
        show_message(QStringLiteral("Il n'y a pas de capture à expédier"));
        return;
    }
    if (!write_current_picture())
        return;
    window_.minimise_application();
    if (!desktop_service().open_with_default(current_picture_file()))
        no_program_started();
}

void ShareCommands::no_program_started() {
    // The program left the screen for one that never came: it comes back and says why.
    window_.restore_application();
    show_message(kNoProgramText);
}

void ShareCommands::choose_program(QWidget* asker) {
    if (picture_is_empty(view_.picture())) {
        show_message(QStringLiteral("Il n'y a pas de capture à editer"), asker);
        return;
    }
    if (!write_current_picture())
        return;
    // The chooser is a window of ours: it is answered before the program leaves the screen, so
    // that it never opens over a minimised parent.
    const std::optional<ProgramChoice> choice =
        desktop_service().choose_program(dialog_parent(asker), current_picture_file());
    if (!choice)
        return;
    if (choice->make_default)
        desktop_service().make_default(*choice);
    window_.minimise_application();
    if (!desktop_service().open_with(*choice, current_picture_file()))
        no_program_started();
}

void ShareCommands::mail() {
    const QImage& picture = view_.picture();
    if (picture_is_empty(picture)) {
        show_message(QStringLiteral("Il n'y a pas de capture à expédier"));
        return;
    }
    window_.minimise_application();
    // The program comes back from the task bar whatever happens: sent, cancelled, no format,
    // or an attachment that could not be written (its error box then shows over the window).
    also_on_failure(
        [&] {
            const std::optional<QString> attachment =
                write_attachment(picture, configuration_.settings().save);
            if (!attachment)
                return;
            const QStringList description{attachment_name(0) + QLatin1Char('=') + *attachment};
            send_mail(window_, dialog_parent(), description);
        },
        [&] { window_.restore_application(); });
}

std::optional<QString> mail_value(const QStringList& description, const QString& name) {
    for (const QString& line : description) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        if (QStringView(line).left(equals).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(equals + 1);
    }
    return std::nullopt;
}

MailMessage build_mail_message(const QStringList& description) {
    MailMessage message;
    if (const std::optional<QString> to = mail_value(description, QStringLiteral("to"));
        to && !to->isEmpty()) {
        MailRecipient recipient;
        recipient.name = *to;
        recipient.address = QStringLiteral("SMTP:") + *to;
        message.recipients.push_back(recipient);
    }
    for (int number = 0;; ++number) {
        const std::optional<QString> path = mail_value(description, attachment_name(number));
        if (!path || path->isEmpty())
            break;
        MailFile file;
        file.path_name = *path;
        file.file_name = path->section(QLatin1Char('/'), -1);
        message.files.push_back(file);
    }
    message.subject = mail_value(description, QStringLiteral("subject"));
    message.note_text = mail_value(description, QStringLiteral("body"));
    return message;
}

int send_mail(WindowShell& window, QWidget* owner, const QStringList& description) {
    MailService& mail = mail_service();
    if (!mail.log_on()) {
        mail.report_failure(owner);
        return 0;
    }
    const MailMessage message = build_mail_message(description);
    std::optional<int> result;
    window.set_application_enabled(false);
    also_on_failure([&] { result = mail.send(owner, message); },
                    [&] { window.set_application_enabled(true); });
    if (!result) {
        mail.report_failure(owner);
        return 0;
    }
    return *result;
}
