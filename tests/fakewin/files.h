// The file calls of the Windows API, on the real files of the native build: handles with the
// sharing rules of Windows between the handles of this process (a file opened without
// FILE_SHARE_WRITE cannot be opened for writing again, and one that is open cannot be replaced
// or deleted), folders and their listing, and the temporary folder (TMPDIR, else /tmp).
#pragma once
#include "fakewin/gdi.h"
#include "fakewin/types.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1
#define FILE_SHARE_WRITE 0x2
#define FILE_SHARE_DELETE 0x4
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define FILE_BEGIN 0
#define FILE_END 2
#define MOVEFILE_REPLACE_EXISTING 0x1
#define MOVEFILE_WRITE_THROUGH 0x8
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_SHARING_VIOLATION 32
#define ERROR_ALREADY_EXISTS 183
#define ERROR_INVALID_PARAMETER 87
#define ERROR_HOTKEY_ALREADY_REGISTERED 1409
#define ERROR_ENVVAR_NOT_FOUND 203

union LARGE_INTEGER {
    int64_t QuadPart;
};
typedef LARGE_INTEGER *PLARGE_INTEGER;

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    CHAR cFileName[260];
};

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, void *security, DWORD disposition,
                   DWORD attributes, HANDLE templ);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done, void *overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done, void *overlapped);
BOOL CloseHandle(HANDLE handle);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER at, DWORD method);
BOOL SetEndOfFile(HANDLE file);
BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
BOOL FlushFileBuffers(HANDLE file);
BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);
BOOL CreateDirectoryA(LPCSTR name, void *security);
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA *found);
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA *found);
BOOL FindClose(HANDLE search);
DWORD GetTempPathA(DWORD size, LPSTR buffer);
// The process's environment (APPDATA names the settings' folder).
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void *security, DWORD disposition,
                   DWORD attributes, HANDLE templ);
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
BOOL CreateDirectoryW(LPCWSTR name, void *security);
BOOL DeleteFileW(LPCWSTR name);
DWORD GetCurrentProcessId();
DWORD GetLastError();
void SetLastError(DWORD error);
