// Rebuilding an AVI that was never closed around the frames and sound found in it: in place
// (headers and index only) or by a copy. Plain C++ without Windows types.
#pragma once
#include "avifile/repairplan.h"

// The damaged file itself, when it can be put right where it lies.
class RepairFile : public RepairSource {
  public:
    virtual bool Write(uint64_t Offset, const void *Data, size_t Count) = 0;
    virtual bool Truncate(uint64_t Size) = 0;
    // Forces what was written to the disk.
    virtual bool Flush() = 0;
};

// Where the rebuilt file goes.
class RepairSink {
  public:
    virtual ~RepairSink() = default;
    virtual bool Write(const void *Data, size_t Count) = 0;
};

// Whether the file can be put right where it lies: every position has its chunk, and the
// headers fit into the space before the first one.
bool FitsInPlace(const RepairPlan &Plan, const JournalStream &Stream);
// Appends the index after the last chunk kept (what lay after it goes) and writes the headers
// into the space before the first, "RIFF" last: a repair cut short leaves a file that is
// repaired the same way again. False when it does not fit or a write failed.
bool RepairInPlace(const RepairPlan &Plan, const JournalStream &Stream, RepairFile &File);

// Writes a complete AVI: headers from the journal, the planned frames at their positions, empty
// frames in the gaps between them, the sound's blocks where they lay among the frames, and the
// index. False when a read or write failed.
bool WriteRepairedAvi(const RepairPlan &Plan, const JournalStream &Stream, RepairSource &File,
                      RepairSink &Out);
