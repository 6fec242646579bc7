// Wide text to and from UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::string ToUtf8(std::wstring_view text);
// Invalid sequences become U+FFFD.
std::wstring FromUtf8(std::string_view text);
// The length of the valid UTF-8 sequence at text[at], or 0 when the bytes there are none.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at);

}  // namespace platform
