// The one reporter of the checker and bench programs that run under Wine. Each check prints one
// line, "PASS: <what>" or "FAIL: <what>", which the suites count as their own
// (tests/e2e/lib/common.sh, e2e_tally), and failures are counted for the exit code:
//
//   ok(frame != nullptr, "a frame of %dx%d", w, h);
//   return report::exit_code();
//
// The text says what was checked and what was found, so that a FAIL line reads on its own.
#pragma once
#include <cstdarg>
#include <cstdio>

namespace report {

inline int &failures() {
    static int count = 0;
    return count;
}

inline int exit_code() { return failures() ? 1 : 0; }

} // namespace report

// The compiler checks the arguments against the format (MinGW's printf is the C99 one).
#if defined(__MINGW_PRINTF_FORMAT)
#define REPORT_PRINTF_LIKE __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)))
#elif defined(__GNUC__)
#define REPORT_PRINTF_LIKE __attribute__((format(printf, 2, 3)))
#else
#define REPORT_PRINTF_LIKE
#endif

REPORT_PRINTF_LIKE inline bool ok(bool cond, const char *format, ...) {
    std::fputs(cond ? "PASS: " : "FAIL: ", stdout);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fputc('\n', stdout);
    // The suite reads the lines while the program still runs (a marker left up for a screenshot).
    std::fflush(stdout);
    if (!cond) ++report::failures();
    return cond;
}
