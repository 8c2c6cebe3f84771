#include "platform/dialogs.h"

#include "platform/qt_translations.h"
#include "platform/window_placement.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QPointer<QWidget>& main_window() {
    static QPointer<QWidget> window;
    return window;
}

} // namespace

// A dialog shows above the program's stay-on-top windows: it is on top itself while its parent
// is, and the window manager keeps it above its parent (it is transient for it). It has a title
// and a close box, and no minimise or maximise button: a modal dialog sent to the task bar
// would leave the program blocked behind nothing to see.
void stack_over(QWidget* dialog, QWidget* parent) {
    // Qt's texts in the dialog: the change of language reaches it before it is first painted.
    load_qt_translations();
    Qt::WindowFlags flags = dialog->windowFlags();
    flags &= ~(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    flags |= Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (parent && parent->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        flags |= Qt::WindowStaysOnTopHint;
    dialog->setWindowFlags(flags);
}

namespace {

// Qt's file dialogs name a folder's type in English whatever the translation loaded.
class FrenchFileTypes final : public QFileIconProvider {
public:
    QString type(const QFileInfo& info) const override {
        if (info.isDir())
            return QStringLiteral("Dossier");
        return QFileIconProvider::type(info);
    }
};

// Where a file or folder dialog opens when the user has chosen nothing yet: the user's pictures
// folder, else the home folder.
QString first_folder() {
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

// Qt's own file dialog (where no native one is used): in French, in detail, its columns wide
// enough for their French titles.
void prepare_file_dialog(QFileDialog& dialog) {
    static FrenchFileTypes types;
    dialog.setIconProvider(&types);
    dialog.setViewMode(QFileDialog::Detail);
    // The places at the left show a user's folder name whole.
    if (auto* places = dialog.findChild<QWidget*>(QStringLiteral("sidebar")))
        places->setMinimumWidth(140);
    dialog.resize(dialog.sizeHint().expandedTo(QSize(760, 440)));
    if (auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = view->header();
        header->setMinimumSectionSize(60);
        for (int column = 1; column < header->count(); ++column)
            header->resizeSection(
                column, std::max(header->sectionSizeHint(column), header->sectionSize(column)));
    }
}

QColor colour_of(unsigned bbggrr) {
    return QColor(int(bbggrr & 0xFF), int((bbggrr >> 8) & 0xFF), int((bbggrr >> 16) & 0xFF));
}

unsigned value_of(const QColor& colour) {
    return unsigned(colour.red()) | unsigned(colour.green()) << 8 | unsigned(colour.blue()) << 16;
}

// The text style dialog: Qt's font chooser (face, style, size, underline and strike-out) with a
// colour button beside it, in one window, confirmed or cancelled as a whole.
class FontColourDialog : public QDialog {
public:
    FontColourDialog(const FontChoice& initial, QWidget* parent)
        : QDialog(parent), colour_(initial.colour) {
        setWindowTitle(QStringLiteral("Police"));
        fonts_ = new QFontDialog(this);
        fonts_->setWindowFlags(Qt::Widget);
        fonts_->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
        fonts_->setCurrentFont(initial.font);

        auto* colour_button = new QPushButton(QStringLiteral("&Couleur..."), this);
        swatch_ = new QLabel(this);
        swatch_->setFixedSize(40, 20);
        swatch_->setFrameStyle(QFrame::Box | QFrame::Plain);
        swatch_->setAutoFillBackground(true);
        show_colour();
        connect(colour_button, &QPushButton::clicked, this, [this] {
            const QColor chosen =
                QColorDialog::getColor(colour_of(colour_), this, QStringLiteral("Couleur"));
            if (chosen.isValid()) {
                colour_ = value_of(chosen);
                show_colour();
            }
        });

        auto* buttons = new QDialogButtonBox(this);
        buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
        buttons->addButton(QStringLiteral("Annuler"), QDialogButtonBox::RejectRole);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

        auto* colour_row = new QHBoxLayout;
        colour_row->addWidget(colour_button);
        colour_row->addWidget(swatch_);
        colour_row->addStretch();
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(fonts_);
        layout->addLayout(colour_row);
        layout->addWidget(buttons);
    }

    FontChoice choice() const { return {fonts_->currentFont(), colour_}; }

private:
    void show_colour() {
        QPalette palette = swatch_->palette();
        palette.setColor(QPalette::Window, colour_of(colour_));
        swatch_->setPalette(palette);
    }

    QFontDialog* fonts_;
    QLabel* swatch_;
    unsigned colour_;
};

// After a modal dialog the keyboard goes back to the window that asked.
void give_back_focus(QWidget* parent) {
    if (parent && parent->isVisible()) {
        parent->raise();
        parent->activateWindow();
    }
}

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
        // Qt's own dialog speaks the program's language. It opens at the top of the folder tree,
        // or in the folder that holds the one chosen last, with that one selected.
        QFileDialog dialog(parent, title);
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        prepare_file_dialog(dialog);
        const QFileInfo last(preselected);
        if (!preselected.isEmpty() && last.isDir()) {
            dialog.setDirectory(last.absolutePath());
            dialog.selectFile(last.fileName().isEmpty() ? last.absoluteFilePath()
                                                        : last.fileName());
        } else {
            dialog.setDirectory(first_folder());
        }
        stack_over(&dialog, parent);
        const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
        give_back_focus(parent);
        if (!chosen)
            return std::nullopt;
        return dialog.selectedFiles().first();
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
        prepare_file_dialog(dialog);
        // The folder of the last picture saved, with its name proposed; else the pictures folder.
        const QFileInfo last(request.file_name);
        if (!request.file_name.isEmpty() && last.absoluteDir().exists()) {
            dialog.setDirectory(last.absolutePath());
            dialog.selectFile(last.fileName());
        } else {
            dialog.setDirectory(first_folder());
            if (!request.file_name.isEmpty())
                dialog.selectFile(last.fileName());
        }
        stack_over(&dialog, parent);
        const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
        give_back_focus(parent);
        if (!chosen)
            return std::nullopt;
        SaveFileAnswer answer;
        answer.path = dialog.selectedFiles().first();
        answer.filter_index = int(request.filters.indexOf(dialog.selectedNameFilter())) + 1;
        if (answer.filter_index < 1)
            answer.filter_index = 1;
        return answer;
    }

    std::optional<FontChoice> choose_font(QWidget* parent, const FontChoice& initial) override {
        FontColourDialog dialog(initial, parent);
        stack_over(&dialog, parent);
        const bool chosen = dialog.exec() == QDialog::Accepted;
        give_back_focus(parent);
        if (!chosen)
            return std::nullopt;
        return dialog.choice();
    }

private:
    // A small modal box titled "Kaptorama".
    static void box(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
        QMessageBox box(icon, QStringLiteral("Kaptorama"), text, QMessageBox::Ok, parent);
        show_box(box, parent);
    }
};

QtDialogs& real_dialogs() {
    static QtDialogs instance;
    return instance;
}

Dialogs* installed = nullptr;

} // namespace

Dialogs& dialogs() {
    return installed ? *installed : real_dialogs();
}

void set_dialogs(Dialogs* replacement) {
    installed = replacement;
}

void show_box(QMessageBox& box, QWidget* parent) {
    stack_over(&box, parent);
    box.adjustSize();
    const QMargins frame = parent ? window_frame(parent->window()) : QMargins();
    centre_window(&box, frame);
    box.exec();
    give_back_focus(parent);
}

QWidget* dialog_parent(QWidget* asker) {
    // A hidden window (the overlay after a failed selection) cannot hold a dialog above it.
    if (asker && asker->window()->isVisible())
        return asker->window();
    return main_window().data();
}

void set_main_window(QWidget* window) {
    main_window() = window;
}

QString error_box_text(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void show_message(const QString& text, QWidget* asker) {
    dialogs().message(dialog_parent(asker), text);
}

void show_error(const QString& message, QWidget* asker) {
    dialogs().error(dialog_parent(asker), error_box_text(message));
}
