#include "platform/win32/handles.h"

namespace kestrune::win32 {

std::wstring Widen(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  int size = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), length, out.data(), size);
  return out;
}

// Into a code page other than UTF-8, a character it lacks becomes its
// default character, never a look-alike that may name another file.
std::string Narrow(std::wstring_view text, UINT codePage) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int size =
      WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, flags, text.data(), length, out.data(), size, nullptr, nullptr);
  return out;
}

// Digits of our own: the wide printf family would add about 24 KB.
std::wstring Hex4(unsigned value) {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring digits(4, L'0');
  for (size_t i = 4; i-- > 0; value >>= 4) digits[i] = kDigits[value & 0xF];
  return digits;
}

}  // namespace kestrune::win32
