// The sound clock: where the output stands against the frame clock, and the corrections that
// keep it there.
#include "recorder/soundclock.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// The blocks whose offsets estimate where the output stands: the one captured with the least
// delay before its buffer came back shows it best.
constexpr uint32_t OffsetWindowMs = 2000;
// Corrections start beyond this many milliseconds of difference, one sample at a time, at most
// one in this many samples (1 % at any rate: well beyond any sound card's error).
constexpr double DeadbandMs = 2;
constexpr int64_t CorrectionSpacing = 100;
// A difference beyond this (viewers notice sound 45 ms ahead of the picture), after sound was
// lost or a device stalled, is made up at once: silence inserted, or the sound dropped.
constexpr double StepMs = 45;
// Sound lost shows as every block from then on standing more than a step below the ones before.
// Blocks that come back late stand as low, but only those held up together, which come at once:
// a loss is known when the low ones have come over this long.
constexpr uint32_t LossKnownMs = 100;

} // namespace

void SoundAligner::Reset(const SoundShape &AShape, uint32_t ATimeZero, double APerMs) {
    *this = SoundAligner();
    Shape = AShape;
    TimeZero = ATimeZero;
    PerMs = APerMs;
}

void SoundAligner::Arrived(std::vector<uint8_t> Data, uint32_t Time) {
    if (Shape.BlockAlign == 0) return;
    size_t samples = Data.size() / Shape.BlockAlign;
    if (samples == 0) return;
    Data.resize(samples * Shape.BlockAlign); // a part of a sample at the end is never taken
    Received += (int64_t)samples;
    Blocks.push_back(std::move(Data));
    // Captured minus due at the block's end: a block that came back late makes this smaller.
    double due = (double)(int32_t)(Time - TimeZero) * PerMs;
    Offsets.emplace_back(Time, (double)Received - due);
    while (Time - Offsets.front().first > OffsetWindowMs)
        Offsets.pop_front();
    ForgetBeforeLoss(StepMs * Shape.SamplesPerSec / 1000);
    Estimate = Offsets.front().second;
    for (auto &o : Offsets)
        Estimate = std::max(Estimate, o.second);
    if (!Placed) {
        // Within the deadband the start is taken as exact, as every later difference is.
        int64_t start = (int64_t)std::llround(Estimate);
        if (std::abs(Estimate) <= std::max(1.0, DeadbandMs * Shape.SamplesPerSec / 1000)) start = 0;
        if (start >= 0)
            DropLeft = start;
        else
            SilenceLeft = -start;
        Placed = true;
    }
}

// The blocks before a loss no longer tell where the output stands: without them the estimate
// drops to the blocks after it at once, and stays there.
void SoundAligner::ForgetBeforeLoss(double Step) {
    std::vector<double> bestBefore(Offsets.size());
    for (size_t i = 1; i < Offsets.size(); ++i)
        bestBefore[i] =
            i == 1 ? Offsets[0].second : std::max(bestBefore[i - 1], Offsets[i - 1].second);
    size_t lowFrom = Offsets.size();
    double lowBest = 0;
    for (size_t i = Offsets.size(); i-- > 1;) {
        lowBest =
            i + 1 == Offsets.size() ? Offsets[i].second : std::max(lowBest, Offsets[i].second);
        if (lowBest >= bestBefore[i] - Step) break;
        lowFrom = i;
    }
    if (lowFrom < Offsets.size() && Offsets.back().first - Offsets[lowFrom].first >= LossKnownMs)
        Offsets.erase(Offsets.begin(), Offsets.begin() + (std::ptrdiff_t)lowFrom);
}

void SoundAligner::Emit(const uint8_t *Samples, int64_t Count, std::vector<uint8_t> &Dest) {
    const size_t align = Shape.BlockAlign;
    Dest.insert(Dest.end(), Samples, Samples + Count * align);
    Last.assign(Samples + (Count - 1) * align, Samples + Count * align);
    Out += Count;
    SinceCorrection += Count;
}

void SoundAligner::Skip(int64_t Count) {
    Consumed += Count;
    FrontUsed += (size_t)Count * Shape.BlockAlign;
    if (FrontUsed >= Blocks.front().size()) {
        Blocks.pop_front();
        FrontUsed = 0;
    }
}

int32_t SoundAligner::Produce(int32_t Samples, std::vector<uint8_t> &Dest, bool Fill) {
    const size_t align = Shape.BlockAlign;
    if (align == 0) return 0;
    const uint8_t quiet = Shape.EightBit ? 0x80 : 0;
    const double deadband = std::max(1.0, DeadbandMs * Shape.SamplesPerSec / 1000);
    const int64_t spacing = CorrectionSpacing;
    const double step = StepMs * Shape.SamplesPerSec / 1000;
    const int64_t start = Out;
    auto silence = [&](int64_t Count) {
        Dest.insert(Dest.end(), (size_t)Count * align, quiet);
        Last.assign(align, quiet);
        Out += Count;
        SinceCorrection += Count;
    };
    while (Out - start < Samples && Placed) {
        int64_t wanted = Samples - (Out - start);
        if (SilenceLeft > 0) {
            int64_t n = std::min(SilenceLeft, wanted);
            silence(n);
            SilenceLeft -= n;
            continue;
        }
        if (Blocks.empty()) break;
        const uint8_t *next = Blocks.front().data() + FrontUsed;
        int64_t available = (int64_t)((Blocks.front().size() - FrontUsed) / align);
        if (DropLeft > 0) {
            int64_t n = std::min(DropLeft, available);
            DropLeft -= n;
            Skip(n);
            continue;
        }
        // Between corrections the difference stays as it is: runs of samples go in one copy.
        double error = (double)(Consumed - Out) - Estimate;
        if (std::abs(error) > step) { // far out: at once, the stream still contiguous
            (error > 0 ? SilenceLeft : DropLeft) = std::llround(std::abs(error));
            continue;
        }
        bool due = SinceCorrection >= spacing;
        if (due && error > deadband) { // the device has fallen behind: one sample twice
            std::vector<uint8_t> last = Last.empty() ? std::vector<uint8_t>(align, quiet) : Last;
            Emit(last.data(), 1, Dest);
            SinceCorrection = 0;
            continue;
        }
        if (due && error < -deadband) { // it has run ahead: one sample goes
            Skip(1);
            SinceCorrection = 0;
            continue;
        }
        int64_t n = std::min(available, wanted);
        if (std::abs(error) > deadband) n = std::min(n, spacing - SinceCorrection);
        Emit(next, n, Dest);
        Skip(n);
    }
    if (Fill && Out - start < Samples) {
        silence(Samples - (Out - start));
        // What was filled in stands for sound that will not come.
        SilenceLeft = 0;
        Placed = true;
    }
    return (int32_t)(Out - start);
}
