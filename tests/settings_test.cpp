#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "settings/settings_file.h"

namespace kestrune {
namespace {

std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view line : lines) out.append(line).append("\r\n");
  return out;
}

// Values compared through their bytes: the file holds every field.
void ExpectSame(const SettingsValues& actual, const SettingsValues& expected) {
  EXPECT_EQ(SerializeSettings(actual), SerializeSettings(expected));
}

SettingsValues WorkedExample() {
  SettingsValues v;
  v.hotKey = {kFalse, kTrue, kTrue, "W"};
  v.options = {false, false, false, false, false, true};
  v.fileNameAnsi = "C:\\Sounds\\alarm.wav";
  return v;
}

TEST(SettingsFile, WorkedExampleByteForByte) {
  EXPECT_EQ(SerializeSettings(WorkedExample()),
            "/HotKey(bShift)\r\nFalse\r\n/HotKey(bCtrl)\r\nTrue\r\n/HotKey(bAlt)\r\nTrue\r\n"
            "/HotKey(sChar)\r\nW\r\n/check1.Value\r\n1\r\n/Option1().Value\r\n"
            "False|False|False|False|False|True\r\n/txtFileName.text\r\n"
            "C:\\Sounds\\alarm.wav\r\n\r\n");
}

// Every key byte (the bar key 0x7C lost its line to bar stripping once, CR
// and LF must not split lines), every flag, check value and selection, and
// file names in code page 932: read back equal, written again byte-identical.
TEST(SettingsFile, EverySettingSurvivesARoundTrip) {
  std::vector<SettingsValues> cases;
  for (int code = 0; code < 256; ++code) {
    cases.push_back(WorkedExample());
    cases.back().hotKey.sChar.assign(1, static_cast<char>(code));
  }
  for (int flags = 0; flags < 8; ++flags) {
    for (int selected = -1; selected < kActionCount; ++selected) {
      SettingsValues v = WorkedExample();
      v.hotKey.bShift = flags & 1 ? kTrue : kFalse;
      v.hotKey.bCtrl = flags & 2 ? kTrue : kFalse;
      v.hotKey.bAlt = flags & 4 ? kTrue : kFalse;
      v.check1 = (flags + selected + 1) % 3;
      v.options.fill(false);
      if (selected >= 0) v.options[static_cast<size_t>(selected)] = true;
      cases.push_back(v);
    }
  }
  for (const char* name : {"C:\\\x83\x54\x83\x45\x83\x93\x83\x68\\\x95\x5c.wav", "odd|",
                           "/check1.Value ", "lone\rCR\r"}) {
    cases.push_back(WorkedExample());
    cases.back().fileNameAnsi = name;
  }
  for (const SettingsValues& v : cases) {
    const std::string bytes = SerializeSettings(v);
    SettingsValues back;
    EXPECT_TRUE(ReadSettings(bytes, back)) << bytes;
    EXPECT_EQ(SerializeSettings(back), bytes);
  }
}

TEST(SettingsFile, Conversions) {
  for (std::string_view text : {"True", "tRUE", " FALSE ", "0", "-1", "+7", "000"})
    EXPECT_TRUE(ParseBoolean(text)) << text;
  EXPECT_EQ(ParseBoolean("99999999999999999999"), kTrue);
  EXPECT_EQ(ParseBoolean("-0"), kFalse);
  for (std::string_view text :
       {"", "  ", "Yes", "Tru", "1.5", "--1", "-", "1 0", "True1", "\tTrue", "0\t"})
    EXPECT_FALSE(ParseBoolean(text)) << text;

  EXPECT_EQ(ParseCheckValue(" 2 "), 2);
  EXPECT_EQ(ParseCheckValue("001"), 1);
  EXPECT_EQ(ParseCheckValue("-0"), 0);
  for (std::string_view text : {"3", "-1", "10", "4294967297", "True", "", "1a", "\t1", "1\t"})
    EXPECT_FALSE(ParseCheckValue(text)) << text;
}

// Each bad line ends the reading: what came before stays, the lines after it
// (a file name and a flag) are not read.
TEST(SettingsFile, FirstBadLineEndsTheReading) {
  struct Case {
    std::string badLines;
    std::array<bool, kActionCount> optionsBefore;
  };
  const std::array<bool, kActionCount> design{true, false, false, false, false, false};
  const std::array<bool, kActionCount> second{false, true, false, false, false, false};
  const Case cases[] = {
      {Lines({"/HotKey(bAlt)", "/Check1.Value", "0"}), design},     // key in another case
      {Lines({"/HotKey(bShift)", "/check1.Value ", "0"}), design},  // key with a space
      {Lines({"/check1.Value", "3"}), design},
      {Lines({"/Option1().Value", "False|True||False"}), second},  // empty field
      {Lines({"/Option1().Value", "False|True|maybe"}), second},
      {Lines({"/Option1().Value", "False|True|False|False|False|False|False"}), second},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.badLines);
    SettingsValues v;
    EXPECT_FALSE(ReadSettings(Lines({"/HotKey(bCtrl)", "True"}) + c.badLines +
                                  Lines({"/txtFileName.text", "never.wav", "/HotKey(bShift)", "1"}),
                              v));
    SettingsValues expected;
    expected.hotKey.bCtrl = kTrue;
    expected.options = c.optionsBefore;
    ExpectSame(v, expected);
  }
}

TEST(SettingsFile, KeysInAnyOrderRepeatedAndAmongEmptyLines) {
  SettingsValues v;
  EXPECT_TRUE(ReadSettings(
      Lines({"stray line before any key", "True", "", "/txtFileName.text", "first.wav",
             "second.wav", "/Option1().Value", "True|False|True", "", "/check1.Value", "2",
             "/HotKey(sChar)", "Qrest", "/HotKey(bAlt)", "", "-1", "/check1.Value", "0"}) +
          "/txtFileName.text\r\nlast.wav",  // a last line without CR LF counts
      v));
  SettingsValues expected;
  expected.fileNameAnsi = "last.wav";
  expected.options = {false, false, true, false, false, false};  // the later True wins
  expected.check1 = 0;
  expected.hotKey.sChar = "Q";
  expected.hotKey.bAlt = kTrue;
  ExpectSame(v, expected);
}

std::string WithLfLineEnds(std::string bytes) {
  for (size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos;) bytes.erase(at, 1);
  return bytes;
}

// A file saved by an editor with LF line ends reads as the same file with CR
// LF, whatever the key byte (the Enter key's CR stays in front of its LF);
// only LF itself, no key's code, cannot be told from an empty line.
TEST(SettingsFile, LfLineEndsReadAsCrLf) {
  for (int code = 0; code < 256; ++code) {
    if (code == '\n') continue;
    SettingsValues written = WorkedExample();
    written.hotKey.sChar.assign(1, static_cast<char>(code));
    written.check1 = 0;
    written.options = {false, false, true, false, false, false};
    const std::string lf = WithLfLineEnds(SerializeSettings(written));
    SettingsValues back;
    EXPECT_TRUE(ReadSettings(lf, back)) << code;
    EXPECT_EQ(SerializeSettings(back), SerializeSettings(written)) << code;
  }
  SettingsValues mixed;
  EXPECT_TRUE(ReadSettings("/check1.Value\n0\r\n/txtFileName.text\r\na.wav\n", mixed));
  EXPECT_EQ(mixed.check1, 0);
  EXPECT_EQ(mixed.fileNameAnsi, "a.wav");
}

}  // namespace
}  // namespace kestrune
