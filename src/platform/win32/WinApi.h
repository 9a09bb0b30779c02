// windows.h as the Windows platform includes it: without the min/max macros, and without the
// A/W macros whose names the seam uses as method names (every call here names the W function).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef CopyFile
#undef DrawText
#undef GetComputerName
#undef GetDriveType
#undef GetFreeSpace
#undef GetUserName
// A no-op left from 16-bit Windows, in the way of the core's Yield.
#undef Yield
