// The end-to-end tests' commands: read windows, menus and message boxes, work
// them as a user would, and watch processes. Every action that could open a
// modal box is posted, never sent: a sent message would block the driver
// until the box closed.

#pragma once

#include <string>

#include "command_loop.h"

namespace kdriver {

std::string RunCommand(const Line& line);

}  // namespace kdriver
