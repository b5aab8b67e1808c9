// The recording journal and the repair of an AVI that was never closed: the journal's records
// (torn at every byte), files laid out as the platform's writer leaves them when its process is
// killed (cut at every byte within the last frames), the start-up repair of the files the list
// of open journals names, and the run that keeps the journal.
#include "fakewin/avifile.h"
#include "fakewin/fakewin.h"
#include "fakewin/kernel.h"
#include "avifile/avirepair.h"
#include "avifile/journal.h"
#include "avifile/journalfile.h"
#include "avifile/recordfile.h"
#include "recorder/soundstream.h"
#include "recorder/scrcam.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uint32_t Key = JournalKeyFrame;
constexpr uint32_t Known = JournalSizeKnown;
constexpr uint32_t Summed = JournalSumKnown;
// The platform's writer leaves this many bytes of zeros where the headers go.
constexpr size_t ZeroedHeaders = 2048;

uint32_t Le32(const std::vector<uint8_t> &b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}
std::string Id(const std::vector<uint8_t> &b, size_t at) {
    return std::string((const char *)&b[at], 4);
}
void Put(std::vector<uint8_t> &b, const char *id, uint32_t size) {
    b.insert(b.end(), id, id + 4);
    for (int i = 0; i < 4; ++i)
        b.push_back((uint8_t)(size >> (8 * i)));
}

JournalStream Stream() {
    JournalStream s;
    s.Handler = mmioFOURCC('M', 'S', 'V', 'C');
    s.Scale = 1;
    s.Rate = 10;
    s.Quality = 7500;
    s.Frame[2] = 8;
    s.Frame[3] = 4;
    s.KeyFrameEvery = 15;
    s.Format.assign(40, 0);
    s.Format[0] = 40;
    s.Format[4] = 8;   // width
    s.Format[8] = 4;   // height
    s.Format[14] = 16; // bits
    return s;
}
// With sound: 16-bit stereo at 20 samples a second, two samples a frame position.
JournalStream WithSound() {
    JournalStream s = Stream();
    WAVEFORMATEX w = PcmFormat(16, 2, 20);
    s.SoundFormat.assign((const uint8_t *)&w, (const uint8_t *)&w + sizeof w);
    return s;
}
constexpr uint32_t SoundAlign = 4;

// A recording as the platform's writer leaves it when killed: zeros where the headers go, then
// the frames, a whole picture as "00db" and a delta as "00dc", odd sizes padded, and an empty
// "00dc" at each skipped position, written just before the next frame. With sound, a block
// ("01wb") up to a frame's time before that frame.
struct Killed {
    std::vector<JournalFrame> Frames, Blocks;
    std::vector<std::vector<uint8_t>> Data;
    std::vector<uint8_t> File = std::vector<uint8_t>(ZeroedHeaders, 0), Sound;
    std::vector<size_t> Ends, BlockEnds; // file size after each frame, each block
    void SoundUntil(int32_t Position) {
        int32_t at = (int32_t)(Sound.size() / SoundAlign);
        uint32_t size = (uint32_t)(Position * 2 - at) * SoundAlign;
        Put(File, "01wb", size);
        for (uint32_t i = 0; i < size; ++i)
            File.push_back((uint8_t)(at * 5 + i * 3 + 2));
        Sound.insert(Sound.end(), File.end() - size, File.end());
        Blocks.push_back({at, size, Known | Summed, JournalSum(&*(File.end() - size), size),
                          JournalSoundStream});
        BlockEnds.push_back(File.size());
    }
    void Add(int32_t Position, uint32_t Size, bool WholePicture) {
        int32_t next = Frames.empty() ? 0 : Frames.back().Position + 1;
        for (; next < Position; ++next)
            Put(File, "00dc", 0);
        Put(File, WholePicture ? "00db" : "00dc", Size);
        std::vector<uint8_t> d(Size);
        for (uint32_t i = 0; i < Size; ++i)
            d[i] = (uint8_t)(Position * 31 + i * 7 + 1);
        File.insert(File.end(), d.begin(), d.end());
        if (Size & 1) File.push_back(0);
        Frames.push_back({Position, Size, Known | Summed | (WholePicture ? Key : 0),
                          JournalSum(d.data(), Size)});
        Data.push_back(d);
        Ends.push_back(File.size());
    }
    static Killed Sample() {
        Killed k;
        k.Add(0, 40, true);
        k.Add(1, 5, false);
        k.Add(3, 6, false);
        k.Add(4, 33, true);
        k.Add(7, 9, false);
        k.Add(8, 1, false);
        k.Add(11, 17, true);
        return k;
    }
    // The same with its sound, which goes on after the last frame to position 12, past a
    // JUNK chunk the writer may leave there.
    static Killed SampleWithSound() {
        Killed k;
        for (int32_t p : {0, 1, 3, 4, 7, 8, 11, 12}) {
            if (p == 12) {
                Put(k.File, "JUNK", 4);
                k.File.insert(k.File.end(), 4, 0);
            }
            if (p > 0) k.SoundUntil(p);
            if (p < 12) k.Add(p, p % 4 == 0 ? 40 : 5 + p, p % 4 == 0);
        }
        return k;
    }
};

// A file in memory that counts its reads (and refuses those past ReadLimit) and takes only
// Budget bytes of writes: a repair cut there is one whose process died.
struct Bytes : RepairFile {
    std::vector<uint8_t> B;
    size_t Reads = 0, ReadLimit = SIZE_MAX, Budget = SIZE_MAX, BytesRead = 0;
    explicit Bytes(std::vector<uint8_t> b) : B(std::move(b)) {}
    uint64_t Size() const override { return B.size(); }
    bool Read(uint64_t Offset, void *Buffer, size_t Count) override {
        BytesRead += Count;
        if (++Reads > ReadLimit || Offset > B.size() || Count > B.size() - Offset) return false;
        std::memcpy(Buffer, B.data() + Offset, Count);
        return true;
    }
    bool Write(uint64_t Offset, const void *Data, size_t Count) override {
        size_t n = std::min(Count, Budget);
        Budget -= n;
        if (Offset + n > B.size()) B.resize(Offset + n);
        std::memcpy(B.data() + Offset, Data, n);
        return n == Count;
    }
    bool Truncate(uint64_t Size) override {
        if (Budget == 0) return false;
        B.resize(Size);
        return true;
    }
    bool Flush() override { return true; }
};
struct Collect : RepairSink {
    std::vector<uint8_t> B;
    size_t Budget = SIZE_MAX; // bytes it takes
    bool Write(const void *Data, size_t Count) override {
        if (Count > Budget - B.size()) return false;
        B.insert(B.end(), (const uint8_t *)Data, (const uint8_t *)Data + Count);
        return true;
    }
};

JournalContents JournalOf(std::vector<JournalFrame> Frames, const JournalStream &S = Stream(),
                          const std::vector<JournalFrame> &Blocks = {}) {
    std::vector<uint8_t> j = EncodeJournalHeader(S);
    Frames.insert(Frames.end(), Blocks.begin(), Blocks.end());
    for (const JournalFrame &f : Frames) {
        std::vector<uint8_t> b = EncodeJournalBatch(&f, 1);
        j.insert(j.end(), b.begin(), b.end());
    }
    return ReadJournal(j.data(), j.size());
}

// An AVI read back independently of the repair: headers, and the frames by position.
struct Parsed {
    std::string Error;
    uint32_t Length = 0, TotalFrames = 0, Rate = 0, Scale = 0, Handler = 0, SuggestedBuffer = 0;
    uint32_t Quality = 0, Streams = 0, MaxBytesPerSec = 0;
    std::vector<int16_t> Frame; // left, top, right, bottom
    std::vector<uint8_t> Format;
    std::vector<int32_t> Positions; // of the non-empty frames
    std::vector<std::vector<uint8_t>> Data;
    std::vector<uint32_t> Flags;
    // The audio stream: scale, rate, length and sample size, its format and its bytes.
    std::vector<uint32_t> SoundHeader;
    std::vector<uint8_t> SoundFormat, Sound;
};

Parsed Parse(const std::vector<uint8_t> &b) {
    Parsed p;
    auto fail = [&](const char *why) {
        p.Error = why;
        return p;
    };
    if (b.size() < 12 || Id(b, 0) != "RIFF" || Id(b, 8) != "AVI ") return fail("no RIFF AVI");
    if (Le32(b, 4) + 8 != b.size()) return fail("RIFF size is not the file's");
    size_t at = 12, movi = 0, moviEnd = 0;
    std::vector<uint8_t> index;
    while (at + 8 <= b.size()) {
        std::string id = Id(b, at);
        uint32_t size = Le32(b, at + 4);
        if (at + 8 + size > b.size()) return fail("chunk past the end");
        if (id == "LIST" && Id(b, at + 8) == "hdrl") {
            size_t h = at + 12;
            if (Id(b, h) != "avih" || Le32(b, h + 4) != 56) return fail("no main header");
            p.MaxBytesPerSec = Le32(b, h + 8 + 4);
            p.TotalFrames = Le32(b, h + 8 + 16);
            p.Streams = Le32(b, h + 8 + 24);
            size_t s = h + 8 + 56;
            if (Id(b, s) != "LIST" || Id(b, s + 8) != "strl" || Id(b, s + 12) != "strh")
                return fail("no stream list");
            size_t strh = s + 20;
            if (Id(b, strh) != "vids") return fail("not a video stream");
            p.Handler = Le32(b, strh + 4);
            p.Scale = Le32(b, strh + 20);
            p.Rate = Le32(b, strh + 24);
            p.Length = Le32(b, strh + 32);
            p.SuggestedBuffer = Le32(b, strh + 36);
            p.Quality = Le32(b, strh + 40);
            for (int i = 0; i < 4; ++i)
                p.Frame.push_back((int16_t)(b[strh + 48 + 2 * i] | b[strh + 49 + 2 * i] << 8));
            size_t strf = strh + 56;
            if (Id(b, strf) != "strf") return fail("no format");
            p.Format.assign(b.begin() + strf + 8, b.begin() + strf + 8 + Le32(b, strf + 4));
            size_t a = s + 8 + Le32(b, s + 4), ah = a + 20;
            if (p.Streams == 2 && (Id(b, a + 8) != "strl" || Id(b, ah) != "auds"))
                return fail("no audio stream list");
            if (p.Streams == 2) {
                for (size_t field : {20, 24, 32, 44})
                    p.SoundHeader.push_back(Le32(b, ah + field));
                p.SoundFormat.assign(b.begin() + ah + 64, b.begin() + ah + 64 + Le32(b, ah + 60));
            }
        } else if (id == "LIST" && Id(b, at + 8) == "movi") {
            movi = at + 8;
            moviEnd = at + 8 + size;
        } else if (id == "idx1") {
            index.assign(b.begin() + at + 8, b.begin() + at + 8 + size);
        }
        at += 8 + size + (size & 1);
    }
    if (!movi || index.empty()) return fail("no frames or no index");
    int32_t position = 0;
    for (size_t e = 0, last = 0; e + 16 <= index.size(); e += 16) {
        uint32_t off = Le32(index, e + 8), size = Le32(index, e + 12);
        size_t chunk = movi + off;
        if (chunk + 8 + size > moviEnd || Le32(b, chunk + 4) != size ||
            Id(b, chunk) != Id(index, e) || off <= last)
            return fail("index entry does not point at its chunk, in file order");
        last = off;
        if (Id(index, e) == "01wb") {
            // Every block a key frame, as the platform's writer indexes them.
            if (Le32(index, e + 4) != Key) return fail("a sound block not a key frame");
            p.Sound.insert(p.Sound.end(), b.begin() + chunk + 8, b.begin() + chunk + 8 + size);
            continue;
        }
        int32_t at = position++;
        if (size == 0) continue;
        p.Positions.push_back(at);
        p.Data.emplace_back(b.begin() + chunk + 8, b.begin() + chunk + 8 + size);
        p.Flags.push_back(Le32(index, e + 4));
    }
    if ((uint32_t)position != p.Length ||
        (p.Streams == 2 && p.SoundHeader[2] * p.SoundHeader[3] != p.Sound.size()))
        return fail("index and stream length differ");
    return p;
}

// --- the journal's records ---

TEST(JournalRecords, ReadsBackWhatWasWrittenAndStopsAtATornBatchCutAnywhere) {
    std::vector<JournalFrame> a = {{0, 100, Key | Known}, {2, 7, Known}};
    std::vector<JournalFrame> b = {{5, 9, Known}};
    std::vector<uint8_t> header = EncodeJournalHeader(WithSound());
    std::vector<uint8_t> all = header, ba = EncodeJournalBatch(a.data(), a.size()),
                         bb = EncodeJournalBatch(b.data(), b.size());
    all.insert(all.end(), ba.begin(), ba.end());
    all.insert(all.end(), bb.begin(), bb.end());

    JournalContents whole = ReadJournal(all.data(), all.size());
    ASSERT_TRUE(whole.Valid) << whole.Error;
    EXPECT_FALSE(whole.TornTail);
    EXPECT_EQ(whole.Stream.Format, Stream().Format);
    EXPECT_EQ(whole.Stream.SoundFormat, WithSound().SoundFormat);
    EXPECT_EQ(whole.Stream.Rate, 10u);
    EXPECT_EQ(whole.Stream.Handler, Stream().Handler);
    EXPECT_EQ(whole.Stream.KeyFrameEvery, 15u);
    EXPECT_EQ(whole.Stream.Frame[2], 8);
    EXPECT_EQ(whole.Frames, (std::vector<JournalFrame>{a[0], a[1], b[0]}));

    for (size_t cut = 0; cut < all.size(); ++cut) {
        JournalContents c = ReadJournal(all.data(), cut);
        if (cut < header.size()) {
            EXPECT_FALSE(c.Valid) << cut;
            EXPECT_FALSE(c.Error.empty()) << cut;
            continue;
        }
        ASSERT_TRUE(c.Valid) << cut;
        size_t complete = cut < header.size() + ba.size() ? 0 : 2;
        EXPECT_EQ(c.Frames.size(), complete) << cut;
        EXPECT_EQ(c.TornTail, cut != header.size() && cut != header.size() + ba.size()) << cut;
    }
    // Any byte changed: a header that is not read, or a batch left out with all after it.
    for (size_t at = 0; at < all.size(); ++at) {
        std::vector<uint8_t> damaged = all;
        damaged[at] ^= 0x40;
        JournalContents d = ReadJournal(damaged.data(), damaged.size());
        EXPECT_EQ(d.Valid, at >= header.size()) << at;
        EXPECT_EQ(d.Frames.size(), at < header.size() + ba.size() ? 0u : 2u) << at;
        EXPECT_EQ(d.TornTail, at >= header.size()) << at;
    }
    // A batch of no frame, or of more than any run writes (the sum right), is torn.
    std::vector<uint8_t> none = EncodeJournalBatch(nullptr, 0);
    std::vector<uint8_t> huge = {'Q', 'J', 'F', 'B', 0xFF, 0xFF, 0xFF, 0xFF};
    uint32_t hugeSum = JournalSum(huge.data(), huge.size());
    for (int i = 0; i < 4; ++i)
        huge.push_back((uint8_t)(hugeSum >> (8 * i)));
    std::vector<JournalFrame> many(65537);
    std::vector<uint8_t> tooMany = EncodeJournalBatch(many.data(), many.size());
    for (const std::vector<uint8_t> &batch : {none, huge, tooMany}) {
        std::vector<uint8_t> j = header;
        j.insert(j.end(), batch.begin(), batch.end());
        j.insert(j.end(), ba.begin(), ba.end());
        JournalContents c = ReadJournal(j.data(), j.size());
        EXPECT_TRUE(c.Valid && c.TornTail && c.Frames.empty());
    }
    // The stream and sum of each entry are kept.
    JournalFrame sound{3, 4, 0, 0xDEADBEEF, 1};
    std::vector<uint8_t> j = header, bs = EncodeJournalBatch(&sound, 1);
    j.insert(j.end(), bs.begin(), bs.end());
    EXPECT_EQ(ReadJournal(j.data(), j.size()).Frames, std::vector<JournalFrame>{sound});
    // A journal of the version before, whose header held no sound, is not taken for one.
    j[4] = 2;
    uint32_t sum = JournalSum(j.data(), header.size() - 4);
    std::memcpy(&j[header.size() - 4], &sum, 4);
    EXPECT_EQ(ReadJournal(j.data(), j.size()).Error, "its journal was written by another version");
}

TEST(JournalRecords, NamesAndAnyBytesAtAll) {
    EXPECT_EQ(JournalNameFor("C:\\rec\\test.avi"), "C:\\rec\\test.avi.journal");
    EXPECT_EQ(AviNameForJournal("C:\\rec\\test.avi.journal"), "C:\\rec\\test.avi");
    EXPECT_EQ(AviNameForJournal("C:\\rec\\test.avi"), "");
    EXPECT_EQ(AviNameForJournal(".journal"), "");
    std::mt19937 random(7);
    std::vector<uint8_t> good = EncodeJournalHeader(Stream());
    for (int i = 0; i < 2000; ++i) {
        std::vector<uint8_t> junk = i % 2 ? good : std::vector<uint8_t>(random() % 200);
        for (auto &c : junk)
            if (i % 2 == 0 || random() % 16 == 0) c = (uint8_t)random();
        JournalContents c = ReadJournal(junk.data(), junk.size());
        if (!c.Valid) {
            EXPECT_FALSE(c.Error.empty());
        }
    }
}

// --- the repair ---

namespace {
// The file repaired with the journal and read back; the error says why when there is no repair.
Parsed Repaired(Bytes &File, const JournalContents &J) {
    RepairPlan plan = PlanRepair(File, J);
    Parsed failed;
    if (plan.Result != RepairPlan::Repairable) {
        failed.Error = "not repairable: " + plan.Reason;
        return failed;
    }
    Collect out;
    if (!WriteRepairedAvi(plan, J.Stream, File, out)) {
        failed.Error = "the repair was not written";
        return failed;
    }
    Parsed copy = Parse(out.B);
    // Put right where it lies, the file holds the same.
    if (FitsInPlace(plan, J.Stream)) {
        Bytes in(File.B);
        Parsed p = RepairInPlace(plan, J.Stream, in) ? Parse(in.B) : failed;
        if (p.Positions != copy.Positions || p.Data != copy.Data || p.Flags != copy.Flags ||
            p.Length != copy.Length || p.Format != copy.Format || p.Sound != copy.Sound ||
            p.SoundHeader != copy.SoundHeader)
            copy.Error = "repaired in place otherwise: " + p.Error;
    }
    return copy;
}
} // namespace

TEST(Repair, KilledFileGetsHeadersIndexAndEveryFrameAtItsPosition) {
    Killed k = Killed::Sample();
    Bytes file(k.File);
    JournalContents j = JournalOf(k.Frames);
    RepairPlan plan = PlanRepair(file, j);
    ASSERT_EQ(plan.Result, RepairPlan::Repairable) << plan.Reason;
    Collect out;
    ASSERT_TRUE(WriteRepairedAvi(plan, j.Stream, file, out));
    Parsed p = Parse(out.B);
    ASSERT_EQ(p.Error, "");
    EXPECT_EQ(p.Positions, (std::vector<int32_t>{0, 1, 3, 4, 7, 8, 11}));
    EXPECT_EQ(p.Data, k.Data);
    EXPECT_EQ(p.Length, 12u);
    EXPECT_EQ(p.TotalFrames, 12u);
    EXPECT_EQ(p.Rate, 10u);
    EXPECT_EQ(p.Scale, 1u);
    EXPECT_EQ(p.Handler, Stream().Handler);
    EXPECT_EQ(p.Format, Stream().Format);
    EXPECT_EQ(p.Quality, 7500u);
    EXPECT_EQ(p.Frame, (std::vector<int16_t>{0, 0, 8, 4}));
    // Whole pictures are key frames; deltas are not.
    EXPECT_EQ(p.Flags, (std::vector<uint32_t>{Key, 0, 0, Key, 0, 0, Key}));
    // Repaired in place and killed after any byte of it: the next start repairs it the same.
    ASSERT_TRUE(FitsInPlace(plan, j.Stream));
    for (size_t budget = 0;; ++budget) {
        Bytes killed(k.File);
        killed.Budget = budget;
        if (RepairInPlace(plan, j.Stream, killed)) break;
        killed.Budget = SIZE_MAX;
        Parsed again = Repaired(killed, j);
        ASSERT_EQ(again.Error, "") << budget;
        ASSERT_EQ(again.Data, p.Data) << budget;
    }
    // No room before the first frame for the headers: the file is rebuilt beside it.
    Killed close;
    close.File.resize(64);
    close.Add(0, 40, true);
    Bytes tight(close.File);
    JournalContents cj = JournalOf(close.Frames);
    EXPECT_FALSE(FitsInPlace(PlanRepair(tight, cj), cj.Stream));
    EXPECT_EQ(Repaired(tight, cj).Data, close.Data);
    // The rebuilt file is one that was closed: repairing it again has nothing to do.
    Bytes again(out.B);
    EXPECT_TRUE(AviWasClosed(again));
    EXPECT_EQ(PlanRepair(again, j).Result, RepairPlan::AlreadyClosed);
    EXPECT_FALSE(AviWasClosed(file));
    // The same file cut just before its index was never closed: players need the index.
    std::vector<uint8_t> noIndex(out.B.begin(), out.B.end() - 8 - 16 * p.Length);
    for (int i = 0; i < 4; ++i)
        noIndex[4 + i] = (uint8_t)((noIndex.size() - 8) >> (8 * i));
    Bytes cut(noIndex);
    EXPECT_FALSE(AviWasClosed(cut));
}

TEST(Repair, FramesFromAnyEvenOffsetAndAllOfThemDeltaChunks) {
    // Another writer's headers may end on any even offset, and a compressed stream may write
    // every frame as "00dc" while the run journals positions only: the first frame found is
    // still the key frame a player starts from. The frames may be larger than the buffer the
    // run suggested (a compressor can grow a noisy frame): the file suggests one they fit.
    // The sound's chunks between the frames are passed over.
    Killed k;
    k.File.resize(ZeroedHeaders + 2);
    k.Add(0, 40, false);
    Put(k.File, "01wb", 3);
    k.File.insert(k.File.end(), {1, 2, 3, 0});
    k.Add(1, 5, false);
    Put(k.File, "01wb", 0);
    k.Add(3, 6, false);
    for (auto &f : k.Frames)
        f.Flags = 0;
    k.Frames[2].Flags = Key; // a key frame the journal noted
    JournalStream s = Stream();
    s.SuggestedBufferSize = 32;
    Bytes file(k.File);
    JournalContents j = JournalOf(k.Frames, s);
    Parsed p = Repaired(file, j);
    ASSERT_EQ(p.Error, "");
    EXPECT_EQ(p.SuggestedBuffer, 40u);
    EXPECT_EQ(p.Positions, (std::vector<int32_t>{0, 1, 3}));
    EXPECT_EQ(p.Data, k.Data);
    EXPECT_EQ(p.Flags, (std::vector<uint32_t>{Key, 0, Key}));
    EXPECT_EQ(p.Streams, 1u);
}

TEST(Repair, SoundKeptInStepUpToItsFirstBlockMissingOrDamaged) {
    Killed k = Killed::SampleWithSound();
    Bytes file(k.File);
    Parsed p = Repaired(file, JournalOf(k.Frames, WithSound(), k.Blocks));
    ASSERT_EQ(p.Error, "");
    EXPECT_EQ(p.Streams, 2u);
    EXPECT_EQ(p.Data, k.Data);
    EXPECT_EQ(p.Sound, k.Sound); // with the block written after the last frame
    // As the writer makes the stream: a sample each block, bytes a second, length in samples.
    EXPECT_EQ(p.SoundHeader, (std::vector<uint32_t>{SoundAlign, 80, 24, SoundAlign}));
    EXPECT_EQ(p.MaxBytesPerSec, 40 * 10 + 80u); // the largest frame ten times a second, and sound
    EXPECT_EQ(p.SoundFormat, WithSound().SoundFormat);
    // A block damaged, one the journal lacks, one it notes at another sample: the sound ends
    // before it, the frames go on.
    for (size_t bad = 0; bad < k.Blocks.size(); ++bad) {
        std::vector<uint8_t> kept(k.Sound.begin(), k.Sound.begin() + k.Blocks[bad].Position * 4);
        for (int how = 0; how < 3; ++how) {
            SCOPED_TRACE(std::to_string(bad) + " " + std::to_string(how));
            Killed d = k;
            if (how == 0) d.File[d.BlockEnds[bad] - 1] ^= 1;
            if (how == 1) d.Blocks.erase(d.Blocks.begin() + bad);
            if (how == 2) d.Blocks[bad].Position += 1;
            Bytes b(d.File);
            Parsed q = Repaired(b, JournalOf(d.Frames, WithSound(), d.Blocks));
            ASSERT_EQ(q.Error, "");
            EXPECT_EQ(q.Sound, kept);
            EXPECT_EQ(q.Data, k.Data);
        }
    }
}

// Cut at every byte within the last frames: with sound, its blocks whole are kept, in step.
void CutAtEveryByte(const Killed &k, const JournalStream &S) {
    JournalContents j = JournalOf(k.Frames, S, k.Blocks);
    for (size_t cut = k.Ends[2] - 3; cut <= k.File.size(); ++cut) {
        Bytes file(std::vector<uint8_t>(k.File.begin(), k.File.begin() + cut));
        Parsed p = Repaired(file, j);
        ASSERT_EQ(p.Error, "") << cut;
        // Whole frames are those whose bytes all reached the disk (the pad byte may not).
        size_t whole = 0;
        while (whole < k.Frames.size() && k.Ends[whole] - (k.Frames[whole].Size & 1) <= cut)
            ++whole;
        ASSERT_EQ(p.Data.size(), whole) << cut;
        for (size_t i = 0; i < whole; ++i) {
            EXPECT_EQ(p.Positions[i], k.Frames[i].Position) << cut;
            EXPECT_EQ(p.Data[i], k.Data[i]) << cut;
        }
        EXPECT_EQ((int32_t)p.Length, k.Frames[whole - 1].Position + 1) << cut;
        size_t blocks = 0; // whole, and within a block (3 positions) and a position of the frames
        while (blocks < k.Blocks.size() && k.BlockEnds[blocks] <= cut)
            ++blocks;
        size_t samples = blocks ? k.Blocks[blocks - 1].Position + k.Blocks[blocks - 1].Size / 4 : 0;
        EXPECT_EQ(p.Sound, std::vector<uint8_t>(k.Sound.begin(), k.Sound.begin() + samples * 4));
        EXPECT_NEAR(samples, k.Blocks.empty() ? 0 : 2.0 * p.Length, 8) << cut;

        // The file's length reached the disk, its last data did not: zeros from the cut on.
        std::vector<uint8_t> zeroed = k.File;
        std::fill(zeroed.begin() + cut, zeroed.end(), 0);
        Bytes z(zeroed);
        Parsed pz = Repaired(z, j);
        ASSERT_EQ(pz.Error, "") << cut;
        size_t kept = 0;
        while (kept < k.Frames.size() &&
               std::equal(k.File.begin() + k.Ends[kept] - k.Frames[kept].Size -
                              (k.Frames[kept].Size & 1) - 8,
                          k.File.begin() + k.Ends[kept] - (k.Frames[kept].Size & 1),
                          zeroed.begin() + k.Ends[kept] - k.Frames[kept].Size -
                              (k.Frames[kept].Size & 1) - 8))
            ++kept;
        EXPECT_EQ(pz.Data, std::vector<std::vector<uint8_t>>(k.Data.begin(), k.Data.begin() + kept))
            << cut;
        EXPECT_NEAR(pz.Sound.size() / 4.0, k.Blocks.empty() ? 0 : 2.0 * pz.Length, 8) << cut;
    }
}
TEST(Repair, CutAtEveryByteWithinTheLastFramesKeepsEveryCompleteFrame) {
    CutAtEveryByte(Killed::Sample(), Stream());
    CutAtEveryByte(Killed::SampleWithSound(), WithSound());
}

TEST(Repair, JournalBehindTheFileKeepsTheFramesWithKnownPositionsOnly) {
    Killed k = Killed::Sample();
    std::vector<JournalFrame> some(k.Frames.begin(), k.Frames.begin() + 4);
    Bytes file(k.File);
    JournalContents j = JournalOf(some);
    Parsed p = Repaired(file, j);
    ASSERT_EQ(p.Error, "");
    EXPECT_EQ(p.Positions, (std::vector<int32_t>{0, 1, 3, 4}));

    // An empty chunk at a position the journal names is that frame, not a gap before it.
    Killed e;
    e.Add(0, 40, true);
    e.Add(2, 0, false);
    e.Add(3, 5, false);
    Bytes eb(e.File);
    RepairPlan ep = PlanRepair(eb, JournalOf(e.Frames));
    ASSERT_EQ(ep.Frames.size(), 3u);
    EXPECT_EQ(ep.Frames[1].Frame.Position, 2);
    EXPECT_EQ(Repaired(eb, JournalOf(e.Frames)).Positions, (std::vector<int32_t>{0, 3}));

    // A size the writer reported that the file does not hold ends the frames there.
    some[2].Size += 2;
    RepairPlan plan = PlanRepair(file, JournalOf(some));
    ASSERT_EQ(plan.Result, RepairPlan::Repairable);
    EXPECT_EQ(plan.Frames.size(), 2u);
    // Without reported sizes the chunks' own are taken.
    for (auto &f : k.Frames)
        f.Flags &= ~Known;
    plan = PlanRepair(file, JournalOf(k.Frames));
    ASSERT_EQ(plan.Result, RepairPlan::Repairable);
    EXPECT_EQ(plan.Frames.size(), k.Frames.size());
    EXPECT_EQ(plan.Frames[3].Frame.Size, 33u);
}

TEST(Repair, ReadsAFewTimesEachChunkHoweverFarTheJournalIsAhead) {
    for (int32_t frames : {2000, 8000, 36000}) {
        Killed k;
        for (int32_t i = 0; i < frames; ++i)
            k.Add(i, 8 + i % 5, i % 25 == 0);
        for (int32_t ahead : {1, 100}) {
            std::vector<JournalFrame> journal = k.Frames;
            for (int32_t i = 0; i < ahead; ++i)
                journal.push_back({frames + i, 10, 0});
            for (auto &f : journal)
                f.Flags &= ~Known; // as the run journals them
            Bytes file(k.File);
            file.ReadLimit = 4 * (size_t)frames + 16;
            RepairPlan plan = PlanRepair(file, JournalOf(journal));
            EXPECT_LE(file.Reads, file.ReadLimit) << frames << " frames, " << ahead << " ahead";
            EXPECT_EQ(plan.Frames.size(), (size_t)frames) << frames << ", " << ahead;
        }
    }
}

TEST(Repair, RefusesClearlyWhenNothingCanBeRebuilt) {
    Killed k = Killed::Sample();
    auto refused = [](std::vector<uint8_t> file, const JournalContents &j) {
        Bytes b(std::move(file));
        RepairPlan plan = PlanRepair(b, j);
        Collect out;
        EXPECT_FALSE(WriteRepairedAvi(plan, j.Stream, b, out));
        EXPECT_TRUE(out.B.empty());
        return plan.Result == RepairPlan::Impossible && !plan.Reason.empty();
    };
    // No frame reached the disk; a torn first frame; an empty file.
    EXPECT_TRUE(refused(std::vector<uint8_t>(ZeroedHeaders, 0), JournalOf(k.Frames)));
    EXPECT_TRUE(refused(std::vector<uint8_t>(k.File.begin(), k.File.begin() + k.Ends[0] - 1),
                        JournalOf(k.Frames)));
    EXPECT_TRUE(refused({}, JournalOf(k.Frames)));
    // A journal without frames, or one that cannot be read.
    EXPECT_TRUE(refused(k.File, JournalOf({})));
    std::vector<uint8_t> torn = EncodeJournalHeader(Stream());
    torn.resize(torn.size() - 1);
    EXPECT_TRUE(refused(k.File, ReadJournal(torn.data(), torn.size())));
    // Positions no run writes (going back) end the frames taken there.
    std::vector<JournalFrame> back = {k.Frames[0], k.Frames[1]};
    back[1].Position = 0;
    Bytes b(k.File);
    EXPECT_EQ(PlanRepair(b, JournalOf(back)).Frames.size(), 1u);
}

TEST(Repair, AnyBytesNeverCrashOrGiveADamagedFile) {
    Killed k = Killed::Sample();
    JournalContents j = JournalOf(k.Frames);
    std::mt19937 random(11);
    for (int i = 0; i < 3000; ++i) {
        std::vector<uint8_t> file = k.File;
        int flips = 1 + random() % 8;
        for (int f = 0; f < flips; ++f)
            file[ZeroedHeaders - 64 + random() % (file.size() - ZeroedHeaders + 64)] =
                (uint8_t)random();
        if (i % 3 == 0) file.resize(random() % file.size());
        Bytes b(file);
        RepairPlan plan = PlanRepair(b, j);
        if (plan.Result != RepairPlan::Repairable) continue;
        Collect out;
        ASSERT_TRUE(WriteRepairedAvi(plan, j.Stream, b, out));
        Parsed p = Parse(out.B);
        ASSERT_EQ(p.Error, "") << i;
        ASSERT_FALSE(p.Positions.empty());
        for (size_t f = 0; f < p.Positions.size(); ++f)
            EXPECT_EQ(p.Positions[f], k.Frames[f].Position);
    }
}

TEST(Repair, CraftedPairsRepairedOrRefusedReadingTheFileAFewTimesAndWritingLittle) {
    // Each is repaired keeping the frames the recording could reach, or refused with a reason;
    // the file is read a few times over at most, and the rebuilt file is not much larger.
    auto oneFrameAt = [](int32_t Position) {
        Killed k;
        k.Add(0, 40, true);
        k.Frames[0].Position = Position;
        return std::make_pair(k.File, JournalOf(k.Frames));
    };
    auto laterFrameAt = [](int32_t Position) {
        Killed k = Killed::Sample();
        k.Frames.back().Position = Position;
        return std::make_pair(k.File, JournalOf(k.Frames));
    };
    // "LIST" tags of "movi" lists, each inside a JUNK chunk of a chain, before the recording
    // (its headers' zeros end the chain) or with none after it.
    auto moviInJunk = [](size_t Bytes, bool Recording) {
        Killed k = Killed::Sample();
        std::vector<uint8_t> file;
        while (file.size() < Bytes) {
            Put(file, "JUNK", 12);
            Put(file, "LIST", 4);
            file.insert(file.end(), {'m', 'o', 'v', 'i'});
        }
        if (Recording) file.insert(file.end(), k.File.begin(), k.File.end());
        return std::make_pair(file, JournalOf(k.Frames));
    };
    // Frame chunks of the first frame's size, one after the other within each other's data.
    auto nested = [] {
        Killed k;
        k.Add(0, 32 << 10, true);
        std::vector<uint8_t> file;
        while (file.size() < (64 << 10))
            Put(file, "00db", 32 << 10);
        return std::make_pair(file, JournalOf(k.Frames));
    };
    auto tallest = [] {
        Killed k = Killed::Sample();
        JournalStream s = Stream();
        s.Format[8] = 0;
        s.Format[11] = 0x80; // a height of -2^31
        return std::make_pair(k.File, JournalOf(k.Frames, s));
    };
    struct Row {
        const char *What;
        std::pair<std::vector<uint8_t>, JournalContents> Pair;
        size_t Frames; // kept; none for a refusal
        bool LeftOut;
    } rows[] = {
        {"one frame at position 140,000,000", oneFrameAt(140000000), 0, false},
        {"one frame at position 5,046,272", oneFrameAt(5046272), 0, false},
        {"one frame at position 2,147,483,647", oneFrameAt(INT32_MAX), 0, false},
        {"the last frame at position 2,147,483,647", laterFrameAt(INT32_MAX), 6, true},
        {"the last frame at position 10,000,000", laterFrameAt(10000000), 6, true},
        {"the last frame at position 40,000 (a long pause)", laterFrameAt(40000), 7, false},
        {"64 KB of movi lists in JUNK", moviInJunk(64 << 10, true), 7, false},
        {"1 MB of movi lists in JUNK", moviInJunk(1 << 20, false), 0, false},
        {"64 KB of frame chunks within each other", nested(), 0, false},
        {"a height of -2,147,483,648", tallest(), 7, false},
    };
    for (Row &row : rows) {
        SCOPED_TRACE(row.What);
        Bytes file(row.Pair.first);
        const JournalContents &j = row.Pair.second;
        size_t size = file.B.size();
        file.ReadLimit = 64 * size; // calls, each at least 4 bytes
        RepairPlan plan = PlanRepair(file, j);
        EXPECT_LE(file.BytesRead, 6 * size + (3 << 20));
        EXPECT_EQ(plan.Frames.size(), row.Frames);
        EXPECT_EQ(plan.BeyondReach, row.LeftOut);
        if (row.Frames == 0) {
            EXPECT_EQ(plan.Result, RepairPlan::Impossible);
            EXPECT_FALSE(plan.Reason.empty());
            continue;
        }
        Collect out;
        out.Budget = 2 * size + (1 << 20);
        ASSERT_TRUE(WriteRepairedAvi(plan, j.Stream, file, out));
        Parsed p = Parse(out.B);
        EXPECT_EQ(p.Error, "");
        EXPECT_EQ(p.Data.size(), row.Frames);
    }
}

// --- the files: journal beside the AVI, entries of open journals, start-up repair ---

// In the test's own folder (test_folder.cpp), which holds the entries too.
class JournalFiles : public ::testing::Test {
  protected:
    std::string Dir;
    void SetUp() override {
        char here[4096];
        ASSERT_NE(getcwd(here, sizeof here), nullptr);
        Dir = here;
        ASSERT_EQ(OpenJournalFolder(), Dir + "/open journals");
    }
    static std::vector<uint8_t> Load(const std::string &Name) {
        std::ifstream f(Name, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
    }
    static void Save(const std::string &Name, const std::vector<uint8_t> &B) {
        std::ofstream(Name, std::ios::binary).write((const char *)B.data(), B.size());
    }
    static bool Exists(const std::string &Name) { return std::ifstream(Name).good(); }
    // A recording killed after writing these frames: the AVI and the journal the run left.
    std::string KilledRecording(const std::string &Name, const Killed &K) {
        std::string avi = Dir + "/" + Name;
        Save(avi, K.File);
        {
            RecordingJournal journal;
            EXPECT_TRUE(journal.Open(avi, Stream()));
            for (const JournalFrame &f : K.Frames)
                journal.Frame(f);
            // The process dies: the journal stays, and so does its entry.
            std::vector<uint8_t> kept = Load(journal.Name());
            journal.Close();
            Save(JournalNameFor(avi), kept);
            ListOpenJournal(JournalNameFor(avi));
        }
        return avi;
    }
};

TEST_F(JournalFiles, WrittenAsFramesComeListedWhileOpenAndGoneAfterClose) {
    std::string avi = Dir + "/test.avi";
    RecordingJournal journal;
    ASSERT_TRUE(journal.Open(avi, Stream()));
    EXPECT_EQ(ReadOpenJournals(), (std::vector<std::string>{avi + ".journal"}));
    // A start meanwhile leaves the journal another run still writes alone.
    EXPECT_TRUE(RepairOpenJournals().empty());
    EXPECT_EQ(ReadOpenJournals(), (std::vector<std::string>{avi + ".journal"}));
    journal.Frame({0, 10, Known});
    journal.Frame({2, 12, Known});
    std::vector<uint8_t> now = Load(avi + ".journal");
    JournalContents c = ReadJournal(now.data(), now.size());
    ASSERT_TRUE(c.Valid);
    EXPECT_EQ(c.Frames, (std::vector<JournalFrame>{{0, 10, Known}, {2, 12, Known}}));
    EXPECT_EQ(c.Stream.ProcessId, CurrentProcessId());
    journal.Close();
    EXPECT_FALSE(Exists(avi + ".journal"));
    EXPECT_TRUE(ReadOpenJournals().empty());
    // A name relative to the current folder is listed with its full path.
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(Dir.c_str()), 0);
    RecordingJournal relative;
    bool opened = relative.Open("take.avi", Stream());
    EXPECT_EQ(chdir(here), 0);
    ASSERT_TRUE(opened);
    EXPECT_EQ(ReadOpenJournals(), (std::vector<std::string>{Dir + "/take.avi.journal"}));
    relative.Close();
    EXPECT_FALSE(Exists(Dir + "/take.avi.journal"));
    // A folder that cannot be written: no journal, nothing listed.
    RecordingJournal none;
    EXPECT_FALSE(none.Open(Dir + "/no such folder/test.avi", Stream()));
    EXPECT_TRUE(ReadOpenJournals().empty());
}

TEST_F(JournalFiles, StartUpRepairsEachListedFileOnceAndSaysSo) {
    Killed k = Killed::Sample();
    std::string first = KilledRecording("first.avi", k);
    // No room for the headers before its first frame: rebuilt beside it, and put in its place
    // only once the original is closed (Windows refuses to replace an open file).
    Killed shorter;
    shorter.File.resize(64);
    shorter.Add(2, 20, true);
    shorter.Add(5, 3, false);
    std::string second = KilledRecording("second.avi", shorter);

    std::vector<RepairResult> results = RepairOpenJournals();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].Result, RepairResult::Recovered);
    EXPECT_EQ(results[0].AviName, first);
    EXPECT_EQ(results[0].Frames, 7);
    EXPECT_DOUBLE_EQ(results[0].Seconds, 1.2);
    EXPECT_EQ(results[1].Frames, 2);
    EXPECT_DOUBLE_EQ(results[1].Seconds, 0.6);
    Parsed p = Parse(Load(first));
    EXPECT_EQ(p.Error, "");
    EXPECT_EQ(p.Data, k.Data);
    EXPECT_EQ(Parse(Load(second)).Positions, (std::vector<int32_t>{2, 5}));
    EXPECT_FALSE(Exists(first + ".journal"));
    EXPECT_FALSE(Exists(first + ".repairing"));
    EXPECT_TRUE(ReadOpenJournals().empty());
    EXPECT_EQ(RepairNotice(results), "Recordings that were not closed have been recovered:\n" +
                                         first + ": 7 frames, 1.2 seconds\n" + second +
                                         ": 2 frames, 0.6 seconds\n");
    // The next start finds nothing to do, and the repaired files stay as they are.
    std::vector<uint8_t> repaired = Load(first);
    EXPECT_TRUE(RepairOpenJournals().empty());
    EXPECT_EQ(Load(first), repaired);
    EXPECT_EQ(RepairNotice({}), "");
    // Frames the journal places farther than the recording could reach are left out, and said.
    k.Frames.back().Position = 10000000;
    std::string far = KilledRecording("far.avi", k);
    results = RepairOpenJournals();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(RepairNotice(results),
              "Recordings that were not closed have been recovered:\n" + far +
                  ": 6 frames, 0.9 seconds (the frames its journal places after these, farther "
                  "than the recording could reach, were left out)\n");
}

TEST_F(JournalFiles, ClosedFileHasNothingToDoAndAnUnrepairableOneIsLeftAsItIs) {
    // The process died after the AVI was closed but before its journal was deleted.
    Killed k = Killed::Sample();
    std::string closed = KilledRecording("closed.avi", k);
    ASSERT_EQ(RepairOpenJournals().size(), 1u);
    std::vector<uint8_t> valid = Load(closed);
    KilledRecording("closed.avi", k);
    Save(closed, valid);
    EXPECT_TRUE(RepairOpenJournals().empty());
    EXPECT_EQ(Load(closed), valid);
    EXPECT_FALSE(Exists(closed + ".journal"));

    // No frame reached the disk: the file stays, the notice says why, and it is not tried again.
    Killed empty;
    empty.Add(0, 40, true);
    std::string lost = KilledRecording("lost.avi", empty);
    std::vector<uint8_t> zeros(ZeroedHeaders, 0);
    Save(lost, zeros);
    std::vector<RepairResult> results = RepairOpenJournals();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Result, RepairResult::NotRepaired);
    EXPECT_EQ(Load(lost), zeros);
    EXPECT_EQ(RepairNotice(results), "A recording that was not closed could not be repaired:\n" +
                                         lost +
                                         ": not repaired, no complete frame of it reached the "
                                         "disk. The file was left as it is.\n");
    EXPECT_TRUE(RepairOpenJournals().empty());
    EXPECT_TRUE(Exists(lost + ".journal")); // both files kept
    // A listed journal whose AVI is gone is said too; a listed journal that is gone is not.
    std::string gone = KilledRecording("gone.avi", k);
    std::remove(gone.c_str());
    ListOpenJournal(Dir + "/never.avi.journal");
    results = RepairOpenJournals();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Reason, "the file is gone");
    EXPECT_TRUE(ReadOpenJournals().empty());

    // A folder that cannot be reached now (a drive taken out) stays listed and is repaired
    // once it is back; a file that cannot be written for now too.
    ASSERT_EQ(mkdir((Dir + "/stick").c_str(), 0777), 0);
    std::string away = KilledRecording("stick/away.avi", k);
    ASSERT_EQ(rename((Dir + "/stick").c_str(), (Dir + "/out").c_str()), 0);
    results = RepairOpenJournals();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].TryAgain);
    EXPECT_EQ(RepairNotice(results), "A recording that was not closed could not be repaired:\n" +
                                         away +
                                         ": not repaired this time, its folder cannot be reached. "
                                         "It will be tried again at the next start.\n");
    EXPECT_EQ(ReadOpenJournals(), (std::vector<std::string>{away + ".journal"}));
    ASSERT_EQ(rename((Dir + "/out").c_str(), (Dir + "/stick").c_str()), 0);
    results = RepairOpenJournals();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Result, RepairResult::Recovered);
    EXPECT_TRUE(ReadOpenJournals().empty());

    // The rebuilt file cannot be written beside it (a folder of its name): tried at the next
    // starts, then its journal is set aside, said once, and not tried again.
    Killed tight;
    tight.File.resize(64);
    tight.Add(0, 20, true);
    std::string held = KilledRecording("held.avi", tight);
    ASSERT_EQ(mkdir((held + ".repairing").c_str(), 0777), 0);
    for (int start = 1; start <= RepairTries; ++start) {
        results = RepairOpenJournals();
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].TryAgain, start < RepairTries) << start;
    }
    EXPECT_EQ(RepairNotice(results), "A recording that was not closed could not be repaired:\n" +
                                         held +
                                         ": not repaired, the repaired file could not be written "
                                         "beside it. Its journal was set aside as " +
                                         held +
                                         ".journal.not-repaired and the file was left as "
                                         "it is.\n");
    EXPECT_TRUE(ReadOpenJournals().empty());
    EXPECT_TRUE(Exists(held + ".journal.not-repaired"));
    EXPECT_EQ(Load(held), tight.File);
}

TEST_F(JournalFiles, TwoCopiesOpeningJournalsAtOnceKeepEveryEntry) {
    // Two processes open 40 journals each at the same time and are killed.
    std::vector<pid_t> copies;
    for (int copy = 0; copy < 2; ++copy) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            static RecordingJournal journals[40];
            for (int i = 0; i < 40; ++i)
                journals[i].Open(
                    Dir + "/" + std::to_string(copy) + "-" + std::to_string(i) + ".avi", Stream());
            _exit(0);
        }
        copies.push_back(pid);
    }
    for (pid_t pid : copies) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(ReadOpenJournals().size(), 80u);
}

// --- the run keeps the journal ---

class RunJournal : public JournalFiles {
  protected:
    void SetUp() override {
        JournalFiles::SetUp();
        fakewin::reset();
        cam = std::make_unique<TScreenCam>(nullptr);
        cam->RecordCursor = false;
    }
    void TearDown() override {
        cam.reset();
        JournalFiles::TearDown();
    }
    std::unique_ptr<TScreenCam> cam;
};

TEST_F(RunJournal, HoldsTheStreamAndEveryWrittenPositionUntilTheFileIsClosed) {
    std::string avi = Dir + "/run.avi";
    std::vector<JournalContents> seen; // the journal as each release call finds it
    std::vector<std::string> listed;
    fakewin::on_avi_call([&](const std::string &line) {
        if (line.rfind("release", 0) != 0 && line.rfind("write 4", 0) != 0) return;
        std::vector<uint8_t> b = Load(avi + ".journal");
        seen.push_back(ReadJournal(b.data(), b.size()));
        if (line.rfind("write", 0) == 0) listed = ReadOpenJournals();
    });
    fakewin::on_sleep([this](DWORD) {
        if (fakewin::now() >= 550) cam->Recording = false;
    });
    fakewin::avi_compressed_size([](LONG raw) { return raw / 3 + 1; });
    cam->Recording = true;
    ASSERT_EQ(cam->RecordToFile(10, 20, 64, 48, avi), 1);

    auto files = fakewin::avi_files();
    ASSERT_EQ(files.size(), 1u);
    ASSERT_GE(seen.size(), 2u);
    // Positions 0..3 are in the journal while position 4 is written.
    ASSERT_TRUE(seen[0].Valid);
    EXPECT_EQ(listed, (std::vector<std::string>{avi + ".journal"}));
    ASSERT_EQ(seen[0].Frames.size(), 4u);
    // Each with the size, sum and key-frame bit of the chunk as the file holds it.
    for (int i = 0; i < 4; ++i) {
        const JournalFrame &f = seen[0].Frames[i];
        std::vector<BYTE> held = files[0].writes[i].data;
        held.resize(files[0].written_bytes[i], 0);
        EXPECT_EQ(f.Position, files[0].writes[i].pos);
        EXPECT_EQ(f.Size, held.size());
        EXPECT_EQ(f.Sum, JournalSum(held.data(), held.size()));
        EXPECT_EQ(f.Flags, Known | Summed | (i == 0 ? Key : 0u)) << i;
    }
    EXPECT_EQ(seen[0].Stream.Format, files[0].format);
    EXPECT_EQ(seen[0].Stream.Rate, files[0].header.dwRate);
    EXPECT_EQ(seen[0].Stream.Handler, files[0].options.fccHandler);
    EXPECT_EQ(seen[0].Stream.KeyFrameEvery, files[0].options.dwKeyFrameEvery);
    // Every field, as the repaired file's headers will say them.
    const JournalStream &js = seen[0].Stream;
    const AVISTREAMINFOA &h = files[0].header;
    EXPECT_EQ(std::vector<uint32_t>({js.Scale, js.SuggestedBufferSize, js.Quality,
                                     js.OptionsHandler, js.OptionsQuality, js.OptionsFlags}),
              std::vector<uint32_t>({h.dwScale, h.dwSuggestedBufferSize, files[0].options.dwQuality,
                                     files[0].options.fccHandler, files[0].options.dwQuality,
                                     files[0].options.dwFlags}));
    EXPECT_EQ(
        std::vector<int32_t>(js.Frame, js.Frame + 4),
        std::vector<int32_t>({h.rcFrame.left, h.rcFrame.top, h.rcFrame.right, h.rcFrame.bottom}));
    // Through every release the journal stays; it goes only after the last.
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i].Frames.size(), files[0].writes.size()) << i;
    EXPECT_FALSE(Exists(avi + ".journal"));
    EXPECT_TRUE(ReadOpenJournals().empty());
    EXPECT_TRUE(AviWasClosed(*std::make_unique<Bytes>(Load(avi))));

    // A close that could not write the index (the writer says nothing) leaves the journal,
    // and the next start rebuilds the file from it.
    fakewin::on_avi_call(nullptr);
    fakewin::avi_close_loses_index(true);
    fakewin::on_sleep([this](DWORD) {
        if (fakewin::now() >= 1100) cam->Recording = false;
    });
    cam->RecordSound = true; // noted too: the sound's format and each block, as written
    cam->Recording = true;
    ASSERT_EQ(cam->RecordToFile(10, 20, 64, 48, Dir + "/lost.avi"), 1);
    EXPECT_EQ(ReadOpenJournals(), (std::vector<std::string>{Dir + "/lost.avi.journal"}));
    auto lost = fakewin::avi_files().back();
    std::vector<uint8_t> lb = Load(Dir + "/lost.avi.journal");
    JournalContents lj = ReadJournal(lb.data(), lb.size());
    EXPECT_EQ(lj.Stream.SoundFormat, lost.sound_format);
    std::vector<JournalFrame> blocks; // each at its first sample
    for (const auto &w : lost.sound_writes)
        blocks.push_back(
            {blocks.empty() ? 0 : blocks.back().Position + (int32_t)blocks.back().Size / 2,
             (uint32_t)w.size, Known | Summed, JournalSum(w.data.data(), w.data.size()),
             JournalSoundStream});
    lj.Frames.erase(std::remove_if(lj.Frames.begin(), lj.Frames.end(),
                                   [](const JournalFrame &f) { return f.Stream == 0; }),
                    lj.Frames.end());
    EXPECT_GE(blocks.size(), 2u);
    EXPECT_EQ(lj.Frames, blocks);
    // The pair as the run left it seeds the repair's fuzz target, when asked for.
    if (const char *seeds = std::getenv("QUILLET_REPAIR_SEEDS")) {
        std::vector<uint8_t> seed(4), avi = Load(Dir + "/lost.avi");
        for (int i = 0; i < 4; ++i)
            seed[i] = (uint8_t)(lb.size() >> (8 * i));
        seed.insert(seed.end(), lb.begin(), lb.end());
        seed.insert(seed.end(), avi.begin(), avi.end());
        Save(std::string(seeds) + "/run-with-sound", seed);
    }
    std::vector<RepairResult> results = RepairOpenJournals();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Frames, (int)fakewin::avi_files().back().writes.size());
    Parsed p = Parse(Load(Dir + "/lost.avi"));
    EXPECT_EQ(p.Error, "");
    EXPECT_EQ(p.Flags.front(), Key);
    EXPECT_TRUE(ReadOpenJournals().empty());
}

TEST_F(RunJournal, EachNumberedFileHasItsOwnJournalGoneWhenThatFileCloses) {
    AviFileLimit = 100000; // room for six frames of the area a file
    std::string avi = Dir + "/take.avi", second = Dir + "/take (2).avi";
    std::vector<std::string> opened; // the journals listed as each file is opened
    JournalContents firstAtEnd, secondAtEnd;
    fakewin::on_avi_call([&](const std::string &line) {
        if (line.rfind("open ", 0) == 0) {
            std::vector<std::string> l = ReadOpenJournals();
            opened.push_back(l.empty() ? "" : l.back());
        }
        if (line.rfind("write", 0) == 0 && fakewin::avi_files().size() == 2) {
            std::vector<uint8_t> b = Load(second + ".journal");
            secondAtEnd = ReadJournal(b.data(), b.size());
        }
    });
    fakewin::on_sleep([this](DWORD) {
        if (fakewin::now() >= 950) cam->Recording = false;
    });
    cam->Recording = true;
    int outcome = cam->RecordToFile(10, 20, 64, 48, avi);
    AviFileLimit = AviFileSizeLimit;
    ASSERT_EQ(outcome, 1);
    auto files = fakewin::avi_files();
    ASSERT_EQ(files.size(), 2u);
    // When the second file opens, the first is closed and its journal gone from the list.
    EXPECT_EQ(opened, (std::vector<std::string>{"", ""}));
    ASSERT_TRUE(secondAtEnd.Valid);
    std::vector<int32_t> positions;
    for (const JournalFrame &f : secondAtEnd.Frames)
        positions.push_back(f.Position);
    std::vector<int32_t> written;
    for (const auto &w : files[1].writes)
        written.push_back(w.pos);
    // Positions are the second file's own, from 0; the last write is noted after its call.
    written.pop_back();
    EXPECT_EQ(positions, written);
    EXPECT_EQ(positions.front(), 0);
    EXPECT_FALSE(Exists(avi + ".journal"));
    EXPECT_FALSE(Exists(second + ".journal"));
    EXPECT_TRUE(ReadOpenJournals().empty());
}

} // namespace
