// Wide formatting the Windows way: format strings keep their Windows meaning (%s takes a wide
// string) and give the same output on every platform.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace platform {

// One argument of FormatW: an integer or a wide string.
class FormatArg {
 public:
  template <class T, class = std::enable_if_t<std::is_integral_v<T> || std::is_enum_v<T>>>
  FormatArg(T value)  // NOLINT(google-explicit-constructor): built from the argument list
      : kind_(std::is_signed_v<T> ? Kind::kSigned : Kind::kUnsigned),
        bits_(static_cast<std::uint64_t>(value)) {}
  FormatArg(const wchar_t* text) : kind_(Kind::kText), text_(text ? text : L"(null)") {}
  FormatArg(const std::wstring& text) : kind_(Kind::kText), text_(text) {}
  FormatArg(std::wstring_view text) : kind_(Kind::kText), text_(text) {}
  // Narrow strings would print as wide text on one platform and as bytes on another.
  FormatArg(const char*) = delete;

  bool isText() const { return kind_ == Kind::kText; }
  bool isSigned() const { return kind_ == Kind::kSigned; }
  std::uint64_t bits() const { return bits_; }
  std::wstring_view text() const { return text_; }

 private:
  enum class Kind { kSigned, kUnsigned, kText };
  Kind kind_;
  std::uint64_t bits_ = 0;
  std::wstring_view text_;
};

// Formats with %d %i %u %x %X %c %s %% (flags - 0 + space #, a width, and the size prefixes h l
// ll I64). Without "ll"/"I64", integers are taken as 32-bit values, as on the device. A
// directive that has no argument, or one of the wrong kind, is copied as it stands.
std::wstring FormatWArgs(std::wstring_view format, const FormatArg* args, std::size_t count);

template <class... Args>
std::wstring FormatW(std::wstring_view format, const Args&... args) {
  const std::array<FormatArg, sizeof...(Args)> list{FormatArg(args)...};
  return FormatWArgs(format, list.data(), list.size());
}

}  // namespace platform
