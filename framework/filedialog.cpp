// The system's file-open dialog.
#include "framework/filedialog.h"

#include <algorithm>
#include <cstdio>

// --- TOpenDialog ---

bool TOpenDialog::Execute() {
    // "text|pattern|text|pattern" becomes the NUL-separated, double-NUL-ended list.
    std::string filter = Filter;
    std::replace(filter.begin(), filter.end(), '|', '\0');
    filter.append(2, '\0');
    char file[MAX_PATH];
    snprintf(file, sizeof(file), "%s", FileName.c_str());
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = FForm && FForm->HandleAllocated() ? FForm->Handle() : nullptr;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = (DWORD)FilterIndex;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof(file);
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&ofn)) return false;
    FileName = file;
    return true;
}
