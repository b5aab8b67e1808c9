// The compressor catalogue: the installed video compressors that accept the screen's frame
// format, and their About and configuration dialogs.
#include "recorder/scrcam.h"

#include <cstring>

namespace {

// A query-mode compressor handle, closed when it goes out of scope.
class CompressorHandle {
  public:
    explicit CompressorHandle(const ICINFO &entry)
        : hic(ICOpen(entry.fccType, entry.fccHandler, ICMODE_QUERY)) {}
    ~CompressorHandle() {
        if (hic) ICClose(hic);
    }
    CompressorHandle(const CompressorHandle &) = delete;
    CompressorHandle &operator=(const CompressorHandle &) = delete;
    HIC get() const { return hic; }

  private:
    HIC hic;
};

// The probe frame, given back to the grabber on every path.
class ProbeFrame {
  public:
    explicit ProbeFrame(BITMAPINFOHEADER *f) : frame(f) {}
    ~ProbeFrame() { FreeFrame(frame); }
    ProbeFrame(const ProbeFrame &) = delete;
    ProbeFrame &operator=(const ProbeFrame &) = delete;
    BITMAPINFOHEADER *get() const { return frame; }

  private:
    BITMAPINFOHEADER *frame;
};

} // namespace

void TScreenCam::EnumerateCompressors() {
    ProbeFrame probe(CaptureFrame(0, 0, 320, 200));

    // The list is built aside and published in one step under the lock, so a run that is
    // starting never copies a half-written entry.
    ICINFO found[32];
    int count = 0;
    // Without a probe frame there is no format to ask about; the grabber has already said
    // why, and the catalogue stays empty rather than listing compressors untested.
    if (probe.get()) {
        for (DWORD i = 0; i < 32; i++) {
            ICINFO &entry = found[count];
            std::memset(&entry, 0, sizeof(entry));
            if (!ICInfo(ICTYPE_VIDEO, i, &entry)) continue;
            CompressorHandle hic(entry);
            if (!hic.get()) continue;
            if (ICCompressQuery(hic.get(), probe.get(), nullptr) != ICERR_OK) continue;
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
    CompressorHandle hic(Compressors[Index]);
    if (hic.get()) ICAbout(hic.get(), Owner);
}

void TScreenCam::ConfigureCompressor(uint8_t Index, HWND Owner) {
    if (Index >= CompressorCount) return;
    CompressorHandle hic(Compressors[Index]);
    if (hic.get()) ICConfigure(hic.get(), Owner);
}

void TScreenCam::QueryCompressorDialogs(uint8_t Index, bool &HasAbout, bool &HasConfigure) {
    HasAbout = false;
    HasConfigure = false;
    if (Index >= CompressorCount) return;
    CompressorHandle hic(Compressors[Index]);
    if (!hic.get()) return;
    HasAbout = ICQueryAbout(hic.get());
    HasConfigure = ICQueryConfigure(hic.get());
}
