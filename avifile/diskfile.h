// The file calls the journal and the repair make through the platform: handles opened with
// the sharing rules the recording needs, whole reads and writes, and the damaged AVI and its
// rebuilt copy as the repair sees them.
#pragma once
#include "avifile/avirepair.h"
#include "framework/winapi.h"

#include <cstdint>
#include <string>
#include <vector>

HANDLE OpenHandle(const std::string &Name, DWORD Access, DWORD Share, DWORD Disposition);
// False when a call failed or moved nothing before all of Count was moved.
bool WriteAll(HANDLE File, const void *Data, size_t Count);
bool ReadAll(HANDLE File, void *Buffer, size_t Count);
bool SeekTo(HANDLE File, uint64_t Offset);
// Whether another process holds the journal open for writing: another Quillet still records
// its AVI. The journal is written with others refused that.
bool InUseElsewhere(const std::string &Name);
// Puts From in the place of To in one step: To is either the old or the new file.
bool ReplaceWith(const std::string &From, const std::string &To);
// The whole file; Found false when it cannot be opened.
std::vector<uint8_t> ReadWhole(const std::string &Name, bool &Found);
bool FolderExists(const std::string &Name);
// The next start may run in another folder: the entries hold full paths.
std::string FullPath(const std::string &Name);

// The damaged AVI, opened to be put right where it lies (no other program may write it
// meanwhile), or only read where it cannot be written.
struct FileSource : RepairFile {
    HANDLE File = INVALID_HANDLE_VALUE;
    bool Writable = true;
    bool Missing = false; // the file is not there
    uint64_t Bytes = 0;
    explicit FileSource(const std::string &Name, bool ToWrite = true) {
        if (ToWrite)
            File = OpenHandle(Name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
        if (File == INVALID_HANDLE_VALUE) {
            Writable = false;
            File =
                OpenHandle(Name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        }
        Missing = File == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND;
        LARGE_INTEGER size;
        if (File != INVALID_HANDLE_VALUE && GetFileSizeEx(File, &size))
            Bytes = (uint64_t)size.QuadPart;
    }
    ~FileSource() override { Close(); }
    bool IsOpen() const { return File != INVALID_HANDLE_VALUE; }
    void Close() {
        if (IsOpen()) CloseHandle(File);
        File = INVALID_HANDLE_VALUE;
    }
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;
    uint64_t Size() const override { return Bytes; }
    bool Read(uint64_t Offset, void *Buffer, size_t Count) override {
        if (!IsOpen() || Offset > Bytes || Count > Bytes - Offset) return false;
        return SeekTo(File, Offset) && ReadAll(File, Buffer, Count);
    }
    bool Write(uint64_t Offset, const void *Data, size_t Count) override {
        if (!IsOpen() || !Writable || !SeekTo(File, Offset) || !WriteAll(File, Data, Count))
            return false;
        Bytes = std::max<uint64_t>(Bytes, Offset + Count);
        return true;
    }
    bool Truncate(uint64_t Size) override {
        if (!IsOpen() || !Writable || !SeekTo(File, Size) || !SetEndOfFile(File)) return false;
        Bytes = Size;
        return true;
    }
    bool Flush() override { return IsOpen() && FlushFileBuffers(File) != FALSE; }
};

// The rebuilt copy, written in large blocks.
struct FileSink : RepairSink {
    static constexpr size_t Block = 1 << 20;
    HANDLE File;
    std::vector<uint8_t> Held;
    explicit FileSink(const std::string &Name)
        : File(OpenHandle(Name, GENERIC_WRITE, 0, CREATE_ALWAYS)) {}
    ~FileSink() override {
        if (File != INVALID_HANDLE_VALUE) CloseHandle(File);
    }
    FileSink(const FileSink &) = delete;
    FileSink &operator=(const FileSink &) = delete;
    bool Write(const void *Data, size_t Count) override {
        if (File == INVALID_HANDLE_VALUE) return false;
        Held.insert(Held.end(), (const uint8_t *)Data, (const uint8_t *)Data + Count);
        if (Held.size() < Block) return true;
        bool ok = WriteAll(File, Held.data(), Held.size());
        Held.clear();
        return ok;
    }
    // Closes the file with everything on the disk; false when any of it failed.
    bool Finish() {
        if (File == INVALID_HANDLE_VALUE) return false;
        bool ok = WriteAll(File, Held.data(), Held.size()) && FlushFileBuffers(File);
        ok = CloseHandle(File) && ok;
        File = INVALID_HANDLE_VALUE;
        return ok;
    }
};
