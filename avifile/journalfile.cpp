// The journal's files: writing it beside the AVI, the entries of open journals, and the repair
// of the files they name.
#include "avifile/journalfile.h"
#include "avifile/avirepair.h"

#include "framework/winapi.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <system_error>

namespace {

// One small file per open journal in this folder of the temporary folder, named for the
// journal's path and holding it: each is made by a rename and deleted whole, so running copies
// never write one file between them. The system takes "/" between the folder and the entry.
constexpr char EntryFolderName[] = "Quillet open journals";
constexpr char EntryExtension[] = ".entry";
constexpr char RepairSuffix[] = ".repairing";
constexpr size_t SinkBlock = 1 << 20;

std::mutex FolderLock; // guards FolderOverride
std::string FolderOverride;
std::atomic<bool> JournalsEnabled{true};

HANDLE OpenHandle(const std::string &Name, DWORD Access, DWORD Share, DWORD Disposition) {
    return CreateFileA(Name.c_str(), Access, Share, nullptr, Disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// Moves Count bytes in calls of at most 1 GiB, each Step(done so far, bytes, moved), until all
// went or a call failed or moved nothing.
template <class Call> bool InPieces(size_t Count, Call Step) {
    for (size_t at = 0; at < Count;) {
        DWORD done = 0;
        if (!Step(at, (DWORD)std::min<size_t>(Count - at, 1u << 30), done) || done == 0)
            return false;
        at += done;
    }
    return true;
}

bool WriteAll(HANDLE File, const void *Data, size_t Count) {
    return InPieces(Count, [&](size_t At, DWORD Bytes, DWORD &Done) {
        return WriteFile(File, (const uint8_t *)Data + At, Bytes, &Done, nullptr) != FALSE;
    });
}

bool ReadAll(HANDLE File, void *Buffer, size_t Count) {
    return InPieces(Count, [&](size_t At, DWORD Bytes, DWORD &Done) {
        return ReadFile(File, (uint8_t *)Buffer + At, Bytes, &Done, nullptr) != FALSE;
    });
}

bool SeekTo(HANDLE File, uint64_t Offset) {
    LARGE_INTEGER to;
    to.QuadPart = (int64_t)Offset;
    return SetFilePointerEx(File, to, nullptr, FILE_BEGIN) != FALSE;
}

// Whether another process holds the journal open for writing: another Quillet still records
// its AVI. The journal is written with others refused that.
bool InUseElsewhere(const std::string &Name) {
    HANDLE f = OpenHandle(Name, GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    if (f != INVALID_HANDLE_VALUE) {
        CloseHandle(f);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

// Puts From in the place of To in one step: To is either the old or the new file.
bool ReplaceWith(const std::string &From, const std::string &To) {
    return MoveFileExA(From.c_str(), To.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

// The damaged AVI, opened to be put right where it lies (no other program may write it
// meanwhile), or only read where it cannot be written.
struct FileSource : RepairFile {
    HANDLE File = INVALID_HANDLE_VALUE;
    bool Writable = true;
    bool Missing = false; // the file is not there
    uint64_t Bytes = 0;
    explicit FileSource(const std::string &Name, bool ToWrite = true) {
        if (ToWrite)
            File = OpenHandle(Name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
        if (File == INVALID_HANDLE_VALUE) {
            Writable = false;
            File =
                OpenHandle(Name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        }
        Missing = File == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND;
        LARGE_INTEGER size;
        if (File != INVALID_HANDLE_VALUE && GetFileSizeEx(File, &size))
            Bytes = (uint64_t)size.QuadPart;
    }
    ~FileSource() override { Close(); }
    bool IsOpen() const { return File != INVALID_HANDLE_VALUE; }
    void Close() {
        if (IsOpen()) CloseHandle(File);
        File = INVALID_HANDLE_VALUE;
    }
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;
    uint64_t Size() const override { return Bytes; }
    bool Read(uint64_t Offset, void *Buffer, size_t Count) override {
        if (!IsOpen() || Offset > Bytes || Count > Bytes - Offset) return false;
        return SeekTo(File, Offset) && ReadAll(File, Buffer, Count);
    }
    bool Write(uint64_t Offset, const void *Data, size_t Count) override {
        if (!IsOpen() || !Writable || !SeekTo(File, Offset) || !WriteAll(File, Data, Count))
            return false;
        Bytes = std::max<uint64_t>(Bytes, Offset + Count);
        return true;
    }
    bool Truncate(uint64_t Size) override {
        if (!IsOpen() || !Writable || !SeekTo(File, Size) || !SetEndOfFile(File)) return false;
        Bytes = Size;
        return true;
    }
    bool Flush() override { return IsOpen() && FlushFileBuffers(File) != FALSE; }
};

// The rebuilt copy, written in large blocks.
struct FileSink : RepairSink {
    HANDLE File;
    std::vector<uint8_t> Held;
    explicit FileSink(const std::string &Name)
        : File(OpenHandle(Name, GENERIC_WRITE, 0, CREATE_ALWAYS)) {}
    ~FileSink() override {
        if (File != INVALID_HANDLE_VALUE) CloseHandle(File);
    }
    FileSink(const FileSink &) = delete;
    FileSink &operator=(const FileSink &) = delete;
    bool Write(const void *Data, size_t Count) override {
        if (File == INVALID_HANDLE_VALUE) return false;
        Held.insert(Held.end(), (const uint8_t *)Data, (const uint8_t *)Data + Count);
        if (Held.size() < SinkBlock) return true;
        bool ok = WriteAll(File, Held.data(), Held.size());
        Held.clear();
        return ok;
    }
    // Closes the file with everything on the disk; false when any of it failed.
    bool Finish() {
        if (File == INVALID_HANDLE_VALUE) return false;
        bool ok = WriteAll(File, Held.data(), Held.size()) && FlushFileBuffers(File);
        ok = CloseHandle(File) && ok;
        File = INVALID_HANDLE_VALUE;
        return ok;
    }
};

std::vector<uint8_t> ReadWhole(const std::string &Name, bool &Found) {
    std::vector<uint8_t> data;
    HANDLE f = OpenHandle(Name, GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    Found = f != INVALID_HANDLE_VALUE;
    if (!Found) return data;
    uint8_t block[4096];
    DWORD n = 0;
    while (ReadFile(f, block, sizeof block, &n, nullptr) && n > 0)
        data.insert(data.end(), block, block + n);
    CloseHandle(f);
    return data;
}

bool FolderExists(const std::string &Name) {
    DWORD attributes = GetFileAttributesA(Name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The entries in the folder.
std::vector<std::string> EntriesIn(const std::string &Folder) {
    std::vector<std::string> entries;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((Folder + "/*" + EntryExtension).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do
        entries.push_back(Folder + "/" + found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return entries;
}

// The entry of a journal: named for its full path.
std::string EntryFor(const std::string &Journal) {
    uint64_t h = 14695981039346656037ull; // FNV-1a
    for (char c : Journal)
        h = (h ^ (uint8_t)c) * 1099511628211ull;
    char name[32];
    std::snprintf(name, sizeof name, "%016llx", (unsigned long long)h);
    return OpenJournalFolder() + "/" + name + EntryExtension;
}

// The next start may run in another folder: the entries hold full paths.
std::string FullPath(const std::string &Name) {
    char full[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(Name.c_str(), sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full, n) : Name;
}

// Rebuilds the file beside it and puts the copy in its place; false with the reason when not.
bool RepairByCopy(const RepairPlan &Plan, const JournalStream &Stream, FileSource &Avi,
                  RepairResult &Result) {
    std::string temporary = Result.AviName + RepairSuffix;
    FileSink out(temporary);
    bool written = WriteRepairedAvi(Plan, Stream, Avi, out);
    Result.TryAgain = true; // no room, or the file held by another program: for now
    if (!out.Finish() || !written) {
        DeleteFileA(temporary.c_str());
        Result.Reason = "the repaired file could not be written beside it";
        return false;
    }
    Avi.Close(); // the original must be closed before it is replaced
    if (!ReplaceWith(temporary, Result.AviName)) {
        DeleteFileA(temporary.c_str());
        Result.Reason = "it could not be replaced by the repaired file";
        return false;
    }
    Result.TryAgain = false;
    return true;
}

} // namespace

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

std::string OpenJournalFolder() {
    {
        std::lock_guard<std::mutex> lock(FolderLock);
        if (!FolderOverride.empty()) return FolderOverride;
    }
    char folder[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof folder, folder);
    std::string dir = n > 0 && n < sizeof folder ? std::string(folder, n) : std::string(".\\");
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
    CreateDirectoryA(OpenJournalFolder().c_str(), nullptr);
    std::string entry = EntryFor(Journal);
    std::string made = entry + "." + std::to_string(CurrentProcessId()) + ".new";
    HANDLE f = OpenHandle(made, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (f == INVALID_HANDLE_VALUE) return false;
    std::string line = Journal + "\r\n";
    bool written = WriteAll(f, line.data(), line.size()) && FlushFileBuffers(f);
    written = CloseHandle(f) && written;
    if (written && ReplaceWith(made, entry)) return true;
    DeleteFileA(made.c_str());
    return false;
}

void UnlistOpenJournal(const std::string &Journal) { DeleteFileA(EntryFor(Journal).c_str()); }

void SetJournalsEnabled(bool Enabled) { JournalsEnabled = Enabled; }

bool RecordingJournal::Open(const std::string &AviName, JournalStream Stream) {
    Close();
    if (!JournalsEnabled) return false;
    Stream.ProcessId = CurrentProcessId();
    FileName = FullPath(JournalNameFor(AviName));
    // No other process may write it while it is open: the next start tells a journal still
    // being written by another Quillet by that.
    File = OpenHandle(FileName, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
    if (File == INVALID_HANDLE_VALUE) return false;
    std::vector<uint8_t> header = EncodeJournalHeader(Stream);
    if (!WriteAll(File, header.data(), header.size())) {
        Close();
        return false;
    }
    FlushFileBuffers(File);
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
        FlushFileBuffers(File);
        lock.lock();
    }
}

void RecordingJournal::Frame(const JournalFrame &Frame) {
    if (!IsOpen()) return;
    // One frame a batch, written to the system at once: a killed process loses none that
    // reached the AVI, and a batch torn by a power cut is left out by the reader.
    std::vector<uint8_t> batch = EncodeJournalBatch(&Frame, 1);
    WriteAll(File, batch.data(), batch.size());
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
    if (!IsOpen()) return;
    CloseHandle(File);
    File = INVALID_HANDLE_VALUE;
    if (!Delete) return;
    DeleteFileA(FileName.c_str());
    UnlistOpenJournal(FileName);
}

bool AviClosedWhole(const std::string &Name, int64_t Limit) {
    FileSource avi(Name, false);
    return avi.IsOpen() && avi.Size() <= (uint64_t)Limit && AviWasClosed(avi);
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
        if (!avi.IsOpen()) {
            // Deleted, or only held by another program for now.
            result.TryAgain = !avi.Missing;
            result.Reason = result.TryAgain ? "the file cannot be opened" : "the file is gone";
            return {result};
        }
        plan = PlanRepair(avi, journal);
        if (plan.Result == RepairPlan::AlreadyClosed) {
            DeleteFileA(JournalName.c_str());
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
    DeleteFileA(JournalName.c_str());
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
