// grab_ceiling: the fastest grab of a screen area this display allows, as the reference for the
// capture benchmark: BitBlt into one DIB section at the screen's depth, made once, and the
// pixels there (GdiFlush), as often as it goes for the given time; nothing is copied out, as the
// recording reads its grabs in place. Given a file, each grab is also copied out and the copy
// written to the file on a second thread while the next grab goes on (one copy in hand, two
// buffers), as a recording writes its frames: what grabbing and writing the same bytes cost
// together on this machine, beside nothing else.
//
//   grab_ceiling X Y W H seconds [file]
//
// Prints: ceiling W=640 H=480 grabs=N seconds=S fps=F ms=M cpu=C (the process's user and system
// time per grab, ms)
#include "bench/programs/bench_clock.h"
#include "framework/winapi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

using bench::NowMs;
using bench::ProcessCpuMs;

namespace {
// Writes the copies handed to it, one at a time, to a file on its own thread.
class CopyWriter {
  public:
    explicit CopyWriter(HANDLE AFile) : File(AFile), Thread([this] { Run(); }) {}
    ~CopyWriter() {
        Hand(nullptr, 0);
        Thread.join();
        CloseHandle(Handed);
        CloseHandle(Free);
    }
    // Waits until the copy handed before is written, then hands this one (none: the end).
    void Hand(const unsigned char *Data, size_t Size) {
        WaitForSingleObject(Free, INFINITE);
        Copy = Data;
        CopySize = Size;
        SetEvent(Handed);
    }

  private:
    void Run() {
        for (;;) {
            WaitForSingleObject(Handed, INFINITE);
            if (!Copy) return;
            DWORD written = 0;
            WriteFile(File, Copy, (DWORD)CopySize, &written, nullptr);
            SetEvent(Free);
        }
    }
    HANDLE File;
    HANDLE Handed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE Free = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    const unsigned char *Copy = nullptr;
    size_t CopySize = 0;
    std::thread Thread;
};
} // namespace

int main(int argc, char **argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: grab_ceiling X Y W H seconds\n");
        return 2;
    }
    int x = atoi(argv[1]), y = atoi(argv[2]), w = atoi(argv[3]), h = atoi(argv[4]);
    double limit = atof(argv[5]) * 1000;

    HDC screen = GetDC(nullptr);
    int depth = GetDeviceCaps(screen, BITSPIXEL);
    BITMAPINFO info;
    std::memset(&info, 0, sizeof(info));
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = (WORD)(depth > 16 ? depth : 16);
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(screen);
    if (!dib || !memory || !bits) {
        std::fprintf(stderr, "grab_ceiling: no DIB section\n");
        return 1;
    }
    HGDIOBJ old = SelectObject(memory, dib);
    size_t size = ((size_t)w * info.bmiHeader.biBitCount + 31) / 32 * 4 * h;
    std::vector<unsigned char> copies[2];
    HANDLE file = INVALID_HANDLE_VALUE;
    if (argc > 6) {
        copies[0].resize(size);
        copies[1].resize(size);
        file = CreateFileA(argv[6], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "grab_ceiling: cannot make %s\n", argv[6]);
            return 1;
        }
    }

    int grabs = 0;
    double cpuStart = ProcessCpuMs();
    double start = NowMs(), now = start;
    {
        std::unique_ptr<CopyWriter> writer;
        if (file != INVALID_HANDLE_VALUE) writer = std::make_unique<CopyWriter>(file);
        while (now - start < limit) {
            BitBlt(memory, 0, 0, w, h, screen, x, y, SRCCOPY);
            GdiFlush();
            if (writer) {
                std::vector<unsigned char> &copy = copies[grabs % 2];
                std::memcpy(copy.data(), bits, size);
                writer->Hand(copy.data(), size);
            }
            grabs++;
            now = NowMs();
        }
    } // the last copy is written
    now = NowMs();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    double seconds = (now - start) / 1000;
    std::printf("ceiling W=%d H=%d grabs=%d seconds=%.3f fps=%.1f ms=%.3f cpu=%.3f\n", w, h, grabs,
                seconds, grabs / seconds, (now - start) / grabs,
                (ProcessCpuMs() - cpuStart) / grabs);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(dib);
    ReleaseDC(nullptr, screen);
    return 0;
}
