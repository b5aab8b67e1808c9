// The test double of the Windows API: what the program's units see instead of the SDK
// headers in the native build (see framework/winapi.h).
#pragma once
#include "fakewin/types.h"
#include "fakewin/gdi.h"
#include "fakewin/user.h"
#include "fakewin/vfw.h"
#include "fakewin/mci.h"
#include "fakewin/wave.h"
#include "fakewin/files.h"
