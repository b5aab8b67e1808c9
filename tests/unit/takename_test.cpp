#include "avifile/recordfile.h"
#include "fakewin/fakewin.h"
#include "fakewin/kernel.h"
#include "ui/takename.h"

#include <gtest/gtest.h>

// A take's names as the main window makes them, with the files on disk and the local time
// (2026-12-08 10:41:12 on the double): the AVI, its second numbered part and the WAV.
TEST(TakeNameTest, AFreeNameIsUsedAndATakenOneGetsTheTakesStart) {
    const std::string at = " 2026-12-08 10-41-12";
    struct Row {
        const char *why, *avi, *wave;
        bool sound;
        std::vector<std::string> present;
        std::string want[3];
    } rows[] = {
        // clang-format off
        {"free", "test.avi", "test.wav", true, {}, {"test.avi", "test (2).avi", "test.wav"}},
        {"taken", "test.avi", "test.wav", true, {"test.avi"},
         {"test" + at + ".avi", "test" + at + " (2).avi", "test" + at + ".wav"}},
        {"WAV taken", "test.avi", "test.wav", true, {"test.wav"},
         {"test" + at + ".avi", "test" + at + " (2).avi", "test" + at + ".wav"}},
        {"WAV taken, no sound", "test.avi", "test.wav", false, {"test.wav"},
         {"test.avi", "test (2).avi", "test.wav"}},
        {"two takes in one second", "test.avi", "test.wav", false, {"test.avi", "test" + at + ".avi"},
         {"test" + at + "_2.avi", "test" + at + "_2 (2).avi", "test" + at + "_2.wav"}},
        {"no extension", "C:\\my.dir\\take", "C:\\my.dir\\take.wav", false, {"C:\\my.dir\\take"},
         {"C:\\my.dir\\take" + at, "C:\\my.dir\\take" + at + " (2)", "C:\\my.dir\\take" + at + ".wav"}},
        {"no such folder", "no-such-folder/clip.avi", "no-such-folder/clip.wav", true, {},
         {"no-such-folder/clip.avi", "no-such-folder/clip (2).avi", "no-such-folder/clip.wav"}},
        // clang-format on
    };
    for (const Row &r : rows) {
        fakewin::reset();
        fakewin::put_files(r.present);
        TakeNames names = NameTakeNow(r.avi, r.wave, r.sound);
        EXPECT_EQ(r.want[0], names.Avi) << r.why;
        EXPECT_EQ(r.want[1], NumberedFileName(names.Avi, 2)) << r.why;
        EXPECT_EQ(r.want[2], names.Wave) << r.why;
    }
    EXPECT_TRUE(fakewin::deleted_files().empty());
    // Every field in two digits.
    fakewin::put_files({"test.avi"});
    fakewin::set_local_time(2027, 1, 2, 3, 4, 5);
    EXPECT_EQ("test 2027-01-02 03-04-05.avi", NameTakeNow("test.avi", "test.wav", false).Avi);
    fakewin::reset();
}
