// Registering the command keys: without key repeat where the system has it, and telling a key
// another program holds from one the system refuses.
#include "ui/hotkeys.h"

#include <vector>

namespace {
// Ctrl+Shift with a function key that programs do not use alone, and not Ctrl+Alt (AltGr on
// many keyboards, so it would take characters from typing).
constexpr UINT HotKeyModifiers = MOD_CONTROL | MOD_SHIFT;
// MOD_NOREPEAT (Windows 7 on), which SDK headers for older targets leave out.
constexpr UINT NoRepeat = 0x4000;

void Append(std::string &List, const char *Name) {
    List += (List.empty() ? "" : ", ") + std::string(Name);
}
} // namespace

std::string KeyHint(const HotKeyCommand &Key) {
    return std::string(Key.Name) + ", from any window";
}

void HotKeyRegistration::Register(HWND Window) {
    Unregister();
    FWindow = Window;
    std::vector<const HotKeyCommand *> held;
    for (const HotKeyCommand &key : HotKeys) {
        // Held down, a key sends one command, not one per repeat; before Windows 7 the system
        // refuses that modifier, and the key repeats.
        BOOL registered = RegisterHotKey(Window, key.Id, HotKeyModifiers | NoRepeat, key.Key);
        if (!registered && GetLastError() != ERROR_HOTKEY_ALREADY_REGISTERED)
            registered = RegisterHotKey(Window, key.Id, HotKeyModifiers, key.Key);
        if (registered) continue;
        if (GetLastError() == ERROR_HOTKEY_ALREADY_REGISTERED)
            held.push_back(&key);
        else
            Append(FFailed, key.Name);
    }
    FOtherCopy = held.size() == sizeof(HotKeys) / sizeof(HotKeys[0]);
    if (!FOtherCopy)
        for (const HotKeyCommand *key : held)
            Append(FRefused, key->Name);
}

void HotKeyRegistration::Unregister() {
    if (!FWindow) return;
    for (const HotKeyCommand &key : HotKeys)
        UnregisterHotKey(FWindow, key.Id);
    FWindow = nullptr;
    FRefused.clear();
    FFailed.clear();
    FOtherCopy = false;
}

std::string HotKeyRegistration::Refusal() const {
    if (FRefused.empty() && FFailed.empty()) return "";
    std::string text;
    if (!FRefused.empty())
        text =
            "Another program holds these keys, so they do nothing in Quillet: " + FRefused + ". ";
    if (!FFailed.empty())
        text += "The system refused these keys, so they do nothing in Quillet: " + FFailed + ". ";
    return text + "The buttons and the other keys work.";
}
