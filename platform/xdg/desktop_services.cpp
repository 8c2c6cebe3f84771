// The real desktop and mail services: GIO for the programs of the desktop; the desktop portal,
// else xdg-email, for the mail program.
#include "platform/backend.h"
#include "platform/dialogs.h"
#include "platform/sharing.h"
#include "platform/wayland/portal_email.h"
#include "platform/wayland/portal_open.h"
#include "platform/wayland/wayland_screen.h"
#include "platform/xdg/gio_apps.h"
#include "platform/xdg/open_with_dialog.h"

#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {

// How long the program waits for xdg-email, which normally returns as soon as the compose
// window is asked for. A tool that takes longer is left running, and counted as a success.
constexpr int kMailToolWaitMs = 15000;

class GioDesktop : public DesktopService {
public:
    bool open_with_default(const QString& path) override {
        // Where the program cannot start the desktop's program itself (none registered that it
        // can see, as in a sandbox of a Wayland desktop), the desktop portal opens the file.
        if (launch_default_for_type(kBmpMimeType, path))
            return true;
        return is_wayland_session() && open_file_with_portal(path);
    }
    std::optional<ProgramChoice> choose_program(QWidget* parent, const QString& path) override {
        OpenWithDialog dialog(parent, path);
        stack_over(&dialog, parent);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        const std::optional<DesktopApp> app = dialog.chosen();
        if (!app)
            return std::nullopt;
        return ProgramChoice{app->id, app->command, app->name, dialog.make_default()};
    }
    void make_default(const ProgramChoice& choice) override {
        set_default_app(app_of(choice), kBmpMimeType);
    }
    bool open_with(const ProgramChoice& choice, const QString& path) override {
        return launch_app(app_of(choice), path);
    }

private:
    static DesktopApp app_of(const ProgramChoice& choice) {
        DesktopApp app;
        app.id = choice.desktop_id;
        app.command = choice.program;
        app.name = choice.name;
        return app;
    }
};

class DesktopMail : public MailService {
public:
    bool log_on() override { return email_portal_available() || !tool().isEmpty(); }

    std::optional<int> send(QWidget* owner, const MailMessage& message) override {
        // The desktop portal first, where it runs: it answers whether the mail program could be
        // reached. xdg-email otherwise, or when the request could not even be made.
        if (email_portal_available()) {
            switch (compose_with_portal(owner, message)) {
            case PortalAnswer::Opened:
                return 0;
            case PortalAnswer::Cancelled:
                return 1;
            case PortalAnswer::Failed:
                return std::nullopt;
            case PortalAnswer::Unavailable:
                break;
            }
        }
        const QString program = tool();
        if (program.isEmpty())
            return std::nullopt;
        auto* process = new QProcess;
        process->setProgram(program);
        process->setArguments(xdg_email_arguments(message));
        process->setStandardInputFile(QProcess::nullDevice());
        process->start();
        if (!process->waitForStarted()) {
            delete process;
            return std::nullopt;
        }
        if (!process->waitForFinished(kMailToolWaitMs)) {
            // Still running: leave it, and let it go once it ends.
            QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
            return 0;
        }
        const bool ok = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
        delete process;
        if (!ok)
            return std::nullopt;
        return 0;
    }

private:
    static QString tool() { return QStandardPaths::findExecutable(QStringLiteral("xdg-email")); }
};

} // namespace

QStringList xdg_email_arguments(const MailMessage& message) {
    QStringList arguments{QStringLiteral("--utf8")};
    for (const MailFile& file : message.files)
        arguments << QStringLiteral("--attach") << file.path_name;
    if (message.subject)
        arguments << QStringLiteral("--subject") << *message.subject;
    if (message.note_text)
        arguments << QStringLiteral("--body") << *message.note_text;
    for (const MailRecipient& recipient : message.recipients) {
        QString address = recipient.address;
        if (address.startsWith(QLatin1String("SMTP:"), Qt::CaseInsensitive))
            address = address.mid(5);
        // As a mailto: address, a recipient can never be taken for an option of the tool.
        arguments << QStringLiteral("mailto:") +
                         QString::fromLatin1(QUrl::toPercentEncoding(address, "@+"));
    }
    return arguments;
}

DesktopService& real_desktop_service() {
    static GioDesktop real;
    return real;
}

MailService& real_mail_service() {
    static DesktopMail real;
    return real;
}
