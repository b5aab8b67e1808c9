// The journal's files: writing it beside the AVI, the entries of open journals, and the repair
// of the files they name (the file calls themselves are in diskfile).
#include "avifile/journalfile.h"
#include "avifile/avirepair.h"
#include "avifile/diskfile.h"

#include "framework/winapi.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>

namespace {

// One small file per open journal in this folder of the temporary folder, named for the
// journal's path and holding it: each is made by a rename and deleted whole, so running copies
// never write one file between them. The system takes "/" between the folder and the entry.
constexpr char EntryFolderName[] = "Quillet open journals";
constexpr char EntryExtension[] = ".entry";
constexpr char RepairSuffix[] = ".repairing";

std::mutex FolderLock; // guards FolderOverride
std::string FolderOverride;
std::atomic<bool> JournalsEnabled{true};

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

// Rebuilds the file beside it and puts the copy in its place; false with the reason when not.
bool RepairByCopy(const RepairPlan &Plan, const JournalStream &Stream, FileSource &Avi,
                  RepairResult &Result) {
    std::string temporary = Result.AviName + RepairSuffix;
    FileSink out(temporary);
    bool written = WriteRepairedAvi(Plan, Stream, Avi, out);
    Result.TryAgain = true; // no room, or the file held by another program: for now
    if (!out.Finish() || !written) {
        Result.Attempted = true;
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

namespace {

// Makes the entry of a journal in one step: the journal's path, and after it the number of
// starts whose repair could not write the rebuilt file, when there were any.
bool WriteEntry(const std::string &Journal, int FailedTries) {
    CreateDirectoryA(OpenJournalFolder().c_str(), nullptr);
    std::string entry = EntryFor(Journal);
    std::string made = entry + "." + std::to_string(CurrentProcessId()) + ".new";
    HANDLE f = OpenHandle(made, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (f == INVALID_HANDLE_VALUE) return false;
    std::string line = Journal + "\r\n";
    if (FailedTries > 0) line += std::to_string(FailedTries) + "\r\n";
    bool written = WriteAll(f, line.data(), line.size()) && FlushFileBuffers(f);
    written = CloseHandle(f) && written;
    if (written && ReplaceWith(made, entry)) return true;
    DeleteFileA(made.c_str());
    return false;
}

// The starts whose repair of the journal could not write the rebuilt file, from its entry.
int FailedTries(const std::string &Journal) {
    bool found;
    std::vector<uint8_t> data = ReadWhole(EntryFor(Journal), found);
    std::string text(data.begin(), data.end());
    size_t line = text.find('\n');
    return line == std::string::npos ? 0 : std::atoi(text.c_str() + line + 1);
}

// Renames the journal so that it is no longer taken for one to repair, and deletes its entry.
void SetAside(const std::string &Journal, RepairResult &Result) {
    std::string aside = Journal + SetAsideSuffix;
    if (MoveFileExA(Journal.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        Result.SetAsideAs = aside;
        Result.TryAgain = false;
        UnlistOpenJournal(Journal);
    }
}

} // namespace

bool ListOpenJournal(const std::string &Journal) { return WriteEntry(Journal, 0); }

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

void EndAtRiffChunk(const std::string &Name) {
    constexpr uint64_t MostCut = 64; // Wine leaves 20
    FileSource avi(Name);
    uint8_t head[8];
    if (!avi.Writable || !avi.Read(0, head, sizeof(head)) || std::memcmp(head, "RIFF", 4) != 0)
        return;
    uint32_t size = head[4] | head[5] << 8 | head[6] << 16 | (uint32_t)head[7] << 24;
    uint64_t end = 8 + (uint64_t)size + (size & 1);
    if (avi.Size() <= end || avi.Size() - end > MostCut) return;
    std::vector<uint8_t> after((size_t)(avi.Size() - end));
    if (!avi.Read(end, after.data(), after.size())) return;
    if (std::all_of(after.begin(), after.end(), [](uint8_t b) { return b == 0; }))
        avi.Truncate(end);
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
                result.Attempted = true;
                return {result};
            }
        } else if (!RepairByCopy(plan, journal.Stream, avi, result)) {
            return {result};
        }
    }
    DeleteFileA(JournalName.c_str());
    result.Result = RepairResult::Recovered;
    result.Frames = (int)plan.Frames.size();
    result.LeftOut = plan.BeyondReach;
    result.Seconds = (double)plan.Length() * journal.Stream.Scale / journal.Stream.Rate;
    return {result};
}

std::vector<RepairResult> RepairOpenJournals() {
    std::vector<RepairResult> results;
    std::vector<std::string> names = ReadOpenJournals();
    for (const std::string &name : names) {
        if (InUseElsewhere(name)) continue; // another Quillet is still recording it
        std::vector<RepairResult> done;
        try {
            done = RepairRecording(name);
        } catch (const std::bad_alloc &) {
            RepairResult r;
            r.AviName = AviNameForJournal(name);
            DeleteFileA((r.AviName + RepairSuffix).c_str());
            r.Reason = "there was not enough memory to repair it";
            r.TryAgain = r.Attempted = true;
            done = {r};
        }
        bool again = false;
        for (RepairResult &r : done) {
            if (r.Attempted) {
                int tries = FailedTries(name) + 1;
                if (tries >= RepairTries)
                    SetAside(name, r);
                else
                    WriteEntry(name, tries);
            }
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
            std::snprintf(line, sizeof line, "%s: %d frames, %.1f seconds%s\n", r.AviName.c_str(),
                          r.Frames, r.Seconds,
                          r.LeftOut ? " (the frames its journal places after these, farther "
                                      "than the recording could reach, were left out)"
                                    : "");
        else if (!r.SetAsideAs.empty())
            std::snprintf(line, sizeof line,
                          "%s: not repaired, %s. Its journal was set aside as %s and the file "
                          "was left as it is.\n",
                          r.AviName.c_str(), r.Reason.c_str(), r.SetAsideAs.c_str());
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
