#include "avifile/recordfile.h"
#include "fakewin/fakewin.h"
#include "fakewin/kernel.h"
#include "ui/takename.h"

#include <gtest/gtest.h>

// A take's names as the main window makes them: with the files on disk and the local time.
TEST(TakeNameTest, AFreeNameIsUsedAndATakenOneGetsTheTakesStart) {
    struct Row {
        const char *why, *avi, *wave;
        bool sound;
        std::vector<std::string> present;
        WORD month, day, hour, minute, second;
        const char *wantAvi, *wantWave, *wantPart2;
    } rows[] = {
        {"free",
         "test.avi",
         "test.wav",
         true,
         {},
         12,
         8,
         10,
         41,
         12,
         "test.avi",
         "test.wav",
         "test (2).avi"},
        {"taken",
         "test.avi",
         "test.wav",
         true,
         {"test.avi"},
         12,
         8,
         10,
         41,
         12,
         "test 2026-12-08 10-41-12.avi",
         "test 2026-12-08 10-41-12.wav",
         "test 2026-12-08 10-41-12 (2).avi"},
        {"WAV taken",
         "test.avi",
         "test.wav",
         true,
         {"test.wav"},
         1,
         2,
         3,
         4,
         5,
         "test 2026-01-02 03-04-05.avi",
         "test 2026-01-02 03-04-05.wav",
         nullptr},
        {"WAV taken, no sound",
         "test.avi",
         "test.wav",
         false,
         {"test.wav"},
         1,
         2,
         3,
         4,
         5,
         "test.avi",
         "test.wav",
         nullptr},
        {"two takes in one second",
         "test.avi",
         "test.wav",
         false,
         {"test.avi", "test 2026-12-08 10-41-12.avi"},
         12,
         8,
         10,
         41,
         12,
         "test 2026-12-08 10-41-12_2.avi",
         "test 2026-12-08 10-41-12_2.wav",
         nullptr},
        {"no extension",
         "C:\\my.dir\\take",
         "C:\\my.dir\\take.wav",
         false,
         {"C:\\my.dir\\take"},
         12,
         8,
         10,
         41,
         12,
         "C:\\my.dir\\take 2026-12-08 10-41-12",
         "C:\\my.dir\\take 2026-12-08 10-41-12.wav",
         "C:\\my.dir\\take 2026-12-08 10-41-12 (2)"},
        {"no such folder",
         "no-such-folder/clip.avi",
         "no-such-folder/clip.wav",
         true,
         {},
         12,
         8,
         10,
         41,
         12,
         "no-such-folder/clip.avi",
         "no-such-folder/clip.wav",
         nullptr},
    };
    for (const Row &r : rows) {
        fakewin::reset();
        fakewin::put_files(r.present);
        fakewin::set_local_time(2026, r.month, r.day, r.hour, r.minute, r.second);
        TakeNames names = NameTakeNow(r.avi, r.wave, r.sound);
        EXPECT_EQ(r.wantAvi, names.Avi) << r.why;
        EXPECT_EQ(r.wantWave, names.Wave) << r.why;
        if (r.wantPart2) {
            EXPECT_EQ(r.wantPart2, NumberedFileName(names.Avi, 2)) << r.why;
        }
    }
    EXPECT_TRUE(fakewin::deleted_files().empty());
    fakewin::reset();
}
