// Finding the changing area of the screen for the Record command.
#pragma once
#include "framework/winapi.h"
#include "ui/changeregions.h"

#include <functional>

// How the Record command looks: a snapshot of the whole virtual screen this often; once
// something has moved, the look lasts LookAfterMotion from the snapshot before the motion; while
// nothing moves, it ends after LongestStillLook.
constexpr DWORD SnapshotInterval = 100;
constexpr DWORD LookAfterMotion = 1000;
constexpr DWORD LongestStillLook = 5000;

// Waits Ms milliseconds between two snapshots; false when the user cancelled the look.
using LookWait = std::function<bool(DWORD Ms)>;

// Looks at the whole virtual screen (every monitor), with the cursor hidden, and leaves in
// Left, Top, Right and Bottom the inclusive bounds, in screen coordinates, of the moving picture
// (ChooseRegion) out to its own edges (SnapToEdges), or of the window or control it nearly fills
// (SnapToWindow); never a window of this program.
// All four are 0 when nothing moved or the look was cancelled; the result is false only when
// Wait said the user cancelled. Without Wait the look sleeps. Throws std::runtime_error when a
// snapshot cannot be made or read; the cursor is shown again and every DC and bitmap released
// on that path too.
bool DetectChangingArea(int &Left, int &Top, int &Right, int &Bottom, const LookWait &Wait = {});
