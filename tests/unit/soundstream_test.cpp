// Sound in the AVI on the virtual clock: the audio stream stays in step with the frame positions
// however the device's clock drifts from the frame clock, in every numbered file, without a gap
// or a jump; and a device that cannot start or fails leaves the picture recorded and the user
// told once, after Stop.
#include "avifile/recordfile.h"
#include "avifile/soundstream.h"
#include "fakewin/avifile.h"
#include "fakewin/fakewin.h"
#include "fakewin/kernel.h"
#include "fakewin/wavein.h"
#include "recorder/scrcam.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

using namespace fakewin;

namespace {

constexpr DWORD Rate = 11025;            // 8 bits, mono: one byte a sample
constexpr LONG BlockSamples = Rate / 50; // the device hands 20 ms at a time
constexpr BYTE Silence = 0x80;

std::vector<BYTE> SoundOf(const std::vector<AviFileRecord> &Files) {
    std::vector<BYTE> out;
    for (auto &f : Files)
        for (auto &w : f.sound_writes)
            out.insert(out.end(), w.data.begin(), w.data.end());
    return out;
}

// At every write the sound written and the positions passed agree within the larger of the
// interval and 40 ms; at the file's end the sound lasts as long as its frames, within one interval.
void ExpectInStep(const AviFileRecord &f, int Interval) {
    ASSERT_TRUE(f.has_sound) << f.name;
    // A file's sound starts on a whole sample: one more may stand at a position's edge.
    const double tolerance = std::max(Interval, 40) + 1000.0 / Rate;
    size_t v = 0, a = 0;
    LONG position = -1;
    int64_t samples = 0;
    for (size_t order = 0; order < f.writes.size() + f.sound_writes.size(); ++order) {
        if (v < f.writes.size() && f.writes[v].order == order)
            position = f.writes[v++].pos;
        else
            samples += f.sound_writes[a++].samples;
        if (position < 0) continue;
        double apart = samples * 1000.0 / Rate - (double)position * Interval;
        ASSERT_LE(std::abs(apart), tolerance) << f.name << " at write " << order;
    }
    double end = samples * 1000.0 / Rate - (double)(position + 1) * Interval;
    EXPECT_LE(std::abs(end), Interval + 1000.0 / Rate) << f.name;
}

// The device's samples count up (wave_in_sample): each step is 1, or 0 where one was inserted,
// or 2 where one was dropped, and corrections never come two in a row. Silence may stand only at
// the end. Returns the samples dropped less those inserted.
int64_t ExpectContiguous(std::vector<BYTE> Sound) {
    while (!Sound.empty() && Sound.back() == Silence)
        Sound.pop_back();
    int64_t net = 0;
    size_t lastCorrection = 0;
    for (size_t i = 1; i < Sound.size(); ++i) {
        int step = (Sound[i] - Sound[i - 1]) & 0xFF;
        EXPECT_LE(step, 2) << "sample " << i;
        if (step > 2) return net;
        if (step == 1) continue;
        EXPECT_TRUE(lastCorrection == 0 || i - lastCorrection > 2) << "sample " << i;
        lastCorrection = i;
        net += step == 2 ? 1 : -1;
    }
    return net;
}

// An input device started at Start (virtual ms) whose clock runs Error fast: hands its samples
// to the sound in 20 ms blocks as the clock passes each block's end.
struct ScriptedInput {
    SoundStream &Sound;
    DWORD Start;
    double Error;
    int64_t Given = 0;
    void Until(DWORD Ms) {
        for (;;) {
            double end = Start + (Given + BlockSamples) * 1000.0 / (Rate * (1 + Error));
            if (end > Ms) return;
            std::vector<BYTE> block(BlockSamples);
            for (LONG i = 0; i < BlockSamples; ++i)
                block[i] = (BYTE)wave_in_sample(Given + i, 8);
            Sound.Arrive(std::move(block), (DWORD)std::ceil(end));
            Given += BlockSamples;
        }
    }
};

StreamSetup SetupWithSound() {
    StreamSetup setup;
    setup.Header.fccType = streamtypeVIDEO;
    setup.Header.dwScale = 1;
    BITMAPINFOHEADER frame{40, 8, 8, 1, 32, BI_RGB, 256, 0, 0, 0, 0};
    setup.Format.assign((BYTE *)&frame, (BYTE *)&frame + sizeof frame);
    WAVEFORMATEX format = PcmFormat(8, 1, Rate);
    setup.SoundFormat.assign((BYTE *)&format, (BYTE *)&format + sizeof format);
    return setup;
}

struct Drift {
    int interval;
    double error;
};
class SoundDrift : public ::testing::TestWithParam<Drift> {
  protected:
    void SetUp() override { reset(); }
    void TearDown() override { AviFileLimit = AviFileSizeLimit; }
};

TEST_P(SoundDrift, AnHourStaysInStepInEveryFileWithoutAGapOrAJump) {
    const Drift d = GetParam();
    AviFileLimit = 16 << 20; // an hour in four to six files
    SoundStream sound;
    sound.Feed(PcmFormat(8, 1, Rate));
    sound.SetTimeZero(0);
    ScriptedInput input{sound, 0, d.error};
    std::vector<BYTE> pixels(256);
    AVIFileInit();
    {
        RecordFiles files("take.avi", SetupWithSound());
        ASSERT_EQ(files.Start(), AVIERR_OK);
        files.AttachSound(&sound, d.interval);
        int last = 0;
        for (int p = 0; (int64_t)p * d.interval < 3600 * 1000; ++p) {
            set_now((DWORD)(p * d.interval));
            input.Until(now());
            ASSERT_EQ(files.Write(p, pixels.data(), 256), AVIERR_OK);
            last = p;
        }
        ASSERT_EQ(files.EndSound(last), AVIERR_OK);
    }
    AVIFileExit();
    auto files = avi_files();
    ASSERT_GE(files.size(), 4u);
    for (auto &f : files)
        ExpectInStep(f, d.interval);
    // The device's extra (or missing) 0.1 % went, give or take a few milliseconds.
    double corrected = ExpectContiguous(SoundOf(files)) / (3600.0 * Rate);
    EXPECT_NEAR(corrected, d.error, 0.000005);
    EXPECT_EQ(avi_live_handles(), 0);
}

INSTANTIATE_TEST_SUITE_P(FastAndSlowAt100And33Ms, SoundDrift,
                         ::testing::Values(Drift{100, 0.001}, Drift{100, -0.001}, Drift{33, 0.001},
                                           Drift{33, -0.001}));

} // namespace
