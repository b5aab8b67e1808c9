// The settings file: lines "Name=Value" under one [Quillet] section, read and written whole.
#include "ui/settings.h"
#include "framework/winapi.h"
#include "recorder/scrcam.h"
#include "ui/Unit1.h"
#include "ui/arearules.h"
#include "ui/optdlg.h"
#include "ui/windowplace.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

constexpr char SettingsFolder[] = "Quillet";
constexpr char SettingsFileName[] = "Quillet.ini";
// No settings file of ours comes near this; anything longer is not one.
constexpr DWORD MaxSettingsSize = 64 * 1024;

// The ranges the Options dialog's sliders give (the key-frame box takes any integer).
constexpr int MinQuality = 0, MaxQuality = 10000;
constexpr int MinMsPerFrame = 1, MaxMsPerFrame = 60000;
constexpr int MinFps = 1, MaxFps = 50;
const char *const SoundPresets[] = {"Low", "Med", "Hight"};

using Values = std::map<std::string, std::string>;
// Paths go through the wide calls: the application data folder may hold characters (a user
// name in another script) that the ANSI code page has no place for.
using WidePath = std::basic_string<WCHAR>;

WidePath Widened(const std::string &Ascii) { return WidePath(Ascii.begin(), Ascii.end()); }

// The settings file's full path, or empty when the system names no application data folder.
WidePath SettingsFile() {
    WCHAR folder[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(Widened("APPDATA").c_str(), folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return WidePath();
    // The system takes "/" between folders as well, and so does the test double.
    return WidePath(folder, n) +
           Widened(std::string("/") + SettingsFolder + "/" + SettingsFileName);
}

std::string ReadWhole(const WidePath &Path) {
    HANDLE file = CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string text;
    char buffer[4096];
    DWORD done = 0;
    while (text.size() <= MaxSettingsSize &&
           ReadFile(file, buffer, sizeof(buffer), &done, nullptr) && done > 0)
        text.append(buffer, done);
    CloseHandle(file);
    return text.size() <= MaxSettingsSize ? text : std::string();
}

// Every "Name=Value" line; lines without a '=' (the section, garbage) are passed over.
Values Parse(const std::string &Text) {
    Values values;
    size_t start = 0;
    while (start < Text.size()) {
        size_t end = Text.find('\n', start);
        if (end == std::string::npos) end = Text.size();
        std::string line = Text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t equals = line.find('=');
        if (equals != std::string::npos && equals > 0)
            values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

// A decimal integer, nothing else on the line; false when there is none. Beyond Min..Max it
// gives the nearest end.
bool ReadInt(const Values &V, const char *Name, int Min, int Max, int &Value) {
    auto it = V.find(Name);
    if (it == V.end() || it->second.empty()) return false;
    const char *text = it->second.c_str();
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (*end != '\0' || end == text || text[0] == ' ') return false;
    if (errno == ERANGE) v = text[0] == '-' ? Min : Max;
    Value = (int)std::max<long long>(Min, std::min<long long>(Max, v));
    return true;
}

void LoadInt(const Values &V, const char *Name, int Min, int Max, std::atomic<int> &Field) {
    int value;
    if (ReadInt(V, Name, Min, Max, value)) Field = value;
}

// A file name: some text, no control characters, shorter than a path may be.
void LoadName(const Values &V, const char *Name, TEdit *Box) {
    auto it = V.find(Name);
    if (it == V.end() || it->second.empty() || it->second.size() >= MAX_PATH) return;
    for (char c : it->second)
        if ((unsigned char)c < ' ') return;
    Box->SetText(it->second);
}

// The compressor kept by its handler code: chosen again when it still records the screen.
void LoadCompressor(const Values &V) {
    auto it = V.find("Compressor");
    if (it == V.end() || it->second.empty() || it->second.size() > 4) return;
    std::string code = it->second;
    for (char c : code)
        if (c < ' ' || c > '~') return;
    code.resize(4, ' '); // 'DIB ' loses its blank where a user edits the file
    DWORD handler = mmioFOURCC(code[0], code[1], code[2], code[3]);
    ScreenCam->EnumerateCompressors();
    for (int k = 0; k < ScreenCam->CompressorCount; k++)
        if (SameFourCC(ScreenCam->Compressors[k].fccHandler, handler)) {
            ScreenCam->SelectedCompressor = k;
            return;
        }
}

// The last area recorded, cut to the virtual screen, when some of it still lies on a monitor.
void LoadArea(const Values &V) {
    int left, top, right, bottom;
    const int Far = 1 << 20; // farther than any screen reaches
    if (!ReadInt(V, "AreaLeft", -Far, Far, left) || !ReadInt(V, "AreaTop", -Far, Far, top) ||
        !ReadInt(V, "AreaRight", -Far, Far, right) || !ReadInt(V, "AreaBottom", -Far, Far, bottom))
        return;
    // Only what lies on the screen now is grabbed; an empty area (Record with nothing changing)
    // records nothing again: not kept.
    RECT area = Intersection({left, top, right, bottom}, VirtualScreen());
    if (IsEmpty(area) || !MonitorFromRect(&area, MONITOR_DEFAULTTONULL)) return;
    SetCaptureArea(area);
    Form1->Button1->SetEnabled(true);
}

// The main window's place, where the user left it (the default one when it is on no monitor).
void LoadPlace(const Values &V) {
    int left, top, right, bottom;
    const int Far = 1 << 20;
    bool kept = ReadInt(V, "WindowLeft", -Far, Far, left) &&
                ReadInt(V, "WindowTop", -Far, Far, top) &&
                ReadInt(V, "WindowRight", -Far, Far, right) &&
                ReadInt(V, "WindowBottom", -Far, Far, bottom);
    RECT place = {left, top, right, bottom};
    RECT start = {Form1->Left(), Form1->Top(), Form1->Left() + Form1->Width(),
                  Form1->Top() + Form1->Height()};
    place = OpeningPlace(kept ? &place : nullptr, start, Form1->SecondCopy());
    Form1->SetBounds(place.left, place.top, place.right - place.left, place.bottom - place.top);
}

std::string CompressorCode() {
    int k = ScreenCam->SelectedCompressor;
    if (k < 0 || k >= ScreenCam->CompressorCount) return std::string();
    std::string code;
    DWORD handler = ScreenCam->Compressors[k].fccHandler;
    for (int shift = 0; shift < 32; shift += 8) {
        char c = (char)((handler >> shift) & 0xFF);
        if (c < ' ' || c > '~') return std::string();
        code += c;
    }
    return code;
}

std::string SettingsText() {
    TRadioButton *presets[] = {Form1->RadioButton1, Form1->RadioButton2, Form1->RadioButton3};
    std::string preset = SoundPresets[2];
    for (int i = 0; i < 3; i++)
        if (presets[i]->Checked()) preset = SoundPresets[i];
    char numbers[256];
    snprintf(numbers, sizeof(numbers),
             "Quality=%d\r\nKeyFrameEvery=%d\r\nMsPerFrame=%d\r\nPlaybackFps=%d\r\n"
             "AreaLeft=%d\r\nAreaTop=%d\r\nAreaRight=%d\r\nAreaBottom=%d\r\nSound=%d\r\n",
             ScreenCam->Quality.load(), ScreenCam->KeyFrameEvery.load(),
             ScreenCam->MsPerFrame.load(), ScreenCam->PlaybackFps.load(), CaptureLeft, CaptureTop,
             CaptureRight, CaptureBottom, Form1->CheckBox1->Checked() ? 1 : 0);
    RECT place = Form1->Place();
    char window[128] = "";
    if (place.right > place.left)
        snprintf(window, sizeof(window),
                 "WindowLeft=%ld\r\nWindowTop=%ld\r\nWindowRight=%ld\r\nWindowBottom=%ld\r\n",
                 (long)place.left, (long)place.top, (long)place.right, (long)place.bottom);
    return "[Quillet]\r\nCompressor=" + CompressorCode() + "\r\n" + numbers + window +
           "SoundQuality=" + preset + "\r\nAviName=" + OptionDlg->FileName->Text() +
           "\r\nWavName=" + OptionDlg->WaveName->Text() + "\r\n";
}

} // namespace

std::string SettingsPath() {
    WidePath path = SettingsFile();
    std::string text(path.size() * 3, '\0'); // UTF-8 takes up to 3 bytes for a UTF-16 unit
    int n = path.empty() ? 0
                         : WideCharToMultiByte(CP_UTF8, 0, path.c_str(), (int)path.size(), &text[0],
                                               (int)text.size(), nullptr, nullptr);
    text.resize(n > 0 ? n : 0);
    return text;
}

void LoadSettings() {
    WidePath path = SettingsFile();
    if (path.empty()) return;
    Values v = Parse(ReadWhole(path));
    LoadInt(v, "Quality", MinQuality, MaxQuality, ScreenCam->Quality);
    LoadInt(v, "KeyFrameEvery", INT32_MIN, INT32_MAX, ScreenCam->KeyFrameEvery);
    LoadInt(v, "MsPerFrame", MinMsPerFrame, MaxMsPerFrame, ScreenCam->MsPerFrame);
    LoadInt(v, "PlaybackFps", MinFps, MaxFps, ScreenCam->PlaybackFps);
    LoadName(v, "AviName", OptionDlg->FileName);
    LoadName(v, "WavName", OptionDlg->WaveName);
    if (v["Sound"] == "0" || v["Sound"] == "1") Form1->CheckBox1->SetChecked(v["Sound"] == "1");
    // Checking a preset's button sets its sound format, as a click does.
    TRadioButton *presets[] = {Form1->RadioButton1, Form1->RadioButton2, Form1->RadioButton3};
    for (int i = 0; i < 3; i++)
        if (v["SoundQuality"] == SoundPresets[i]) presets[i]->SetChecked(true);
    LoadCompressor(v);
    LoadArea(v);
    LoadPlace(v);
}

bool SaveSettings() {
    WidePath path = SettingsFile();
    if (path.empty()) return false;
    WidePath folder = path.substr(0, path.find_last_of('/'));
    CreateDirectoryW(folder.c_str(), nullptr); // there already, or it cannot be made
    // One new file per process: two copies of Quillet saving at once never share one.
    char suffix[32];
    snprintf(suffix, sizeof(suffix), ".%lu.new", (unsigned long)GetCurrentProcessId());
    WidePath fresh = path + Widened(suffix);
    std::string text = SettingsText();
    HANDLE file = CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    bool written = WriteFile(file, text.data(), (DWORD)text.size(), &done, nullptr) &&
                   done == text.size() && FlushFileBuffers(file);
    CloseHandle(file);
    if (written && MoveFileExW(fresh.c_str(), path.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(fresh.c_str());
    return false;
}
