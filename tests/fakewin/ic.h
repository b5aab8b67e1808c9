// Test control of the video compression manager: scriptable installed compressors.
#pragma once
#include "fakewin/types.h"
#include "fakewin/vfw.h"

#include <functional>
#include <string>
#include <vector>

namespace fakewin {

struct FakeCompressor {
    DWORD fccType = ICTYPE_VIDEO;
    DWORD fccHandler = 0;
    std::u16string description;
    // Whether ICM_COMPRESS_QUERY accepts this input format; null accepts every format.
    std::function<bool(const BITMAPINFOHEADER &)> accepts;
    bool open_fails = false;
    bool has_about = false;
    bool has_configure = false;
    // ICGetInfo leaves the type and handler codes zero, as some drivers do.
    bool info_without_codes = false;
};

// Installs a compressor at the next manager index.
void install_compressor(const FakeCompressor &compressor);
// Compressor handles opened and not yet closed.
int open_compressors();
// What was asked of the compressors, one line per call, e.g. "open MSVC 4", "query MSVC
// 324x244x32", "about MSVC", "configure MSVC", "close MSVC".
std::vector<std::string> compressor_log();

// An About box or configuration dialog a compressor showed (ICM_ABOUT / ICM_CONFIGURE with
// an owner window); query forms (param1 -1) are only logged, as "about? MSVC".
struct CompressorDialog {
    std::string kind; // "about" or "configure"
    std::string handler;
    HWND owner;
};
std::vector<CompressorDialog> compressor_dialogs();

// A four-character code as the logs show it (a NUL as a space).
std::string code_text(DWORD code);

} // namespace fakewin
