#include "app/Unit5.h"

#include "app/spin_box.h"
#include "platform/application_windows.h"
#include "platform/dialogs.h"
#include "platform/stay_on_top.h"
#include "platform/window_placement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>

TForm5* Form5 = nullptr;

namespace {

QGroupBox* group(QWidget* parent, const QString& caption, int left, int top, int width,
                 int height) {
    auto* box = new QGroupBox(caption, parent);
    box->setGeometry(left, top, width, height);
    return box;
}

QLabel* label(QWidget* parent, const QString& text, int left, int top) {
    auto* l = new QLabel(text, parent);
    l->move(left, top);
    l->adjustSize();
    return l;
}

template <typename Button>
Button* button(QWidget* parent, const QString& caption, int left, int top) {
    auto* b = new Button(caption, parent);
    b->move(left, top);
    b->adjustSize();
    b->resize(b->width(), 17);
    return b;
}

KapSpinBox* spin(QWidget* parent, int left, int top, int width, int minimum, int maximum,
                 int value) {
    auto* s = new KapSpinBox(parent);
    s->setGeometry(left, top, width, 22);
    s->setRange(minimum, maximum);
    s->setValue(value);
    return s;
}

} // namespace

TForm5::TForm5(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form5"));
    // Group titles sit on the frame's top line, as the layout of the controls expects.
    setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: border; subcontrol-position: top left;"
        " left: 6px; top: -7px; padding: 0 2px; background: palette(window); }"));
    setWindowTitle(QStringLiteral("Configuration"));
    setFixedSize(333, 459);

    GroupBox1 = group(this, QStringLiteral("Choix du format "), 5, 3, 322, 89);
    format_png_256 = button<QRadioButton>(GroupBox1, QStringLiteral("png"), 8, 16);
    Format_png_8 = button<QRadioButton>(
        GroupBox1, QStringLiteral("png 8 bits (maximum 256 couleurs)"), 70, 17);
    Format_jpg = button<QRadioButton>(GroupBox1, QStringLiteral("jpg - Qualité : 100%"), 7, 39);
    Format_jpg->resize(138, 17);
    Format_bmp = button<QRadioButton>(GroupBox1,
                                      QStringLiteral("bmp (Taille du fichier importante!)"), 7, 61);
    format_png_256->setChecked(true);
    jpg_compression = new QSlider(Qt::Horizontal, GroupBox1);
    jpg_compression->setGeometry(147, 31, 153, 25);
    jpg_compression->setRange(1, 100);
    jpg_compression->setValue(100);
    jpg_compression->setSingleStep(2);
    jpg_compression->setPageStep(2);
    jpg_compression->setTickInterval(5);
    jpg_compression->setTickPosition(QSlider::TicksAbove);
    jpg_compression->setStyleSheet(QString()); // the style draws the 15-pixel thumb

    GroupBox3 = group(this, QStringLiteral("Epaisseur des traits  (Pixels) "), 5, 92, 322, 57);
    label(GroupBox3, QStringLiteral("Fléches et stylet : "), 8, 27);
    size_stylet = spin(GroupBox3, 97, 23, 41, 1, 10, 3);
    label(GroupBox3, QStringLiteral("Surligneur :"), 180, 27);
    size_surligneur = spin(GroupBox3, 248, 22, 41, 1, 100, 16);
    size_surligneur->setMaxLength(2);

    GroupBox4 = group(this, QStringLiteral("Edition de la capture  "), 5, 150, 322, 49);
    // In the program's font this caption is a few pixels wider than the room the "?" button
    // leaves it: its letters are set a little closer so that it ends before the button.
    QLabel* editing_caption =
        label(GroupBox4, QStringLiteral("Choix du programme d'édition : "), 8, 21);
    QFont tight = editing_caption->font();
    tight.setLetterSpacing(QFont::AbsoluteSpacing, -0.3);
    editing_caption->setFont(tight);
    editing_caption->adjustSize();
    PngSpeedButton1 = new QPushButton(QStringLiteral("?"), GroupBox4);
    PngSpeedButton1->setGeometry(155, 17, 22, 22);
    PngSpeedButton1->setFocusPolicy(Qt::NoFocus);

    GroupBox5 = group(this, QStringLiteral("Enregistrement automatique "), 5, 200, 322, 98);
    mode_rafale = button<QCheckBox>(GroupBox5, QStringLiteral("Validé"), 12, 20);
    comfirm_enregistr = button<QCheckBox>(
        GroupBox5, QStringLiteral("Pas de comfirmation d'enregistrement"), 99, 19);
    dossier_rafale = new QPushButton(QStringLiteral("Choix du dossier"), GroupBox5);
    dossier_rafale->setGeometry(11, 44, 89, 25);
    label(GroupBox5, QStringLiteral("Nom:"), 109, 50);
    nom_fich_rafale = new QLineEdit(GroupBox5);
    nom_fich_rafale->setGeometry(138, 46, 109, 21);
    label(GroupBox5, QStringLiteral("_001..._002"), 254, 51);
    label(GroupBox5, QStringLiteral("Répertoire d'enregistrement : "), 13, 76);
    rep_enregitr = new QLabel(GroupBox5);
    rep_enregitr->setGeometry(160, 76, 158, 14);
    rep_enregitr->setStyleSheet(QStringLiteral("color: blue;"));

    GroupBox2 = group(this, QStringLiteral("Mémoriser la dernière sélection"), 5, 298, 322, 64);
    memo_aera = button<QCheckBox>(
        GroupBox2, QStringLiteral("Mémoriser la dernière zone sélectionnée :"), 8, 16);
    memo_aera->setEnabled(false);
    Button2 = new QPushButton(QStringLiteral("RAZ"), GroupBox2);
    Button2->setGeometry(232, 24, 75, 25);
    const int caption_lefts[] = {17, 64, 112, 160};
    const int value_lefts[] = {34, 82, 130, 178};
    const char* captions[] = {"x1=", "x2=", "y3=", "y4="};
    QLabel** values[] = {&x1, &x2, &y1, &y2};
    for (int i = 0; i < 4; ++i) {
        label(GroupBox2, QString::fromUtf8(captions[i]), caption_lefts[i], 40);
        *values[i] = new QLabel(GroupBox2);
        (*values[i])->setGeometry(value_lefts[i], 40, 30, 14);
    }

    GroupBox6 = group(this, QStringLiteral(" Redimensionner  "), 5, 363, 322, 54);
    resize = button<QCheckBox>(GroupBox6, QStringLiteral("Redim. à la volée "), 17, 20);
    largeur_px = spin(GroupBox6, 160, 17, 47, 0, 10000, 400);
    label(GroupBox6, QStringLiteral("Pixels de large"), 212, 21);

    Button1 = new QPushButton(QStringLiteral("Ok"), this);
    Button1->setGeometry(250, 424, 75, 25);

    connect(jpg_compression, &QSlider::valueChanged, this, &TForm5::jpg_compressionChange);
    connect(Button1, &QPushButton::clicked, this, &TForm5::Button1Click);
    connect(dossier_rafale, &QPushButton::clicked, this, &TForm5::dossier_rafaleClick);
    connect(mode_rafale, &QCheckBox::clicked, this, &TForm5::mode_rafaleClick);
    connect(memo_aera, &QCheckBox::clicked, this, &TForm5::memo_aeraClick);
    connect(Button2, &QPushButton::clicked, this, &TForm5::Button2Click);
    connect(PngSpeedButton1, &QPushButton::clicked, this, &TForm5::PngSpeedButton1Click);
    connect(largeur_px, &KapSpinBox::exited, this, &TForm5::largeur_pxExit);
    nom_fich_rafale->installEventFilter(this);
    resize->installEventFilter(this);

    FormCreate();
}

bool TForm5::eventFilter(QObject* watched, QEvent* event) {
    if (watched == nom_fich_rafale && event->type() == QEvent::FocusIn)
        nom_fich_rafaleEnter();
    if (watched == resize && event->type() == QEvent::MouseButtonRelease) {
        // Runs after the check box has taken the click, as the handler of a released button.
        QMetaObject::invokeMethod(this, &TForm5::resizeMouseUp, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void TForm5::set_format_selected(QRadioButton* button, bool selected) {
    if (selected) {
        button->setChecked(true);
    } else if (button->isChecked()) {
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
}

void TForm5::show_non_modal() {
    if (!positioned_) {
        positioned_ = true;
        centre_window(this, window_frame(this));
    }
    show_in_front(this);
    activateWindow();
}

bool TForm5::close_window() {
    if (!isVisible())
        return true;
    if (!FormClose())
        return false;
    hide();
    return true;
}

void TForm5::closeEvent(QCloseEvent* event) {
    // The close box: the settings are stored first and the window may have to stay open.
    bool may_close = false;
    try {
        may_close = FormClose();
    } catch (...) {
        event->ignore();
        throw;
    }
    if (may_close)
        event->accept();
    else
        event->ignore();
}

void TForm5::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
}

void TForm5::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    FormHide();
}

void TForm5::FormShow() {
    secondary_window_visibility(this, true);
}

void TForm5::FormHide() {
    secondary_window_visibility(this, false);
}

void TForm5::jpg_compressionChange() {
    Format_jpg->setText(QStringLiteral("jpg - Qualité :%1 %").arg(jpg_compression->value()));
    Format_jpg->adjustSize();
}

void TForm5::Button1Click() {
    close_window();
}

void TForm5::dossier_rafaleClick() {
    if (!QFileInfo(auto_save_folder).isDir())
        auto_save_folder.clear();
    const std::optional<QString> chosen = dialogs().choose_folder(
        this, QStringLiteral("Choisissez le dossier de sauvegarde"), auto_save_folder);
    if (!chosen)
        return;
    auto_save_folder = QDir::toNativeSeparators(*chosen);
    rep_enregitr->setText(auto_save_folder);
}

void TForm5::mode_rafaleClick() {
    if (mode_rafale->isChecked()) {
        dossier_rafaleClick();
        nom_fich_rafale->setFocus(Qt::OtherFocusReason);
        if (!nom_fich_rafale->hasFocus())
            nom_fich_rafaleEnter(); // the window is not active: the focus moves when it is
        emit auto_save_note(QStringLiteral("Enr/Auto"));
    } else {
        emit auto_save_note(QString());
    }
}

void TForm5::nom_fich_rafaleEnter() {
    emit auto_save_name_entered();
}

void TForm5::resizeMouseUp() {
    emit resize_note(resize->isChecked() ? QStringLiteral(" Largeur =") + largeur_px->text_value() +
                                               QStringLiteral(" px")
                                         : QString(),
                     true);
}

void TForm5::largeur_pxExit() {
    largeur_px->setValue(largeur_px->value());
    emit resize_note(resize->isChecked() ? QStringLiteral("Largeur =") + largeur_px->text_value() +
                                               QStringLiteral(" px")
                                         : QString(),
                     false);
}

void TForm5::memo_aeraClick() {
    emit region_note(memo_aera->isChecked() ? QStringLiteral("Capture la même zone") : QString());
}

void TForm5::Button2Click() {
    x1->clear();
    x2->clear();
    y1->clear();
    y2->clear();
    memo_aera->setChecked(false);
    memo_aeraClick();
    memo_aera->setEnabled(false);
}

void TForm5::PngSpeedButton1Click() {
    emit program_choice_asked(this);
}

SettingsSnapshot TForm5::settings() const {
    SettingsSnapshot s;
    SaveSettings& save = s.save;
    if (format_png_256->isChecked())
        save.format = ImageFormat::Png;
    else if (Format_png_8->isChecked())
        save.format = ImageFormat::Png8;
    else if (Format_jpg->isChecked())
        save.format = ImageFormat::Jpeg;
    else if (Format_bmp->isChecked())
        save.format = ImageFormat::Bmp;
    else
        save.format = std::nullopt;
    save.jpeg_quality = jpg_compression->value();
    save.automatic = mode_rafale->isChecked();
    save.folder = auto_save_folder;
    save.base_name = nom_fich_rafale->text();
    save.no_confirmation = comfirm_enregistr->isChecked();

    s.size_stylet = size_stylet->value();
    s.size_surligneur = size_surligneur->value();
    s.largeur_px = largeur_px->value();
    s.resize_on_the_fly = resize->isChecked();
    s.use_remembered_region = memo_aera->isChecked();
    if (!x1->text().isEmpty())
        s.remembered_region = ScreenRect{x1->text().toInt(), y1->text().toInt(), x2->text().toInt(),
                                         y2->text().toInt()};
    return s;
}

void TForm5::remember_region(const ScreenRect& region) {
    x1->setText(QString::number(region.left));
    x2->setText(QString::number(region.right));
    y1->setText(QString::number(region.top));
    y2->setText(QString::number(region.bottom));
    memo_aera->setEnabled(true);
}
