#include "platform/text.h"

#include <charconv>
#include <cwctype>
#include <type_traits>
#include <utility>

namespace platform {

namespace {

struct Directive {
  bool left = false;
  bool zero = false;
  bool plus = false;
  bool space = false;
  bool alternate = false;
  std::size_t width = 0;
  bool wide64 = false;
  wchar_t conversion = 0;
};

// Parses the directive that starts at format[pos] ('%'); returns the position after it, or pos
// when it is incomplete.
std::size_t ParseDirective(std::wstring_view format, std::size_t pos, Directive& d) {
  std::size_t i = pos + 1;
  for (; i < format.size(); ++i) {
    const wchar_t c = format[i];
    if (c == L'-') {
      d.left = true;
    } else if (c == L'0') {
      d.zero = true;
    } else if (c == L'+') {
      d.plus = true;
    } else if (c == L' ') {
      d.space = true;
    } else if (c == L'#') {
      d.alternate = true;
    } else {
      break;
    }
  }
  for (; i < format.size() && format[i] >= L'0' && format[i] <= L'9'; ++i) {
    d.width = d.width * 10 + static_cast<std::size_t>(format[i] - L'0');
    if (d.width > 4096)
      return pos;
  }
  if (format.substr(i, 3) == L"I64") {
    d.wide64 = true;
    i += 3;
  } else if (format.substr(i, 2) == L"ll") {
    d.wide64 = true;
    i += 2;
  } else if (i < format.size() && (format[i] == L'l' || format[i] == L'h')) {
    ++i;
  }
  if (i >= format.size())
    return pos;
  d.conversion = format[i];
  return i + 1;
}

std::wstring Digits(std::uint64_t value, unsigned base, bool upper) {
  const wchar_t* symbols = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
  std::wstring out;
  do {
    out.insert(out.begin(), symbols[value % base]);
    value /= base;
  } while (value != 0);
  return out;
}

// The sign or prefix, and the digits, of an integer directive.
std::pair<std::wstring, std::wstring> SignAndDigits(const Directive& d, std::uint64_t bits) {
  if (d.conversion == L'u')
    return {L"", Digits(bits, 10, false)};
  if (d.conversion != L'd' && d.conversion != L'i') {
    const bool upper = d.conversion == L'X';
    const wchar_t* prefix = d.alternate && bits != 0 ? (upper ? L"0X" : L"0x") : L"";
    return {prefix, Digits(bits, 16, upper)};
  }
  const std::int64_t value = d.wide64 ? static_cast<std::int64_t>(bits)
                                      : static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
  const std::uint64_t magnitude =
      value < 0 ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
  const wchar_t* sign = value < 0 ? L"-" : d.plus ? L"+" : d.space ? L" " : L"";
  return {sign, Digits(magnitude, 10, false)};
}

std::wstring FormatInteger(const Directive& d, const FormatArg& arg) {
  std::uint64_t bits = arg.bits();
  if (!d.wide64)
    bits &= 0xFFFFFFFFu;
  const auto [sign, digits] = SignAndDigits(d, bits);
  const std::size_t length = sign.size() + digits.size();
  if (length >= d.width)
    return sign + digits;
  const std::wstring pad(d.width - length, d.zero && !d.left ? L'0' : L' ');
  if (d.left)
    return sign + digits + pad;
  if (d.zero)
    return sign + pad + digits;
  return pad + sign + digits;
}

std::wstring Pad(const Directive& d, std::wstring text) {
  if (text.size() >= d.width)
    return text;
  const std::wstring pad(d.width - text.size(), L' ');
  return d.left ? text + pad : pad + text;
}

}  // namespace

std::wstring FormatWArgs(std::wstring_view format, const FormatArg* args, std::size_t count) {
  std::wstring out;
  out.reserve(format.size() + 16 * count);
  std::size_t next = 0;
  std::size_t pos = 0;
  while (pos < format.size()) {
    if (format[pos] != L'%') {
      out += format[pos++];
      continue;
    }
    Directive d;
    const std::size_t end = ParseDirective(format, pos, d);
    if (end == pos) {
      out.append(format.substr(pos));
      break;
    }
    const std::wstring_view raw = format.substr(pos, end - pos);
    pos = end;
    if (d.conversion == L'%') {
      out += L'%';
      continue;
    }
    const bool integer = std::wstring_view(L"diuxX").find(d.conversion) != std::wstring_view::npos;
    const bool text = d.conversion == L's';
    const bool character = d.conversion == L'c';
    if ((!integer && !text && !character) || next >= count) {
      out.append(raw);
      continue;
    }
    const FormatArg& arg = args[next];
    if (text != arg.isText()) {
      out.append(raw);
      continue;
    }
    ++next;
    if (text) {
      out += Pad(d, std::wstring(arg.text()));
    } else if (character) {
      out += Pad(d, std::wstring(1, static_cast<wchar_t>(arg.bits() & 0xFFFF)));
    } else {
      out += FormatInteger(d, arg);
    }
  }
  return out;
}

std::wstring LowerCase(std::wstring text) {
  for (wchar_t& c : text)
    c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return text;
}

std::wstring TrimSpace(std::wstring_view text) {
  const auto begin = text.find_first_not_of(L" \t\r\n");
  if (begin == std::wstring_view::npos)
    return {};
  return std::wstring(text.substr(begin, text.find_last_not_of(L" \t\r\n") - begin + 1));
}

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

}  // namespace platform
