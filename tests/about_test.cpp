#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "about/frm_about.h"
#include "app/form1.h"
#include "app/form1_layout.h"
#include "expected.h"
#include "platform/fake/fake_platform.h"

namespace kestrune {
namespace {

using namespace std::string_literals;
using Value = FakePlatform::RegistryValue;

const std::string kPathKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const std::string kFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
const std::string kProgram = "C:\\Program Files\\Common Files\\msinfo32.exe";
const std::string kFolder = "C:\\Tools\\MSInfo";
const std::string kFolderProgram = kFolder + "\\MSINFO32.EXE";
constexpr uint32_t kKeySetValueAndCreateSubKey = 0x6;  // what a standard user lacks

class AboutTest : public ::testing::Test {
 protected:
  void SetPath(const Value& value) { fake.registry[{kHkeyLocalMachine, kPathKey}]["PATH"] = value; }
  void SetFolder(const std::string& data) {
    fake.registry[{kHkeyLocalMachine, kFolderKey}]["MSINFO"] = {kRegSz, data};
  }

  FakePlatform fake;
  FrmAbout about{fake, fake};
};

// ---- StartSysInfo: each road to a launch or to the message ----

struct Road {
  const char* name;
  std::optional<Value> path;          // first location
  std::optional<std::string> folder;  // second location
  std::vector<std::string> files;
  std::vector<std::string> launches;
  bool message;
};

class StartSysInfoTest : public AboutTest, public ::testing::WithParamInterface<Road> {};

// Every road runs as a standard user, who may not open HKEY_LOCAL_MACHINE for
// writing: guards against opening the keys with full access.
TEST_P(StartSysInfoTest, LaunchesOrTellsItIsUnavailable) {
  const Road& road = GetParam();
  fake.deniedAccessBits = kKeySetValueAndCreateSubKey;
  fake.environment["CommonProgramFiles"] = "C:\\Program Files\\Common Files";
  if (road.path) SetPath(*road.path);
  if (road.folder) SetFolder(*road.folder);
  for (const std::string& file : road.files) fake.files[file] = "MZ";

  about.StartSysInfo();

  EXPECT_EQ(fake.launches, road.launches);
  if (road.message) {
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, expected::kSysInfoUnavailable.text);
    EXPECT_EQ(fake.boxes[0].style, expected::kSysInfoUnavailable.style);  // OK only, no icon
    EXPECT_EQ(fake.boxes[0].caption, expected::kSysInfoUnavailable.caption);
  } else {
    EXPECT_TRUE(fake.boxes.empty());
  }
  // Every open is matched by a close, whatever the road.
  EXPECT_EQ(fake.registryCloses.size(), fake.registryAccessMasks.size());
}

INSTANTIATE_TEST_SUITE_P(
    Roads, StartSysInfoTest,
    ::testing::Values(
        Road{"FirstLocation",
             Value{kRegSz, kProgram + '\0'},
             kFolder,
             {kProgram, kFolderProgram},
             {kProgram},
             false},
        // A path to a missing file fails at the start; the second location is not tried.
        Road{"FirstLocationMissingFile",
             Value{kRegSz, kProgram},
             kFolder,
             {kFolderProgram},
             {kProgram},
             true},
        Road{"SecondLocation",
             std::nullopt,
             kFolder + '\0',
             {kFolderProgram},
             {kFolderProgram},
             false},
        Road{"SecondLocationWithoutProgram", std::nullopt, kFolder, {}, {}, true},
        Road{"NoLocation", std::nullopt, std::nullopt, {}, {}, true},
        // A value without data ends in the message at once, the second untried.
        Road{"FirstLocationWithoutData", Value{kRegSz, ""}, kFolder, {kFolderProgram}, {}, true},
        Road{"FirstLocationOverlong",
             Value{kRegSz, std::string(1025, 'x')},
             kFolder,
             {kFolderProgram},
             {kFolderProgram},
             false},
        // An expandable string must have its variables resolved before the start.
        Road{"FirstLocationExpandable",
             Value{kRegExpandSz, "%commonprogramfiles%\\msinfo32.exe\0"s},
             std::nullopt,
             {kProgram},
             {kProgram},
             false}),
    [](const ::testing::TestParamInfo<Road>& param) { return std::string(param.param.name); });

// ---- GetKeyValue: what the bytes of a value become ----

struct ValueCase {
  const char* name;
  Value value;
  KeyRead result;
  std::string keyVal;
};

class GetKeyValueTest : public AboutTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(GetKeyValueTest, ReadsValue) {
  const ValueCase& c = GetParam();
  SetPath(c.value);
  std::string keyVal = "before";
  EXPECT_EQ(about.GetKeyValue(kHkeyLocalMachine, kPathKey, "PATH", keyVal), c.result);
  EXPECT_EQ(keyVal, c.keyVal);
  EXPECT_EQ(fake.registryCloses.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Values, GetKeyValueTest,
    ::testing::Values(ValueCase{"WithNul", {kRegSz, "C:\\a.exe\0"s}, KeyRead::Read, "C:\\a.exe"},
                      ValueCase{"WithoutNul", {kRegSz, "C:\\a.exe"}, KeyRead::Read, "C:\\a.exe"},
                      ValueCase{"TwoNulsLoseOne", {kRegSz, "ab\0\0"s}, KeyRead::Read, "ab\0"s},
                      ValueCase{"Exactly1024",
                                {kRegSz, std::string(1024, 'a')},
                                KeyRead::Read,
                                std::string(1024, 'a')},
                      ValueCase{"NoData", {kRegSz, ""}, KeyRead::NoData, "before"},
                      // "C:\ツール\a.exe" in code page 932: the second byte of ツ is 0x5C.
                      ValueCase{"AnsiDoubleByte",
                                {kRegSz, "C:\\\x83\x63\x81\x5b\x83\x8b\\a.exe\0"s},
                                KeyRead::Read,
                                "C:\\ツール\\a.exe"}),
    [](const ::testing::TestParamInfo<ValueCase>& param) { return std::string(param.param.name); });

// Guards the close on a failed open: the key handle, still 0, is closed too.
TEST_F(AboutTest, MissingKeyFailsAndClosesHandleZero) {
  std::string keyVal = "before";
  EXPECT_EQ(about.GetKeyValue(kHkeyLocalMachine, kPathKey, "PATH", keyVal), KeyRead::Failed);
  EXPECT_EQ(keyVal, "");
  EXPECT_EQ(fake.registryCloses, std::vector<Handle>{0});
}

// ---- The dialog as the user meets it ----

class AboutDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { fake.Show(form1); }

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
  OpenAbout([&](FrmAbout& about) {
    EXPECT_TRUE(fake.IsModal(about));
    EXPECT_EQ(about.Caption(), "Kestrune");
    EXPECT_EQ(about.lblTitle.Caption(), "Kestrune");
    // "β" follows the revision directly, with no space.
    EXPECT_EQ(about.lblVersion.Caption(), "ﾊﾞｰｼﾞｮﾝ 2.10.305β");
    EXPECT_EQ(about.lblDisclaimer.Caption(), "(C) Kestrune 無保証");
  });
}

// Guards against the message closing the dialog or the program.
TEST_F(AboutDialogTest, DialogStaysOpenAfterMessageUntilOk) {
  OpenAbout([&](FrmAbout& about) {
    EXPECT_FALSE(fake.Click(form1.Command1));  // the main window waits meanwhile
    EXPECT_TRUE(fake.Click(about.cmdSysInfo));
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_TRUE(fake.IsLoaded(about));
    EXPECT_TRUE(fake.Click(about.cmdOK));
    EXPECT_FALSE(fake.IsLoaded(about));
  });
  EXPECT_FALSE(fake.ended);
  EXPECT_TRUE(fake.Click(form1.Command1));
}

// Guards against state surviving between openings: each one loads afresh.
TEST_F(AboutDialogTest, EachOpeningLoadsAgain) {
  OpenAbout([](FrmAbout& about) { about.lblVersion.SetCaption("changed"); });
  OpenAbout([](FrmAbout& about) { EXPECT_EQ(about.lblVersion.Caption(), "ﾊﾞｰｼﾞｮﾝ 1.0.0β"); });
}

}  // namespace
}  // namespace kestrune
