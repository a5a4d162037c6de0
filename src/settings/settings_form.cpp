#include "app/form1.h"
#include "settings/settings_file.h"

namespace kestrune {

namespace {

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
  const std::optional<std::string> bytes = rt.ReadFileBytes(path);
  if (!bytes) return;
  Form1Target target(*this);
  ReadSettings(*bytes, target);
}

bool Form1::KankyouOutPut(const std::string& path) {
  return rt.ReplaceFileBytes(path, SerializeSettings(CollectSettings(*this)));
}

}  // namespace kestrune
