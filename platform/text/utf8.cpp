#include "platform/text/utf8.h"

#include <cstdint>
#include <type_traits>
#include <utility>

namespace platform {

namespace {

// A wide character's bits, whether wchar_t is signed or not.
std::uint32_t CodeUnit(wchar_t c) {
  return static_cast<std::make_unsigned_t<wchar_t>>(c);
}

}  // namespace

std::string ToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t cp = CodeUnit(text[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size()) {
        const std::uint32_t low = CodeUnit(text[i + 1]);
        if (low >= 0xDC00 && low < 0xE000) {
          cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
    }
    if ((cp >= 0xD800 && cp < 0xE000) || cp > 0x10FFFF)
      cp = 0xFFFD;
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

namespace {

// The code point of the UTF-8 sequence at text[i], and its length; length 0 when the bytes there
// are no valid sequence (a bad lead or follower, cut short, overlong, a surrogate, too large).
std::pair<std::uint32_t, std::size_t> DecodeUtf8(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const std::size_t length = lead < 0x80         ? 1
                             : (lead >> 5) == 6  ? 2
                             : (lead >> 4) == 14 ? 3
                             : (lead >> 3) == 30 ? 4
                                                 : 0;
  if (length == 0 || i + length > text.size())
    return {0, 0};
  const unsigned char leadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  std::uint32_t cp = lead & leadBits[length];
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80)
      return {0, 0};
    cp = (cp << 6) | (next & 0x3F);
  }
  const std::uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < minimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
    return {0, 0};
  return {cp, length};
}

}  // namespace

std::wstring FromUtf8(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto [cp, length] = DecodeUtf8(text, i);
    if (length == 0) {
      out += static_cast<wchar_t>(0xFFFD);
      ++i;
      continue;
    }
    i += length;
    if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
      out += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(cp);
    }
  }
  return out;
}

std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
  return DecodeUtf8(text, at).second;
}

}  // namespace platform
