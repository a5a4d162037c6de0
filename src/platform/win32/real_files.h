#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

#include "platform/runtime.h"
#include "platform/win32/handles.h"

namespace kestrune::win32 {

// Every file call the program makes goes through this table, so that a test
// can fail any one of them; the product keeps the system's functions.
struct FileCalls {
  decltype(&::CreateFileW) CreateFileW;
  decltype(&::ReadFile) ReadFile;
  decltype(&::WriteFile) WriteFile;
  decltype(&::SetEndOfFile) SetEndOfFile;
  decltype(&::FlushFileBuffers) FlushFileBuffers;
  decltype(&::ReplaceFileW) ReplaceFileW;
  decltype(&::MoveFileExW) MoveFileExW;
  decltype(&::CopyFileW) CopyFileW;
  decltype(&::DeleteFileW) DeleteFileW;
  decltype(&::GetFileAttributesW) GetFileAttributesW;
  decltype(&::GetFileSizeEx) GetFileSizeEx;
};
extern FileCalls fileCalls;

// Whether a normal file (not a folder, hidden or system file) is at path.
bool NormalFileExists(const std::wstring& path);
// As WindowRuntime::ReadFileBytes.
WindowRuntime::FileRead ReadWholeFile(const std::wstring& path, size_t maxBytes);
// As WindowRuntime::ReplaceFileBytes.
struct FileReplace {
  bool done = false;
  std::wstring oldBytesAt;
};
FileReplace ReplaceWholeFile(const std::wstring& target, const std::string& bytes,
                             const std::wstring& backup,
                             const std::optional<std::string>& knownOld);

}  // namespace kestrune::win32
