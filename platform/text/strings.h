// Small conversions of strings: letter case, blanks, hex.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// For comparisons that ignore letter case, as the device's names do.
std::wstring LowerCase(std::wstring text);
// Host names in bytes, which may be no text: only the ASCII letters are taken for letters.
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);
// Without leading and trailing blanks and line ends.
std::wstring TrimSpace(std::wstring_view text);

// Text from a file or a command line, for a message: valid UTF-8 as it stands, and each byte
// that is no part of it, or a control character, as \xNN.
std::string Escaped(std::string_view bytes);

// Bytes as lower-case hex digits, two a byte, and back (false for odd or non-hex text).
std::string HexEncode(std::string_view bytes);
bool HexDecode(std::string_view text, std::string& bytes);

}  // namespace platform
