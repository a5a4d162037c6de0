#include <cstdint>
#include <optional>
#include <string>

#include "app/form1.h"
#include "app/texts.h"

namespace kestrune {
namespace {

// An error number no multimedia command returns: MCI's own start at 256.
constexpr uint32_t kMciNotSent = 1;

// A name that cannot travel whole inside the quoted open command: a quote
// would end the quoted part and let the rest be read as command words, and a
// NUL would cut the command short.
bool CarriesIntact(const std::string& name) {
  return name.find_first_of(std::string("\"\0", 2)) == std::string::npos;
}

}  // namespace

void Form1::Command3_Click() {
  const std::string name = txtFileName.Caption();
  if (name.empty()) {
    rt.MsgBox(texts::kEnterFileName, kMbOk, texts::kPlaybackError);
    return;
  }
  if (!CarriesIntact(name) || !SoundPlay("\"" + name + "\"")) {
    rt.MsgBox(texts::kEnterCorrectFileName, kMbOk, texts::kPlaybackError);
  }
  rt.Show(*this);
}

bool Form1::SoundPlay(const std::string& name) {
  // A command the system cannot put in the ANSI code page is never sent,
  // and fails as a refused one does.
  auto send = [this](const std::string& command) -> uint32_t {
    const std::optional<std::string> ansi = rt.ToAnsi(command);
    return ansi ? ops.mciSendStringA(ansi->c_str(), nullptr, 0, 0) : kMciNotSent;
  };
  if (send("open " + name + " alias mysound") != 0) return false;
  send("play mysound wait");  // returns when playback has ended
  send("close mysound");
  return true;
}

}  // namespace kestrune
