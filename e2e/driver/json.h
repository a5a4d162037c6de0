// Text and the driver's answers: every answer is one JSON object on one line,
// in UTF-8.

#pragma once

#include <string>
#include <vector>

namespace kdriver {

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);
std::string Quote(const std::string& text);
std::string Quote(const std::wstring& text);

// Builds one JSON object field by field.
class Json {
 public:
  Json& Raw(const char* key, const std::string& value);
  Json& Str(const char* key, const std::wstring& value) { return Raw(key, Quote(value)); }
  Json& Num(const char* key, long long value) { return Raw(key, std::to_string(value)); }
  Json& Bool(const char* key, bool value) { return Raw(key, value ? "true" : "false"); }
  std::string Text() const { return "{" + body_ + "}"; }

 private:
  std::string body_;
};

std::string Array(const std::vector<std::string>& items);

std::string Ok();
std::string Fail(const std::string& why);

}  // namespace kdriver
