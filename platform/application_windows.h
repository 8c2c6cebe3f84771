#pragma once
// The program's windows as a whole, as the sharing commands treat them: sent to the task bar
// while another program takes over, disabled while the mail program's compose window is being
// handed over.

// Minimises every visible top-level window of the program.
void minimise_application_windows();
// Shows normally again the windows minimise_application_windows() sent to the task bar.
void restore_application_windows();
// Enables or disables every top-level window of the program.
void enable_application_windows(bool enabled);
