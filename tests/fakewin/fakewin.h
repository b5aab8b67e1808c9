// Test-side control of the Windows double: reset between tests, and the area headers that
// let a test set up the virtual screen, clock, compressors, and read what the program did.
#pragma once
#include "fakewin/windows.h"

namespace fakewin {

// Puts every area of the double back to its initial state (1024 x 768 screen at 32 bits per
// pixel, clock at 0, no windows, no scripted answers).
void reset();

} // namespace fakewin
