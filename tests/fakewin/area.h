// How an area of the double keeps its state: one struct behind one lock, put back to a fresh
// struct by fakewin::reset(), and read by the test side as copies taken under that lock.
#pragma once
#include <functional>
#include <mutex>

namespace fakewin {

// Registers a step of fakewin::reset(); the areas register theirs during static initialisation.
void on_reset(std::function<void()> fn);
struct ResetHook {
    explicit ResetHook(std::function<void()> fn) { on_reset(std::move(fn)); }
};

// True on the thread that initialised the process (static initialisation): the one that owns
// every window, as the program's own framework takes it. Recorded with each call that must
// happen there.
bool on_main_thread();

template <class T> struct Area {
    std::mutex mutex;
    T s;
    Area() {
        on_reset([this] {
            std::lock_guard<std::mutex> lock(mutex);
            s = T{};
        });
    }
    template <class V> V get(V T::*member) {
        std::lock_guard<std::mutex> lock(mutex);
        return s.*member;
    }
    template <class V> void set(V T::*member, V value) {
        std::lock_guard<std::mutex> lock(mutex);
        s.*member = std::move(value);
    }
};

} // namespace fakewin
