#include <gtest/gtest.h>

#include "app/form1.h"
#include "expected.h"
#include "hotkey/hotkey_code.h"
#include "platform/fake/fake_platform.h"

namespace kestrune {
namespace {

constexpr uint32_t kCtrlAlt = 0x3;
constexpr uint32_t kNoRepeat = 0x4000;

HotKeySetting Setting(VbBool shift, VbBool ctrl, VbBool alt, std::string sChar) {
  return HotKeySetting{shift, ctrl, alt, std::move(sChar)};
}

TEST(HotKeyConversion, SettingToCodeModifiersAndKey) {
  struct Case {
    HotKeySetting setting;
    HotKeyCode code;
    uint32_t modifiers, vk;
  };
  const Case cases[] = {
      {Setting(kTrue, kFalse, kTrue, "A"), 0x0541, 5, 0x41},
      {Setting(kFalse, kTrue, kFalse, "p"), 0x0270, 2, 0x70},
      {Setting(1, 1, 1, "\x81"), 0x0781, 7, 0x81},  // 1 counts as True; a lead byte is a key
      {Setting(kFalse, kTrue, kFalse, "AB"), 0x0200, 2, 0},  // only one byte names a key
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HotKeySettingToCode(c.setting), c.code);
    EXPECT_EQ(HotKeyModifiers(c.setting), c.modifiers) << std::hex << c.code;
    EXPECT_EQ(HotKeyVirtualKey(c.setting), c.vk) << std::hex << c.code;
  }
  HotKeySetting s;
  CodeToHotKeySetting(0x0A41, s);  // Ctrl + extended + A: the extended flag goes
  EXPECT_EQ(HotKeySettingToCode(s), 0x0241);
  EXPECT_EQ(s.bCtrl, kTrue);
}

// Guards against a key code lost or sign-extended on its way through sChar.
TEST(HotKeyConversion, EveryCodeSurvivesTheRoundTrip) {
  for (HotKeyCode code = 0; code < 0x800; ++code) {
    HotKeySetting s;
    CodeToHotKeySetting(code, s);
    ASSERT_EQ(HotKeySettingToCode(s), code);
    ASSERT_EQ(HotKeyVirtualKey(s), static_cast<uint32_t>(code & 0xFF));
  }
}

class HotKeyTest : public testing::Test {
 protected:
  void SetUp() override {
    form1.HotKey = Setting(kFalse, 1, 1, "W");
    fake.Show(form1);
    main = fake.WindowHandle(form1);
  }
  size_t Captures() const {
    size_t n = 0;
    for (const auto& box : fake.boxes) n += box.text.starts_with(expected::kLockedOnPrefix);
    return n;
  }
  int AtomReferences() { return fake.atoms[expected::kHotKeyAtomName].second; }

  FakePlatform fake;
  Form1 form1{fake, fake};
  Hwnd main = 0;
};

TEST_F(HotKeyTest, SetUpRegistersUnderTheSignWidenedAtomAndShowsIt) {
  ASSERT_EQ(fake.hotKeys.size(), 1u);
  EXPECT_EQ(fake.hotKeys[0].id, static_cast<int16_t>(fake.atoms[expected::kHotKeyAtomName].first));
  EXPECT_LT(fake.hotKeys[0].id, 0);
  EXPECT_EQ(fake.hotKeys[0].modifiers, kCtrlAlt | kNoRepeat);  // held down, it sends one press
  const auto& editor = fake.hotKeyControls.at(form1.hHotKeyCtl);
  EXPECT_EQ(editor.code, 0x0657u);
  EXPECT_EQ(editor.parent, fake.ControlHandle(form1.picHotKey));
  EXPECT_EQ(editor.width * 100 + editor.height, 30517);
  EXPECT_EQ(form1.HotKey.bCtrl, kTrue);  // written back in normal form
}

// Guards the editor's rules: a bare key or Shift+key is shown with Alt
// instead; other combinations as typed. The editor writes in its host's font.
TEST_F(HotKeyTest, EditorReplacesBareAndShiftOnlyModifiersWithAlt) {
  const auto& editor = fake.hotKeyControls.at(form1.hHotKeyCtl);
  EXPECT_EQ(editor.rulesInvalid, 3u);
  EXPECT_EQ(editor.rulesDefault, 4);
  EXPECT_EQ(editor.font, FakePlatform::kHostFont);
  const std::pair<uint32_t, uint32_t> typedShown[] = {
      {0x041, 0x441}, {0x141, 0x441}, {0x241, 0x241}, {0x341, 0x341}, {0x541, 0x541}};
  for (const auto& [typed, shown] : typedShown) {
    fake.TypeIntoHotKeyControl(form1.hHotKeyCtl, typed);
    EXPECT_EQ(editor.code, shown) << std::hex << typed;
  }
}

TEST_F(HotKeyTest, ChangeReregistersTheEditorsCombinationAndSavesIt) {
  struct Case {
    uint32_t typed;  // editor value
    uint32_t modifiers;
    bool heldElsewhere;
  };
  const Case cases[] = {{0x0657, kCtrlAlt, false}, {0x0342, 6, false}, {0x0351, 6, true}};
  for (const Case& c : cases) {
    if (c.heldElsewhere) fake.heldElsewhere.insert({c.modifiers, c.typed & 0xFF});
    fake.TypeIntoHotKeyControl(form1.hHotKeyCtl, c.typed);
    fake.files.clear();
    ASSERT_TRUE(fake.Click(form1.cmdSet));
    SCOPED_TRACE(c.typed);
    ASSERT_EQ(fake.hotKeys.size(), c.heldElsewhere ? 0u : 1u);  // the old one always goes
    if (!c.heldElsewhere) {
      EXPECT_EQ(fake.hotKeys[0].vk, c.typed & 0xFF);
      EXPECT_EQ(fake.hotKeys[0].modifiers, c.modifiers | kNoRepeat);
    }
    EXPECT_EQ(HotKeySettingToCode(form1.HotKey), static_cast<HotKeyCode>(c.typed));
    EXPECT_EQ(fake.hotKeyControls.at(form1.hHotKeyCtl).code, c.typed);
    EXPECT_EQ(AtomReferences(), 1);
    EXPECT_EQ(fake.files.count(form1.SettingsPath()), 1u);
    // A refused combination must not pass for a working one.
    const bool told =
        !fake.boxes.empty() && fake.boxes.back().text == expected::kHotKeyRefused.text;
    EXPECT_EQ(told, c.heldElsewhere);
    if (told) {
      EXPECT_EQ(fake.boxes.back().style, expected::kHotKeyRefused.style);
    }
    form1.Command1.SetCaption(expected::kArmedCaption);
    EXPECT_EQ(fake.PressHotKey(c.modifiers, c.typed & 0xFF), !c.heldElsewhere);
  }
  EXPECT_EQ(Captures(), 2u);
}

TEST(HotKeyStart, StoredCombinationHeldElsewhereIsReportedAtStart) {
  FakePlatform fake;
  Form1 form1{fake, fake};
  form1.HotKey = Setting(kFalse, kTrue, kTrue, "W");
  fake.heldElsewhere.insert({kCtrlAlt, 'W'});
  fake.Show(form1);
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(fake.boxes[0].text, expected::kHotKeyRefused.text);
  EXPECT_EQ(fake.hotKeyControls.at(form1.hHotKeyCtl).code, 0x0657u);  // still shown
  EXPECT_TRUE(fake.IsVisible(form1));
}

TEST_F(HotKeyTest, IdentifierTestComparesTheLastFourHexDigits) {
  struct Case {
    uint16_t atom;
    uintptr_t wParam;
    bool ours;
  };
  const uintptr_t widened = static_cast<uintptr_t>(static_cast<intptr_t>(int16_t{-0x3FEE}));
  const Case cases[] = {
      {0xC012, widened, true},
      {0xC012, 0xC012, true},
      {0xC012, 0xC013, false},
      {0, 0, true},
      {5, 5, true},
      {5, 0x10005, false},  // "0005" is not "5"
  };
  fake.defaultProcResult = 77;
  for (const Case& c : cases) {
    form1.HotKeyAtom = static_cast<int16_t>(c.atom);
    for (const char* caption : {expected::kReselectPrompt, expected::kArmedCaption}) {
      const bool captures = c.ours && caption == expected::kArmedCaption;
      form1.Command1.SetCaption(caption);
      fake.boxes.clear();
      fake.defaultProcMessages.clear();
      if (captures) fake.ScriptBox(kIdCancel);
      EXPECT_EQ(fake.Dispatch(main, kWmHotKey, c.wParam, -3), 77);
      EXPECT_EQ(Captures(), captures ? 1u : 0u) << std::hex << c.wParam;
      ASSERT_EQ(fake.defaultProcMessages.size(), 1u);  // passed on unchanged either way
      EXPECT_EQ(fake.defaultProcMessages[0].wParam, c.wParam);
      EXPECT_EQ(fake.defaultProcMessages[0].lParam, -3);
    }
  }
}

// Guards against a second install saving the hook as its own predecessor,
// which would make the pass-through call itself without end.
TEST_F(HotKeyTest, HookInstallsOnceAndUnhooksOnce) {
  EXPECT_FALSE(form1.HookWindowProc(main));
  fake.Dispatch(main, 0x0010, 0, 0);
  EXPECT_EQ(fake.defaultProcMessages.size(), 1u);
  EXPECT_TRUE(form1.UnhookWindowProc(main));
  fake.failSetWindowLong = true;  // a second unhook must not even try
  EXPECT_TRUE(form1.UnhookWindowProc(main));
  form1.Command1.SetCaption(expected::kArmedCaption);
  fake.PressHotKey(kCtrlAlt, 'W');
  EXPECT_EQ(Captures(), 0u);
}

}  // namespace
}  // namespace kestrune
