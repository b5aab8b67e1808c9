// The journal on disk: the writer a recording run keeps beside each open AVI, an entry for each
// open journal in a folder of the user's temporary folder, and the repair of what those entries
// name at the next start, through the file calls of the platform.
#pragma once
#include "avifile/journal.h"
#include "framework/winapi.h"

#include <cstdint>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The folder of the entries: "Quillet open journals" in the user's temporary folder, or the
// folder a test chose with SetOpenJournalFolder ("" goes back to the temporary folder).
std::string OpenJournalFolder();
void SetOpenJournalFolder(const std::string &Path);
// The journals the entries name, in order of their names.
std::vector<std::string> ReadOpenJournals();
// Makes and deletes the entry of a journal (by its full path), each in one step.
bool ListOpenJournal(const std::string &Journal);
void UnlistOpenJournal(const std::string &Journal);

// The journal of one AVI while it is written. Frames are written to the system as they come,
// and a thread of the journal forces them to the disk once a second, so that the recording
// loop never waits for the disk; a normal close deletes the journal.
class RecordingJournal {
  public:
    RecordingJournal() = default;
    ~RecordingJournal() { Close(); }
    RecordingJournal(const RecordingJournal &) = delete;
    RecordingJournal &operator=(const RecordingJournal &) = delete;

    // Starts the journal of AviName and makes its entry; false when it cannot be written
    // (the recording goes on without one).
    bool Open(const std::string &AviName, JournalStream Stream);
    // Notes a frame written to the AVI.
    void Frame(const JournalFrame &Frame);
    // Deletes the journal and its entry: the AVI was closed.
    void Close() { End(true); }
    // Closes the journal and leaves it, with its entry, for the repair at the next start.
    void Keep() { End(false); }
    bool IsOpen() const { return File != INVALID_HANDLE_VALUE; }
    const std::string &Name() const { return FileName; }

  private:
    void End(bool Delete);
    void ForceToDiskEverySecond();
    HANDLE File = INVALID_HANDLE_VALUE;
    std::string FileName;
    std::thread Syncer;
    std::mutex SyncLock;
    std::condition_variable SyncWake;
    bool Stopping = false;
};

// Runs keep journals unless switched off (the capture benchmark measures their cost).
void SetJournalsEnabled(bool Enabled);

// Milliseconds between forced writes to the disk.
constexpr uint32_t JournalSyncInterval = 1000;

// What the start-up repair did with one journal.
struct RepairResult {
    enum Outcome { Recovered, NotRepaired } Result = NotRepaired;
    std::string AviName;
    int Frames = 0;
    double Seconds = 0;
    std::string Reason;     // why it was not repaired
    bool TryAgain = false;  // for a passing reason: its entry stays for the next start
    bool Attempted = false; // the rebuilt file itself could not be written: counted in the entry
    std::string SetAsideAs; // the journal's new name, when it was set aside
    bool LeftOut = false;   // frames the journal places beyond the recording's reach left out
};

// A journal whose repair could not write the rebuilt file at this many starts is set aside
// (renamed so) and its entry deleted: it is not tried at every start for ever.
constexpr int RepairTries = 3;
// What a journal set aside has after its name.
constexpr char SetAsideSuffix[] = ".not-repaired";

// Repairs the AVI of one journal; the AVI is replaced only by a complete rebuilt file.
// Returns nothing for an AVI that was closed (its journal is deleted) or a journal that is gone.
std::vector<RepairResult> RepairRecording(const std::string &JournalName);

// Repairs every AVI the entries name that no running Quillet is writing, and deletes their
// entries: none is repaired twice. An entry stays when the repair failed for a passing reason
// (up to RepairTries starts when the rebuilt file could not be written; then its journal is set
// aside); a file damaged beyond repair is reported once and left as it is, with its journal.
std::vector<RepairResult> RepairOpenJournals();

// The text of the start-up notice, "" when there is nothing to say.
std::string RepairNotice(const std::vector<RepairResult> &Results);

// Whether the AVI reads back as one its writer closed (headers and index in place) of at most
// Limit bytes.
bool AviClosedWhole(const std::string &Name, int64_t Limit);

// Makes a closed AVI end where its RIFF chunk ends. Wine's AVIFile writes 20 zero bytes after
// the chunk of every file it closes, which a strict reader may take for a damaged chunk; only
// zeros, and no more than that, are cut.
void EndAtRiffChunk(const std::string &Name);

// This process's id, as the journal notes it.
uint32_t CurrentProcessId();
