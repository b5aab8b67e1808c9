// Following captured sound to the frame clock: where each sample of the AVI's audio stream
// comes from, with the device's clock kept to the frame clock by single samples inserted or
// dropped, spread out, and a difference a viewer would notice made up at once. Plain C++ without
// Windows types: the capture feeds it blocks, the tests feed it scripted ones.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

// What the clock needs of the sound's format.
struct SoundShape {
    uint32_t BlockAlign = 0; // bytes of one sample, all channels
    uint32_t SamplesPerSec = 0;
    bool EightBit = false; // silence is 0x80, not 0
};

// Follows captured sound to the frame clock. Blocks come in with the frame-clock time at which
// their last sample had been captured; the output's sample n belongs to time n / rate after time
// 0. Before the first block nothing can be placed.
class SoundAligner {
  public:
    // Samples of the output are due at APerMs a millisecond of the frame clock.
    void Reset(const SoundShape &AShape, uint32_t ATimeZero, double APerMs);
    // A captured block and when (frame clock) it was complete.
    void Arrived(std::vector<uint8_t> Data, uint32_t Time);
    // Appends at most Samples samples to Out, as far as sound is at hand; Fill: silence for the
    // rest. Returns the samples appended.
    int32_t Produce(int32_t Samples, std::vector<uint8_t> &Out, bool Fill);
    int64_t Produced() const { return Out; }

  private:
    // Appends Count samples; Skip passes over Count samples of the first block.
    void Emit(const uint8_t *Samples, int64_t Count, std::vector<uint8_t> &Dest);
    void Skip(int64_t Count);
    void ForgetBeforeLoss(double Step);

    SoundShape Shape;
    uint32_t TimeZero = 0;
    double PerMs = 0;
    std::deque<std::vector<uint8_t>> Blocks;
    size_t FrontUsed = 0;                            // bytes of the first block already taken
    int64_t Received = 0;                            // samples captured so far
    int64_t Consumed = 0;                            // captured samples taken (or dropped)
    int64_t Out = 0;                                 // samples produced
    std::deque<std::pair<uint32_t, double>> Offsets; // per block: its time, captured minus due
    double Estimate = 0;                             // captured samples that belong before time 0
    bool Placed = false;     // the first block has set where the output starts
    int64_t SilenceLeft = 0; // capture started late: silence first
    int64_t DropLeft = 0;    // capture started early: sound before time 0 goes
    int64_t SinceCorrection = 0;
    std::vector<uint8_t> Last; // the last sample produced, repeated to insert one
};
