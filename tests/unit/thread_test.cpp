#include "framework/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

class FnThread : public TThread {
  public:
    explicit FnThread(std::function<void(FnThread *)> Body) : FBody(std::move(Body)) {}
    ~FnThread() override {
        if (Destroyed) *Destroyed = true;
    }
    std::atomic<bool> *Destroyed = nullptr;

  protected:
    void Execute() override { FBody(this); }

  private:
    std::function<void(FnThread *)> FBody;
};

TEST(Thread, SynchronizeRunsOnMainThreadAndTerminateFollows) {
    std::vector<std::string> order;
    std::thread::id ran_on;
    FnThread t([&](FnThread *self) {
        self->Synchronize([&] {
            ran_on = std::this_thread::get_id();
            order.push_back("sync");
        });
    });
    t.OnTerminate = [&](TObject *sender) {
        EXPECT_EQ(sender, &t);
        EXPECT_TRUE(IsMainThread());
        order.push_back("terminate");
    };
    t.Start();
    t.WaitFor();
    EXPECT_TRUE(t.Finished());
    EXPECT_EQ(ran_on, std::this_thread::get_id());
    EXPECT_EQ(order, (std::vector<std::string>{"sync", "terminate"}));
}

TEST(Thread, SynchronizeOnMainThreadRunsAtOnce) {
    bool ran = false;
    RunOnMainThread([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(CheckSynchronize());
}

TEST(Thread, ExceptionsAreKeptAndReachTheCaller) {
    // An exception in a synchronised call reaches the worker; one escaping Execute is kept.
    bool caught_in_worker = false;
    bool terminated = false;
    FnThread t([&](FnThread *self) {
        try {
            self->Synchronize([] { throw std::runtime_error("main"); });
        } catch (const std::runtime_error &) {
            caught_in_worker = true;
        }
        throw std::logic_error("worker");
    });
    t.OnTerminate = [&](TObject *) { terminated = true; };
    t.Start();
    t.WaitFor();
    EXPECT_TRUE(caught_in_worker);
    EXPECT_TRUE(terminated);
    ASSERT_TRUE(t.FatalException);
    EXPECT_THROW(std::rethrow_exception(t.FatalException), std::logic_error);
}

TEST(Thread, AFailingTerminationHandlerReachesTheMainThreadAndStillFinishes) {
    // Nobody waits for the termination call: its failure goes to the main thread's loop (and
    // from there to the error box) instead of vanishing, and nobody waits for ever.
    FnThread t([](FnThread *) {});
    t.OnTerminate = [](TObject *) { throw std::runtime_error("terminate"); };
    t.Start();
    EXPECT_THROW(PumpUntil([&] { return t.Finished(); }), std::runtime_error);
    EXPECT_TRUE(t.Finished());
}

TEST(Thread, FreeOnTerminateDeletesAfterOnTerminateOnMainThread) {
    std::atomic<bool> destroyed{false};
    bool destroyed_at_terminate = true;
    auto *t = new FnThread([](FnThread *) {});
    t->Destroyed = &destroyed;
    t->FreeOnTerminate = true;
    t->OnTerminate = [&](TObject *) { destroyed_at_terminate = destroyed; };
    t->Start();
    PumpUntil([&] { return destroyed.load(); });
    EXPECT_FALSE(destroyed_at_terminate);
}

TEST(Thread, WakeHookIsCalledForEveryQueuedCall) {
    static std::atomic<int> wakes;
    wakes = 0;
    WakeMainThread = [] { ++wakes; };
    {
        FnThread t([](FnThread *self) {
            self->Synchronize([] {});
            self->Synchronize([] {});
        });
        t.Start();
        t.WaitFor();
    } // joined: the worker has finished waking
    WakeMainThread = nullptr;
    EXPECT_EQ(wakes.load(), 3); // two calls and the termination
}

} // namespace
