#include "ui/takesummary.h"
#include "avifile/recordfile.h"

#include <cstdio>

namespace {

constexpr int Margin = 8, LineHeight = 13, Gap = 4;
constexpr int FolderButtonWidth = 100, FolderButtonHeight = 25;
// Lines each label may take: a long path wraps.
constexpr int LabelLines[] = {3, 1, 1, 2};
constexpr double BytesPerMB = 1024.0 * 1024.0;

std::string FullPath(const std::string &Name) {
    char path[MAX_PATH];
    DWORD n = GetFullPathNameA(Name.c_str(), sizeof(path), path, nullptr);
    return n > 0 && n < sizeof(path) ? std::string(path, n) : Name;
}

// The file's size, or -1 when there is no such file.
int64_t FileSize(const std::string &Name) {
    HANDLE file = CreateFileA(Name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    LARGE_INTEGER size;
    bool known = GetFileSizeEx(file, &size);
    CloseHandle(file);
    return known ? (int64_t)size.QuadPart : -1;
}

// A number as the user's locale writes it.
std::string Decimal(double Value, int Digits) {
    char text[64], sep[8] = ".";
    snprintf(text, sizeof(text), "%.*f", Digits, Value);
    std::string out = text;
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, sizeof(sep)) > 1) {
        size_t dot = out.find('.');
        if (dot != std::string::npos) out.replace(dot, 1, sep);
    }
    return out;
}

} // namespace

TakeSummary ReadTake(const TakeNames &Take, bool WithSound, int Frames, int Skipped, int Fps) {
    TakeSummary summary;
    for (int n = 1;; ++n) {
        int64_t size = FileSize(NumberedFileName(Take.Avi, n));
        if (size < 0) break;
        summary.Bytes += size;
        summary.Files = n;
    }
    if (summary.Files == 0) return summary;
    summary.AviPath = FullPath(Take.Avi);
    summary.Frames = Frames;
    summary.Skipped = Skipped;
    summary.Seconds = Fps > 0 ? (double)(Frames + Skipped) / Fps : 0;
    if (WithSound && FileSize(Take.Wave) >= 0) summary.WavePath = FullPath(Take.Wave);
    return summary;
}

std::vector<std::string> TakeSummaryLines(const TakeSummary &Take) {
    std::string figures = "Length: " + Decimal(Take.Seconds, 1) + " s, " +
                          std::to_string(Take.Frames) + " frames, " +
                          Decimal((double)Take.Bytes / BytesPerMB, 2) + " MB";
    if (Take.Files > 1) figures += ", in " + std::to_string(Take.Files) + " numbered files";
    return {"Recorded: " + Take.AviPath, figures,
            Take.Skipped > 0 ? "Skipped frames: " + std::to_string(Take.Skipped) : "",
            Take.WavePath.empty() ? "" : "Sound: " + Take.WavePath};
}

TakeView::TakeView(TForm *Form, TPanel *Display) : FDisplay(Display) {
    for (size_t i = 0; i < sizeof(LabelLines) / sizeof(LabelLines[0]); ++i) {
        FLines.push_back(new TLabel(Form, Display));
        FLines.back()->SetVisible(false);
    }
    FFolder = new TButton(Form, Display);
    FFolder->SetCaption("Show in Folder");
    FFolder->SetHint("Opens the folder with the recording selected");
    FFolder->SetVisible(false);
    FFolder->OnClick = [this](TObject *) { ShowInFolder(); };
}

void TakeView::Show(const TakeSummary &Take) {
    FPath = Take.AviPath;
    std::vector<std::string> lines = TakeSummaryLines(Take);
    for (size_t i = 0; i < FLines.size(); ++i) {
        FLines[i]->SetCaption(lines[i]);
        FLines[i]->SetVisible(!lines[i].empty());
    }
    FFolder->SetVisible(true);
    Resize();
}

void TakeView::Hide() {
    for (TLabel *line : FLines)
        line->SetVisible(false);
    FFolder->SetVisible(false);
}

void TakeView::ShowLast() {
    if (FPath.empty()) return;
    for (TLabel *line : FLines)
        line->SetVisible(!line->Caption().empty());
    FFolder->SetVisible(true);
    Resize();
}

void TakeView::Resize() {
    int width = FDisplay->Width() - 2 * Margin, top = Margin;
    for (size_t i = 0; i < FLines.size(); ++i) {
        if (!FLines[i]->Visible()) continue;
        FLines[i]->SetBounds(Margin, top, width, LabelLines[i] * LineHeight);
        top += LabelLines[i] * LineHeight + Gap;
    }
    FFolder->SetBounds(Margin, top + Gap, FolderButtonWidth, FolderButtonHeight);
}

void TakeView::ShowInFolder() {
    std::string select = "/select,\"" + FPath + "\"";
    if ((intptr_t)ShellExecuteA(nullptr, "open", "explorer.exe", select.c_str(), nullptr,
                                SW_SHOWNORMAL) <= 32)
        MessageBoxA(nullptr, ("The folder of " + FPath + " could not be opened.").c_str(), "Error",
                    MB_OK | MB_ICONWARNING);
}
