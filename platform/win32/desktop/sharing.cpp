// The Windows services for handing the picture on: the clipboard with one CF_BITMAP, the shell
// for the associated program and its open-with dialog, and Simple MAPI for the mail program.
#include "platform/sharing.h"
#include "platform/backend.h"
#include "platform/core/error.h"

#include <QApplication>
#include <QDir>
#include <QWidget>
#include <cstring>
#include <vector>

#include <windows.h>

#include <mapi.h>
#include <shellapi.h>

namespace {

HWND window_of(const QWidget* widget) {
    if (!widget)
        widget = QApplication::activeWindow();
    return widget ? reinterpret_cast<HWND>(widget->window()->winId()) : nullptr;
}

// The clipboard's owner: a message-only window of the program's own, made once. A clipboard
// opened without an owner window cannot be set.
HWND clipboard_owner() {
    static const HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                              nullptr, GetModuleHandleW(nullptr), nullptr);
    return owner;
}

// A bitmap of the screen's kind made from a BMP file's header and pixels; null when the file
// is not one GDI takes.
HBITMAP bitmap_from_bmp(const QByteArray& bmp) {
    constexpr qsizetype kFileHeader = 14;
    if (bmp.size() < kFileHeader + qsizetype(sizeof(BITMAPINFOHEADER)) || !bmp.startsWith("BM"))
        return nullptr;
    uint32_t pixels_at = 0;
    std::memcpy(&pixels_at, bmp.constData() + 10, sizeof(pixels_at));
    if (pixels_at >= uint32_t(bmp.size()))
        return nullptr;
    const auto* info = reinterpret_cast<const BITMAPINFO*>(bmp.constData() + kFileHeader);
    const HDC screen_dc = GetDC(nullptr);
    if (!screen_dc)
        return nullptr;
    const HBITMAP bitmap = CreateDIBitmap(screen_dc, &info->bmiHeader, CBM_INIT,
                                          bmp.constData() + pixels_at, info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen_dc);
    return bitmap;
}

class Win32Clipboard : public ClipboardService {
public:
    void put_image(const QImage&, const QByteArray& bmp) override {
        const HBITMAP bitmap = bitmap_from_bmp(bmp);
        if (!bitmap)
            throw KapError(QStringLiteral("Mémoire insuffisante pour copier l'image"));
        // Open, empty, set the one bitmap, close. Windows itself offers the DIB forms a program
        // asks for, and keeps the bitmap once the program has ended.
        if (!OpenClipboard(clipboard_owner())) {
            DeleteObject(bitmap);
            throw KapError(QStringLiteral("Impossible d'ouvrir le Presse-papiers"));
        }
        const bool set = EmptyClipboard() && SetClipboardData(CF_BITMAP, bitmap);
        CloseClipboard();
        if (!set) {
            DeleteObject(bitmap); // the clipboard owns it only once set
            throw KapError(QStringLiteral("Impossible d'ouvrir le Presse-papiers"));
        }
    }
};

// True when ShellExecute started something: its result is above 32 then.
bool shell_execute(HWND owner, const wchar_t* verb, const QString& file,
                   const QString& parameters = {}) {
    const std::wstring file_w = file.toStdWString();
    const std::wstring parameters_w = parameters.toStdWString();
    const HINSTANCE result = ShellExecuteW(owner, verb, file_w.c_str(),
                                           parameters.isEmpty() ? nullptr : parameters_w.c_str(),
                                           nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

class ShellDesktop : public DesktopService {
public:
    bool open_with_default(const QString& path) override {
        // No verb: the file type's default action.
        return shell_execute(window_of(nullptr), nullptr, QDir::toNativeSeparators(path));
    }
    // The chooser is the system's own open-with dialog, started by open_with once the program
    // has left the screen; it opens the file itself and remembers the choice where the user
    // asks it to.
    std::optional<ProgramChoice> choose_program(QWidget*, const QString&) override {
        return ProgramChoice{};
    }
    void make_default(const ProgramChoice&) override {}
    bool open_with(const ProgramChoice&, const QString& path) override {
        return shell_execute(window_of(nullptr), L"open", QStringLiteral("rundll32.exe"),
                             QStringLiteral("shell32.dll,OpenAs_RunDLL ") +
                                 QDir::toNativeSeparators(path));
    }
};

// Whether the system declares Simple MAPI installed: the value "MAPI" of the messaging
// subsystem's key holds exactly "1".
bool simple_mapi_declared() {
    wchar_t value[8] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows Messaging Subsystem",
                     L"MAPI", RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return false;
    return std::wcscmp(value, L"1") == 0;
}

// "MAPI32.DLL" and its three calls, looked up on first use; each call is 1 (failure) while the
// library or the function is missing.
class SimpleMapi {
public:
    ULONG logon(HWND owner, LHANDLE* session) {
        load();
        return logon_ ? logon_(ULONG_PTR(owner), const_cast<LPSTR>(""), const_cast<LPSTR>(""),
                               MAPI_LOGON_UI | MAPI_NEW_SESSION, 0, session)
                      : 1;
    }
    ULONG send(LHANDLE session, HWND owner, MapiMessage& message) {
        return send_ ? send_(session, ULONG_PTR(owner), &message, MAPI_DIALOG, 0) : 1;
    }
    void logoff(LHANDLE session, HWND owner) {
        if (logoff_)
            logoff_(session, ULONG_PTR(owner), 0, 0);
    }

private:
    void load() {
        if (tried_)
            return;
        tried_ = true;
        if (!simple_mapi_declared())
            return;
        const HMODULE library = LoadLibraryW(L"MAPI32.DLL");
        if (!library)
            return;
        logon_ = function<LPMAPILOGON>(library, "MAPILogon");
        send_ = function<LPMAPISENDMAIL>(library, "MAPISendMail");
        logoff_ = function<LPMAPILOGOFF>(library, "MAPILogoff");
    }
    template <class F> static F function(HMODULE library, const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    }

    bool tried_ = false;
    LPMAPILOGON logon_ = nullptr;
    LPMAPISENDMAIL send_ = nullptr;
    LPMAPILOGOFF logoff_ = nullptr;
};

// Simple MAPI takes strings in the system's ANSI code page.
LPSTR text(std::vector<QByteArray>& owned, const QString& value) {
    owned.push_back(value.toLocal8Bit());
    return owned.back().data();
}

class MapiMail : public MailService {
public:
    bool log_on() override {
        session_ = 0;
        return mapi_.logon(window_of(nullptr), &session_) == SUCCESS_SUCCESS;
    }

    std::optional<int> send(QWidget* owner, const MailMessage& message) override {
        std::vector<QByteArray> owned;
        owned.reserve(2 + 2 * (message.recipients.size() + message.files.size()));
        std::vector<MapiRecipDesc> recipients(message.recipients.size());
        for (size_t i = 0; i < recipients.size(); ++i) {
            recipients[i].ulRecipClass = ULONG(message.recipients[i].recipient_class);
            recipients[i].lpszName = text(owned, message.recipients[i].name);
            recipients[i].lpszAddress = text(owned, message.recipients[i].address);
        }
        std::vector<MapiFileDesc> files(message.files.size());
        for (size_t i = 0; i < files.size(); ++i) {
            files[i].nPosition = ULONG(message.files[i].position);
            files[i].lpszPathName =
                text(owned, QDir::toNativeSeparators(message.files[i].path_name));
            files[i].lpszFileName = text(owned, message.files[i].file_name);
        }
        MapiMessage record{};
        if (message.subject)
            record.lpszSubject = text(owned, *message.subject);
        if (message.note_text)
            record.lpszNoteText = text(owned, *message.note_text);
        record.nRecipCount = ULONG(recipients.size());
        record.lpRecips = recipients.empty() ? nullptr : recipients.data();
        record.nFileCount = ULONG(files.size());
        record.lpFiles = files.empty() ? nullptr : files.data();
        const HWND window = window_of(owner);
        const ULONG result = mapi_.send(session_, window, record);
        mapi_.logoff(session_, window);
        session_ = 0;
        return int(result);
    }

private:
    SimpleMapi mapi_;
    LHANDLE session_ = 0;
};

} // namespace

ClipboardService& real_clipboard_service() {
    static Win32Clipboard real;
    return real;
}

DesktopService& real_desktop_service() {
    static ShellDesktop real;
    return real;
}

MailService& real_mail_service() {
    static MapiMail real;
    return real;
}
