// The settings kept between runs, in %APPDATA%\Quillet\Quillet.ini: the Options values (the
// compressor by its handler code), the sound box and preset, and the last area recorded. The
// recorder, the Options dialog and the main window keep their own fields; these functions fill
// them at start and read them back when the settings are written.
#pragma once
#include <string>

// The settings file's full path in UTF-8, or empty when the system names no application data
// folder.
std::string SettingsPath();

// Fills the recorder, the Options dialog and the main window from the settings file. Whatever is
// missing or wrong in it (no file, an unreadable one, garbage, a value out of range or of the
// wrong kind) gives the default for that value, or the nearest one in range; a compressor that
// no longer records the screen gives the default one, an area on no monitor the default area.
// Nothing is shown to the user. With a kept area, Record Again is enabled at once.
void LoadSettings();

// Writes the current settings whole into a new file and moves it over the old one, so that the
// old file stays whole until the new one is complete. A folder that cannot be written keeps
// nothing, silently. Returns whether the file was written.
bool SaveSettings();
