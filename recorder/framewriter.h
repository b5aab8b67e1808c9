// Writes the recording's frames on a thread of its own, so that compressing and writing one
// frame overlaps grabbing the next: a large area's grab waits mostly on the display, and the
// compressor has a core to itself meanwhile. One frame is in hand at a time; the loop learns how
// a write went when it hands the next frame, or when it finishes.
#pragma once
#include "avifile/recordfile.h"
#include "recorder/scrcam.h"

#include <condition_variable>
#include <mutex>
#include <thread>

class FrameWriter {
  public:
    // Behind: writes on the writer's thread; otherwise each write runs at once on the caller's.
    FrameWriter(RecordFiles &AFiles, bool Behind);
    // Finishes: the frame in hand is written before the files may close.
    ~FrameWriter();
    FrameWriter(const FrameWriter &) = delete;
    FrameWriter &operator=(const FrameWriter &) = delete;

    // Waits until the frame handed before is written and gives its block back to the caller's
    // grabber. Returns that write's result (AVIERR_OK when none was in hand): after a failed
    // write nothing more is handed.
    HRESULT Finish();
    // Hands a frame to write at recording position Index (first call Finish). The writer owns
    // the frame until the next Finish.
    void Hand(int Index, OwnedFrame &Frame);

  private:
    void Run();
    HRESULT WriteInHand();

    RecordFiles &Files;
    std::thread Thread;
    std::mutex Lock;
    std::condition_variable Wake;
    bool Pending = false; // a frame in hand, not yet written
    bool InHand = false;  // a frame handed and not yet finished
    bool Quit = false;
    int Index = 0;
    OwnedFrame Frame;
    HRESULT Result = AVIERR_OK;
};
