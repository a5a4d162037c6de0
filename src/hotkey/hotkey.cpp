#include "app/form1.h"
#include "app/texts.h"
#include "hotkey/hotkey_code.h"

namespace kestrune {

namespace {

// The identifier registered under the atom: the atom widened with its sign,
// as the word parameter of the hotkey message brings it back.
int32_t HotKeyId(int16_t atom) {
  return atom;
}

// Every registration goes through here: the previous one and its atom are
// released first, so at most one hotkey and one atom reference are held.
void RegisterFromCode(Form1& form, HotKeyCode code) {
  form.HotKeyRemove();
  form.HotKeyAtom = static_cast<int16_t>(form.ops.GlobalAddAtomA(texts::kHotKeyAtomName));
  CodeToHotKeySetting(code, form.HotKey);
  // A combination held by another program is refused; the editor and the
  // settings keep it all the same, and capture waits for a later change. The
  // user is told, or a hotkey that does nothing would look registered.
  const uint32_t key = HotKeyVirtualKey(form.HotKey);
  const bool registered =
      form.ops.RegisterHotKey(form.rt.WindowHandle(form), HotKeyId(form.HotKeyAtom),
                              HotKeyModifiers(form.HotKey) | kModNoRepeat, key);
  SetHotKeyControlValue(form.ops, form.hHotKeyCtl, code);
  if (!registered && key != 0)
    form.rt.MsgBox(texts::kHotKeyRefused, kMbIconExclamation, texts::kAppTitle);
}

}  // namespace

void Form1::HotKeySetUp() {
  hHotKeyCtl = CreateHotKeyControl(ops, rt, picHotKey);
  RegisterFromCode(*this, HotKeySettingToCode(HotKey));
  HookWindowProc(rt.WindowHandle(*this));
}

void Form1::HotKeyRemove() {
  ops.UnregisterHotKey(rt.WindowHandle(*this), HotKeyId(HotKeyAtom));
  ops.GlobalDeleteAtom(static_cast<Atom>(HotKeyAtom));
}

void Form1::cmdSet_Click() {
  RegisterFromCode(*this, GetHotKeyControlValue(ops, hHotKeyCtl));
  SaveSettings();
}

}  // namespace kestrune
