// The recording thread, and the recorder's operations that start, stop and serve it.
#include "recorder/recordthread.h"
#include "marker/flashwnd.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>

std::atomic<int> RecordLeft{0}, RecordTop{0}, RecordWidth{0}, RecordHeight{0};

namespace {

thread_local TRecordAVIThread *RunningThread = nullptr;
thread_local bool RepeatedRun = false;

// Workers started and not yet through ThreadDone, per recorder. After Stop and a quick
// Record Again the old worker may still be finishing its run: the recorder's RecordThread
// alone does not tell when it is safe to free the recorder, and the two runs must not
// overlap (they share the recorder's counters and the file name), so each recorder's runs
// take turns on RunLock.
struct RecorderWorkers {
    std::set<const TObject *> Live;
    std::shared_ptr<std::mutex> RunLock = std::make_shared<std::mutex>();
};
std::mutex WorkersLock;
std::map<const TScreenCam *, RecorderWorkers> Workers;

} // namespace

int LiveRecordThreads(const TScreenCam *Recorder) {
    std::lock_guard<std::mutex> lock(WorkersLock);
    auto it = Workers.find(Recorder);
    return it == Workers.end() ? 0 : (int)it->second.Live.size();
}

TRecordAVIThread *CurrentRecordThread() { return RunningThread; }
bool IsRepeatedRun() { return RepeatedRun; }

TRecordAVIThread::TRecordAVIThread(TScreenCam *ARecorder, const std::string &AAviFileName)
    : Recorder(ARecorder), AviFileName(AAviFileName) {
    FreeOnTerminate = true;
}

void TRecordAVIThread::Execute() {
    RunningThread = this;
    RepeatedRun = false;
    std::shared_ptr<std::mutex> runLock;
    {
        std::lock_guard<std::mutex> lock(WorkersLock);
        runLock = Workers[Recorder].RunLock;
    }
    // Waits here while a stopped run of this recorder is still tearing down.
    std::lock_guard<std::mutex> turn(*runLock);
    // A worker whose recording was stopped and replaced by a newer one does not start over:
    // the retry belongs to the recording the user was answering for.
    while (Recorder->RecordToFile(RecordLeft, RecordTop, RecordWidth, RecordHeight, AviFileName) ==
               RunWithDefault &&
           Recorder->RecordThread == this)
        RepeatedRun = true;
}

void TRecordAVIThread::DoPaintMarker() {
    // A paint still queued from an old worker must not blink a newer recording's marker.
    if (Recorder->Recording && Recorder->RecordThread == this)
        Recorder->MarkerWindow->PaintFrame(MarkerColor);
}

void TScreenCam::StartRecording(int Left, int Top, int Width, int Height,
                                const std::string &FileName) {
    RecordLeft = Left;
    RecordTop = Top;
    RecordWidth = Width;
    RecordHeight = Height;
    if (Recording) return;
    Paused = false;
    // The thread frees itself once ThreadDone has run; nothing else owns it.
    auto *thread = new TRecordAVIThread(this, FileName);
    RecordThread = thread;
    thread->OnTerminate = [this](TObject *Sender) { ThreadDone(Sender); };
    Recording = true;
    {
        std::lock_guard<std::mutex> lock(WorkersLock);
        Workers[this].Live.insert(thread);
    }
    try {
        thread->Start();
    } catch (...) {
        {
            std::lock_guard<std::mutex> lock(WorkersLock);
            Workers[this].Live.erase(thread);
        }
        RecordThread = nullptr;
        Recording = false;
        delete thread;
        throw;
    }
}

void TScreenCam::StopRecording() { Recording = false; }

void TScreenCam::PauseRecording() {
    if (Recording) Paused = true;
}

void TScreenCam::ResumeRecording() { Paused = false; }

void TScreenCam::ThreadDone(TObject *Sender) {
    {
        std::lock_guard<std::mutex> lock(WorkersLock);
        auto it = Workers.find(this);
        if (it != Workers.end()) {
            it->second.Live.erase(Sender);
            if (it->second.Live.empty()) Workers.erase(it);
        }
    }
    // The end of an old worker leaves a recording started after it alone.
    if (RecordThread != nullptr && RecordThread != Sender) return;
    Recording = false;
    RecordThread = nullptr;
    if (OnIdle) OnIdle(this);
}

void TScreenCam::PaintMarker(bool Active) {
    COLORREF color = Active ? MarkerActiveColor : MarkerIdleColor;
    // A grab on the main thread (the catalogue's probe during a recording) would wait for
    // itself in Synchronize: paint at once instead.
    if (IsMainThread()) {
        if (Recording) MarkerWindow->PaintFrame(color);
        return;
    }
    TRecordAVIThread *thread = CurrentRecordThread();
    if (!thread) {
        RunOnMainThread([this, color] {
            if (Recording) MarkerWindow->PaintFrame(color);
        });
        return;
    }
    // The worker paints the marker itself, twice a frame, instead of waiting for the main
    // thread each time: the window is the recorder's, which outlives its worker, and the main
    // thread made it and places and shows it (through Synchronize) before the run's timed
    // grabs. Until it has a window, the main thread paints (and makes) it.
    if (MarkerWindow->HandleAllocated()) {
        if (Recording && RecordThread == thread) MarkerWindow->PaintFrame(color);
        return;
    }
    thread->MarkerColor = color;
    thread->Synchronize([thread] { thread->DoPaintMarker(); });
}

void StopRecordingAndWait(TScreenCam *Recorder) {
    Recorder->StopRecording();
    if (LiveRecordThreads(Recorder) == 0) return;
    // Off the main thread nobody could run a worker's Synchronize or its ThreadDone.
    if (!IsMainThread()) throw std::logic_error("StopRecordingAndWait off the main thread");
    PumpUntil([Recorder] { return LiveRecordThreads(Recorder) == 0; });
}
