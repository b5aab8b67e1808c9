// One recording run: version gate, first frame, size negotiation with the chosen compressor,
// the AVI files (recordfile.h), the timed capture loop, teardown and outcome.
#include "recorder/recordthread.h"
#include "marker/flashwnd.h"
#include "recorder/framewriter.h"
#include "avifile/recordfile.h"
#include "recorder/soundstream.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <mutex>
#include <optional>

namespace {

constexpr DWORD DefaultCompressor = mmioFOURCC('M', 'S', 'V', 'C');
// Replaced by the default whenever chosen.
constexpr DWORD ReplacedCompressor = mmioFOURCC('I', 'V', '5', '0');

// A one-millisecond timer period while the run goes, so that Sleep and timeGetTime keep the
// capture interval.
struct TimerPeriod {
    TimerPeriod() { timeBeginPeriod(1); }
    TimerPeriod(const TimerPeriod &) = delete;
    TimerPeriod &operator=(const TimerPeriod &) = delete;
    ~TimerPeriod() { timeEndPeriod(1); }
};

// The marker window belongs to the main thread: the run's calls on it go there and wait.
void OnMainThread(const std::function<void()> &Method) {
    if (TRecordAVIThread *thread = CurrentRecordThread())
        thread->Synchronize(Method);
    else
        RunOnMainThread(Method);
}

// Shows the marker around the area while it lives; hidden again when the run tears down.
// A recorder's runs take turns, so no other run can show the marker before this one has
// hidden it: hiding unconditionally leaves no brackets behind when the next run fails before
// it shows its own.
struct MarkerShown {
    TScreenCam *Recorder;
    MarkerShown(TScreenCam *ARecorder, int Left, int Top, int Width, int Height)
        : Recorder(ARecorder) {
        OnMainThread([&] {
            Recorder->MarkerWindow->SetCaptureRect(Left, Top, Width, Height);
            ShowWindow(Recorder->MarkerWindow->Handle(), SW_SHOW);
        });
    }
    MarkerShown(const MarkerShown &) = delete;
    MarkerShown &operator=(const MarkerShown &) = delete;
    ~MarkerShown() {
        OnMainThread([this] { ShowWindow(Recorder->MarkerWindow->Handle(), SW_HIDE); });
    }
};

void Raise(const TNotifyEvent &Event, TObject *Sender) {
    if (Event) Event(Sender);
}

// Size aligned up to Factor, or down when up would be more than the screen holds. Grown, the
// area stays on the screen: at its edge Start moves inside.
int Align(int &Start, int Size, int Factor, int ScreenStart, int ScreenSize) {
    int r = Size % Factor;
    if (r == 0) return Size;
    int grown = Size + (Factor - r);
    if (grown > ScreenSize) return Size - r;
    Start = std::max(ScreenStart, std::min(Start, ScreenStart + ScreenSize - grown));
    return grown;
}

// The compressor that will record: the one chosen in Options, or the one in use when none is
// chosen or the run repeats a failed one with the default. 'IV50' is never recorded with: the
// default takes its place from the start. InUse: not a choice of the catalogue's.
void CompressorToAsk(TScreenCam *Recorder, bool Repeated, DWORD &Type, DWORD &Handler,
                     bool &InUse) {
    Type = 0, Handler = 0, InUse = false;
    if (Repeated) {
        Type = ICTYPE_VIDEO;
        Handler = Recorder->CompressorFourCC;
        InUse = true;
    } else {
        // The Options command may rebuild the catalogue while we read the entry.
        std::lock_guard<std::mutex> lock(Recorder->CatalogueLock);
        int selected = Recorder->SelectedCompressor;
        if (selected == -1) {
            Type = ICTYPE_VIDEO;
            Handler = Recorder->CompressorFourCC;
            InUse = true;
        } else if (selected >= 0 && selected < Recorder->CompressorCount &&
                   selected < MaxCompressors) {
            Type = Recorder->Compressors[selected].fccType;
            Handler = Recorder->Compressors[selected].fccHandler;
        }
    }
    if (Type && SameFourCC(Handler, ReplacedCompressor)) {
        Type = ICTYPE_VIDEO;
        Handler = DefaultCompressor;
        InUse = true;
    }
}

// Asks the compressor about Area as requested, then grown to multiples of 2, 4 and 8 (the
// default Video 1 compressor takes only multiples of 4, so without this most areas could not be
// recorded at all): Area is left as the first one it takes. False when it takes none (Area as
// requested) or a probe could not be made.
bool GrowUntilAccepted(const TScreenCam *Recorder, RECT &Area,
                       const std::function<bool(int, const RECT &, bool &)> &Accepts) {
    const int width = Area.right - Area.left, height = Area.bottom - Area.top;
    for (int factor = 1; factor <= 8; factor *= 2) {
        int left = Area.left, top = Area.top;
        int w = Align(left, width, factor, Recorder->ScreenLeft, Recorder->ScreenWidth);
        int h = Align(top, height, factor, Recorder->ScreenTop, Recorder->ScreenHeight);
        bool failed = false;
        if (Accepts(factor, {left, top, left + w, top + h}, failed))
            return Area = {left, top, left + w, top + h}, true;
        if (failed) break;
    }
    return false;
}

// Finds a size the compressor that will record accepts (GrowUntilAccepted). Leaves the format
// frame in Current, the size to record in the recorder and the place in Left and Top; false when
// a frame could not be grabbed.
bool Negotiate(TScreenCam *Recorder, OwnedFrame &Current, int &Left, int &Top, int Width,
               int Height) {
    DWORD type, handler;
    bool inUse;
    CompressorToAsk(Recorder, IsRepeatedRun(), type, handler, inUse);
    if (inUse) Recorder->CompressorFourCC = handler;
    QueryCompressor query(type, handler);
    if (!query.get()) {
        // A compressor in use that cannot be asked records at the requested size.
        if (!inUse) Recorder->CompressorFourCC = DefaultCompressor;
        return true;
    }
    RECT area = {Left, Top, Left + Width, Top + Height};
    RECT probed = area; // the current frame's
    bool accepted =
        GrowUntilAccepted(Recorder, area, [&](int Factor, const RECT &Probe, bool &Failed) {
            if (Factor > 1) {
                FreeFrame(Current.Bits);
                probed = Probe;
                Current.Bits = Recorder->CaptureFrame(
                    Probe.left, Probe.top, Probe.right - Probe.left, Probe.bottom - Probe.top);
                if (!Current.Bits) return Failed = true, false;
            }
            return ICCompressQuery(query.get(), Current.Bits, nullptr) == ICERR_OK;
        });
    if (!Current.Bits) return false;
    if (accepted) {
        Left = area.left, Top = area.top;
        Recorder->CaptureWidth = area.right - area.left;
        Recorder->CaptureHeight = area.bottom - area.top;
        // The compressor that accepted the frames records them.
        Recorder->CompressorFourCC = handler;
        return true;
    }
    // The last probe was sized for the compressor that refused: the default records at the
    // size asked for, and the stream format must match the frames written.
    Recorder->CompressorFourCC = DefaultCompressor;
    if (probed.left != Left || probed.top != Top || probed.right != Left + Width ||
        probed.bottom != Top + Height) {
        FreeFrame(Current.Bits);
        Current.Bits = Recorder->CaptureFrame(Left, Top, Width, Height);
    }
    return Current.Bits != nullptr;
}

// The stream header, compressor options and format that every file of the run is made with,
// from the format frame.
StreamSetup MakeStreamSetup(const TScreenCam *R, const OwnedFrame &Format) {
    StreamSetup setup;
    AVISTREAMINFOA &header = setup.Header;
    header.fccType = streamtypeVIDEO;
    header.fccHandler = 0;
    header.dwScale = 1;
    header.dwRate = R->PlaybackFps;
    header.dwSuggestedBufferSize = Format.Bits->biSizeImage;
    header.rcFrame.right = Format.Bits->biWidth;
    header.rcFrame.bottom = Format.Bits->biHeight;
    AVICOMPRESSOPTIONS &options = setup.Options;
    options.fccType = streamtypeVIDEO;
    options.fccHandler = R->CompressorFourCC;
    options.dwKeyFrameEvery = R->KeyFrameEvery;
    options.dwQuality = R->Quality;
    options.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
    const BYTE *format = (const BYTE *)Format.Bits;
    setup.Format.assign(format, format + Format.FormatSize());
    return setup;
}

// Sleeps until position Next is due, in slices so that a stop is seen within one. The time is
// measured from the start of the recording each slice, so that what a sleep overshoots is not
// added up pass after pass.
void SleepUntilDue(const TScreenCam *R, int64_t Next, int Interval, int SleepSlice,
                   const std::function<bool()> &KeepGoing) {
    int64_t due = Next * Interval;
    while (KeepGoing()) {
        int64_t left = due - (int64_t)(DWORD)(timeGetTime() - R->StartTime);
        if (left <= 0) return;
        Sleep((DWORD)std::min<int64_t>(left, SleepSlice));
    }
}

// The longest a paused loop waits before it looks again whether it may go on.
constexpr int PausePollMs = 20;

// Holds the loop still while the recording is paused: the frame in hand is written first, the
// marker stays idle, nothing is grabbed, and on resume the clock is moved on by the pause, so
// that the positions go on as if it had not been (no empty positions, nothing counted as
// skipped). Everything that pauses with the picture pauses here: the sound drops what is
// captured meanwhile, and its clock moves on with the frames'. Returns the in-hand write's error.
HRESULT HoldWhilePaused(TScreenCam *R, SoundStream *Sound, const std::function<HRESULT()> &Finish,
                        int SleepSlice, const std::function<bool()> &KeepGoing) {
    DWORD pausedAt = timeGetTime();
    if (Sound) Sound->Pause();
    // Resumed on every way out, an error's included: the writer may still take sound at the end.
    struct Resumed {
        SoundStream *Sound;
        ~Resumed() {
            if (Sound) Sound->Resume();
        }
    } resumed{Sound};
    HRESULT error = Finish();
    if (error != AVIERR_OK) return error;
    R->LoopPaused = true;
    if (R->ShowMarker && R->RecordThread) R->PaintMarker(false);
    Raise(R->OnProgress, R);
    while (R->Paused && KeepGoing())
        Sleep((DWORD)std::min(SleepSlice, PausePollMs));
    if (Sound) Sound->Resume();
    resumed.Sound = nullptr;
    R->StartTime += timeGetTime() - pausedAt;
    R->LoopPaused = false;
    if (KeepGoing()) Raise(R->OnProgress, R);
    return AVIERR_OK;
}

// The timed loop: grabs frames and hands each to the writer (framewriter.h) at the position
// its capture time calls for, until the recording is stopped. Returns the failed write's error,
// or 0. A frame counts as written when it is handed to the writer, so that the progress shows
// every position passed, and a write that fails takes it back. The grabs take turns between the
// two kept surfaces: each goes into the one the writer does not hold, and the writer reads the
// pixels while the next grab goes on.
HRESULT RecordFrames(TScreenCam *R, FrameWriter &Writer, SoundStream *Sound, int Left, int Top,
                     const std::function<bool()> &KeepGoing, bool &FrameLost) {
    int interval = R->MsPerFrame;
    if (interval < 1) interval = 1; // the loop divides by it
    int sleepSlice = interval / 10;
    if (sleepSlice == 0) sleepSlice = 1;
    Raise(R->OnStart, R);

    DWORD lastWriteTime = 0, lastProgressTime = 0;
    int lastWrittenIndex = 0;
    bool anyHanded = false;
    int freeSurface = 0; // the kept surface that the writer does not hold
    R->FramesWritten = 0;
    R->MsPerFrameActual = 0;
    R->StartTime = timeGetTime();
    R->SkippedFrames = 0;
    // The writer holds the sound already; it reads it first at the first frame handed.
    if (Sound) Sound->SetTimeZero(R->StartTime);
    FrameWriter &writer = Writer;
    // The frame handed before: waits for it, and takes it back when it did not reach the file.
    // At the end, the sound goes up to the end of the last position written.
    auto finish = [&](bool Last = false) {
        HRESULT error = writer.Finish();
        if (error != AVIERR_OK) R->FramesWritten--;
        if (error == FrameNotRead) {
            // Told already, like a grab that fails: the run ends through the same teardown.
            FrameLost = true;
            error = AVIERR_OK;
            Last = false;
        }
        if (Last && error == AVIERR_OK && Sound && anyHanded)
            error = writer.EndSound(lastWrittenIndex);
        return error;
    };
    // A pause is seen at the top of a pass and in the sleep before it.
    auto goOn = [&] { return KeepGoing() && !R->Paused; };
    while (KeepGoing()) {
        if (R->Paused) {
            HRESULT error = HoldWhilePaused(R, Sound, finish, sleepSlice, KeepGoing);
            if (error != AVIERR_OK || FrameLost) return error;
            continue;
        }
        DWORD elapsed = timeGetTime() - R->StartTime;
        GrabSurface &grab = R->GrabArea(freeSurface, Left, Top, R->CaptureWidth, R->CaptureHeight);
        int index = (int)std::nearbyint((double)elapsed / interval);
        R->FrameIndex = index;
        if (index - lastWrittenIndex - 1 > 0) R->SkippedFrames += index - lastWrittenIndex - 1;
        // Position 0 only while nothing is written: a second write there would replace the
        // first frame of the file.
        if (!anyHanded ? index >= 0 : index > lastWrittenIndex) {
            HRESULT error = finish();
            if (error != AVIERR_OK || FrameLost) return error;
            writer.Hand(index, grab);
            freeSurface ^= 1;
            R->FramesWritten++;
            anyHanded = true;
            R->MsPerFrameActual = (double)(elapsed - lastWriteTime);
            lastWriteTime = elapsed;
            lastWrittenIndex = index;
        }
        R->MarkStage(LoopStage::Write);

        if (elapsed > lastProgressTime + 500) {
            lastProgressTime = elapsed;
            Raise(R->OnProgress, R);
        }

        // A pass that took the whole interval or more goes straight on to the next.
        DWORD work = (timeGetTime() - R->StartTime) - elapsed;
        if (work < (DWORD)interval)
            SleepUntilDue(R, (int64_t)index + 1, interval, sleepSlice, goOn);
        R->MarkStage(LoopStage::Sleep);
    }
    return finish(true);
}

// Starts the sound for the AVI when it is asked for; when it cannot start, the frames are
// recorded without it and Problem says why.
void StartSound(const TScreenCam *R, std::optional<SoundStream> &Sound, StreamSetup &Setup,
                std::string &Problem) {
    if (!R->RecordSound) return;
    Sound.emplace();
    if (!Sound->Start(PcmFormat(R->SoundBitsPerSample, R->SoundChannels, R->SoundSamplesPerSec))) {
        Problem = Sound->Problem() + "\n\nThe AVI file was recorded without sound.";
        Sound.reset();
        return;
    }
    if (!Sound->SetPlayback(std::max(1, (int)R->MsPerFrame), R->PlaybackFps)) {
        Problem = Sound->Problem();
        Sound.reset();
        return;
    }
    const BYTE *format = (const BYTE *)&Sound->Format();
    Setup.SoundFormat.assign(format, format + sizeof(WAVEFORMATEX));
}

} // namespace

RECT TScreenCam::AreaToRecord(int Left, int Top, int Width, int Height) {
    RECT area = {Left, Top, Left + Width, Top + Height};
    DWORD type, handler;
    bool inUse;
    CompressorToAsk(this, false, type, handler, inUse);
    QueryCompressor query(type, handler);
    if (!query.get()) return area;
    // A frame's header and colour table say all that the compressor is asked.
    struct {
        BITMAPINFOHEADER Header;
        RGBQUAD Colors[256];
    } format = {};
    BITMAPINFOHEADER &h = format.Header;
    h.biSize = sizeof(h);
    h.biPlanes = 1;
    h.biBitCount = (WORD)BitsPerPixel;
    h.biCompression = BI_RGB;
    h.biClrUsed = BitsPerPixel <= 8 ? 1u << BitsPerPixel : 0;
    RECT grown = area;
    bool accepted = GrowUntilAccepted(this, grown, [&](int, const RECT &Probe, bool &) {
        h.biWidth = Probe.right - Probe.left;
        h.biHeight = Probe.bottom - Probe.top;
        h.biSizeImage = (DWORD)((h.biWidth * BitsPerPixel + 31) / 32 * 4 * h.biHeight);
        return ICCompressQuery(query.get(), &h, nullptr) == ICERR_OK;
    });
    return accepted ? grown : area;
}

int TScreenCam::RecordToFile(int Left, int Top, int Width, int Height,
                             const std::string &FileName) {
    // A worker whose recording was stopped and replaced by a newer one must not carry on
    // when it sees the new recording's flag.
    TRecordAVIThread *thread = CurrentRecordThread();
    auto keepGoing = [this, thread] {
        return Recording && (thread == nullptr || RecordThread == thread);
    };

    CaptureWidth = Width;
    CaptureHeight = Height;

    if (HIWORD(VideoForWindowsVersion()) < 0x010A) {
        MessageBoxA(nullptr, "Failure: Video for Windows version too old!", "Error",
                    MB_ICONERROR | RunBox);
        Raise(OnError, this);
        return RunFailed;
    }

    TimerPeriod period;
    GrabHeldForRun grabHeld(this);
    HRESULT error = AVIERR_OK;
    // The grabber has already told the user when a frame could not be made: such a run ends
    // through the same teardown, without a message of its own.
    bool frameLost = false;
    bool framesRecorded = false;
    std::string soundProblem; // told after the recording
    {
        OwnedFrame frame;
        frame.Bits = CaptureFrame(Left, Top, Width, Height);
        if (frame.Bits)
            frameLost = !Negotiate(this, frame, Left, Top, Width, Height); // may move the area
        else
            frameLost = true;
        if (frameLost) {
            Raise(OnError, this);
            return RunFailed;
        }

        // Declared so that teardown runs in its order: marker hidden, then the writer ends,
        // which closes the file (options freed, file, stream and compressed stream released)
        // and the library, then the sound stops.
        std::optional<SoundStream> sound;
        std::optional<FrameWriter> writer;
        std::optional<MarkerShown> marker;

        // Around the area actually recorded, which the compressor may have grown: brackets
        // around the requested area would stand inside the frames.
        if (ShowMarker) marker.emplace(this, Left, Top, CaptureWidth, CaptureHeight);
        // The sound starts before the writer, which puts its format in the file's streams.
        StreamSetup setup = MakeStreamSetup(this, frame);
        StartSound(this, sound, setup, soundProblem);
        writer.emplace(FileName, setup, WriteBehind, sound ? &*sound : nullptr,
                       std::max(1, (int)MsPerFrame), OnWriteStage);
        error = writer->Open();
        if (error == AVIERR_OK) {
            FreeFrame(frame.Bits);
            error = RecordFrames(this, *writer, sound ? &*sound : nullptr, Left, Top, keepGoing,
                                 frameLost);
            framesRecorded = FramesWritten > 0;
            // The counts after the last write, which the loop's reports may not have shown.
            Raise(OnProgress, this);
            if (sound) soundProblem = sound->Problem();
            Raise(OnStop, this);
        }
    }
    // A file made for a run that failed before its first frame would not play. (The commands
    // delete an earlier recording before they start one: what lies there is this run's.)
    if (!framesRecorded && (error != AVIERR_OK || frameLost)) DeleteFileA(FileName.c_str());
    if (!soundProblem.empty() && framesRecorded)
        MessageBoxA(nullptr, soundProblem.c_str(), "Sound", MB_OK | MB_ICONWARNING | RunBox);

    if (error == AVIERR_OK && !frameLost) return RunRecorded;
    Raise(OnError, this);
    if (frameLost) return RunFailed;
    // Once frames are in the file the compressor has done its part: the write failed for another
    // reason (a full disk, a removed drive), and running again would replace what was recorded.
    if (!SameFourCC(CompressorFourCC, DefaultCompressor) && !framesRecorded) {
        int answer = MessageBoxA(
            nullptr, "Error recording AVI file using current compressor. Use default compressor? ",
            "Notice", MB_YESNO | MB_ICONWARNING | RunBox);
        if (answer != IDYES) return RunFailed;
        CompressorFourCC = DefaultCompressor;
        return RunWithDefault;
    }
    MessageBoxA(nullptr, "Error Creating AVI file", "Error", MB_ICONWARNING | RunBox);
    return RunFailed;
}
