#include "fakewin/kernel.h"
#include "fakewin/fakewin.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

namespace fakewin {
namespace {
std::atomic<DWORD> clock_ms{0};
std::atomic<int> period_balance{0};
std::mutex mutex;
std::function<void(DWORD)> sleep_hook;
double real_scale = 0;
std::vector<DWORD> sleep_log;
std::deque<int> answers;
std::vector<MessageBoxCall> boxes;
std::vector<std::string> deleted;

void reset_kernel() {
    std::lock_guard<std::mutex> lock(mutex);
    clock_ms = 0;
    period_balance = 0;
    sleep_hook = nullptr;
    real_scale = 0;
    sleep_log.clear();
    answers.clear();
    boxes.clear();
    deleted.clear();
}
ResetHook hook(&reset_kernel);
} // namespace

DWORD now() { return clock_ms.load(); }
void set_now(DWORD ms) { clock_ms = ms; }
void advance(DWORD ms) { clock_ms += ms; }
void on_sleep(std::function<void(DWORD)> fn) {
    std::lock_guard<std::mutex> lock(mutex);
    sleep_hook = std::move(fn);
}
void set_real_sleep_scale(double scale) {
    std::lock_guard<std::mutex> lock(mutex);
    real_scale = scale;
}
std::vector<DWORD> sleeps() {
    std::lock_guard<std::mutex> lock(mutex);
    return sleep_log;
}
int timer_period_balance() { return period_balance.load(); }

void answer_message_boxes(std::vector<int> list) {
    std::lock_guard<std::mutex> lock(mutex);
    answers.assign(list.begin(), list.end());
}
std::vector<MessageBoxCall> message_boxes() {
    std::lock_guard<std::mutex> lock(mutex);
    return boxes;
}
void clear_message_boxes() {
    std::lock_guard<std::mutex> lock(mutex);
    boxes.clear();
}
std::vector<std::string> deleted_files() {
    std::lock_guard<std::mutex> lock(mutex);
    return deleted;
}

} // namespace fakewin

using namespace fakewin;

DWORD timeGetTime() { return clock_ms.load(); }
MMRESULT timeBeginPeriod(UINT) {
    ++period_balance;
    return TIMERR_NOERROR;
}
MMRESULT timeEndPeriod(UINT) {
    --period_balance;
    return TIMERR_NOERROR;
}

void Sleep(DWORD ms) {
    std::function<void(DWORD)> fn;
    double scale;
    {
        std::lock_guard<std::mutex> lock(mutex);
        sleep_log.push_back(ms);
        fn = sleep_hook;
        scale = real_scale;
    }
    clock_ms += ms;
    if (scale > 0) {
        auto real = std::chrono::microseconds((long long)(ms * scale * 1000));
        if (real.count() > 0)
            std::this_thread::sleep_for(real);
        else
            std::this_thread::yield();
    }
    if (fn) fn(ms);
}

BOOL DeleteFileA(LPCSTR name) {
    std::lock_guard<std::mutex> lock(mutex);
    deleted.push_back(name ? name : "");
    return TRUE;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::lock_guard<std::mutex> lock(mutex);
    boxes.push_back({owner, text ? text : "", caption ? caption : "", type, on_main_thread()});
    if (!answers.empty()) {
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return (type & 0xF) == MB_YESNO ? IDNO : IDOK;
}
