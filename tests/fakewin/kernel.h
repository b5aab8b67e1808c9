// Test control of the virtual clock, message boxes and files.
#pragma once
#include "fakewin/types.h"

#include <functional>
#include <string>
#include <vector>

namespace fakewin {

// Virtual millisecond clock: timeGetTime reads it, Sleep advances it.
DWORD now();
void set_now(DWORD ms);
void advance(DWORD ms);
// Called after every Sleep with the slept time, on the sleeping thread (null: none).
void on_sleep(std::function<void(DWORD ms)> hook);
// Also sleep for real (scaled: real = ms * scale, at least one scheduler yield) so that
// threaded tests do not spin; 0 (the default) sleeps only on the virtual clock.
void set_real_sleep_scale(double scale);
std::vector<DWORD> sleeps();
int timer_period_balance(); // timeBeginPeriod minus timeEndPeriod calls

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
    bool main_thread;
};
// Answers for the next message boxes, in order; when none is queued a box answers IDOK for
// MB_OK boxes and IDNO for yes/no questions.
void answer_message_boxes(std::vector<int> answers);
std::vector<MessageBoxCall> message_boxes();
void clear_message_boxes();

std::vector<std::string> deleted_files();
// Files that exist: GetFileAttributes finds them, DeleteFile removes them. None after a reset.
void put_files(const std::vector<std::string> &names);
// What GetLocalTime answers (after a reset: 2026-12-08 10:41:12).
void set_local_time(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second);
// Every ShellExecute: the program run and its parameters.
struct ShellRun {
    std::string file, parameters;
};
std::vector<ShellRun> shell_runs();

} // namespace fakewin
