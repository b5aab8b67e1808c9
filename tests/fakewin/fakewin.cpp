// The double's reset, gathered from the steps each area registers, and its main thread.
#include "fakewin/area.h"
#include "fakewin/fakewin.h"

#include <thread>
#include <vector>

namespace fakewin {
namespace {
std::vector<std::function<void()>> &steps() {
    static std::vector<std::function<void()>> list;
    return list;
}
const std::thread::id main_thread = std::this_thread::get_id();
} // namespace

bool on_main_thread() { return std::this_thread::get_id() == main_thread; }

void on_reset(std::function<void()> fn) { steps().push_back(std::move(fn)); }

void reset() {
    for (auto &fn : steps())
        fn();
}

} // namespace fakewin
