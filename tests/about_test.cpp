#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "about/frm_about.h"
#include "app/form1.h"
#include "app/form1_layout.h"
#include "app/texts.h"
#include "platform/fake/fake_platform.h"

namespace kestrune {
namespace {

using namespace std::string_literals;

const std::string kPathKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const std::string kFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
const std::string kProgram = "C:\\Program Files\\Common Files\\msinfo32.exe";
const std::string kFolder = "C:\\Tools\\MSInfo";
constexpr uint32_t kKeySetValueAndCreateSubKey = 0x6;  // what a standard user lacks

class AboutTest : public ::testing::Test {
 protected:
  void SetPath(uint32_t type, const std::string& data) {
    fake.registry[{kHkeyLocalMachine, kPathKey}]["PATH"] = {type, data};
  }
  void SetFolder(const std::string& data) {
    fake.registry[{kHkeyLocalMachine, kFolderKey}]["MSINFO"] = {kRegSz, data};
  }
  void AddFile(const std::string& path) { fake.files[path] = "MZ"; }

  void ExpectUnavailableMessage() {
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, texts::kSysInfoUnavailable);
    EXPECT_EQ(fake.boxes[0].style, kMbOk);  // OK only, no icon
    EXPECT_EQ(fake.boxes[0].caption, texts::kAppTitle);
  }

  FakePlatform fake;
  FrmAbout about{fake, fake};
};

// ---- StartSysInfo: each road to a launch or to the message ----

TEST_F(AboutTest, FirstLocationPathIsLaunched) {
  SetPath(kRegSz, kProgram + '\0');
  SetFolder(kFolder);
  AddFile(kProgram);
  AddFile(kFolder + "\\MSINFO32.EXE");
  about.StartSysInfo();
  EXPECT_EQ(fake.launches, std::vector<std::string>{kProgram});
  EXPECT_TRUE(fake.boxes.empty());
}

// Guards against falling back to the second location when the first names a
// file that is gone: the failed start alone decides.
TEST_F(AboutTest, FirstLocationNamingMissingFileShowsMessageWithoutSecondTry) {
  SetPath(kRegSz, kProgram + '\0');
  SetFolder(kFolder);
  AddFile(kFolder + "\\MSINFO32.EXE");
  about.StartSysInfo();
  EXPECT_EQ(fake.launches, std::vector<std::string>{kProgram});
  ExpectUnavailableMessage();
}

TEST_F(AboutTest, SecondLocationFolderWithProgramIsLaunched) {
  SetFolder(kFolder + '\0');
  AddFile(kFolder + "\\MSINFO32.EXE");
  about.StartSysInfo();
  EXPECT_EQ(fake.launches, std::vector<std::string>{kFolder + "\\MSINFO32.EXE"});
  EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(AboutTest, SecondLocationFolderWithoutProgramShowsMessageWithoutStart) {
  SetFolder(kFolder);
  about.StartSysInfo();
  EXPECT_TRUE(fake.launches.empty());
  ExpectUnavailableMessage();
}

TEST_F(AboutTest, NoLocationShowsMessage) {
  about.StartSysInfo();
  EXPECT_TRUE(fake.launches.empty());
  ExpectUnavailableMessage();
}

// Guards the decided outcome for a value without data: the message at once,
// the second location untried, and the opened key still closed.
TEST_F(AboutTest, FirstLocationWithoutDataShowsMessageAtOnce) {
  SetPath(kRegSz, "");
  SetFolder(kFolder);
  AddFile(kFolder + "\\MSINFO32.EXE");
  about.StartSysInfo();
  EXPECT_TRUE(fake.launches.empty());
  ExpectUnavailableMessage();
  EXPECT_EQ(fake.registryAccessMasks.size(), 1u);
  ASSERT_EQ(fake.registryCloses.size(), 1u);
  EXPECT_NE(fake.registryCloses[0], 0u);
}

// Guards against opening with full access: a standard user may read but not
// write HKEY_LOCAL_MACHINE, and System Information must still start.
TEST_F(AboutTest, StandardUserWithoutWriteAccessCanStartIt) {
  fake.deniedAccessBits = kKeySetValueAndCreateSubKey;
  SetPath(kRegSz, kProgram);
  AddFile(kProgram);
  about.StartSysInfo();
  EXPECT_EQ(fake.launches, std::vector<std::string>{kProgram});
  for (uint32_t mask : fake.registryAccessMasks) EXPECT_EQ(mask, kKeyRead);
}

// Guards the expandable string type: its variables must be resolved before
// the path is started.
TEST_F(AboutTest, ExpandableStringPathIsExpandedBeforeLaunch) {
  fake.environment["CommonProgramFiles"] = "C:\\Program Files\\Common Files";
  SetPath(kRegExpandSz, "%commonprogramfiles%\\msinfo32.exe\0"s);
  AddFile(kProgram);
  about.StartSysInfo();
  EXPECT_EQ(fake.launches, std::vector<std::string>{kProgram});
}

TEST_F(AboutTest, OverlongFirstValueFallsBackToSecondLocation) {
  SetPath(kRegSz, std::string(1025, 'x'));
  SetFolder(kFolder);
  AddFile(kFolder + "\\MSINFO32.EXE");
  about.StartSysInfo();
  EXPECT_EQ(fake.launches, std::vector<std::string>{kFolder + "\\MSINFO32.EXE"});
}

// ---- GetKeyValue: what the bytes of a value become ----

struct ValueCase {
  const char* name;
  uint32_t type;
  std::string data;
  KeyRead result;
  std::string keyVal;
};

class GetKeyValueTest : public AboutTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(GetKeyValueTest, ReadsValue) {
  const ValueCase& c = GetParam();
  SetPath(c.type, c.data);
  std::string keyVal = "before";
  EXPECT_EQ(about.GetKeyValue(kHkeyLocalMachine, kPathKey, "PATH", keyVal), c.result);
  EXPECT_EQ(keyVal, c.keyVal);
  // Every road closes exactly one key.
  EXPECT_EQ(fake.registryCloses.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Values, GetKeyValueTest,
    ::testing::Values(ValueCase{"WithNul", kRegSz, "C:\\a.exe\0"s, KeyRead::Read, "C:\\a.exe"},
                      ValueCase{"WithoutNul", kRegSz, "C:\\a.exe", KeyRead::Read, "C:\\a.exe"},
                      ValueCase{"TwoNulsLoseOne", kRegSz, "ab\0\0"s, KeyRead::Read, "ab\0"s},
                      ValueCase{"OnlyNul", kRegSz, "\0"s, KeyRead::Read, ""},
                      ValueCase{"Exactly1024", kRegSz, std::string(1024, 'a'), KeyRead::Read,
                                std::string(1024, 'a')},
                      ValueCase{"Exactly1024WithNul", kRegSz, std::string(1023, 'a') + '\0',
                                KeyRead::Read, std::string(1023, 'a')},
                      ValueCase{"Over1024", kRegSz, std::string(1025, 'a'), KeyRead::Failed, ""},
                      ValueCase{"NoData", kRegSz, "", KeyRead::NoData, "before"},
                      // "C:\ツール\a.exe" in code page 932: the second byte of ツ is 0x5C.
                      ValueCase{"AnsiDoubleByte", kRegSz, "C:\\\x83\x63\x81\x5b\x83\x8b\\a.exe\0"s,
                                KeyRead::Read, "C:\\ツール\\a.exe"},
                      ValueCase{"Dword", kRegDword, "\x39\x30\x00\x00"s, KeyRead::Read, "12345"},
                      ValueCase{"DwordHighBit", kRegDword, "\x00\x00\x00\x80"s, KeyRead::Read,
                                "2147483648"},
                      ValueCase{"OtherTypeKeepsText", 3, "\x01\x02"s, KeyRead::Read, "before"}),
    [](const ::testing::TestParamInfo<ValueCase>& param) { return std::string(param.param.name); });

// Guards the close on a failed open: the key handle, still 0, is closed too.
TEST_F(AboutTest, MissingKeyFailsAndClosesHandleZero) {
  std::string keyVal = "before";
  EXPECT_EQ(about.GetKeyValue(kHkeyLocalMachine, kPathKey, "PATH", keyVal), KeyRead::Failed);
  EXPECT_EQ(keyVal, "");
  EXPECT_EQ(fake.registryCloses, std::vector<Handle>{0});
}

TEST_F(AboutTest, MissingValueFailsAndClosesOpenedKey) {
  SetPath(kRegSz, "x");
  std::string keyVal = "before";
  EXPECT_EQ(about.GetKeyValue(kHkeyLocalMachine, kPathKey, "Other", keyVal), KeyRead::Failed);
  EXPECT_EQ(keyVal, "");
  ASSERT_EQ(fake.registryCloses.size(), 1u);
  EXPECT_NE(fake.registryCloses[0], 0u);
}

// ---- The dialog as the user meets it ----

class AboutDialogTest : public ::testing::Test {
 protected:
  // Opens the dialog from the main window's menu; inspect runs while it is up.
  void OpenAbout(const std::function<void(FrmAbout&)>& inspect) {
    fake.ScriptModal([&](Form& form) {
      auto& about = dynamic_cast<FrmAbout&>(form);
      inspect(about);
      if (fake.IsLoaded(about)) fake.Post([&] { fake.Click(about.cmdOK); });
    });
    ASSERT_TRUE(fake.ClickMenu(form1, kMenuIdVersion));
  }

  FakePlatform fake;
  Form1 form1{fake, fake};
};

TEST_F(AboutDialogTest, LoadShowsTitleVersionLineAndLegalNotice) {
  fake.version = {2, 10, 305, "(C) Kestrune 無保証"};
  fake.Show(form1);
  OpenAbout([&](FrmAbout& about) {
    EXPECT_TRUE(fake.IsModal(about));
    EXPECT_EQ(about.Caption(), "Kestrune");
    EXPECT_EQ(about.lblTitle.Caption(), "Kestrune");
    // "β" follows the revision directly, with no space.
    EXPECT_EQ(about.lblVersion.Caption(), "ﾊﾞｰｼﾞｮﾝ 2.10.305β");
    EXPECT_EQ(about.lblDisclaimer.Caption(), "(C) Kestrune 無保証");
    EXPECT_EQ(about.lblDescription.Caption(), "");
  });
  EXPECT_FALSE(fake.ended);
  EXPECT_TRUE(fake.IsVisible(form1));
}

TEST_F(AboutDialogTest, VersionOneReadsWithoutLeadingZeros) {
  fake.Show(form1);
  OpenAbout([](FrmAbout& about) { EXPECT_EQ(about.lblVersion.Caption(), "ﾊﾞｰｼﾞｮﾝ 1.0.0β"); });
}

TEST_F(AboutDialogTest, OkClosesDialogAndMainWindowTakesInputAgain) {
  fake.Show(form1);
  OpenAbout([&](FrmAbout& about) {
    EXPECT_FALSE(fake.Click(form1.Command1));  // the main window waits meanwhile
    EXPECT_TRUE(fake.Click(about.cmdOK));
    EXPECT_FALSE(fake.IsLoaded(about));
  });
  EXPECT_TRUE(fake.Click(form1.Command1));
}

// Guards against the message closing the dialog or the program.
TEST_F(AboutDialogTest, DialogStaysOpenAfterUnavailableMessage) {
  fake.Show(form1);
  OpenAbout([&](FrmAbout& about) {
    EXPECT_TRUE(fake.Click(about.cmdSysInfo));
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, texts::kSysInfoUnavailable);
    EXPECT_TRUE(fake.IsLoaded(about));
  });
  EXPECT_FALSE(fake.ended);
}

// Guards against state surviving between openings: each one loads afresh.
TEST_F(AboutDialogTest, EachOpeningLoadsAgain) {
  fake.Show(form1);
  OpenAbout([](FrmAbout& about) { about.lblVersion.SetCaption("changed"); });
  OpenAbout([](FrmAbout& about) { EXPECT_EQ(about.lblVersion.Caption(), "ﾊﾞｰｼﾞｮﾝ 1.0.0β"); });
}

TEST(AboutLayout, TabOrderIsCompleteAndOkTakesEnterAndEsc) {
  const FormSpec& spec = FrmAboutLayout();
  std::vector<int> tabs;
  for (const ControlSpec& row : spec.controls) {
    if (row.tabIndex >= 0) tabs.push_back(row.tabIndex);
    EXPECT_EQ(row.isDefault || row.isCancel, std::string(row.name) == "cmdOK") << row.name;
  }
  std::sort(tabs.begin(), tabs.end());
  for (size_t i = 0; i < tabs.size(); ++i) EXPECT_EQ(tabs[i], static_cast<int>(i));
}

}  // namespace
}  // namespace kestrune
