// split_record: a recording with the recorder's default settings whose files are held under a
// lowered size limit, so that it goes on into numbered files within seconds.
//
//   split_record file.avi X Y W H limit_bytes seconds
//
// Records the area for the given time (the recovery check kills it before that), then reports
//   PASS: recorded frames=N skipped=S
#include "recorder/recordfile.h"
#include "tests/e2e/programs/report.h"
#include "tests/e2e/programs/timed_recording.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char **argv) {
    if (argc < 8) {
        std::fprintf(stderr, "usage: split_record file.avi X Y W H limit_bytes seconds\n");
        return 2;
    }
    AviFileLimit = std::atoll(argv[6]);
    auto cam = std::make_unique<TScreenCam>(nullptr);
    timed_recording::RecordFor(*cam, atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]),
                               argv[1], atof(argv[7]));
    ok(cam->FramesWritten > 0, "recorded frames=%d skipped=%d", cam->FramesWritten,
       cam->SkippedFrames);
    cam.reset();
    return report::exit_code();
}
