// The program's three forms on the Windows double, as the entry creates them.
#pragma once
#include "fakewin/fakewin.h"
#include "fakewin/kernel.h"
#include "fakewin/mcilog.h"
#include "fakewin/window.h"
#include "framework/application.h"
#include "recorder/recordthread.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/optdlg.h"

#include <gtest/gtest.h>

class UiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fakewin::reset();
        // The process starts with the "Hight" preset; a test that picked another must not
        // leave it to the next.
        WaveBitsPerSample = "16";
        WaveChannels = "1";
        WaveSamplesPerSec = "48300";
        WaveBytesPerSec = "163000";
        HeightFix = 0;
        // A recording started by a test takes real time per frame instead of spinning.
        fakewin::set_real_sleep_scale(0.02);
        Application->Initialize();
        Application->Title = "Quillet";
        Application->CreateForm(Form1);
        Application->CreateForm(OptionDlg);
        Application->CreateForm(Form2);
    }
    void TearDown() override {
        fakewin::on_idle(nullptr);
        if (ScreenCam) StopRecordingAndWait(ScreenCam);
        Application->FreeForms();
        fakewin::reset();
    }
    // Runs the modal dialog's loop with one scripted step: the step sets the controls and
    // clicks a button.
    static void OnModal(std::function<void()> step) {
        fakewin::on_idle([step] {
            fakewin::on_idle(nullptr);
            step();
            return true;
        });
    }
    // The user's click, on the control's own state: an error in its handler goes to the
    // application's handler, as from the form's window procedure.
    static void Press(TControl *Control) {
        try {
            Control->Click();
        } catch (const std::exception &e) {
            Application->HandleException(e);
        }
    }
    static std::vector<std::string> MciStrings() {
        std::vector<std::string> list;
        for (auto &s : fakewin::mci_strings())
            list.push_back(s.command);
        return list;
    }
};
