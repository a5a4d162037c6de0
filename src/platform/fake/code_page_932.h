#pragma once

#include <string>

namespace kestrune {

// Conversions between UTF-8 and code page 932, as on Japanese Windows; a
// character that does not convert becomes the system's default character.
std::string Utf8ToCodePage932(const std::string& text);
std::string CodePage932ToUtf8(const std::string& bytes);

}  // namespace kestrune
