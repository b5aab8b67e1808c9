// Test control of wave-in: one scripted input device whose clock runs against the virtual one
// (a chosen rate error), filling the program's buffers with a known sample sequence as the
// virtual clock passes their end, and failing on demand.
#pragma once
#include "fakewin/types.h"
#include "fakewin/wave.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fakewin {

struct WaveInScript {
    UINT devices = 1;        // waveInGetNumDevs
    MMRESULT open_error = 0; // every open fails so (MMSYSERR_ALLOCATED: busy)
    // Formats the device records (null: every PCM format); others answer WAVERR_BADFORMAT.
    std::function<bool(const WAVEFORMATEX &)> accepts;
    double rate_error = 0; // +0.001: the device records 0.1 % more samples than it says
    DWORD start_delay = 0; // ms from waveInStart to the device's first sample
    bool delivers = true;  // false: buffers are taken and never come back
    // From this virtual time on (0: never) the device breaks: the buffers in its queue come back
    // with what they hold, and every later waveInAddBuffer answers MMSYSERR_NODRIVER.
    DWORD fails_at = 0;
    // From stalls_at, for stall_ms, the device records nothing (and no buffer comes back).
    DWORD stalls_at = 0, stall_ms = 0;
    int extra_bytes = 0; // dwBytesRecorded says this many bytes more (or fewer) than it holds
};
// Replaces the device's script (before a recording opens it).
void script_wave_in(const WaveInScript &script);

// Sample n of the device (counted from its first) is n, as the format holds it: the low 8 bits
// (unsigned) at 8 bits per sample, the low 15 bits at 16; the same in every channel.
int wave_in_sample(int64_t n, int bits);

int wave_in_open_devices();                  // opened and not closed (format queries not counted)
int wave_in_live_events();                   // events created and not closed
std::vector<WAVEFORMATEX> wave_in_queries(); // every format asked about or opened, in order
std::vector<std::string> wave_in_misuse();

// The double's Sleep calls this after the clock moved: buffers whose end the device has reached
// come back, and Sleep returns once the program has taken them (put them back in the queue or
// reset the device), so that what a test sees does not hang on thread timing.
void wave_in_clock_moved();

} // namespace fakewin
