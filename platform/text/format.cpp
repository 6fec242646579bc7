#include "platform/text/format.h"

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

}  // namespace platform
