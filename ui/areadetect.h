// Finding the changing area of the screen for the Record command.
#pragma once
#include <cstdint>

// Compares two snapshots of the whole virtual screen (every monitor) taken half a second apart,
// with the cursor hidden, and leaves the inclusive bounds of the changed area in Left, Top,
// Right and Bottom, in screen coordinates: the scan's bounds (0 where one was not found) moved
// by the virtual screen's top-left corner, which is 0, 0 with one monitor. Throws
// std::runtime_error when a snapshot cannot be made or read; the cursor is shown again and every DC
// and bitmap released on that path too.
void DetectChangingArea(int &Left, int &Top, int &Right, int &Bottom);

// The scan over two snapshots of Width x Height pixels, rows top-down, 32 bits per pixel as
// GetDIBits gives them (blue, green, red, unused byte). Only the colour bytes are compared.
// The first changed row fixes the left bound and the right limit; the area then grows down
// while changes appear between them. Every test is strictly greater-than, so a bound is
// never found at 0.
void ScanChangedArea(const uint32_t *First, const uint32_t *Second, int Width, int Height,
                     int &Left, int &Top, int &Right, int &Bottom);
