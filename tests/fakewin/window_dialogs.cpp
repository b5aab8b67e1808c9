// The double's common dialogs, common controls, fonts and locale.
#include "fakewin/fakewin.h"
#include "fakewin/window.h"

#include <cstring>
#include <deque>
#include <mutex>

namespace fakewin {
namespace {
std::mutex mutex;
std::deque<std::string> open_answers;
std::vector<OpenDialogCall> open_calls;
std::string decimal = ".";
std::deque<LOGFONTA> fonts; // stable addresses: the handles point into it

void reset_dialogs() {
    std::lock_guard<std::mutex> lock(mutex);
    open_answers.clear();
    open_calls.clear();
    decimal = ".";
    // Fonts live for the process, like the program's own shared font.
}
ResetHook hook(&reset_dialogs);
} // namespace

void answer_open_dialog(const std::string &path) {
    std::lock_guard<std::mutex> lock(mutex);
    open_answers.push_back(path);
}
std::vector<OpenDialogCall> open_dialogs() {
    std::lock_guard<std::mutex> lock(mutex);
    return open_calls;
}
void set_decimal_separator(const std::string &sep) {
    std::lock_guard<std::mutex> lock(mutex);
    decimal = sep;
}

} // namespace fakewin

using namespace fakewin;

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX *icc) {
    return icc && icc->dwSize == sizeof(*icc);
}

BOOL GetOpenFileNameA(OPENFILENAMEA *ofn) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!ofn || ofn->lStructSize != sizeof(*ofn)) return FALSE;
    OpenDialogCall call = {ofn->hwndOwner,
                           "",
                           ofn->nFilterIndex,
                           ofn->lpstrDefExt != nullptr,
                           ofn->lpstrInitialDir != nullptr,
                           ofn->lpstrTitle != nullptr};
    for (const char *p = ofn->lpstrFilter; p && *p; p += strlen(p) + 1)
        call.filter += std::string(p) + "|";
    open_calls.push_back(call);
    std::string answer;
    if (!open_answers.empty()) {
        answer = open_answers.front();
        open_answers.pop_front();
    }
    if (answer.empty() || answer.size() + 1 > ofn->nMaxFile || !ofn->lpstrFile) return FALSE;
    strcpy(ofn->lpstrFile, answer.c_str());
    return TRUE;
}

HFONT CreateFontIndirectA(const LOGFONTA *font) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!font) return nullptr;
    fonts.push_back(*font);
    return (HFONT)&fonts.back();
}

int GetLocaleInfoA(DWORD, DWORD type, LPSTR data, int size) {
    std::lock_guard<std::mutex> lock(mutex);
    if (type != LOCALE_SDECIMAL) return 0;
    int needed = (int)decimal.size() + 1;
    if (size == 0) return needed;
    if (!data || size < needed) return 0;
    memcpy(data, decimal.c_str(), needed);
    return needed;
}

// Code page 1252 for the Latin-1 range, '?' beyond it: enough for compressor names.
int WideCharToMultiByte(UINT, DWORD, LPCWSTR wide, int wide_len, LPSTR out, int out_size,
                        LPCSTR default_char, BOOL *used_default) {
    if (!wide) return 0;
    if (wide_len < 0) {
        wide_len = 0;
        while (wide[wide_len])
            ++wide_len;
        ++wide_len; // the terminator is converted too
    }
    if (out_size == 0) return wide_len;
    if (!out || out_size < wide_len) return 0;
    for (int i = 0; i < wide_len; i++) {
        if (wide[i] < 0x100) {
            out[i] = (char)wide[i];
        } else {
            out[i] = default_char ? *default_char : '?';
            if (used_default) *used_default = TRUE;
        }
    }
    return wide_len;
}
