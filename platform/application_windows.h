#pragma once
// The program's windows as a whole, as the sharing commands treat them: sent to the task bar
// while another program takes over, disabled while the mail program's compose window is being
// handed over.

class QWidget;

// Minimises every visible top-level window of the program.
void minimise_application_windows();
// Shows normally again the windows minimise_application_windows() sent to the task bar.
void restore_application_windows();
// Shows a top-level window of the program normal and in front, never as an icon: Qt keeps the
// minimised state of a window sent to the task bar, and would map it again minimised. Qt's
// French texts are loaded first.
void show_in_front(QWidget* window);
// Enables or disables every top-level window of the program.
void enable_application_windows(bool enabled);
