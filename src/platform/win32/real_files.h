#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

#include "platform/win32/handles.h"

namespace kestrune::win32 {

// Whether a normal file (not a folder, hidden or system file) is at path.
bool NormalFileExists(const std::wstring& path);
// The whole file; nullopt when it cannot be read or holds more than
// maxBytes (then nothing of it is read).
std::optional<std::string> ReadWholeFile(const std::wstring& path, size_t maxBytes);
// Puts bytes in target's place as WindowRuntime::ReplaceFileBytes describes.
bool ReplaceWholeFile(const std::wstring& target, const std::string& bytes,
                      const std::wstring& backup);

}  // namespace kestrune::win32
