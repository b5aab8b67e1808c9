// The recording's writer thread: takes one frame at a time from the capture loop.
#include "recorder/framewriter.h"

#include <exception>
#include <system_error>
#include <utility>

FrameWriter::FrameWriter(RecordFiles &AFiles, bool Behind) : Files(AFiles) {
    if (!Behind) return;
    try {
        Thread = std::thread(&FrameWriter::Run, this);
    } catch (const std::system_error &) {
        // No thread to be had: the recording goes on, writing each frame as it comes.
    }
}

FrameWriter::~FrameWriter() {
    bool written = false;
    Finish(written);
    if (!Thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(Lock);
        Quit = true;
    }
    Wake.notify_all();
    Thread.join();
}

void FrameWriter::Hand(int AIndex, OwnedFrame &AFrame) {
    std::unique_lock<std::mutex> lock(Lock);
    Index = AIndex;
    std::swap(Frame.Bits, AFrame.Bits);
    InHand = true;
    if (!Thread.joinable()) {
        lock.unlock();
        HRESULT result = WriteInHand();
        lock.lock();
        Result = result;
        return;
    }
    Pending = true;
    Wake.notify_all();
}

HRESULT FrameWriter::Finish(bool &Written) {
    std::unique_lock<std::mutex> lock(Lock);
    Written = false;
    if (!InHand) return AVIERR_OK;
    Wake.wait(lock, [this] { return !Pending; });
    InHand = false;
    Written = Result == AVIERR_OK;
    // Back to the grabber of this thread, which keeps the block for its next frame.
    FreeFrame(Frame.Bits);
    return Result;
}

HRESULT FrameWriter::WriteInHand() {
    // Nothing thrown here may end the process: a thread or memory that cannot be had when a
    // split opens the next file fails the write, and the loop ends the run with its message.
    try {
        return Files.Write(Index, Frame.Pixels(), (LONG)Frame.Bits->biSizeImage);
    } catch (const std::exception &) {
        return AVIERR_MEMORY;
    }
}

void FrameWriter::Run() {
    // The AVI library works for the threads that started it: a split opens the next file here.
    AVIFileInit();
    std::unique_lock<std::mutex> lock(Lock);
    for (;;) {
        Wake.wait(lock, [this] { return Pending || Quit; });
        // A frame in hand is written before the thread ends.
        if (Pending) {
            lock.unlock();
            HRESULT result = WriteInHand();
            lock.lock();
            Result = result;
            Pending = false;
            Wake.notify_all();
        } else if (Quit) {
            break;
        }
    }
    lock.unlock();
    AVIFileExit();
}
