// Fuzz target for the settings reader: any bytes must read without a crash,
// a hang or an access outside the input, every value handed on must be one
// the main window can take, and whatever was read must be written and read
// back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/settings_file.h"

namespace {

using kestrune::HotKeyFlag;
using kestrune::VbBool;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// Checks each value against what the form step relies on.
class CheckingTarget final : public kestrune::SettingsTarget {
 public:
  void SetHotKeyFlag(HotKeyFlag, VbBool value) override {
    Require(value == kestrune::kTrue || value == kestrune::kFalse);
  }
  void SetHotKeyChar(char) override {}
  void SetCheck1(int value) override { Require(value >= 0 && value <= 2); }
  void SetOption(int index, bool) override {
    Require(index >= 0 && index < kestrune::kActionCount);
  }
  void SetFileName(std::string_view ansi) override {
    Require(!ansi.empty() && ansi.find("\r\n") == std::string_view::npos);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckingTarget checking;
  kestrune::ReadSettings(bytes, checking);

  kestrune::SettingsValues values;
  kestrune::ReadSettings(bytes, values);
  const std::string written = kestrune::SerializeSettings(values);
  kestrune::SettingsValues again;
  Require(kestrune::ReadSettings(written, again));
  Require(kestrune::SerializeSettings(again) == written);
  return 0;
}
