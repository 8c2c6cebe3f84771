#pragma once
#include "edit/status_panel.h"

#include <QWidget>
#include <array>

class QLabel;

// The main window's status bar: four sunken text panels of set widths, 19 pixels high.
// The last panel takes what width is left. A panel is one line high: a line break in its text
// (the save notice has one between its label and the file name) shows as a space.
class KapStatusBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPanelCount = 4;
    static constexpr int kBarHeight = 19;

    explicit KapStatusBar(QWidget* parent = nullptr);

    void set_panel_text(StatusPanel panel, const QString& text);
    QString panel_text(StatusPanel panel) const;
    // The text as the panel shows it.
    QString shown_text(StatusPanel panel) const;
    void set_panel_width(StatusPanel panel, int width);
    int panel_width(StatusPanel panel) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void lay_out();

    std::array<QLabel*, kPanelCount> panels_{};
    std::array<QString, kPanelCount> texts_{};
    std::array<int, kPanelCount> widths_{50, 50, 50, 50};
};
