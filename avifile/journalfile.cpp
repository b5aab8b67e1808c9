// The journal's files: writing it beside the AVI, the entries of open journals, and the repair
// of the files they name.
#include "avifile/journalfile.h"
#include "avifile/avirepair.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// One small file per open journal in this folder of the temporary folder, named for the
// journal's path and holding it: each is made by a rename and deleted whole, so running copies
// never write one file between them.
constexpr char EntryFolderName[] = "Quillet open journals";
constexpr char EntryExtension[] = ".entry";
#ifdef _WIN32
constexpr char Separator = '\\';
#else
constexpr char Separator = '/';
#endif
constexpr char RepairSuffix[] = ".repairing";

std::mutex FolderLock; // guards FolderOverride
std::string FolderOverride;
std::atomic<bool> JournalsEnabled{true};

// Opens the journal for writing so that no other process may write it while it is open: the
// next start tells a journal still being written by another Quillet by that.
std::FILE *OpenExclusive(const std::string &Name) {
#ifdef _WIN32
    return _fsopen(Name.c_str(), "wb", _SH_DENYWR);
#else
    return std::fopen(Name.c_str(), "wb");
#endif
}

bool InUseElsewhere(const std::string &Name) {
#ifdef _WIN32
    std::FILE *f = _fsopen(Name.c_str(), "r+b", _SH_DENYNO); // never creates it
    if (f) std::fclose(f);
    return !f && errno == EACCES;
#else
    (void)Name;
    return false;
#endif
}

bool SeekTo(std::FILE *File, uint64_t Offset) {
#ifdef _WIN32
    return _fseeki64(File, (__int64)Offset, SEEK_SET) == 0;
#else
    return fseeko(File, (off_t)Offset, SEEK_SET) == 0;
#endif
}

// Forces what the system holds of the file to the disk, so that a power cut keeps it. Only the
// file's descriptor is used: the writer's buffer is flushed by the writer.
void CommitToDisk(std::FILE *File) {
#ifdef _WIN32
    _commit(_fileno(File));
#else
    fsync(fileno(File));
#endif
}

void ForceToDisk(std::FILE *File) {
    std::fflush(File);
    CommitToDisk(File);
}

// Puts From in the place of To in one step: To is either the old or the new file.
bool ReplaceWith(const std::string &From, const std::string &To) {
#ifdef _WIN32
    return MoveFileExA(From.c_str(), To.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(From.c_str(), To.c_str()) == 0;
#endif
}

// The damaged AVI, opened to be put right where it lies, or only read where it cannot be
// written.
struct FileSource : RepairFile {
    std::FILE *File;
    bool Writable = true;
    uint64_t Bytes = 0;
    explicit FileSource(const std::string &Name, bool ToWrite = true)
        : File(ToWrite ? std::fopen(Name.c_str(), "r+b") : nullptr) {
        if (!File) {
            Writable = false;
            File = std::fopen(Name.c_str(), "rb");
        }
        if (File && SeekEnd()) Bytes = Tell();
    }
    ~FileSource() override { Close(); }
    void Close() {
        if (File) std::fclose(File);
        File = nullptr;
    }
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;
    bool SeekEnd() {
#ifdef _WIN32
        return _fseeki64(File, 0, SEEK_END) == 0;
#else
        return fseeko(File, 0, SEEK_END) == 0;
#endif
    }
    uint64_t Tell() {
#ifdef _WIN32
        __int64 at = _ftelli64(File);
#else
        off_t at = ftello(File);
#endif
        return at < 0 ? 0 : (uint64_t)at;
    }
    uint64_t Size() const override { return Bytes; }
    bool Read(uint64_t Offset, void *Buffer, size_t Count) override {
        if (!File || Offset > Bytes || Count > Bytes - Offset) return false;
        return SeekTo(File, Offset) && std::fread(Buffer, 1, Count, File) == Count;
    }
    bool Write(uint64_t Offset, const void *Data, size_t Count) override {
        if (!File || !Writable || !SeekTo(File, Offset) ||
            std::fwrite(Data, 1, Count, File) != Count)
            return false;
        Bytes = std::max(Bytes, Offset + Count);
        return true;
    }
    bool Truncate(uint64_t Size) override {
        if (!File || !Writable || std::fflush(File) != 0) return false;
#ifdef _WIN32
        bool ok = _chsize_s(_fileno(File), (__int64)Size) == 0;
#else
        bool ok = ftruncate(fileno(File), (off_t)Size) == 0;
#endif
        if (ok) Bytes = Size;
        return ok;
    }
    bool Flush() override {
        if (!File || std::fflush(File) != 0) return false;
        CommitToDisk(File);
        return true;
    }
};

struct FileSink : RepairSink {
    std::FILE *File;
    explicit FileSink(const std::string &Name) : File(std::fopen(Name.c_str(), "wb")) {}
    ~FileSink() override {
        if (File) std::fclose(File);
    }
    FileSink(const FileSink &) = delete;
    FileSink &operator=(const FileSink &) = delete;
    bool Write(const void *Data, size_t Count) override {
        return File && std::fwrite(Data, 1, Count, File) == Count;
    }
    // Closes the file with everything on the disk; false when any of it failed.
    bool Finish() {
        if (!File) return false;
        bool ok = std::fflush(File) == 0;
        ForceToDisk(File);
        ok = std::fclose(File) == 0 && ok;
        File = nullptr;
        return ok;
    }
};

std::vector<uint8_t> ReadWhole(const std::string &Name, bool &Found) {
    std::vector<uint8_t> data;
    std::FILE *f = std::fopen(Name.c_str(), "rb");
    Found = f != nullptr;
    if (!f) return data;
    uint8_t block[4096];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0)
        data.insert(data.end(), block, block + n);
    std::fclose(f);
    return data;
}

void MakeFolder(const std::string &Name) {
#ifdef _WIN32
    CreateDirectoryA(Name.c_str(), nullptr);
#else
    mkdir(Name.c_str(), 0777);
#endif
}

bool FolderExists(const std::string &Name) {
#ifdef _WIN32
    DWORD attributes = GetFileAttributesA(Name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat st;
    return stat(Name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

// The names of the entries in the folder.
std::vector<std::string> EntriesIn(const std::string &Folder) {
    std::vector<std::string> names;
    size_t n = sizeof EntryExtension - 1;
#ifdef _WIN32
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((Folder + Separator + "*" + EntryExtension).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
#else
    if (DIR *dir = opendir(Folder.c_str())) {
        while (dirent *e = readdir(dir))
            names.push_back(e->d_name);
        closedir(dir);
    }
#endif
    std::vector<std::string> entries;
    for (const std::string &name : names)
        if (name.size() > n && name.compare(name.size() - n, n, EntryExtension) == 0)
            entries.push_back(Folder + Separator + name);
    return entries;
}

// The entry of a journal: named for its full path.
std::string EntryFor(const std::string &Journal) {
    uint64_t h = 14695981039346656037ull; // FNV-1a
    for (char c : Journal)
        h = (h ^ (uint8_t)c) * 1099511628211ull;
    char name[32];
    std::snprintf(name, sizeof name, "%016llx", (unsigned long long)h);
    return OpenJournalFolder() + Separator + name + EntryExtension;
}

// The next start may run in another folder: the list holds full paths.
std::string FullPath(const std::string &Name) {
#ifdef _WIN32
    char full[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(Name.c_str(), sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full, n) : Name;
#else
    char folder[4096];
    if ((!Name.empty() && Name[0] == '/') || !getcwd(folder, sizeof folder)) return Name;
    return std::string(folder) + "/" + Name;
#endif
}

// Rebuilds the file beside it and puts the copy in its place; false with the reason when not.
bool RepairByCopy(const RepairPlan &Plan, const JournalStream &Stream, FileSource &Avi,
                  RepairResult &Result) {
    std::string temporary = Result.AviName + RepairSuffix;
    FileSink out(temporary);
    bool written = WriteRepairedAvi(Plan, Stream, Avi, out);
    Result.TryAgain = true; // no room, or the file held by another program: for now
    if (!out.Finish() || !written) {
        std::remove(temporary.c_str());
        Result.Reason = "the repaired file could not be written beside it";
        return false;
    }
    Avi.Close(); // the original must be closed before it is replaced
    if (!ReplaceWith(temporary, Result.AviName)) {
        std::remove(temporary.c_str());
        Result.Reason = "it could not be replaced by the repaired file";
        return false;
    }
    Result.TryAgain = false;
    return true;
}

} // namespace

uint32_t CurrentProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return (uint32_t)getpid();
#endif
}

std::string OpenJournalFolder() {
    {
        std::lock_guard<std::mutex> lock(FolderLock);
        if (!FolderOverride.empty()) return FolderOverride;
    }
#ifdef _WIN32
    char folder[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof folder, folder);
    std::string dir = n > 0 && n < sizeof folder ? std::string(folder, n) : std::string(".\\");
#else
    const char *tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/";
#endif
    return dir + EntryFolderName;
}

void SetOpenJournalFolder(const std::string &Path) {
    std::lock_guard<std::mutex> lock(FolderLock);
    FolderOverride = Path;
}

std::vector<std::string> ReadOpenJournals() {
    std::vector<std::string> journals;
    for (const std::string &entry : EntriesIn(OpenJournalFolder())) {
        bool found;
        std::vector<uint8_t> data = ReadWhole(entry, found);
        std::string line(data.begin(), data.end());
        line = line.substr(0, line.find_first_of("\r\n"));
        if (!line.empty()) journals.push_back(line);
    }
    std::sort(journals.begin(), journals.end());
    return journals;
}

bool ListOpenJournal(const std::string &Journal) {
    MakeFolder(OpenJournalFolder());
    std::string entry = EntryFor(Journal);
    std::string made = entry + "." + std::to_string(CurrentProcessId()) + ".new";
    std::FILE *f = std::fopen(made.c_str(), "wb");
    if (!f) return false;
    bool written = std::fprintf(f, "%s\r\n", Journal.c_str()) > 0 && std::fflush(f) == 0;
    CommitToDisk(f);
    written = std::fclose(f) == 0 && written;
    if (written && ReplaceWith(made, entry)) return true;
    std::remove(made.c_str());
    return false;
}

void UnlistOpenJournal(const std::string &Journal) { std::remove(EntryFor(Journal).c_str()); }

void SetJournalsEnabled(bool Enabled) { JournalsEnabled = Enabled; }

bool RecordingJournal::Open(const std::string &AviName, JournalStream Stream) {
    Close();
    if (!JournalsEnabled) return false;
    Stream.ProcessId = CurrentProcessId();
    FileName = FullPath(JournalNameFor(AviName));
    File = OpenExclusive(FileName);
    if (!File) return false;
    std::vector<uint8_t> header = EncodeJournalHeader(Stream);
    if (std::fwrite(header.data(), 1, header.size(), File) != header.size()) {
        Close();
        return false;
    }
    ForceToDisk(File);
    ListOpenJournal(FileName);
    Stopping = false;
    try {
        Syncer = std::thread(&RecordingJournal::ForceToDiskEverySecond, this);
    } catch (const std::system_error &) {
        // No thread to be had: the frames still reach the system as they come, which a killed
        // process keeps; only a power cut may take the last of them.
    }
    return true;
}

void RecordingJournal::ForceToDiskEverySecond() {
    std::unique_lock<std::mutex> lock(SyncLock);
    while (!SyncWake.wait_for(lock, std::chrono::milliseconds(JournalSyncInterval),
                              [this] { return Stopping; })) {
        lock.unlock();
        CommitToDisk(File);
        lock.lock();
    }
}

void RecordingJournal::Frame(const JournalFrame &Frame) {
    if (!File) return;
    // One frame a batch: a killed process loses none that reached the AVI, and a batch torn by
    // a power cut is left out by the reader.
    std::vector<uint8_t> batch = EncodeJournalBatch(&Frame, 1);
    std::fwrite(batch.data(), 1, batch.size(), File);
    std::fflush(File);
}

void RecordingJournal::End(bool Delete) {
    if (Syncer.joinable()) {
        {
            std::lock_guard<std::mutex> lock(SyncLock);
            Stopping = true;
        }
        SyncWake.notify_all();
        Syncer.join();
    }
    if (!File) return;
    std::fclose(File);
    File = nullptr;
    if (!Delete) return;
    std::remove(FileName.c_str());
    UnlistOpenJournal(FileName);
}

bool AviClosedWhole(const std::string &Name, int64_t Limit) {
    FileSource avi(Name, false);
    return avi.File && avi.Size() <= (uint64_t)Limit && AviWasClosed(avi);
}

std::vector<RepairResult> RepairRecording(const std::string &JournalName) {
    bool found;
    std::vector<uint8_t> data = ReadWhole(JournalName, found);
    RepairResult result;
    result.AviName = AviNameForJournal(JournalName);
    if (result.AviName.empty()) return {};
    if (!found) {
        // Gone with its folder (a drive that is not there now): tried again at the next start.
        size_t folder = JournalName.find_last_of("\\/");
        if (folder == std::string::npos || FolderExists(JournalName.substr(0, folder))) return {};
        result.Reason = "its folder cannot be reached";
        result.TryAgain = true;
        return {result};
    }
    JournalContents journal = ReadJournal(data.data(), data.size());
    RepairPlan plan;
    {
        FileSource avi(result.AviName);
        if (!avi.File) {
            // Deleted, or only held by another program for now.
            result.TryAgain = errno != ENOENT;
            result.Reason = result.TryAgain ? "the file cannot be opened" : "the file is gone";
            return {result};
        }
        plan = PlanRepair(avi, journal);
        if (plan.Result == RepairPlan::AlreadyClosed) {
            std::remove(JournalName.c_str());
            return {};
        }
        if (plan.Result == RepairPlan::Impossible) {
            result.Reason = plan.Reason;
            return {result};
        }
        if (avi.Writable && FitsInPlace(plan, journal.Stream)) {
            if (!RepairInPlace(plan, journal.Stream, avi)) {
                result.Reason = "it could not be written";
                result.TryAgain = true;
                return {result};
            }
        } else if (!RepairByCopy(plan, journal.Stream, avi, result)) {
            return {result};
        }
    }
    std::remove(JournalName.c_str());
    result.Result = RepairResult::Recovered;
    result.Frames = (int)plan.Frames.size();
    result.Seconds = (double)plan.Length() * journal.Stream.Scale / journal.Stream.Rate;
    return {result};
}

std::vector<RepairResult> RepairOpenJournals() {
    std::vector<RepairResult> results;
    std::vector<std::string> names = ReadOpenJournals();
    for (const std::string &name : names) {
        if (InUseElsewhere(name)) continue; // another Quillet is still recording it
        bool again = false;
        for (RepairResult &r : RepairRecording(name)) {
            again = again || r.TryAgain;
            results.push_back(r);
        }
        if (!again) UnlistOpenJournal(name);
    }
    return results;
}

std::string RepairNotice(const std::vector<RepairResult> &Results) {
    std::string recovered, failed;
    for (const RepairResult &r : Results) {
        char line[512];
        if (r.Result == RepairResult::Recovered)
            std::snprintf(line, sizeof line, "%s: %d frames, %.1f seconds\n", r.AviName.c_str(),
                          r.Frames, r.Seconds);
        else if (r.TryAgain)
            std::snprintf(line, sizeof line,
                          "%s: not repaired this time, %s. It will be tried again at the next "
                          "start.\n",
                          r.AviName.c_str(), r.Reason.c_str());
        else
            std::snprintf(line, sizeof line, "%s: not repaired, %s. The file was left as it is.\n",
                          r.AviName.c_str(), r.Reason.c_str());
        (r.Result == RepairResult::Recovered ? recovered : failed) += line;
    }
    std::string text;
    if (!recovered.empty())
        text += "Recordings that were not closed have been recovered:\n" + recovered;
    if (!failed.empty()) {
        if (!text.empty()) text += "\n";
        text += "A recording that was not closed could not be repaired:\n" + failed;
    }
    return text;
}
