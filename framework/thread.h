// Worker threads in the way the units expect them: a thread can free itself when it ends,
// run a method on the main thread and wait for it, and raises its termination event on the
// main thread.
#pragma once
#include "framework/classes.h"

#include <atomic>
#include <functional>
#include <thread>

// The main thread is the thread that initialised the program (static initialisation).
bool IsMainThread();

// Runs every call that worker threads have queued for the main thread. Must be called on the
// main thread: the application's message loop does it when woken, and tests call it to pump.
// Returns true when at least one call ran.
bool CheckSynchronize();

// Set by the application: wakes the main thread's message loop after a call was queued.
extern void (*WakeMainThread)();

class TThread : public TObject {
  public:
    // Created suspended: Start() lets it run, once its owner has wired it up.
    TThread();
    ~TThread() override;
    TThread(const TThread &) = delete;
    TThread &operator=(const TThread &) = delete;

    void Start();
    // Waits until Execute has returned and OnTerminate has run. Not for self-freeing threads.
    void WaitFor();
    bool Finished() const { return FFinished.load(); }

    bool FreeOnTerminate = false;
    TNotifyEvent OnTerminate;

    // Runs Method on the main thread and returns when it has run; on the main thread itself
    // it runs at once.
    void Synchronize(const std::function<void()> &Method);

  protected:
    virtual void Execute() = 0;

  private:
    void Run();
    std::thread FThread;
    std::atomic<bool> FFinished{false};
};
