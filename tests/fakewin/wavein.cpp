// The wave-in device of the double and the events its buffers are signalled with. The device
// runs on the virtual clock: when Sleep moves it past the end of the first queued buffer, that
// buffer is filled with the device's samples, marked done, and the open's event is set.
#include "fakewin/area.h"
#include "fakewin/kernel.h"
#include "fakewin/wavein.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <set>

namespace fakewin {
namespace {

struct Event {
    std::mutex mutex;
    std::condition_variable cv;
    bool manual = false;
    bool set = false;
};

struct WaveState {
    WaveInScript script;
    std::vector<WAVEFORMATEX> queries;
    std::vector<std::string> misuse;
    std::set<Event *> events;
    HWAVEIN__ device{};
    bool open = false;
    WAVEFORMATEX format{};
    Event *event = nullptr;
    std::deque<WAVEHDR *> queue;
    bool started = false;
    bool broken = false;
    DWORD start_time = 0;
    int64_t produced = 0;         // samples handed to the program so far
    std::set<WAVEHDR *> awaiting; // buffers come back and not yet taken
};
Area<WaveState> wave;
WaveState &s = wave.s;
std::condition_variable taken; // with wave.mutex: the program took a returned buffer
using Lock = std::unique_lock<std::mutex>;

// Events outlive a reset (the program may still hold one): kept here, never freed.
std::list<Event> &AllEvents() {
    static std::list<Event> events;
    return events;
}

void Signal(Event *e) {
    if (!e) return;
    std::lock_guard<std::mutex> lock(e->mutex);
    e->set = true;
    e->cv.notify_all();
}

// Samples the device has recorded by now. Lock held.
int64_t RecordedBy(DWORD at) {
    if (!s.started || at - s.start_time < s.script.start_delay) return 0;
    double ms = (double)(at - s.start_time - s.script.start_delay);
    if (at > s.script.stalls_at) ms -= std::min<DWORD>(at - s.script.stalls_at, s.script.stall_ms);
    return (int64_t)(ms * s.format.nSamplesPerSec * (1 + s.script.rate_error) / 1000);
}

void Fill(WAVEHDR *h, int64_t samples) {
    WORD bits = s.format.wBitsPerSample;
    BYTE *out = (BYTE *)h->lpData;
    for (int64_t i = 0; i < samples; ++i) {
        int value = wave_in_sample(s.produced + i, bits);
        for (WORD c = 0; c < s.format.nChannels; ++c) {
            if (bits == 8) {
                *out++ = (BYTE)value;
            } else {
                *out++ = (BYTE)(value & 0xFF);
                *out++ = (BYTE)(value >> 8);
            }
        }
    }
    s.produced += samples;
    h->dwBytesRecorded = (DWORD)(samples * s.format.nBlockAlign + s.script.extra_bytes);
    // Published last, as a driver does: the program reads the flag while the device runs.
    DWORD flags = __atomic_load_n(&h->dwFlags, __ATOMIC_ACQUIRE);
    __atomic_store_n(&h->dwFlags, (flags & ~WHDR_INQUEUE) | WHDR_DONE, __ATOMIC_RELEASE);
    s.awaiting.insert(h);
}

// Gives every queued buffer back with what the device recorded into it so far. Lock held.
void ReturnQueue(DWORD at) {
    int64_t have = s.script.delivers ? RecordedBy(at) - s.produced : 0;
    while (!s.queue.empty()) {
        WAVEHDR *h = s.queue.front();
        s.queue.pop_front();
        int64_t room = h->dwBufferLength / s.format.nBlockAlign;
        int64_t n = have < 0 ? 0 : (have < room ? have : room);
        Fill(h, n);
        have -= n;
    }
    s.awaiting.clear(); // the program is taking them back for good
}

bool Usable(HWAVEIN device, const char *what) {
    if (device == &s.device && s.open) return true;
    s.misuse.push_back(std::string(what) + " on a device not open");
    return false;
}

} // namespace

void script_wave_in(const WaveInScript &script) { wave.set(&WaveState::script, script); }
int wave_in_sample(int64_t n, int bits) { return bits == 8 ? (int)(n & 0xFF) : (int)(n & 0x7FFF); }
int wave_in_open_devices() { return wave.get(&WaveState::open) ? 1 : 0; }
int wave_in_live_events() { return (int)wave.get(&WaveState::events).size(); }
std::vector<WAVEFORMATEX> wave_in_queries() { return wave.get(&WaveState::queries); }
std::vector<std::string> wave_in_misuse() { return wave.get(&WaveState::misuse); }

void wave_in_clock_moved() {
    Lock lock(wave.mutex);
    if (!s.open || !s.started) return;
    DWORD at = now();
    bool fails = s.script.fails_at && at >= s.script.fails_at && !s.broken;
    int64_t recorded = RecordedBy(at);
    bool due = !s.queue.empty() &&
               recorded - s.produced >= s.queue.front()->dwBufferLength / s.format.nBlockAlign;
    if (!fails && (s.broken || !s.script.delivers || !due)) return;
    // A driver writes the buffers while the program waits for them: the buffers are filled
    // once the capture thread waits on the event, and under the event's lock, so that it sees
    // them whole when it wakes.
    std::unique_lock<std::mutex> event;
    if (s.event) {
        event = std::unique_lock<std::mutex>(s.event->mutex);
    }
    if (fails) {
        s.broken = true;
        ReturnQueue(s.script.fails_at);
        if (s.event) {
            s.event->set = true;
            s.event->cv.notify_all();
            event.unlock();
        }
        // The clock stands still until the program has seen the failure and reset the device:
        // what it tells of the failure cannot race the clock.
        taken.wait_for(lock, std::chrono::seconds(5), [] { return !s.started || !s.open; });
        return;
    }
    bool any = false;
    while (!s.queue.empty()) {
        WAVEHDR *h = s.queue.front();
        int64_t room = h->dwBufferLength / s.format.nBlockAlign;
        if (recorded - s.produced < room) break;
        s.queue.pop_front();
        Fill(h, room);
        any = true;
    }
    if (!any) return;
    if (s.event) {
        s.event->set = true;
        s.event->cv.notify_all();
        event.unlock();
    }
    // Real time: the program's capture thread takes the buffers while this thread waits.
    taken.wait_for(lock, std::chrono::seconds(5), [] { return s.awaiting.empty() || !s.open; });
}

} // namespace fakewin

using namespace fakewin;

UINT waveInGetNumDevs() {
    Lock lock(wave.mutex);
    return s.script.devices;
}

MMRESULT waveInOpen(HWAVEIN *device, UINT, const WAVEFORMATEX *format, DWORD_PTR callback,
                    DWORD_PTR, DWORD flags) {
    Lock lock(wave.mutex);
    s.queries.push_back(*format);
    if (s.script.devices == 0) return MMSYSERR_BADDEVICEID;
    if (s.script.open_error) return s.script.open_error;
    bool pcm = format->wFormatTag == WAVE_FORMAT_PCM &&
               format->nBlockAlign == format->nChannels * format->wBitsPerSample / 8 &&
               format->nAvgBytesPerSec == format->nSamplesPerSec * format->nBlockAlign;
    if (!pcm || (s.script.accepts && !s.script.accepts(*format))) return WAVERR_BADFORMAT;
    if (flags & WAVE_FORMAT_QUERY) return MMSYSERR_NOERROR;
    if (s.open) return MMSYSERR_ALLOCATED;
    if ((flags & CALLBACK_EVENT) != CALLBACK_EVENT || !s.events.count((Event *)callback))
        s.misuse.push_back("waveInOpen without an event");
    s.open = true;
    s.started = s.broken = false;
    s.format = *format;
    s.event = (Event *)callback;
    s.produced = 0;
    s.awaiting.clear();
    *device = &s.device;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR *h, UINT) {
    Lock lock(wave.mutex);
    if (!Usable(device, "waveInPrepareHeader")) return MMSYSERR_INVALHANDLE;
    h->dwFlags = WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR *h, UINT) {
    Lock lock(wave.mutex);
    if (!Usable(device, "waveInUnprepareHeader")) return MMSYSERR_INVALHANDLE;
    if (h->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    h->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR *h, UINT) {
    Lock lock(wave.mutex);
    if (!Usable(device, "waveInAddBuffer")) return MMSYSERR_INVALHANDLE;
    if (!(h->dwFlags & WHDR_PREPARED))
        s.misuse.push_back("waveInAddBuffer of an unprepared buffer");
    if (h->dwBufferLength % s.format.nBlockAlign)
        s.misuse.push_back("waveInAddBuffer of a buffer not a whole number of samples");
    s.awaiting.erase(h);
    taken.notify_all();
    if (s.broken) return MMSYSERR_NODRIVER;
    h->dwFlags = (h->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    h->dwBytesRecorded = 0;
    s.queue.push_back(h);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN device) {
    Lock lock(wave.mutex);
    if (!Usable(device, "waveInStart")) return MMSYSERR_INVALHANDLE;
    s.started = true;
    s.start_time = now();
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN device) {
    Lock lock(wave.mutex);
    if (!Usable(device, "waveInReset")) return MMSYSERR_INVALHANDLE;
    if (!s.broken) ReturnQueue(now());
    Signal(s.event);
    s.queue.clear();
    s.started = false;
    taken.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN device) {
    Lock lock(wave.mutex);
    if (!Usable(device, "waveInClose")) return MMSYSERR_INVALHANDLE;
    if (!s.queue.empty()) return WAVERR_STILLPLAYING;
    s.open = false;
    s.started = false;
    taken.notify_all();
    return MMSYSERR_NOERROR;
}

HANDLE CreateEventA(void *, BOOL manualReset, BOOL initialState, LPCSTR) {
    Lock lock(wave.mutex);
    AllEvents().emplace_back();
    Event *e = &AllEvents().back();
    e->manual = manualReset != FALSE;
    e->set = initialState != FALSE;
    s.events.insert(e);
    return e;
}

namespace {
// The event behind a handle, or null (noted as misuse by What) when none is open.
Event *OpenEvent(HANDLE handle, const char *What) {
    Lock lock(wave.mutex);
    if (s.events.count((Event *)handle)) return (Event *)handle;
    s.misuse.push_back(std::string(What) + " on an event not open");
    return nullptr;
}
} // namespace

BOOL SetEvent(HANDLE handle) {
    Event *e = OpenEvent(handle, "SetEvent");
    if (!e) return FALSE;
    Signal(e);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD ms) {
    Event *e = OpenEvent(handle, "WaitForSingleObject");
    if (!e) return WAIT_TIMEOUT;
    std::unique_lock<std::mutex> lock(e->mutex);
    auto set = [e] { return e->set; };
    bool signalled = true;
    if (ms == INFINITE)
        e->cv.wait(lock, set);
    else
        signalled = e->cv.wait_for(lock, std::chrono::milliseconds(ms), set);
    if (!signalled) return WAIT_TIMEOUT;
    if (!e->manual) e->set = false;
    return WAIT_OBJECT_0;
}

// CloseHandle (files.cpp) hands on every handle that is not an open file.
BOOL CloseEventHandle(HANDLE handle) {
    Lock lock(wave.mutex);
    if (!s.events.erase((Event *)handle)) {
        s.misuse.push_back("CloseHandle on a handle not open");
        return FALSE;
    }
    return TRUE;
}

LONG InterlockedCompareExchange(volatile LONG *target, LONG exchange, LONG comparand) {
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return comparand;
}
