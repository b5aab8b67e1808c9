// The journal kept beside each AVI while it is being written: what the stream looks like, and
// the position of every frame that reached the file. A recording whose process dies before it
// closes its AVI (kill, fault, power cut) is rebuilt from its frame data and this journal.
// Plain C++ without Windows types: the recorder writes it, the start-up repair reads it.
//
// Layout, little-endian: a header record, then batches of chunks, each record with its own
// check sum so that a batch torn by the end of the process is told apart from a complete one.
//   header:  "QJNL" version length payload[length] sum
//   payload: the stream's fields, the format's size and bytes, the sound format's size and bytes
//   batch:   "QJFB" count (stream position size flags sum)[count] sum
// A record's sum covers every byte before it, from its tag.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The stream of one recording file, as its headers will say once the file is closed.
struct JournalStream {
    uint32_t Handler = 0; // the stream header's handler code
    uint32_t Scale = 1;
    uint32_t Rate = 0;
    uint32_t SuggestedBufferSize = 0;
    uint32_t Quality = 0;
    int16_t Frame[4] = {};       // left, top, right, bottom
    std::vector<uint8_t> Format; // the stream format: bitmap header and colour table
    // The compressor options of the run.
    uint32_t OptionsHandler = 0;
    uint32_t KeyFrameEvery = 0;
    uint32_t OptionsQuality = 0;
    uint32_t OptionsFlags = 0;
    uint32_t ProcessId = 0; // of the process that writes the file
    // The audio stream's format (a WAVEFORMATEX), empty for a recording without sound.
    std::vector<uint8_t> SoundFormat;
};

// The key-frame bit, the same value as the AVI index's.
constexpr uint32_t JournalKeyFrame = 0x10;
// The size is the one the writer reported; without it a repair takes the chunk's own.
constexpr uint32_t JournalSizeKnown = 0x100;

// The data's sum is the one the writer noted; without it a repair cannot check the data.
constexpr uint32_t JournalSumKnown = 0x200;

// The stream number of the sound's blocks; the frames are stream 0.
constexpr uint32_t JournalSoundStream = 1;

// One chunk written: its stream, its position in the stream (a frame's position, or a sound
// block's first sample), its size in bytes, the key-frame bit and the sum of its data.
struct JournalFrame {
    int32_t Position = 0;
    uint32_t Size = 0;
    uint32_t Flags = 0;
    uint32_t Sum = 0;
    uint32_t Stream = 0;
    bool operator==(const JournalFrame &o) const {
        return Position == o.Position && Size == o.Size && Flags == o.Flags && Sum == o.Sum &&
               Stream == o.Stream;
    }
};

// The sum the journal keeps of a chunk's data.
uint32_t JournalSum(const void *Data, size_t Size, uint32_t Sum = 2166136261u);

std::vector<uint8_t> EncodeJournalHeader(const JournalStream &Stream);
std::vector<uint8_t> EncodeJournalBatch(const JournalFrame *Frames, size_t Count);

struct JournalContents {
    bool Valid = false; // the header was read whole
    std::string Error;  // why not
    JournalStream Stream;
    std::vector<JournalFrame> Frames; // from the complete batches, in the order written
    bool TornTail = false;            // bytes after the last complete batch were left out
};

// Reads a journal; never fails on any input, says what it could not read instead.
JournalContents ReadJournal(const uint8_t *Data, size_t Size);

// The journal's name for an AVI file's name.
std::string JournalNameFor(const std::string &AviName);
// The AVI's name for a journal's name, or "" when it is not a journal's name.
std::string AviNameForJournal(const std::string &JournalName);
