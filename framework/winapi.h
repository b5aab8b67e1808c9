// The one seam between the program and the Windows API. The program calls the Windows,
// Video for Windows and MCI functions by their own names; on Windows they come from the SDK,
// in the native test build from the test double in tests/fakewin.
#pragma once
#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#include <digitalv.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <vfw.h>
#else
#include "fakewin/windows.h"
#endif
