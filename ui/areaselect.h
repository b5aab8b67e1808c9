// Choosing the area to record by hand: a frozen, dimmed picture of the whole virtual screen (every
// monitor), without this program's own windows, on which the user drags a rectangle or clicks a
// window. It hands back a rectangle in screen pixels and knows nothing of the recording.
#pragma once
#include "framework/winapi.h"

// A press and a release at most this many pixels apart, either way, are a click, not a drag.
constexpr int ClickSlop = 3;

// The rectangle around every monitor, in screen pixels (it may start left of or above 0).
RECT VirtualScreen();
// The rectangle with the pixels From and To at two of its corners, both inside (right and bottom
// exclusive, as Win32 rectangles are), cut to Screen.
RECT DraggedArea(POINT From, POINT To, const RECT &Screen);
// What a click at Pt takes: the deepest visible child window there, else the top-level window,
// cut to Screen; never a window of this program. An empty rectangle when there is none.
RECT WindowArea(POINT Pt, const RECT &Screen);

// Runs the selection on the main thread until the user chooses (true, the area in Area, right
// and bottom exclusive) or cancels with Esc or a right click (false). This thread's windows are
// hidden meanwhile and the main form disabled, so that neither is in the picture nor takes a
// command; all are as before when it returns, and after a choice the screen has had time to
// show what the selection window covered.
bool SelectArea(RECT &Area);
