// Wave-in (sound capture) and the events its buffers are signalled with.
#pragma once
#include "fakewin/types.h"

DECLARE_FAKE_HANDLE(HWAVEIN);

#define WAVE_FORMAT_PCM 1
struct WAVEFORMATEX {
    WORD wFormatTag, nChannels;
    DWORD nSamplesPerSec, nAvgBytesPerSec;
    WORD nBlockAlign, wBitsPerSample, cbSize;
};
struct WAVEHDR {
    LPSTR lpData;
    DWORD dwBufferLength, dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags, dwLoops;
    WAVEHDR *lpNext;
    DWORD_PTR reserved;
};
#define WHDR_DONE 0x00000001
#define WHDR_PREPARED 0x00000002
#define WHDR_INQUEUE 0x00000010
#define WAVE_MAPPER ((UINT)-1)
#define WAVE_FORMAT_QUERY 0x0001
#define CALLBACK_EVENT 0x00050000
#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_BADDEVICEID 2
#define MMSYSERR_ALLOCATED 4
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NODRIVER 6
#define WAVERR_BADFORMAT 32
#define WAVERR_STILLPLAYING 33

UINT waveInGetNumDevs();
MMRESULT waveInOpen(HWAVEIN *device, UINT id, const WAVEFORMATEX *format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags);
MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR *header, UINT size);
MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR *header, UINT size);
MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR *header, UINT size);
MMRESULT waveInStart(HWAVEIN device);
MMRESULT waveInReset(HWAVEIN device);
MMRESULT waveInClose(HWAVEIN device);

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0
#define WAIT_TIMEOUT 258
HANDLE CreateEventA(void *security, BOOL manualReset, BOOL initialState, LPCSTR name);
#define CreateEvent CreateEventA
BOOL SetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD ms);
BOOL CloseEventHandle(HANDLE handle); // what CloseHandle does with an event
LONG InterlockedCompareExchange(volatile LONG *target, LONG exchange, LONG comparand);
