#include "command_loop.h"

#include <cstdio>
#include <cstdlib>

#include "window_query.h"

namespace kdriver {

std::string Line::Arg(int n) const {
  size_t start = 0;
  for (int i = 0;; ++i) {
    start = rest.find_first_not_of(' ', start);
    if (start == std::string::npos) return {};
    size_t end = rest.find(' ', start);
    if (i == n) return rest.substr(start, end == std::string::npos ? end : end - start);
    if (end == std::string::npos) return {};
    start = end;
  }
}

HWND Line::Handle() const {
  return ParseHandle(Arg(0));
}

unsigned long Line::Number(int n) const {
  return strtoul(Arg(n).c_str(), nullptr, 0);
}

namespace {

Line Parse(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  size_t space = text.find(' ');
  if (space == std::string::npos) return {text, {}};
  return {text.substr(0, space), text.substr(space + 1)};
}

}  // namespace

size_t Skip(const std::string& text, int words) {
  size_t at = 0;
  for (int i = 0; i < words; ++i) {
    at = text.find_first_not_of(' ', at);
    if (at == std::string::npos) return text.size();
    at = text.find(' ', at);
    if (at == std::string::npos) return text.size();
  }
  return at + 1;
}

int ServeCommands(std::string (*run)(const Line& line)) {
  char buffer[8192];
  while (fgets(buffer, sizeof buffer, stdin)) {
    Line line = Parse(buffer);
    if (line.verb == "quit") break;
    if (line.verb.empty()) continue;
    std::string answer = run(line) + "\n";
    fwrite(answer.data(), 1, answer.size(), stdout);
    fflush(stdout);
  }
  return 0;
}

}  // namespace kdriver
