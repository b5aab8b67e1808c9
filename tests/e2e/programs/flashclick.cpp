// flashclick: a picture that flashes and a click heard at the same moment, once a second, and
// the checker of a recording of them (picture and sound in step).
//
//   flashclick show X Y W H seconds
//       a borderless window (W x H, at least 224 x 128) that shows its own clock, in ms since it
//       started, as black and white 16 x 16 blocks, repainted every millisecond or two; once a
//       second (from 3 s on) it paints a white bar for 200 ms and, right after that paint,
//       writes click K (10 to 40 ms) to wave-out. It records the default input with wave-in
//       meanwhile and finds its own clicks there. At the end it prints, in ms of its clock:
//         flash K painted=F played=P shown=D heard=I     (I = -1: the click was not heard)
//         shown-age A
//         click at=I code=N                               (every click heard, and its length)
//       F: the clock painted with the bar, P: when the click was written to wave-out, D: how long
//       a paint took to reach the screen as a screen grab reads it (polled after each flash),
//       I: when the click reached the input. A: the mean age of the clock on the screen at a
//       random moment (half the repaint period, plus D).
//   flashclick check blocks.gray times.txt sound.s16 rate show.log frame_ms edge
//       blocks.gray: the recording's frames scaled down to one pixel per block (14 x 8 grey
//       pixels each), times.txt their times in seconds, sound.s16 the recording's sound (mono,
//       16 bits, rate samples/s), show.log what show printed.
//
// How the check measures. Each frame's blocks tell C, the clock that was on the screen when the
// recorder grabbed it, t its time in the AVI. The real time at the AVI's time 0 is
// S = median(C - t) over the frames within 2 s of the flash, plus A. The flash was painted at F,
// so it stands at F - S in the AVI's picture; the click was written at P and reached the input
// I - P later (the output-to-input latency), so a recorder that keeps the sound in step puts its
// start at I - S. With Ac the click's start in the AVI's sound:
//     offset = (Ac - (I - P)) - (F - S)
// is how far the sound stands after the picture, both taken back to the moment the program made
// them (P - F, the time to paint, is well under a millisecond). The frame time quantization does
// not enter: S comes from every frame near the flash, not from the one frame that shows it.
// Prints one line per flash, the figures, and PASS/FAIL lines: each flash of the recording's
// span has its frame and its click; |offset| <= 45 ms for the first and the last `edge`
// flashes; the mean of the last `edge` offsets minus that of the first is below 20 ms; the
// sound's length is the frames' within one frame_ms.
#include "tests/e2e/programs/report.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Layout in 16 x 16 blocks (a Video 1 recording keeps aligned blocks of flat colour exactly):
// clock bits 0..11 on block row 1, bits 12..23 on row 2, bits 0..11 again inverted on row 3 (a
// frame grabbed in the middle of a repaint is told apart), the flash bar on rows 5 and 6.
const int kBlock = 16, kCols = 14, kRows = 8, kBits = 12;
const DWORD kLeadMs = 3000, kEveryMs = 1000, kFlashMs = 200;
const int kRate = 22050, kClickSamples = kRate / 100;

struct Flash {
    int k;
    double painted, played, shown, heard;
};

// ---- show

HWND g_wnd;
DWORD g_base;

DWORD clock_now() { return timeGetTime() - g_base; }

void paint(DWORD clock, bool flash) {
    HDC dc = GetDC(g_wnd);
    HBRUSH white = (HBRUSH)GetStockObject(WHITE_BRUSH), black = (HBRUSH)GetStockObject(BLACK_BRUSH);
    auto block = [&](int col, int row, bool on) {
        RECT r = {col * kBlock, row * kBlock, (col + 1) * kBlock, (row + 1) * kBlock};
        FillRect(dc, &r, on ? white : black);
    };
    for (int b = 0; b < kBits; ++b) {
        block(1 + b, 1, (clock >> b) & 1);
        block(1 + b, 2, (clock >> (b + kBits)) & 1);
        block(1 + b, 3, !((clock >> b) & 1));
    }
    RECT bar = {kBlock, 5 * kBlock, 13 * kBlock, 7 * kBlock};
    FillRect(dc, &bar, flash ? white : black);
    ReleaseDC(g_wnd, dc);
}

// Lets Wine bring what was painted to the screen (it does so when the program goes idle).
void pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
}

bool bar_on_screen(int x, int y) {
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, x + 7 * kBlock, y + 6 * kBlock);
    ReleaseDC(nullptr, screen);
    return GetRValue(c) > 128;
}

// Wave-in: every buffer, with the clock when it came back.
struct Input {
    HWAVEIN dev = nullptr;
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::vector<WAVEHDR> hdr = std::vector<WAVEHDR>(50);
    std::vector<std::vector<short>> buf = std::vector<std::vector<short>>(50);
    std::vector<short> samples;
    std::vector<std::pair<DWORD, size_t>> returns; // clock, samples recorded by then
    volatile bool stop = false;
};

DWORD WINAPI capture(void *arg) {
    Input &in = *(Input *)arg;
    size_t next = 0;
    while (!in.stop) {
        WaitForSingleObject(in.event, 50);
        while (((volatile DWORD &)in.hdr[next].dwFlags) & WHDR_DONE) {
            DWORD now = clock_now();
            WAVEHDR &h = in.hdr[next];
            short *s = (short *)h.lpData;
            in.samples.insert(in.samples.end(), s, s + h.dwBytesRecorded / 2);
            in.returns.emplace_back(now, in.samples.size());
            waveInAddBuffer(in.dev, &h, sizeof h);
            next = (next + 1) % in.hdr.size();
        }
    }
    return 0;
}

// Clicks: where each starts (a sample beyond a third of full scale after 300 ms without one)
// and its number: click K lasts K % 4 + 1 times 10 ms, so that a click is not taken for the
// one a second before or after it.
struct Click {
    size_t at;
    int code;
};
std::vector<Click> onsets(const std::vector<short> &s, int rate) {
    std::vector<Click> found;
    size_t quiet = rate * 3 / 10, last = 0;
    for (size_t i = 0; i < s.size(); ++i)
        if (std::abs(s[i]) > 10000) {
            if (found.empty() || i - last > quiet) found.push_back({i, 0});
            found.back().code = (int)std::lround((i + 1 - found.back().at) * 100.0 / rate);
            last = i;
        }
    return found;
}

int show(int x, int y, int w, int h, double seconds) {
    timeBeginPeriod(1);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpszClassName = "QuilletFlashClick";
    RegisterClassA(&wc);
    g_wnd = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TOPMOST, wc.lpszClassName,
                            "flash click", WS_POPUP, x, y, w, h, nullptr, nullptr, wc.hInstance,
                            nullptr);
    if (!g_wnd || w < kCols * kBlock || h < kRows * kBlock) return 1;
    ShowWindow(g_wnd, SW_SHOWNOACTIVATE);
    g_base = timeGetTime();

    WAVEFORMATEX f = {WAVE_FORMAT_PCM, 1, kRate, kRate * 2, 2, 16, 0};
    HWAVEOUT out = nullptr;
    Input in;
    if (waveOutOpen(&out, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL) ||
        waveInOpen(&in.dev, WAVE_MAPPER, &f, (DWORD_PTR)in.event, 0, CALLBACK_EVENT)) {
        printf("no wave-out or wave-in\n");
        return 1;
    }
    for (size_t i = 0; i < in.hdr.size(); ++i) {
        in.buf[i].resize(kRate / 100);
        in.hdr[i].lpData = (LPSTR)in.buf[i].data();
        in.hdr[i].dwBufferLength = (DWORD)in.buf[i].size() * 2;
        waveInPrepareHeader(in.dev, &in.hdr[i], sizeof(WAVEHDR));
        waveInAddBuffer(in.dev, &in.hdr[i], sizeof(WAVEHDR));
    }
    waveInStart(in.dev);
    HANDLE thread = CreateThread(nullptr, 0, capture, &in, 0, nullptr);

    // Wave-out plays all the time, 10 ms buffers of silence, eight queued (a device left idle
    // between clicks loses some of them); a click, 10 to 40 ms of a 2.2 kHz square wave at 2/3 of
    // full scale, is queued behind them the moment the bar is painted.
    std::vector<WAVEHDR> oh(16);
    std::vector<std::vector<short>> ob(oh.size(), std::vector<short>(kClickSamples));
    for (size_t i = 0; i < oh.size(); ++i) {
        oh[i].lpData = (LPSTR)ob[i].data();
        oh[i].dwBufferLength = kClickSamples * 2;
        waveOutPrepareHeader(out, &oh[i], sizeof(WAVEHDR));
    }
    auto queued = [&] {
        int n = 0;
        for (auto &h : oh)
            n += (((volatile DWORD &)h.dwFlags) & WHDR_INQUEUE) != 0;
        return n;
    };
    auto play = [&](bool click) {
        for (size_t i = 0; i < oh.size(); ++i)
            if (!(((volatile DWORD &)oh[i].dwFlags) & WHDR_INQUEUE)) {
                for (int s = 0; s < kClickSamples; ++s)
                    ob[i][s] = !click ? 0 : (s / 5) % 2 ? -22000 : 22000;
                waveOutWrite(out, &oh[i], sizeof(WAVEHDR));
                return;
            }
    };

    std::vector<Flash> flashes;
    double age_sum = 0; // the clock's age on the screen, integrated over time
    DWORD end = (DWORD)(seconds * 1000), last_paint = 0, flash_off = 0;
    for (DWORD now = clock_now(); now < end; now = clock_now()) {
        DWORD due = kLeadMs + (DWORD)flashes.size() * kEveryMs;
        while (queued() < 8)
            play(false);
        if (now >= due) {
            paint(now, true);
            pump();
            for (int b = 0; b <= (int)flashes.size() % 4; ++b)
                play(true);
            double played = clock_now();
            DWORD seen = clock_now();
            while (!bar_on_screen(x, y) && seen - now < 100) {
                pump();
                seen = clock_now();
            }
            flashes.push_back({(int)flashes.size(), (double)now, played, (double)(seen - now), -1});
            flash_off = now + kFlashMs;
        } else {
            paint(now, now < flash_off);
            pump();
        }
        double dt = now - last_paint;
        age_sum += dt * dt / 2;
        last_paint = now;
        Sleep(1);
    }
    Sleep(500);
    in.stop = true;
    WaitForSingleObject(thread, INFINITE);
    waveInReset(in.dev);
    waveOutReset(out);
    for (auto &h : oh)
        waveOutUnprepareHeader(out, &h, sizeof h);
    waveOutClose(out);

    // When a sample was captured: a buffer comes back once its last sample is in, so the
    // input's sample 0 lies at most at (return - samples by then) of every buffer; the least of
    // these within 5 s of a click is the best bound (the buffer that came back soonest).
    double shown = 0;
    for (auto &fl : flashes)
        shown += fl.shown;
    shown /= std::max<size_t>(1, flashes.size());
    std::vector<Click> heard = onsets(in.samples, kRate);
    for (Click c : heard) {
        double at = (double)c.at * 1000 / kRate, start = 1e18;
        for (auto &r : in.returns)
            if (std::fabs(r.first - at) < 5000)
                start = std::min(start, r.first - (double)r.second * 1000 / kRate);
        double when = start + at;
        printf("click at=%.1f code=%d\n", when, c.code);
        for (auto &fl : flashes)
            if (c.code == fl.k % 4 + 1 && when > fl.played - 200 && when < fl.played + 1500)
                fl.heard = when;
    }
    for (auto &fl : flashes)
        printf("flash %d painted=%.0f played=%.0f shown=%.0f heard=%.1f\n", fl.k, fl.painted,
               fl.played, fl.shown, fl.heard);
    printf("shown-age %.2f\n", age_sum / std::max<DWORD>(1, last_paint) + shown);
    printf("flashes=%zu clicks heard=%zu\n", flashes.size(), heard.size());
    return 0;
}

// ---- check

double median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

int check(const char *blocks, const char *times, const char *sound, int rate, const char *log,
          double frame_ms, int edge) {
    // The frames: clock (or -1 when torn or unreadable), flash, time.
    std::vector<double> clock, t;
    std::vector<bool> lit;
    FILE *f = fopen(blocks, "rb"), *ft = fopen(times, "r");
    unsigned char px[kCols * kRows];
    double when;
    while (f && ft && fread(px, 1, sizeof px, f) == sizeof px && fscanf(ft, "%lf", &when) == 1) {
        auto on = [&](int col, int row) { return px[row * kCols + col] > 128; };
        long c = 0;
        bool torn = false;
        for (int b = 0; b < kBits; ++b) {
            c |= (long)on(1 + b, 1) << b | (long)on(1 + b, 2) << (b + kBits);
            torn |= on(1 + b, 1) == on(1 + b, 3);
        }
        clock.push_back(torn ? -1 : c);
        lit.push_back(on(7, 5) && on(7, 6));
        t.push_back(when * 1000);
    }
    if (f) fclose(f);
    if (ft) fclose(ft);
    std::vector<short> s;
    if (FILE *fs = fopen(sound, "rb")) {
        short b[4096];
        for (size_t n; (n = fread(b, 2, 4096, fs)) > 0;)
            s.insert(s.end(), b, b + n);
        fclose(fs);
    }
    std::vector<Flash> flashes;
    double age = 0;
    if (FILE *fl = fopen(log, "r")) {
        char line[256];
        Flash x;
        while (fgets(line, sizeof line, fl)) {
            if (sscanf(line, "flash %d painted=%lf played=%lf shown=%lf heard=%lf", &x.k,
                       &x.painted, &x.played, &x.shown, &x.heard) == 5)
                flashes.push_back(x);
            sscanf(line, "shown-age %lf", &age);
        }
        fclose(fl);
    }
    double first = 1e18, last = -1;
    int torn = 0;
    for (double c : clock) {
        if (c < 0)
            ++torn;
        else
            first = std::min(first, c), last = std::max(last, c);
    }
    if (!ok(!t.empty() && !flashes.empty() && !s.empty(),
            "frames=%zu (torn %d), flashes logged=%zu, sound samples=%zu", t.size(), torn,
            flashes.size(), s.size()))
        return report::exit_code();

    std::vector<Click> heard = onsets(s, rate);
    std::vector<double> offsets;
    int missing = 0, unmeasured = 0;
    for (auto &fl : flashes) {
        // Flashes whose bar and click lie wholly inside the recording.
        if (fl.painted < first + 500 || fl.painted > last - 1000) continue;
        // Now and then the program does not find a click in its own input as it played it (seen:
        // 10 ms too long, the input having repeated a stretch): its latency is then unknown, and
        // the flash is left out.
        if (fl.heard < 0) {
            ++unmeasured;
            continue;
        }
        std::vector<double> d;
        size_t shows = SIZE_MAX;
        for (size_t n = 0; n < t.size(); ++n) {
            if (clock[n] < 0) continue;
            if (std::fabs(clock[n] - fl.painted) <= 2000) d.push_back(clock[n] - t[n]);
            if (shows == SIZE_MAX && lit[n] && clock[n] >= fl.painted &&
                clock[n] < fl.painted + kFlashMs)
                shows = n;
        }
        double start = median(d) + age; // real time at the AVI's time 0
        double due = fl.heard - start, best = 1e18;
        for (Click c : heard) {
            double a = (double)c.at * 1000 / rate;
            if (c.code == fl.k % 4 + 1 && std::fabs(a - due) < std::fabs(best - due)) best = a;
        }
        bool paired = shows != SIZE_MAX && std::fabs(best - due) < 1500;
        double offset = (best - (fl.heard - fl.played)) - (fl.painted - start);
        printf("flash %d painted=%.0f frame=%s at %.1f ms, click at %.1f ms, offset %.1f ms\n",
               fl.k, fl.painted, shows == SIZE_MAX ? "none" : std::to_string(shows).c_str(),
               fl.painted - start, best, offset);
        if (paired)
            offsets.push_back(offset);
        else
            ++missing;
    }
    double video = t.back() + frame_ms, audio = (double)s.size() * 1000 / rate;
    ok(std::fabs(video - audio) <= frame_ms,
       "durations: picture %.1f ms, sound %.1f ms (differ by %.1f, one frame %.1f)", video, audio,
       audio - video, frame_ms);
    // The last file of a split may be too short to hold a flash with a second around it.
    if (offsets.empty() && !missing && last - first < 3000) {
        printf("no flash to measure in %.0f ms of frames\n", last - first);
        return report::exit_code();
    }
    int n = (int)offsets.size(), e = std::min(edge, (n + 1) / 2);
    double head = 0, tail = 0, worst_edge = 0, worst = 0;
    for (int i = 0; i < n; ++i) {
        bool at_edge = i < e || i >= n - e;
        if (i < e) head += offsets[i] / e;
        if (i >= n - e) tail += offsets[i] / e;
        if (at_edge) worst_edge = std::max(worst_edge, std::fabs(offsets[i]));
        worst = std::max(worst, std::fabs(offsets[i]));
    }
    ok(missing == 0 && n >= (last - first < 3000 ? 1 : 2) && unmeasured <= 1 + n / 20,
       "every flash in its frame and with its click: %d paired, %d not (%d not heard by the "
       "program itself, left out)",
       n, missing, unmeasured);
    ok(e > 0 && worst_edge <= 45,
       "offsets of the first and last %d flashes within 45 ms: start %.1f ms, end %.1f ms (largest "
       "%.1f ms; of all %.1f ms)",
       e, head, tail, worst_edge, worst);
    ok(e > 0 && std::fabs(tail - head) < 20, "the offset changes by %.1f ms from start to end",
       tail - head);
    return report::exit_code();
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 7 && !strcmp(argv[1], "show"))
        return show(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), atof(argv[6]));
    if (argc == 9 && !strcmp(argv[1], "check"))
        return check(argv[2], argv[3], argv[4], atoi(argv[5]), argv[6], atof(argv[7]),
                     atoi(argv[8]));
    fprintf(stderr, "usage: flashclick show X Y W H seconds\n"
                    "       flashclick check blocks.gray times.txt sound.s16 rate show.log "
                    "frame_ms edge\n");
    return 2;
}
