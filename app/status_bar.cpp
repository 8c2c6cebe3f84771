#include "app/status_bar.h"

#include <QLabel>
#include <QRegularExpression>

KapStatusBar::KapStatusBar(QWidget* parent) : QWidget(parent) {
    setFixedHeight(kBarHeight);
    for (auto& panel : panels_) {
        panel = new QLabel(this);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setIndent(2);
        panel->setTextFormat(Qt::PlainText);
    }
    lay_out();
}

void KapStatusBar::set_panel_text(int index, const QString& text) {
    texts_.at(index) = text;
    static const QRegularExpression line_breaks(QStringLiteral("[\\r\\n]+"));
    panels_.at(index)->setText(QString(text).replace(line_breaks, QStringLiteral(" ")));
}

QString KapStatusBar::panel_text(int index) const {
    return texts_.at(index);
}

QString KapStatusBar::shown_text(int index) const {
    return panels_.at(index)->text();
}

void KapStatusBar::set_panel_width(int index, int width) {
    widths_.at(index) = width;
    lay_out();
}

int KapStatusBar::panel_width(int index) const {
    return widths_.at(index);
}

void KapStatusBar::resizeEvent(QResizeEvent*) {
    lay_out();
}

void KapStatusBar::lay_out() {
    int left = 0;
    for (int i = 0; i < kPanelCount; ++i) {
        int width = widths_[i];
        if (i == kPanelCount - 1)
            width = std::max(width, this->width() - left);
        panels_[i]->setGeometry(left, 1, std::max(0, width - 2), kBarHeight - 1);
        left += width;
    }
}
