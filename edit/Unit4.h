#pragma once
// The text dialog: the line of text to insert and its font.

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

public slots:
    void FormShow();
    void FormHide();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
};

extern TForm4* Form4;
