#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/form1.h"
#include "app/texts.h"
#include "hotkey/hotkey_code.h"
#include "platform/fake/fake_platform.h"

namespace kestrune {
namespace {

constexpr uint32_t kModAlt = 1, kModCtrl = 2, kModShift = 4;
constexpr uint32_t kVkW = 'W';

HotKeySetting Setting(VbBool shift, VbBool ctrl, VbBool alt, std::string sChar) {
  HotKeySetting s;
  s.bShift = shift;
  s.bCtrl = ctrl;
  s.bAlt = alt;
  s.sChar = std::move(sChar);
  return s;
}

// ---- Conversions ----

TEST(HotKeyConversion, SettingToCodeModifiersAndKey) {
  struct Case {
    HotKeySetting setting;
    HotKeyCode code;
    uint32_t modifiers;
    uint32_t vk;
  };
  const Case cases[] = {
      {Setting(kTrue, kFalse, kTrue, "A"), 0x0541, kModShift | kModAlt, 0x41},
      {Setting(kFalse, kTrue, kFalse, "p"), 0x0270, kModCtrl, 0x70},  // F1
      {Setting(kFalse, kFalse, kFalse, std::string(1, '\0')), 0, 0, 0},
      // Any non-zero flag counts, not only -1.
      {Setting(1, 1, 1, "W"), 0x0757, kModShift | kModCtrl | kModAlt, 'W'},
      // Lead bytes of double-byte code pages and high codes are keys too.
      {Setting(kFalse, kTrue, kFalse, "\x81"), 0x0281, kModCtrl, 0x81},
      {Setting(kFalse, kFalse, kTrue, "\xFE"), 0x04FE, kModAlt, 0xFE},
      // Only a single byte names a key.
      {Setting(kFalse, kTrue, kFalse, ""), 0x0200, kModCtrl, 0},
      {Setting(kFalse, kTrue, kFalse, "AB"), 0x0200, kModCtrl, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << c.code);
    EXPECT_EQ(HotKeySettingToCode(c.setting), c.code);
    EXPECT_EQ(HotKeyModifiers(c.setting), c.modifiers);
    EXPECT_EQ(HotKeyVirtualKey(c.setting), c.vk);
  }
}

TEST(HotKeyConversion, CodeToSettingNormalisesAndDropsExtendedFlag) {
  struct Case {
    HotKeyCode code;
    VbBool shift, ctrl, alt;
    char key;
    HotKeyCode back;
  };
  const Case cases[] = {
      {0x0A41, kFalse, kTrue, kFalse, 'A', 0x0241},  // Ctrl + extended + A
      {0x0000, kFalse, kFalse, kFalse, '\0', 0},    {0x0141, kTrue, kFalse, kFalse, 'A', 0x0141},
      {0x0441, kFalse, kFalse, kTrue, 'A', 0x0441}, {0x0F70, kTrue, kTrue, kTrue, 'p', 0x0770},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << c.code);
    HotKeySetting s = Setting(1, 1, 1, "junk");
    CodeToHotKeySetting(c.code, s);
    EXPECT_EQ(s.bShift, c.shift);
    EXPECT_EQ(s.bCtrl, c.ctrl);
    EXPECT_EQ(s.bAlt, c.alt);
    EXPECT_EQ(s.sChar, std::string(1, c.key));
    EXPECT_EQ(HotKeySettingToCode(s), c.back);
  }
}

// Guards against a key code lost or sign-extended on its way through sChar.
TEST(HotKeyConversion, EveryKeyCodeAndModifierSurvivesTheRoundTrip) {
  for (HotKeyCode flags = 0; flags < 8; ++flags) {
    for (HotKeyCode key = 0; key < 256; ++key) {
      const HotKeyCode code = flags << 8 | key;
      HotKeySetting s;
      CodeToHotKeySetting(code, s);
      ASSERT_EQ(s.sChar.size(), 1u);
      ASSERT_EQ(HotKeySettingToCode(s), code);
      ASSERT_EQ(HotKeyVirtualKey(s), static_cast<uint32_t>(key));
    }
  }
}

TEST(HotKeyConversion, MakeWordAndMakeLong) {
  EXPECT_EQ(MakeWord(0x41, 5), 0x0541);
  EXPECT_EQ(MakeWord(0x1241, 2), 0x0241);  // only the low byte of low
  EXPECT_EQ(MakeWord(-1, 0), 0xFF);
  EXPECT_EQ(MakeLong(4, 0), 4);
  EXPECT_EQ(MakeLong(-1, 0), -1);  // low is not masked
  EXPECT_EQ(MakeLong(0x1234, 0x7FFF), 0x7FFF1234);
  EXPECT_EQ(MakeLong(0, -1), static_cast<int32_t>(0xFFFF0000u));
  EXPECT_EQ(MakeLParam(4, 0), 4);
}

// ---- Registration, editor and hook on the simulated desktop ----

class HotKeyTest : public testing::Test {
 protected:
  void Start(HotKeySetting setting) {
    form1.HotKey = std::move(setting);
    fake.Show(form1);
    main = fake.WindowHandle(form1);
  }
  void StartWithCtrlAltW() { Start(Setting(kFalse, 1, 1, "W")); }
  int32_t RegisteredId() const { return form1.HotKeyAtom; }
  int AtomReferences() {
    auto it = fake.atoms.find(texts::kHotKeyAtomName);
    return it == fake.atoms.end() ? 0 : it->second.second;
  }
  const FakePlatform::HotKeyControl& Editor() { return fake.hotKeyControls.at(form1.hHotKeyCtl); }
  size_t CaptureBoxes() const {
    size_t n = 0;
    for (const auto& box : fake.boxes) n += box.text.starts_with(texts::kLockedOnPrefix);
    return n;
  }

  FakePlatform fake;
  Form1 form1{fake, fake};
  Hwnd main = 0;
};

TEST_F(HotKeyTest, EditorFillsItsHostWithTheHostsFontAndRules) {
  StartWithCtrlAltW();
  const auto& editor = Editor();
  EXPECT_EQ(editor.parent, fake.ControlHandle(form1.picHotKey));
  EXPECT_EQ(editor.width, 305);
  EXPECT_EQ(editor.height, 17);
  EXPECT_EQ(editor.rulesInvalid, 3u);
  EXPECT_EQ(editor.rulesDefault, 4);
  EXPECT_EQ(editor.font, FakePlatform::kHostFont);
}

TEST_F(HotKeyTest, EditorShowsABareKeyOrShiftKeyWithAlt) {
  StartWithCtrlAltW();
  struct Case {
    uint32_t typed, shown;
  };
  const Case cases[] = {
      {0x0041, 0x0441}, {0x0141, 0x0441}, {0x0241, 0x0241},
      {0x0441, 0x0441}, {0x0341, 0x0341}, {0x0741, 0x0741},
  };
  for (const Case& c : cases) {
    fake.TypeIntoHotKeyControl(form1.hHotKeyCtl, c.typed);
    EXPECT_EQ(Editor().code, c.shown) << std::hex << c.typed;
  }
}

TEST_F(HotKeyTest, SetUpRegistersTheLoadedSettingUnderASignWidenedAtom) {
  StartWithCtrlAltW();
  ASSERT_EQ(fake.hotKeys.size(), 1u);
  const auto& r = fake.hotKeys[0];
  EXPECT_EQ(r.hwnd, main);
  EXPECT_LT(r.id, 0);  // string atoms are 0xC000 and above
  EXPECT_EQ(static_cast<uint16_t>(r.id), fake.atoms.at(texts::kHotKeyAtomName).first);
  EXPECT_EQ(r.modifiers, kModCtrl | kModAlt);
  EXPECT_EQ(r.vk, kVkW);
  EXPECT_EQ(Editor().code, 0x0657u);
  EXPECT_EQ(form1.HotKey.bCtrl, kTrue);  // written back in normal form
  EXPECT_EQ(form1.HotKey.bAlt, kTrue);
  EXPECT_EQ(AtomReferences(), 1);
  EXPECT_EQ(form1.PrevWndProc, FakePlatform::kOriginalProc);
}

TEST_F(HotKeyTest, FirstStartWithoutSettingsRegistersTheEmptyCombination) {
  Start(HotKeySetting{});
  ASSERT_EQ(fake.hotKeys.size(), 1u);
  EXPECT_EQ(fake.hotKeys[0].modifiers, 0u);
  EXPECT_EQ(fake.hotKeys[0].vk, 0u);
  EXPECT_EQ(Editor().code, 0u);
  EXPECT_NE(form1.PrevWndProc, 0);
}

TEST_F(HotKeyTest, ChangeRegistersTheEditorsCombinationAndSavesIt) {
  StartWithCtrlAltW();
  fake.TypeIntoHotKeyControl(form1.hHotKeyCtl, 0x0342);  // Shift+Ctrl+B
  ASSERT_TRUE(fake.Click(form1.cmdSet));

  ASSERT_EQ(fake.hotKeys.size(), 1u);
  EXPECT_EQ(fake.hotKeys[0].id, RegisteredId());
  EXPECT_EQ(fake.hotKeys[0].modifiers, kModShift | kModCtrl);
  EXPECT_EQ(fake.hotKeys[0].vk, static_cast<uint32_t>('B'));
  EXPECT_EQ(form1.HotKey.bShift, kTrue);
  EXPECT_EQ(form1.HotKey.bAlt, kFalse);
  EXPECT_EQ(form1.HotKey.sChar, "B");
  EXPECT_EQ(Editor().code, 0x0342u);
  EXPECT_EQ(AtomReferences(), 1);  // the old reference was released
  EXPECT_EQ(fake.files.count(form1.SettingsPath()), 1u);
  EXPECT_FALSE(fake.PressHotKey(kModCtrl | kModAlt, kVkW));
}

TEST_F(HotKeyTest, ChangeWithAnUnchangedEditorKeepsOneWorkingRegistration) {
  StartWithCtrlAltW();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(fake.Click(form1.cmdSet));
  ASSERT_EQ(fake.hotKeys.size(), 1u);
  EXPECT_EQ(fake.hotKeys[0].id, RegisteredId());
  EXPECT_EQ(AtomReferences(), 1);
  EXPECT_EQ(Editor().code, 0x0657u);
  EXPECT_EQ(fake.files.count(form1.SettingsPath()), 1u);
  fake.Click(form1.Command1);
  EXPECT_TRUE(fake.PressHotKey(kModCtrl | kModAlt, kVkW));
  EXPECT_EQ(CaptureBoxes(), 1u);
}

TEST_F(HotKeyTest, CombinationHeldElsewhereIsKeptButNotRegistered) {
  StartWithCtrlAltW();
  fake.heldElsewhere.insert({kModShift | kModCtrl, 'Q'});
  fake.TypeIntoHotKeyControl(form1.hHotKeyCtl, 0x0351);  // Shift+Ctrl+Q
  ASSERT_TRUE(fake.Click(form1.cmdSet));

  EXPECT_TRUE(fake.hotKeys.empty());  // the previous one was released too
  EXPECT_EQ(Editor().code, 0x0351u);
  EXPECT_EQ(form1.HotKey.sChar, "Q");
  EXPECT_EQ(fake.files.count(form1.SettingsPath()), 1u);
  fake.Click(form1.Command1);
  EXPECT_FALSE(fake.PressHotKey(kModCtrl | kModAlt, kVkW));
  EXPECT_EQ(CaptureBoxes(), 0u);
}

TEST_F(HotKeyTest, FailedSaveAfterAChangeIsReported) {
  StartWithCtrlAltW();
  fake.failFileWrites = true;
  ASSERT_TRUE(fake.Click(form1.cmdSet));
  ASSERT_FALSE(fake.boxes.empty());
  EXPECT_EQ(fake.boxes.back().style, kMbIconError);
  EXPECT_EQ(fake.hotKeys.size(), 1u);  // the new registration stays in force
}

// The identifier test, on a hotkey message whose word parameter is varied.
TEST_F(HotKeyTest, IdentifierTestComparesTheLastFourHexDigits) {
  StartWithCtrlAltW();
  struct Case {
    int16_t atom;
    uintptr_t wParam;
    bool captures;
  };
  const auto widened = [](int32_t id) { return static_cast<uintptr_t>(static_cast<intptr_t>(id)); };
  const Case cases[] = {
      {static_cast<int16_t>(0xC012), widened(static_cast<int16_t>(0xC012)), true},
      {static_cast<int16_t>(0xC012), 0xC012, true},  // widened with zeros
      {static_cast<int16_t>(0xC012), 0x1C012, true},
      {static_cast<int16_t>(0xC012), 0xC013, false},
      {static_cast<int16_t>(0xC012), widened(-1), false},
      {0, 0, true},
      {0, 0x10000, false},  // "0000" is not "0"
      {5, 0x10005, false},
      {5, 5, true},
  };
  fake.defaultProcResult = 77;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "atom " << c.atom << " wParam 0x" << std::hex << c.wParam);
    form1.HotKeyAtom = c.atom;
    form1.Command1.SetCaption(texts::kArmedCaption);
    fake.boxes.clear();
    fake.defaultProcMessages.clear();
    if (c.captures) fake.ScriptBox(kIdCancel);
    EXPECT_EQ(fake.Dispatch(main, kWmHotKey, c.wParam, 0x12345), 77);
    EXPECT_EQ(CaptureBoxes(), c.captures ? 1u : 0u);
    ASSERT_EQ(fake.defaultProcMessages.size(), 1u);
    const auto& m = fake.defaultProcMessages[0];
    EXPECT_EQ(m.hwnd, main);
    EXPECT_EQ(m.msg, kWmHotKey);
    EXPECT_EQ(m.wParam, c.wParam);
    EXPECT_EQ(m.lParam, 0x12345);
  }
}

TEST_F(HotKeyTest, MessagesPassOnUnchangedAndOnlyAnArmedHotKeyCaptures) {
  StartWithCtrlAltW();
  fake.defaultProcResult = -9;
  const uintptr_t id = static_cast<uintptr_t>(static_cast<intptr_t>(RegisteredId()));
  struct Case {
    const char* command1;
    uint32_t msg;
    uintptr_t wParam;
    size_t captures;
  };
  const Case cases[] = {
      {texts::kSelectPrompt, kWmHotKey, id, 0},
      {texts::kReselectPrompt, kWmHotKey, id, 0},
      {texts::kArmedCaption, kWmHotKey, id, 1},
      {texts::kArmedCaption, 0x0111, id, 0},  // another message, same parameter
      {texts::kArmedCaption, 0x0010, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command1);
    form1.Command1.SetCaption(c.command1);
    fake.boxes.clear();
    fake.defaultProcMessages.clear();
    if (c.captures) fake.ScriptBox(kIdCancel);
    EXPECT_EQ(fake.Dispatch(main, c.msg, c.wParam, -3), -9);
    EXPECT_EQ(CaptureBoxes(), c.captures);
    ASSERT_EQ(fake.defaultProcMessages.size(), 1u);
    EXPECT_EQ(fake.defaultProcMessages[0].msg, c.msg);
    EXPECT_EQ(fake.defaultProcMessages[0].wParam, c.wParam);
    EXPECT_EQ(fake.defaultProcMessages[0].lParam, -3);
  }
}

// Guards against a second install saving the hook as its own predecessor,
// which would make the pass-through call itself without end.
TEST_F(HotKeyTest, HookIsInstalledAtMostOnce) {
  StartWithCtrlAltW();
  EXPECT_FALSE(form1.HookWindowProc(main));
  EXPECT_EQ(form1.PrevWndProc, FakePlatform::kOriginalProc);
  fake.Dispatch(main, 0x0010, 0, 0);
  EXPECT_EQ(fake.defaultProcMessages.size(), 1u);
}

TEST_F(HotKeyTest, UnhookRestoresOnceAndThenDoesNothing) {
  StartWithCtrlAltW();
  EXPECT_TRUE(form1.UnhookWindowProc(main));
  EXPECT_EQ(form1.PrevWndProc, 0);
  // The hook is gone: an armed hotkey reaches the window but captures nothing.
  form1.Command1.SetCaption(texts::kArmedCaption);
  EXPECT_TRUE(fake.PressHotKey(kModCtrl | kModAlt, kVkW));
  EXPECT_EQ(CaptureBoxes(), 0u);
  fake.failSetWindowLong = true;  // a second call must not even try
  EXPECT_TRUE(form1.UnhookWindowProc(main));
  // And it can be installed again afterwards.
  fake.failSetWindowLong = false;
  EXPECT_TRUE(form1.HookWindowProc(main));
}

TEST_F(HotKeyTest, FailedUnhookKeepsThePreviousProcedure) {
  StartWithCtrlAltW();
  fake.failSetWindowLong = true;
  EXPECT_FALSE(form1.UnhookWindowProc(main));
  EXPECT_EQ(form1.PrevWndProc, FakePlatform::kOriginalProc);
}

TEST_F(HotKeyTest, FailedHookLeavesNothingInstalled) {
  fake.failSetWindowLong = true;
  StartWithCtrlAltW();
  EXPECT_EQ(form1.PrevWndProc, 0);
  form1.Command1.SetCaption(texts::kArmedCaption);
  EXPECT_TRUE(fake.PressHotKey(kModCtrl | kModAlt, kVkW));
  EXPECT_EQ(CaptureBoxes(), 0u);
  EXPECT_TRUE(form1.UnhookWindowProc(main));
}

TEST_F(HotKeyTest, FailedAtomRegistersUnderIdentifierZeroAndStillCaptures) {
  fake.failAddAtom = true;
  StartWithCtrlAltW();
  ASSERT_EQ(fake.hotKeys.size(), 1u);
  EXPECT_EQ(fake.hotKeys[0].id, 0);
  fake.Click(form1.Command1);
  EXPECT_TRUE(fake.PressHotKey(kModCtrl | kModAlt, kVkW));
  EXPECT_EQ(CaptureBoxes(), 1u);
}

TEST_F(HotKeyTest, FailedEditorCreationRegistersTheEmptyCombinationOnChange) {
  fake.failCreateWindow = true;
  StartWithCtrlAltW();
  EXPECT_EQ(form1.hHotKeyCtl, 0u);
  ASSERT_TRUE(fake.Click(form1.cmdSet));
  ASSERT_EQ(fake.hotKeys.size(), 1u);
  EXPECT_EQ(fake.hotKeys[0].modifiers, 0u);
  EXPECT_EQ(fake.hotKeys[0].vk, 0u);
}

}  // namespace
}  // namespace kestrune
