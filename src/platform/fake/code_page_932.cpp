#include "platform/fake/code_page_932.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#endif

namespace kestrune {
namespace {

#ifdef _WIN32
constexpr UINT kCodePage932 = 932;

std::wstring Widen(const std::string& text, UINT codePage) {
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  return wide;
}

// No look-alikes, as the real backend.
std::string Narrow(const std::wstring& wide, UINT codePage) {
  const int size = static_cast<int>(wide.size());
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int length =
      WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}
#else
// The length of the UTF-8 sequence a lead byte starts; 1 for a stray byte.
size_t Utf8Length(unsigned char lead) {
  return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

// A character that does not convert becomes one '?', as the system's
// default character would: from UTF-8 the whole sequence, else one byte.
std::string Convert(const char* to, const char* from, const std::string& in) {
  const bool fromUtf8 = std::string_view(from) == "UTF-8";
  iconv_t cd = iconv_open(to, from);
  std::string out;
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  char buffer[256];
  while (left > 0) {
    char* dst = buffer;
    size_t room = sizeof buffer;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      out.push_back('?');
      const size_t skip =
          fromUtf8 ? std::min(Utf8Length(static_cast<unsigned char>(*src)), left) : 1;
      src += skip;
      left -= skip;
    }
  }
  iconv_close(cd);
  return out;
}
#endif

}  // namespace

#ifdef _WIN32
std::string Utf8ToCodePage932(const std::string& text) {
  return Narrow(Widen(text, CP_UTF8), kCodePage932);
}

std::string CodePage932ToUtf8(const std::string& bytes) {
  return Narrow(Widen(bytes, kCodePage932), CP_UTF8);
}
#else
std::string Utf8ToCodePage932(const std::string& text) {
  return Convert("CP932", "UTF-8", text);
}

std::string CodePage932ToUtf8(const std::string& bytes) {
  return Convert("UTF-8", "CP932", bytes);
}
#endif

}  // namespace kestrune
