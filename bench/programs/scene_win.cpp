// The small changes of the detection benchmark's scenes, as a user's desktop has them, in a
// borderless window of a Wine program:
//
//   scene_win clock X Y          a seconds clock, 150 x 40 pixels, that ticks every second
//   scene_win caret X Y W H      an editor's page with a few lines of text and a caret that
//                                blinks every 530 ms, as the system's default caret does
//   scene_win object X Y W H     a still picture with a 24 x 24 square moving across it
//
// Runs until it is ended.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum Mode { Clock, Caret, Object };
Mode mode;
int width, height;
DWORD started;

void Paint(HWND wnd, HDC dc) {
    RECT all = {0, 0, width, height};
    DWORD ms = GetTickCount() - started;
    if (mode == Clock) {
        FillRect(dc, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
        SYSTEMTIME now;
        GetLocalTime(&now);
        char text[16];
        std::snprintf(text, sizeof(text), "%02d:%02d:%02d", now.wHour, now.wMinute, now.wSecond);
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, text, -1, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    } else if (mode == Caret) {
        FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
        const char *lines[] = {"Notes on the recording", "The caret blinks after this"};
        for (int i = 0; i < 2; i++)
            TextOutA(dc, 8, 8 + i * 20, lines[i], (int)std::strlen(lines[i]));
        SIZE size;
        GetTextExtentPoint32A(dc, lines[1], (int)std::strlen(lines[1]), &size);
        RECT caret = {8 + size.cx + 1, 28, 8 + size.cx + 3, 28 + 18};
        if ((ms / 530) % 2 == 0) FillRect(dc, &caret, (HBRUSH)GetStockObject(BLACK_BRUSH));
    } else {
        for (int x = 0; x < width; x += 16) {
            RECT band = {x, 0, x + 16, height};
            HBRUSH brush = CreateSolidBrush(RGB(x * 255 / width, 120, 255 - x * 255 / width));
            FillRect(dc, &band, brush);
            DeleteObject(brush);
        }
        // Back and forth along the middle, 4 pixels every 40 ms.
        int span = width - 24, step = (int)(ms / 40 * 4 % (2 * span));
        int x = step < span ? step : 2 * span - step;
        RECT square = {x, height / 2 - 12, x + 24, height / 2 + 12};
        HBRUSH red = CreateSolidBrush(RGB(230, 20, 20));
        FillRect(dc, &square, red);
        DeleteObject(red);
    }
    (void)wnd;
}

LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER) {
        HDC dc = GetDC(wnd);
        Paint(wnd, dc);
        ReleaseDC(wnd, dc);
        return 0;
    }
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        Paint(wnd, BeginPaint(wnd, &ps));
        EndPaint(wnd, &ps);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: scene_win clock X Y | caret X Y W H | object X Y W H\n");
        return 2;
    }
    mode = !std::strcmp(argv[1], "clock") ? Clock : !std::strcmp(argv[1], "caret") ? Caret : Object;
    width = mode == Clock ? 150 : std::atoi(argv[4]);
    height = mode == Clock ? 40 : std::atoi(argv[5]);
    started = GetTickCount();
    WNDCLASSA cls = {};
    cls.lpfnWndProc = WndProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "scene";
    cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassA(&cls);
    HWND wnd = CreateWindowExA(WS_EX_TOOLWINDOW, "scene", "scene", WS_POPUP | WS_VISIBLE,
                               std::atoi(argv[2]), std::atoi(argv[3]), width, height, nullptr,
                               nullptr, cls.hInstance, nullptr);
    SetTimer(wnd, 1, mode == Object ? 40 : 100, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
