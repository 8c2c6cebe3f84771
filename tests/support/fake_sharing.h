#pragma once
// Clipboard, desktop and mail services answered by the test: what the commands handed over is
// recorded; the answers are set beforehand.

#include "platform/core/error.h"
#include "platform/sharing.h"

#include <QStringList>
#include <functional>
#include <vector>

class FakeClipboard : public ClipboardService {
public:
    std::vector<QImage> images;
    bool refuse = false; // another program holds the clipboard

    void put_image(const QImage& picture, const QByteArray&) override {
        if (refuse)
            throw KapError(QStringLiteral("Impossible d'ouvrir le Presse-papiers"));
        images.push_back(picture.copy());
    }
};

class FakeDesktop : public DesktopService {
public:
    QStringList
        calls; // "default <path>", "choose <path>", "make-default <name>", "open <name> <path>"
    std::optional<ProgramChoice> answer; // what the chooser answers; nullopt: cancelled
    std::function<void()> on_open;       // runs when a program is asked to open the file
    bool starts = true;                  // whether the program asked for starts

    bool open_with_default(const QString& path) override {
        calls.append(QStringLiteral("default ") + path);
        if (on_open)
            on_open();
        return starts;
    }
    std::optional<ProgramChoice> choose_program(QWidget*, const QString& path) override {
        calls.append(QStringLiteral("choose ") + path);
        return answer;
    }
    void make_default(const ProgramChoice& choice) override {
        calls.append(QStringLiteral("make-default ") + choice.name);
    }
    bool open_with(const ProgramChoice& choice, const QString& path) override {
        calls.append(QStringLiteral("open ") + choice.name + QLatin1Char(' ') + path);
        if (on_open)
            on_open();
        return starts;
    }
};

class FakeMail : public MailService {
public:
    bool reachable = true;         // log_on()'s answer
    std::optional<int> result = 0; // send()'s answer
    std::vector<MailMessage> sent;
    int failures_reported = 0;
    std::function<void()> during_send; // runs inside send()

    bool log_on() override { return reachable; }
    std::optional<int> send(QWidget*, const MailMessage& message) override {
        sent.push_back(message);
        if (during_send)
            during_send();
        return result;
    }
    void report_failure(QWidget*) override { ++failures_reported; }
};

// Installs the fakes for the life of the object.
struct SharingFakes {
    FakeClipboard clipboard;
    FakeDesktop desktop;
    FakeMail mail;
    SharingFakes() {
        set_clipboard_service(&clipboard);
        set_desktop_service(&desktop);
        set_mail_service(&mail);
    }
    ~SharingFakes() {
        set_clipboard_service(nullptr);
        set_desktop_service(nullptr);
        set_mail_service(nullptr);
    }
    SharingFakes(const SharingFakes&) = delete;
    SharingFakes& operator=(const SharingFakes&) = delete;
};
