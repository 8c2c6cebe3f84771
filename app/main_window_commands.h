#pragma once
// The objects that own the main window's commands, one per subsystem, made once every window of
// the program exists, and the editing state they share.

#include "capture/capture_commands.h"
#include "edit/annotation_commands.h"
#include "edit/history_commands.h"
#include "edit/main_window.h"
#include "edit/text_commands.h"
#include "edit/tool_commands.h"
#include "output/save_command.h"
#include "output/share_commands.h"
#include "resize/resize_command.h"

// The main window in every role it plays for the commands.
class MainWindowRoles : public PictureHost,
                        public WindowShell,
                        public TextLabelHost,
                        public ToolControls,
                        public Configuration,
                        public ResizeProgressHost {};

struct MainWindowCommands {
    MainWindowCommands(MainWindowRoles& window, RegionOverlay& overlay)
        : tools(state, window), history(state, window, window, window, window),
          capture(state, window, window, window, window, tools, overlay),
          annotation(state, window, window, window, window), text(state, window, window, window),
          resize(state, window, window, window, window), save([&window](const QString& text) {
              window.set_status_text(StatusPanel::Notice, text);
          }),
          share(window, window, window) {}

    EditingState state;
    ToolCommands tools;
    HistoryCommands history;
    CaptureCommands capture;
    AnnotationCommands annotation; // holds the last highlighter tip
    TextCommands text;
    ResizeCommand resize;
    SaveCommand save; // keeps the dialog's last name and the automatic-save number
    ShareCommands share;
};
