// journal_cost: what keeping the journal adds to each frame of a recording, beside what writing
// the frame itself costs, both measured here in the same run.
//
//   journal_cost folder W H frames
//
// Writes `frames` uncompressed W x H frames into folder\journal_cost.avi through the AVIFile
// library, timing each write, and notes as many frames in a journal, timing each note (the
// journal's own thread forces it to the disk once a second). Prints the median microseconds of both
// and the ratio journal / frame write.
#include "bench/programs/bench_clock.h"
#include "avifile/journalfile.h"
#include "tests/e2e/programs/report.h"

#include <windows.h>
#include <vfw.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using bench::Median;
using bench::NowMs;

} // namespace

int main(int argc, char **argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: journal_cost folder W H frames\n");
        return 2;
    }
    std::string avi = std::string(argv[1]) + "\\journal_cost.avi";
    int w = atoi(argv[2]), h = atoi(argv[3]), n = atoi(argv[4]);

    AVIFileInit();
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    AVISTREAMINFOA info = {};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 50;
    BITMAPINFOHEADER format = {};
    format.biSize = sizeof format;
    format.biWidth = w;
    format.biHeight = h;
    format.biPlanes = 1;
    format.biBitCount = 32;
    format.biSizeImage = (DWORD)(w * h * 4);
    std::vector<BYTE> pixels(format.biSizeImage, 0x40);
    if (AVIFileOpenA(&file, avi.c_str(), OF_WRITE | OF_CREATE, nullptr) != 0 ||
        AVIFileCreateStreamA(file, &stream, &info) != 0 ||
        AVIStreamSetFormat(stream, 0, &format, sizeof format) != 0) {
        std::fprintf(stderr, "journal_cost: cannot write %s\n", avi.c_str());
        return 1;
    }
    std::vector<double> writes, notes;
    JournalStream s;
    s.Rate = 50;
    s.Format.assign((BYTE *)&format, (BYTE *)&format + sizeof format);
    RecordingJournal journal;
    if (!journal.Open(avi, s)) {
        std::fprintf(stderr, "journal_cost: cannot write the journal\n");
        return 1;
    }
    for (int i = 0; i < n; ++i) {
        pixels[i % pixels.size()] ^= 0xFF;
        double start = NowMs();
        AVIStreamWrite(stream, i, 1, pixels.data(), (LONG)pixels.size(), AVIIF_KEYFRAME, nullptr,
                       nullptr);
        double written = NowMs();
        journal.Frame({i, 0, 0});
        writes.push_back((written - start) * 1000);
        notes.push_back((NowMs() - written) * 1000);
    }
    AVIStreamRelease(stream);
    AVIFileRelease(file);
    AVIFileExit();
    journal.Close();
    DeleteFileA(avi.c_str());
    double write = Median(writes), note = Median(notes), sum = 0;
    for (double v : notes)
        sum += v;
    ok(write > 0,
       "journal_cost W=%d H=%d frames=%d write_us=%.1f journal_us=%.1f journal_mean_us=%.1f "
       "ratio=%.4f",
       w, h, n, write, note, sum / n, write > 0 ? note / write : 0.0);
    return report::exit_code();
}
