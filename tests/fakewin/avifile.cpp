// The AVIFile library of the double: a sink that keeps, per file, what the program wrote,
// logs every call, and fails or shortens chosen calls on demand.
#include "fakewin/area.h"
#include "fakewin/avifile.h"
#include "fakewin/ic.h"
#include "fakewin/wave.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <set>
#include <type_traits>
#include <unistd.h>

struct IAVIFile {
    size_t record;
    bool released = false;
};
struct IAVIStream {
    size_t record;
    bool compressed;
    bool released = false;
    bool sound = false;
};

namespace fakewin {
namespace {

constexpr int64_t UnlimitedDisk = (int64_t)1 << 50;

struct AviState {
    DWORD version = 0x040003B6;
    std::vector<AviFileRecord> files;
    std::vector<std::string> log;
    std::function<void(const std::string &)> hook;
    int init_balance = 0;
    int options_frees = 0;
    std::vector<std::string> misuse;
    // Handles live until the next reset, so that a use after release is seen, not a crash.
    std::list<IAVIFile> file_objects;
    std::list<IAVIStream> stream_objects;
    std::map<AviCall, std::map<int, HRESULT>> failures; // nth call of a kind -> its error
    std::map<AviCall, int> calls;
    std::set<DWORD> refused;
    std::map<int, std::pair<LONG, LONG>> short_writes; // nth write -> samples, bytes reported
    std::function<LONG(LONG)> compressed_size;
    bool counts_swapped = false;
    bool index_lost = false;
    int64_t disk_free = UnlimitedDisk;
    int64_t disk_used = 0; // the files' disk_size, kept up to date with every write
    std::vector<std::string> free_queries;
};
Area<AviState> avi;
AviState &s = avi.s;
using Lock = std::unique_lock<std::mutex>;

// Counts the call and answers the error it is scripted to fail with, if any. Lock held.
HRESULT scripted(AviCall call) {
    int n = ++s.calls[call];
    auto &nth = s.failures[call];
    auto it = nth.find(n);
    return it == nth.end() ? AVIERR_OK : it->second;
}

// Logs a line (with " failed" when hr is an error) and hands it to the hook after unlocking.
HRESULT finish(Lock &lock, std::string line, HRESULT hr) {
    if (hr != AVIERR_OK) line += " failed";
    s.log.push_back(line);
    auto fn = s.hook;
    lock.unlock();
    if (fn) fn(line);
    return hr;
}

// A live file or stream handle, else a misuse is logged. Lock held.
template <class H> bool usable(H *h, const char *what) {
    if (h && !h->released) return true;
    bool file = std::is_same<H, IAVIFile>::value;
    s.misuse.push_back(std::string(what) + " on a released or null " + (file ? "file" : "stream"));
    return false;
}

void put32(std::vector<uint8_t> &b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back((uint8_t)(v >> (8 * i)));
}
void put_chunk(std::vector<uint8_t> &b, const char *id, uint32_t size) {
    b.insert(b.end(), id, id + 4);
    put32(b, size);
}

// The file of a record once its last handle is gone. Lock held.
void write_closed(const AviFileRecord &rec) {
    if (!rec.has_format) return;
    std::vector<uint8_t> b(AviDiskHeaderBytes - 12, 0);
    size_t movi = b.size();
    put_chunk(b, "LIST", 0);
    b.insert(b.end(), {'m', 'o', 'v', 'i'});
    std::vector<uint8_t> index;
    for (size_t i = 0; i < rec.writes.size(); ++i) {
        std::vector<BYTE> data = rec.writes[i].data;
        data.resize((size_t)rec.written_bytes[i], 0);
        if (data.size() & 1) data.push_back(0);
        put_chunk(index, "00dc", i == 0 ? 0x10 : 0);
        put32(index, (uint32_t)(b.size() - movi - 8));
        put32(index, (uint32_t)rec.written_bytes[i]);
        put_chunk(b, "00dc", (uint32_t)rec.written_bytes[i]);
        b.insert(b.end(), data.begin(), data.end());
    }
    if (!s.index_lost) {
        uint32_t moviSize = (uint32_t)(b.size() - movi - 8);
        std::memcpy(&b[movi + 4], &moviSize, 4);
        std::vector<uint8_t> head;
        put_chunk(head, "RIFF", 0);
        head.insert(head.end(), {'A', 'V', 'I', ' '});
        put_chunk(head, "LIST", 4);
        head.insert(head.end(), {'h', 'd', 'r', 'l'});
        put_chunk(head, "JUNK", (uint32_t)(movi - head.size() - 8));
        std::copy(head.begin(), head.end(), b.begin());
        put_chunk(b, "idx1", (uint32_t)index.size());
        b.insert(b.end(), index.begin(), index.end());
        uint32_t riff = (uint32_t)(b.size() - 8);
        std::memcpy(&b[4], &riff, 4);
        b.resize(b.size() + 20, 0); // as Wine's writer leaves after the RIFF chunk
    } else {
        std::fill(b.begin(), b.begin() + movi + 12, 0);
    }
    if (FILE *f = std::fopen(rec.name.c_str(), "wb")) {
        std::fwrite(b.data(), 1, b.size(), f);
        std::fclose(f);
    }
}

template <class H> ULONG release(H *h, const char *what, const char *line) {
    Lock lock(avi.mutex);
    if (usable(h, what)) {
        h->released = true;
        bool last = true;
        for (auto &f : s.file_objects)
            last = last && (f.released || f.record != h->record);
        for (auto &st : s.stream_objects)
            last = last && (st.released || st.record != h->record);
        if (last) write_closed(s.files[h->record]);
    }
    finish(lock, line, AVIERR_OK);
    return 0;
}

// A write to an audio stream: samples of the format's block alignment, contiguous. Not counted
// among the scripted writes, which are the frames'. Lock held.
HRESULT SoundWrite(Lock &lock, IAVIStream *stream, LONG start, LONG samples, LPVOID buffer,
                   LONG size, LONG *samplesWritten, LONG *bytesWritten) {
    auto &rec = s.files[stream->record];
    std::string line = "write sound " + std::to_string(start) + " " + std::to_string(samples);
    if (samplesWritten) *samplesWritten = 0;
    if (bytesWritten) *bytesWritten = 0;
    HRESULT hr = AVIERR_OK;
    const WAVEFORMATEX *format = (const WAVEFORMATEX *)rec.sound_format.data();
    if (rec.sound_format.size() < sizeof(WAVEFORMATEX) - 2) {
        s.misuse.push_back("sound written before its format");
        hr = AVIERR_BADFORMAT;
    } else if (start != (LONG)rec.sound_writes.size()) {
        // Measured in the platform's writer: audio must follow on without a gap, where the
        // stream's length says it ends, which counts the chunks written, not the samples.
        hr = AVIERR_BADPARAM;
    } else if (samples <= 0 || size != samples * format->nBlockAlign) {
        s.misuse.push_back("sound write of " + std::to_string(size) + " bytes for " +
                           std::to_string(samples) + " samples");
        hr = AVIERR_BADPARAM;
    }
    if (hr == AVIERR_OK) {
        AviWrite w{start, samples, size, 0, {}, rec.writes.size() + rec.sound_writes.size()};
        w.data.assign((BYTE *)buffer, (BYTE *)buffer + size);
        s.disk_used += 8 + size + (size & 1) + 16;
        rec.sound_writes.push_back(std::move(w));
        rec.sound_length += samples;
        if (samplesWritten) *samplesWritten = samples;
        if (bytesWritten) *bytesWritten = size;
    }
    return finish(lock, line, hr);
}

} // namespace

void set_vfw_version(DWORD v) { avi.set(&AviState::version, v); }
void avi_close_loses_index(bool lost) { avi.set(&AviState::index_lost, lost); }
std::vector<AviFileRecord> avi_files() { return avi.get(&AviState::files); }
std::vector<std::string> avi_log() { return avi.get(&AviState::log); }
void on_avi_call(std::function<void(const std::string &)> fn) { avi.set(&AviState::hook, fn); }
int avi_init_balance() { return avi.get(&AviState::init_balance); }
int avi_live_handles() {
    Lock lock(avi.mutex);
    int n = 0;
    for (auto &f : s.file_objects)
        n += !f.released;
    for (auto &st : s.stream_objects)
        n += !st.released;
    return n;
}
int avi_options_frees() { return avi.get(&AviState::options_frees); }
std::vector<std::string> avi_misuse() { return avi.get(&AviState::misuse); }
void fail_avi_call(AviCall call, HRESULT error, int nth) {
    Lock lock(avi.mutex);
    s.failures[call][s.calls[call] + nth] = error;
}
void short_avi_write(LONG samples, LONG bytes, int nth) {
    Lock lock(avi.mutex);
    s.short_writes[s.calls[AviCall::Write] + nth] = {samples, bytes};
}
void avi_compressed_size(std::function<LONG(LONG)> size) {
    avi.set(&AviState::compressed_size, size);
}
void avi_counts_swapped(bool swapped) { avi.set(&AviState::counts_swapped, swapped); }
void set_disk_free(int64_t bytes) { avi.set(&AviState::disk_free, bytes); }
std::vector<std::string> disk_free_queries() { return avi.get(&AviState::free_queries); }
int64_t AviFileRecord::disk_size() const {
    // Measured on Wine's writer: 2068 bytes before the first frame's chunk; the index list
    // has an 8-byte header and 16 bytes per frame.
    int64_t size = AviDiskHeaderBytes + 8;
    for (LONG bytes : written_bytes)
        size += 8 + bytes + (bytes & 1) + 16;
    for (auto &w : sound_writes)
        size += 8 + w.size + (w.size & 1) + 16;
    return size;
}
void refuse_format_for(DWORD handler) {
    Lock lock(avi.mutex);
    s.refused.insert(handler);
}

} // namespace fakewin

using namespace fakewin;

DWORD VideoForWindowsVersion() {
    Lock lock(avi.mutex);
    return s.version;
}

void AVIFileInit() {
    Lock lock(avi.mutex);
    ++s.init_balance;
    finish(lock, "init", AVIERR_OK);
}

void AVIFileExit() {
    Lock lock(avi.mutex);
    if (--s.init_balance < 0) s.misuse.push_back("AVIFileExit without AVIFileInit");
    finish(lock, "exit", AVIERR_OK);
}

HRESULT AVIFileOpenA(PAVIFILE *file, LPCSTR name, UINT mode, LPCLSID) {
    Lock lock(avi.mutex);
    std::string line = "open " + std::string(name ? name : "") + " " + std::to_string(mode);
    *file = nullptr;
    if (s.init_balance <= 0) s.misuse.push_back("AVIFileOpen before AVIFileInit");
    HRESULT hr = scripted(AviCall::Open);
    if (hr == AVIERR_OK) {
        AviFileRecord rec;
        rec.name = name ? name : "";
        rec.mode = mode;
        s.files.push_back(rec);
        s.disk_used += s.files.back().disk_size();
        s.file_objects.push_back(IAVIFile{s.files.size() - 1});
        *file = &s.file_objects.back();
    }
    return finish(lock, line, hr);
}

HRESULT AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM *stream, AVISTREAMINFOA *info) {
    Lock lock(avi.mutex);
    *stream = nullptr;
    HRESULT hr =
        usable(file, "AVIFileCreateStream") ? scripted(AviCall::CreateStream) : AVIERR_MEMORY;
    bool sound = info->fccType == streamtypeAUDIO;
    if (hr == AVIERR_OK) {
        auto &rec = s.files[file->record];
        // The platform's writer makes no stream once data was written.
        if (!rec.writes.empty() || !rec.sound_writes.empty()) {
            s.misuse.push_back("AVIFileCreateStream after the first write");
            hr = AVIERR_ERROR;
        }
    }
    if (hr == AVIERR_OK) {
        auto &rec = s.files[file->record];
        if (sound) {
            rec.has_sound = true;
            rec.sound_header = *info;
        } else {
            rec.header = *info;
        }
        s.stream_objects.push_back(IAVIStream{file->record, false, false, sound});
        *stream = &s.stream_objects.back();
    }
    return finish(lock, sound ? "create sound stream" : "create stream", hr);
}

HRESULT AVIMakeCompressedStream(PAVISTREAM *compressed, PAVISTREAM source,
                                AVICOMPRESSOPTIONS *options, LPCLSID) {
    Lock lock(avi.mutex);
    *compressed = nullptr;
    std::string line = "make compressed " + code_text(options ? options->fccHandler : 0);
    HRESULT hr = usable(source, "AVIMakeCompressedStream") ? scripted(AviCall::MakeCompressed)
                                                           : AVIERR_MEMORY;
    if (hr == AVIERR_OK) {
        s.files[source->record].options = *options;
        s.stream_objects.push_back(IAVIStream{source->record, true});
        *compressed = &s.stream_objects.back();
    }
    return finish(lock, line, hr);
}

HRESULT AVIStreamSetFormat(PAVISTREAM stream, LONG pos, LPVOID format, LONG size) {
    Lock lock(avi.mutex);
    std::string line = "set format " + std::to_string(size);
    HRESULT hr =
        usable(stream, "AVIStreamSetFormat") ? scripted(AviCall::SetFormat) : AVIERR_MEMORY;
    if (hr == AVIERR_OK && stream->compressed &&
        s.refused.count(s.files[stream->record].options.fccHandler))
        hr = AVIERR_MEMORY;
    if (hr == AVIERR_OK && stream->sound) {
        s.files[stream->record].sound_format.assign((BYTE *)format, (BYTE *)format + size);
        return finish(lock, "set sound format " + std::to_string(size), hr);
    }
    if (hr == AVIERR_OK) {
        auto &rec = s.files[stream->record];
        rec.has_format = true;
        rec.format_pos = pos;
        rec.format.assign((BYTE *)format, (BYTE *)format + size);
    }
    return finish(lock, line, hr);
}

// Not logged: reading the format back changes nothing in the file.
HRESULT AVIStreamReadFormat(PAVISTREAM stream, LONG, LPVOID format, LONG *size) {
    Lock lock(avi.mutex);
    if (!size || !usable(stream, "AVIStreamReadFormat")) return AVIERR_MEMORY;
    const auto &rec = s.files[stream->record];
    if (!rec.has_format) return AVIERR_MEMORY;
    LONG have = (LONG)rec.format.size();
    if (format) std::memcpy(format, rec.format.data(), (size_t)std::min(*size, have));
    *size = have;
    return AVIERR_OK;
}

HRESULT AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, LPVOID buffer, LONG size,
                       DWORD flags, LONG *samplesWritten, LONG *bytesWritten) {
    Lock lock(avi.mutex);
    std::string line = "write " + std::to_string(start);
    if (stream && !stream->released && stream->sound)
        return SoundWrite(lock, stream, start, samples, buffer, size, samplesWritten, bytesWritten);
    HRESULT hr = usable(stream, "AVIStreamWrite") ? scripted(AviCall::Write) : AVIERR_MEMORY;
    if (hr == AVIERR_OK && !s.files[stream->record].has_format) {
        s.misuse.push_back("AVIStreamWrite before AVIStreamSetFormat");
        hr = AVIERR_BADFORMAT;
    }
    if (samplesWritten) *samplesWritten = 0;
    if (bytesWritten) *bytesWritten = 0;
    auto short_write = s.short_writes.find(s.calls[AviCall::Write]);
    if (hr == AVIERR_OK && short_write != s.short_writes.end()) {
        if (samplesWritten) *samplesWritten = short_write->second.first;
        if (bytesWritten) *bytesWritten = short_write->second.second;
        line += " short";
    } else if (hr == AVIERR_OK) {
        auto &rec = s.files[stream->record];
        AviWrite w{start, samples, size, flags, {}, rec.writes.size() + rec.sound_writes.size()};
        w.data.assign((BYTE *)buffer, (BYTE *)buffer + size);
        LONG reported = stream->compressed && s.compressed_size ? s.compressed_size(size) : size;
        s.files[stream->record].writes.push_back(std::move(w));
        s.files[stream->record].written_bytes.push_back(reported);
        s.disk_used += 8 + reported + (reported & 1) + 16;
        bool swap = stream->compressed && s.counts_swapped;
        if (samplesWritten) *samplesWritten = swap ? reported : samples;
        if (bytesWritten) *bytesWritten = swap ? samples : reported;
    }
    return finish(lock, line, hr);
}

// Not logged: reading the length changes nothing in the file.
LONG AVIStreamLength(PAVISTREAM stream) {
    Lock lock(avi.mutex);
    if (!usable(stream, "AVIStreamLength")) return -1;
    const auto &rec = s.files[stream->record];
    return stream->sound ? (LONG)rec.sound_writes.size() : (LONG)rec.writes.size();
}

// Not logged: reading back changes nothing in the file.
HRESULT AVIStreamRead(PAVISTREAM stream, LONG start, LONG, LPVOID buffer, LONG size, LONG *bytes,
                      LONG *samplesRead) {
    Lock lock(avi.mutex);
    if (!usable(stream, "AVIStreamRead")) return AVIERR_MEMORY;
    if (stream->sound) return AVIERR_FILEREAD; // only the frames are read back
    const auto &rec = s.files[stream->record];
    for (size_t i = rec.writes.size(); i-- > 0;) {
        if (rec.writes[i].pos != start) continue;
        LONG have = rec.written_bytes[i];
        if (bytes) *bytes = have;
        if (samplesRead) *samplesRead = 1;
        if (!buffer) return AVIERR_OK;
        if (size < have) return AVIERR_BUFFERTOOSMALL;
        std::vector<BYTE> held = rec.writes[i].data;
        held.resize((size_t)have, 0);
        std::memcpy(buffer, held.data(), held.size());
        return AVIERR_OK;
    }
    return AVIERR_FILEREAD;
}

LONG AVIStreamFindSample(PAVISTREAM stream, LONG pos, LONG flags) {
    Lock lock(avi.mutex);
    if (!usable(stream, "AVIStreamFindSample")) return -1;
    const auto &rec = s.files[stream->record];
    DWORD every = rec.options.dwKeyFrameEvery;
    LONG found = -1;
    for (size_t i = 0; i < rec.writes.size() && rec.writes[i].pos <= pos; ++i)
        if (!(flags & FIND_KEY) || i == 0 || (every > 0 && i % every == 0))
            found = rec.writes[i].pos;
    return found;
}

HRESULT AVISaveOptionsFree(int count, LPAVICOMPRESSOPTIONS *options) {
    Lock lock(avi.mutex);
    for (int i = 0; i < count; ++i) {
        if (!options || !options[i])
            s.misuse.push_back("AVISaveOptionsFree with a null options record");
        else
            ++s.options_frees;
    }
    return finish(lock, "options free " + std::to_string(count), AVIERR_OK);
}

BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree) {
    Lock lock(avi.mutex);
    s.free_queries.push_back(directory ? directory : "");
    int64_t left = s.disk_free - s.disk_used;
    if (left < 0) left = 0;
    if (freeToCaller) freeToCaller->QuadPart = (unsigned long long)left;
    if (totalFree) totalFree->QuadPart = (unsigned long long)left;
    if (total) total->QuadPart = (unsigned long long)s.disk_free;
    return TRUE;
}

DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR *filePart) {
    std::string path = name ? name : "";
    bool absolute = (path.size() >= 2 && path[1] == ':') || (!path.empty() && path[0] == '/');
    char here[4096];
    if (!absolute) path = std::string(getcwd(here, sizeof here) ? here : ".") + "/" + path;
    if (path.size() + 1 > size) return (DWORD)path.size() + 1;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    if (filePart) {
        size_t slash = path.find_last_of("\\/");
        *filePart = buffer + (slash == std::string::npos ? 0 : slash + 1);
    }
    return (DWORD)path.size();
}

ULONG AVIFileRelease(PAVIFILE file) { return release(file, "AVIFileRelease", "release file"); }

ULONG AVIStreamRelease(PAVISTREAM stream) {
    const char *line = stream && stream->compressed ? "release compressed"
                       : stream && stream->sound    ? "release sound stream"
                                                    : "release stream";
    return release(stream, "AVIStreamRelease", line);
}
