#pragma once
// The text dialog: the line of text to insert and its style.

#include "platform/dialogs.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

class TForm4 : public QWidget {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Style_texte = nullptr;
    QPushButton* OK = nullptr;

    // The style dialog's font and colour: the last choice confirmed, MS Sans Serif 11 pixels
    // high in the window-text colour until then.
    const FontChoice& text_style() const { return style_; }

signals:
    // OK (or Enter): the dialog is hidden; the main window places the floating label.
    void ok_confirmed();
    // The floating label takes this font and colour.
    void label_style_chosen(const QFont& font, unsigned colour);

public slots:
    void FormShow();
    void FormHide();
    // Enter (character 13) acts as OK.
    void FormKeyPress(int key);
    void Style_texteClick();
    void OKClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FontChoice style_;
    bool positioned_ = false;
};

extern TForm4* Form4;
