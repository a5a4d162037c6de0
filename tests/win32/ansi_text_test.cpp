// Conversions into the ANSI code page as Windows makes them, whatever that
// code page is (UTF-8 too, where the user chose it): no flag a code page
// refuses, no look-alike, and a refused conversion fails rather than give
// an empty text.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "platform/win32/handles.h"

namespace kestrune::win32 {
namespace {

UINT ansiCodePage = 0;
bool refuseAll = false;

UINT WINAPI TestGetACP() {
  return ansiCodePage;
}

// As WideCharToMultiByte's documentation says; Wine takes any flag for
// UTF-8.
int WINAPI TestWideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH text, int length, LPSTR out,
                                   int size, LPCCH defaultChar, LPBOOL usedDefault) {
  if (codePage == CP_ACP) codePage = ansiCodePage;
  const bool onlyInvalidChars = codePage == 65001 || codePage == 54936;
  if (refuseAll || (onlyInvalidChars && (flags & ~WC_ERR_INVALID_CHARS))) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  return ::WideCharToMultiByte(codePage, flags, text, length, out, size, defaultChar, usedDefault);
}

TEST(AnsiText, EachCodePageGetsItsOwnBytesAndARefusalIsNoText) {
  struct Row {
    UINT codePage;
    bool refused;
    const char* utf8;
    std::optional<std::string> ansi;
  };
  const Row rows[] = {
      {65001, false, "C:\\効果音\\ä.wav", "C:\\効果音\\ä.wav"},
      {932, false, "C:\\効果音\\ä.wav", "C:\\\x8c\xf8\x89\xca\x89\xb9\\?.wav"},
      {1252, false, "C:\\Āudio\\ä.wav", "C:\\?udio\\\xe4.wav"},
      {65001, true, "C:\\a.wav", std::nullopt},
  };
  const TextCalls saved = textCalls;
  textCalls = {&TestWideCharToMultiByte, &TestGetACP};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.codePage);
    ansiCodePage = row.codePage;
    refuseAll = row.refused;
    EXPECT_EQ(ToCodePage(Widen(row.utf8), CP_ACP), row.ansi);
  }
  textCalls = saved;
}

}  // namespace
}  // namespace kestrune::win32
