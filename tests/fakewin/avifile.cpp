#include "fakewin/avifile.h"
#include "fakewin/fakewin.h"

#include <cstring>
#include <list>
#include <map>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

struct IAVIFile {
    size_t record;
    bool released = false;
};
struct IAVIStream {
    size_t record;
    bool compressed;
    bool released = false;
};

namespace fakewin {
namespace {

std::mutex mutex;
DWORD version = 0x040003B6;
std::vector<AviFileRecord> files;
std::vector<std::string> log_lines;
std::function<void(const std::string &)> hook;
int init_balance = 0;
int options_frees = 0;
std::vector<std::string> misuse;
// Handles live as long as the double, so that a use after release is seen, not a crash.
std::list<IAVIFile> file_objects;
std::list<IAVIStream> stream_objects;
std::map<AviCall, std::set<int>> failures; // nth calls of each kind that fail
std::map<AviCall, int> calls;
std::map<AviCall, HRESULT> failure_codes;
std::set<DWORD> refused;
std::map<int, std::pair<LONG, LONG>> short_writes; // nth write -> samples, bytes reported
std::function<LONG(LONG)> compressed_size;
bool counts_swapped = false;
constexpr int64_t UnlimitedDisk = (int64_t)1 << 50;
int64_t disk_free = UnlimitedDisk;
std::vector<std::string> free_queries;

void reset_avifile() {
    std::lock_guard<std::mutex> lock(mutex);
    version = 0x040003B6;
    files.clear();
    log_lines.clear();
    hook = nullptr;
    init_balance = 0;
    options_frees = 0;
    misuse.clear();
    file_objects.clear();
    stream_objects.clear();
    failures.clear();
    calls.clear();
    failure_codes.clear();
    refused.clear();
    short_writes.clear();
    compressed_size = nullptr;
    disk_free = UnlimitedDisk;
    free_queries.clear();
    counts_swapped = false;
}
ResetHook reset_hook(&reset_avifile);

// Counts the call and tells whether it is one of those scripted to fail. Lock held.
HRESULT scripted(AviCall call) {
    int n = ++calls[call];
    auto it = failures.find(call);
    if (it == failures.end() || !it->second.count(n)) return AVIERR_OK;
    return failure_codes[call];
}

// Logs a line (with " failed" when hr is an error) and hands it to the hook after unlocking.
HRESULT finish(std::unique_lock<std::mutex> &lock, std::string line, HRESULT hr) {
    if (hr != AVIERR_OK) line += " failed";
    log_lines.push_back(line);
    auto fn = hook;
    lock.unlock();
    if (fn) fn(line);
    return hr;
}

std::string fourcc(DWORD code) {
    std::string s;
    for (int i = 0; i < 4; ++i)
        s += (char)((code >> (8 * i)) & 0xFF);
    return s;
}

bool usable(IAVIStream *s, const char *what) {
    if (!s || s->released) {
        misuse.push_back(std::string(what) + " on a released or null stream");
        return false;
    }
    return true;
}

} // namespace

void set_vfw_version(DWORD v) {
    std::lock_guard<std::mutex> lock(mutex);
    version = v;
}
std::vector<AviFileRecord> avi_files() {
    std::lock_guard<std::mutex> lock(mutex);
    return files;
}
std::vector<std::string> avi_log() {
    std::lock_guard<std::mutex> lock(mutex);
    return log_lines;
}
void on_avi_call(std::function<void(const std::string &)> fn) {
    std::lock_guard<std::mutex> lock(mutex);
    hook = std::move(fn);
}
int avi_init_balance() {
    std::lock_guard<std::mutex> lock(mutex);
    return init_balance;
}
int avi_live_handles() {
    std::lock_guard<std::mutex> lock(mutex);
    int n = 0;
    for (auto &f : file_objects)
        n += !f.released;
    for (auto &s : stream_objects)
        n += !s.released;
    return n;
}
int avi_options_frees() {
    std::lock_guard<std::mutex> lock(mutex);
    return options_frees;
}
std::vector<std::string> avi_misuse() {
    std::lock_guard<std::mutex> lock(mutex);
    return misuse;
}
void fail_avi_call(AviCall call, HRESULT error, int nth) {
    std::lock_guard<std::mutex> lock(mutex);
    failures[call].insert(calls[call] + nth);
    failure_codes[call] = error;
}
void short_avi_write(LONG samples, LONG bytes, int nth) {
    std::lock_guard<std::mutex> lock(mutex);
    short_writes[calls[AviCall::Write] + nth] = {samples, bytes};
}
void avi_compressed_size(std::function<LONG(LONG)> size) {
    std::lock_guard<std::mutex> lock(mutex);
    compressed_size = std::move(size);
}
void avi_counts_swapped(bool swapped) {
    std::lock_guard<std::mutex> lock(mutex);
    counts_swapped = swapped;
}
void set_disk_free(int64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex);
    disk_free = bytes;
}
std::vector<std::string> disk_free_queries() {
    std::lock_guard<std::mutex> lock(mutex);
    return free_queries;
}
int64_t AviFileRecord::disk_size() const {
    // Measured on Wine's writer: 2068 bytes before the first frame's chunk; the index list
    // has an 8-byte header and 16 bytes per frame.
    int64_t size = AviDiskHeaderBytes + 8;
    for (LONG bytes : written_bytes)
        size += 8 + bytes + (bytes & 1) + 16;
    return size;
}
void refuse_format_for(DWORD handler) {
    std::lock_guard<std::mutex> lock(mutex);
    refused.insert(handler);
}

} // namespace fakewin

using namespace fakewin;

DWORD VideoForWindowsVersion() {
    std::lock_guard<std::mutex> lock(mutex);
    return version;
}

void AVIFileInit() {
    std::unique_lock<std::mutex> lock(mutex);
    ++init_balance;
    finish(lock, "init", AVIERR_OK);
}

void AVIFileExit() {
    std::unique_lock<std::mutex> lock(mutex);
    if (--init_balance < 0) misuse.push_back("AVIFileExit without AVIFileInit");
    finish(lock, "exit", AVIERR_OK);
}

HRESULT AVIFileOpenA(PAVIFILE *file, LPCSTR name, UINT mode, LPCLSID) {
    std::unique_lock<std::mutex> lock(mutex);
    std::string line = "open " + std::string(name ? name : "") + " " + std::to_string(mode);
    *file = nullptr;
    if (init_balance <= 0) misuse.push_back("AVIFileOpen before AVIFileInit");
    HRESULT hr = scripted(AviCall::Open);
    if (hr == AVIERR_OK) {
        AviFileRecord rec;
        rec.name = name ? name : "";
        rec.mode = mode;
        files.push_back(rec);
        file_objects.push_back(IAVIFile{files.size() - 1});
        *file = &file_objects.back();
    }
    return finish(lock, line, hr);
}

HRESULT AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM *stream, AVISTREAMINFOA *info) {
    std::unique_lock<std::mutex> lock(mutex);
    *stream = nullptr;
    HRESULT hr = AVIERR_OK;
    if (!file || file->released) {
        misuse.push_back("AVIFileCreateStream on a released or null file");
        hr = AVIERR_MEMORY;
    } else {
        hr = scripted(AviCall::CreateStream);
    }
    if (hr == AVIERR_OK) {
        files[file->record].has_stream = true;
        files[file->record].header = *info;
        stream_objects.push_back(IAVIStream{file->record, false});
        *stream = &stream_objects.back();
    }
    return finish(lock, "create stream", hr);
}

HRESULT AVIMakeCompressedStream(PAVISTREAM *compressed, PAVISTREAM source,
                                AVICOMPRESSOPTIONS *options, LPCLSID) {
    std::unique_lock<std::mutex> lock(mutex);
    *compressed = nullptr;
    std::string line = "make compressed " + fourcc(options ? options->fccHandler : 0);
    HRESULT hr = usable(source, "AVIMakeCompressedStream") ? scripted(AviCall::MakeCompressed)
                                                           : AVIERR_MEMORY;
    if (hr == AVIERR_OK) {
        files[source->record].has_compressed = true;
        files[source->record].options = *options;
        stream_objects.push_back(IAVIStream{source->record, true});
        *compressed = &stream_objects.back();
    }
    return finish(lock, line, hr);
}

HRESULT AVIStreamSetFormat(PAVISTREAM stream, LONG pos, LPVOID format, LONG size) {
    std::unique_lock<std::mutex> lock(mutex);
    std::string line = "set format " + std::to_string(size);
    HRESULT hr =
        usable(stream, "AVIStreamSetFormat") ? scripted(AviCall::SetFormat) : AVIERR_MEMORY;
    if (hr == AVIERR_OK && stream->compressed &&
        refused.count(files[stream->record].options.fccHandler))
        hr = AVIERR_MEMORY;
    if (hr == AVIERR_OK) {
        auto &rec = files[stream->record];
        rec.has_format = true;
        rec.format_pos = pos;
        rec.format.assign((BYTE *)format, (BYTE *)format + size);
    }
    return finish(lock, line, hr);
}

// Not logged: reading the format back changes nothing in the file.
HRESULT AVIStreamReadFormat(PAVISTREAM stream, LONG, LPVOID format, LONG *size) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!size || !usable(stream, "AVIStreamReadFormat")) return AVIERR_MEMORY;
    const auto &rec = files[stream->record];
    if (!rec.has_format) return AVIERR_MEMORY;
    LONG have = (LONG)rec.format.size();
    if (format) std::memcpy(format, rec.format.data(), (size_t)std::min(*size, have));
    *size = have;
    return AVIERR_OK;
}

HRESULT AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, LPVOID buffer, LONG size,
                       DWORD flags, LONG *samplesWritten, LONG *bytesWritten) {
    std::unique_lock<std::mutex> lock(mutex);
    std::string line = "write " + std::to_string(start);
    HRESULT hr = usable(stream, "AVIStreamWrite") ? scripted(AviCall::Write) : AVIERR_MEMORY;
    if (hr == AVIERR_OK && !files[stream->record].has_format) {
        misuse.push_back("AVIStreamWrite before AVIStreamSetFormat");
        hr = AVIERR_BADFORMAT;
    }
    if (samplesWritten) *samplesWritten = 0;
    if (bytesWritten) *bytesWritten = 0;
    auto short_write = short_writes.find(calls[AviCall::Write]);
    if (hr == AVIERR_OK && short_write != short_writes.end()) {
        if (samplesWritten) *samplesWritten = short_write->second.first;
        if (bytesWritten) *bytesWritten = short_write->second.second;
        line += " short";
    } else if (hr == AVIERR_OK) {
        AviWrite w{start, samples, size, flags, {}};
        w.data.assign((BYTE *)buffer, (BYTE *)buffer + size);
        LONG reported = stream->compressed && compressed_size ? compressed_size(size) : size;
        files[stream->record].writes.push_back(std::move(w));
        files[stream->record].written_bytes.push_back(reported);
        bool swap = stream->compressed && counts_swapped;
        if (samplesWritten) *samplesWritten = swap ? reported : samples;
        if (bytesWritten) *bytesWritten = swap ? samples : reported;
    }
    return finish(lock, line, hr);
}

HRESULT AVISaveOptionsFree(int count, LPAVICOMPRESSOPTIONS *options) {
    std::unique_lock<std::mutex> lock(mutex);
    for (int i = 0; i < count; ++i) {
        if (!options || !options[i])
            misuse.push_back("AVISaveOptionsFree with a null options record");
        else
            ++options_frees;
    }
    return finish(lock, "options free " + std::to_string(count), AVIERR_OK);
}

BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree) {
    std::lock_guard<std::mutex> lock(mutex);
    free_queries.push_back(directory ? directory : "");
    int64_t left = disk_free;
    for (auto &f : files)
        left -= f.disk_size();
    if (left < 0) left = 0;
    if (freeToCaller) freeToCaller->QuadPart = (unsigned long long)left;
    if (totalFree) totalFree->QuadPart = (unsigned long long)left;
    if (total) total->QuadPart = (unsigned long long)disk_free;
    return TRUE;
}

DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR *filePart) {
    std::string path = name ? name : "";
    bool absolute = path.size() >= 2 && path[1] == ':';
    if (!absolute) path = "C:\\work\\" + path;
    if (path.size() + 1 > size) return (DWORD)path.size() + 1;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    if (filePart) {
        size_t slash = path.find_last_of('\\');
        *filePart = buffer + (slash == std::string::npos ? 0 : slash + 1);
    }
    return (DWORD)path.size();
}

ULONG AVIFileRelease(PAVIFILE file) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!file || file->released)
        misuse.push_back("AVIFileRelease on a released or null file");
    else
        file->released = true;
    finish(lock, "release file", AVIERR_OK);
    return 0;
}

ULONG AVIStreamRelease(PAVISTREAM stream) {
    std::unique_lock<std::mutex> lock(mutex);
    std::string line = stream && stream->compressed ? "release compressed" : "release stream";
    if (!stream || stream->released)
        misuse.push_back("AVIStreamRelease on a released or null stream");
    else
        stream->released = true;
    finish(lock, line, AVIERR_OK);
    return 0;
}
