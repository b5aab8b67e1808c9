// The media player: plays one file through the Media Control Interface, a video scaled into
// its display control. Its own window only receives the completion notices; it stays hidden.
#pragma once
#include "framework/controls.h"

#include <string>

class TMediaPlayer : public TControl {
  public:
    using TControl::TControl;
    ~TMediaPlayer() override;

    std::string FileName;
    TControl *Display = nullptr; // where a video shows

    // Closes an open device first, then opens FileName with the device its extension
    // selects. Raises Exception with the system's text when it cannot be opened.
    void Open();
    // Plays from the start and returns at once; the completion notice comes to the player.
    void Play();
    // Only while a device is open.
    void Close();
    // Only while a device with video is open; right and bottom both 0 stand for the video's
    // own size.
    void SetDisplayRect(const RECT &Rect);

    MCIDEVICEID DeviceID() const { return FDevice; }
    bool HasVideo() const { return FHasVideo; }
    MCIERROR Error() const { return FError; } // the result of the latest command

  protected:
    void CreateParams(std::string &ClassName, DWORD &Style, DWORD &ExStyle) override;

  private:
    MCIDEVICEID FDevice = 0;
    bool FHasVideo = false;
    int FDefaultWidth = 0, FDefaultHeight = 0;
    MCIERROR FError = 0;
};
