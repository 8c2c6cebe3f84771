#pragma once
// The main window: toolbar, picture area, delay panel, status bar and context menu, with the
// editing state. Handlers are named after their control and event, and each is one line that
// calls the subsystem object owning the command: captures in capture/, undo, redo and reset in
// edit/, the resize in resize/, save and sharing in output/. The window's own files:
//   Unit1.cpp          construction, layout, start and end of life, window style, and the roles
//                      the window plays for the commands (edit/main_window.h)
//   Unit1_menu.cpp     the context menu, its shortcuts and the tool choice
//   Unit1_commands.cpp the handlers of the toolbar, the menu's commands and the picture view

#include "app/main_window_commands.h"
#include "edit/text_label.h"

#include <QImage>
#include <QKeySequence>
#include <QList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QMenu;
class QScrollArea;
class QToolButton;
class KapSpinBox;
class KapStatusBar;
class PictureView;

class TForm1 : public QWidget, public MainWindowRoles {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Toolbar.
    QToolButton* Capture_bureau = nullptr;
    QToolButton* Capture_fenetre = nullptr;
    QToolButton* Capture_selection = nullptr;
    QToolButton* Insere_curseur = nullptr;
    QToolButton* copy_clipboard = nullptr;
    QToolButton* appli_extern = nullptr;
    QToolButton* mail = nullptr;
    QToolButton* reload_ = nullptr;
    QToolButton* fenetre_reglages = nullptr;
    QToolButton* save_ = nullptr;

    // Picture area.
    QScrollArea* ScrollBox1 = nullptr;
    PictureView* Image1 = nullptr;
    QFrame* Shape1 = nullptr;
    TextLabel* Texte = nullptr;

    // Delay panel.
    QFrame* Panel_tempo = nullptr;
    KapSpinBox* tempo = nullptr;

    KapStatusBar* StatusBar1 = nullptr;

    // Context menu. Items with a submenu are the submenus themselves; their menuAction() is
    // the item in the parent menu.
    QMenu* PopupMenu1 = nullptr;
    QMenu* Surligneur1 = nullptr;
    QAction *Jaune_m = nullptr, *Vert1 = nullptr, *Bleu_m = nullptr, *Rouge_m = nullptr;
    QMenu* Fleche_ = nullptr;
    QAction *Rouge2 = nullptr, *Bleu2 = nullptr, *Jaune2 = nullptr, *Noir2 = nullptr;
    QMenu* Stylet1 = nullptr;
    QAction *Rouge1 = nullptr, *Bleu1 = nullptr, *Jaune1 = nullptr, *Noir1 = nullptr;
    QAction* Texte1 = nullptr;
    QMenu* Rectangle1 = nullptr;
    QAction *Rouge3 = nullptr, *Vert2 = nullptr, *Jaune3 = nullptr, *Noir3 = nullptr;
    QAction* N3 = nullptr;
    QAction* Redimen1 = nullptr;
    QAction* Effetngatif1 = nullptr;
    QAction* N1 = nullptr;
    QAction* Dfaire1 = nullptr;
    QAction* Rfaire1 = nullptr;
    QAction* N2 = nullptr;
    QAction* Reglages = nullptr;

    // Window style and size. Sizes are outer sizes (frame and title bar included).
    void set_stay_on_top(bool on);
    bool is_stay_on_top() const { return stay_on_top_; }
    QSize outer_size() const;
    QMargins frame_margins() const;
    // An outer size limited to the primary display's work area.
    static QSize within_work_area(QSize outer);
    // Moves the window, keeping its size, so that it lies inside the work area.
    void keep_inside_work_area();
    // Places the window by its outer top-left corner.
    void place_window(QPoint outer_top_left);

    // The roles the main window plays for the commands.
    SettingsSnapshot settings() const override;
    const QImage& picture() const override;
    QImage& picture_for_drawing() override;
    DrawingSurface& surface() override;
    void set_picture(QImage picture) override;
    void assign_pixels(QImage pixels) override;
    QSize view_size() const override;
    void set_view_size(QSize size) override;
    void repaint_picture(QRect area = QRect()) override;
    void repaint_picture_region(const QRegion& area) override;
    void hide_window() override;
    void show_window() override;
    void fit_to_work_area() override;
    void centre_on_display() override;
    void set_client_size(QSize size) override;
    void set_outer_size(QSize size) override;
    void set_status_text(StatusPanel panel, const QString& text) override;
    ToolColours tool_colours() const override;
    void set_view_cursor(const QString& name) override;
    void show_text_dialog() override;
    void show_delay_panel(bool shown) override;
    int delay_seconds() const override;
    void set_delay_seconds(int seconds) override;
    void clear_text_label() override;
    QRect text_label_geometry() const override;
    void move_text_label(QPoint top_left) override;
    void show_text_label(const QString& caption, QPoint top_left) override;
    void hide_text_label() override;
    QFont text_label_font() const override;
    unsigned text_label_colour() const override;
    QString text_label_caption() const override;
    QPoint text_label_origin() const override;
    QString text_to_insert() const override;
    QRect scroll_area_on_screen() const override;
    QPoint scroll_offset() const override;
    QPoint client_from_screen(QPoint screen) const override;
    void enable_context_menu() override { enable_popup(); }
    ResampleProgress* resize_progress() override;
    void reset_resize_progress() override;
    void remember_region(const ScreenRect& region) override;

    // The delay panel, hidden until the cursor toggle is down. It is made once the window is on
    // its way to the screen, with the other windows: its spin box is the first control of the
    // window that needs the fonts.
    void build_delay_panel();

    // The command objects, made once every window exists, with the editing state.
    void set_commands(std::unique_ptr<MainWindowCommands> commands);
    MainWindowCommands& commands() { return *commands_; }

    // Context menu.
    bool popup_enabled() const { return popup_enabled_; }
    void enable_popup() { popup_enabled_ = true; }
    // Opens the context menu at a global position, as a right click does once it is enabled.
    void open_popup(const QPoint& global_pos);
    // Runs the shortcut bound to this key sequence, as pressing it in the window does.
    // Returns false when no item carries it.
    bool run_shortcut(const QKeySequence& sequence);
    QList<QKeySequence> shortcut_keys() const;

    // The floating label's font and colour (0x00BBGGRR), as the text style dialog left them.
    void set_text_label_style(const QFont& font, unsigned colour);

    // Colour values (0x00BBGGRR) and cursor names of the checked items.
    unsigned highlighter_colour() const;
    QString highlighter_cursor_name() const;
    unsigned arrow_colour() const;
    unsigned stylus_colour() const;
    unsigned rectangle_colour() const;

public slots:
    void FormCreate();
    void FormClose();
    void FormDestroy();

    // Toolbar.
    void Capture_bureauClick();
    void Capture_fenetreClick();
    void Capture_selectionClick();
    void Insere_curseurClick();
    void copy_clipboardClick();
    void appli_externClick();
    void mailClick();
    void reload_Click();
    void fenetre_reglagesClick();
    void save_Click();
    void tempoExit();

    // Context menu.
    void Surligneur1Click();
    void Jaune_mClick();
    void Vert1Click();
    void Bleu_mClick();
    void Rouge_mClick();
    void Fleche_Click();
    void Rouge2Click();
    void Bleu2Click();
    void Jaune2Click();
    void Noir2Click();
    void Stylet1Click();
    void Rouge1Click();
    void Bleu1Click();
    void Jaune1Click();
    void Noir1Click();
    void Texte1Click();
    void Rectangle1Click();
    void Rouge3Click();
    void Vert2Click();
    void Jaune3Click();
    void Noir3Click();
    void Redimen1Click();
    void Effetngatif1Click();
    void Dfaire1Click();
    void Rfaire1Click();
    void ReglagesClick();

    // Picture view.
    void Image1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                         Qt::MouseButtons held, bool double_click, int x, int y);
    void Image1MouseMove(Qt::KeyboardModifiers modifiers, Qt::MouseButtons held, int x, int y);
    void Image1MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);

    // Floating text label, and the text dialog's OK and style.
    void TexteMouseDown(Qt::MouseButton button, int x, int y);
    void TexteMouseMove(int x, int y);
    void TexteMouseUp(Qt::MouseButton button, int x, int y);
    void TexteDblClick();
    void Form4OKClick();
    void Form4Style_texteClick(const QFont& font, unsigned colour);

    // The configuration window's notes for the status bar, its automatic-save name and its
    // "?" button.
    void Form5ResizeNote(const QString& text, bool widen);
    void Form5RegionNote(const QString& text);
    void Form5AutoSaveNote(const QString& text);
    void Form5NameEntered();
    void Form5ProgramChoice(QWidget* asker);

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct MenuShortcut {
        QAction* item; // shows the keys in the menu
        QKeySequence keys;
        std::vector<std::function<void()>> handlers; // ancestors top-down, then the item
    };

    void build_toolbar();
    void build_picture_area();
    void build_menu();
    QToolButton* make_tool_button(int left, const QString& hint, const QString& glyph,
                                  int glyph_size);
    QAction* add_item(QMenu* menu, const QString& caption, QActionGroup* group, bool checked,
                      void (TForm1::*handler)());
    QMenu* add_submenu(const QString& caption, void (TForm1::*handler)());
    void add_shortcut(QAction* item, const QKeySequence& keys,
                      std::vector<void (TForm1::*)()> handlers);
    // Writes each shortcut's keys beside its item, in the language Qt's texts are in now.
    void show_shortcut_keys();
    void lay_out_client();
    void apply_size_constraints();
    // Sets the outer size, limited to the work area, where the window stands.
    void fit_outer_size(QSize size);
    void check_highlighter_colour(QAction* item);

    // The radio groups of the colour submenus; each item carries its colour (0x00BBGGRR) as its
    // data, and the highlighter's items their felt-tip cursor.
    QActionGroup* highlighter_colours_ = nullptr;
    QActionGroup* arrow_colours_ = nullptr;
    QActionGroup* stylus_colours_ = nullptr;
    QActionGroup* rectangle_colours_ = nullptr;

    bool stay_on_top_ = true;
    bool popup_enabled_ = false;
    bool centred_ = false;

    QSize wanted_outer_{442, 423};
    mutable QMargins known_frame_;
    std::vector<MenuShortcut> shortcuts_;
    std::unique_ptr<MainWindowCommands> commands_;
};

extern TForm1* Form1;
