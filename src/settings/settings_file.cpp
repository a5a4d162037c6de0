#include "settings/settings_file.h"

#include <cstddef>

namespace kestrune {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr char kFieldSeparator = '|';

// The key lines, in the order the writer puts them.
enum class Key { Shift, Ctrl, Alt, Char, Check1, Option1, FileName };
constexpr std::array<std::string_view, 7> kKeyLines = {
    "/HotKey(bShift)", "/HotKey(bCtrl)",   "/HotKey(bAlt)",     "/HotKey(sChar)",
    "/check1.Value",   "/Option1().Value", "/txtFileName.text",
};

std::string_view KeyLine(Key key) {
  return kKeyLines[static_cast<size_t>(key)];
}

std::optional<Key> KeyOf(std::string_view line) {
  for (size_t i = 0; i < kKeyLines.size(); ++i) {
    if (line == kKeyLines[i]) return static_cast<Key>(i);
  }
  return std::nullopt;
}

std::string_view TrimSpaces(std::string_view text) {
  constexpr std::string_view kSpaces = " ";
  const size_t first = text.find_first_not_of(kSpaces);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpaces) - first + 1);
}

bool EqualsIgnoringCase(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

struct DecimalInteger {
  bool negative;
  bool zero;
  std::string_view digits;  // without sign and leading zeros
};

// Any length of digits is accepted, so nothing here can overflow.
std::optional<DecimalInteger> ParseDecimal(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '+' || negative)) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  const size_t firstNonZero = text.find_first_not_of('0');
  if (firstNonZero == std::string_view::npos) return DecimalInteger{negative, true, {}};
  return DecimalInteger{negative, false, text.substr(firstNonZero)};
}

// The next line without its line end: CR LF, or a bare LF as editors on
// other systems save it. A last line without one still counts. A lone CR is
// data (the key byte may be one).
std::optional<std::string_view> NextLine(std::string_view& rest) {
  if (rest.empty()) return std::nullopt;
  const size_t end = rest.find('\n');
  std::string_view line = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  if (end != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// The key byte is written as one raw byte and CR LF, whatever the byte: right
// after its key line that shape is its value even when the byte is an LF. In
// a file saved with LF line ends the Enter key's CR is left before the LF.
std::optional<std::string_view> NextKeyByteLine(std::string_view& rest, bool lfFile) {
  const bool crLfAfterByte = rest.size() >= 3 && rest.substr(1, 2) == kLineEnd;
  const bool crBeforeLf = lfFile && rest.substr(0, 2) == kLineEnd;
  if (!crLfAfterByte && !crBeforeLf) return NextLine(rest);
  std::string_view line = rest.substr(0, 1);
  rest.remove_prefix(crLfAfterByte ? 3 : 2);
  return line;
}

// Whether the file ends its first line with a bare LF.
bool SavedWithLfLineEnds(std::string_view bytes) {
  const size_t end = bytes.find('\n');
  return end != std::string_view::npos && (end == 0 || bytes[end - 1] != '\r');
}

// The length of the valid UTF-8 sequence at the start of text, 0 if none:
// no overlong forms, no surrogates, nothing beyond U+10FFFF.
size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(0);
  if (lead < 0x80) return 1;
  const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  const unsigned second = byte(1);
  if (lead == 0xE0 && second < 0xA0) return 0;   // overlong
  if (lead == 0xED && second >= 0xA0) return 0;  // surrogate
  if (lead == 0xF0 && second < 0x90) return 0;   // overlong
  if (lead == 0xF4 && second >= 0x90) return 0;  // beyond U+10FFFF
  return length;
}

bool ApplyOptions(std::string_view line, SettingsTarget& target) {
  for (int index = 0;; ++index) {
    const size_t end = line.find(kFieldSeparator);
    const std::string_view field = line.substr(0, end);
    if (index >= kActionCount) return false;
    const std::optional<VbBool> selected = ParseBoolean(field);
    if (!selected) return false;
    target.SetOption(index, *selected != kFalse);
    if (end == std::string_view::npos) return true;
    line.remove_prefix(end + 1);
  }
}

bool ApplyValue(Key key, std::string_view line, SettingsTarget& target) {
  switch (key) {
    case Key::Shift:
    case Key::Ctrl:
    case Key::Alt: {
      const std::optional<VbBool> value = ParseBoolean(line);
      if (!value) return false;
      const HotKeyFlag flag = key == Key::Shift  ? HotKeyFlag::Shift
                              : key == Key::Ctrl ? HotKeyFlag::Ctrl
                                                 : HotKeyFlag::Alt;
      target.SetHotKeyFlag(flag, *value);
      return true;
    }
    case Key::Char:
      target.SetHotKeyChar(line.front());
      return true;
    case Key::Check1: {
      const std::optional<int> value = ParseCheckValue(line);
      if (!value) return false;
      target.SetCheck1(*value);
      return true;
    }
    case Key::Option1:
      return ApplyOptions(line, target);
    case Key::FileName:
      target.SetFileName(line);
      return true;
  }
  return false;
}

std::string_view BooleanText(bool value) {
  return value ? "True" : "False";
}

class ValuesTarget final : public SettingsTarget {
 public:
  explicit ValuesTarget(SettingsValues& values) : values_(values) {}

  void SetHotKeyFlag(HotKeyFlag flag, VbBool value) override {
    FlagField(values_.hotKey, flag) = value;
  }
  void SetHotKeyChar(char keyByte) override { values_.hotKey.sChar.assign(1, keyByte); }
  void SetCheck1(int value) override { values_.check1 = value; }
  void SetOption(int index, bool selected) override {
    if (selected) values_.options.fill(false);
    values_.options[static_cast<size_t>(index)] = selected;
  }
  void SetFileName(std::string_view ansi) override { values_.fileNameAnsi = ansi; }

 private:
  SettingsValues& values_;
};

}  // namespace

VbBool& FlagField(HotKeySetting& hotKey, HotKeyFlag flag) {
  switch (flag) {
    case HotKeyFlag::Shift:
      return hotKey.bShift;
    case HotKeyFlag::Ctrl:
      return hotKey.bCtrl;
    case HotKeyFlag::Alt:
      break;
  }
  return hotKey.bAlt;
}

std::optional<std::string_view> Utf8Text(std::string_view bytes) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (bytes.starts_with(kByteOrderMark)) return bytes.substr(kByteOrderMark.size());
  bool multiByte = false;
  for (std::string_view rest = bytes; !rest.empty();) {
    const size_t length = Utf8SequenceLength(rest);
    if (length == 0) return std::nullopt;
    multiByte = multiByte || length > 1;
    rest.remove_prefix(length);
  }
  if (!multiByte) return std::nullopt;
  return bytes;
}

std::optional<VbBool> ParseBoolean(std::string_view text) {
  text = TrimSpaces(text);
  if (EqualsIgnoringCase(text, "true")) return kTrue;
  if (EqualsIgnoringCase(text, "false")) return kFalse;
  const std::optional<DecimalInteger> number = ParseDecimal(text);
  if (!number) return std::nullopt;
  return number->zero ? kFalse : kTrue;
}

std::optional<int> ParseCheckValue(std::string_view text) {
  const std::optional<DecimalInteger> number = ParseDecimal(TrimSpaces(text));
  if (!number) return std::nullopt;
  if (number->zero) return 0;
  if (number->negative) return std::nullopt;
  if (number->digits == "1") return 1;
  if (number->digits == "2") return 2;
  return std::nullopt;
}

std::string SerializeSettings(const SettingsValues& values) {
  std::string out;
  auto line = [&out](std::string_view text) {
    out.append(text);
    out.append(kLineEnd);
  };
  const HotKeySetting& hotKey = values.hotKey;
  line(KeyLine(Key::Shift));
  line(BooleanText(hotKey.bShift != kFalse));
  line(KeyLine(Key::Ctrl));
  line(BooleanText(hotKey.bCtrl != kFalse));
  line(KeyLine(Key::Alt));
  line(BooleanText(hotKey.bAlt != kFalse));
  line(KeyLine(Key::Char));
  // Always exactly one raw byte, whatever it is, so every key code survives.
  line(std::string(1, hotKey.sChar.empty() ? '\0' : hotKey.sChar.front()));
  line(KeyLine(Key::Check1));
  line(std::to_string(values.check1));
  line(KeyLine(Key::Option1));
  for (size_t i = 0; i < values.options.size(); ++i) {
    if (i > 0) out.push_back(kFieldSeparator);
    out.append(BooleanText(values.options[i]));
  }
  out.append(kLineEnd);
  line(KeyLine(Key::FileName));
  line(values.fileNameAnsi);
  line("");
  return out;
}

bool ReadSettings(std::string_view bytes, SettingsTarget& target) {
  std::optional<Key> key;
  const bool lfFile = SavedWithLfLineEnds(bytes);
  bool afterKeyByteKey = false;
  while (const std::optional<std::string_view> line =
             afterKeyByteKey ? NextKeyByteLine(bytes, lfFile) : NextLine(bytes)) {
    afterKeyByteKey = false;
    if (line->empty()) continue;
    if (const std::optional<Key> lineKey = KeyOf(*line)) {
      key = lineKey;
      afterKeyByteKey = key == Key::Char;
      continue;
    }
    // Lines before the first key line belong to nothing; the backup rule
    // keeps them, as the writer would not write them.
    if (key && !ApplyValue(*key, *line, target)) return false;
  }
  return true;
}

bool ReadSettings(std::string_view bytes, SettingsValues& values) {
  ValuesTarget target(values);
  return ReadSettings(bytes, target);
}

}  // namespace kestrune
