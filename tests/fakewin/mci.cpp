// MCI of the double: command strings are logged; the player's commands work on a small table of
// media files.
#include "fakewin/area.h"
#include "fakewin/kernel.h"
#include "fakewin/mcilog.h"
#include "fakewin/windows.h"

#include <cstdio>
#include <map>

namespace fakewin {
namespace {

struct MediaFile {
    bool video;
    int width, height;
};

struct MciState {
    std::vector<MciString> strings;
    std::vector<MciCommand> commands;
    std::map<std::string, MediaFile> files;
    std::map<MCIDEVICEID, MediaFile> devices;
    MCIDEVICEID next_device = 1;
};
Area<MciState> mci;
MciState &s = mci.s;
using Lock = std::lock_guard<std::mutex>;

} // namespace

std::vector<MciString> mci_strings() { return mci.get(&MciState::strings); }
std::vector<MciCommand> mci_commands() { return mci.get(&MciState::commands); }
void add_media_file(const std::string &name, bool video, int width, int height) {
    Lock lock(mci.mutex);
    s.files[name] = {video, width, height};
}
int open_mci_devices() { return (int)mci.get(&MciState::devices).size(); }

} // namespace fakewin

using namespace fakewin;

MCIERROR mciSendStringA(LPCSTR command, LPSTR ret, UINT retLength, HWND callback) {
    // Read before taking the lock: the window's text comes through its own procedure.
    char caption[256] = "";
    if (callback) GetWindowTextA(callback, caption, sizeof(caption));
    size_t deleted = deleted_files().size();
    Lock lock(mci.mutex);
    s.strings.push_back({command ? command : "", callback, ret != nullptr && retLength != 0,
                         on_main_thread(), deleted, caption});
    if (ret && retLength) ret[0] = 0;
    return 0;
}

MCIERROR mciSendCommandA(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR params) {
    Lock lock(mci.mutex);
    MciCommand c = {device, msg, flags, "", false, 0, nullptr, {}, 0};
    if (params) c.callback = ((MCI_GENERIC_PARMS *)params)->dwCallback;
    switch (msg) {
    case MCI_OPEN:
        if (params) {
            auto *p = (MCI_OPEN_PARMSA *)params;
            c.element =
                (flags & MCI_OPEN_ELEMENT) && p->lpstrElementName ? p->lpstrElementName : "";
            c.device_type = (flags & MCI_OPEN_TYPE) != 0;
        }
        break;
    case MCI_GETDEVCAPS:
        if (params) c.item = ((MCI_GETDEVCAPS_PARMS *)params)->dwItem;
        break;
    case MCI_WINDOW:
        if (params && (flags & MCI_DGV_WINDOW_HWND))
            c.window = ((MCI_DGV_WINDOW_PARMSA *)params)->hWnd;
        break;
    case MCI_PUT:
        if (params) c.rect = ((MCI_DGV_RECT_PARMS *)params)->rc;
        break;
    }
    s.commands.push_back(c);

    if (msg == MCI_OPEN) {
        auto file = s.files.find(c.element);
        if (!params || file == s.files.end()) return MCIERR_FILE_NOT_FOUND;
        ((MCI_OPEN_PARMSA *)params)->wDeviceID = s.next_device;
        s.devices[s.next_device++] = file->second;
        return 0;
    }
    auto dev = s.devices.find(device);
    if (dev == s.devices.end()) return MCIERR_INVALID_DEVICE_ID;
    switch (msg) {
    case MCI_CLOSE:
        s.devices.erase(dev);
        break;
    case MCI_GETDEVCAPS:
        if (!params) return MCIERR_UNRECOGNIZED_COMMAND;
        ((MCI_GETDEVCAPS_PARMS *)params)->dwReturn =
            c.item == MCI_GETDEVCAPS_HAS_VIDEO ? (DWORD)dev->second.video : 0;
        break;
    case MCI_WHERE:
        if (!dev->second.video) return MCIERR_UNRECOGNIZED_COMMAND;
        if (params)
            ((MCI_DGV_RECT_PARMS *)params)->rc = {0, 0, dev->second.width, dev->second.height};
        break;
    case MCI_WINDOW:
    case MCI_PUT:
        if (!dev->second.video) return MCIERR_UNRECOGNIZED_COMMAND;
        break;
    }
    return 0;
}

BOOL mciGetErrorStringA(MCIERROR error, LPSTR text, UINT length) {
    if (!text || !length) return FALSE;
    // The system's own text for the error a user meets; a numbered one for the others.
    if (error == MCIERR_FILE_NOT_FOUND)
        snprintf(text, length,
                 "Cannot find the specified file. Make sure the path and filename "
                 "are correct.");
    else
        snprintf(text, length, "MCI error %u.", (unsigned)error);
    return TRUE;
}
