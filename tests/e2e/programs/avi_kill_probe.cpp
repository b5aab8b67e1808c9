// avi_kill_probe: what the platform's AVI writer leaves on disk when the process dies.
//
//   avi_kill_probe FILE
//       opens FILE for writing, creates one video stream, sets a small format and writes
//       frames of odd and even sizes at positions with gaps, key and delta frames, reporting
//       each write; then waits to be killed (kill -9) without closing anything. Under Wine the
//       file then holds 2048 bytes of zeros where the headers go, then the frames: "00db" for a
//       key frame, "00dc" for a delta, odd sizes padded, an empty "00dc" at each skipped
//       position just before the next frame, and neither headers nor index.
#include <windows.h>
#include <vfw.h>
#include "tests/e2e/programs/report.h"

#include <cstdio>

int main(int argc, char **argv) {
    if (argc < 2) return 2;
    AVIFileInit();
    PAVIFILE file = nullptr;
    HRESULT hr = AVIFileOpenA(&file, argv[1], OF_WRITE | OF_CREATE, nullptr);
    if (!ok(hr == 0, "open %08lx", (unsigned long)hr)) return 1;
    AVISTREAMINFOA info = {};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = mmioFOURCC('M', 'S', 'V', 'C');
    info.dwScale = 1;
    info.dwRate = 10;
    info.rcFrame.right = 4;
    info.rcFrame.bottom = 4;
    PAVISTREAM stream = nullptr;
    hr = AVIFileCreateStreamA(file, &stream, &info);
    ok(hr == 0, "create stream %08lx", (unsigned long)hr);
    BITMAPINFOHEADER format = {};
    format.biSize = sizeof format;
    format.biWidth = 4;
    format.biHeight = 4;
    format.biPlanes = 1;
    format.biBitCount = 16;
    format.biCompression = mmioFOURCC('C', 'R', 'A', 'M');
    format.biSizeImage = 32;
    hr = AVIStreamSetFormat(stream, 0, &format, sizeof format);
    ok(hr == 0, "set format %08lx", (unsigned long)hr);
    const LONG positions[] = {0, 1, 3, 4, 7, 8, 9, 12};
    const LONG sizes[] = {32, 5, 6, 7, 0, 9, 32, 3};
    BYTE data[64];
    for (int i = 0; i < 8; ++i) {
        for (int b = 0; b < 64; ++b)
            data[b] = (BYTE)(0x10 * (i + 1) + b);
        DWORD flags = (i % 3 == 0) ? AVIIF_KEYFRAME : 0;
        LONG samples = 0, bytes = 0;
        hr = AVIStreamWrite(stream, positions[i], 1, data, sizes[i], flags, &samples, &bytes);
        ok(hr == 0, "write pos=%ld size=%ld flags=%lx hr=%08lx samples=%ld bytes=%ld", positions[i],
           sizes[i], flags, (unsigned long)hr, samples, bytes);
    }
    printf("waiting\n");
    fflush(stdout);
    Sleep(600000);
    return 0;
}
