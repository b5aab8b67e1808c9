// Rebuilding an AVI that was never closed, from the frame and sound chunks that reached the
// disk and the journal written beside it. Plain C++ without Windows types: the start-up repair
// gives it files, the tests give it bytes in memory.
#pragma once
#include "avifile/journal.h"

#include <cstdint>
#include <string>
#include <vector>

// Bytes to repair from.
class RepairSource {
  public:
    virtual ~RepairSource() = default;
    virtual uint64_t Size() const = 0;
    // False when the bytes cannot all be read.
    virtual bool Read(uint64_t Offset, void *Buffer, size_t Count) = 0;
};

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

// A frame chunk (or a block of the sound) found in the damaged file, with what the journal says
// of it.
struct FoundFrame {
    uint64_t Offset = 0; // of the frame's bytes
    uint32_t ChunkId = 0;
    JournalFrame Frame;
};

struct RepairPlan {
    enum Outcome { Repairable, AlreadyClosed, Impossible } Result = Impossible;
    std::string Reason; // why it cannot be repaired
    std::vector<FoundFrame> Frames;
    // The sound's blocks, in order, from the first up to the first one missing or damaged: the
    // sound has no positions, so one left out would shift all after it.
    std::vector<FoundFrame> Sound;
    bool SoundEnded = false;    // a block was missing or damaged: no more are taken
    std::vector<uint64_t> Gaps; // the empty chunks taken for skipped positions, in the file
    uint64_t FirstChunk = 0;    // where the run of chunks starts in the file
    uint64_t End = 0;           // where the last chunk kept (frame or sound) ends
    bool EveryPosition = false; // each position below Length has its chunk in the run
    int32_t Length() const { return Frames.empty() ? 0 : Frames.back().Frame.Position + 1; }
};

// True when the file is a RIFF AVI whose writer closed it: headers and index in place.
bool AviWasClosed(RepairSource &File);

// Finds the frames of the journal in the file, in order, up to the first one that is missing or
// torn, and the sound's blocks among them. Never fails on any input: a file it cannot make sense
// of is Impossible, with a reason.
RepairPlan PlanRepair(RepairSource &File, const JournalContents &Journal);

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
