// The recording's sound: the format asked of the input, the capture thread, and the following of
// the device's clock to the frame clock.
#include "recorder/soundstream.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace {

// Each buffer holds this much sound: short, so that the sound written keeps close behind the
// frames; enough of them that the capture thread may be late by half a second without a loss.
constexpr DWORD BufferMs = 20;
constexpr int BufferCount = 25;
// How long the capture thread waits for a buffer before it looks at the stop flag again.
constexpr DWORD CaptureWaitMs = 100;
// A device that has given nothing for this long has stalled: silence stands for its sound until
// it gives again.
constexpr DWORD StallMs = 2000;
// Rates tried, after the one asked for, when the input refuses it: nearest first.
constexpr DWORD CommonRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};

// What the user is told after Stop when the device failed during the recording.
constexpr const char *SilenceAfter =
    "\n\nThe AVI file has the sound up to there and silence after it.";
constexpr const char *NoSound =
    "The sound input device delivered no sound.\n\nThe sound in the AVI file is silence.";

std::string MinutesSeconds(DWORD Ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%lu:%02lu", (unsigned long)(Ms / 60000),
                  (unsigned long)(Ms / 1000 % 60));
    return text;
}

} // namespace

WAVEFORMATEX PcmFormat(int BitsPerSample, int Channels, DWORD SamplesPerSec) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = (WORD)Channels;
    f.nSamplesPerSec = SamplesPerSec;
    f.wBitsPerSample = (WORD)BitsPerSample;
    f.nBlockAlign = (WORD)(Channels * BitsPerSample / 8);
    f.nAvgBytesPerSec = SamplesPerSec * f.nBlockAlign;
    f.cbSize = 0;
    return f;
}

// ---- the capture

bool SoundStream::Start(const WAVEFORMATEX &Wanted) {
    Stop();
    Failure.clear();
    if (waveInGetNumDevs() == 0) {
        Failure = "There is no sound input device.";
        return false;
    }
    std::vector<DWORD> rates(std::begin(CommonRates), std::end(CommonRates));
    std::stable_sort(rates.begin(), rates.end(), [&](DWORD a, DWORD b) {
        return std::labs((long)a - (long)Wanted.nSamplesPerSec) <
               std::labs((long)b - (long)Wanted.nSamplesPerSec);
    });
    rates.insert(rates.begin(), Wanted.nSamplesPerSec);
    const int bits[] = {Wanted.wBitsPerSample, 16, 8};
    const int channels[] = {Wanted.nChannels, 1, 2};
    MMRESULT error = WAVERR_BADFORMAT;
    bool found = false;
    for (DWORD rate : rates) {
        for (int b : bits) {
            for (int c : channels) {
                WAVEFORMATEX f = PcmFormat(b, c, rate);
                error = waveInOpen(nullptr, WAVE_MAPPER, &f, 0, 0, WAVE_FORMAT_QUERY);
                if (error == MMSYSERR_NOERROR) {
                    Chosen = f;
                    found = true;
                    break;
                }
                if (error != WAVERR_BADFORMAT) break; // the device, not the format
            }
            if (found || error != WAVERR_BADFORMAT) break;
        }
        if (found || error != WAVERR_BADFORMAT) break;
    }
    HWAVEIN device = nullptr;
    if (found) {
        Event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        error = Event
                    ? waveInOpen(&device, WAVE_MAPPER, &Chosen, (DWORD_PTR)Event, 0, CALLBACK_EVENT)
                    : MMSYSERR_ERROR;
    }
    if (!found || error != MMSYSERR_NOERROR) {
        if (Event) CloseHandle(Event);
        Event = nullptr;
        Failure = error == MMSYSERR_ALLOCATED
                      ? "The sound input device is busy (another program is using it)."
                  : !found ? "The sound input device records none of the sound formats asked of it."
                           : "The sound input device could not be opened (error " +
                                 std::to_string(error) + ").";
        return false;
    }
    Device = device;
    DWORD bytes = (DWORD)SamplesIn(Chosen, BufferMs) * Chosen.nBlockAlign;
    Buffers.assign(BufferCount, std::vector<BYTE>(bytes));
    Headers.assign(BufferCount, WAVEHDR{});
    error = MMSYSERR_NOERROR;
    for (int i = 0; i < BufferCount && error == MMSYSERR_NOERROR; ++i) {
        Headers[i].lpData = (LPSTR)Buffers[i].data();
        Headers[i].dwBufferLength = bytes;
        error = waveInPrepareHeader(Device, &Headers[i], sizeof(WAVEHDR));
        if (error == MMSYSERR_NOERROR)
            error = waveInAddBuffer(Device, &Headers[i], sizeof(WAVEHDR));
    }
    {
        std::lock_guard<std::mutex> lock(Lock);
        LastArrival = timeGetTime();
    }
    if (error == MMSYSERR_NOERROR) error = waveInStart(Device);
    Stopping = false;
    WasStarted = error == MMSYSERR_NOERROR;
    if (error == MMSYSERR_NOERROR) {
        try {
            Thread = std::thread(&SoundStream::Capture, this);
        } catch (const std::system_error &) {
            error = MMSYSERR_ERROR;
            WasStarted = false;
        }
    }
    if (error != MMSYSERR_NOERROR) {
        Stop();
        Failure =
            "The sound input device could not be started (error " + std::to_string(error) + ").";
        return false;
    }
    return true;
}

void SoundStream::Capture() {
    size_t next = 0; // the buffers come back in the order they were queued
    bool failed = false;
    for (;;) {
        WaitForSingleObject(Event, CaptureWaitMs);
        bool stopping = Stopping || failed;
        if (stopping) waveInReset(Device); // every buffer comes back now, with what it holds
        // The device clears WHDR_DONE when a buffer is queued again; after a reset every buffer
        // is done, each taken once.
        for (size_t taken = 0; taken < Headers.size(); ++taken) {
            WAVEHDR &h = Headers[next];
            // The device sets the flag on its own thread: read it as a synchronised whole.
            LONG flags = InterlockedCompareExchange((volatile LONG *)&h.dwFlags, 0, 0);
            if (!(flags & WHDR_DONE)) break;
            const BYTE *data = (const BYTE *)h.lpData;
            DWORD bytes = std::min(h.dwBytesRecorded, h.dwBufferLength); // a driver may say more
            Arrive(std::vector<BYTE>(data, data + bytes), timeGetTime());
            next = (next + 1) % Headers.size();
            if (stopping) continue;
            MMRESULT error = waveInAddBuffer(Device, &h, sizeof(WAVEHDR));
            if (error != MMSYSERR_NOERROR) {
                Fail("The sound input device failed (error " + std::to_string(error) + ")");
                failed = true;
            }
        }
        if (stopping) break;
    }
}

void SoundStream::Arrive(std::vector<BYTE> Data, DWORD Time) {
    std::lock_guard<std::mutex> lock(Lock);
    LastArrival = Time;
    // After a failure silence stands for the rest: sound coming after it would be a jump.
    if (Paused || Data.empty() || !Failure.empty()) return;
    if (Stalled && Gap.empty())
        Gap = "The sound input device delivered no sound from " + MinutesSeconds(StalledFrom) +
              " to " + MinutesSeconds(RecordingTime(Time)) +
              " of the recording.\n\nThe AVI file has silence there.";
    Stalled = false;
    Arrivals.emplace_back(std::move(Data), Time - PausedTotal);
    AnyArrived = true;
}

void SoundStream::Fail(const std::string &What) {
    std::lock_guard<std::mutex> lock(Lock);
    if (!Failure.empty()) return;
    Failure = What + " after " + MinutesSeconds(RecordingTime(timeGetTime())) +
              " of the recording." + SilenceAfter;
}

DWORD SoundStream::RecordingTime(DWORD Time) const {
    int32_t ms = (int32_t)(Time - PausedTotal - TimeZero);
    return ms < 0 ? 0 : (DWORD)ms;
}

void SoundStream::SetTimeZero(DWORD Time) {
    std::lock_guard<std::mutex> lock(Lock);
    TimeZero = Time;
    Aligner.Reset({Played.nBlockAlign, Played.nSamplesPerSec, Played.wBitsPerSample == 8}, Time,
                  PerMs);
}

bool SoundStream::SetPlayback(int IntervalMs, int Fps) {
    // The recording's speed on playback: 1 when a frame plays for as long as it was recorded.
    double speed = (double)IntervalMs * Fps / 1000.0;
    if (speed > 2 || speed < 0.5) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "At %d ms a frame played at %d frames a second the picture plays %.2f times "
                      "as fast as it was recorded; the sound would have to run as fast to stay "
                      "with it.\n\nThe AVI file was recorded without sound (the WAV file has it).",
                      IntervalMs, Fps, speed);
        std::lock_guard<std::mutex> lock(Lock);
        Failure = text;
        return false;
    }
    // A whole number of samples a second, near the device's at that speed; what is left over
    // (less than half a sample a second) the aligner takes up as it does the device's drift.
    Played = PcmFormat(Chosen.wBitsPerSample, Chosen.nChannels,
                       (DWORD)std::lround(Chosen.nSamplesPerSec * speed));
    PerMs = Played.nSamplesPerSec / (speed * 1000.0);
    return true;
}

void SoundStream::Pause() {
    std::lock_guard<std::mutex> lock(Lock);
    if (Paused) return;
    Paused = true;
    PauseStart = timeGetTime();
}

void SoundStream::Resume() {
    std::lock_guard<std::mutex> lock(Lock);
    if (!Paused) return;
    Paused = false;
    DWORD now = timeGetTime();
    PausedTotal += now - PauseStart;
    LastArrival = now;
}

LONG SoundStream::Take(LONG Samples, std::vector<BYTE> &Out, bool Fill) {
    decltype(Arrivals) arrived;
    bool silent;
    {
        std::lock_guard<std::mutex> lock(Lock);
        arrived.swap(Arrivals);
        if (!Stalled && !Paused && Device && !Stopping && timeGetTime() - LastArrival > StallMs) {
            Stalled = true;
            StalledFrom = RecordingTime(LastArrival);
        }
        silent = !Failure.empty() || Stalled;
    }
    for (auto &a : arrived)
        Aligner.Arrived(std::move(a.first), a.second);
    return Aligner.Produce(Samples, Out, Fill || silent);
}

void SoundStream::Stop() {
    if (!Device) return;
    Stopping = true;
    if (Thread.joinable()) {
        SetEvent(Event);
        Thread.join();
    } else {
        waveInReset(Device);
    }
    for (auto &h : Headers)
        if (h.dwFlags & WHDR_PREPARED) waveInUnprepareHeader(Device, &h, sizeof(WAVEHDR));
    waveInClose(Device);
    Device = nullptr;
    CloseHandle(Event);
    Event = nullptr;
}

std::string SoundStream::Problem() const {
    std::lock_guard<std::mutex> lock(Lock);
    if (!Failure.empty()) return Failure;
    if (WasStarted && !AnyArrived) return NoSound;
    if (Stalled)
        return "The sound input device stopped delivering sound after " +
               MinutesSeconds(StalledFrom) + " of the recording." + SilenceAfter;
    return Gap;
}
