// Global memory blocks with lock counts and allocation failures on demand.
#include "fakewin/gdi_state.h"
#include "fakewin/screen.h"

#include <cstring>

namespace fakewin {
namespace gdi {
namespace {
Block *find_block(HGLOBAL mem) {
    auto it = state().blocks.find(key(mem));
    if (it == state().blocks.end()) {
        state().misuse.push_back("unknown or freed global block");
        return nullptr;
    }
    return &it->second;
}
} // namespace
} // namespace gdi

using namespace gdi;

void fail_global_allocs(int n) {
    locked([&](State &s) { s.global_failures = n; });
}
int global_lock_count(HGLOBAL mem) {
    return locked(
        [&](State &s) { return s.blocks.count(key(mem)) ? s.blocks[key(mem)].locks : -1; });
}

} // namespace fakewin

using namespace fakewin;
using namespace fakewin::gdi;

HGLOBAL GlobalAlloc(UINT flags, size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex());
    State &s = state();
    if (s.global_failures > 0) {
        s.global_failures--;
        return nullptr;
    }
    if (bytes > ((size_t)1 << 30)) return nullptr;
    Block b;
    b.size = bytes;
    b.data.reset(new BYTE[bytes ? bytes : 1]);
    // Without GMEM_ZEROINIT the block holds garbage, so reads of unwritten bytes show up.
    memset(b.data.get(), (flags & GMEM_ZEROINIT) ? 0 : 0xCD, bytes);
    // Handles are distinct from the block addresses, as for movable memory.
    uintptr_t h = s.next_handle;
    s.next_handle += 4;
    s.blocks.emplace(h, std::move(b));
    return (HGLOBAL)h;
}

LPVOID GlobalLock(HGLOBAL mem) {
    std::lock_guard<std::mutex> lock(mutex());
    Block *b = find_block(mem);
    if (!b) return nullptr;
    b->locks++;
    return b->data.get();
}

BOOL GlobalUnlock(HGLOBAL mem) {
    std::lock_guard<std::mutex> lock(mutex());
    Block *b = find_block(mem);
    if (!b || b->locks == 0) return FALSE;
    return --b->locks > 0;
}

HGLOBAL GlobalFree(HGLOBAL mem) {
    std::lock_guard<std::mutex> lock(mutex());
    Block *b = find_block(mem);
    if (!b) return mem;
    if (b->locks > 0) state().misuse.push_back("global block freed while locked");
    state().blocks.erase(key(mem));
    return nullptr;
}

HGLOBAL GlobalHandle(LPCVOID ptr) {
    std::lock_guard<std::mutex> lock(mutex());
    for (auto &[h, b] : state().blocks)
        if (b.data.get() == ptr) return (HGLOBAL)h;
    state().misuse.push_back("GlobalHandle of an address that starts no block");
    return nullptr;
}

size_t GlobalSize(HGLOBAL mem) {
    std::lock_guard<std::mutex> lock(mutex());
    Block *b = find_block(mem);
    return b ? b->size : 0;
}
