// split_record: one recording through the real recorder, with the AVI size limit lowered or
// left as it is, while another program shows a moving picture in the area.
//
//   split_record FOURCC file.avi X Y W H ms_per_frame playback_fps seconds [limit_bytes [rate]]
//
// limit_bytes 0 keeps the limit as it is; with a rate the recording has its sound in the AVI
// (16 bits, mono, that many samples a second, from the default input).
//
// Prints what the recorder counted and the files the recording made, one line each:
//   recorded frames=N skipped=S ms_per_frame=M files=F result=idle
//   file NAME BYTES
#include "avifile/recordfile.h"
#include "tests/e2e/programs/timed_recording.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char **argv) {
    if (argc < 10) {
        std::fprintf(stderr, "usage: split_record FOURCC file.avi X Y W H ms_per_frame fps "
                             "seconds [limit_bytes [rate]]\n");
        return 2;
    }
    if (argc > 10 && _atoi64(argv[10]) > 0) AviFileLimit = _atoi64(argv[10]);
    int x = atoi(argv[3]), y = atoi(argv[4]), w = atoi(argv[5]), h = atoi(argv[6]);

    // Numbered files of an earlier run would be taken for this one's.
    DeleteRecordingFiles(argv[2]);

    auto cam = std::make_unique<TScreenCam>(nullptr);
    cam->CompressorFourCC = timed_recording::FourCC(argv[1]);
    cam->MsPerFrame = atoi(argv[7]);
    cam->PlaybackFps = atoi(argv[8]);
    cam->Quality = 10000;
    cam->ShowMarker = false;
    if (argc > 11) {
        cam->RecordSound = true;
        cam->SoundBitsPerSample = 16;
        cam->SoundChannels = 1;
        cam->SoundSamplesPerSec = atoi(argv[11]);
    }
    timed_recording::RecordFor(*cam, x, y, w, h, argv[2], atof(argv[9]));

    int files = 0;
    std::string lines;
    for (int n = 1;; ++n) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        std::string name = NumberedFileName(argv[2], n);
        if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) break;
        ++files;
        unsigned long long size =
            ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
        lines += "file " + name + " " + std::to_string(size) + "\n";
    }
    std::printf("recorded frames=%d skipped=%d ms_per_frame=%.2f files=%d result=%s\n%s",
                cam->FramesWritten, cam->SkippedFrames, cam->MsPerFrameActual, files,
                cam->Recording || cam->RecordThread ? "busy" : "idle", lines.c_str());
    std::fflush(stdout);
    cam.reset();
    return 0;
}
