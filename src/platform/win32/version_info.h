#pragma once

#include <windows.h>

#include <string>

#include "platform/types.h"
#include "platform/win32/handles.h"

namespace kestrune::win32 {

// The version resource of the module at path; zeros and no copyright when
// it has none or the version library cannot be loaded.
VersionInfo ReadVersionInfo(const std::wstring& path);

}  // namespace kestrune::win32
