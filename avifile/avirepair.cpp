// Writing the repaired file: the headers from the journal, the index from the chunks found,
// in place or into a copy.
#include "avifile/avirepair.h"
#include "avifile/riff.h"

#include <algorithm>

namespace {

constexpr uint32_t HasIndex = 0x10; // the main header's flag
constexpr size_t MainHeaderBytes = 56, StreamHeaderBytes = 56, IndexEntryBytes = 16;
// The sound's quality in its stream header: none, as the platform's writer has it.
constexpr uint32_t NoQuality = 0xFFFFFFFF;
constexpr size_t CopyBlock = 1 << 20;
// The largest file the format can describe.
constexpr uint64_t MaxRiffBytes = 0xFFFFFFFFull;

uint32_t SoundBytesPerSec(const JournalStream &S) { return Get32(&S.SoundFormat[8]); }

// Sets the size of the list that starts at At to what follows its size field.
void PatchSize(std::vector<uint8_t> &Out, size_t At) {
    uint32_t size = (uint32_t)(Out.size() - At - 8);
    for (int i = 0; i < 4; ++i)
        Out[At + 4 + i] = (uint8_t)(size >> (8 * i));
}

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
    int64_t length = Plan.Length();
    uint32_t largest = 0, largestSound = 0;
    uint64_t soundBytes = 0;
    for (const FoundFrame &f : Plan.Frames)
        largest = std::max(largest, f.Frame.Size);
    for (const FoundFrame &f : Plan.Sound) {
        largestSound = std::max(largestSound, f.Frame.Size);
        soundBytes += f.Frame.Size;
    }
    uint32_t align = SoundAlign(S), soundRate = align ? SoundBytesPerSec(S) : 0;
    // A top-down bitmap has a negative height: the picture is as tall as its magnitude.
    uint32_t width = Get32(&S.Format[4]), height = Get32(&S.Format[8]);
    if (height & 0x80000000u) height = 0u - height;

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
    Put32(h, width);
    Put32(h, height);
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
    uint64_t total = RiffPadded(Plan.End) + 8 + IndexEntryBytes * IndexEntries(Plan);
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
    Put32(h, (uint32_t)(RiffPadded(Plan.End) - movi));
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
    int64_t length = Plan.Length();
    std::vector<const FoundFrame *> chunks = InFileOrder(Plan);
    uint32_t largest = 0;
    uint64_t dataBytes = 8 * ((uint64_t)length - Plan.Frames.size()); // the gaps' empty chunks
    for (const FoundFrame *f : chunks) {
        largest = std::max(largest, f->Frame.Size);
        dataBytes += 8 + RiffPadded(f->Frame.Size);
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
        offset += 8 + (uint32_t)RiffPadded(f->Frame.Size);
        if (frame) next = f->Frame.Position + 1;
    }
    return Out.Write(index.data(), index.size());
}
