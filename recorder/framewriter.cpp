// The recording's writer thread: owns the run's files and takes one frame at a time from the
// capture loop.
#include "recorder/framewriter.h"

#include <exception>
#include <system_error>
#include <utility>

FrameWriter::FrameWriter(const std::string &AName, const StreamSetup &ASetup, bool Behind,
                         SoundSource *ASound, int AInterval, WriteStageListener AOnStage)
    : Name(AName), Setup(ASetup), Sound(ASound), Interval(AInterval), OnStage(std::move(AOnStage)) {
    if (!Behind) return;
    try {
        Thread = std::thread(&FrameWriter::Run, this);
    } catch (const std::system_error &) {
        // No thread to be had: the recording goes on, writing each frame as it comes.
    }
}

FrameWriter::~FrameWriter() {
    Finish();
    if (!Thread.joinable()) {
        CloseFiles();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(Lock);
        Quit = true;
    }
    Wake.notify_all();
    Thread.join();
}

HRESULT FrameWriter::Open() {
    if (!Thread.joinable()) return OpenFiles();
    std::unique_lock<std::mutex> lock(Lock);
    Wake.wait(lock, [this] { return Opened; });
    return Result;
}

HRESULT FrameWriter::OpenFiles() {
    // Nothing thrown here may end the process: a thread or memory that cannot be had fails
    // the open or the write, and the loop ends the run with its message.
    try {
        // The AVI library works for the threads that started it.
        AVIFileInit();
        LibraryStarted = true;
        Files.emplace(Name, Setup);
        Files->OnStage = OnStage;
        if (Sound) Files->AttachSound(Sound, Interval);
        return Files->Start();
    } catch (const std::exception &) {
        return AVIERR_MEMORY;
    }
}

void FrameWriter::CloseFiles() {
    FreeFrame(Copy.Bits);
    Files.reset();
    if (LibraryStarted) AVIFileExit();
    LibraryStarted = false;
}

void FrameWriter::Hand(int AIndex, const GrabSurface &ASurface) {
    std::unique_lock<std::mutex> lock(Lock);
    Index = AIndex;
    Surface = &ASurface;
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

HRESULT FrameWriter::Finish() {
    std::unique_lock<std::mutex> lock(Lock);
    if (!InHand) return AVIERR_OK;
    Wake.wait(lock, [this] { return !Pending; });
    InHand = false;
    return Result;
}

HRESULT FrameWriter::EndSound(int LastIndex) {
    std::unique_lock<std::mutex> lock(Lock);
    Index = LastIndex;
    Ending = true;
    if (!Thread.joinable()) {
        lock.unlock();
        HRESULT result = WriteInHand();
        lock.lock();
        Ending = false;
        return result;
    }
    Pending = true;
    Wake.notify_all();
    Wake.wait(lock, [this] { return !Pending; });
    Ending = false;
    return Result;
}

HRESULT FrameWriter::WriteInHand() {
    if (!Files) return AVIERR_FILEWRITE;
    if (OnStage) OnStage(WriteStage::Wait);
    try {
        if (Ending) return Files->EndSound(Index);
        FramePixels pixels = ReadGrab(*Surface, Copy);
        if (OnStage) OnStage(WriteStage::Read);
        if (!pixels.Data) return FrameNotRead;
        return Files->Write(Index, pixels.Data, (LONG)pixels.Size);
    } catch (const std::exception &) {
        return AVIERR_MEMORY;
    }
}

void FrameWriter::Run() {
    HRESULT opened = OpenFiles();
    std::unique_lock<std::mutex> lock(Lock);
    Result = opened;
    Opened = true;
    Wake.notify_all();
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
    CloseFiles();
}
