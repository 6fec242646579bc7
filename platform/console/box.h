// The terminal's boxes: 60 columns, a caption in the top frame, word-wrapped rows.
#pragma once

#include <string>
#include <vector>

namespace platform::console {

constexpr std::size_t kInner = 56;  // characters inside a box; 60 with the frame

// Word-wraps text to width, keeping its own line breaks ("\n" and "\r\n").
std::vector<std::wstring> Wrap(const std::wstring& text, std::size_t width);
std::wstring Center(const std::wstring& text, std::size_t width);
// The top frame, with the caption.
std::wstring Top(const std::wstring& caption);
// One row of a box: the text made printable, cut or padded to the box.
std::wstring Row(const std::wstring& text);
std::wstring Bottom();
// A progress bar of 40 characters and its percentage.
std::wstring Bar(int position);
// Control characters, as a file name or an answer may hold, shown as <1B>, so that none reaches
// the terminal raw. Device names never hold '<' or '>'.
std::wstring Printable(const std::wstring& text);

}  // namespace platform::console
