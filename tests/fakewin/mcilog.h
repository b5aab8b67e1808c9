// Test control of the double's Media Control Interface: the command strings sent, the player
// commands sent, and the media files that open.
#pragma once
#include "fakewin/types.h"

#include <string>
#include <vector>

namespace fakewin {

struct MciString {
    std::string command;
    HWND callback;
    bool return_buffer; // a return buffer (non-null, non-zero length) was passed
    bool main_thread;
    size_t files_deleted; // DeleteFile calls made before this command
    std::string caption;  // the callback window's text when the command was sent
};
// Every command string succeeds.
std::vector<MciString> mci_strings();

struct MciCommand {
    MCIDEVICEID device;
    UINT msg;
    DWORD_PTR flags;
    std::string element; // MCI_OPEN: the element name
    bool device_type;    // MCI_OPEN: a device type was given
    DWORD item;          // MCI_GETDEVCAPS: the item asked for
    HWND window;         // MCI_WINDOW: the window handed over
    RECT rect;           // MCI_PUT: the rectangle
    DWORD_PTR callback;  // the notify callback
};
std::vector<MciCommand> mci_commands();

// A media file that opens; any other element fails with MCIERR_FILE_NOT_FOUND. Files with
// video report that capability and their natural size for MCI_WHERE.
void add_media_file(const std::string &name, bool video, int width, int height);
int open_mci_devices(); // opened and not yet closed

} // namespace fakewin
