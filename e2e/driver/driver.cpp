// Test driver for the end-to-end tests: a console program run under Wine that
// finds windows by their texts, reads their controls and works them as a user
// would. It reads one command per line (UTF-8) on stdin and answers each with
// one line of JSON (UTF-8) on stdout, so a harness can keep it running.

#include "command_loop.h"
#include "commands.h"

int wmain() {
  return kdriver::ServeCommands(kdriver::RunCommand);
}
