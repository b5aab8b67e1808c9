#include "fakewin/fakewin.h"

#include <thread>
#include <vector>

namespace fakewin {
namespace {
std::vector<void (*)()> &hooks() {
    static std::vector<void (*)()> list;
    return list;
}
const std::thread::id main_thread = std::this_thread::get_id();
} // namespace

bool on_main_thread() { return std::this_thread::get_id() == main_thread; }

ResetHook::ResetHook(void (*fn)()) { hooks().push_back(fn); }

void reset() {
    for (auto fn : hooks())
        fn();
}

} // namespace fakewin
