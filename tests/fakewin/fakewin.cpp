#include "fakewin/fakewin.h"

#include <vector>

namespace fakewin {
namespace {
std::vector<void (*)()> &hooks() {
    static std::vector<void (*)()> list;
    return list;
}
} // namespace

ResetHook::ResetHook(void (*fn)()) { hooks().push_back(fn); }

void reset() {
    for (auto fn : hooks())
        fn();
}

} // namespace fakewin
