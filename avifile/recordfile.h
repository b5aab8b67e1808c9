// The AVI files of one recording. A file is made, filled and closed by one RecordFile; the run
// writes through RecordFiles, which goes on into "name (2).avi", "name (3).avi", ... before a
// file would pass the size an AVI 1.0 file can have.
#pragma once
#include "framework/winapi.h"
#include "framework/VFW.h"
#include "avifile/journalfile.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Where a recording's sound comes from: the writer takes it stretch by stretch, in Format,
// as it writes the frames of its time.
class SoundSource {
  public:
    virtual ~SoundSource() = default;
    // The audio stream's format, as the file plays it.
    virtual const WAVEFORMATEX &Format() const = 0;
    // The audio stream's samples that stand for a millisecond of the recording: Format's rate
    // over 1000 when the picture plays at the speed it was recorded at.
    virtual double SamplesPerMs() const = 0;
    // Appends at most Samples samples to Out; Fill: silence for what was not captured.
    // Returns the samples appended.
    virtual LONG Take(LONG Samples, std::vector<BYTE> &Out, bool Fill) = 0;
    // The recording ends: no more sound is captured, what was captured can still be taken.
    virtual void Stop() = 0;
};

// Samples of Format in Ms milliseconds of the recording.
inline int64_t SamplesIn(const WAVEFORMATEX &Format, int64_t Ms) {
    return Ms * (int64_t)Format.nSamplesPerSec / 1000;
}

// AVI 1.0 offsets are 32-bit, and the platform's writer takes them as signed: past 2 GiB a
// write still answers success while nothing more reaches the file (measured under Wine), and
// the file's sizes wrap. Every file of a recording stays below this, its closing index included.
constexpr int64_t AviFileSizeLimit = 0x7FFFFFFF;
// The limit the recording applies: AviFileSizeLimit, lowered by tests that would otherwise have
// to write gigabytes.
extern std::atomic<int64_t> AviFileLimit;

// What every file of one recording is made with, taken from the format frame at the start.
struct StreamSetup {
    AVISTREAMINFOA Header{};
    AVICOMPRESSOPTIONS Options{};
    std::vector<BYTE> Format; // the frame's header and colour table
    // The audio stream's format (a WAVEFORMATEX), or empty for a recording without sound.
    std::vector<BYTE> SoundFormat;
};

// The parts of one frame's write, each told at its end when a listener is set (the capture
// benchmark times them): the wait for the frame, its read-out (the cursor drawn in, the pixels
// read), the sound before it, the frame through the compressed stream, and its journal entry.
enum class WriteStage { Wait, Read, Sound, Frame, Journal };
using WriteStageListener = std::function<void(WriteStage)>;

// One AVI file: created with the recording's stream header, compressor options and format,
// written a frame at a time, closed complete. Close runs on every path, the destructor's too.
class RecordFile {
  public:
    RecordFile() = default;
    ~RecordFile() { Close(); }
    RecordFile(const RecordFile &) = delete;
    RecordFile &operator=(const RecordFile &) = delete;

    // Creates (or replaces) the file and its compressed stream, and its audio stream when the
    // setup has one: the platform's writer makes no stream after the first write. On an error
    // whatever was obtained is released by Close.
    HRESULT Open(const std::string &Name, const StreamSetup &Setup);
    // Writes a frame at Position of this file. A write the writer answers with success but
    // that did not take the frame fails with AVIERR_FILEWRITE: such a frame is not written.
    // So does a frame for which the disk has no room left.
    HRESULT Write(LONG Position, const void *Pixels, LONG Size);
    // Appends Samples samples to the audio stream, right after those written before.
    HRESULT WriteSound(const BYTE *Data, LONG Samples);
    // Whether a frame of RawSize uncompressed bytes can still be written without the file
    // passing AviFileLimit once it is closed. An empty file takes any frame.
    bool Fits(LONG RawSize) const;
    // Frees the options and releases the file and its streams, which closes the file.
    void Close();

    bool IsOpen() const { return File != nullptr; }
    WriteStageListener OnStage;
    int Frames() const { return FramesInFile; }
    LONG SoundSamples() const { return SoundLength; }

  private:
    // Whether the disk still holds a frame of RawSize and the index written at close.
    bool RoomOnDisk(LONG RawSize);
    // What the journal notes of the frame written at Position.
    JournalFrame Noted(LONG Position);

    std::string FileName;
    std::string Folder; // of the file, with its separator
    PAVIFILE File = nullptr;
    PAVISTREAM Stream = nullptr;
    PAVISTREAM Compressed = nullptr;
    PAVISTREAM Sound = nullptr;
    WORD SoundAlign = 0; // bytes of one audio sample
    DWORD SoundBytesPerSec = 0;
    LONG SoundLength = 0; // audio samples written
    int SoundChunks = 0;
    AVICOMPRESSOPTIONS Options{};
    bool OptionsSet = false;
    int64_t Bytes = 0; // frame chunks so far, as the file holds them
    int FramesInFile = 0;
    // The last answer about the free space, and when it was had.
    bool FreeKnown = false;
    int64_t FreeAsked = 0;         // bytes free then
    int64_t BytesAsked = 0;        // Bytes then
    DWORD AskedAt = 0;             // timeGetTime then
    RecordingJournal Journal;      // beside the file while it is open
    std::vector<uint8_t> ReadBack; // the last frame, as the file holds it
};

// "test.avi" for the first file, "test (2).avi" for the second, ...; the number goes before
// the extension of the file name (not of a folder), or at the end when it has none.
std::string NumberedFileName(const std::string &Name, int Number);
// Deletes what an earlier recording under Name left: the file and its numbered files in order,
// up to the first number that does not exist.
void DeleteRecordingFiles(const std::string &Name);

// The files of one recording. Positions are the recording's; each file starts its own at 0
// with its first frame, so that every file plays on its own and the files play in turn.
class RecordFiles {
  public:
    RecordFiles(const std::string &AName, const StreamSetup &ASetup) : Name(AName), Setup(ASetup) {}

    // Opens the first file, with the chosen name.
    HRESULT Start();
    // The sound that goes with the frames, one position every Interval ms (the setup has its
    // format). Set before the first write.
    void AttachSound(SoundSource *ASound, int AInterval);
    // Writes a frame at recording position Index, into a next file when it would not fit
    // into the current one, after the sound captured up to that position.
    HRESULT Write(int Index, const void *Pixels, LONG Size);
    // At the end of the recording, after the last frame at position LastIndex: the capture
    // stops, and the sound goes up to that position's end, in silence where none came.
    HRESULT EndSound(int LastIndex);

    int FileNumber() const { return Number; }
    // Told the end of each part of a write; set before the first.
    WriteStageListener OnStage;

  private:
    // Writes the sound up to recording sample Until, in blocks of at most half a second, into
    // the file that holds that time. Fill: silence for what was not captured.
    HRESULT WriteSoundUntil(int64_t Until, bool Fill);
    int64_t SampleAt(int Index) const;

    std::string Name;
    StreamSetup Setup;
    std::unique_ptr<RecordFile> Current = std::make_unique<RecordFile>();
    // After a split, the file before, open until its sound reaches the split: the sound of
    // the last moments comes after their frames.
    std::unique_ptr<RecordFile> Previous;
    int Number = 1;
    int FirstIndex = 0; // recording position of the current file's first frame
    SoundSource *Sound = nullptr;
    int Interval = 1;
    int64_t SoundWritten = 0; // recording samples, over all files
    int64_t PreviousEnd = 0;  // recording sample where the file before ends
    std::vector<BYTE> SoundBlock;
};
