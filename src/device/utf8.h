// UTF-8 encoding of one code point, for texts decoded from other encodings (the registry's
// UTF-16, the code page of old zip names).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvan {

// Appends `codePoint` (at most 0x10FFFF, not a surrogate) to `out` as UTF-8.
inline void AppendUtf8(std::string& out, uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

#ifdef _WIN32
// Windows' UTF-16 text (a command line, a system message) as UTF-8; empty for text that is not
// valid UTF-16.
std::string Utf8FromWide(std::wstring_view text);
#endif

}  // namespace korvan
