#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "hotkey/hotkey_setting.h"
#include "platform/types.h"

namespace kestrune {

// Elements of the action option group, one per exit action.
inline constexpr int kActionCount = 6;

// What default.ini keeps. Starts as the main window's design state.
struct SettingsValues {
  HotKeySetting hotKey;
  int check1 = 1;  // 0 unticked, 1 ticked, 2 grey
  std::array<bool, kActionCount> options{true, false, false, false, false, false};
  std::string fileNameAnsi;  // bytes in the system ANSI code page
};

enum class HotKeyFlag { Shift, Ctrl, Alt };

VbBool& FlagField(HotKeySetting& hotKey, HotKeyFlag flag);

// Receives each value the reader meets, at the moment it meets it, so that a
// reading stopped by a bad line leaves everything before it applied.
class SettingsTarget {
 public:
  virtual void SetHotKeyFlag(HotKeyFlag flag, VbBool value) = 0;
  // The key's virtual-key code as one raw ANSI byte.
  virtual void SetHotKeyChar(char keyByte) = 0;
  // value is 0, 1 or 2.
  virtual void SetCheck1(int value) = 0;
  // index is below kActionCount. Selecting one element clears the others;
  // clearing one touches that element only.
  virtual void SetOption(int index, bool selected) = 0;
  // Never empty and never holds CR LF.
  virtual void SetFileName(std::string_view ansi) = 0;

 protected:
  ~SettingsTarget() = default;
};

// The whole file: seven key lines each followed by its value line, CR LF
// line ends, and a final empty line.
std::string SerializeSettings(const SettingsValues& values);

// Applies the file's value lines to target in file order. Stops silently at
// the first value that does not convert; returns false when it stopped there,
// true when it read to the end.
bool ReadSettings(std::string_view bytes, SettingsTarget& target);

// ReadSettings applied to a plain struct, with the option-group rule.
bool ReadSettings(std::string_view bytes, SettingsValues& values);

// The text of a UTF-8 file: what follows a byte-order mark, or the whole
// file when it is valid UTF-8 and holds at least one multi-byte sequence.
// nullopt for any other file, which is ANSI.
std::optional<std::string_view> Utf8Text(std::string_view bytes);

// "True"/"False" in any letter case, or a decimal integer (0 is False),
// spaces around allowed. True is kTrue.
std::optional<VbBool> ParseBoolean(std::string_view text);
// A decimal integer 0, 1 or 2, spaces around allowed.
std::optional<int> ParseCheckValue(std::string_view text);

}  // namespace kestrune
