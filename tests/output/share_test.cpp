// The sharing commands against fake clipboard, desktop and mail services and a fake main window;
// the attachments read back with independent decoders.
#include "app/Unit1.h"
#include "app/Unit5.h"
#include "codec/bmp.h"
#include "edit/working_files.h"
#include "output/share_commands.h"
#include "platform/core/temp_dir.h"
#include "tests/codec/codec_test_util.h"
#include "tests/support/capture_fixture.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/fake_main_window.h"
#include "tests/support/fake_sharing.h"
#include "tests/support/files.h"
#include "tests/support/test_pictures.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

class ShareTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    QByteArray old_tmpdir;
    FakeDialogs dialogs_;
    SharingFakes services;
    FakeMainWindow window;
    ShareCommands share{window, window, window};

    void SetUp() override {
        old_tmpdir = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        set_dialogs(&dialogs_);
        window.picture_ = position_pattern(QSize(37, 21));
    }
    void TearDown() override {
        set_dialogs(nullptr);
        if (old_tmpdir.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", old_tmpdir);
    }
    void use_format(std::optional<ImageFormat> format, int quality = 100) {
        window.snapshot.save.format = format;
        window.snapshot.save.jpeg_quality = quality;
    }
    QStringList attachments_sent() const {
        QStringList paths;
        for (const MailMessage& message : services.mail.sent)
            for (const MailFile& file : message.files)
                paths.append(file.path_name);
        return paths;
    }
};

// --- Mail description ------------------------------------------------------------------------

TEST(MailDescriptionTest, NamesMatchWithoutRegardToCaseAndTheFirstLineWins) {
    const QStringList description{"noequals", "SUBJECT=Hello = world", "subject=second",
                                  "Body=", "To=a@b.org"};
    EXPECT_EQ(mail_value(description, "subject"), QString("Hello = world"));
    EXPECT_EQ(mail_value(description, "body"), QString(""));
    EXPECT_EQ(mail_value(description, "TO"), QString("a@b.org"));
    EXPECT_FALSE(mail_value(description, "noequals"));
    EXPECT_FALSE(mail_value(description, "attachment0"));
}

TEST(MailDescriptionTest, MessageTakesRecipientAttachmentsUpToTheGapSubjectAndBody) {
    const MailMessage message =
        build_mail_message({"ATTACHMENT0=/tmp/a b/kaptorama.png", "attachment2=/tmp/other.jpg",
                            "to=jo@example.org", "subject=Capture", "body=Voici"});
    ASSERT_EQ(message.recipients.size(), 1u);
    EXPECT_EQ(message.recipients[0].recipient_class, 1);
    EXPECT_EQ(message.recipients[0].name, "jo@example.org");
    EXPECT_EQ(message.recipients[0].address, "SMTP:jo@example.org");
    ASSERT_EQ(message.files.size(), 1u); // attachment1 is missing: the list ends there
    EXPECT_EQ(message.files[0].path_name, "/tmp/a b/kaptorama.png");
    EXPECT_EQ(message.files[0].file_name, "kaptorama.png");
    EXPECT_EQ(message.files[0].position, -1);
    EXPECT_EQ(message.subject, QString("Capture"));
    EXPECT_EQ(message.note_text, QString("Voici"));

    const MailMessage bare =
        build_mail_message({"attachment0=/x/1", "attachment1=", "attachment2=/x/3"});
    EXPECT_TRUE(bare.recipients.empty());
    EXPECT_EQ(bare.files.size(), 1u); // an empty number ends the list too
    EXPECT_FALSE(bare.subject);
    EXPECT_FALSE(bare.note_text);
}

TEST(MailDescriptionTest, XdgEmailGetsEveryValueAsOneArgument) {
    MailMessage message;
    message.files.push_back({-1, "/tmp/a b/$HOME \"q\"/-x.png", "-x.png"});
    message.files.push_back({-1, "/tmp/two.jpg", "two.jpg"});
    message.subject = "--body";
    message.note_text = "l1\nl2 $(id)";
    message.recipients.push_back({1, "-jo@x.org", "SMTP:-jo@x.org"});
    EXPECT_EQ(xdg_email_arguments(message),
              QStringList({"--utf8", "--attach", "/tmp/a b/$HOME \"q\"/-x.png", "--attach",
                           "/tmp/two.jpg", "--subject", "--body", "--body", "l1\nl2 $(id)",
                           "mailto:-jo@x.org"}));
}

// --- send_mail ---------------------------------------------------------------------------------

TEST_F(ShareTest, SendMailDisablesTheWindowsOnlyWhileTheMessageIsHandedOver) {
    bool enabled_during = true;
    services.mail.during_send = [&] { enabled_during = window.enabled; };
    services.mail.result = 7;
    EXPECT_EQ(send_mail(window, nullptr, {"attachment0=/tmp/x.png"}), 7);
    EXPECT_FALSE(enabled_during);
    EXPECT_EQ(window.window_events, QStringList({"disable", "enable"}));
    EXPECT_EQ(services.mail.failures_reported, 0);
}

TEST_F(ShareTest, SendMailReportsAnUnreachableMailProgramAndReturnsZero) {
    services.mail.reachable = false;
    EXPECT_EQ(send_mail(window, nullptr, {"attachment0=/tmp/x.png"}), 0);
    EXPECT_TRUE(services.mail.sent.empty());
    EXPECT_EQ(services.mail.failures_reported, 1);

    services.mail.reachable = true;
    services.mail.result = std::nullopt; // the tool ran and failed
    EXPECT_EQ(send_mail(window, nullptr, {"attachment0=/tmp/x.png"}), 0);
    EXPECT_EQ(services.mail.failures_reported, 2);
    EXPECT_TRUE(window.enabled);
}

TEST_F(ShareTest, SendMailEnablesTheWindowsAgainWhenTheHandOverFails) {
    services.mail.during_send = [] { throw KapError("boom"); };
    EXPECT_THROW(send_mail(window, nullptr, {"attachment0=/tmp/x.png"}), KapError);
    EXPECT_TRUE(window.enabled);
}

// --- E-mail command ----------------------------------------------------------------------------

TEST_F(ShareTest, MailAttachesThePictureInEachFormatUnderItsOwnName) {
    const QImage picture = window.picture_;
    use_format(ImageFormat::Png);
    share.mail();
    use_format(ImageFormat::Jpeg, 90);
    share.mail();
    use_format(ImageFormat::Bmp);
    share.mail();
    ASSERT_EQ(attachments_sent(), QStringList({png_attachment_file(), jpeg_attachment_file(),
                                               full_colour_copy_file()}));
    for (const MailMessage& message : services.mail.sent) {
        EXPECT_TRUE(message.recipients.empty());
        EXPECT_FALSE(message.subject);
        EXPECT_EQ(message.files[0].file_name, QFileInfo(message.files[0].path_name).fileName());
    }
    EXPECT_EQ(
        libpng_decode(file_bytes(png_attachment_file())).convertToFormat(QImage::Format_BGR888),
        picture);
    const QImage jpeg = djpeg_decode(file_bytes(jpeg_attachment_file()));
    ASSERT_EQ(jpeg.size(), picture.size());
    EXPECT_EQ(read_bmp(full_colour_copy_file()), picture);
    EXPECT_EQ(window.window_events,
              QStringList({"minimise", "disable", "enable", "restore", "minimise", "disable",
                           "enable", "restore", "minimise", "disable", "enable", "restore"}));
}

TEST_F(ShareTest, MailIn8BitsAttachesThePaletteAndLeavesThePictureInFullColour) {
    window.picture_ = random_bgr(50, 40, 7);
    const QImage before = window.picture_.copy();
    use_format(ImageFormat::Png8);
    QImage during;
    services.mail.during_send = [&] { during = window.picture_.copy(); };
    share.mail();
    EXPECT_EQ(during, before);
    EXPECT_EQ(window.picture_, before);
    const QByteArray png = file_bytes(png_attachment_file());
    ASSERT_GE(png.size(), 26);
    EXPECT_EQ(int(png[24]), 8); // bit depth
    EXPECT_EQ(int(png[25]), 3); // indexed colour
    EXPECT_EQ(libpng_decode(png).size(), before.size());
}

TEST_F(ShareTest, TwoMailsInARowAttachTheSameFileWithTheCurrentPicture) {
    use_format(ImageFormat::Bmp);
    share.mail();
    window.picture_ = position_pattern(QSize(5, 9));
    share.mail();
    ASSERT_EQ(attachments_sent().size(), 2);
    EXPECT_EQ(attachments_sent()[0], attachments_sent()[1]);
    EXPECT_EQ(read_bmp(full_colour_copy_file()), window.picture_);
}

TEST_F(ShareTest, MailWithoutFormatWritesNothingSendsNothingAndRestores) {
    use_format(std::nullopt);
    share.mail();
    EXPECT_TRUE(services.mail.sent.empty());
    EXPECT_EQ(services.mail.failures_reported, 0);
    EXPECT_TRUE(QDir(temp.path()).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(window.window_events, QStringList({"minimise", "restore"}));
}

TEST_F(ShareTest, MailRestoresTheWindowWhenTheMailProgramFailsOrTheFileCannotBeWritten) {
    use_format(ImageFormat::Png);
    services.mail.reachable = false;
    share.mail();
    EXPECT_EQ(services.mail.failures_reported, 1);
    EXPECT_FALSE(window.minimised);

    // A folder where the attachment should go: the writer's error, no mail call, restored.
    services.mail.reachable = true;
    QFile::remove(png_attachment_file());
    ASSERT_TRUE(QDir().mkdir(png_attachment_file()));
    EXPECT_THROW(share.mail(), KapError);
    EXPECT_TRUE(services.mail.sent.empty());
    EXPECT_FALSE(window.minimised);
}

// --- Every command with no picture -----------------------------------------------------------

TEST_F(ShareTest, WithoutPictureEachCommandOnlyTellsTheUser) {
    window.picture_ = QImage();
    share.copy_to_clipboard();
    share.open_in_external_program();
    share.choose_program(nullptr);
    share.mail();
    EXPECT_EQ(dialogs_.messages,
              QStringList({"Il n'y a pas de capture à coller dans le presse papier!",
                           "Il n'y a pas de capture à expédier", "Il n'y a pas de capture à editer",
                           "Il n'y a pas de capture à expédier"}));
    EXPECT_TRUE(services.clipboard.images.empty());
    EXPECT_TRUE(services.desktop.calls.isEmpty());
    EXPECT_TRUE(services.mail.sent.empty());
    EXPECT_TRUE(window.window_events.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(current_picture_file()));
}

// --- Clipboard -------------------------------------------------------------------------------

TEST_F(ShareTest, CopyPutsExactlyThePictureOnTheClipboard) {
    window.picture_ = position_pattern(QSize(1, 1));
    share.copy_to_clipboard();
    ASSERT_EQ(services.clipboard.images.size(), 1u);
    EXPECT_EQ(services.clipboard.images[0], window.picture_);
    EXPECT_TRUE(dialogs_.messages.isEmpty());
    EXPECT_TRUE(window.window_events.isEmpty());

    services.clipboard.refuse = true;
    try {
        share.copy_to_clipboard();
        FAIL() << "no error";
    } catch (const KapError& error) {
        EXPECT_EQ(error.message(), "Impossible d'ouvrir le Presse-papiers");
    }
}

// --- External program and its chooser ------------------------------------------------------

TEST_F(ShareTest, OpeningRewritesTheCurrentPictureFileThenMinimisesAndOpensIt) {
    QImage written;
    services.desktop.on_open = [&] { written = read_bmp(current_picture_file()); };
    share.open_in_external_program();
    EXPECT_EQ(written, window.picture_);
    window.picture_.setPixel(3, 3, 0x123456); // an annotation between two openings
    share.open_in_external_program();
    EXPECT_EQ(written, window.picture_);
    EXPECT_EQ(services.desktop.calls, QStringList({"default " + current_picture_file(),
                                                   "default " + current_picture_file()}));
    EXPECT_EQ(window.window_events, QStringList({"minimise", "minimise"})); // never restored

    // What another program writes into the file never comes back into the picture.
    const QImage picture = window.picture_.copy();
    write_bmp(position_pattern(QSize(3, 3)), current_picture_file());
    EXPECT_EQ(window.picture_, picture);
}

TEST_F(ShareTest, WhenNoProgramStartsTheWindowComesBackAndSaysSo) {
    services.desktop.starts = false;
    share.open_in_external_program();
    EXPECT_EQ(window.window_events, QStringList({"minimise", "restore"}));
    EXPECT_EQ(dialogs_.messages, QStringList({kNoProgramText}));

    window.window_events.clear();
    dialogs_.messages.clear();
    services.desktop.answer = ProgramChoice{"gone.desktop", {}, "Parti", false};
    share.choose_program(nullptr);
    EXPECT_EQ(window.window_events, QStringList({"minimise", "restore"}));
    EXPECT_EQ(dialogs_.messages, QStringList({kNoProgramText}));
}

TEST_F(ShareTest, OpeningStopsBeforeMinimisingWhenTheFileCannotBeWritten) {
    ASSERT_TRUE(QDir().mkdir(current_picture_file()));
    EXPECT_THROW(share.open_in_external_program(), KapError);
    EXPECT_THROW(share.choose_program(nullptr), KapError);
    EXPECT_TRUE(services.desktop.calls.isEmpty());
    EXPECT_TRUE(window.window_events.isEmpty());
}

TEST_F(ShareTest, ChoosingAProgramMinimisesOnlyOnceAProgramIsChosen) {
    share.choose_program(nullptr); // cancelled
    EXPECT_EQ(services.desktop.calls, QStringList({"choose " + current_picture_file()}));
    EXPECT_TRUE(window.window_events.isEmpty());
    EXPECT_EQ(read_bmp(current_picture_file()), window.picture_);

    services.desktop.calls.clear();
    services.desktop.answer = ProgramChoice{"viewer.desktop", {}, "Viewer", true};
    bool minimised_at_open = false;
    services.desktop.on_open = [&] { minimised_at_open = window.minimised; };
    share.choose_program(nullptr);
    EXPECT_EQ(services.desktop.calls,
              QStringList({"choose " + current_picture_file(), "make-default Viewer",
                           "open Viewer " + current_picture_file()}));
    EXPECT_TRUE(minimised_at_open);

    services.desktop.calls.clear();
    services.desktop.answer->make_default = false;
    share.choose_program(nullptr);
    EXPECT_FALSE(services.desktop.calls.contains("make-default Viewer"));
}

} // namespace

// --- The windows' buttons ----------------------------------------------------------------------

class ShareButtonsTest : public CaptureTest {
protected:
    SharingFakes services;
};

TEST_F(ShareButtonsTest, TheButtonsRunTheSharingCommandsOnTheWorkingPicture) {
    Form1->Image1->set_picture(position_pattern(QSize(30, 20)));
    Form5->set_format_selected(Form5->Format_bmp, true);
    Form1->copy_clipboard->click();
    ASSERT_EQ(services.clipboard.images.size(), 1u);
    EXPECT_EQ(services.clipboard.images[0], Form1->picture());

    Form1->appli_extern->click();
    EXPECT_EQ(services.desktop.calls, QStringList({"default " + current_picture_file()}));
    EXPECT_EQ(read_bmp(current_picture_file()), Form1->picture());

    services.desktop.calls.clear();
    Form5->PngSpeedButton1->click();
    EXPECT_EQ(services.desktop.calls, QStringList({"choose " + current_picture_file()}));

    Form1->mail->click();
    ASSERT_EQ(services.mail.sent.size(), 1u);
    EXPECT_EQ(services.mail.sent[0].files[0].path_name, full_colour_copy_file());
    EXPECT_FALSE(Form1->isMinimized());
    EXPECT_TRUE(Form1->isEnabled());
}
