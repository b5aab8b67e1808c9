// Test-side control of the Windows double: reset between tests, and the area headers that
// let a test set up the virtual screen, clock, compressors, and read what the program did.
#pragma once
#include "fakewin/windows.h"

namespace fakewin {

// Puts every area of the double back to its initial state (1024 x 768 screen at 32 bits per
// pixel, clock at 0, no windows, no scripted answers). Each area registers its own reset.
void reset();

// True on the thread that initialised the process (static initialisation): the one that owns
// every window, as the program's own framework takes it. Recorded with each call that must
// happen there.
bool on_main_thread();

struct ResetHook {
    explicit ResetHook(void (*fn)());
};

} // namespace fakewin
