// Holds a file open until ended, sharing everything (so that only the asker's refusal to share
// tells that it is held): "holdopen FILE READY" creates READY once the file is held. The
// test's paths are plain ASCII.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const HANDLE held =
      CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 1;
  const HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (ready == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(ready);
  Sleep(INFINITE);
  return 0;
}
