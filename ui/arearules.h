// The rules of choosing an area by hand: what a drag and a click take, in screen pixels on the
// virtual screen (every monitor; it may start left of or above 0), right and bottom exclusive as
// Win32 rectangles are.
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
// cut to Screen; on the desktop, the monitor there; never a window of this program. An empty
// rectangle when there is none.
RECT WindowArea(POINT Pt, const RECT &Screen);

bool IsEmpty(const RECT &R);
// The common part of A and B; an empty rectangle at 0 when they do not meet.
RECT Intersection(const RECT &A, const RECT &B);
// The smallest rectangle around both; an empty one adds nothing.
RECT Union(const RECT &A, const RECT &B);
RECT Moved(RECT R, LONG Dx, LONG Dy);
// A press and a release within ClickSlop of each other.
bool IsClick(POINT Press, POINT Release);
