#include <gtest/gtest.h>

#include <string>

#include "form1_fixture.h"

namespace kestrune {
namespace {

// The file as the program writes it from the design state with Check1
// unticked, and with Check1 ticked.
constexpr char kWrittenUnticked[] =
    "/HotKey(bShift)\r\nFalse\r\n/HotKey(bCtrl)\r\nFalse\r\n/HotKey(bAlt)\r\nFalse\r\n"
    "/HotKey(sChar)\r\n\0\r\n/check1.Value\r\n0\r\n/Option1().Value\r\n"
    "True|False|False|False|False|False\r\n/txtFileName.text\r\n\r\n\r\n";
const std::string kUnticked(kWrittenUnticked, sizeof kWrittenUnticked - 1);
constexpr char kWrittenTicked[] =
    "/HotKey(bShift)\r\nFalse\r\n/HotKey(bCtrl)\r\nFalse\r\n/HotKey(bAlt)\r\nFalse\r\n"
    "/HotKey(sChar)\r\n\0\r\n/check1.Value\r\n1\r\n/Option1().Value\r\n"
    "True|False|False|False|False|False\r\n/txtFileName.text\r\n\r\n\r\n";
const std::string kTicked(kWrittenTicked, sizeof kWrittenTicked - 1);

constexpr char kWriteFailedPrefix[] = "設定ファイルを保存できませんでした。\r\n\r\n";
constexpr char kWriteFailedSuffix[] =
    "\r\n\r\nフォルダーに書き込めるか、ファイルが読み取り専用でないか確認してください。"
    "以前の設定はそのまま残っています。";

class SettingsSafety : public Form1Test {
 protected:
  std::string BackupPath() const { return SettingsPath() + ".bak"; }

  // A close attempt answered No: the file is written, the program stays.
  void CloseAttempt() {
    fake.ScriptBox(kIdNo);
    fake.CloseWindow(form1);
  }

  // A close attempt whose write failed: the report, then the question.
  void ExpectReportedFailure() {
    ASSERT_EQ(fake.boxes.size(), 2u);
    EXPECT_EQ(fake.boxes[0].text, kWriteFailedPrefix + SettingsPath() + kWriteFailedSuffix);
    EXPECT_EQ(fake.boxes[0].style, 0x10);
    EXPECT_EQ(fake.boxes[1].text, "アプリケーションを終了しますか ?");
  }
};

// Bytes the run did not take whole are the user's: the first replace keeps
// them, later replaces of the program's own bytes leave that backup alone.
TEST_F(SettingsSafety, FirstReplaceOfBytesNotReadWholeKeepsThemAsBackup) {
  const std::string utf16("\xff\xfe/\0H\0o\0t\0K\0e\0y\0\r\0\n\0", 20);
  std::string fifty = "False";
  for (int i = 1; i < 50; ++i) fifty += "|False";
  const std::string typo = "/check1.Value\r\n0\r\n/Option1().Value\r\n" + fifty +
                           "\r\n/txtFileName.text\r\nC:\\b.wav\r\n";
  const std::string notes = "my own notes\r\n/check1.Value\r\n0\r\n";
  for (const std::string& user : {utf16, typo, notes}) {
    SCOPED_TRACE(user);
    FakePlatform desk;
    Form1 form(desk, desk);
    const std::string path = form.SettingsPath();
    desk.files[path] = user;
    desk.Show(form);
    desk.ScriptBox(kIdNo);
    desk.CloseWindow(form);
    EXPECT_EQ(desk.files[path + ".bak"], user);
    desk.files[path + ".bak"] = "older backup";
    desk.ScriptBox(kIdNo);
    desk.CloseWindow(form);
    EXPECT_EQ(desk.files[path + ".bak"], "older backup");
    EXPECT_EQ(desk.boxes.size(), 2u);  // the two questions, no report
  }
}

// A hidden file is the user's as much as a visible one.
TEST_F(SettingsSafety, HiddenFileNotReadWholeIsKeptAsBackup) {
  fake.files[SettingsPath()] = "my own notes\r\n";
  fake.hiddenFiles.insert(SettingsPath());
  Start();
  CloseAttempt();
  EXPECT_EQ(fake.files[BackupPath()], "my own notes\r\n");
}

TEST_F(SettingsSafety, FileInTheWritersFormOrWrittenByThisRunIsReplacedWithoutBackup) {
  fake.files[SettingsPath()] = kUnticked;
  Start();
  ASSERT_TRUE(fake.Click(form1.Check1));
  CloseAttempt();
  EXPECT_EQ(fake.files[SettingsPath()], kTicked);
  EXPECT_EQ(fake.files.count(BackupPath()), 0u);
  ASSERT_TRUE(fake.Click(form1.Check1));
  CloseAttempt();
  EXPECT_EQ(fake.files[SettingsPath()], kUnticked);
  EXPECT_EQ(fake.files.count(BackupPath()), 0u);
}

TEST_F(SettingsSafety, FileEditedWhileRunningIsKeptAtTheNextWrite) {
  Start();
  CloseAttempt();
  EXPECT_EQ(fake.files.count(BackupPath()), 0u);  // there was no file
  fake.files[SettingsPath()] = "edited meanwhile";
  CloseAttempt();
  EXPECT_EQ(fake.files[BackupPath()], "edited meanwhile");
  EXPECT_EQ(fake.files[SettingsPath()], kTicked);
}

// Up to 64 KiB a file is read; one byte more and it is not read at all, the
// program says so and starts as without a file. Neither is in the writer's
// form, so both become the backup.
TEST_F(SettingsSafety, FileOver64KiBIsNotReadAndKeptAsBackup) {
  for (size_t size : {size_t{65536}, size_t{65537}}) {
    SCOPED_TRACE(size);
    FakePlatform desk;
    Form1 form(desk, desk);
    const std::string path = form.SettingsPath();
    std::string big = "/check1.Value\r\n0\r\n";
    big.resize(size, '\n');
    desk.files[path] = big;
    desk.Show(form);
    const bool read = size == 65536;
    EXPECT_EQ(form.Check1.Value(), read ? 0 : 1);
    EXPECT_EQ(desk.readSizes.size(), read ? 1u : 0u);
    desk.ScriptBox(kIdNo);
    desk.CloseWindow(form);
    EXPECT_EQ(desk.files[path], read ? kUnticked : kTicked);
    EXPECT_EQ(desk.files[path + ".bak"], big);
    EXPECT_EQ(desk.boxes.size(), read ? 1u : 2u);  // the report, then the question
  }
}

TEST_F(SettingsSafety, ReadOnlyFileIsNeverReplaced) {
  fake.files[SettingsPath()] = kTicked;
  fake.readOnlyFiles.insert(SettingsPath());
  Start();
  ASSERT_TRUE(fake.Click(form1.Check1));
  fake.ScriptBox(kIdOk);
  fake.ScriptBox(kIdNo);
  fake.CloseWindow(form1);
  ExpectReportedFailure();
  EXPECT_EQ(fake.files[SettingsPath()], kTicked);
  EXPECT_EQ(fake.readOnlyFiles.count(SettingsPath()), 1u);
  EXPECT_EQ(fake.files.count(BackupPath()), 0u);
}

// The system takes paths up to its limit: with the backup path exactly at
// it the replace works; one character more and it is a reported failure
// that leaves the file as it was.
TEST_F(SettingsSafety, DeepFolderAtTheSystemsPathLimit) {
  for (size_t over : {0u, 1u}) {
    SCOPED_TRACE(over);
    FakePlatform desk;
    desk.pathLimit = 300;
    desk.appPath = "C:\\" + std::string(300 - 3 - 16 + over, 'd');
    Form1 form(desk, desk);
    const std::string path = form.SettingsPath();
    ASSERT_EQ(path.size() + 4, 300 + over);
    desk.files[path] = "hand-edited";
    desk.Show(form);
    desk.ScriptBox(kIdOk);
    desk.ScriptBox(kIdNo);
    desk.CloseWindow(form);
    if (over == 0) {
      EXPECT_EQ(desk.files[path], kTicked);
      EXPECT_EQ(desk.files[path + ".bak"], "hand-edited");
      EXPECT_EQ(desk.boxes.size(), 1u);
    } else {
      EXPECT_EQ(desk.files[path], "hand-edited");
      ASSERT_EQ(desk.boxes.size(), 2u);
      EXPECT_EQ(desk.boxes[0].text, kWriteFailedPrefix + path + kWriteFailedSuffix);
    }
  }
}

// Where files may be written but not created, the file is written in place;
// a backup can only go over an existing one, and without one the user's
// bytes are not overwritten.
TEST_F(SettingsSafety, FolderThatAllowsNoNewFilesIsWrittenInPlace) {
  fake.noCreateFolders.insert(fake.appPath);
  fake.files[SettingsPath()] = kTicked;
  Start();
  ASSERT_TRUE(fake.Click(form1.Check1));
  CloseAttempt();
  EXPECT_EQ(fake.files[SettingsPath()], kUnticked);

  fake.files[SettingsPath()] = "edited meanwhile";
  fake.ScriptBox(kIdOk);
  CloseAttempt();
  EXPECT_EQ(fake.files[SettingsPath()], "edited meanwhile");
  EXPECT_EQ(fake.files.count(BackupPath()), 0u);
  ASSERT_EQ(fake.boxes.size(), 3u);
  EXPECT_EQ(fake.boxes[1].text, kWriteFailedPrefix + SettingsPath() + kWriteFailedSuffix);

  fake.files[BackupPath()] = "older backup";
  CloseAttempt();
  EXPECT_EQ(fake.files[SettingsPath()], kUnticked);
  EXPECT_EQ(fake.files[BackupPath()], "edited meanwhile");

  fake.files.erase(SettingsPath());
  fake.ScriptBox(kIdOk);
  CloseAttempt();
  EXPECT_EQ(fake.files.count(SettingsPath()), 0u);
  EXPECT_EQ(fake.boxes.size(), 6u);
}

// The file as the writer writes it with Check1 0 and the given file name.
std::string WriterForm(const std::string& fileName) {
  std::string bytes = kUnticked;
  return bytes.insert(bytes.size() - 4, fileName);
}

// What a file holds decides how it is read, whether the start says it could
// not be read, and whether its bytes are kept at the first save: they are
// replaced without a backup only when they are exactly the writer's form.
TEST_F(SettingsSafety, EachFileIsReadAsItsEditorSavedItAndKeptUnlessInTheWritersForm) {
  const std::string sound = "D:\\効果音\\完了.wav";  // UTF-8, as typed here
  const std::string soundAnsi = "D:\\\x8c\xf8\x89\xca\x89\xb9\\\x8a\xae\x97\xb9.wav";
  struct Case {
    const char* name;
    std::optional<std::string> disk;
    bool locked;
    std::string fileName;  // the text box afterwards, UTF-8
    int check1;
    bool backup;
  };
  const Case cases[] = {
      {"UTF-8 as Notepad saves it", WriterForm(sound), false, sound, 0, true},
      {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + WriterForm("C:\\a.wav"), false, "C:\\a.wav",
       0, true},
      {"code page 932 in the writer's form", WriterForm(soundAnsi), false, sound, 0, false},
      // Half-width katakana in code page 932 can also be valid UTF-8.
      {"half-width katakana the writer wrote", WriterForm("C:\\Sounds\\\xCA\xB2.wav"), false,
       "C:\\Sounds\\ﾊｲ.wav", 0, false},
      // Its first line is a key, so the bad value after it ends the reading.
      {"a byte-order mark before the first key",
       "\xEF\xBB\xBF/check1.Value\r\n5\r\n/txtFileName.text\r\nC:\\a.wav\r\n", false, "", 1, true},
      {"an overlong sequence is no UTF-8", "notes\r\n" + WriterForm("C:\\\xC0\xAF\xCA\xB2.wav"),
       false, "C:\\ﾀｯﾊｲ.wav", 0, true},
      {"a surrogate is no UTF-8", "notes\r\n" + WriterForm("C:\\\xED\xA0\xBD\xCA\xB2.wav"), false,
       "C:\\恝ｽﾊｲ.wav", 0, true},
      // One "?" per character, never a look-alike letter.
      {"characters the code page lacks", WriterForm("C:\\Müsik\\ä – ½.wav"), false,
       "C:\\M?sik\\? ? ?.wav", 0, true},
      {"a NUL in a value", WriterForm(std::string("C:\\a\0b.wav", 10)), false, "C:\\a", 0, true},
      {"true in lower case", kUnticked.substr(0, 17) + "true" + kUnticked.substr(22), false, "", 0,
       true},
      {"a missing line", kUnticked.substr(0, kUnticked.size() - 23), false, "", 0, true},
      {"locked by another program", kUnticked, true, "", 1, true},
      {"no file", std::nullopt, false, "", 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform desk;
    Form1 form(desk, desk);
    const std::string path = form.SettingsPath();
    if (c.disk) desk.files[path] = *c.disk;
    if (c.locked) desk.lockedFiles.insert(path);
    desk.Show(form);
    EXPECT_EQ(form.txtFileName.Caption(), c.fileName);
    EXPECT_EQ(form.Check1.Value(), c.check1);
    if (c.locked) {
      ASSERT_EQ(desk.boxes.size(), 1u);
      EXPECT_EQ(desk.boxes[0].text,
                expected::kSettingsReadFailedPrefix + path + expected::kSettingsReadFailedSuffix);
      EXPECT_EQ(desk.boxes[0].style, expected::kSettingsReadFailedStyle);
      EXPECT_EQ(desk.boxes[0].caption, expected::kAppTitle);
      desk.lockedFiles.clear();
    } else {
      EXPECT_TRUE(desk.boxes.empty());
    }
    desk.ScriptBox(kIdNo);
    desk.CloseWindow(form);
    EXPECT_EQ(desk.files.count(path + ".bak"), c.backup ? 1u : 0u);
    if (c.backup) {
      EXPECT_EQ(desk.files[path + ".bak"], *c.disk);
    } else if (c.disk) {
      EXPECT_EQ(desk.files[path], *c.disk);  // written back as it was read
    }
  }
  // Written back in the writer's form, in the ANSI code page.
  FakePlatform desk;
  Form1 form(desk, desk);
  desk.files[form.SettingsPath()] = WriterForm(sound);
  desk.Show(form);
  desk.ScriptBox(kIdNo);
  desk.CloseWindow(form);
  EXPECT_EQ(desk.files[form.SettingsPath()], WriterForm(soundAnsi));
}

// Where the ANSI code page is UTF-8 the program's own file is UTF-8 and
// still its own; a name the system will not convert is never saved as an
// empty line: the save fails as any other.
TEST_F(SettingsSafety, Utf8AnsiCodePageKeepsTheOwnFileAndARefusedConversionSavesNothing) {
  const std::string own = WriterForm("D:\\効果音\\完了.wav");
  for (bool refused : {false, true}) {
    SCOPED_TRACE(refused);
    FakePlatform desk;
    desk.utf8AnsiCodePage = true;
    Form1 form(desk, desk);
    const std::string path = form.SettingsPath();
    desk.files[path] = own;
    desk.Show(form);
    EXPECT_EQ(form.txtFileName.Caption(), "D:\\効果音\\完了.wav");
    desk.failAnsiConversions = refused;
    desk.ScriptBox(kIdNo);
    desk.CloseWindow(form);
    EXPECT_EQ(desk.files[path], own);
    EXPECT_EQ(desk.files.count(path + ".bak"), 0u);
    ASSERT_EQ(desk.boxes.size(), refused ? 2u : 1u);
    EXPECT_EQ(desk.boxes[0].text, refused ? kWriteFailedPrefix + path + kWriteFailedSuffix
                                          : "アプリケーションを終了しますか ?");
  }
}

// The new settings saved, the user's old bytes neither kept as the backup
// nor put back: the user is told where they are, never that the old
// settings remain.
TEST_F(SettingsSafety, OldBytesLeftAsideAreNamedInTheirOwnBox) {
  fake.files[SettingsPath()] = "my own notes\r\n";
  fake.files[BackupPath()] = "older backup";
  fake.readOnlyFiles.insert(BackupPath());
  fake.oldBytesStrandedAt = SettingsPath() + ".1f2e3d4c.old";
  Start();
  CloseAttempt();
  EXPECT_EQ(fake.files[SettingsPath()], kTicked);
  EXPECT_EQ(fake.files[fake.oldBytesStrandedAt], "my own notes\r\n");
  EXPECT_EQ(fake.files[BackupPath()], "older backup");
  ASSERT_EQ(fake.boxes.size(), 2u);
  EXPECT_EQ(fake.boxes[0].text, expected::kSettingsOldKeptAsidePrefix + fake.oldBytesStrandedAt);
  EXPECT_EQ(fake.boxes[0].style, expected::kSettingsOldKeptAsideStyle);
  EXPECT_EQ(fake.boxes[0].caption, expected::kAppTitle);
  EXPECT_EQ(fake.boxes[1].text, "アプリケーションを終了しますか ?");
}

// A refused second instance writes nothing, also when the session ends
// while its box is open.
TEST_F(SettingsSafety, RefusedSecondInstanceNeverWritesTheFile) {
  fake.previousInstance = true;
  fake.files[SettingsPath()] = "the running instance's settings";
  fake.ScriptBox(kIdOk, [this] { fake.EndSession(); });
  Start();
  EXPECT_TRUE(fake.ended);
  EXPECT_EQ(fake.files[SettingsPath()], "the running instance's settings");
  EXPECT_EQ(fake.files.count(BackupPath()), 0u);
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(fake.boxes[0].text, expected::kAlreadyRunning.text);
}

}  // namespace
}  // namespace kestrune
