// The context menu: its items, radio groups and shortcuts, the way opening a submenu or pressing
// a shortcut runs the handlers of the items above, and the tool choice it makes.
#include "app/Unit1.h"

#include "app/main_window_commands.h"
#include "edit/Unit4.h"
#include "edit/picture_view.h"
#include "platform/tool_cursors.h"

#include <QAction>
#include <QActionGroup>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QShortcut>

QAction* TForm1::add_item(QMenu* menu, const QString& caption, QActionGroup* group, bool checked,
                          void (TForm1::*handler)()) {
    QAction* action = menu->addAction(caption);
    if (group) {
        action->setCheckable(true);
        action->setChecked(checked);
        group->addAction(action);
    }
    connect(action, &QAction::triggered, this, handler);
    return action;
}

QMenu* TForm1::add_submenu(const QString& caption, void (TForm1::*handler)()) {
    QMenu* submenu = PopupMenu1->addMenu(caption);
    submenu->installEventFilter(this);
    // Opening a submenu runs its item's handler: pointing at "Flèche" already picks the arrow.
    connect(submenu, &QMenu::aboutToShow, this, handler);
    return submenu;
}

void TForm1::add_shortcut(QAction* item, const QKeySequence& keys,
                          std::vector<void (TForm1::*)()> handlers) {
    MenuShortcut shortcut{item, keys, {}};
    for (auto handler : handlers)
        shortcut.handlers.push_back([this, handler] { (this->*handler)(); });
    shortcuts_.push_back(std::move(shortcut));
    auto* key = new QShortcut(keys, this);
    key->setContext(Qt::WindowShortcut);
    connect(key, &QShortcut::activated, this, [this, keys] { run_shortcut(keys); });
}

void TForm1::show_shortcut_keys() {
    // In the menu's shortcut column without binding them: the window dispatches shortcuts
    // itself so that the handlers of the items above run first. Key names are Qt's texts
    // ("Maj" in French), so they are written again when the language changes.
    for (const MenuShortcut& s : shortcuts_) {
        const QString caption = s.item->text().section(QLatin1Char('\t'), 0, 0);
        s.item->setText(caption + QLatin1Char('\t') + s.keys.toString(QKeySequence::NativeText));
    }
}

void TForm1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        show_shortcut_keys();
}

namespace {
// The property of a highlighter colour item that names its felt-tip cursor.
constexpr char kFeltTip[] = "felt_tip";
} // namespace

void TForm1::build_menu() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->installEventFilter(this);
    connect(PopupMenu1, &QMenu::aboutToShow, this, &TForm1::Surligneur1Click);

    highlighter_colours_ = new QActionGroup(this);
    arrow_colours_ = new QActionGroup(this);
    stylus_colours_ = new QActionGroup(this);
    rectangle_colours_ = new QActionGroup(this);

    Surligneur1 = add_submenu(QStringLiteral("Surligneur"), &TForm1::Surligneur1Click);
    Jaune_m = add_item(Surligneur1, QStringLiteral("Jaune"), highlighter_colours_, true,
                       &TForm1::Jaune_mClick);
    Vert1 = add_item(Surligneur1, QStringLiteral("Vert"), highlighter_colours_, false,
                     &TForm1::Vert1Click);
    Bleu_m = add_item(Surligneur1, QStringLiteral("Bleu"), highlighter_colours_, false,
                      &TForm1::Bleu_mClick);
    Rouge_m = add_item(Surligneur1, QStringLiteral("Fuchsia"), highlighter_colours_, false,
                       &TForm1::Rouge_mClick);

    Fleche_ = add_submenu(QStringLiteral("Flèche"), &TForm1::Fleche_Click);
    Rouge2 = add_item(Fleche_, QStringLiteral("Rouge"), arrow_colours_, true, &TForm1::Rouge2Click);
    Bleu2 = add_item(Fleche_, QStringLiteral("Bleue"), arrow_colours_, false, &TForm1::Bleu2Click);
    Jaune2 =
        add_item(Fleche_, QStringLiteral("Jaune"), arrow_colours_, false, &TForm1::Jaune2Click);
    Noir2 = add_item(Fleche_, QStringLiteral("Noire"), arrow_colours_, false, &TForm1::Noir2Click);

    Stylet1 = add_submenu(QStringLiteral("Stylet"), &TForm1::Stylet1Click);
    Rouge1 =
        add_item(Stylet1, QStringLiteral("Rouge"), stylus_colours_, true, &TForm1::Rouge1Click);
    Bleu1 = add_item(Stylet1, QStringLiteral("Bleu"), stylus_colours_, false, &TForm1::Bleu1Click);
    Jaune1 =
        add_item(Stylet1, QStringLiteral("Jaune"), stylus_colours_, false, &TForm1::Jaune1Click);
    Noir1 = add_item(Stylet1, QStringLiteral("Noir"), stylus_colours_, false, &TForm1::Noir1Click);

    Texte1 = add_item(PopupMenu1, QStringLiteral("Texte"), nullptr, false, &TForm1::Texte1Click);

    Rectangle1 = add_submenu(QStringLiteral("Rectangle"), &TForm1::Rectangle1Click);
    Rouge3 = add_item(Rectangle1, QStringLiteral("Rouge"), rectangle_colours_, true,
                      &TForm1::Rouge3Click);
    Vert2 = add_item(Rectangle1, QStringLiteral("Vert"), rectangle_colours_, false,
                     &TForm1::Vert2Click);
    Jaune3 = add_item(Rectangle1, QStringLiteral("Jaune"), rectangle_colours_, false,
                      &TForm1::Jaune3Click);
    Noir3 = add_item(Rectangle1, QStringLiteral("Noir"), rectangle_colours_, false,
                     &TForm1::Noir3Click);

    N3 = PopupMenu1->addSeparator();
    Redimen1 = add_item(PopupMenu1, QStringLiteral("Redimensionner"), nullptr, false,
                        &TForm1::Redimen1Click);
    Effetngatif1 = add_item(PopupMenu1, QStringLiteral("Effet négatif photo"), nullptr, false,
                            &TForm1::Effetngatif1Click);
    N1 = PopupMenu1->addSeparator();
    Dfaire1 =
        add_item(PopupMenu1, QStringLiteral("Défaire"), nullptr, false, &TForm1::Dfaire1Click);
    Rfaire1 =
        add_item(PopupMenu1, QStringLiteral("Refaire"), nullptr, false, &TForm1::Rfaire1Click);
    N2 = PopupMenu1->addSeparator();
    Reglages =
        add_item(PopupMenu1, QStringLiteral("Réglages"), nullptr, false, &TForm1::ReglagesClick);

    struct Colour {
        QAction* item;
        unsigned colour;
        const char* felt_tip;
    };
    const Colour colours[] = {
        {Jaune_m, 0x0000FFFF, "feutre_jaune"}, {Vert1, 0x0000FF00, "feutre_vert"},
        {Bleu_m, 0x00FFFF00, "feutre_bleu"},   {Rouge_m, 0x00FF00FF, "feutre_rouge"},
        {Rouge2, 0x000000FF, nullptr},         {Bleu2, 0x00FF0000, nullptr},
        {Jaune2, 0x0000FFFF, nullptr},         {Noir2, 0x00000000, nullptr},
        {Rouge1, 0x000000FF, nullptr},         {Bleu1, 0x00FF0000, nullptr},
        {Jaune1, 0x0000FFFF, nullptr},         {Noir1, 0x00000000, nullptr},
        {Rouge3, 0x000000FF, nullptr},         {Vert2, 0x0000FF00, nullptr},
        {Jaune3, 0x0000FFFF, nullptr},         {Noir3, 0x00000000, nullptr},
    };
    for (const Colour& c : colours) {
        c.item->setData(c.colour);
        if (c.felt_tip)
            c.item->setProperty(kFeltTip, QString::fromLatin1(c.felt_tip));
    }

    struct Binding {
        QAction* item;
        QKeySequence keys;
        std::vector<void (TForm1::*)()> handlers;
    };
    const Binding bindings[] = {
        {Jaune_m,
         QKeySequence(Qt::CTRL | Qt::Key_S),
         {&TForm1::Surligneur1Click, &TForm1::Jaune_mClick}},
        {Rouge2, QKeySequence(Qt::CTRL | Qt::Key_F), {&TForm1::Fleche_Click, &TForm1::Rouge2Click}},
        {Rouge1, QKeySequence(Qt::CTRL | Qt::Key_E), {&TForm1::Stylet1Click, &TForm1::Rouge1Click}},
        {Texte1, QKeySequence(Qt::CTRL | Qt::Key_T), {&TForm1::Texte1Click}},
        {Dfaire1, QKeySequence(Qt::CTRL | Qt::Key_Z), {&TForm1::Dfaire1Click}},
        {Rfaire1, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), {&TForm1::Rfaire1Click}},
        {Reglages, QKeySequence(Qt::CTRL | Qt::Key_R), {&TForm1::ReglagesClick}},
    };
    for (const Binding& b : bindings)
        add_shortcut(b.item, b.keys, b.handlers);
    show_shortcut_keys();
}

QList<QKeySequence> TForm1::shortcut_keys() const {
    QList<QKeySequence> keys;
    for (const MenuShortcut& s : shortcuts_)
        keys.append(s.keys);
    return keys;
}

bool TForm1::run_shortcut(const QKeySequence& sequence) {
    for (const MenuShortcut& s : shortcuts_) {
        if (s.keys == sequence) {
            for (const auto& handler : s.handlers)
                handler();
            return true;
        }
    }
    return false;
}

namespace {
QKeySequence sequence_of(const QKeyEvent* event) {
    const Qt::KeyboardModifiers mods =
        event->modifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    return QKeySequence(QKeyCombination(mods, Qt::Key(event->key())));
}
} // namespace

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    // Shortcuts work whether the menu is open or not: while it is open the menu has the
    // keyboard, so its key presses are looked at here; the menu closes before the handlers run.
    if (event->type() == QEvent::KeyPress && qobject_cast<QMenu*>(watched)) {
        const QKeySequence keys = sequence_of(static_cast<QKeyEvent*>(event));
        for (const MenuShortcut& s : shortcuts_) {
            if (s.keys == keys) {
                PopupMenu1->close();
                run_shortcut(keys);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::open_popup(const QPoint& global_pos) {
    PopupMenu1->popup(global_pos);
}

void TForm1::contextMenuEvent(QContextMenuEvent* event) {
    // The menu does not open by itself until a press has landed on a picture.
    if (popup_enabled_)
        open_popup(event->globalPos());
    event->accept();
}

// --- Colours and cursors of the checked items ------------------------------------------------

namespace {
// The item checked in a colour submenu; its first item when none is.
const QAction* checked_item(const QActionGroup* group) {
    const QAction* item = group->checkedAction();
    return item ? item : group->actions().constFirst();
}

unsigned checked_colour(const QActionGroup* group) {
    return checked_item(group)->data().toUInt();
}
} // namespace

unsigned TForm1::highlighter_colour() const {
    return checked_colour(highlighter_colours_);
}

QString TForm1::highlighter_cursor_name() const {
    return checked_item(highlighter_colours_)->property(kFeltTip).toString();
}

unsigned TForm1::arrow_colour() const {
    return checked_colour(arrow_colours_);
}

unsigned TForm1::stylus_colour() const {
    return checked_colour(stylus_colours_);
}

unsigned TForm1::rectangle_colour() const {
    return checked_colour(rectangle_colours_);
}

ToolColours TForm1::tool_colours() const {
    return {highlighter_colour(), highlighter_cursor_name(), arrow_colour(), stylus_colour(),
            rectangle_colour()};
}

void TForm1::set_view_cursor(const QString& name) {
    if (name == QLatin1String("arrow"))
        Image1->setCursor(Qt::ArrowCursor);
    else if (name == QLatin1String("cross"))
        Image1->setCursor(Qt::CrossCursor);
    else
        Image1->setCursor(tool_cursor(name));
}

void TForm1::show_text_dialog() {
    show_in_front(Form4);
}

// --- Tool commands ---------------------------------------------------------------------------

void TForm1::Surligneur1Click() {
    commands().tools.select_highlighter();
}

void TForm1::Fleche_Click() {
    commands().tools.select_arrow();
}

void TForm1::Stylet1Click() {
    commands().tools.select_stylus();
}

void TForm1::Rectangle1Click() {
    commands().tools.select_rectangle();
}

void TForm1::Texte1Click() {
    commands().tools.select_text();
}

// A colour item of a submenu is checked; only the highlighter's colour changes the cursor.
void TForm1::Jaune_mClick() {
    check_highlighter_colour(Jaune_m);
}
void TForm1::Vert1Click() {
    check_highlighter_colour(Vert1);
}
void TForm1::Bleu_mClick() {
    check_highlighter_colour(Bleu_m);
}
void TForm1::Rouge_mClick() {
    check_highlighter_colour(Rouge_m);
}

void TForm1::check_highlighter_colour(QAction* item) {
    item->setChecked(true);
    commands().tools.highlighter_colour_checked();
}

void TForm1::Rouge2Click() {
    Rouge2->setChecked(true);
}
void TForm1::Bleu2Click() {
    Bleu2->setChecked(true);
}
void TForm1::Jaune2Click() {
    Jaune2->setChecked(true);
}
void TForm1::Noir2Click() {
    Noir2->setChecked(true);
}
void TForm1::Rouge1Click() {
    Rouge1->setChecked(true);
}
void TForm1::Bleu1Click() {
    Bleu1->setChecked(true);
}
void TForm1::Jaune1Click() {
    Jaune1->setChecked(true);
}
void TForm1::Noir1Click() {
    Noir1->setChecked(true);
}
void TForm1::Rouge3Click() {
    Rouge3->setChecked(true);
}
void TForm1::Vert2Click() {
    Vert2->setChecked(true);
}
void TForm1::Jaune3Click() {
    Jaune3->setChecked(true);
}
void TForm1::Noir3Click() {
    Noir3->setChecked(true);
}
