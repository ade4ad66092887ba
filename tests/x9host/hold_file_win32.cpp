// Holds a file open as another program may: reading and writing shared, deletion not. Made for
// wine_test.sh. Usage: hold_file.exe FILE SECONDS; prints "held" once the file is open.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::puts("held");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(_wtoi(argv[2])) * 1000);
  CloseHandle(file);
  return 0;
}
