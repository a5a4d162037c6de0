#include "platform/win32/handles.h"

namespace kestrune::win32 {

TextCalls textCalls = {&::WideCharToMultiByte, &::GetACP};

namespace {

// WideCharToMultiByte refuses every flag but WC_ERR_INVALID_CHARS for
// UTF-8 and GB18030, and every flag for ISO-2022, ISCII, UTF-7 and Symbol;
// each of them has every character anyway, or none to mistake for another.
bool TakesNoFlags(UINT codePage) {
  return codePage == CP_UTF8 || codePage == 54936 || (codePage >= 50220 && codePage <= 50229) ||
         (codePage >= 57002 && codePage <= 57011) || codePage == CP_UTF7 || codePage == CP_SYMBOL;
}

}  // namespace

std::wstring Widen(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  int size = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), length, out.data(), size);
  return out;
}

// The flags follow the code page CP_ACP really stands for: the ANSI code
// page may be UTF-8. Into any other, a character the code page lacks
// becomes its default character, never a look-alike that may name another
// file.
std::optional<std::string> ToCodePage(std::wstring_view text, UINT codePage) {
  if (text.empty()) return std::string();
  if (codePage == CP_ACP) codePage = textCalls.GetACP();
  const int length = static_cast<int>(text.size());
  const DWORD flags = TakesNoFlags(codePage) ? 0 : WC_NO_BEST_FIT_CHARS;
  const int size = textCalls.WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0,
                                                 nullptr, nullptr);
  if (size <= 0) return std::nullopt;
  std::string out(static_cast<size_t>(size), '\0');
  if (textCalls.WideCharToMultiByte(codePage, flags, text.data(), length, out.data(), size, nullptr,
                                    nullptr) != size)
    return std::nullopt;
  return out;
}

std::string Narrow(std::wstring_view text) {
  return ToCodePage(text, CP_UTF8).value_or(std::string());
}

// Digits of our own: the wide printf family would add about 24 KB.
std::wstring Hex4(unsigned value) {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring digits(4, L'0');
  for (size_t i = 4; i-- > 0; value >>= 4) digits[i] = kDigits[value & 0xF];
  return digits;
}

}  // namespace kestrune::win32
