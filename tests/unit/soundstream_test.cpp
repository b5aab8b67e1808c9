// Sound in the AVI on the virtual clock: the audio stream stays in step with the frame positions
// however the device's clock drifts from the frame clock, in every numbered file, without a gap
// or a jump; and a device that cannot start or fails leaves the picture recorded and the user
// told once, after Stop.
#include "avifile/recordfile.h"
#include "recorder/soundstream.h"
#include "fakewin/avifile.h"
#include "fakewin/fakewin.h"
#include "fakewin/kernel.h"
#include "fakewin/wavein.h"
#include "recorder/scrcam.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

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

// As the file plays: at every write the sound written and the positions passed agree within the
// larger of a frame's time and 40 ms; at the file's end the sound lasts as long as its frames,
// the last one's included, within half a frame.
void ExpectInStep(const AviFileRecord &f, bool EveryWrite = true) {
    ASSERT_TRUE(f.has_sound) << f.name;
    const double rate = ((const WAVEFORMATEX *)f.sound_format.data())->nSamplesPerSec;
    const double frame = 1000.0 * f.header.dwScale / f.header.dwRate;
    // A file's sound starts on a whole sample: one more may stand at a position's edge.
    const double tolerance = std::max(frame, 40.0) + 1000.0 / rate;
    size_t v = 0, a = 0;
    LONG position = -1;
    int64_t samples = 0;
    for (size_t order = 0; order < f.writes.size() + f.sound_writes.size(); ++order) {
        if (v < f.writes.size() && f.writes[v].order == order)
            position = f.writes[v++].pos;
        else
            samples += f.sound_writes[a++].samples;
        if (position < 0 || !EveryWrite) continue;
        double apart = samples * 1000.0 / rate - position * frame;
        ASSERT_LE(std::abs(apart), tolerance) << f.name << " at write " << order;
    }
    double end = samples * 1000.0 / rate - (position + 1) * frame;
    EXPECT_LE(std::abs(end), frame / 2) << f.name;
}

// The device's samples count up (wave_in_sample): each step is 1, or 0 where one was inserted,
// or 2 where one was dropped, and corrections come 100 samples apart at least. Silence may stand
// only at the end. Returns the samples dropped less those inserted.
int64_t ExpectContiguous(std::vector<BYTE> Sound) {
    while (!Sound.empty() && Sound.back() == Silence)
        Sound.pop_back();
    int64_t net = 0;
    size_t lastCorrection = 0;
    for (size_t i = 1; i < Sound.size(); ++i) {
        size_t quiet = 0; // or in a run where sound was made up at once: inserted
        while (Sound[i + quiet] == Silence)
            ++quiet;
        if (quiet > 2) {
            net -= (int64_t)quiet;
            i += quiet;
            continue;
        }
        int step = (Sound[i] - Sound[i - 1]) & 0xFF;
        EXPECT_LE(step, 2) << "sample " << i;
        if (step > 2) return net;
        if (step == 1) continue;
        EXPECT_TRUE(lastCorrection == 0 || i - lastCorrection >= 100) << "sample " << i;
        lastCorrection = i;
        net += step == 2 ? 1 : -1;
    }
    return net;
}

// An input device started at Start (virtual ms) whose clock runs Error fast: hands its samples
// to the sound in 20 ms blocks as the clock passes each block's end. With Late, once a second a
// block comes back that much late, and the blocks behind it with it.
struct ScriptedInput {
    SoundStream &Sound;
    DWORD Start;
    double Error;
    DWORD Late = 0;
    DWORD Hz = Rate;
    int64_t Given = 0;
    double Held = 0;
    void Until(DWORD Ms) {
        const LONG samples = (LONG)Hz / 50;
        for (;;) {
            double end = Start + (Given + samples) * 1000.0 / (Hz * (1 + Error));
            if (Late && Given / samples % 50 == 25) Held = std::max(Held, end + Late);
            if (std::max(end, Held) > Ms) return;
            std::vector<BYTE> block(samples);
            for (LONG i = 0; i < samples; ++i)
                block[i] = (BYTE)wave_in_sample(Given + i, 8);
            Sound.Arrive(std::move(block), (DWORD)std::ceil(std::max(end, Held)));
            Given += samples;
        }
    }
};

StreamSetup SetupWithSound(const SoundStream &Sound, int Fps) {
    StreamSetup setup;
    setup.Header.fccType = streamtypeVIDEO;
    setup.Header.dwScale = 1;
    setup.Header.dwRate = (DWORD)Fps;
    BITMAPINFOHEADER frame{40, 8, 8, 1, 32, BI_RGB, 256, 0, 0, 0, 0};
    setup.Format.assign((BYTE *)&frame, (BYTE *)&frame + sizeof frame);
    const WAVEFORMATEX &format = Sound.Format();
    setup.SoundFormat.assign((BYTE *)&format, (BYTE *)&format + sizeof format);
    return setup;
}

struct Drift {
    int interval;
    double error;
    int seconds = 3600;
    DWORD late = 0; // ms a block comes back late once a second
    DWORD rate = Rate;
    int lost = 0; // samples lost 5 s before the end (whole 256s: no jump in the count)
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
    sound.Feed(PcmFormat(8, 1, d.rate));
    // At 33 ms the picture plays at 30 frames a second, 1 % slow, and the sound with it.
    ASSERT_TRUE(sound.SetPlayback(d.interval, 1000 / d.interval));
    sound.SetTimeZero(0);
    ScriptedInput input{sound, 0, d.error, d.late, d.rate};
    std::vector<BYTE> pixels(256);
    AVIFileInit();
    {
        RecordFiles files("take.avi", SetupWithSound(sound, 1000 / d.interval));
        ASSERT_EQ(files.Start(), AVIERR_OK);
        files.AttachSound(&sound, d.interval);
        int last = 0;
        for (int p = 0; (int64_t)p * d.interval < d.seconds * 1000; ++p) {
            set_now((DWORD)(p * d.interval));
            if (p * d.interval == (d.seconds - 5) * 1000) input.Given += d.lost;
            input.Until(now());
            ASSERT_EQ(files.Write(p, pixels.data(), 256), AVIERR_OK);
            last = p;
        }
        ASSERT_EQ(files.EndSound(last), AVIERR_OK);
    }
    AVIFileExit();
    auto files = avi_files();
    ASSERT_GE(files.size(), d.seconds / 900u);
    size_t writes = 0;
    for (auto &f : files) {
        ExpectInStep(f, d.lost == 0); // the sound runs short until the loss is known
        writes += f.sound_writes.size();
    }
    // However short the interval, about one block of sound each 20 ms at the most.
    EXPECT_LE(writes, d.seconds * 55u);
    // The device's extra (or missing) 0.1 % went, give or take 18 ms, beside what the file's
    // whole number of samples a second leaves over.
    double corrected = (ExpectContiguous(SoundOf(files)) + d.lost) / (d.seconds * (double)d.rate);
    EXPECT_NEAR(corrected, d.error + 1 - sound.SamplesPerMs() * 1000 / d.rate, 0.018 / d.seconds);
    EXPECT_EQ(avi_live_handles(), 0);
}

// At 48 kHz: 0.3 % off, and 304 ms lost 5 s before the end.
INSTANTIATE_TEST_SUITE_P(FastAndSlowAt100And33Ms, SoundDrift,
                         ::testing::Values(Drift{100, 0.001}, Drift{100, -0.001}, Drift{33, 0.001},
                                           Drift{33, -0.001}, Drift{5, 0.001, 60},
                                           Drift{100, 0.001, 60, 60},
                                           Drift{100, 0.003, 40, 0, 48000},
                                           Drift{100, -0.003, 40, 0, 48000},
                                           Drift{100, 0.003, 40, 0, 48000, 57 * 256},
                                           Drift{100, 0.001, 40, 0, 48000, 5 * 256}));

// A recording through the loop, with the scripted wave-in device: the loop's sleeps move the
// device's clock.
class SoundRun : public ::testing::Test {
  protected:
    void SetUp() override {
        reset();
        cam = std::make_unique<TScreenCam>(nullptr);
        cam->RecordCursor = false;
        cam->RecordSound = true;
        cam->SoundBitsPerSample = 8;
        cam->SoundChannels = 1;
        cam->SoundSamplesPerSec = Rate;
    }
    void TearDown() override {
        AviFileLimit = AviFileSizeLimit;
        cam.reset();
        EXPECT_EQ(avi_live_handles(), 0);
        EXPECT_TRUE(avi_misuse().empty());
        EXPECT_TRUE(wave_in_misuse().empty());
        EXPECT_EQ(wave_in_open_devices(), 0);
        EXPECT_EQ(wave_in_live_events(), 0);
    }
    int Record(int Interval, DWORD Ms, int Fps = 0) {
        cam->MsPerFrame = Interval;
        cam->PlaybackFps = Fps ? Fps : 1000 / Interval;
        on_sleep([this, Ms](DWORD) {
            if (now() >= Ms) cam->Recording = false;
        });
        cam->Recording = true;
        return cam->RecordToFile(0, 0, 8, 8, "take.avi");
    }
    std::unique_ptr<TScreenCam> cam;
};

TEST_F(SoundRun, SplitRecordingThroughTheLoopKeepsEveryFileInStep) {
    WaveInScript script;
    script.rate_error = 0.001;
    script_wave_in(script);
    AviFileLimit = 300000; // about 10 s a file
    EXPECT_EQ(Record(33, 30000), 1);
    auto files = avi_files();
    ASSERT_GE(files.size(), 3u);
    for (auto &f : files) {
        ExpectInStep(f);
        // Read back whole at close: its journal went.
        EXPECT_NE(access((f.name + ".journal").c_str(), F_OK), 0) << f.name;
        // The audio stream as the device records it, played as slow as the picture (33 ms
        // frames at 30 a second): block alignment and byte rate worked out.
        const WAVEFORMATEX *format = (const WAVEFORMATEX *)f.sound_format.data();
        EXPECT_EQ(format->nSamplesPerSec, 10915u); // 11025 * 0.99
        EXPECT_EQ(format->nBlockAlign, 1);
        EXPECT_EQ(f.sound_header.fccType, (DWORD)streamtypeAUDIO);
        EXPECT_EQ(f.sound_header.dwScale, 1u);
        EXPECT_EQ(f.sound_header.dwRate, 10915u);
        EXPECT_EQ(f.sound_header.dwSampleSize, 1u);
    }
    ExpectContiguous(SoundOf(files));
    EXPECT_TRUE(message_boxes().empty());
}

TEST_F(SoundRun, TheFileBeforeASplitHasRoomForItsLastSoundAndClosesOnceThatIsIn) {
    // At 44.1 kHz 16-bit stereo the sound that goes in after the split outweighs a frame.
    cam->SoundBitsPerSample = 16;
    cam->SoundChannels = 2;
    cam->SoundSamplesPerSec = 44100;
    AviFileLimit = 2 << 20;
    std::vector<bool> closed; // the file before, at the tenth frame of each next file
    int opened = 0;
    on_avi_call([&](const std::string &line) {
        if (line.rfind("open ", 0) == 0) ++opened;
        if (line == "write 10" && opened > 1)
            closed.push_back(access(NumberedFileName("take.avi", opened - 1).c_str(), F_OK) == 0);
    });
    EXPECT_EQ(Record(33, 30000), 1);
    auto files = avi_files();
    ASSERT_GE(files.size(), 3u);
    for (auto &f : files)
        EXPECT_LE(f.disk_size(), AviFileLimit) << f.name;
    EXPECT_EQ(closed, std::vector<bool>(files.size() - 1, true));
}

TEST_F(SoundRun, TimeZeroIsTheFirstFrameALateDeviceStartsWithSilence) {
    WaveInScript script;
    script.start_delay = 300;
    script_wave_in(script);
    EXPECT_EQ(Record(100, 2000), 1);
    auto sound = SoundOf(avi_files());
    // 300 ms of silence, give or take the 2 ms within which nothing is corrected, then the
    // device's first sample.
    auto first = std::find_if(sound.begin(), sound.end(), [](BYTE b) { return b != Silence; });
    EXPECT_NEAR(first - sound.begin(), 300 * Rate / 1000, 2 * Rate / 1000);
    EXPECT_EQ(*first, 0);
    ExpectContiguous(std::vector<BYTE>(first, sound.end()));
}

TEST(SoundAlignerTest, SoundBeforeTimeZeroIsDroppedAndAPauseLeavesNoGap) {
    reset();
    SoundStream sound;
    sound.Feed(PcmFormat(8, 1, Rate));
    sound.SetTimeZero(1000);
    ScriptedInput input{sound, 0, 0};
    set_now(1000);
    input.Until(1100);
    std::vector<BYTE> out;
    EXPECT_EQ(sound.Take(Rate / 20, out, false), (LONG)Rate / 20);
    // The first sample is the one captured at the first frame's time.
    EXPECT_NEAR(out[0], (BYTE)(Rate & 0xFF), 1);
    // Paused from 1100 to 1600: what the device records meanwhile goes; after Resume the sound
    // goes on contiguous, a position stands for the same time as before the pause.
    set_now(1100);
    sound.Pause();
    set_now(1600);
    input.Until(1600);
    sound.Resume();
    input.Until(1700);
    out.clear();
    // 50 ms before the pause and 100 ms after it, within a 20 ms block.
    LONG taken = sound.Take(Rate, out, false);
    EXPECT_NEAR(taken, (LONG)(Rate * 150 / 1000), BlockSamples);
    taken += Rate / 20;
    // Long after the blocks before the pause are forgotten, the sound still stands where the
    // frame clock does: neither slowed nor stretched by the time paused. 60 ms of sound lost at
    // 5 s are made up at once, once the loss is known, not eased over seconds.
    for (DWORD t = 1800; t <= 8100; t += 100) {
        if (t == 5000) input.Given += Rate * 60 / 1000;
        set_now(t);
        input.Until(t);
        taken += sound.Take(Rate, out, false);
    }
    EXPECT_NEAR(taken, (LONG)(Rate * (8100 - 500 - 1000) / 1000), BlockSamples);
}

struct BadInput {
    const char *name;
    WaveInScript script;
    bool stream;       // the AVI has an audio stream
    const char *told;  // what the message box begins with
    const char *after; // and what it says of the AVI
    int fps = 10;      // the picture's playback rate (100 ms frames)
    DWORD till = 0;    // ms: the device's sound in the AVI lasts until then
};
class SoundBadInput : public SoundRun, public ::testing::WithParamInterface<BadInput> {};

TEST_P(SoundBadInput, ThePictureIsRecordedAndTheUserToldOnceAfterStop) {
    script_wave_in(GetParam().script);
    EXPECT_EQ(Record(100, 5000, GetParam().fps), 1);
    EXPECT_EQ(cam->FramesWritten, 50);
    auto files = avi_files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].has_sound, GetParam().stream);
    if (GetParam().stream) {
        // Silence keeps the sound in step from the failure on; a device that never delivers
        // is known for silent after a while, and the sound catches up then.
        ExpectInStep(files[0], GetParam().script.delivers && !GetParam().script.stall_ms);
        auto sound = SoundOf(files);
        ExpectContiguous(sound);
        // The device's sound goes on until `till`, its sample of that time there (within 2 ms).
        size_t end = sound.rend() - std::find_if(sound.rbegin(), sound.rend(),
                                                 [](BYTE b) { return b != Silence; });
        EXPECT_NEAR(end, GetParam().till * Rate / 1000, 100 * Rate / 1000);
        size_t at = end - 1 - GetParam().script.stall_ms * Rate / 1000; // the device's count
        EXPECT_TRUE(!end || std::abs((int8_t)(sound[end - 1] - at)) <= 2 * Rate / 1000 + 1);
    }
    auto boxes = message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.rfind(GetParam().told, 0), 0u) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find(GetParam().after), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[0].caption, "Sound");
}

WaveInScript Script(UINT Devices, MMRESULT OpenError, bool Refuses, bool Delivers, DWORD FailsAt,
                    DWORD StallsAt = 0) {
    WaveInScript s;
    s.stalls_at = StallsAt;
    s.stall_ms = StallsAt ? 2500 : 0;
    s.devices = Devices;
    s.open_error = OpenError;
    if (Refuses) s.accepts = [](const WAVEFORMATEX &) { return false; };
    s.delivers = Delivers;
    s.fails_at = FailsAt;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Devices, SoundBadInput,
    ::testing::Values(BadInput{"none", Script(0, 0, false, true, 0), false,
                               "There is no sound input device.", "recorded without sound"},
                      BadInput{"busy", Script(1, MMSYSERR_ALLOCATED, false, true, 0), false,
                               "The sound input device is busy", "recorded without sound"},
                      BadInput{"refuses", Script(1, 0, true, true, 0), false,
                               "The sound input device records none", "recorded without sound"},
                      BadInput{"fails", Script(1, 0, false, true, 2500), true,
                               "The sound input device failed (error 6) after 0:02",
                               "sound up to there and silence after it", 10, 2500},
                      BadInput{"stalls", Script(1, 0, false, true, 0, 1000), true,
                               "The sound input device delivered no sound from 0:01 to 0:03",
                               "silence there", 10, 5000},
                      BadInput{"silent", Script(1, 0, false, false, 0), true,
                               "The sound input device delivered no sound.", "silence"},
                      // Sound that would have to play 2.1 times as fast as it was recorded.
                      BadInput{"fast", Script(1, 0, false, true, 0), false,
                               "At 100 ms a frame played at 21 frames a second",
                               "without sound (the WAV file has it)", 21}),
    [](const ::testing::TestParamInfo<BadInput> &i) { return std::string(i.param.name); });

// A driver may hand back a buffer that ends in part of a sample (the one cut short at Stop the
// likeliest) or say it holds more than it can: the sound is taken in whole samples of the buffer.
TEST_F(SoundRun, ABlockOfPartSamplesOrPastItsBufferIsTakenInWholeSamples) {
    for (int extra : {-1, 1}) {
        WaveInScript script;
        script.extra_bytes = extra;
        script_wave_in(script);
        cam->SoundBitsPerSample = 16;
        alarm(60); // a half sample left over hung the writer: the test program ends instead
        EXPECT_EQ(Record(100, 2000), 1);
        alarm(0);
        ExpectInStep(avi_files().back());
    }
}

TEST_F(SoundRun, ARefusedFormatFallsBackToTheNearestTheDeviceRecords) {
    WaveInScript script;
    script.accepts = [](const WAVEFORMATEX &f) {
        return f.wBitsPerSample == 16 && (f.nSamplesPerSec == 44100 || f.nSamplesPerSec == 48000);
    };
    script_wave_in(script);
    cam->SoundBitsPerSample = 16;
    cam->SoundSamplesPerSec = 48300;
    EXPECT_EQ(Record(100, 1000), 1);
    auto f = avi_files().at(0);
    const WAVEFORMATEX *format = (const WAVEFORMATEX *)f.sound_format.data();
    EXPECT_EQ(format->nSamplesPerSec, 48000u);
    EXPECT_EQ(format->wBitsPerSample, 16);
    EXPECT_EQ(format->nBlockAlign, 2);
    EXPECT_EQ(format->nAvgBytesPerSec, 96000u);
    EXPECT_EQ(f.sound_header.dwRate, 96000u);
    EXPECT_EQ(f.sound_header.dwScale, 2u);
    EXPECT_EQ(wave_in_queries().front().nSamplesPerSec, 48300u);
}

// Sound lost without a stall (300 ms of blocks that never come, at 10 s) is made up within 0.3 s;
// blocks that come back 80 ms late once a second, the three behind them with them, move nothing.
// Each 16-bit sample holds its capture index: a sample output at n holds index n when in step.
TEST(SoundAlignerTest, LostSoundIsMadeUpAtOnceAndLateBlocksMoveNothing) {
    const int rate = 11025;
    for (int lost : {300, 0}) {
        SoundAligner aligner;
        aligner.Reset({2, rate, false}, 0, rate / 1000.0);
        std::vector<uint8_t> out;
        double lastOut = -1; // s: the last sample of sound more than 45 ms out of step
        int quiet = 0;       // samples of silence made up
        for (int64_t ms = 20, given = 0; ms <= 14000; ms += 20) {
            std::vector<uint8_t> block;
            for (given += ms == 10000 ? lost * rate / 1000 : 0; given < ms * rate / 1000; ++given)
                block.insert(block.end(), {(uint8_t)given, (uint8_t)(given >> 8)});
            bool late = ms % 1000 >= 500 && ms % 1000 < 580;
            aligner.Arrived(std::move(block), (uint32_t)(late ? ms - ms % 1000 + 580 : ms));
            int64_t n = aligner.Produced();
            aligner.Produce((int32_t)(ms * rate / 1000 - n), out, false);
            for (; n < aligner.Produced(); ++n) {
                int index = out[2 * n] | out[2 * n + 1] << 8; // 0: silence, no sound
                quiet += !index && (n & 0xFFFF);
                if (index && std::abs((int16_t)(n - index)) > 45 * rate / 1000)
                    lastOut = (double)n / rate;
            }
        }
        if (lost)
            std::printf("[ measured ] back within 45 ms %.3f s after the loss\n", lastOut - 10);
        EXPECT_LT(lastOut, lost ? 10.3 : 0);
        EXPECT_EQ(lost == 0, quiet == 0); // no silence for late blocks, and no drop after it
    }
}

} // namespace
