#include "platform/text/strings.h"

#include "platform/text/utf8.h"

#include <algorithm>
#include <charconv>
#include <cwctype>

namespace platform {

std::wstring LowerCase(std::wstring text) {
  for (wchar_t& c : text)
    c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return text;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char c, char d) { return lower(c) == lower(d); });
}

std::wstring TrimSpace(std::wstring_view text) {
  const auto begin = text.find_first_not_of(L" \t\r\n");
  if (begin == std::wstring_view::npos)
    return {};
  return std::wstring(text.substr(begin, text.find_last_not_of(L" \t\r\n") - begin + 1));
}

std::string HexEncode(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

bool HexDecode(std::string_view text, std::string& bytes) {
  if (text.size() % 2)
    return false;
  bytes.clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
    if (error != std::errc() || end != text.data() + i + 2)
      return false;
    bytes += static_cast<char>(value);
  }
  return true;
}

std::string Escaped(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string shown;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = byte < 0x20 || byte == 0x7F ? 0 : Utf8SequenceAt(bytes, i);
    if (length) {
      shown.append(bytes, i, length);
      i += length;
    } else {
      shown += std::string("\\x") + kDigits[byte >> 4] + kDigits[byte & 0xF];
      ++i;
    }
  }
  return shown;
}

}  // namespace platform
