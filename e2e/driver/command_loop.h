// The driver's conversation: one command per line (UTF-8) on stdin, one line
// of JSON on stdout for each, until "quit" or the end of the input.

#pragma once

#include <windows.h>

#include <string>

namespace kdriver {

struct Line {
  std::string verb;
  std::string rest;  // everything after the verb and one space
  std::string Arg(int n) const;
  HWND Handle() const;
  unsigned long Number(int n) const;
};

// The offset just after the first `words` words of `text` and one space.
size_t Skip(const std::string& text, int words);

// Answers every line with what `run` makes of it.
int ServeCommands(std::string (*run)(const Line& line));

}  // namespace kdriver
