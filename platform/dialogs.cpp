#include "platform/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>

namespace {

class QtDialogs final : public Dialogs {
public:
    void message(QWidget* parent, const QString& text) override {
        box(parent, QMessageBox::NoIcon, text);
    }
    void error(QWidget* parent, const QString& text) override {
        box(parent, QMessageBox::Critical, text);
    }

    std::optional<QString> choose_folder(QWidget* parent, const QString& title,
                                         const QString& preselected) override {
        QString dir = QFileDialog::getExistingDirectory(parent, title, preselected,
                                                        QFileDialog::ShowDirsOnly);
        if (dir.isEmpty())
            return std::nullopt;
        return dir;
    }

    std::optional<SaveFileAnswer> save_file(QWidget* parent,
                                            const SaveFileRequest& request) override {
        QFileDialog dialog(parent, request.title);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters(request.filters);
        if (request.filter_index >= 1 && request.filter_index <= request.filters.size())
            dialog.selectNameFilter(request.filters.at(request.filter_index - 1));
        dialog.setDefaultSuffix(request.default_suffix);
        if (!request.file_name.isEmpty())
            dialog.selectFile(request.file_name);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        SaveFileAnswer answer;
        answer.path = dialog.selectedFiles().first();
        answer.filter_index = int(request.filters.indexOf(dialog.selectedNameFilter())) + 1;
        if (answer.filter_index < 1)
            answer.filter_index = 1;
        return answer;
    }

    std::optional<QFont> choose_font(QWidget* parent, const QFont& initial) override {
        bool ok = false;
        QFont font = QFontDialog::getFont(&ok, initial, parent);
        if (!ok)
            return std::nullopt;
        return font;
    }

private:
    static void box(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
        QMessageBox box(icon, QStringLiteral("Kaptorama"), text, QMessageBox::Ok, parent);
        box.exec();
    }
};

QtDialogs& real_dialogs() {
    static QtDialogs instance;
    return instance;
}

Dialogs* installed = nullptr;

QWidget* active_parent() {
    return QApplication::activeWindow();
}

} // namespace

Dialogs& dialogs() {
    return installed ? *installed : real_dialogs();
}

void set_dialogs(Dialogs* replacement) {
    installed = replacement;
}

QString error_box_text(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void show_message(const QString& text) {
    dialogs().message(active_parent(), text);
}

void show_error(const QString& message) {
    dialogs().error(active_parent(), error_box_text(message));
}
