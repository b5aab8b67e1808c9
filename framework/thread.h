// Worker threads in the way the units expect them: a thread can free itself when it ends,
// run a method on the main thread and wait for it, and raises its termination event on the
// main thread.
#pragma once
#include "framework/classes.h"

#include <atomic>
#include <exception>
#include <functional>
#include <thread>

// The main thread is the thread that initialised the program (static initialisation).
bool IsMainThread();

// Runs every call that worker threads have queued for the main thread. Must be called on the
// main thread: the application's message loop does it when woken, and tests call it to pump.
// Returns true when at least one call ran.
bool CheckSynchronize();

// Runs Method on the main thread and returns once it has run there (at once when called on
// the main thread). An exception thrown by Method is raised again in the caller.
void RunOnMainThread(const std::function<void()> &Method);

// On the main thread: runs queued calls, sleeping while there are none, until Done() is true.
// Done is checked before the first wait and after every call.
void PumpUntil(const std::function<bool()> &Done);

// Set by the application: wakes the main thread's message loop after a call was queued.
// Assigned once at start-up, before any thread runs.
extern void (*WakeMainThread)();

class TThread : public TObject {
  public:
    // Created suspended: Start() lets it run, once its owner has wired it up.
    TThread();
    ~TThread() override;
    TThread(const TThread &) = delete;
    TThread &operator=(const TThread &) = delete;

    void Start();
    // Waits until Execute has returned and OnTerminate has run; on the main thread it runs the
    // queued calls meanwhile. Not for self-freeing threads.
    void WaitFor();
    bool Finished() const { return FFinished.load(); }

    bool FreeOnTerminate = false;
    TNotifyEvent OnTerminate;
    // An exception that escaped Execute, kept here and not shown.
    std::exception_ptr FatalException;

    // Runs Method on the main thread and returns when it has run; on the main thread itself
    // it runs at once.
    void Synchronize(const std::function<void()> &Method) { RunOnMainThread(Method); }

  protected:
    virtual void Execute() = 0;

  private:
    void Run();
    void DoTerminate();
    std::thread FThread;
    std::atomic<bool> FFinished{false};
};
