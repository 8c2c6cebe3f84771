#pragma once
// Dialogs and message boxes answered by the test: the texts are recorded, the folder and file
// choosers give the answers queued beforehand (none queued: cancel).

#include "platform/dialogs.h"

#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

class FakeDialogs : public Dialogs {
public:
    QStringList messages;
    QStringList errors;
    QStringList folder_titles;
    QStringList folder_preselections;
    std::deque<std::optional<QString>> folder_answers;
    std::deque<std::optional<SaveFileAnswer>> save_answers;
    std::vector<SaveFileRequest> save_requests;
    std::vector<QWidget*> parents;         // the parent each dialog was given, in order
    std::vector<FontChoice> font_requests; // what the style dialog opened with
    std::deque<std::optional<FontChoice>> font_answers;

    void message(QWidget* parent, const QString& text) override {
        parents.push_back(parent);
        messages.append(text);
    }
    void error(QWidget* parent, const QString& text) override {
        parents.push_back(parent);
        errors.append(text);
    }
    std::optional<QString> choose_folder(QWidget* parent, const QString& title,
                                         const QString& preselected) override {
        parents.push_back(parent);
        folder_titles.append(title);
        folder_preselections.append(preselected);
        return next(folder_answers);
    }
    std::optional<SaveFileAnswer> save_file(QWidget* parent,
                                            const SaveFileRequest& request) override {
        parents.push_back(parent);
        save_requests.push_back(request);
        return next(save_answers);
    }
    std::optional<FontChoice> choose_font(QWidget* parent, const FontChoice& initial) override {
        parents.push_back(parent);
        font_requests.push_back(initial);
        return next(font_answers);
    }

private:
    template <class T> static std::optional<T> next(std::deque<std::optional<T>>& answers) {
        if (answers.empty())
            return std::nullopt;
        const bool given = answers.front().has_value();
        const T value = given ? *answers.front() : T{};
        answers.pop_front();
        return given ? std::optional<T>(value) : std::nullopt;
    }
};
