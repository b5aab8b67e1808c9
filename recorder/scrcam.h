// The recorder: settings, progress counters, compressor catalogue, the corner marker it
// owns, and the worker thread that carries a recording.
#pragma once
#include "framework/classes.h"
#include "framework/gdiholders.h"
#include "framework/thread.h"
#include "framework/winapi.h"
#include "framework/VFW.h"
#include "avifile/recordfile.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class TFlashingWnd;
class TScreenCam;

// Entries the compressor catalogue holds at most (the manager indices it asks about).
constexpr int MaxCompressors = 32;
// Characters in a compressor's description (ICINFO's field).
constexpr int DescriptionLength = 128;
// What one recording run ends with.
constexpr int RunRecorded = 1;     // the file was written
constexpr int RunFailed = 0;       // the user has been told why
constexpr int RunWithDefault = -1; // run again with the default compressor (the user said yes)
// The boxes of a recording: shown with no owner (a run's on its own thread) while the main
// window stays on top, they must come above it and take the focus to be seen. Wine makes a box
// top-most only for MB_SYSTEMMODAL, which on Windows is MB_TOPMOST without an owner.
constexpr UINT RunBox = MB_TOPMOST | MB_SYSTEMMODAL | MB_SETFOREGROUND;

// Area of the latest StartRecording; a run reads it when it starts.
extern std::atomic<int> RecordLeft, RecordTop, RecordWidth, RecordHeight;

class TRecordAVIThread : public TThread {
  public:
    TRecordAVIThread(TScreenCam *ARecorder, const std::string &AAviFileName);

    TScreenCam *Recorder;
    std::string AviFileName;
    COLORREF MarkerColor = 0;

    void DoPaintMarker();

  protected:
    void Execute() override;
};

// The stages of one pass of the recording loop. A mark ends the stage it names; the time since
// the previous mark went to it. Bookkeeping is the loop's own work between two passes.
enum class LoopStage {
    Bookkeeping,
    MarkerActive,
    Grab,
    Cursor,
    Conversion,
    MarkerIdle,
    Write,
    Sleep
};

// The grab's screen and memory contexts, its bitmap of one size and depth, and the hot spot of
// the cursor last seen. A recording keeps them from one frame to the next instead of asking the
// system for them at every frame.
struct GrabSurface {
    GrabSurface(int AWidth, int AHeight, int ADepth);
    WindowDC Screen;
    MemoryDC Memory;
    GdiObject<HBITMAP> Bitmap;
    int Width, Height, Depth;
    // A cursor's hot spot does not change while the cursor lives.
    HCURSOR HotSpotOf = nullptr;
    POINT HotSpot = {0, 0};
    // A recording's surface: set when a failed read-out has been told in the run, so that it is
    // told once. None: told at every failure.
    std::atomic<bool> *ReadOutFailureShown = nullptr;
};

class TScreenCam : public TObject {
  public:
    explicit TScreenCam(TComponent *Owner);
    ~TScreenCam() override;
    TScreenCam(const TScreenCam &) = delete;
    TScreenCam &operator=(const TScreenCam &) = delete;

    // Settings and state. Those the main thread writes while a worker may read them are
    // atomic.
    int BitsPerPixel = 0;
    std::atomic<DWORD> CompressorFourCC{0};
    std::atomic<bool> Recording{false};
    // The virtual screen's place and size (every monitor), read once at creation.
    int ScreenWidth = 0;
    int ScreenHeight = 0;
    int ScreenLeft = 0;
    int ScreenTop = 0;
    DWORD StartTime = 0;
    double MsPerFrameActual = 0;
    int SkippedFrames = 0;
    int FrameIndex = 0;
    int FramesWritten = 0;
    int CaptureWidth = 0;
    int CaptureHeight = 0;
    TNotifyEvent OnProgress;
    TNotifyEvent OnStart;
    TNotifyEvent OnStop;
    TNotifyEvent OnError;
    // Raised on the main thread when the recorder has gone back to idle (ThreadDone).
    TNotifyEvent OnIdle;
    std::atomic<TRecordAVIThread *> RecordThread{nullptr};
    std::atomic<int> PlaybackFps{0};
    std::atomic<int> MsPerFrame{0};
    std::atomic<int> KeyFrameEvery{0};
    std::atomic<int> SelectedCompressor{0};
    std::atomic<int> Quality{0};
    int CompressorCount = 0;
    ICINFO Compressors[MaxCompressors] = {};
    std::atomic<bool> RecordCursor{false};
    // Frames are compressed and written on a writer thread while the next one is grabbed.
    // Off, each is written on the recording worker before the next grab (tests that give
    // writes a cost on the virtual clock need that order).
    std::atomic<bool> WriteBehind{true};
    // Sound in the AVI: captured from the default input in this format (the nearest the input
    // records, when it refuses this one) while the frames are recorded.
    std::atomic<bool> RecordSound{false};
    std::atomic<int> SoundBitsPerSample{16};
    std::atomic<int> SoundChannels{1};
    std::atomic<int> SoundSamplesPerSec{48300};
    // Pause: the main thread asks (Paused); the loop holds still until it is cleared, and says
    // so in LoopPaused while it does (read by the progress text on the worker).
    std::atomic<bool> Paused{false};
    std::atomic<bool> LoopPaused{false};
    TFlashingWnd *MarkerWindow = nullptr;
    std::atomic<bool> ShowMarker{false};
    HCURSOR ArrowCursor = nullptr;

    // Told on the recording worker at the end of every stage of a pass, when set (the capture
    // benchmark listens); set it before a recording starts.
    std::function<void(LoopStage)> OnStage;
    void MarkStage(LoopStage Stage) {
        if (OnStage) OnStage(Stage);
    }
    // The same for the parts of each write, told on the thread that writes.
    std::function<void(WriteStage)> OnWriteStage;

    // Recording thread
    void StartRecording(int Left, int Top, int Width, int Height, const std::string &FileName);
    void StopRecording();
    // Holds a running recording still (nothing grabbed or written) and lets it go on; the
    // positions go on after a pause as if it had not been.
    void PauseRecording();
    void ResumeRecording();
    void ThreadDone(TObject *Sender);
    void PaintMarker(bool Active);

    // Frame grabber: a locked packed DIB, or null; give it back with FreeFrame.
    BITMAPINFOHEADER *CaptureFrame(int Left, int Top, int Width, int Height);
    // The recording loop's grab, cursor drawn in, into kept surface Which (0 or 1), not yet
    // read out: the loop grabs into one while the writer reads the other. On the recording
    // worker only.
    GrabSurface &GrabArea(int Which, int Left, int Top, int Width, int Height);
    // The grab surfaces the recording worker keeps through its run; the worker grabs into them
    // and its writer reads them, one frame at a time each, and the run lets them go when it
    // ends (a grab on another thread makes its own).
    std::unique_ptr<GrabSurface> HeldGrab[2];
    // A failed read-out has been told in the run under way.
    std::atomic<bool> ReadOutFailureShown{false};

    // The area a recording started now on the given one records: grown for the compressor as
    // the run grows it, and kept on the screen. Only headers are asked about: nothing is grabbed.
    RECT AreaToRecord(int Left, int Top, int Width, int Height);
    // One recording run: RunRecorded, RunFailed or RunWithDefault.
    int RecordToFile(int Left, int Top, int Width, int Height, const std::string &FileName);

    // Compressor catalogue
    void EnumerateCompressors();
    void ShowCompressorAbout(uint8_t Index, HWND Owner);
    void ConfigureCompressor(uint8_t Index, HWND Owner);
    void QueryCompressorDialogs(uint8_t Index, bool &HasAbout, bool &HasConfigure);

    // Guards the catalogue against a rebuild while a run copies its selected entry.
    std::mutex CatalogueLock;
};

// Frees the frame block that the calling recording worker keeps for its next grab, if any.
void FreeSpareFrameBlock();

// The grabs of one recording run on its thread: what the worker kept for them goes when the run
// ends, and a failed read-out is told once in the run.
struct GrabHeldForRun {
    TScreenCam *Recorder;
    explicit GrabHeldForRun(TScreenCam *ARecorder);
    ~GrabHeldForRun();
    GrabHeldForRun(const GrabHeldForRun &) = delete;
    GrabHeldForRun &operator=(const GrabHeldForRun &) = delete;
};

// Converts a device-dependent bitmap into an unlocked movable global block holding a packed
// DIB at BitDepth bits per pixel, or returns null when the block cannot be allocated. A failed
// read-out is told in a box (once while *FailureShown is set, which it sets) and leaves the
// pixels black.
HGLOBAL BitmapToDIB(HBITMAP Bitmap, int BitDepth, std::atomic<bool> *FailureShown = nullptr);
// Unlocks and frees a frame from CaptureFrame and clears the reference; null is left alone. On a
// recording worker the block is kept for the next grab instead, until the run ends.
void FreeFrame(BITMAPINFOHEADER *&Frame);

// A frame's pixels, rows bottom-up at the recording's depth.
struct FramePixels {
    const BYTE *Data = nullptr;
    DWORD Size = 0;
};
struct OwnedFrame;
// A grab's pixels: the surface's own bits when it is a DIB section of the frame's format, else
// a read-out into Copy (the pixels black when the read-out fails). No data when Copy's block
// cannot be had: the box "Error capturing a frame!" has told the user then.
FramePixels ReadGrab(const GrabSurface &Surface, OwnedFrame &Copy);

// A frame from CaptureFrame, given back with FreeFrame on every path.
struct OwnedFrame {
    BITMAPINFOHEADER *Bits = nullptr;
    OwnedFrame() = default;
    explicit OwnedFrame(BITMAPINFOHEADER *Frame) : Bits(Frame) {}
    ~OwnedFrame() { FreeFrame(Bits); }
    OwnedFrame(const OwnedFrame &) = delete;
    OwnedFrame &operator=(const OwnedFrame &) = delete;
    // Header and colour table, then the pixel rows.
    size_t FormatSize() const { return Bits->biSize + 4 * (size_t)Bits->biClrUsed; }
    BYTE *Pixels() const { return (BYTE *)Bits + FormatSize(); }
};
