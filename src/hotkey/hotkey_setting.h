#pragma once

#include <string>

#include "platform/types.h"

namespace kestrune {

// The global hotkey as the main window keeps it and the settings file stores
// it. sChar holds the key's virtual-key code as one raw byte of the ANSI code
// page, so every code 0-255 survives the trip through the settings file.
struct HotKeySetting {
  VbBool bShift = kFalse;
  VbBool bCtrl = kFalse;
  VbBool bAlt = kFalse;
  std::string sChar = std::string(1, '\0');
};

}  // namespace kestrune
