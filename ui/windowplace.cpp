#include "ui/windowplace.h"

namespace {
// The height of the window's top that must be on a monitor: about a caption's.
constexpr int CaptionStrip = 20;
} // namespace

RECT OpeningPlace(const RECT *Kept, const RECT &Default, bool SecondCopy) {
    RECT place = Default;
    if (Kept && Kept->right - Kept->left >= MinKeptWidth &&
        Kept->bottom - Kept->top >= MinKeptHeight) {
        RECT top = {Kept->left, Kept->top, Kept->right, Kept->top + CaptionStrip};
        if (MonitorFromRect(&top, MONITOR_DEFAULTTONULL)) place = *Kept;
    }
    if (!SecondCopy) return place;
    RECT moved = {place.left + SecondCopyOffset, place.top + SecondCopyOffset,
                  place.right + SecondCopyOffset, place.bottom + SecondCopyOffset};
    // Back up and left instead where the moved place would leave the monitors.
    RECT top = {moved.left, moved.top, moved.right, moved.top + CaptionStrip};
    if (MonitorFromRect(&top, MONITOR_DEFAULTTONULL)) return moved;
    return {place.left - SecondCopyOffset, place.top - SecondCopyOffset,
            place.right - SecondCopyOffset, place.bottom - SecondCopyOffset};
}
