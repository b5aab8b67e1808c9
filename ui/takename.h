// The names of a take. A take never replaces an earlier recording: the File Name box's name is
// used while no file has it, and otherwise the take's start is added to it
// ("test 2026-12-08 10-41-12.avi"). The numbered parts of a long take and its WAV follow the
// same base ("test 2026-12-08 10-41-12 (2).avi", "test 2026-12-08 10-41-12.wav").
#pragma once
#include "framework/winapi.h"

#include <functional>
#include <string>

struct TakeNames {
    std::string Avi;
    std::string Wave;
};

// Text inserted before the extension of the file name (not of a folder), or at the end when
// the file name has none.
std::string InsertBeforeExtension(const std::string &Name, const std::string &Text);

// The names of a take that starts at Start, from the AVI and WAV names of the Options dialog.
// The AVI name is taken when Exists says so, and so is the WAV name when the take records sound.
// Two takes within one second get a count after the time.
TakeNames NameTake(const std::string &Avi, const std::string &Wave, bool WithSound,
                   const SYSTEMTIME &Start, const std::function<bool(const std::string &)> &Exists);

// NameTake for a take starting now, with the files on disk.
TakeNames NameTakeNow(const std::string &Avi, const std::string &Wave, bool WithSound);
