// The AVI's chunk tags and the little-endian fields of RIFF files and of the journal: the
// repair reads and writes them, the journal encodes its records with them.
#pragma once
#include <cstdint>
#include <vector>

constexpr uint32_t RiffFourCC(char a, char b, char c, char d) {
    return (uint32_t)(uint8_t)a | (uint32_t)(uint8_t)b << 8 | (uint32_t)(uint8_t)c << 16 |
           (uint32_t)(uint8_t)d << 24;
}
constexpr uint32_t RiffTag = RiffFourCC('R', 'I', 'F', 'F'),
                   AviTag = RiffFourCC('A', 'V', 'I', ' ');
constexpr uint32_t ListTag = RiffFourCC('L', 'I', 'S', 'T'),
                   HdrlTag = RiffFourCC('h', 'd', 'r', 'l');
constexpr uint32_t MoviTag = RiffFourCC('m', 'o', 'v', 'i'),
                   Idx1Tag = RiffFourCC('i', 'd', 'x', '1');
constexpr uint32_t JunkTag = RiffFourCC('J', 'U', 'N', 'K'),
                   AvihTag = RiffFourCC('a', 'v', 'i', 'h');
constexpr uint32_t StrlTag = RiffFourCC('s', 't', 'r', 'l'),
                   StrhTag = RiffFourCC('s', 't', 'r', 'h');
constexpr uint32_t StrfTag = RiffFourCC('s', 't', 'r', 'f'),
                   VidsTag = RiffFourCC('v', 'i', 'd', 's');
constexpr uint32_t AudsTag = RiffFourCC('a', 'u', 'd', 's');

// A video frame chunk of the first stream: "00db" uncompressed, "00dc" compressed.
constexpr uint32_t WholeFrameId = RiffFourCC('0', '0', 'd', 'b');
constexpr uint32_t DeltaFrameId = RiffFourCC('0', '0', 'd', 'c');
// A block of the sound, the second stream.
constexpr uint32_t SoundId = RiffFourCC('0', '1', 'w', 'b');

// A chunk's size rounded up to the even size it takes in the file.
inline uint64_t RiffPadded(uint64_t Size) { return Size + (Size & 1); }

inline uint16_t Get16(const uint8_t *p) { return (uint16_t)(p[0] | p[1] << 8); }
inline uint32_t Get32(const uint8_t *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
inline void Put16(std::vector<uint8_t> &Out, uint16_t Value) {
    Out.push_back((uint8_t)Value);
    Out.push_back((uint8_t)(Value >> 8));
}
inline void Put32(std::vector<uint8_t> &Out, uint32_t Value) {
    for (int i = 0; i < 4; ++i)
        Out.push_back((uint8_t)(Value >> (8 * i)));
}
