#include "platform/backend.h"
#include "platform/dialogs.h"
#include "platform/sharing.h"

#include <QMessageBox>

namespace {
ClipboardService* replacement_clipboard = nullptr;
DesktopService* replacement_desktop = nullptr;
MailService* replacement_mail = nullptr;
} // namespace

ClipboardService& clipboard_service() {
    return replacement_clipboard ? *replacement_clipboard : real_clipboard_service();
}

void set_clipboard_service(ClipboardService* replacement) {
    replacement_clipboard = replacement;
}

DesktopService& desktop_service() {
    return replacement_desktop ? *replacement_desktop : real_desktop_service();
}

void set_desktop_service(DesktopService* replacement) {
    replacement_desktop = replacement;
}

MailService& mail_service() {
    return replacement_mail ? *replacement_mail : real_mail_service();
}

void set_mail_service(MailService* replacement) {
    replacement_mail = replacement;
}

void MailService::report_failure(QWidget* owner) {
    QMessageBox box(QMessageBox::Critical, kMailErrorCaption, kMailErrorText, QMessageBox::Ok,
                    owner);
    show_box(box, owner);
}
