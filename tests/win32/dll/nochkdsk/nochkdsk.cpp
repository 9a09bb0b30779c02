// A library like fmifs.dll whose export is only nearly named Chkdsk: the lookup must be exact.
#include <windows.h>

extern "C" __declspec(dllexport) void WINAPI ChkdskEx() {}
