#include <cstddef>
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
  void SetFileName(std::string_view ansi) override {
    form_.txtFileName.SetCaption(form_.rt.FromAnsi(std::string(ansi)));
  }
  void IgnoredLine(std::string_view) override { ignoredLines = true; }

  bool ignoredLines = false;

 private:
  Form1& form_;
};

SettingsValues CollectSettings(Form1& form) {
  SettingsValues values;
  values.hotKey = form.HotKey;
  values.check1 = form.Check1.Value();
  for (size_t i = 0; i < values.options.size(); ++i)
    values.options[i] = form.Option1[i]->Selected();
  values.fileNameAnsi = form.rt.ToAnsi(form.txtFileName.Caption());
  return values;
}

}  // namespace

void Form1::LoadSettings(const std::string& path) {
  const std::optional<std::string> bytes = rt.ReadFileBytes(path, kMaxSettingsFileBytes);
  if (!bytes) return;
  Form1Target target(*this);
  // Taken whole only when every line was read and none was left aside.
  if (ReadSettings(*bytes, target) && !target.ignoredLines) settingsBytesKnown = *bytes;
}

// Bytes on disk that this run neither read whole nor wrote are the user's:
// a file in another encoding, one whose reading stopped at a bad line, one
// edited meanwhile, or one too large to read.
bool Form1::SettingsFileNeedsBackup(const std::string& path) {
  // Whatever can be read counts, a hidden file too; what cannot is the
  // user's when it is there at all.
  if (const auto onDisk = rt.ReadFileBytes(path, kMaxSettingsFileBytes))
    return onDisk != settingsBytesKnown;
  return rt.FileExists(path);
}

bool Form1::KankyouOutPut(const std::string& path) {
  std::string bytes = SerializeSettings(CollectSettings(*this));
  const std::string backup = SettingsFileNeedsBackup(path) ? path + kBackupSuffix : "";
  if (!rt.ReplaceFileBytes(path, bytes, backup)) return false;
  settingsBytesKnown = std::move(bytes);
  return true;
}

}  // namespace kestrune
