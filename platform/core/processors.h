#pragma once
// Which processor a thread runs on. Work shared with a helper thread gains nothing when the
// system runs the helper on the caller's own processor (it then takes its time from the caller),
// which it readily does when the other processors are busy: a helper is kept off the caller's.

// The processor the calling thread is running on, -1 when the system does not tell.
int current_processor();

// Lets the calling thread run on every processor it was allowed at first except `processor`
// (on all of them for -1, or when no other is allowed).
void avoid_processor(int processor);
