// UTF-8 as this system takes it: shortest forms only, no surrogates, nothing
// above U+10FFFF. That is exactly what Python encodes a str to, and what
// entry ids and definition texts hold.
//   std::size_t i = 0;  decode_utf8("\xC3\xA9t\xC3\xA9", i) -> U+00E9, i = 2
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace hourloom {

// decode_utf8: the character starting at s[i] (i < s.size()), with i moved
// past it. Otherwise nullopt, with i at the offending byte, or at s.size()
// when the text ends inside the character.
constexpr std::optional<char32_t> decode_utf8(std::string_view s, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned lead = byte(i);
  if (lead < 0x80) return static_cast<char32_t>(s[i++]);
  // n: the continuation bytes the lead announces; no character starts with 80 to C1 or F5 to FF.
  const std::size_t n = lead < 0xC2 ? 0 : lead <= 0xDF ? 1 : lead <= 0xEF ? 2 : lead <= 0xF4 ? 3 : 0;
  if (n == 0) return std::nullopt;
  // The second byte's range is narrower after E0 and F0 (no overlong form), ED
  // (no surrogate) and F4 (nothing above U+10FFFF).
  unsigned lo = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  unsigned hi = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  char32_t cp = lead & (0x3Fu >> n);
  std::size_t k = i + 1;
  for (std::size_t left = n; left > 0; --left, ++k, lo = 0x80, hi = 0xBF) {
    if (k == s.size() || byte(k) < lo || byte(k) > hi) {
      i = k;
      return std::nullopt;
    }
    cp = (cp << 6) | (byte(k) & 0x3Fu);
  }
  i = k;
  return cp;
}

// is_utf8: every character of s decodes.
constexpr bool is_utf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();)
    if (!decode_utf8(s, i)) return false;
  return true;
}

}  // namespace hourloom
