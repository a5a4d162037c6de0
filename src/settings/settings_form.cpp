#include <cstddef>
#include <optional>
#include <utility>

#include "app/form1.h"
#include "settings/settings_file.h"

namespace kestrune {

namespace {

// The format holds a few hundred bytes; anything far larger is no settings
// file, and reading it whole could exhaust the memory.
constexpr size_t kMaxSettingsFileBytes = 64 * 1024;
constexpr char kBackupSuffix[] = ".bak";

// Applies each value to the main window as the reader meets it.
class Form1Target final : public SettingsTarget {
 public:
  explicit Form1Target(Form1& form) : form_(form) {}

  void SetHotKeyFlag(HotKeyFlag flag, VbBool value) override {
    FlagField(form_.HotKey, flag) = value;
  }
  void SetHotKeyChar(char keyByte) override { form_.HotKey.sChar.assign(1, keyByte); }
  void SetCheck1(int value) override {
    form_.Check1.SetValue(value);
    form_.ApplyEnablingRule();
  }
  void SetOption(int index, bool selected) override {
    // An option button clears the others of its group when selected.
    form_.Option1[static_cast<size_t>(index)]->SetValue(selected ? 1 : 0);
  }
  // A window's text ends at a NUL: the box takes what it can show, and the
  // file's bytes, which then differ from what the writer would write, are
  // kept as the backup.
  void SetFileName(std::string_view ansi) override {
    form_.txtFileName.SetCaption(form_.rt.FromAnsi(std::string(ansi.substr(0, ansi.find('\0')))));
  }

 private:
  Form1& form_;
};

// None where the file name has no ANSI form the system will give: an empty
// line in its place would lose the only copy of it.
std::optional<SettingsValues> CollectSettings(Form1& form) {
  std::optional<std::string> fileName = form.rt.ToAnsi(form.txtFileName.Caption());
  if (!fileName) return std::nullopt;
  SettingsValues values;
  values.hotKey = form.HotKey;
  values.check1 = form.Check1.Value();
  for (size_t i = 0; i < values.options.size(); ++i)
    values.options[i] = form.Option1[i]->Selected();
  values.fileNameAnsi = std::move(*fileName);
  return values;
}

}  // namespace

void Form1::LoadSettings(const std::string& path) {
  using Outcome = WindowRuntime::ReadOutcome;
  const WindowRuntime::FileRead file = rt.ReadFileBytes(path, kMaxSettingsFileBytes);
  settingsFileUnreadable = file.outcome == Outcome::Unreadable || file.outcome == Outcome::TooLarge;
  if (file.outcome != Outcome::Read) return;
  // Editors save new files as UTF-8; the program's texts are ANSI. A file
  // with a byte-order mark is UTF-8 whatever else it holds.
  const std::optional<std::string_view> utf8 = Utf8Text(file.bytes);
  const bool byteOrderMark = utf8 && utf8->size() < file.bytes.size();
  Form1Target target(*this);
  if (!byteOrderMark) ReadSettings(file.bytes, target);
  // Exactly what the writer would write for the values read: our own file,
  // in ANSI even where half-width katakana also make valid UTF-8, replaced
  // without a backup. Anything else (another encoding, a stopped reading,
  // notes, a missing line) is the user's.
  const std::optional<SettingsValues> values = CollectSettings(*this);
  if (values && SerializeSettings(*values) == file.bytes) {
    settingsBytesKnown = file.bytes;
    return;
  }
  // Read again as UTF-8: the two readings differ only in texts and in
  // values neither can convert, so this one stops where the first did and
  // sets every value the first set.
  if (!utf8) return;
  if (const std::optional<std::string> ansi = rt.ToAnsi(std::string(*utf8)))
    ReadSettings(*ansi, target);
}

// The old bytes are kept as path + ".bak" unless they are the ones this run
// read whole or wrote; the runtime checks them at the replace itself, so an
// edit made meanwhile is kept too.
WindowRuntime::Replaced Form1::KankyouOutPut(const std::string& path) {
  const std::optional<SettingsValues> values = CollectSettings(*this);
  if (!values) return {};
  std::string bytes = SerializeSettings(*values);
  WindowRuntime::Replaced replaced =
      rt.ReplaceFileBytes(path, bytes, path + kBackupSuffix, settingsBytesKnown);
  if (replaced.done) settingsBytesKnown = std::move(bytes);
  return replaced;
}

}  // namespace kestrune
