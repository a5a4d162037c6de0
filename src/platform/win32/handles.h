#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace kestrune::win32 {

// An owned handle: closed by Deleter when it goes out of scope, movable,
// never copied.
template <typename T, auto Deleter, T Invalid = T{}>
class unique_any {
 public:
  unique_any() = default;
  explicit unique_any(T value) : value_(value) {}
  unique_any(unique_any&& other) noexcept : value_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    reset(other.release());
    return *this;
  }
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  ~unique_any() { reset(); }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != Invalid; }
  T release() { return std::exchange(value_, Invalid); }
  void reset(T value = Invalid) {
    if (value_ != Invalid) Deleter(value_);
    value_ = value;
  }

 private:
  T value_ = Invalid;
};

inline void CloseKernelHandle(HANDLE h) {
  ::CloseHandle(h);
}
inline void DeleteFont(HFONT f) {
  ::DeleteObject(f);
}
inline void DestroyIconHandle(HICON i) {
  ::DestroyIcon(i);
}

// Files are held here too: INVALID_HANDLE_VALUE is turned into null when a
// file is opened, so one invalid value serves every kernel handle.
using unique_handle = unique_any<HANDLE, CloseKernelHandle>;
using unique_hfont = unique_any<HFONT, DeleteFont>;
using unique_hicon = unique_any<HICON, DestroyIconHandle>;

// Runs a clean-up step when the scope ends, unless dismissed.
template <typename F>
class scope_exit {
 public:
  explicit scope_exit(F f) : f_(std::move(f)) {}
  scope_exit(const scope_exit&) = delete;
  scope_exit& operator=(const scope_exit&) = delete;
  ~scope_exit() {
    if (active_) f_();
  }
  void dismiss() { active_ = false; }

 private:
  F f_;
  bool active_ = true;
};

// The program keeps window handles as 32-bit values; on 64-bit Windows a
// handle's significant bits fit, and the system sign-extends them.
inline HWND ToHwnd(uint32_t h) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(h)));
}
inline uint32_t FromHwnd(HWND h) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
}

// A function of a loaded library, as its own type; nullptr where the library
// or the function is missing (a newer system's function, for one).
template <typename Function>
Function ProcOf(HMODULE library, const char* name) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// Conversions between a code page's bytes and UTF-16. ToCodePage fails
// (nullopt) where the system refuses the conversion: no empty text is ever
// taken for the value.
std::wstring Widen(std::string_view text, UINT codePage = CP_UTF8);
std::optional<std::string> ToCodePage(std::wstring_view text, UINT codePage);
std::string Narrow(std::wstring_view text);  // to UTF-8

// The conversion calls, so that a test can answer as a system whose ANSI
// code page is another; the product keeps the system's functions.
struct TextCalls {
  decltype(&::WideCharToMultiByte) WideCharToMultiByte;
  decltype(&::GetACP) GetACP;
};
extern TextCalls textCalls;

// Four lower-case hexadecimal digits, as a string-table name spells them.
std::wstring Hex4(unsigned value);

}  // namespace kestrune::win32
