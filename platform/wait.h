#pragma once
#include <functional>

// Blocks the calling thread for a number of milliseconds without processing any event, after
// making sure the display server has carried out what was asked of it (a window just hidden is
// really gone from the screen).
void block_for_ms(int milliseconds);

// Replaces the blocking wait (tests record the waits instead of sleeping); an empty function
// puts the real one back.
void set_waiter(std::function<void(int milliseconds)> waiter);
