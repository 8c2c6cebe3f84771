#pragma once
// The configuration window: its controls are the program's live settings.
//   Unit5.cpp           layout and the small handlers
//   Unit5_settings.cpp  loading from and storing to the settings file

#include "edit/settings_snapshot.h"

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class KapSpinBox;

class TForm5 : public QWidget {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);

    QGroupBox* GroupBox1 = nullptr;
    QRadioButton* format_png_256 = nullptr;
    QRadioButton* Format_png_8 = nullptr;
    QRadioButton* Format_jpg = nullptr;
    QRadioButton* Format_bmp = nullptr;
    QSlider* jpg_compression = nullptr;

    QGroupBox* GroupBox3 = nullptr;
    KapSpinBox* size_stylet = nullptr;
    KapSpinBox* size_surligneur = nullptr;

    QGroupBox* GroupBox4 = nullptr;
    QPushButton* PngSpeedButton1 = nullptr;

    QGroupBox* GroupBox5 = nullptr;
    QCheckBox* mode_rafale = nullptr;
    QCheckBox* comfirm_enregistr = nullptr;
    QPushButton* dossier_rafale = nullptr;
    QLineEdit* nom_fich_rafale = nullptr;
    QLabel* rep_enregitr = nullptr;

    QGroupBox* GroupBox2 = nullptr;
    QCheckBox* memo_aera = nullptr;
    QPushButton* Button2 = nullptr;
    QLabel* x1 = nullptr;
    QLabel* x2 = nullptr;
    QLabel* y1 = nullptr;
    QLabel* y2 = nullptr;

    QGroupBox* GroupBox6 = nullptr;
    QCheckBox* resize = nullptr;
    KapSpinBox* largeur_px = nullptr;

    QPushButton* Button1 = nullptr;

    // The folder chosen last for automatic saving.
    QString auto_save_folder;

    // The controls' values now, for a command about to run.
    SettingsSnapshot settings() const;
    // Shows a region selected on the overlay in the labels x1, x2, y1, y2 and lets the check
    // box `memo_aera` be ticked.
    void remember_region(const ScreenRect& region);

    // Shows the window without making it modal; when already shown, only brings it forward.
    void show_non_modal();
    // Closes the window as its close box does: stores the settings and may stay open.
    // Returns true when the window closed.
    bool close_window();

    // Radio selection that mimics a radio button's own: selecting one deselects the others,
    // deselecting one leaves the others alone (so that none may be selected).
    void set_format_selected(QRadioButton* button, bool selected);

signals:
    // Notes for the main window's status bar: the width of on-the-fly resizing (its panel
    // widened first when `widen`), the remembered region in use, automatic saving on.
    void resize_note(const QString& text, bool widen);
    void region_note(const QString& text);
    void auto_save_note(const QString& text);
    // The automatic-save name is being typed: the numbering starts again.
    void auto_save_name_entered();
    // The "?" button: the open-with chooser, belonging to `asker`.
    void program_choice_asked(QWidget* asker);

public slots:
    void FormCreate();
    // Stores the settings and validates the automatic-save options; returns false when the
    // window must stay open.
    bool FormClose();
    void FormShow();
    void FormHide();
    void jpg_compressionChange();
    void Button1Click();
    void dossier_rafaleClick();
    void mode_rafaleClick();
    void nom_fich_rafaleEnter();
    void resizeMouseUp();
    void largeur_pxExit();
    void memo_aeraClick();
    void Button2Click();
    void PngSpeedButton1Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool positioned_ = false;
    // The last close could not store the settings (the next close then closes whatever happens).
    bool store_failed_ = false;
};

extern TForm5* Form5;
