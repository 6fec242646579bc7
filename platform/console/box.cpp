#include "platform/console/box.h"

#include <cwchar>

namespace platform::console {

std::vector<std::wstring> Wrap(const std::wstring& text, std::size_t width) {
  std::vector<std::wstring> lines;
  std::wstring paragraph;
  const auto flush = [&]() {
    std::wstring line;
    std::size_t start = 0;
    while (start <= paragraph.size()) {
      std::size_t end = paragraph.find(L' ', start);
      if (end == std::wstring::npos)
        end = paragraph.size();
      std::wstring word = paragraph.substr(start, end - start);
      while (word.size() > width) {
        if (!line.empty())
          lines.push_back(line);
        lines.push_back(word.substr(0, width));
        word.erase(0, width);
        line.clear();
      }
      if (!line.empty() && line.size() + 1 + word.size() > width) {
        lines.push_back(line);
        line.clear();
      }
      line += (line.empty() ? L"" : L" ") + word;
      start = end + 1;
    }
    lines.push_back(line);
    paragraph.clear();
  };
  for (const wchar_t c : text) {
    if (c == L'\r')
      continue;
    if (c == L'\n') {
      flush();
    } else {
      paragraph += c;
    }
  }
  flush();
  return lines;
}

std::wstring Center(const std::wstring& text, std::size_t width) {
  if (text.size() >= width)
    return text;
  const std::size_t left = (width - text.size()) / 2;
  return std::wstring(left, L' ') + text;
}

std::wstring Top(const std::wstring& caption) {
  std::wstring line = L"+-";
  if (!caption.empty())
    line += L"[ " + caption.substr(0, kInner - 6) + L" ]";
  line += std::wstring(kInner + 3 - line.size(), L'-');
  return line + L"+";
}

std::wstring Printable(const std::wstring& text) {
  std::wstring shown;
  for (const wchar_t c : text) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
      wchar_t code[5];
      std::swprintf(code, 5, L"<%02X>", static_cast<unsigned>(c));
      shown += code;
    } else {
      shown += c;
    }
  }
  return shown;
}

std::wstring Row(const std::wstring& text) {
  std::wstring padded = Printable(text).substr(0, kInner);
  padded += std::wstring(kInner - padded.size(), L' ');
  return L"| " + padded + L" |";
}

std::wstring Bottom() {
  return L"+" + std::wstring(kInner + 2, L'-') + L"+";
}

std::wstring Bar(int position) {
  const int filled = position * 40 / 100;
  return L"[" + std::wstring(static_cast<std::size_t>(filled), L'#') +
         std::wstring(static_cast<std::size_t>(40 - filled), L'.') + L"] " +
         std::to_wstring(position) + L"%";
}

}  // namespace platform::console
