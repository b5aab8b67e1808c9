// Reading an AVI that was never closed: where the frame and sound chunks that reached the
// disk lie, checked against the journal written beside it. Plain C++ without Windows types: the
// start-up repair gives it files, the tests give it bytes in memory.
#pragma once
#include "avifile/journal.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr size_t MinFormatBytes = 40;      // a bitmap header
constexpr size_t MinSoundFormatBytes = 16; // a PCM wave format

// Bytes to repair from.
class RepairSource {
  public:
    virtual ~RepairSource() = default;
    virtual uint64_t Size() const = 0;
    // False when the bytes cannot all be read.
    virtual bool Read(uint64_t Offset, void *Buffer, size_t Count) = 0;
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
    // The journal places a frame after those kept farther than the recording could reach: the
    // frames from it on are left out.
    bool BeyondReach = false;
    int64_t Length() const {
        return Frames.empty() ? 0 : (int64_t)Frames.back().Frame.Position + 1;
    }
};

// True when the file is a RIFF AVI whose writer closed it: headers and index in place.
bool AviWasClosed(RepairSource &File);

// Finds the frames of the journal in the file, in order, up to the first one that is missing or
// torn, and the sound's blocks among them. Never fails on any input: a file it cannot make sense
// of is Impossible, with a reason.
RepairPlan PlanRepair(RepairSource &File, const JournalContents &Journal);

// The bytes of one sample of the journal's sound (its block alignment), 0 when the recording has
// no sound or the format cannot make a stream.
uint32_t SoundAlign(const JournalStream &Stream);
