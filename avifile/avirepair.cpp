// The repair: where the frames and the sound are in a file that was never closed, and the file
// rebuilt around them.
#include "avifile/avirepair.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t Tag(char a, char b, char c, char d) {
    return (uint32_t)(uint8_t)a | (uint32_t)(uint8_t)b << 8 | (uint32_t)(uint8_t)c << 16 |
           (uint32_t)(uint8_t)d << 24;
}
constexpr uint32_t RiffTag = Tag('R', 'I', 'F', 'F'), AviTag = Tag('A', 'V', 'I', ' ');
constexpr uint32_t ListTag = Tag('L', 'I', 'S', 'T'), HdrlTag = Tag('h', 'd', 'r', 'l');
constexpr uint32_t MoviTag = Tag('m', 'o', 'v', 'i'), Idx1Tag = Tag('i', 'd', 'x', '1');
constexpr uint32_t JunkTag = Tag('J', 'U', 'N', 'K'), AvihTag = Tag('a', 'v', 'i', 'h');
constexpr uint32_t StrlTag = Tag('s', 't', 'r', 'l'), StrhTag = Tag('s', 't', 'r', 'h');
constexpr uint32_t StrfTag = Tag('s', 't', 'r', 'f'), VidsTag = Tag('v', 'i', 'd', 's');
constexpr uint32_t AudsTag = Tag('a', 'u', 'd', 's');
constexpr uint32_t HasIndex = 0x10; // the main header's flag
constexpr size_t MainHeaderBytes = 56, StreamHeaderBytes = 56, IndexEntryBytes = 16;
constexpr size_t MinFormatBytes = 40;      // a bitmap header
constexpr size_t MinSoundFormatBytes = 16; // a PCM wave format
// The sound's quality in its stream header: none, as the platform's writer has it.
constexpr uint32_t NoQuality = 0xFFFFFFFF;
// How far into the file the first frame is looked for when no list of frames says where.
constexpr uint64_t FirstFrameSearch = 1 << 20;
constexpr size_t CopyBlock = 1 << 20;
constexpr size_t SumBlock = 64 << 10;
// The largest file the format can describe.
constexpr uint64_t MaxRiffBytes = 0xFFFFFFFFull;

uint32_t Get32(const uint8_t *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

bool Read32(RepairSource &File, uint64_t Offset, uint32_t &Value) {
    uint8_t b[4];
    if (Offset + 4 > File.Size() || !File.Read(Offset, b, 4)) return false;
    Value = Get32(b);
    return true;
}

// A video frame chunk of the first stream: "00dc" compressed, "00db" uncompressed.
constexpr uint32_t WholeFrameId = Tag('0', '0', 'd', 'b'), DeltaFrameId = Tag('0', '0', 'd', 'c');
bool IsFrameId(uint32_t Id) { return Id == WholeFrameId || Id == DeltaFrameId; }
// A block of the sound, the second stream.
constexpr uint32_t SoundId = Tag('0', '1', 'w', 'b');
// A chunk of another stream than the frames', written between them.
bool IsOtherStreamId(uint32_t Id) {
    char n0 = (char)(Id & 0xFF), n1 = (char)((Id >> 8) & 0xFF);
    return n0 >= '0' && n0 <= '9' && n1 >= '0' && n1 <= '9' && !(n0 == '0' && n1 == '0');
}

uint64_t Padded(uint64_t Size) { return Size + (Size & 1); }

uint16_t Get16(const uint8_t *p) { return (uint16_t)(p[0] | p[1] << 8); }

// The bytes of one sample of the journal's sound (its block alignment), 0 when the recording has
// no sound or the format cannot make a stream.
uint32_t SoundAlign(const JournalStream &S) {
    if (S.SoundFormat.size() < MinSoundFormatBytes || Get32(&S.SoundFormat[8]) == 0) return 0;
    return Get16(&S.SoundFormat[12]);
}
uint32_t SoundBytesPerSec(const JournalStream &S) { return Get32(&S.SoundFormat[8]); }

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
// before the next frame; other writers may not, so such chunks are passed over only while due.
void FollowFrames(RepairSource &File, uint64_t Start, const std::vector<JournalFrame> &Frames,
                  const std::vector<JournalFrame> &Blocks, RepairPlan &Plan) {
    Plan.FirstChunk = Start;
    Plan.EveryPosition = true;
    uint64_t at = Start, end = File.Size();
    int64_t position = 0;
    for (const JournalFrame &frame : Frames) {
        uint32_t id = 0, size = 0;
        std::vector<uint64_t> gaps;
        for (;;) {
            if (!Read32(File, at, id) || !Read32(File, at + 4, size)) return;
            if (id == JunkTag || IsOtherStreamId(id)) {
                if (id == SoundId) TakeSound(File, at, size, Blocks, Plan);
                at += 8 + Padded(size);
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
        FoundFrame f{at + 8, id, frame};
        f.Frame.Size = size;
        // Key frames: those the journal says, the first, and those the writer marked with the
        // chunk id of a whole picture.
        if (Plan.Frames.empty() || id == WholeFrameId) f.Frame.Flags |= JournalKeyFrame;
        if (position != frame.Position) Plan.EveryPosition = false;
        Plan.Frames.push_back(f);
        Plan.Gaps.insert(Plan.Gaps.end(), gaps.begin(), gaps.end());
        Plan.End = at + 8 + size;
        at += 8 + Padded(size);
        position = frame.Position + 1;
    }
    // The sound written after the last frame noted: the sound goes into the file before the
    // frame it ends at, and a file before a split takes the sound of its last moments last.
    uint32_t id = 0, size = 0;
    while (!Plan.SoundEnded && Read32(File, at, id) && Read32(File, at + 4, size) &&
           (id == JunkTag || id == SoundId)) {
        if (id == SoundId) TakeSound(File, at, size, Blocks, Plan);
        at += 8 + Padded(size);
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

void Put32(std::vector<uint8_t> &Out, uint32_t Value) {
    for (int i = 0; i < 4; ++i)
        Out.push_back((uint8_t)(Value >> (8 * i)));
}
void Put16(std::vector<uint8_t> &Out, uint16_t Value) {
    Out.push_back((uint8_t)Value);
    Out.push_back((uint8_t)(Value >> 8));
}
// Sets the size of the list that starts at At to what follows its size field.
void PatchSize(std::vector<uint8_t> &Out, size_t At) {
    uint32_t size = (uint32_t)(Out.size() - At - 8);
    for (int i = 0; i < 4; ++i)
        Out[At + 4 + i] = (uint8_t)(size >> (8 * i));
}

} // namespace

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
        at += 8 + Padded(size);
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
    uint64_t limit = std::min<uint64_t>(File.Size(), FirstFrameSearch);
    RepairPlan best;
    std::vector<uint8_t> head((size_t)limit);
    if (!head.empty() && !File.Read(0, head.data(), head.size())) {
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
        FollowFrames(File, start, frames, blocks, found);
        if (found.Frames.empty()) continue;
        followed = found.End;
        if (found.Frames.size() > best.Frames.size()) best = std::move(found);
        if (best.Frames.size() == frames.size()) break;
    }
    if (best.Frames.empty()) {
        plan.Reason = "no complete frame of it reached the disk";
        return plan;
    }
    best.Result = RepairPlan::Repairable;
    return best;
}

namespace {

// A stream's list: its header and its format.
struct StreamList {
    uint32_t Type, Handler, Scale, Rate, Length, SuggestedBufferSize, Quality, SampleSize;
    const int16_t *Frame; // left, top, right, bottom; null for none
    const std::vector<uint8_t> &Format;
};
void PutStreamList(std::vector<uint8_t> &h, const StreamList &S) {
    size_t strl = h.size();
    Put32(h, ListTag);
    Put32(h, 0);
    Put32(h, StrlTag);
    Put32(h, StrhTag);
    Put32(h, StreamHeaderBytes);
    Put32(h, S.Type);
    Put32(h, S.Handler);
    Put32(h, 0); // flags
    Put16(h, 0); // priority
    Put16(h, 0); // language
    Put32(h, 0); // initial frames
    Put32(h, S.Scale);
    Put32(h, S.Rate);
    Put32(h, 0); // start
    Put32(h, S.Length);
    Put32(h, S.SuggestedBufferSize);
    Put32(h, S.Quality);
    Put32(h, S.SampleSize);
    for (int i = 0; i < 4; ++i)
        Put16(h, S.Frame ? (uint16_t)S.Frame[i] : 0);
    Put32(h, StrfTag);
    Put32(h, (uint32_t)S.Format.size());
    h.insert(h.end(), S.Format.begin(), S.Format.end());
    if (S.Format.size() & 1) h.push_back(0);
    PatchSize(h, strl);
}

// The file's headers from the journal's stream: "RIFF" and the header list, for a file of
// RiffBytes after the RIFF header. With sound, the audio stream's list follows the video's, as
// the platform's writer closes a file: its length in samples, a sample the format's block.
std::vector<uint8_t> Headers(const RepairPlan &Plan, const JournalStream &S, uint64_t RiffBytes) {
    int32_t length = Plan.Length();
    uint32_t largest = 0, largestSound = 0;
    uint64_t soundBytes = 0;
    for (const FoundFrame &f : Plan.Frames)
        largest = std::max(largest, f.Frame.Size);
    for (const FoundFrame &f : Plan.Sound) {
        largestSound = std::max(largestSound, f.Frame.Size);
        soundBytes += f.Frame.Size;
    }
    uint32_t align = SoundAlign(S), soundRate = align ? SoundBytesPerSec(S) : 0;
    int32_t width = (int32_t)Get32(&S.Format[4]), height = (int32_t)Get32(&S.Format[8]);
    if (height < 0) height = -height;

    std::vector<uint8_t> h;
    Put32(h, RiffTag);
    Put32(h, (uint32_t)RiffBytes);
    Put32(h, AviTag);
    size_t hdrl = h.size();
    Put32(h, ListTag);
    Put32(h, 0);
    Put32(h, HdrlTag);
    Put32(h, AvihTag);
    Put32(h, MainHeaderBytes);
    Put32(h, (uint32_t)(1000000ull * S.Scale / S.Rate));
    Put32(h, (uint32_t)std::min<uint64_t>(0xFFFFFFFFull,
                                          (uint64_t)largest * S.Rate / S.Scale + soundRate));
    Put32(h, 0);
    Put32(h, HasIndex);
    Put32(h, (uint32_t)length);
    Put32(h, 0);
    Put32(h, align ? 2 : 1);
    Put32(h, std::max(largest, largestSound));
    Put32(h, (uint32_t)width);
    Put32(h, (uint32_t)height);
    for (int i = 0; i < 4; ++i)
        Put32(h, 0);
    PutStreamList(h, {VidsTag, S.Handler, S.Scale, S.Rate, (uint32_t)length,
                      std::max(S.SuggestedBufferSize, largest), S.Quality, 0, S.Frame, S.Format});
    if (align)
        PutStreamList(h, {AudsTag, 0, align, soundRate, (uint32_t)(soundBytes / align),
                          largestSound, NoQuality, align, nullptr, S.SoundFormat});
    PatchSize(h, hdrl);
    return h;
}

// The frames and the sound's blocks kept, in the order they lie in the file.
std::vector<const FoundFrame *> InFileOrder(const RepairPlan &Plan) {
    std::vector<const FoundFrame *> all;
    auto f = Plan.Frames.begin(), s = Plan.Sound.begin();
    while (f != Plan.Frames.end() || s != Plan.Sound.end()) {
        bool frame = s == Plan.Sound.end() || (f != Plan.Frames.end() && f->Offset < s->Offset);
        all.push_back(frame ? &*f++ : &*s++);
    }
    return all;
}

uint64_t IndexEntries(const RepairPlan &Plan) {
    return (uint64_t)Plan.Length() + Plan.Sound.size();
}

void PutEntry(std::vector<uint8_t> &Index, uint32_t Id, uint32_t Flags, uint64_t Offset,
              uint32_t Size) {
    Put32(Index, Id);
    Put32(Index, Flags);
    Put32(Index, (uint32_t)Offset);
    Put32(Index, Size);
}

constexpr size_t ListHeaderBytes = 12; // "LIST", size, kind

} // namespace

bool FitsInPlace(const RepairPlan &Plan, const JournalStream &S) {
    if (Plan.Result != RepairPlan::Repairable || Plan.Frames.empty() || !Plan.EveryPosition ||
        S.Format.size() < MinFormatBytes || Plan.FirstChunk < ListHeaderBytes)
        return false;
    size_t headers = Headers(Plan, S, 0).size();
    uint64_t room = Plan.FirstChunk - ListHeaderBytes;
    uint64_t total = Padded(Plan.End) + 8 + IndexEntryBytes * IndexEntries(Plan);
    return (room == headers || room >= headers + 8) && total - 8 <= MaxRiffBytes;
}

bool RepairInPlace(const RepairPlan &Plan, const JournalStream &S, RepairFile &File) {
    if (!FitsInPlace(Plan, S)) return false;
    // The index, from the chunks where they lie: offsets count from the "movi" tag.
    uint64_t movi = Plan.FirstChunk - 4;
    std::vector<uint8_t> tail;
    if (Plan.End & 1) tail.push_back(0);
    Put32(tail, Idx1Tag);
    Put32(tail, (uint32_t)(IndexEntryBytes * IndexEntries(Plan)));
    auto gap = Plan.Gaps.begin();
    for (const FoundFrame *f : InFileOrder(Plan)) {
        for (; gap != Plan.Gaps.end() && *gap < f->Offset; ++gap)
            PutEntry(tail, DeltaFrameId, 0, *gap - movi, 0);
        PutEntry(tail, f->ChunkId, f->Frame.Flags & JournalKeyFrame, f->Offset - 8 - movi,
                 f->Frame.Size);
    }
    uint64_t total = Plan.End + tail.size();
    std::vector<uint8_t> h = Headers(Plan, S, total - 8);
    size_t junk = (size_t)(Plan.FirstChunk - ListHeaderBytes - h.size());
    if (junk) {
        Put32(h, JunkTag);
        Put32(h, (uint32_t)(junk - 8));
        h.resize(h.size() + junk - 8, 0);
    }
    Put32(h, ListTag);
    Put32(h, (uint32_t)(Padded(Plan.End) - movi));
    Put32(h, MoviTag);
    // The index first, then the headers with "RIFF" last: until that tag is written the file
    // is one that was never closed, and the frames lie where they were for a repair to find.
    return File.Write(Plan.End, tail.data(), tail.size()) && File.Truncate(total) && File.Flush() &&
           File.Write(4, h.data() + 4, h.size() - 4) && File.Flush() &&
           File.Write(0, h.data(), 4) && File.Flush();
}

bool WriteRepairedAvi(const RepairPlan &Plan, const JournalStream &S, RepairSource &File,
                      RepairSink &Out) {
    if (Plan.Result != RepairPlan::Repairable || Plan.Frames.empty() ||
        S.Format.size() < MinFormatBytes)
        return false;
    int32_t length = Plan.Length();
    std::vector<const FoundFrame *> chunks = InFileOrder(Plan);
    uint32_t largest = 0;
    uint64_t dataBytes = 8 * ((uint64_t)length - Plan.Frames.size()); // the gaps' empty chunks
    for (const FoundFrame *f : chunks) {
        largest = std::max(largest, f->Frame.Size);
        dataBytes += 8 + Padded(f->Frame.Size);
    }
    uint64_t indexBytes = IndexEntryBytes * IndexEntries(Plan);
    uint64_t total = Headers(Plan, S, 0).size() + ListHeaderBytes + dataBytes + 8 + indexBytes;
    if (total - 8 > MaxRiffBytes) return false;
    std::vector<uint8_t> h = Headers(Plan, S, total - 8);
    Put32(h, ListTag);
    Put32(h, (uint32_t)(4 + dataBytes));
    Put32(h, MoviTag);
    if (!Out.Write(h.data(), h.size())) return false;

    // Frames at their positions, the sound's blocks where they lay among them; an empty chunk
    // holds each position no frame was written at, as the platform's writer does for the
    // frames a recording skips.
    std::vector<uint8_t> index;
    Put32(index, Idx1Tag);
    Put32(index, (uint32_t)indexBytes);
    uint32_t offset = 4; // from the "movi" tag
    uint32_t gapId = DeltaFrameId;
    std::vector<uint8_t> buffer(std::min<size_t>(CopyBlock, std::max<size_t>(largest, 1)));
    int32_t next = 0;
    for (const FoundFrame *f : chunks) {
        bool frame = f->ChunkId != SoundId;
        for (; frame && next < f->Frame.Position; ++next) {
            std::vector<uint8_t> empty;
            Put32(empty, gapId);
            Put32(empty, 0);
            if (!Out.Write(empty.data(), empty.size())) return false;
            PutEntry(index, gapId, 0, offset, 0);
            offset += 8;
        }
        std::vector<uint8_t> chunk;
        Put32(chunk, f->ChunkId);
        Put32(chunk, f->Frame.Size);
        if (!Out.Write(chunk.data(), chunk.size())) return false;
        for (uint64_t done = 0; done < f->Frame.Size;) {
            size_t n = (size_t)std::min<uint64_t>(buffer.size(), f->Frame.Size - done);
            if (!File.Read(f->Offset + done, buffer.data(), n) || !Out.Write(buffer.data(), n))
                return false;
            done += n;
        }
        if (f->Frame.Size & 1) {
            uint8_t pad = 0;
            if (!Out.Write(&pad, 1)) return false;
        }
        PutEntry(index, f->ChunkId, f->Frame.Flags & JournalKeyFrame, offset, f->Frame.Size);
        offset += 8 + (uint32_t)Padded(f->Frame.Size);
        if (frame) next = f->Frame.Position + 1;
    }
    return Out.Write(index.data(), index.size());
}
