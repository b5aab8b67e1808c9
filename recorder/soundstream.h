// The recording's sound for the AVI's audio stream: captured from the default input with
// wave-in, beside the MCI recording of the WAV file, and followed to the frame clock. The
// device's buffers come back to a capture thread of its own; the writer thread takes the sound
// for each stretch of the recording as it writes the frames. The device's clock and the frame
// clock drift apart: the sound is kept in step by inserting or dropping single samples, spread
// out, so that it does not jump; sound lost or a stalled device is made up at once. The sound
// never has a gap (the AVI library refuses audio that is not contiguous).
#pragma once
#include "avifile/recordfile.h"
#include "recorder/soundclock.h"
#include "framework/winapi.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// PCM with block alignment and byte rate worked out from the format.
WAVEFORMATEX PcmFormat(int BitsPerSample, int Channels, DWORD SamplesPerSec);

// The capture: wave-in on the default input, buffers handed back on a thread of its own.
class SoundStream : public SoundSource {
  public:
    SoundStream() = default;
    ~SoundStream() override { Stop(); }
    SoundStream(const SoundStream &) = delete;
    SoundStream &operator=(const SoundStream &) = delete;

    // Opens the default input in Wanted, or in the nearest format it records, and starts it.
    // False when no capture could start; Problem() then says why.
    bool Start(const WAVEFORMATEX &Wanted);
    bool Started() const { return Device != nullptr; }
    const WAVEFORMATEX &Format() const override { return Played; }
    double SamplesPerMs() const override { return PerMs; }
    // The picture plays a frame of IntervalMs at Fps frames a second: the sound goes into the
    // file at the rate that plays it as fast, so that the two stay in step whatever the speed
    // (a 33 ms interval at 30 frames a second plays 1 % slow, the sound with it). False, and the
    // sound is not for the file, when that rate would be more than twice or less than half its
    // own (Problem() says so).
    bool SetPlayback(int IntervalMs, int Fps);
    // The frame clock's time 0: the first frame's capture time.
    void SetTimeZero(DWORD Time);
    // Sound captured while paused is dropped; the output goes on contiguous after Resume, as if
    // the pause had not been (the frame positions do the same).
    void Pause();
    void Resume();
    // Appends at most Samples samples to Out (writer thread). When the device has failed or
    // stalled, and with Fill, silence stands for what was not captured. Returns the samples
    // appended.
    LONG Take(LONG Samples, std::vector<BYTE> &Out, bool Fill) override;
    // Takes its sound from Arrive alone, in Format, instead of from a device: a scripted
    // source stands in for the input.
    void Feed(const WAVEFORMATEX &AFormat) {
        Chosen = Played = AFormat;
        PerMs = AFormat.nSamplesPerSec / 1000.0;
    }
    // A block of sound captured, complete at Time (frame clock). The capture thread hands every
    // buffer that came back here.
    void Arrive(std::vector<BYTE> Data, DWORD Time);
    // Ends the capture; what was captured can still be taken. Releases the device.
    void Stop() override;
    // What went wrong, for the user after Stop; empty when nothing did.
    std::string Problem() const;

  private:
    void Capture();
    void Fail(const std::string &What);
    // The recording's time at Time (frame clock), pauses taken off. Lock held.
    DWORD RecordingTime(DWORD Time) const;

    WAVEFORMATEX Chosen{}; // as the device records
    WAVEFORMATEX Played{}; // as the file plays it
    double PerMs = 0;      // file samples a millisecond of the recording
    HWAVEIN Device = nullptr;
    HANDLE Event = nullptr;
    std::vector<WAVEHDR> Headers;
    std::vector<std::vector<BYTE>> Buffers;
    std::thread Thread;
    std::atomic<bool> Stopping{false};

    mutable std::mutex Lock; // what the capture thread hands over, and the state below
    std::deque<std::pair<std::vector<BYTE>, DWORD>> Arrivals;
    bool Paused = false;
    DWORD PauseStart = 0;
    DWORD PausedTotal = 0;
    DWORD LastArrival = 0; // frame clock
    bool AnyArrived = false;
    bool Stalled = false;  // nothing came for a while: silence stands for the sound meanwhile
    DWORD StalledFrom = 0; // recording time of the last sound before it
    std::string Gap;       // the first stretch without sound, for the user
    bool WasStarted = false;
    std::string Failure;
    DWORD TimeZero = 0;

    SoundAligner Aligner; // writer thread only
};
