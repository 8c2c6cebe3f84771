#pragma once
// The program's five windows, created as at start-up, with dialogs answered by the test.

#include "app/Unit1.h"
#include "app/Unit5.h"
#include "app/ini_file.h"
#include "app/startup.h"
#include "platform/dialogs.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <deque>
#include <gtest/gtest.h>

class FakeDialogs : public Dialogs {
public:
    QStringList messages;
    QStringList errors;
    QStringList folder_titles;
    QStringList folder_preselections;
    std::deque<std::optional<QString>> folder_answers; // empty: cancel
    std::deque<std::optional<SaveFileAnswer>> save_answers;
    std::vector<SaveFileRequest> save_requests;

    void message(QWidget*, const QString& text) override { messages.append(text); }
    void error(QWidget*, const QString& text) override { errors.append(text); }
    std::optional<QString> choose_folder(QWidget*, const QString& title,
                                         const QString& preselected) override {
        folder_titles.append(title);
        folder_preselections.append(preselected);
        if (folder_answers.empty())
            return std::nullopt;
        const bool chosen = folder_answers.front().has_value();
        const QString folder = chosen ? *folder_answers.front() : QString();
        folder_answers.pop_front();
        return chosen ? std::optional<QString>(folder) : std::nullopt;
    }
    std::optional<SaveFileAnswer> save_file(QWidget*, const SaveFileRequest& request) override {
        save_requests.push_back(request);
        if (save_answers.empty())
            return std::nullopt;
        const bool chosen = save_answers.front().has_value();
        const SaveFileAnswer answer = chosen ? *save_answers.front() : SaveFileAnswer{};
        save_answers.pop_front();
        return chosen ? std::optional<SaveFileAnswer>(answer) : std::nullopt;
    }
    std::optional<QFont> choose_font(QWidget*, const QFont&) override { return std::nullopt; }
};

class AppTest : public ::testing::Test {
protected:
    FakeDialogs fake;

    static QString ini_path() { return settings_path(); }

    // Lets a test put a settings file in place before the windows are created.
    virtual void before_windows() {}

    void SetUp() override {
        QFile::remove(ini_path());
        set_dialogs(&fake);
        before_windows();
        create_windows();
    }
    void TearDown() override {
        destroy_windows();
        set_dialogs(nullptr);
        QFile::remove(ini_path());
    }

    static void write_ini(const QByteArray& content) {
        QFile file(ini_path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    static QByteArray read_ini() {
        QFile file(ini_path());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll();
    }
};
