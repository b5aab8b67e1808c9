// The journal's records: encoding, and reading that stops at the first damaged record.
#include "avifile/journal.h"
#include "avifile/riff.h"

#include <cstring>

namespace {

constexpr char HeaderTag[4] = {'Q', 'J', 'N', 'L'};
constexpr char BatchTag[4] = {'Q', 'J', 'F', 'B'};
constexpr uint32_t Version = 3;
constexpr size_t FrameBytes = 20;
// Larger than any format or batch the recorder writes: a length beyond these is damage.
constexpr uint32_t MaxFormatBytes = 1 << 16;
constexpr uint32_t MaxBatchFrames = 1 << 16;
constexpr char Extension[] = ".journal";

uint32_t Sum(const uint8_t *Data, size_t Size) { return JournalSum(Data, Size); }

// Reads little-endian fields from a bounded buffer; a read past its end sets Short.
struct Fields {
    const uint8_t *Data;
    size_t Size, At = 0;
    bool Short = false;
    uint32_t Next() {
        if (Size - At < 4) {
            Short = true;
            return 0;
        }
        At += 4;
        return Get32(Data + At - 4);
    }
};

} // namespace

uint32_t JournalSum(const void *Data, size_t Size, uint32_t Sum) {
    const uint8_t *p = (const uint8_t *)Data;
    for (size_t i = 0; i < Size; ++i) // FNV-1a
        Sum = (Sum ^ p[i]) * 16777619u;
    return Sum;
}

std::vector<uint8_t> EncodeJournalHeader(const JournalStream &S) {
    std::vector<uint8_t> payload;
    for (uint32_t v : {S.Handler, S.Scale, S.Rate, S.SuggestedBufferSize, S.Quality})
        Put32(payload, v);
    for (int16_t v : S.Frame)
        Put32(payload, (uint32_t)(int32_t)v);
    for (uint32_t v :
         {S.OptionsHandler, S.KeyFrameEvery, S.OptionsQuality, S.OptionsFlags, S.ProcessId})
        Put32(payload, v);
    for (const std::vector<uint8_t> *format : {&S.Format, &S.SoundFormat}) {
        Put32(payload, (uint32_t)format->size());
        payload.insert(payload.end(), format->begin(), format->end());
    }

    std::vector<uint8_t> out(HeaderTag, HeaderTag + 4);
    Put32(out, Version);
    Put32(out, (uint32_t)payload.size());
    out.insert(out.end(), payload.begin(), payload.end());
    Put32(out, Sum(out.data(), out.size()));
    return out;
}

std::vector<uint8_t> EncodeJournalBatch(const JournalFrame *Frames, size_t Count) {
    std::vector<uint8_t> out(BatchTag, BatchTag + 4);
    Put32(out, (uint32_t)Count);
    for (size_t i = 0; i < Count; ++i) {
        const JournalFrame &f = Frames[i];
        for (uint32_t v : {f.Stream, (uint32_t)f.Position, f.Size, f.Flags, f.Sum})
            Put32(out, v);
    }
    Put32(out, Sum(out.data(), out.size()));
    return out;
}

JournalContents ReadJournal(const uint8_t *Data, size_t Size) {
    JournalContents c;
    if (Size < 12 || std::memcmp(Data, HeaderTag, 4) != 0) {
        c.Error = "it is not a recording journal";
        return c;
    }
    uint32_t version = Get32(Data + 4), length = Get32(Data + 8);
    if (version != Version) {
        c.Error = "its journal was written by another version";
        return c;
    }
    if (length > Size - 12 || Size - 12 - length < 4 ||
        Get32(Data + 12 + length) != Sum(Data, 12 + length)) {
        c.Error = "its journal is damaged";
        return c;
    }
    Fields f{Data + 12, length};
    JournalStream &s = c.Stream;
    for (uint32_t *v : {&s.Handler, &s.Scale, &s.Rate, &s.SuggestedBufferSize, &s.Quality})
        *v = f.Next();
    for (int16_t &v : s.Frame)
        v = (int16_t)f.Next();
    for (uint32_t *v :
         {&s.OptionsHandler, &s.KeyFrameEvery, &s.OptionsQuality, &s.OptionsFlags, &s.ProcessId})
        *v = f.Next();
    for (std::vector<uint8_t> *format : {&s.Format, &s.SoundFormat}) {
        uint32_t size = f.Next();
        if (f.Short || size > MaxFormatBytes || size > length - f.At) {
            c.Error = "its journal is damaged";
            return c;
        }
        format->assign(Data + 12 + f.At, Data + 12 + f.At + size);
        f.At += size;
    }
    if (f.At != length) {
        c.Error = "its journal is damaged";
        return c;
    }
    c.Valid = true;

    size_t at = 12 + (size_t)length + 4;
    while (at < Size) {
        size_t left = Size - at;
        const uint8_t *p = Data + at;
        uint32_t count = left >= 8 ? Get32(p + 4) : 0;
        size_t bytes = 8 + (size_t)count * FrameBytes + 4;
        if (left < 8 || std::memcmp(p, BatchTag, 4) != 0 || count == 0 || count > MaxBatchFrames ||
            left < bytes || Get32(p + bytes - 4) != Sum(p, bytes - 4)) {
            c.TornTail = true;
            break;
        }
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t *e = p + 8 + i * FrameBytes;
            c.Frames.push_back(
                {(int32_t)Get32(e + 4), Get32(e + 8), Get32(e + 12), Get32(e + 16), Get32(e)});
        }
        at += bytes;
    }
    return c;
}

std::string JournalNameFor(const std::string &AviName) { return AviName + Extension; }

std::string AviNameForJournal(const std::string &JournalName) {
    size_t n = sizeof Extension - 1;
    if (JournalName.size() <= n || JournalName.compare(JournalName.size() - n, n, Extension) != 0)
        return "";
    return JournalName.substr(0, JournalName.size() - n);
}
