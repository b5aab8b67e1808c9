// Test control of the AVIFile library: a sink that records what was asked of it, per file,
// and fails chosen calls on demand.
#pragma once
#include "fakewin/types.h"
#include "fakewin/vfw.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fakewin {

// What VideoForWindowsVersion returns (0x040003B6 after a reset).
void set_vfw_version(DWORD version);

struct AviWrite {
    LONG pos;
    LONG samples;
    LONG size;
    DWORD flags;
    std::vector<BYTE> data; // copy of the written bytes
    size_t order = 0;       // place among all the writes to the file, of either stream
};

// One AVIFileOpen, and everything done on that file and its streams.
struct AviFileRecord {
    std::string name;
    UINT mode = 0;
    AVISTREAMINFOA header{};
    AVICOMPRESSOPTIONS options{};
    bool has_format = false;
    LONG format_pos = -1;
    std::vector<BYTE> format; // the bytes given to AVIStreamSetFormat
    std::vector<AviWrite> writes;
    std::vector<LONG> written_bytes; // per write, what AVIStreamWrite reported as written
    // The audio stream, when one was made: its header, format and writes (contiguous: a write
    // that does not start at the stream's length, counted in chunks, is refused, as Wine's
    // writer does).
    bool has_sound = false;
    AVISTREAMINFOA sound_header{};
    std::vector<BYTE> sound_format;
    std::vector<AviWrite> sound_writes;
    LONG sound_length = 0; // samples
    // The file's size once closed, laid out as the platform's writer does: headers, a chunk per
    // frame (the reported bytes, padded to even), the index.
    int64_t disk_size() const;
};
std::vector<AviFileRecord> avi_files();

// Every AVIFile call in order, one line each: "init", "open <name> <mode>", "create stream",
// "make compressed <handler>", "set format <size>", "write <pos>", "options free <count>",
// "release file", "release stream", "release compressed", "exit". Failed calls end in " failed".
std::vector<std::string> avi_log();
// Called with each line as it is logged, on the calling thread, outside the double's lock.
void on_avi_call(std::function<void(const std::string &line)> hook);

int avi_init_balance();  // AVIFileInit minus AVIFileExit
int avi_live_handles();  // files and streams handed out and not yet released
int avi_options_frees(); // options records given to AVISaveOptionsFree
// Faults: a handle released twice or unknown, a stream used after release, a null options record.
std::vector<std::string> avi_misuse();

enum class AviCall { Open, CreateStream, MakeCompressed, SetFormat, Write };
// The nth call (1 = the next) of that kind fails with the error; several may be queued.
void fail_avi_call(AviCall call, HRESULT error, int nth = 1);
// The nth write (1 = the next) answers success but reports these counts and keeps nothing, as a
// writer does that did not take the frame.
void short_avi_write(LONG samples, LONG bytes, int nth = 1);
// Compressed writes report their counts the other way round, as Wine's compressed stream does
// (measured: samples = the bytes written, bytes = 1).
void avi_counts_swapped(bool swapped);
// Bytes a compressed write reports for raw data of this size (null, the default: all of it).
void avi_compressed_size(std::function<LONG(LONG raw)> size);
// Free space of the disk the files go to, before any was made; what the files take (their
// disk_size) is subtracted. Unlimited after a reset.
void set_disk_free(int64_t bytes);
// The folders GetDiskFreeSpaceEx was asked about (null as "").
std::vector<std::string> disk_free_queries();
// A file whose handles are all released is written to its name on the disk (relative names
// into the current folder), laid out as the platform's writer closes it. With the index lost,
// as when a disk filled by another program leaves the writer no room at close (it says
// nothing), the file is left as a killed writer leaves it: zeros where the headers go, then the
// frames.
void avi_close_loses_index(bool lost);
// Header bytes before the first frame and index list header in disk_size.
constexpr int64_t AviDiskHeaderBytes = 2068;

// A compressed stream for this handler refuses its format, as Wine's wrapper does when the
// driver is only a decoder (AVIStreamSetFormat answers 0x80044067 there).
void refuse_format_for(DWORD handler);

} // namespace fakewin
