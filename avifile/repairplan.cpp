// Reading a file that was never closed: whether its writer closed it after all, and where the
// frames and the sound that reached the disk lie, followed chunk by chunk with the journal.
#include "avifile/repairplan.h"
#include "avifile/riff.h"

#include <algorithm>

namespace {

// How far into the file the first frame is looked for when no list of frames says where.
constexpr uint64_t FirstFrameSearch = 1 << 20;
constexpr size_t SumBlock = 64 << 10;
// A position the journal skips with no empty chunk for it in the file takes an empty chunk and
// an index entry in the rebuilt file. Such positions are taken up to this many bytes of them
// beyond the bytes of the run kept: a rebuilt file is never much larger than what was found.
constexpr uint64_t EmptyPositionBytes = 8 + 16;
constexpr uint64_t EmptyPositionAllowance = 1 << 20;
// The search for the frames reads the file at most this many times over, and remembers the
// chunks its walks came to this far into the file.
constexpr uint64_t ReadsPerByte = 4;
constexpr uint64_t RememberedSpan = 64 << 20;

// The file as the search for the frames reads it: what its walks share. A walk that comes to a
// chunk another walk came to goes no further (what lies after it was followed once), and the
// reads stop at a budget, so that the search is linear in the file however it is laid out.
class Search : public RepairSource {
  public:
    Search(RepairSource &File, uint64_t Budget)
        : File(File), Left(Budget), Seen((size_t)(std::min(File.Size(), RememberedSpan) / 2)) {}
    uint64_t Size() const override { return File.Size(); }
    bool Read(uint64_t Offset, void *Buffer, size_t Count) override {
        if (Count > Left) {
            Left = 0;
            return false;
        }
        Left -= Count;
        return File.Read(Offset, Buffer, Count);
    }
    // False when a walk came to the chunk at Offset (always even) before.
    bool FirstVisit(uint64_t Offset) {
        if (Offset / 2 >= Seen.size()) return true;
        if (Seen[(size_t)(Offset / 2)]) return false;
        Seen[(size_t)(Offset / 2)] = true;
        return true;
    }

  private:
    RepairSource &File;
    uint64_t Left;
    std::vector<bool> Seen;
};

bool Read32(RepairSource &File, uint64_t Offset, uint32_t &Value) {
    uint8_t b[4];
    if (Offset + 4 > File.Size() || !File.Read(Offset, b, 4)) return false;
    Value = Get32(b);
    return true;
}

bool IsFrameId(uint32_t Id) { return Id == WholeFrameId || Id == DeltaFrameId; }
// A chunk of another stream than the frames', written between them.
bool IsOtherStreamId(uint32_t Id) {
    char n0 = (char)(Id & 0xFF), n1 = (char)((Id >> 8) & 0xFF);
    return n0 >= '0' && n0 <= '9' && n1 >= '0' && n1 <= '9' && !(n0 == '0' && n1 == '0');
}

// Whether the data at Offset has the sum the journal noted: a chunk whose header reached the
// disk while its data did not (a power cut) reads as zeros there.
bool SumMatches(RepairSource &File, uint64_t Offset, uint32_t Size, uint32_t Sum) {
    uint8_t block[SumBlock];
    uint32_t sum = JournalSum(nullptr, 0);
    for (uint32_t done = 0; done < Size;) {
        size_t n = std::min<size_t>(sizeof block, Size - done);
        if (!File.Read(Offset + done, block, n)) return false;
        sum = JournalSum(block, n, sum);
        done += (uint32_t)n;
    }
    return sum == Sum;
}

// Takes the sound's chunk at At when it is the next block the journal noted, whole; otherwise
// the sound ends there.
void TakeSound(RepairSource &File, uint64_t At, uint32_t Size,
               const std::vector<JournalFrame> &Blocks, RepairPlan &Plan) {
    size_t next = Plan.Sound.size();
    if (Plan.SoundEnded) return;
    if (next >= Blocks.size() || Size != Blocks[next].Size || At + 8 + Size > File.Size() ||
        ((Blocks[next].Flags & JournalSumKnown) &&
         !SumMatches(File, At + 8, Size, Blocks[next].Sum))) {
        Plan.SoundEnded = true;
        return;
    }
    FoundFrame f{At + 8, SoundId, Blocks[next]};
    f.Frame.Flags |= JournalKeyFrame; // every block, as the platform's writer indexes them
    Plan.Sound.push_back(f);
    Plan.End = std::max(Plan.End, At + 8 + Size);
}

// Follows the journal's frames chunk by chunk from Start, into Plan: the frames found whole,
// the sound's blocks among them, the empty chunks taken for skipped positions, and where the
// run ends. The platform's writer puts an empty chunk at each position a recording skips, just
// before the next frame; other writers may not, so such chunks are passed over only while due,
// and positions without one are taken only as far as the bytes found could reach.
void FollowFrames(Search &File, uint64_t Start, const std::vector<JournalFrame> &Frames,
                  const std::vector<JournalFrame> &Blocks, RepairPlan &Plan) {
    Plan.FirstChunk = Start;
    Plan.EveryPosition = true;
    uint64_t at = Start, end = File.Size(), empty = 0;
    int64_t position = 0;
    for (const JournalFrame &frame : Frames) {
        uint32_t id = 0, size = 0;
        std::vector<uint64_t> gaps;
        for (;;) {
            if (!File.FirstVisit(at) || !Read32(File, at, id) || !Read32(File, at + 4, size))
                return;
            if (id == JunkTag || IsOtherStreamId(id)) {
                if (id == SoundId) TakeSound(File, at, size, Blocks, Plan);
                at += 8 + RiffPadded(size);
            } else if (IsFrameId(id) && size == 0 && position < frame.Position) {
                gaps.push_back(at);
                at += 8;
                ++position;
            } else {
                break;
            }
        }
        if (!IsFrameId(id) || ((frame.Flags & JournalSizeKnown) && size != frame.Size) ||
            at + 8 + size > end ||
            ((frame.Flags & JournalSumKnown) && !SumMatches(File, at + 8, size, frame.Sum)))
            return;
        empty += (uint64_t)(frame.Position - position);
        if (empty * EmptyPositionBytes > at + 8 + size - Start + EmptyPositionAllowance) {
            Plan.BeyondReach = true;
            return;
        }
        FoundFrame f{at + 8, id, frame};
        f.Frame.Size = size;
        // Key frames: those the journal says, the first, and those the writer marked with the
        // chunk id of a whole picture.
        if (Plan.Frames.empty() || id == WholeFrameId) f.Frame.Flags |= JournalKeyFrame;
        if (position != frame.Position) Plan.EveryPosition = false;
        Plan.Frames.push_back(f);
        Plan.Gaps.insert(Plan.Gaps.end(), gaps.begin(), gaps.end());
        Plan.End = at + 8 + size;
        at += 8 + RiffPadded(size);
        position = frame.Position + 1;
    }
    // The sound written after the last frame noted: the sound goes into the file before the
    // frame it ends at, and a file before a split takes the sound of its last moments last.
    uint32_t id = 0, size = 0;
    while (!Plan.SoundEnded && File.FirstVisit(at) && Read32(File, at, id) &&
           Read32(File, at + 4, size) && (id == JunkTag || id == SoundId)) {
        if (id == SoundId) TakeSound(File, at, size, Blocks, Plan);
        at += 8 + RiffPadded(size);
    }
}

// The journal's video frames up to the first entry no run writes: positions go up.
std::vector<JournalFrame> Plausible(const std::vector<JournalFrame> &Frames) {
    std::vector<JournalFrame> out;
    for (const JournalFrame &f : Frames) {
        if (f.Stream != 0) continue; // only the video stream is rebuilt
        if (f.Position < 0 || (!out.empty() && f.Position <= out.back().Position)) break;
        out.push_back(f);
    }
    return out;
}

// The journal's sound blocks up to the first that does not follow on from those before it.
std::vector<JournalFrame> PlausibleSound(const std::vector<JournalFrame> &Entries, uint32_t Align) {
    std::vector<JournalFrame> out;
    int64_t next = 0; // samples
    for (const JournalFrame &f : Entries) {
        if (f.Stream != JournalSoundStream || Align == 0) continue;
        if (f.Position != next || !(f.Flags & JournalSizeKnown) || f.Size == 0 || f.Size % Align)
            break;
        out.push_back(f);
        next += f.Size / Align;
    }
    return out;
}

} // namespace

uint32_t SoundAlign(const JournalStream &S) {
    if (S.SoundFormat.size() < MinSoundFormatBytes || Get32(&S.SoundFormat[8]) == 0) return 0;
    return Get16(&S.SoundFormat[12]);
}

bool AviWasClosed(RepairSource &File) {
    uint32_t riff = 0, riffSize = 0, form = 0;
    if (!Read32(File, 0, riff) || !Read32(File, 4, riffSize) || !Read32(File, 8, form))
        return false;
    if (riff != RiffTag || form != AviTag || 8 + (uint64_t)riffSize > File.Size()) return false;
    bool headers = false, frames = false, index = false;
    uint64_t at = 12, end = 8 + (uint64_t)riffSize;
    while (at + 8 <= end) {
        uint32_t id = 0, size = 0, kind = 0;
        if (!Read32(File, at, id) || !Read32(File, at + 4, size)) return false;
        if (at + 8 + size > end) return false;
        if (id == ListTag && size >= 4 && Read32(File, at + 8, kind)) {
            if (kind == HdrlTag) headers = true;
            if (kind == MoviTag) frames = true;
        }
        if (id == Idx1Tag) index = true;
        at += 8 + RiffPadded(size);
    }
    return headers && frames && index;
}

RepairPlan PlanRepair(RepairSource &File, const JournalContents &Journal) {
    RepairPlan plan;
    if (!Journal.Valid) {
        plan.Reason = Journal.Error.empty() ? "its journal cannot be read" : Journal.Error;
        return plan;
    }
    if (AviWasClosed(File)) {
        plan.Result = RepairPlan::AlreadyClosed;
        return plan;
    }
    if (Journal.Stream.Format.size() < MinFormatBytes || Journal.Stream.Rate == 0 ||
        Journal.Stream.Scale == 0) {
        plan.Reason = "its journal does not describe the stream";
        return plan;
    }
    std::vector<JournalFrame> frames = Plausible(Journal.Frames);
    std::vector<JournalFrame> blocks = PlausibleSound(Journal.Frames, SoundAlign(Journal.Stream));
    if (frames.empty()) {
        plan.Reason = "no frame of it was recorded in its journal";
        return plan;
    }
    // The frames follow a list tag "movi" where the writer put one; otherwise the first chunk
    // of the journal's first frame is looked for, and the longest run of frames wins. A start
    // within a run already followed would give a part of that run: each byte of the file is
    // followed at most once, so the search is linear in the file.
    Search search(File, ReadsPerByte * File.Size() + 2 * FirstFrameSearch);
    uint64_t limit = std::min<uint64_t>(File.Size(), FirstFrameSearch);
    RepairPlan best;
    bool beyondReach = false;
    std::vector<uint8_t> head((size_t)limit);
    if (!head.empty() && !search.Read(0, head.data(), head.size())) {
        plan.Reason = "it cannot be read";
        return plan;
    }
    uint64_t followed = 0; // the end of the runs followed so far
    for (size_t at = 0; at + 8 <= head.size(); at += 2) {
        uint32_t id = Get32(&head[at]);
        uint64_t start = 0;
        if (id == MoviTag && at >= 8 && Get32(&head[at - 8]) == ListTag)
            start = at + 4;
        else if (IsFrameId(id) &&
                 (!(frames[0].Flags & JournalSizeKnown) || Get32(&head[at + 4]) == frames[0].Size))
            start = at;
        else
            continue;
        if (start < followed) continue;
        RepairPlan found;
        FollowFrames(search, start, frames, blocks, found);
        beyondReach = beyondReach || found.BeyondReach;
        if (found.Frames.empty()) continue;
        followed = found.End;
        if (found.Frames.size() > best.Frames.size()) best = std::move(found);
        if (best.Frames.size() == frames.size()) break;
    }
    if (best.Frames.empty()) {
        plan.Reason = beyondReach ? "its journal places its frames farther than the recording "
                                    "could reach"
                                  : "no complete frame of it reached the disk";
        return plan;
    }
    best.Result = RepairPlan::Repairable;
    return best;
}
