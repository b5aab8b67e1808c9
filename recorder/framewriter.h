// Writes the recording's frames on a thread of its own, so that compressing and writing one
// frame overlaps grabbing the next: a large area's grab waits mostly on the display, and the
// compressor has a core to itself meanwhile. One frame is in hand at a time; the loop learns how
// a write went when it hands the next frame, or when it finishes.
//
// The writer's thread owns the run's files: it starts the AVI library for itself, opens the
// first file, splits, and closes the last file and the library when the writer ends. What it
// cannot do comes back as a failed write, never as an exception.
#pragma once
#include "avifile/recordfile.h"
#include "recorder/scrcam.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// A frame whose pixels could not be had: the run ends as when a grab fails.
constexpr HRESULT FrameNotRead = (HRESULT)0x80040001L;

class FrameWriter {
  public:
    // Behind: the files live on the writer's thread; otherwise on the caller's, each write
    // running at once. Sound, when given, is written beside the frames, Interval milliseconds
    // of it for each position; it must outlive the writer.
    FrameWriter(const std::string &AName, const StreamSetup &ASetup, bool Behind,
                SoundSource *ASound = nullptr, int AInterval = 0,
                WriteStageListener AOnStage = nullptr);
    // Finishes: the frame in hand is written, then the files are closed.
    ~FrameWriter();
    FrameWriter(const FrameWriter &) = delete;
    FrameWriter &operator=(const FrameWriter &) = delete;

    // Opens the first file; its error, or AVIERR_OK.
    HRESULT Open();
    // Waits until the frame handed before is written, and so its grab surface free again.
    // Returns that write's result (AVIERR_OK when none was in hand): after a failed write
    // nothing more is handed. FrameNotRead: its pixels could not be had (the user was told).
    HRESULT Finish();
    // Hands a grab to read out and write at recording position Index (first call Finish). The
    // writer owns its surface until the next Finish.
    void Hand(int Index, const GrabSurface &Surface);
    // At the end of the recording (after Finish), on the writer's thread like every write: the
    // files' sound up to the end of the last position, LastIndex.
    HRESULT EndSound(int LastIndex);

  private:
    void Run();
    HRESULT OpenFiles();
    void CloseFiles();
    HRESULT WriteInHand();

    std::string Name;
    StreamSetup Setup;
    SoundSource *Sound;
    int Interval;
    WriteStageListener OnStage;
    std::optional<RecordFiles> Files; // on the thread that owns them
    bool LibraryStarted = false;
    std::thread Thread;
    std::mutex Lock;
    std::condition_variable Wake;
    bool Opened = false;  // the thread has tried to open the first file
    bool Pending = false; // a frame in hand, not yet written
    bool InHand = false;  // a frame handed and not yet finished
    bool Quit = false;
    bool Ending = false; // the job in hand is EndSound
    int Index = 0;
    const GrabSurface *Surface = nullptr;
    OwnedFrame Copy; // the read-out of a grab whose surface's bits cannot be read in place
    HRESULT Result = AVIERR_OK;
};
