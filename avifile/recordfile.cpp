// The AVI files of one recording: one file's making, writing and closing, and the numbered
// files that a long recording goes on into.
#include "avifile/recordfile.h"
#include "avifile/runjournal.h"

#include <algorithm>
#include <cstring>

std::atomic<int64_t> AviFileLimit{AviFileSizeLimit};

namespace {

// Asking for the free space is a round trip to the system (0.2 ms a frame under Wine,
// measured), so an answer is kept while the room it left, less what the file took since, is
// more than this above what the next frame needs, and for at most DiskRecheckMs: what other
// programs write in that time is all the margin has to cover.
constexpr int64_t DiskMargin = 64 << 20;
constexpr DWORD DiskRecheckMs = 1000;

// Room for what a file holds besides its frames: the headers before the first frame (about
// 2 KiB from the platform's writers) and the index list's own header.
constexpr int64_t AviHeaderBytes = 4096;
// Each frame is a chunk (an 8-byte header, the data padded to an even size) and a 16-byte entry
// of the index written at close.
constexpr int64_t ChunkHeaderBytes = 8;
constexpr int64_t IndexEntryBytes = 16;
// A compressor may make a frame larger than its raw pixels; the bound for a frame not yet made
// allows for this much more.
constexpr int64_t CompressedGrowth = 2;
// A file about to fill up keeps room for this much sound besides the next frame: after a split
// the file before still takes the sound of its last moments.
constexpr int64_t SoundRoomMs = 1000;
// The sound goes into the file in blocks of at most this much, each near the frames of its time,
// and of at least the shorter: at a few milliseconds a frame, a chunk and an index entry for each
// frame's bit of sound would cost as much again as the frames.
constexpr int64_t SoundBlockMs = 500;
constexpr int64_t SoundBlockLeastMs = 20;

int64_t ChunkBytes(int64_t Data) { return ChunkHeaderBytes + Data + (Data & 1); }

// The folder that holds the file, with its separator: a name without one is in the current
// folder, not at the root of the current drive that the free-space query would take instead.
std::string FolderOf(const std::string &Name) {
    char path[MAX_PATH];
    char *file = nullptr;
    DWORD length = GetFullPathNameA(Name.c_str(), sizeof(path), path, &file);
    if (length == 0 || length >= sizeof(path) || !file) return std::string();
    return std::string(path, file);
}

bool FileExists(const std::string &Name) {
    return GetFileAttributesA(Name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

HRESULT RecordFile::Open(const std::string &Name, const StreamSetup &Setup) {
    Close();
    FileName = Name;
    Folder = FolderOf(Name);
    HRESULT error = AVIFileOpen(&File, Name.c_str(), OF_WRITE | OF_CREATE, nullptr);
    if (error == AVIERR_OK) {
        AVISTREAMINFOA header = Setup.Header;
        error = AVIFileCreateStream(File, &Stream, &header);
    }
    if (error == AVIERR_OK) {
        Options = Setup.Options;
        OptionsSet = true;
        error = AVIMakeCompressedStream(&Compressed, Stream, &Options, nullptr);
    }
    if (error == AVIERR_OK)
        error = AVIStreamSetFormat(Compressed, 0, (LPVOID)Setup.Format.data(),
                                   (LONG)Setup.Format.size());
    if (error == AVIERR_OK && !Setup.SoundFormat.empty()) {
        WAVEFORMATEX format;
        std::memcpy(&format, Setup.SoundFormat.data(),
                    std::min(sizeof format, Setup.SoundFormat.size()));
        AVISTREAMINFOA header{};
        header.fccType = streamtypeAUDIO;
        header.dwScale = format.nBlockAlign;
        header.dwRate = format.nAvgBytesPerSec;
        header.dwSampleSize = format.nBlockAlign;
        header.dwQuality = (DWORD)-1;
        header.dwSuggestedBufferSize = (DWORD)(format.nAvgBytesPerSec * SoundBlockMs / 1000);
        error = AVIFileCreateStream(File, &Sound, &header);
        if (error == AVIERR_OK)
            error = AVIStreamSetFormat(Sound, 0, (LPVOID)Setup.SoundFormat.data(),
                                       (LONG)Setup.SoundFormat.size());
        SoundAlign = format.nBlockAlign;
        SoundBytesPerSec = format.nAvgBytesPerSec;
    }
    if (error == AVIERR_OK)
        StartRunJournal(Journal, Name, Stream, Setup.Header, Setup.Options, Setup.SoundFormat);
    return error;
}

HRESULT RecordFile::WriteSound(const BYTE *Data, LONG Samples) {
    LONG bytes = Samples * SoundAlign;
    if (!RoomOnDisk(bytes)) return AVIERR_FILEWRITE;
    LONG samplesWritten = 0, bytesWritten = 0;
    // The writer takes audio only where its stream ends, as it counts that end itself (Wine's
    // counts the chunks written, not the samples: measured).
    HRESULT error = AVIStreamWrite(Sound, AVIStreamLength(Sound), Samples, (LPVOID)Data, bytes, 0,
                                   &samplesWritten, &bytesWritten);
    if (error != AVIERR_OK) return error;
    if (samplesWritten != Samples) return AVIERR_FILEWRITE;
    // The sound goes into its chunk as it is given (no compressor between), so the sum of the
    // block is the sum of the chunk's data: nothing needs reading back. Its position is the
    // first sample's, as the file's headers count the sound.
    Journal.Frame({SoundLength, (uint32_t)bytes, JournalSizeKnown | JournalSumKnown,
                   JournalSum(Data, (size_t)bytes), JournalSoundStream});
    SoundLength += Samples;
    Bytes += ChunkBytes(bytes);
    ++SoundChunks;
    return AVIERR_OK;
}

HRESULT RecordFile::Write(LONG Position, const void *Pixels, LONG Size) {
    if (!RoomOnDisk(Size)) return AVIERR_FILEWRITE;
    LONG samples = 0, bytes = 0;
    HRESULT error =
        AVIStreamWrite(Compressed, Position, 1, (LPVOID)Pixels, Size, 0, &samples, &bytes);
    if (error != AVIERR_OK) return error;
    // One count is the one sample written, the other the chunk's bytes, which are 0 for an
    // empty frame (a compressor's unchanged picture, as AVI allows): Wine's compressed stream
    // gives the two the other way round (measured: samples = the frame's bytes, bytes = 1).
    if (samples != 1 && bytes != 1) return AVIERR_FILEWRITE;
    Bytes += ChunkBytes(samples == 1 ? bytes : samples);
    ++FramesInFile;
    if (OnStage) OnStage(WriteStage::Frame);
    Journal.Frame(Noted(Position));
    if (OnStage) OnStage(WriteStage::Journal);
    return AVIERR_OK;
}

JournalFrame RecordFile::Noted(LONG Position) {
    // The byte count a compressed stream answers is not the chunk's: the chunk is read back
    // from the file's own stream, for its size, the sum of its data and its key-frame bit.
    // Where that cannot be read the repair takes the chunk as it finds it.
    JournalFrame f{Position, 0, 0};
    LONG size = 0, got = 0;
    if (!Journal.IsOpen() ||
        AVIStreamRead(Stream, Position, 1, nullptr, 0, &size, nullptr) != AVIERR_OK || size <= 0)
        return f;
    if ((size_t)size > ReadBack.size()) ReadBack.resize((size_t)size);
    if (AVIStreamRead(Stream, Position, 1, ReadBack.data(), size, &got, nullptr) != AVIERR_OK ||
        got != size)
        return f;
    f.Size = (uint32_t)size;
    f.Sum = JournalSum(ReadBack.data(), (size_t)size);
    f.Flags = JournalSizeKnown | JournalSumKnown;
    if (AVIStreamFindSample(Stream, Position, FIND_KEY | FIND_PREV) == Position)
        f.Flags |= JournalKeyFrame;
    return f;
}

bool RecordFile::Fits(LONG RawSize) const {
    if (FramesInFile == 0) return true;
    int64_t sound = Sound ? ChunkBytes(SoundBytesPerSec * SoundRoomMs / 1000) +
                                IndexEntryBytes * (SoundRoomMs / SoundBlockMs + 1)
                          : 0;
    int64_t closed = AviHeaderBytes + Bytes + ChunkBytes(CompressedGrowth * RawSize) + sound +
                     IndexEntryBytes * (FramesInFile + SoundChunks + 1);
    return closed <= AviFileLimit.load();
}

bool RecordFile::RoomOnDisk(LONG RawSize) {
    // The platform's writer answers success for frames that no longer reach a full disk, and a
    // file whose index could not be written at close does not play (both measured under Wine).
    int64_t needed = ChunkBytes(CompressedGrowth * RawSize) +
                     IndexEntryBytes * (FramesInFile + SoundChunks + 1) + AviHeaderBytes;
    DWORD now = timeGetTime();
    if (FreeKnown && now - AskedAt < DiskRecheckMs &&
        FreeAsked - (Bytes - BytesAsked) >= needed + DiskMargin)
        return true;
    ULARGE_INTEGER free{};
    FreeKnown = GetDiskFreeSpaceExA(Folder.c_str(), &free, nullptr, nullptr) != FALSE;
    if (!FreeKnown) return true; // nothing to go by: the write's own result decides
    FreeAsked = (int64_t)free.QuadPart;
    BytesAsked = Bytes;
    AskedAt = now;
    return FreeAsked >= needed;
}

void RecordFile::Close() {
    if (OptionsSet) {
        LPAVICOMPRESSOPTIONS list[1] = {&Options};
        AVISaveOptionsFree(1, list);
        OptionsSet = false;
    }
    // The file is written out when its last reference goes.
    if (File) AVIFileRelease(File);
    if (Stream) AVIStreamRelease(Stream);
    if (Compressed) AVIStreamRelease(Compressed);
    if (Sound) AVIStreamRelease(Sound);
    File = nullptr;
    Stream = nullptr;
    Compressed = nullptr;
    Sound = nullptr;
    SoundLength = 0;
    SoundChunks = 0;
    if (FramesInFile > 0) EndAtRiffChunk(FileName);
    // The journal goes once the closed file reads back whole: a writer that found no room
    // for the index at close says nothing. Otherwise it stays for the repair at the next start.
    if (FramesInFile == 0 || AviClosedWhole(FileName, AviFileLimit.load()))
        Journal.Close();
    else
        Journal.Keep();
    Bytes = 0;
    FramesInFile = 0;
    FreeKnown = false;
}

std::string NumberedFileName(const std::string &Name, int Number) {
    if (Number <= 1) return Name;
    size_t base = Name.find_last_of("\\/");
    base = base == std::string::npos ? 0 : base + 1;
    size_t dot = Name.rfind('.');
    if (dot == std::string::npos || dot < base) dot = Name.size();
    return Name.substr(0, dot) + " (" + std::to_string(Number) + ")" + Name.substr(dot);
}

void DeleteRecordingFiles(const std::string &Name) {
    DeleteFileA(Name.c_str());
    for (int n = 2; FileExists(NumberedFileName(Name, n)); ++n)
        DeleteFileA(NumberedFileName(Name, n).c_str());
}

HRESULT RecordFiles::Start() {
    Current->OnStage = OnStage;
    return Current->Open(NumberedFileName(Name, Number), Setup);
}

void RecordFiles::AttachSound(SoundSource *ASound, int AInterval) {
    Sound = ASound;
    Interval = AInterval;
}

int64_t RecordFiles::SampleAt(int Index) const {
    return (int64_t)((double)Index * Interval * Sound->SamplesPerMs());
}

HRESULT RecordFiles::Write(int Index, const void *Pixels, LONG Size) {
    HRESULT error = AVIERR_OK;
    if (!Current->Fits(Size)) {
        // A file before that still waits for its sound gets silence for the rest: two
        // splits within a moment leave no time for more.
        if (Previous) error = WriteSoundUntil(PreviousEnd, true);
        if (error != AVIERR_OK) return error;
        if (Sound && SoundWritten < SampleAt(Index)) {
            Previous = std::move(Current);
            PreviousEnd = SampleAt(Index);
        } else {
            Current->Close();
        }
        Current = std::make_unique<RecordFile>();
        Current->OnStage = OnStage;
        // A file of the next number that is still there is another recording's: it is kept.
        do
            ++Number;
        while (FileExists(NumberedFileName(Name, Number)));
        error = Current->Open(NumberedFileName(Name, Number), Setup);
        if (error != AVIERR_OK) return error;
        FirstIndex = Index;
    }
    // The sound up to this position goes first: a reader meets each stretch of sound just
    // before the frame that ends it, and the sound never runs a position ahead of the frames.
    if (Sound && SampleAt(Index) - SoundWritten >= SamplesIn(Sound->Format(), SoundBlockLeastMs))
        error = WriteSoundUntil(SampleAt(Index), false);
    if (error != AVIERR_OK) return error;
    if (OnStage) OnStage(WriteStage::Sound);
    return Current->Write(Index - FirstIndex, Pixels, Size);
}

HRESULT RecordFiles::EndSound(int LastIndex) {
    if (!Sound) return AVIERR_OK;
    Sound->Stop();
    return WriteSoundUntil(SampleAt(LastIndex + 1), true);
}

HRESULT RecordFiles::WriteSoundUntil(int64_t Until, bool Fill) {
    const int64_t block = SamplesIn(Sound->Format(), SoundBlockMs);
    while (SoundWritten < Until) {
        bool before = Previous && SoundWritten < PreviousEnd;
        int64_t end = before ? std::min(Until, PreviousEnd) : Until;
        SoundBlock.clear();
        LONG got = Sound->Take((LONG)std::min(end - SoundWritten, block), SoundBlock, Fill);
        if (got == 0) break;
        HRESULT error = (before ? *Previous : *Current).WriteSound(SoundBlock.data(), got);
        if (error != AVIERR_OK) return error;
        SoundWritten += got;
        if (before && SoundWritten >= PreviousEnd) Previous.reset(); // closes it
    }
    return AVIERR_OK;
}
