/* A stand-in for a system DLL, planted beside the program under test. When a
 * process loads it, it leaves "<its own path>.<process image name>.loaded"
 * and does nothing else; every export is the same empty function. Built with
 * -nostdlib: it imports kernel32 alone. */
#include <windows.h>

void KStub(void) {}

static const wchar_t* BaseName(const wchar_t* path) {
  const wchar_t* base = path;
  for (const wchar_t* c = path; *c; ++c)
    if (*c == L'\\' || *c == L'/') base = c + 1;
  return base;
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  static wchar_t marker[2 * MAX_PATH + 16];
  static wchar_t image[MAX_PATH];
  if (!GetModuleFileNameW(self, marker, MAX_PATH)) return TRUE;
  if (!GetModuleFileNameW(NULL, image, MAX_PATH)) return TRUE;
  lstrcatW(marker, L".");
  lstrcatW(marker, BaseName(image));
  lstrcatW(marker, L".loaded");
  HANDLE file = CreateFileW(marker, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return TRUE;
}
