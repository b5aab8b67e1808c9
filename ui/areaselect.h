// Choosing the area to record by hand: a frozen, dimmed picture of the whole virtual screen (every
// monitor), without this program's own windows, on which the user drags a rectangle or clicks a
// window. It hands back a rectangle in screen pixels and knows nothing of the recording.
#pragma once
#include "ui/arearules.h"

#include <functional>

// What a recording of an area holds (the compressor may grow it): the readout tells its size.
using AreaRecorded = std::function<RECT(const RECT &)>;

// Runs the selection on the main thread until the user chooses (true, the area in Area, right
// and bottom exclusive) or cancels with Esc or a right click (false). This thread's windows are
// hidden meanwhile and the main form disabled, so that neither is in the picture nor takes a
// command; all are as before when it returns, and after a choice the screen has had time to
// show what the selection window covered.
bool SelectArea(RECT &Area, const AreaRecorded &Recorded = nullptr);
