// The compressor catalogue: the installed video compressors that accept the screen's frame
// format, and their About and configuration dialogs.
#include "recorder/scrcam.h"

#include <cstring>

void TScreenCam::EnumerateCompressors() {
    OwnedFrame probe(CaptureFrame(0, 0, 320, 200));

    // The list is built aside and published in one step under the lock, so a run that is
    // starting never copies a half-written entry.
    ICINFO found[MaxCompressors];
    int count = 0;
    // Without a probe frame there is no format to ask about; the grabber has already said
    // why, and the catalogue stays empty rather than listing compressors untested.
    if (probe.Bits) {
        for (DWORD i = 0; i < MaxCompressors; i++) {
            ICINFO &entry = found[count];
            std::memset(&entry, 0, sizeof(entry));
            if (!ICInfo(ICTYPE_VIDEO, i, &entry)) continue;
            QueryCompressor hic(entry.fccType, entry.fccHandler);
            if (!hic.get()) continue;
            if (ICCompressQuery(hic.get(), probe.Bits, nullptr) != ICERR_OK) continue;
            DWORD type = entry.fccType, handler = entry.fccHandler;
            ICGetInfo(hic.get(), &entry, sizeof(ICINFO));
            // Some drivers leave the codes out of their own description; keep the ones the
            // manager opened the compressor by, since the run opens it again with them.
            if (!entry.fccType) entry.fccType = type;
            if (!entry.fccHandler) entry.fccHandler = handler;
            count++;
        }
    }

    std::lock_guard<std::mutex> lock(CatalogueLock);
    std::memcpy(Compressors, found, sizeof(ICINFO) * count);
    CompressorCount = count;
}

void TScreenCam::ShowCompressorAbout(uint8_t Index, HWND Owner) {
    if (Index >= CompressorCount) return;
    QueryCompressor hic(Compressors[Index].fccType, Compressors[Index].fccHandler);
    if (hic.get()) ICAbout(hic.get(), Owner);
}

void TScreenCam::ConfigureCompressor(uint8_t Index, HWND Owner) {
    if (Index >= CompressorCount) return;
    QueryCompressor hic(Compressors[Index].fccType, Compressors[Index].fccHandler);
    if (hic.get()) ICConfigure(hic.get(), Owner);
}

void TScreenCam::QueryCompressorDialogs(uint8_t Index, bool &HasAbout, bool &HasConfigure) {
    HasAbout = false;
    HasConfigure = false;
    if (Index >= CompressorCount) return;
    QueryCompressor hic(Compressors[Index].fccType, Compressors[Index].fccHandler);
    if (!hic.get()) return;
    HasAbout = ICQueryAbout(hic.get());
    HasConfigure = ICQueryConfigure(hic.get());
}
