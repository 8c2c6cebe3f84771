// The mail service on a private session bus with a fake desktop portal: the portal is used first
// and its answer decides; without it, xdg-email. Every value reaches the portal intact and the
// attachments arrive as open files.
#include "platform/sharing.h"
#include "platform/wayland/portal_email.h"
#include "tests/support/files.h"
#include "tests/support/private_bus.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

class Portal {
public:
    QProcess process;
    Portal(int code, const QString& record) {
        process.start(KAP_BINARY_DIR "/fake_email_portal", {QString::number(code), record});
        process.waitForStarted();
        // Ready once it answers on the bus.
        const QDeadlineTimer deadline(10000);
        while (!email_portal_available() && !deadline.hasExpired())
            QThread::msleep(20);
    }
    ~Portal() {
        process.kill();
        process.waitForFinished();
    }
};

TEST(MailPortalTest, ThePortalComesFirstAndItsAnswerDecides) {
    QTemporaryDir dir;
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    // No xdg-email at all: only the portal can be reached.
    const QByteArray old_path = qgetenv("PATH");
    qputenv("PATH", QDir(dir.path()).filePath("nothing").toLocal8Bit());
    const QString attachment = dir.path() + "/a b $x/-kaptorama.png";
    QDir().mkpath(dir.path() + "/a b $x");
    write_bytes(attachment, "png");

    MailMessage message;
    message.files.push_back({-1, attachment, "-kaptorama.png"});
    message.subject = "Sujet \"1\"";
    message.note_text = "ligne\nsuite";
    message.recipients.push_back({1, "jo@example.org", "SMTP:jo@example.org"});

    EXPECT_FALSE(mail_service().log_on()); // neither portal nor tool yet
    {
        const QString record = dir.path() + "/ok";
        Portal portal(0, record);
        ASSERT_TRUE(mail_service().log_on());
        EXPECT_EQ(mail_service().send(nullptr, message), 0);
        EXPECT_EQ(QString::fromUtf8(file_bytes(record)),
                  "parent=\naddress=jo@example.org\nsubject=Sujet \"1\"\nbody=ligne\nsuite\n"
                  "attachment=" +
                      attachment + "\n");
    }
    {
        Portal portal(1, dir.path() + "/cancel"); // the user cancelled: not a failure
        EXPECT_EQ(mail_service().send(nullptr, message), 1);
    }
    {
        Portal portal(2, dir.path() + "/fail"); // no mail program behind the portal
        EXPECT_EQ(mail_service().send(nullptr, message), std::nullopt);
    }
    qputenv("PATH", old_path);
}

} // namespace
