// The double's file calls: real files, with the sharing rules of Windows between this process's
// handles.
#include "fakewin/files.h"
#include "fakewin/gdi.h"
#include "fakewin/vfw.h"
#include "fakewin/wave.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct OpenFile {
    int Fd;
    std::string Path;
    DWORD Access, Share;
};
struct Search {
    std::vector<std::string> Names;
    size_t Next = 0;
};

std::mutex FilesLock;
std::map<intptr_t, OpenFile> Files; // by handle
std::map<intptr_t, Search> Searches;
intptr_t NextHandle = 0x1000;
thread_local DWORD LastError = 0;

BOOL Fail(DWORD Error) {
    LastError = Error;
    return FALSE;
}
DWORD FromErrno() {
    if (errno == ENOENT) return ERROR_FILE_NOT_FOUND;
    if (errno == ENOTDIR) return ERROR_PATH_NOT_FOUND;
    if (errno == EEXIST) return ERROR_ALREADY_EXISTS;
    return ERROR_ACCESS_DENIED;
}
// Whether a handle of this process holds the file so that Access (or a replace) is refused.
bool Held(const std::string &Path, DWORD Access, DWORD Share, bool Replace) {
    for (auto &f : Files) {
        if (f.second.Path != Path) continue;
        if (Replace && !(f.second.Share & FILE_SHARE_DELETE)) return true;
        if ((Access & GENERIC_WRITE) && !(f.second.Share & FILE_SHARE_WRITE)) return true;
        if ((Access & GENERIC_READ) && !(f.second.Share & FILE_SHARE_READ)) return true;
        if ((f.second.Access & GENERIC_WRITE) && !(Share & FILE_SHARE_WRITE)) return true;
        if ((f.second.Access & GENERIC_READ) && !(Share & FILE_SHARE_READ)) return true;
    }
    return false;
}
OpenFile *Find(HANDLE File) {
    auto it = Files.find((intptr_t)File);
    return it == Files.end() ? nullptr : &it->second;
}

} // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, void *, DWORD disposition, DWORD,
                   HANDLE) {
    std::lock_guard<std::mutex> lock(FilesLock);
    std::string path = name ? name : "";
    if (Held(path, access, share, false)) {
        LastError = ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    int flags = (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
    if (disposition == CREATE_ALWAYS) flags |= O_CREAT | O_TRUNC;
    int fd = open(path.c_str(), flags, 0666);
    if (fd < 0) {
        LastError = FromErrno();
        return INVALID_HANDLE_VALUE;
    }
    intptr_t handle = NextHandle++;
    Files[handle] = {fd, path, access, share};
    return (HANDLE)handle;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done, void *) {
    std::lock_guard<std::mutex> lock(FilesLock);
    OpenFile *f = Find(file);
    if (done) *done = 0;
    if (!f) return Fail(ERROR_ACCESS_DENIED);
    ssize_t n = read(f->Fd, buffer, count);
    if (n < 0) return Fail(FromErrno());
    if (done) *done = (DWORD)n;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done, void *) {
    std::lock_guard<std::mutex> lock(FilesLock);
    OpenFile *f = Find(file);
    if (done) *done = 0;
    if (!f || !(f->Access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
    ssize_t n = write(f->Fd, buffer, count);
    if (n < 0) return Fail(FromErrno());
    if (done) *done = (DWORD)n;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    std::unique_lock<std::mutex> lock(FilesLock);
    OpenFile *f = Find(handle);
    if (!f) {
        lock.unlock();
        return CloseEventHandle(handle);
    }
    close(f->Fd);
    Files.erase((intptr_t)handle);
    return TRUE;
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER at, DWORD method) {
    std::lock_guard<std::mutex> lock(FilesLock);
    OpenFile *f = Find(file);
    if (!f) return Fail(ERROR_ACCESS_DENIED);
    off_t to = lseek(f->Fd, (off_t)distance.QuadPart, method == FILE_END ? SEEK_END : SEEK_SET);
    if (to < 0) return Fail(FromErrno());
    if (at) at->QuadPart = to;
    return TRUE;
}

BOOL SetEndOfFile(HANDLE file) {
    std::lock_guard<std::mutex> lock(FilesLock);
    OpenFile *f = Find(file);
    if (!f || !(f->Access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
    off_t at = lseek(f->Fd, 0, SEEK_CUR);
    return at >= 0 && ftruncate(f->Fd, at) == 0 ? TRUE : Fail(FromErrno());
}

BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
    std::lock_guard<std::mutex> lock(FilesLock);
    OpenFile *f = Find(file);
    struct stat st;
    if (!f || fstat(f->Fd, &st) != 0) return Fail(ERROR_ACCESS_DENIED);
    size->QuadPart = st.st_size;
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    std::lock_guard<std::mutex> lock(FilesLock);
    OpenFile *f = Find(file);
    return f && fsync(f->Fd) == 0 ? TRUE : Fail(ERROR_ACCESS_DENIED);
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
    std::lock_guard<std::mutex> lock(FilesLock);
    struct stat st;
    bool exists = stat(to, &st) == 0;
    if (exists && !(flags & MOVEFILE_REPLACE_EXISTING)) return Fail(ERROR_ALREADY_EXISTS);
    // Windows refuses to move or replace a file that is open without FILE_SHARE_DELETE.
    if (Held(from, 0, 0, true) || (exists && Held(to, 0, 0, true)))
        return Fail(ERROR_SHARING_VIOLATION);
    return rename(from, to) == 0 ? TRUE : Fail(FromErrno());
}

BOOL CreateDirectoryA(LPCSTR name, void *) {
    return mkdir(name, 0777) == 0 ? TRUE : Fail(FromErrno());
}

// Patterns are a folder and "*" or "*.ext".
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA *found) {
    std::string p = pattern ? pattern : "";
    size_t slash = p.find_last_of("/\\");
    std::string folder = slash == std::string::npos ? "." : p.substr(0, slash);
    std::string mask = p.substr(slash == std::string::npos ? 0 : slash + 1);
    std::string ext = mask.size() > 1 && mask[0] == '*' ? mask.substr(1) : "";
    Search search;
    if (DIR *dir = opendir(folder.c_str())) {
        while (dirent *e = readdir(dir)) {
            std::string name = e->d_name;
            if (name.size() >= ext.size() &&
                name.compare(name.size() - ext.size(), ext.size(), ext) == 0)
                search.Names.push_back(name);
        }
        closedir(dir);
    }
    if (search.Names.empty()) {
        LastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    intptr_t handle;
    {
        std::lock_guard<std::mutex> lock(FilesLock);
        handle = NextHandle++;
        Searches[handle] = search;
    }
    FindNextFileA((HANDLE)handle, found);
    return (HANDLE)handle;
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA *found) {
    std::lock_guard<std::mutex> lock(FilesLock);
    auto it = Searches.find((intptr_t)handle);
    if (it == Searches.end() || it->second.Next >= it->second.Names.size())
        return Fail(ERROR_FILE_NOT_FOUND);
    std::string name = it->second.Names[it->second.Next++];
    std::memset(found, 0, sizeof *found);
    std::strncpy(found->cFileName, name.c_str(), sizeof found->cFileName - 1);
    return TRUE;
}

BOOL FindClose(HANDLE handle) {
    std::lock_guard<std::mutex> lock(FilesLock);
    return Searches.erase((intptr_t)handle) ? TRUE : Fail(ERROR_ACCESS_DENIED);
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    const char *tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/";
    if (path.size() + 1 > size) return (DWORD)path.size() + 1;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return (DWORD)path.size();
}

// The environment holds UTF-8; the ANSI code page is ASCII here: '?' for each character beyond.
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    const char *value = std::getenv(name);
    if (!value) return Fail(ERROR_ENVVAR_NOT_FOUND);
    std::string ansi;
    for (const char *c = value; *c; ++c)
        if ((*c & 0xC0) != 0x80) ansi += *c & 0x80 ? '?' : *c;
    if (ansi.size() + 1 > size) return (DWORD)ansi.size() + 1;
    std::memcpy(buffer, ansi.c_str(), ansi.size() + 1);
    return (DWORD)ansi.size();
}

// The wide calls, for characters of the basic plane: names in UTF-16, files in UTF-8.
namespace {
std::string Utf8(LPCWSTR w) {
    std::string s;
    for (; w && *w; ++w)
        if (*w < 0x80)
            s += (char)*w;
        else if (*w < 0x800)
            s += {char(0xC0 | *w >> 6), char(0x80 | (*w & 0x3F))};
        else
            s += {char(0xE0 | *w >> 12), char(0x80 | (*w >> 6 & 0x3F)), char(0x80 | (*w & 0x3F))};
    return s;
}
} // namespace

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
    const char *value = std::getenv(Utf8(name).c_str());
    if (!value) return Fail(ERROR_ENVVAR_NOT_FOUND);
    std::u16string w;
    for (const unsigned char *c = (const unsigned char *)value; *c;) {
        int more = *c >= 0xE0 ? 2 : *c >= 0xC0 ? 1 : 0;
        char16_t u = more ? *c++ & (0x3F >> more) : *c++;
        for (; more-- && *c; ++c)
            u = (char16_t)(u << 6 | (*c & 0x3F));
        w += u;
    }
    if (w.size() + 1 > size) return (DWORD)w.size() + 1;
    std::copy(w.c_str(), w.c_str() + w.size() + 1, buffer);
    return (DWORD)w.size();
}
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void *security, DWORD disposition,
                   DWORD attributes, HANDLE templ) {
    return CreateFileA(Utf8(name).c_str(), access, share, security, disposition, attributes, templ);
}
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    return MoveFileExA(Utf8(from).c_str(), Utf8(to).c_str(), flags);
}
BOOL CreateDirectoryW(LPCWSTR name, void *security) {
    return CreateDirectoryA(Utf8(name).c_str(), security);
}
BOOL DeleteFileW(LPCWSTR name) { return DeleteFileA(Utf8(name).c_str()); }

DWORD GetCurrentProcessId() { return (DWORD)getpid(); }
DWORD GetLastError() { return LastError; }
void SetLastError(DWORD error) { LastError = error; }
