// The double's common dialogs, common controls, fonts and locale.
#include "fakewin/area.h"
#include "fakewin/window.h"

#include <cstring>
#include <deque>

namespace fakewin {
namespace {
struct DialogState {
    std::deque<std::string> open_answers;
    std::vector<OpenDialogCall> open_calls;
    std::string decimal = ".";
};
Area<DialogState> dialogs;
DialogState &s = dialogs.s;
using Lock = std::lock_guard<std::mutex>;

// Fonts live for the process, like the program's own shared font; a deque keeps their addresses,
// which are the handles.
std::mutex font_mutex;
std::deque<LOGFONTA> fonts;
} // namespace

void answer_open_dialog(const std::string &path) {
    Lock lock(dialogs.mutex);
    s.open_answers.push_back(path);
}
std::vector<OpenDialogCall> open_dialogs() { return dialogs.get(&DialogState::open_calls); }
void set_decimal_separator(const std::string &sep) { dialogs.set(&DialogState::decimal, sep); }

} // namespace fakewin

using namespace fakewin;

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX *icc) {
    return icc && icc->dwSize == sizeof(*icc);
}

BOOL GetOpenFileNameA(OPENFILENAMEA *ofn) {
    Lock lock(dialogs.mutex);
    if (!ofn || ofn->lStructSize != sizeof(*ofn)) return FALSE;
    OpenDialogCall call = {ofn->hwndOwner,
                           "",
                           ofn->nFilterIndex,
                           ofn->lpstrDefExt != nullptr,
                           ofn->lpstrInitialDir != nullptr,
                           ofn->lpstrTitle != nullptr};
    for (const char *p = ofn->lpstrFilter; p && *p; p += strlen(p) + 1)
        call.filter += std::string(p) + "|";
    s.open_calls.push_back(call);
    std::string answer;
    if (!s.open_answers.empty()) {
        answer = s.open_answers.front();
        s.open_answers.pop_front();
    }
    if (answer.empty() || answer.size() + 1 > ofn->nMaxFile || !ofn->lpstrFile) return FALSE;
    strcpy(ofn->lpstrFile, answer.c_str());
    return TRUE;
}

HFONT CreateFontIndirectA(const LOGFONTA *font) {
    Lock lock(font_mutex);
    if (!font) return nullptr;
    fonts.push_back(*font);
    return (HFONT)&fonts.back();
}

LOGFONTA fakewin::font_of(HFONT font) {
    Lock lock(font_mutex);
    return font ? *(const LOGFONTA *)font : LOGFONTA{};
}

int GetLocaleInfoA(DWORD, DWORD type, LPSTR data, int size) {
    Lock lock(dialogs.mutex);
    if (type != LOCALE_SDECIMAL) return 0;
    int needed = (int)s.decimal.size() + 1;
    if (!data || size < needed) return 0;
    memcpy(data, s.decimal.c_str(), needed);
    return needed;
}

// Code page 1252 for the Latin-1 range, '?' beyond it: enough for compressor names. The
// program always gives the length and a buffer, and no default character.
int WideCharToMultiByte(UINT, DWORD, LPCWSTR wide, int wide_len, LPSTR out, int out_size, LPCSTR,
                        BOOL *) {
    if (!wide || !out || wide_len < 0 || out_size < wide_len) return 0;
    for (int i = 0; i < wide_len; i++)
        out[i] = wide[i] < 0x100 ? (char)wide[i] : '?';
    return wide_len;
}
