// The file calls the journal and the repair make through the platform, in whole reads and
// writes, and the damaged AVI and its rebuilt copy as the repair sees them.
#include "avifile/diskfile.h"

#include <algorithm>

namespace {
// Moves Count bytes in calls of at most 1 GiB, each Step(done so far, bytes, moved), until all
// went or a call failed or moved nothing.
template <class Call> bool InPieces(size_t Count, Call Step) {
    for (size_t at = 0; at < Count;) {
        DWORD done = 0;
        if (!Step(at, (DWORD)std::min<size_t>(Count - at, 1u << 30), done) || done == 0)
            return false;
        at += done;
    }
    return true;
}
} // namespace

HANDLE OpenHandle(const std::string &Name, DWORD Access, DWORD Share, DWORD Disposition) {
    return CreateFileA(Name.c_str(), Access, Share, nullptr, Disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

bool WriteAll(HANDLE File, const void *Data, size_t Count) {
    return InPieces(Count, [&](size_t At, DWORD Bytes, DWORD &Done) {
        return WriteFile(File, (const uint8_t *)Data + At, Bytes, &Done, nullptr) != FALSE;
    });
}

bool ReadAll(HANDLE File, void *Buffer, size_t Count) {
    return InPieces(Count, [&](size_t At, DWORD Bytes, DWORD &Done) {
        return ReadFile(File, (uint8_t *)Buffer + At, Bytes, &Done, nullptr) != FALSE;
    });
}

bool SeekTo(HANDLE File, uint64_t Offset) {
    LARGE_INTEGER to;
    to.QuadPart = (int64_t)Offset;
    return SetFilePointerEx(File, to, nullptr, FILE_BEGIN) != FALSE;
}

bool InUseElsewhere(const std::string &Name) {
    HANDLE f = OpenHandle(Name, GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    if (f != INVALID_HANDLE_VALUE) {
        CloseHandle(f);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

bool ReplaceWith(const std::string &From, const std::string &To) {
    return MoveFileExA(From.c_str(), To.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

std::vector<uint8_t> ReadWhole(const std::string &Name, bool &Found) {
    std::vector<uint8_t> data;
    HANDLE f = OpenHandle(Name, GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    Found = f != INVALID_HANDLE_VALUE;
    if (!Found) return data;
    uint8_t block[4096];
    DWORD n = 0;
    while (ReadFile(f, block, sizeof block, &n, nullptr) && n > 0)
        data.insert(data.end(), block, block + n);
    CloseHandle(f);
    return data;
}

bool FolderExists(const std::string &Name) {
    DWORD attributes = GetFileAttributesA(Name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string FullPath(const std::string &Name) {
    char full[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(Name.c_str(), sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full, n) : Name;
}
