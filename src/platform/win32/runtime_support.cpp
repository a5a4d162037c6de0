// The few pieces of the C++ runtime the program supplies itself.
//
// The program is built without exceptions, so it cannot recover from running
// out of memory or from a library precondition a bug has broken: all that is
// left is to end the process, as an uncaught exception would. The library's
// own versions of these functions throw, and throwing links in the exception
// classes, two ABIs of std::string for their messages and a name demangler
// for the report of an uncaught exception: about 120 KB of an exe that is
// otherwise under 100 KB. Each version here ends the process at once instead.

#include <cstdlib>
#include <new>
// The declarations of the library's throw helpers, which the containers call.
#include <bits/functexcept.h>

namespace {

[[noreturn]] void Fail() {
  std::abort();
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* block = std::malloc(size != 0 ? size : 1)) return block;
  Fail();
}

void* operator new[](std::size_t size) {
  return ::operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}

void operator delete(void* block) noexcept {
  std::free(block);
}

void operator delete[](void* block) noexcept {
  std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept {
  std::free(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}

namespace std {

void __throw_bad_alloc() {
  Fail();
}
void __throw_bad_array_new_length() {
  Fail();
}
void __throw_length_error(const char*) {
  Fail();
}
void __throw_logic_error(const char*) {
  Fail();
}
void __throw_out_of_range(const char*) {
  Fail();
}
void __throw_out_of_range_fmt(const char*, ...) {
  Fail();
}
void __throw_invalid_argument(const char*) {
  Fail();
}

}  // namespace std
