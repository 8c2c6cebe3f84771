#include "app/Unit1.h"

#include "app/Unit5.h"
#include "app/main_window_commands.h"
#include "app/spin_box.h"
#include "app/status_bar.h"
#include "edit/Unit4.h"
#include "edit/picture_view.h"
#include "edit/raster.h"
#include "edit/text_label.h"
#include "edit/working_files.h"
#include "platform/core/error.h"
#include "platform/native_window.h"
#include "platform/screen.h"
#include "platform/window_placement.h"
#include "resize/Unit2.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <optional>

TForm1* Form1 = nullptr;

namespace {
// Distances of the picture area to the client edges as the window is designed: the area keeps
// them when the window grows or shrinks.
constexpr int kDesignClientWidth = 428;
constexpr int kDesignClientHeight = 380;
constexpr int kScrollLeft = 3, kScrollTop = 45, kScrollWidth = 421, kScrollHeight = 316;
constexpr int kScrollRightGap = kDesignClientWidth - kScrollLeft - kScrollWidth;
constexpr int kScrollBottomGap = kDesignClientHeight - kScrollTop - kScrollHeight;
constexpr int kMinOuterWidth = 442, kMinOuterHeight = 165;
constexpr int kDesignFrameWidth = 442 - kDesignClientWidth;
constexpr int kDesignFrameHeight = 423 - kDesignClientHeight;
} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("-=[Kaptorama 2 Beta 58]=-"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);

    build_picture_area();
    build_toolbar();
    StatusBar1 = new KapStatusBar(this);
    build_menu();

    resize(kDesignClientWidth, kDesignClientHeight);
    apply_size_constraints();
    FormCreate();
}

TForm1::~TForm1() {
    FormDestroy();
}

QToolButton* TForm1::make_tool_button(int left, const QString& hint, const QString& glyph,
                                      int glyph_size) {
    auto* button = new QToolButton(this);
    button->setGeometry(left, 0, 42, 42);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolTip(hint);
    button->setIcon(QIcon(QStringLiteral(":/glyphs/%1.png").arg(glyph)));
    button->setIconSize(QSize(glyph_size, glyph_size));
    return button;
}

void TForm1::build_toolbar() {
    Capture_bureau = make_tool_button(3, QStringLiteral("Capturer le bureau"),
                                      QStringLiteral("capture_bureau"), 32);
    Capture_fenetre = make_tool_button(45, QStringLiteral("Capturer une fenêtre active"),
                                       QStringLiteral("capture_fenetre"), 32);
    Capture_selection = make_tool_button(87, QStringLiteral("Capturer une zone à la souris"),
                                         QStringLiteral("capture_selection"), 32);
    Insere_curseur = make_tool_button(129, QStringLiteral("Insérer le curseur"),
                                      QStringLiteral("insere_curseur"), 32);
    Insere_curseur->setCheckable(true);
    // Down, the toggle must read as down at a glance: a flat button's own pressed look is faint.
    Insere_curseur->setStyleSheet(
        QStringLiteral("QToolButton:checked { background-color: #c5dcf2; border: 1px solid #3c78b4;"
                       " border-radius: 2px; }"));
    copy_clipboard =
        make_tool_button(171, QStringLiteral("Coller la capture dans le presse papier"),
                         QStringLiteral("copy_clipboard"), 32);
    appli_extern =
        make_tool_button(213, QStringLiteral("Ouvrir la capture avec une application externe"),
                         QStringLiteral("appli_extern"), 32);
    mail = make_tool_button(255, QStringLiteral("Envoyer la capture par email"),
                            QStringLiteral("mail"), 32);
    reload_ = make_tool_button(297, QStringLiteral("Réinitialiser la capture"),
                               QStringLiteral("reload"), 24);
    fenetre_reglages =
        make_tool_button(339, QStringLiteral("Réglages"), QStringLiteral("fenetre_reglages"), 32);
    save_ =
        make_tool_button(381, QStringLiteral("Enregistrer la capture"), QStringLiteral("save"), 32);

    connect(Capture_bureau, &QToolButton::clicked, this, &TForm1::Capture_bureauClick);
    connect(Capture_fenetre, &QToolButton::clicked, this, &TForm1::Capture_fenetreClick);
    connect(Capture_selection, &QToolButton::clicked, this, &TForm1::Capture_selectionClick);
    connect(Insere_curseur, &QToolButton::clicked, this, &TForm1::Insere_curseurClick);
    connect(copy_clipboard, &QToolButton::clicked, this, &TForm1::copy_clipboardClick);
    connect(appli_extern, &QToolButton::clicked, this, &TForm1::appli_externClick);
    connect(mail, &QToolButton::clicked, this, &TForm1::mailClick);
    connect(reload_, &QToolButton::clicked, this, &TForm1::reload_Click);
    connect(fenetre_reglages, &QToolButton::clicked, this, &TForm1::fenetre_reglagesClick);
    connect(save_, &QToolButton::clicked, this, &TForm1::save_Click);
}

void TForm1::build_picture_area() {
    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    // A one-pixel sunken frame: a picture fitted with its 10-pixel margin shows whole.
    ScrollBox1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ScrollBox1->setLineWidth(1);
    ScrollBox1->setBackgroundRole(QPalette::Mid);
    ScrollBox1->setAutoFillBackground(true);
    ScrollBox1->viewport()->setBackgroundRole(QPalette::Mid);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ScrollBox1->verticalScrollBar()->setSingleStep(8);

    Image1 = new PictureView;
    Image1->setObjectName(QStringLiteral("Image1"));
    ScrollBox1->setWidget(Image1);

    Shape1 = new QFrame(Image1);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setStyleSheet(
        QStringLiteral("QFrame { border: 1px dotted black; background: transparent; }"));
    Shape1->hide();

    // The label floats over the scroll area's visible part: it stays where the user put it
    // when the picture scrolls under it, and is not clipped by a picture smaller than the area.
    auto* label = new TextLabel(ScrollBox1->viewport());
    Texte = label;
    Texte->setObjectName(QStringLiteral("Texte"));
    Texte->setToolTip(QStringLiteral("Cliquer glisser pour dépalcer,double clic pour insérer'"));
    Texte->hide();
    connect(label, &TextLabel::mouse_down, this, &TForm1::TexteMouseDown);
    connect(label, &TextLabel::mouse_move, this, &TForm1::TexteMouseMove);
    connect(label, &TextLabel::mouse_up, this, &TForm1::TexteMouseUp);
    connect(label, &TextLabel::double_clicked, this, &TForm1::TexteDblClick);

    connect(Image1, &PictureView::mouse_down, this, &TForm1::Image1MouseDown);
    connect(Image1, &PictureView::mouse_move, this, &TForm1::Image1MouseMove);
    connect(Image1, &PictureView::mouse_up, this, &TForm1::Image1MouseUp);
}

void TForm1::build_delay_panel() {
    Panel_tempo = new QFrame(this);
    Panel_tempo->setObjectName(QStringLiteral("Panel_tempo"));
    Panel_tempo->setGeometry(129, 41, 41, 41);
    Panel_tempo->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel_tempo->setLineWidth(2);
    Panel_tempo->setAutoFillBackground(true);
    Panel_tempo->setToolTip(QStringLiteral("Délai  avant capture"));

    tempo = new KapSpinBox(Panel_tempo);
    tempo->setObjectName(QStringLiteral("tempo"));
    tempo->setGeometry(8, 10, 29, 22);
    tempo->setRange(0, 20);
    tempo->setMaxLength(2);
    tempo->setValue(0);
    tempo->setToolTip(QStringLiteral("Temporisation en seconde"));
    tempo->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    connect(tempo, &KapSpinBox::exited, this, &TForm1::tempoExit);

    Panel_tempo->hide();
    Panel_tempo->raise();
}

void TForm1::lay_out_client() {
    const int w = width(), h = height();
    ScrollBox1->setGeometry(kScrollLeft, kScrollTop, std::max(0, w - kScrollLeft - kScrollRightGap),
                            std::max(0, h - kScrollTop - kScrollBottomGap));
    StatusBar1->setGeometry(0, h - KapStatusBar::kBarHeight, w, KapStatusBar::kBarHeight);
    if (Panel_tempo)
        Panel_tempo->raise();
}

void TForm1::resizeEvent(QResizeEvent*) {
    lay_out_client();
}

void TForm1::FormCreate() {
    // Qt paints every widget double-buffered. The editing state starts with the commands.
    Jaune_m->setChecked(true);
    StatusBar1->set_panel_width(StatusPanel::ResizeWidth, 78);
    StatusBar1->set_panel_width(StatusPanel::SameRegion, 128);
    StatusBar1->set_panel_width(StatusPanel::AutoSave, 55);
}

void TForm1::FormClose() {
    // The highlighter tip is released with the tools; then the working files go.
    for (const QString& path : working_files_in_deletion_order()) {
        if (QFile::exists(path))
            QFile::remove(path); // a failure is ignored
    }
}

void TForm1::FormDestroy() {
    commands_.reset();
}

void TForm1::set_commands(std::unique_ptr<MainWindowCommands> commands) {
    commands_ = std::move(commands);
    if (Form4) {
        connect(Form4, &TForm4::ok_confirmed, this, &TForm1::Form4OKClick, Qt::UniqueConnection);
        connect(Form4, &TForm4::label_style_chosen, this, &TForm1::Form4Style_texteClick,
                Qt::UniqueConnection);
    }
    if (Form5) {
        connect(Form5, &TForm5::resize_note, this, &TForm1::Form5ResizeNote, Qt::UniqueConnection);
        connect(Form5, &TForm5::region_note, this, &TForm1::Form5RegionNote, Qt::UniqueConnection);
        connect(Form5, &TForm5::auto_save_note, this, &TForm1::Form5AutoSaveNote,
                Qt::UniqueConnection);
        connect(Form5, &TForm5::auto_save_name_entered, this, &TForm1::Form5NameEntered,
                Qt::UniqueConnection);
        connect(Form5, &TForm5::program_choice_asked, this, &TForm1::Form5ProgramChoice,
                Qt::UniqueConnection);
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
    // Closing the main window ends the program at once, whatever secondary window is still
    // shown: exit() leaves the event loop without asking the other windows to close, so the
    // configuration window neither stores nor validates anything (its changes are lost).
    QCoreApplication::exit(0);
}

// --- Window style and size -------------------------------------------------------------------

void TForm1::set_stay_on_top(bool on) {
    stay_on_top_ = on;
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    if (native_set_above(this, on)) {
        // Qt's own flag follows without reaching the native window, which keeps its X window.
        overrideWindowFlags(flags);
        return;
    }
    if (QWindow* window = windowHandle()) {
        // Changing the flags of the native window keeps it mapped; QWidget::setWindowFlags
        // would hide it.
        window->setFlags(window->flags().setFlag(Qt::WindowStaysOnTopHint, on));
        overrideWindowFlags(flags);
    } else {
        setWindowFlags(flags);
    }
}

QMargins TForm1::frame_margins() const {
    // The frame is known once the window manager has framed the window. A hidden window, and a
    // window just shown again that the window manager has not framed yet, keep the frame seen
    // last.
    if (QWindow* window = windowHandle(); window && isVisible()) {
        const QMargins margins = window->frameMargins();
        if (!margins.isNull())
            known_frame_ = margins;
    }
    return known_frame_;
}

void TForm1::set_outer_size(QSize size) {
    fit_outer_size(size);
    keep_inside_work_area();
}

void TForm1::fit_outer_size(QSize size) {
    apply_size_constraints();
    wanted_outer_ = within_work_area(size);
    resize(wanted_outer_.shrunkBy(frame_margins()));
}

namespace {
// The primary display's work area; nothing where the desktop cannot tell it.
std::optional<ScreenRect> known_work_area() {
    ScreenRect work;
    try {
        work = ::screen().work_area();
    } catch (const KapError&) {
        return std::nullopt;
    }
    if (work.empty())
        return std::nullopt;
    return work;
}
} // namespace

QSize TForm1::within_work_area(QSize outer) {
    // A window larger than the work area (a picture the size of the screen, plus the toolbar and
    // the status bar) would have its title bar, its borders and its close box out of reach: it
    // stops at the work area, and the picture area scrolls.
    // Where the desktop cannot tell its work area, the size is left as asked.
    const std::optional<ScreenRect> work = known_work_area();
    if (!work)
        return outer;
    return outer.boundedTo(
        QSize(static_cast<int>(work->width()), static_cast<int>(work->height())));
}

void TForm1::keep_inside_work_area() {
    // A window made larger where it stands (a region capture keeps the window's place) would
    // reach past the bottom or the right of the work area: it moves back in, keeping its size.
    // Before its first showing the window is still to be centred.
    const std::optional<ScreenRect> work = known_work_area();
    if (!centred_ || !work)
        return;
    const QMargins frame = frame_margins();
    const QPoint now = outer_top_left(this, frame);
    const QPoint inside(
        std::clamp(now.x(), work->left, std::max(work->left, work->right - wanted_outer_.width())),
        std::clamp(now.y(), work->top, std::max(work->top, work->bottom - wanted_outer_.height())));
    if (inside != now)
        place_window(inside);
}

QSize TForm1::outer_size() const {
    return size().grownBy(frame_margins());
}

void TForm1::set_client_size(QSize size) {
    apply_size_constraints();
    wanted_outer_ = within_work_area(size.grownBy(frame_margins()));
    resize(wanted_outer_.shrunkBy(frame_margins()));
    keep_inside_work_area();
}

void TForm1::show_window() {
    show_in_front(this);
    // Mapped again, the window takes the stay-on-top state Qt keeps for it; while a secondary
    // window shows, the main window stays below it.
    if (!stay_on_top_)
        native_set_above(this, false);
}

void TForm1::hide_window() {
    // The window comes back where it shows now; fitting it meanwhile starts from there.
    remember_outer_top_left(this, frame_margins());
    hide();
}

void TForm1::fit_to_work_area() {
    const ScreenRect work = ::screen().work_area();
    wanted_outer_ = QSize(static_cast<int>(work.width()), static_cast<int>(work.height()));
    resize(wanted_outer_.shrunkBy(frame_margins()));
    place_window(QPoint(work.left, work.top));
}

void TForm1::centre_on_display() {
    place_window(centred_top_left(::screen().primary_display(), size().grownBy(frame_margins())));
}

void TForm1::place_window(QPoint outer_top_left) {
    place_outer(this, outer_top_left, frame_margins());
}

void TForm1::apply_size_constraints() {
    // The smallest window is 442 x 165 with its frame, whatever frame the window manager draws:
    // Qt keeps the minimum on the client area, so it is the outer minimum less the frame known
    // now, the standard one (7 pixels on each side, 36 above with the title bar) until the
    // window manager has told it.
    const QMargins frame = frame_margins();
    const QSize frame_size =
        frame.isNull() ? QSize(kDesignFrameWidth, kDesignFrameHeight)
                       : QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    setMinimumSize(QSize(kMinOuterWidth, kMinOuterHeight) - frame_size);
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!centred_) {
        centred_ = true;
        // Where the window stands before it is centred does not matter: it is not first kept
        // inside the work area.
        fit_outer_size(wanted_outer_);
        place_window(centred_top_left(qt_primary_display(), wanted_outer_));
        // The window manager tells the frame's size only once the window is mapped: the outer
        // size and the minimum are set again when it is known.
        QTimer::singleShot(100, this, [this] {
            apply_size_constraints();
            set_outer_size(wanted_outer_);
        });
    }
    apply_size_constraints();
}

// --- What the commands need of the main window ----------------------------------------------

SettingsSnapshot TForm1::settings() const {
    return Form5->settings();
}

const QImage& TForm1::picture() const {
    return Image1->picture();
}

QImage& TForm1::picture_for_drawing() {
    return Image1->picture_for_drawing();
}

DrawingSurface& TForm1::surface() {
    return Image1->surface;
}

void TForm1::set_picture(QImage picture) {
    Image1->set_picture(std::move(picture));
}

void TForm1::assign_pixels(QImage pixels) {
    Image1->assign_pixels(std::move(pixels));
}

QSize TForm1::view_size() const {
    return Image1->size();
}

void TForm1::set_view_size(QSize size) {
    Image1->resize(size);
}

void TForm1::repaint_picture(QRect area) {
    if (area.isEmpty())
        Image1->picture_changed();
    else
        Image1->repaint(area);
}

void TForm1::repaint_picture_region(const QRegion& area) {
    if (!area.isEmpty())
        Image1->repaint(area);
}

void TForm1::set_status_text(StatusPanel panel, const QString& text) {
    StatusBar1->set_panel_text(panel, text);
}

void TForm1::show_delay_panel(bool shown) {
    Panel_tempo->setVisible(shown);
    if (shown)
        Panel_tempo->raise();
}

int TForm1::delay_seconds() const {
    return tempo->value();
}

void TForm1::set_delay_seconds(int seconds) {
    tempo->setValue(seconds);
}

void TForm1::clear_text_label() {
    Texte->clear();
}

QRect TForm1::text_label_geometry() const {
    return Texte->geometry();
}

void TForm1::move_text_label(QPoint top_left) {
    Texte->move(top_left);
    repaint();
}

void TForm1::show_text_label(const QString& caption, QPoint top_left) {
    Texte->move(top_left);
    Texte->show();
    Texte->raise();
    Texte->setText(caption);
    Texte->fit_to_text();
    Texte->setCursor(Qt::SizeAllCursor);
}

void TForm1::hide_text_label() {
    Texte->hide();
    Texte->setCursor(Qt::ArrowCursor);
}

QFont TForm1::text_label_font() const {
    return Texte->font();
}

unsigned TForm1::text_label_colour() const {
    return colour_value(Texte->palette().color(QPalette::WindowText));
}

void TForm1::set_text_label_style(const QFont& font, unsigned colour) {
    Texte->setFont(font);
    QPalette palette = Texte->palette();
    palette.setColor(QPalette::WindowText, qt_colour(colour));
    Texte->setPalette(palette);
    Texte->fit_to_text();
}

QString TForm1::text_label_caption() const {
    return Texte->text();
}

QPoint TForm1::text_label_origin() const {
    return Texte->pos() + Texte->text_origin();
}

QString TForm1::text_to_insert() const {
    return Form4 ? Form4->Edit1->text() : QString();
}

QRect TForm1::scroll_area_on_screen() const {
    const QWidget* area = ScrollBox1->viewport();
    return QRect(area->mapToGlobal(QPoint(0, 0)), area->size());
}

QPoint TForm1::scroll_offset() const {
    return QPoint(ScrollBox1->horizontalScrollBar()->value(),
                  ScrollBox1->verticalScrollBar()->value());
}

QPoint TForm1::client_from_screen(QPoint screen) const {
    return mapFromGlobal(screen);
}

ResampleProgress* TForm1::resize_progress() {
    return Form2;
}

void TForm1::reset_resize_progress() {
    Form2->ProgressBar1->setValue(0);
}

void TForm1::remember_region(const ScreenRect& region) {
    Form5->remember_region(region);
}

void TForm1::tempoExit() {
    if (tempo->text_value().isEmpty())
        tempo->setValue(0);
    else
        tempo->setValue(tempo->value());
}
