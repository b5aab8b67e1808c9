#include "framework/thread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

void (*WakeMainThread)() = nullptr;

namespace {

const std::thread::id MainThreadId = std::this_thread::get_id();

// One call for the main thread: either waited for by its caller, or posted.
struct SyncCall {
    std::function<void()> Method;
    bool Waited = false;
    bool Done = false;
    std::exception_ptr Error;
};

std::mutex QueueLock;
// Signalled when a call is queued (for PumpUntil) and when one has run (for its caller).
std::condition_variable QueueSignal;
std::deque<std::shared_ptr<SyncCall>> Queue;

void Enqueue(const std::shared_ptr<SyncCall> &Call) {
    void (*wake)() = WakeMainThread;
    {
        std::lock_guard<std::mutex> lock(QueueLock);
        Queue.push_back(Call);
    }
    QueueSignal.notify_all();
    if (wake) wake();
}

// Runs the oldest queued call; false when there was none.
bool RunOne() {
    std::shared_ptr<SyncCall> call;
    {
        std::lock_guard<std::mutex> lock(QueueLock);
        if (Queue.empty()) return false;
        call = std::move(Queue.front());
        Queue.pop_front();
    }
    std::exception_ptr error;
    try {
        call->Method();
    } catch (...) {
        error = std::current_exception();
    }
    bool waited;
    {
        std::lock_guard<std::mutex> lock(QueueLock);
        call->Done = true;
        call->Error = error;
        waited = call->Waited;
    }
    QueueSignal.notify_all();
    // Nobody waits for a posted call, so its failure goes to the main thread's own handler.
    if (error && !waited) std::rethrow_exception(error);
    return true;
}

} // namespace

bool IsMainThread() { return std::this_thread::get_id() == MainThreadId; }

bool CheckSynchronize() {
    if (!IsMainThread()) return false;
    bool ran = false;
    while (RunOne())
        ran = true;
    return ran;
}

void RunOnMainThread(const std::function<void()> &Method) {
    if (IsMainThread()) {
        Method();
        return;
    }
    auto call = std::make_shared<SyncCall>();
    call->Method = Method;
    call->Waited = true;
    Enqueue(call);
    std::unique_lock<std::mutex> lock(QueueLock);
    QueueSignal.wait(lock, [&] { return call->Done; });
    if (call->Error) std::rethrow_exception(call->Error);
}

void PumpUntil(const std::function<bool()> &Done) {
    while (!Done()) {
        if (RunOne()) continue;
        std::unique_lock<std::mutex> lock(QueueLock);
        QueueSignal.wait(lock, [] { return !Queue.empty(); });
    }
}

TThread::TThread() = default;

TThread::~TThread() {
    // A self-freeing thread is deleted from its own termination call, after which its worker
    // only returns. Other threads must have been waited for by their derived class already
    // (Execute is gone once the derived part is destroyed); this wait is a last resort.
    if (FThread.joinable()) {
        if (!FFinished) WaitFor();
        FThread.join();
    }
}

void TThread::Start() {
    if (!FThread.joinable()) FThread = std::thread(&TThread::Run, this);
}

void TThread::Run() {
    try {
        Execute();
    } catch (...) {
        FatalException = std::current_exception();
    }
    // Posted rather than waited for: the termination call may free this object, and its
    // destructor joins this very thread.
    auto call = std::make_shared<SyncCall>();
    call->Method = [this] { DoTerminate(); };
    Enqueue(call);
}

void TThread::DoTerminate() {
    // Marked finished even when the handler fails, so that nobody waits for ever.
    struct Finish {
        TThread *Self;
        ~Finish() {
            Self->FFinished = true;
            if (Self->FreeOnTerminate) delete Self;
        }
    } finish{this};
    if (OnTerminate) OnTerminate(this);
}

void TThread::WaitFor() {
    if (!FThread.joinable()) return;
    if (IsMainThread()) {
        PumpUntil([this] { return FFinished.load(); });
    } else {
        while (!FFinished)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
