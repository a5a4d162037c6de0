#pragma once

#include "platform/form.h"

namespace kestrune {

// Menu command ids of the main window.
constexpr int kMenuIdExit = 101;
constexpr int kMenuIdVersion = 201;

// The design of the main window: every control and menu, as data.
const FormSpec& Form1Layout();

}  // namespace kestrune
