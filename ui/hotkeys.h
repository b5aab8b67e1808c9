// The system-wide keys of the main window's commands: Ctrl+Shift with a function key, each doing
// what its button does from any window. Registered for the main window, which turns WM_HOTKEY
// into its button's click.
#pragma once
#include "framework/winapi.h"

#include <string>

struct HotKeyCommand {
    int Id;
    UINT Key;
    const char *Name;
};
constexpr HotKeyCommand RecordKey = {1, VK_F7, "Ctrl+Shift+F7"};
constexpr HotKeyCommand RecordAgainKey = {2, VK_F8, "Ctrl+Shift+F8"};
constexpr HotKeyCommand PauseKey = {3, VK_F9, "Ctrl+Shift+F9"};
constexpr HotKeyCommand StopKey = {4, VK_F10, "Ctrl+Shift+F10"};
constexpr HotKeyCommand SelectAreaKey = {5, VK_F6, "Ctrl+Shift+F6"};
constexpr HotKeyCommand HotKeys[] = {RecordKey, RecordAgainKey, PauseKey, StopKey, SelectAreaKey};

// The hint of a command's button.
std::string KeyHint(const HotKeyCommand &Key);

// The keys registered for one window, and those that could not be had.
class HotKeyRegistration {
  public:
    HotKeyRegistration() = default;
    ~HotKeyRegistration() { Unregister(); }
    HotKeyRegistration(const HotKeyRegistration &) = delete;
    HotKeyRegistration &operator=(const HotKeyRegistration &) = delete;

    void Register(HWND Window);
    void Unregister();
    // Every key was held: a copy of Quillet started before has them, and they work there.
    bool OtherCopyHoldsThem() const { return FOtherCopy; }
    // What to tell the user once the window shows: the keys another program holds and those
    // the system refused; "" when there is nothing to tell.
    std::string Refusal() const;

  private:
    HWND FWindow = nullptr;
    std::string FRefused; // held by another program
    std::string FFailed;  // refused by the system for another reason
    bool FOtherCopy = false;
};
