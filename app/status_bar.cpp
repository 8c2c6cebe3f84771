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

void KapStatusBar::set_panel_text(StatusPanel panel, const QString& text) {
    const auto index = std::size_t(panel);
    texts_.at(index) = text;
    static const QRegularExpression line_breaks(QStringLiteral("[\\r\\n]+"));
    panels_.at(index)->setText(QString(text).replace(line_breaks, QStringLiteral(" ")));
}

QString KapStatusBar::panel_text(StatusPanel panel) const {
    return texts_.at(std::size_t(panel));
}

QString KapStatusBar::shown_text(StatusPanel panel) const {
    return panels_.at(std::size_t(panel))->text();
}

void KapStatusBar::set_panel_width(StatusPanel panel, int width) {
    widths_.at(std::size_t(panel)) = width;
    lay_out();
}

int KapStatusBar::panel_width(StatusPanel panel) const {
    return widths_.at(std::size_t(panel));
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
