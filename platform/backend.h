#pragma once
// What each backend (the Linux desktop, Windows) supplies behind the interfaces of this folder:
// the platform's own services, made at their first use. The interfaces' accessors hand these
// out unless a test installed its own.

#include <memory>

class Screen;
class ClipboardService;
class DesktopService;
class MailService;

std::unique_ptr<Screen> make_real_screen();
ClipboardService& real_clipboard_service();
DesktopService& real_desktop_service();
MailService& real_mail_service();
