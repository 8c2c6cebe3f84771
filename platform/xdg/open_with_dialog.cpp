#include "platform/xdg/open_with_dialog.h"

#include "platform/dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QIcon icon_of(const DesktopApp& app) {
    if (app.icon.isEmpty())
        return QIcon::fromTheme(QStringLiteral("application-x-executable"));
    if (app.icon.startsWith(QLatin1Char('/')))
        return QIcon(app.icon);
    return QIcon::fromTheme(app.icon, QIcon::fromTheme(QStringLiteral("application-x-executable")));
}

} // namespace

OpenWithDialog::OpenWithDialog(QWidget* parent, const QString& path) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Ouvrir avec"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Choisissez le programme avec lequel ouvrir « %1 » :")
                                 .arg(QFileInfo(path).fileName()),
                             this);
    label->setWordWrap(true);
    layout->addWidget(label);

    list_ = new QListWidget(this);
    list_->setIconSize(QSize(24, 24));
    layout->addWidget(list_);
    for (const DesktopApp& app : apps_for_type(kBmpMimeType)) {
        apps_.push_back(app);
        QString text = app.name;
        if (app.is_default)
            text += QStringLiteral(" (programme par défaut)");
        list_->addItem(new QListWidgetItem(icon_of(app), text));
    }
    if (list_->count() > 0) {
        list_->setCurrentRow(0);
    } else {
        auto* none = new QLabel(QStringLiteral("Aucun programme n'est enregistré pour les images "
                                               "BMP : choisissez-en un avec « Autre "
                                               "programme... »."),
                                this);
        none->setWordWrap(true);
        layout->addWidget(none);
    }

    auto* browse_row = new QHBoxLayout;
    browse_ = new QPushButton(QStringLiteral("Autre programme..."), this);
    browse_row->addWidget(browse_);
    browse_row->addStretch();
    layout->addLayout(browse_row);

    default_box_ = new QCheckBox(
        QStringLiteral("Toujours utiliser ce programme pour ouvrir les images BMP"), this);
    layout->addWidget(default_box_);

    auto* buttons = new QDialogButtonBox(this);
    open_ = buttons->addButton(QStringLiteral("Ouvrir"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Annuler"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);

    connect(browse_, &QPushButton::clicked, this, &OpenWithDialog::browse);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::currentRowChanged, this, &OpenWithDialog::update_open_button);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    update_open_button();
    resize(420, 360);
}

void OpenWithDialog::add_program(const QString& program) {
    DesktopApp app;
    app.command = program;
    app.name = QFileInfo(program).fileName();
    apps_.push_back(app);
    list_->addItem(new QListWidgetItem(icon_of(app), app.name));
    list_->setCurrentRow(list_->count() - 1);
}

std::optional<DesktopApp> OpenWithDialog::chosen() const {
    const int row = list_->currentRow();
    if (row < 0 || row >= int(apps_.size()))
        return std::nullopt;
    return apps_[std::size_t(row)];
}

bool OpenWithDialog::make_default() const {
    return default_box_->isChecked();
}

void OpenWithDialog::browse() {
    const QString program = QFileDialog::getOpenFileName(
        this, QStringLiteral("Choisir un programme"), QStringLiteral("/usr/bin"));
    if (program.isEmpty())
        return;
    if (!QFileInfo(program).isExecutable()) {
        show_message(QStringLiteral("Ce fichier n'est pas un programme."), this);
        return;
    }
    add_program(program);
}

void OpenWithDialog::update_open_button() {
    open_->setEnabled(list_->currentRow() >= 0);
}
