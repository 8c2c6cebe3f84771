#pragma once
// Saving the working picture: through the file-save dialog, or automatically under numbered
// names in a chosen folder. The command reads its settings from the configuration window at the
// moment it runs; this class holds the logic and what lasts between runs.

#include "edit/settings_snapshot.h"

#include <QImage>
#include <QString>
#include <functional>

class SaveCommand {
public:
    // `set_status`: writes the status panel that reports saves.
    explicit SaveCommand(std::function<void(const QString&)> set_status);

    // Saves `picture` (24-bit) as the settings say. Errors of the writers propagate.
    void run(const QImage& picture, const SaveSettings& settings);

    // The automatic name for number n: folder, "/", base name, "_", n with at least three
    // digits, and the format's extension.
    static QString automatic_name(const SaveSettings& settings, int number);

    static const QStringList& dialog_filters();

    // The name confirmed the last time the dialog was used (proposed the next time).
    const QString& last_dialog_name() const { return last_dialog_name_; }

    // The automatic-save name is being typed: the next automatic save is number 1 again.
    void restart_numbering() { auto_save_counter = 0; }

    // The number of the last automatic save; the next one is this plus one.
    int auto_save_counter = 0;

private:
    void save_automatically(const QImage& picture, const SaveSettings& settings);
    void save_with_dialog(const QImage& picture, const SaveSettings& settings);

    std::function<void(const QString&)> set_status_;
    QString last_dialog_name_;
};

// Line break inside messages and status texts: line feed, then carriage return.
inline const QString kap_line_break = QStringLiteral("\n\r");
