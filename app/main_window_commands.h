#pragma once
// The objects that own the main window's commands, one per subsystem, made once every window of
// the program exists.

#include "capture/capture_commands.h"
#include "edit/annotation_commands.h"
#include "edit/history_commands.h"
#include "edit/text_commands.h"
#include "edit/tool_commands.h"
#include "output/save_command.h"
#include "output/share_commands.h"
#include "resize/resize_command.h"

struct MainWindowCommands {
    MainWindowCommands(MainWindow& window, RegionOverlay& overlay, int& auto_save_counter)
        : capture(window, overlay), history(window), tools(window), annotation(window),
          text(window), resize(window),
          save(auto_save_counter,
               [&window](const QString& text) { window.set_status_text(3, text); }),
          share(window) {}

    CaptureCommands capture;
    HistoryCommands history;
    ToolCommands tools;
    AnnotationCommands annotation; // holds the last highlighter tip
    TextCommands text;
    ResizeCommand resize;
    SaveCommand save; // keeps the dialog's last name between saves
    ShareCommands share;
};
