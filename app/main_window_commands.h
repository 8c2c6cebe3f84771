#pragma once
// The objects that own the main window's commands, one per subsystem, made once every window of
// the program exists. Each owns its part of the editing state.

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
        : tools(window),
          history(window, window, window, window, tools, [this] { resize.forget_last_resize(); }),
          resize(window, window, window, window, history),
          capture(window, window, window, window, history, resize, tools, overlay),
          annotation(tools.state(), history, window, window, window, window),
          text(tools.state(), history, window, window, window),
          save([&window](const QString& text) {
              window.set_status_text(StatusPanel::Notice, text);
          }),
          share(window, window, window) {}

    ToolCommands tools;
    HistoryCommands history;
    ResizeCommand resize;
    CaptureCommands capture;
    AnnotationCommands annotation; // holds the last highlighter tip
    TextCommands text;
    SaveCommand save; // keeps the dialog's last name and the automatic-save number
    ShareCommands share;
};
