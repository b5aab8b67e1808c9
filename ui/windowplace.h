// Where the main window opens: where the user left it, kept in the settings.
#pragma once
#include "framework/winapi.h"

// Windows smaller than this are not a place the user left the window at.
constexpr int MinKeptWidth = 120, MinKeptHeight = 80;
// How far a second copy of the program opens from the first's place.
constexpr int SecondCopyOffset = 32;

// The kept place when the top of it (where the caption is, to drag it by) lies on a monitor
// and it is not smaller than the least size, else Default; a second copy of the program opens
// offset from there so that it does not hide the first.
RECT OpeningPlace(const RECT *Kept, const RECT &Default, bool SecondCopy);
