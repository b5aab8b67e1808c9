// The double's clock, sleeps, message boxes and file deletions.
#include "fakewin/area.h"
#include "fakewin/kernel.h"
#include "fakewin/wavein.h"
#include "fakewin/windows.h"

#include <chrono>
#include <deque>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fakewin {
namespace {
struct KernelState {
    DWORD clock = 0;
    int period_balance = 0;
    std::function<void(DWORD)> sleep_hook;
    double real_scale = 0;
    std::vector<DWORD> sleeps;
    std::deque<int> answers;
    std::vector<MessageBoxCall> boxes;
    std::vector<std::string> deleted;
    std::set<std::string> files;
    SYSTEMTIME local = {2026, 12, 2, 8, 10, 41, 12, 0};
    std::vector<ShellRun> shell_runs;
};
Area<KernelState> kernel;
KernelState &s = kernel.s;
using Lock = std::lock_guard<std::mutex>;
} // namespace

DWORD now() { return kernel.get(&KernelState::clock); }
void set_now(DWORD ms) { kernel.set(&KernelState::clock, ms); }
void advance(DWORD ms) {
    Lock lock(kernel.mutex);
    s.clock += ms;
}
void on_sleep(std::function<void(DWORD)> fn) { kernel.set(&KernelState::sleep_hook, fn); }
void set_real_sleep_scale(double scale) { kernel.set(&KernelState::real_scale, scale); }
std::vector<DWORD> sleeps() { return kernel.get(&KernelState::sleeps); }
int timer_period_balance() { return kernel.get(&KernelState::period_balance); }

void answer_message_boxes(std::vector<int> list) {
    kernel.set(&KernelState::answers, std::deque<int>(list.begin(), list.end()));
}
std::vector<MessageBoxCall> message_boxes() { return kernel.get(&KernelState::boxes); }
void clear_message_boxes() { kernel.set(&KernelState::boxes, {}); }
std::vector<std::string> deleted_files() { return kernel.get(&KernelState::deleted); }
void put_files(const std::vector<std::string> &names) {
    Lock lock(kernel.mutex);
    s.files.insert(names.begin(), names.end());
}
void set_local_time(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    kernel.set(&KernelState::local, SYSTEMTIME{year, month, 0, day, hour, minute, second, 0});
}
std::vector<ShellRun> shell_runs() { return kernel.get(&KernelState::shell_runs); }

} // namespace fakewin

using namespace fakewin;

DWORD timeGetTime() { return now(); }
MMRESULT timeBeginPeriod(UINT) {
    Lock lock(kernel.mutex);
    ++s.period_balance;
    return TIMERR_NOERROR;
}
MMRESULT timeEndPeriod(UINT) {
    Lock lock(kernel.mutex);
    --s.period_balance;
    return TIMERR_NOERROR;
}

void Sleep(DWORD ms) {
    std::function<void(DWORD)> fn;
    double scale;
    {
        Lock lock(kernel.mutex);
        s.sleeps.push_back(ms);
        s.clock += ms;
        fn = s.sleep_hook;
        scale = s.real_scale;
    }
    if (scale > 0) {
        auto real = std::chrono::microseconds((long long)(ms * scale * 1000));
        if (real.count() > 0)
            std::this_thread::sleep_for(real);
        else
            std::this_thread::yield();
    }
    wave_in_clock_moved();
    if (fn) fn(ms);
}

BOOL DeleteFileA(LPCSTR name) {
    Lock lock(kernel.mutex);
    s.deleted.push_back(name ? name : "");
    // A file put there goes; so does a real file of that name (the journal's files are real).
    if (name && s.files.erase(name)) return TRUE;
    return name && unlink(name) == 0 ? TRUE : FALSE;
}

DWORD GetFileAttributesA(LPCSTR name) {
    Lock lock(kernel.mutex);
    if (s.files.count(name ? name : "")) return FILE_ATTRIBUTE_NORMAL;
    struct stat st;
    if (!name || stat(name, &st) != 0) return INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

void GetLocalTime(SYSTEMTIME *time) { *time = kernel.get(&KernelState::local); }

HINSTANCE ShellExecuteA(HWND, LPCSTR, LPCSTR file, LPCSTR parameters, LPCSTR, int) {
    Lock lock(kernel.mutex);
    s.shell_runs.push_back({file ? file : "", parameters ? parameters : ""});
    return (HINSTANCE)(intptr_t)42;
}

// As on Windows, a box enables its owner again when it closes, whatever the owner was before.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    int answer = (type & 0xF) == MB_YESNO ? IDNO : IDOK;
    {
        Lock lock(kernel.mutex);
        s.boxes.push_back(
            {owner, text ? text : "", caption ? caption : "", type, on_main_thread()});
        if (!s.answers.empty()) {
            answer = s.answers.front();
            s.answers.pop_front();
        }
    }
    if (owner) EnableWindow(owner, TRUE);
    return answer;
}
