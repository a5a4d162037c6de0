#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "settings/settings_file.h"

namespace kestrune {
namespace {

// Each line followed by CR LF.
std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view line : lines) out.append(line).append("\r\n");
  return out;
}

std::string Describe(const SettingsValues& v) {
  std::string out = std::to_string(v.hotKey.bShift) + "," + std::to_string(v.hotKey.bCtrl) + "," +
                    std::to_string(v.hotKey.bAlt) + ",key[";
  for (char c : v.hotKey.sChar) out += std::to_string(static_cast<unsigned char>(c)) + " ";
  out += "],check" + std::to_string(v.check1) + ",options";
  for (bool option : v.options) out += option ? "1" : "0";
  return out + ",file[" + v.fileNameAnsi + "]";
}

void ExpectSame(const SettingsValues& actual, const SettingsValues& expected) {
  EXPECT_EQ(Describe(actual), Describe(expected));
}

SettingsValues Read(std::string_view bytes, bool expectComplete = true) {
  SettingsValues values;
  EXPECT_EQ(ReadSettings(bytes, values), expectComplete);
  return values;
}

SettingsValues WorkedExample() {
  SettingsValues v;
  v.hotKey = {kFalse, kTrue, kTrue, "W"};
  v.check1 = 1;
  v.options = {false, false, false, false, false, true};
  v.fileNameAnsi = "C:\\Sounds\\alarm.wav";
  return v;
}

// Written, read back from the design state and written again: same values,
// same bytes.
void ExpectRoundTrip(const SettingsValues& v) {
  const std::string bytes = SerializeSettings(v);
  const SettingsValues back = Read(bytes);
  ExpectSame(back, v);
  EXPECT_EQ(SerializeSettings(back), bytes);
}

TEST(SettingsWriter, WorkedExampleByteForByte) {
  EXPECT_EQ(SerializeSettings(WorkedExample()),
            "/HotKey(bShift)\r\nFalse\r\n/HotKey(bCtrl)\r\nTrue\r\n/HotKey(bAlt)\r\nTrue\r\n"
            "/HotKey(sChar)\r\nW\r\n/check1.Value\r\n1\r\n/Option1().Value\r\n"
            "False|False|False|False|False|True\r\n/txtFileName.text\r\n"
            "C:\\Sounds\\alarm.wav\r\n\r\n");
}

TEST(SettingsWriter, AnyNonZeroFlagIsWrittenTrue) {
  SettingsValues v;
  v.hotKey.bShift = 1;
  EXPECT_NE(SerializeSettings(v).find("/HotKey(bShift)\r\nTrue\r\n"), std::string::npos);
}

TEST(SettingsRoundTrip, EveryKeyByte) {
  for (int code = 0; code < 256; ++code) {
    SCOPED_TRACE(code);
    SettingsValues v = WorkedExample();
    v.hotKey.sChar.assign(1, static_cast<char>(code));
    ExpectRoundTrip(v);
  }
}

// A key "|" (0x7C) was lost: stripping "|" before line ends emptied its line.
TEST(SettingsRoundTrip, BarKeyAndBarEndingFileNameSurvive) {
  SettingsValues v = WorkedExample();
  v.hotKey.sChar = "|";
  v.fileNameAnsi = "C:\\odd|";
  EXPECT_NE(SerializeSettings(v).find("\r\n|\r\n"), std::string::npos);
  ExpectRoundTrip(v);
}

TEST(SettingsRoundTrip, EveryFlagCheckValueAndSelection) {
  for (int flags = 0; flags < 8; ++flags) {
    for (int check = 0; check <= 2; ++check) {
      for (int selected = -1; selected < kActionCount; ++selected) {
        SCOPED_TRACE(Describe(WorkedExample()) + " flags " + std::to_string(flags) + " check " +
                     std::to_string(check) + " selected " + std::to_string(selected));
        SettingsValues v = WorkedExample();
        v.hotKey.bShift = flags & 1 ? kTrue : kFalse;
        v.hotKey.bCtrl = flags & 2 ? kTrue : kFalse;
        v.hotKey.bAlt = flags & 4 ? kTrue : kFalse;
        v.check1 = check;
        v.options.fill(false);
        if (selected >= 0) v.options[static_cast<size_t>(selected)] = true;
        ExpectRoundTrip(v);
      }
    }
  }
}

TEST(SettingsRoundTrip, FileNames) {
  const char* const names[] = {
      "C:\\Sounds\\alarm.wav",
      "C:\\\x83\x54\x83\x45\x83\x93\x83\x68\\\x95\x5c\x8e\xa6.wav",  // サウンド\表示 in CP 932
      "\\\\server\\share\\a b.wav",
      "trailing space ",
      "/check1.Value ",
      "lone\rCR",
      "lone\nLF",
      "ends in CR\r",
      "\nstarts with LF",
  };
  for (const char* name : names) {
    SCOPED_TRACE(name);
    SettingsValues v = WorkedExample();
    v.fileNameAnsi = name;
    ExpectRoundTrip(v);
  }
}

TEST(SettingsRoundTrip, EmptyFileNameIsAnEmptyLineThatKeepsTheOldName) {
  SettingsValues v = WorkedExample();
  v.fileNameAnsi.clear();
  const std::string bytes = SerializeSettings(v);
  EXPECT_NE(bytes.find("/txtFileName.text\r\n\r\n\r\n"), std::string::npos);
  SettingsValues back;
  back.fileNameAnsi = "kept.wav";
  EXPECT_TRUE(ReadSettings(bytes, back));
  EXPECT_EQ(back.fileNameAnsi, "kept.wav");
}

TEST(SettingsConversions, Booleans) {
  struct Case {
    std::string_view text;
    std::optional<VbBool> expected;
  };
  const Case cases[] = {
      {"True", kTrue},         {"false", kFalse},     {"tRUE", kTrue},
      {" FALSE\t", kFalse},    {"0", kFalse},         {"-1", kTrue},
      {"+7", kTrue},           {"000", kFalse},       {"99999999999999999999", kTrue},
      {"-0", kFalse},          {"", std::nullopt},    {"   ", std::nullopt},
      {"Yes", std::nullopt},   {"Tru", std::nullopt}, {"1.5", std::nullopt},
      {"--1", std::nullopt},   {"-", std::nullopt},   {"1 0", std::nullopt},
      {"True1", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseBoolean(c.text), c.expected) << "[" << c.text << "]";
}

TEST(SettingsConversions, CheckValues) {
  struct Case {
    std::string_view text;
    std::optional<int> expected;
  };
  const Case cases[] = {
      {"0", 0},
      {"1", 1},
      {"2", 2},
      {" 2 ", 2},
      {"002", 2},
      {"+1", 1},
      {"-0", 0},
      {"3", std::nullopt},
      {"-1", std::nullopt},
      {"12", std::nullopt},
      {"10", std::nullopt},
      {"4294967297", std::nullopt},
      {"True", std::nullopt},
      {"", std::nullopt},
      {"1a", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ParseCheckValue(c.text), c.expected) << "[" << c.text << "]";
}

// Each bad line ends the reading: what came before stays, nothing after it
// (the file name line at the end) is read.
TEST(SettingsReader, FirstBadLineEndsTheReading) {
  struct Case {
    const char* what;
    std::string badLines;
    void (*expectBefore)(SettingsValues&);
  };
  const auto ctrlApplied = [](SettingsValues& v) { v.hotKey.bCtrl = kTrue; };
  const auto firstOption = [](SettingsValues& v) {
    v.hotKey.bCtrl = kTrue;
    v.options = {false, true, false, false, false, false};
  };
  const auto allSixOptions = [](SettingsValues& v) {
    v.hotKey.bCtrl = kTrue;
    v.options = {false, false, false, false, false, true};
  };
  const Case cases[] = {
      {"key in other case", Lines({"/HotKey(bAlt)", "/Check1.Value", "0"}), +ctrlApplied},
      {"key with trailing space", Lines({"/HotKey(bShift)", "/check1.Value ", "0"}), +ctrlApplied},
      {"bad Boolean", Lines({"/HotKey(bAlt)", "Yes"}), +ctrlApplied},
      {"check value 3", Lines({"/check1.Value", "3"}), +ctrlApplied},
      {"check value text", Lines({"/check1.Value", "True"}), +ctrlApplied},
      {"empty option field", Lines({"/Option1().Value", "False|True||False"}), +firstOption},
      {"bad option field", Lines({"/Option1().Value", "False|True|maybe"}), +firstOption},
      {"too many option fields",
       Lines({"/Option1().Value", "False|False|False|False|False|True|False"}), +allSixOptions},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string bytes = Lines({"/HotKey(bCtrl)", "True"}) + c.badLines +
                              Lines({"/txtFileName.text", "never.wav", "/HotKey(bShift)", "1"});
    SettingsValues expected;
    c.expectBefore(expected);
    ExpectSame(Read(bytes, false), expected);
  }
}

TEST(SettingsReader, KeysInAnyOrderRepeatedAndInterleavedWithEmptyLines) {
  const std::string bytes =
      Lines({"stray line before any key", "True", "", "/txtFileName.text", "first.wav",
             "second.wav", "/Option1().Value", "True|False|True", "", "/check1.Value", "2",
             "/HotKey(sChar)", "Qrest", "/HotKey(bAlt)", "", "-1", "/check1.Value", "0"}) +
      "/txtFileName.text\r\nlast.wav";  // a last line without CR LF still counts
  SettingsValues expected;
  expected.fileNameAnsi = "last.wav";
  expected.options = {false, false, true, false, false, false};  // the later True wins
  expected.check1 = 0;
  expected.hotKey.sChar = "Q";
  expected.hotKey.bAlt = kTrue;
  ExpectSame(Read(bytes), expected);
}

TEST(SettingsReader, OptionLinesSetOnlyTheirFields) {
  SettingsValues v;
  v.options = {false, false, false, true, false, false};
  EXPECT_TRUE(ReadSettings(Lines({"/Option1().Value", "False|True"}), v));
  // Clearing element 0 leaves 3 alone; selecting 1 clears 3.
  EXPECT_EQ(v.options, (std::array<bool, kActionCount>{false, true, false, false, false, false}));
  EXPECT_TRUE(ReadSettings(Lines({"/Option1().Value", "False|False|False|False|False|False"}), v));
  EXPECT_EQ(v.options, (std::array<bool, kActionCount>{}));
}

TEST(SettingsReader, MissingOrTruncatedFileKeepsStartValues) {
  ExpectSame(Read(""), SettingsValues{});
  const std::string full = SerializeSettings(WorkedExample());
  // Cut after the Option1 value line: the file name keeps its start value.
  const std::string cut = full.substr(0, full.find("/txtFileName.text"));
  SettingsValues expected = WorkedExample();
  expected.fileNameAnsi.clear();
  ExpectSame(Read(cut), expected);
}

TEST(SettingsReader, OnlyCrLfEndsALine) {
  // A file with bare LF line ends is one line before any key: nothing applies.
  ExpectSame(Read("/check1.Value\n0\n"), SettingsValues{});
  SettingsValues v = Read(Lines({"/HotKey(sChar)", "\r"}));
  EXPECT_EQ(v.hotKey.sChar, "\r");
}

}  // namespace
}  // namespace kestrune
