#pragma once
// The open-with chooser: the applications the desktop registers for BMP pictures (name and
// icon, the current default first), a button to browse for any other program, and a check box
// that makes the choice the default for BMP pictures in the desktop's own associations.

#include "platform/xdg/gio_apps.h"

#include <QDialog>
#include <optional>

class QCheckBox;
class QListWidget;
class QPushButton;

class OpenWithDialog : public QDialog {
public:
    OpenWithDialog(QWidget* parent, const QString& path);

    // Adds a program file to the list and selects it (what the browse button does once a file
    // is chosen).
    void add_program(const QString& program);
    // The application selected, if any.
    std::optional<DesktopApp> chosen() const;
    bool make_default() const;

    QListWidget* list() const { return list_; }
    QCheckBox* default_box() const { return default_box_; }
    QPushButton* open_button() const { return open_; }
    QPushButton* browse_button() const { return browse_; }

private:
    void browse();
    void update_open_button();

    std::vector<DesktopApp> apps_;
    QListWidget* list_;
    QCheckBox* default_box_;
    QPushButton* browse_;
    QPushButton* open_;
};
