// Keeping the program's own main window out of its recordings: it stays on top and opens in the
// middle of the screen, where the picture to record often is.
#pragma once
#include "framework/winapi.h"

// Where a window the size of Window goes on Monitor (its work area) so that it does not
// overlap Area: of the places just left of, right of, above and below Area, the nearest to
// where the window is. False when none fits on the monitor.
bool PlaceOutside(const RECT &Window, const RECT &Area, const RECT &Monitor, POINT &To);

class OwnWindowOutOfRecording {
  public:
    // Where the system can leave a window out of screen copies (Windows 10 2004 on), Window is
    // left out of them from now on.
    void Exclude(HWND Window);
    bool Excluded() const { return excluded; }
    // Unless excluded: before a recording of Area (screen pixels, right and bottom exclusive),
    // the window steps out of it to the nearest place on its monitor (PlaceOutside), minimized
    // when there is none.
    void StepAside(const RECT &Area);
    // Back where it was before StepAside, once the recording has ended.
    void ComeBack();
    // While the window is aside: where the user left it (true).
    bool HomeWhileAside(RECT &Place) const {
        if (aside) Place = home;
        return aside;
    }

  private:
    HWND window = nullptr;
    bool excluded = false;
    bool aside = false, minimized = false;
    RECT home = {0, 0, 0, 0};
};
