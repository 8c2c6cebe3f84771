#pragma once
// The text dialog: the line of text to insert and its font.

#include <QWidget>
#include <functional>

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

    // Called when the dialog shows and hides, so the main window can give up and take back its
    // stay-on-top style.
    std::function<void(bool shown)> on_visibility;

public slots:
    void FormShow();
    void FormHide();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
};

extern TForm4* Form4;
