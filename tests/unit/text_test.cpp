#include <gtest/gtest.h>

#include "platform/text/format.h"
#include "platform/text/strings.h"
#include "platform/text/utf8.h"

namespace {

using platform::FormatW;

TEST(FormatW, KeepsTheWindowsMeaningOfEachDirective) {
  const std::wstring folder = L"Flash";
  EXPECT_EQ(FormatW(L"%s %s n\u00b0 %d %i\r\n", folder, L"Flas", 87u, 600u),
            L"Flash Flas n\u00b0 87 600\r\n");
  // A 32-bit value above 2^31 reads as negative through %d, as on the device.
  EXPECT_EQ(FormatW(L"%d", 0xFFFFFFFFu), L"-1");
  EXPECT_EQ(FormatW(L"%u", -1), L"4294967295");
  EXPECT_EQ(FormatW(L"%X|%08x|%#x|%5d|%-5d|%05d|%+d", 0xABCu, 0x1Fu, 255u, 42, 42, -42, 7),
            L"ABC|0000001f|0xff|   42|42   |-0042|+7");
  EXPECT_EQ(FormatW(L"%I64d %lld %ld", std::int64_t{-5000000000}, 1ull << 40, 9),
            L"-5000000000 1099511627776 9");
  EXPECT_EQ(FormatW(L"100%% %c", L'x'), L"100% x");
  EXPECT_EQ(FormatW(L"%s", static_cast<const wchar_t*>(nullptr)), L"(null)");
}

TEST(FormatW, NeverReadsAnArgumentThatWasNotPassed) {
  EXPECT_EQ(FormatW(L"size=%x comp=%d\r\n", 5u), L"size=5 comp=%d\r\n");
  EXPECT_EQ(FormatW(L"%s", 5), L"%s");  // wrong kind: copied, argument kept
  EXPECT_EQ(FormatW(L"%d", L"text"), L"%d");
  EXPECT_EQ(FormatW(L"tail %"), L"tail %");
  EXPECT_EQ(FormatW(L"%q %d", 3), L"%q 3");
}

TEST(Utf8, RoundTripsAndReplacesInvalidSequences) {
  const std::wstring text = L"n\u00b0 \u20ac \U0001F600 Flash";
  EXPECT_EQ(platform::FromUtf8(platform::ToUtf8(text)), text);
  EXPECT_EQ(platform::ToUtf8(L"n\u00b0"), "n\xc2\xb0");
  EXPECT_EQ(platform::FromUtf8("a\xffz"), L"a\ufffdz");        // a stray byte
  EXPECT_EQ(platform::FromUtf8("\xc0\x80"), L"\ufffd\ufffd");  // overlong NUL
  EXPECT_EQ(platform::FromUtf8("\xe2\x82"), L"\ufffd\ufffd");  // cut short
}

TEST(Escaped, ShowsEachByteThatIsNoPrintableTextAsItsHexCode) {
  const struct {
    std::string bytes, shown;
  } rows[] = {
      {"n\xc2\xb0 \xe2\x82\xac.nbX", "n\xc2\xb0 \xe2\x82\xac.nbX"},  // whole UTF-8 is kept
      {"a\x1b[2Jb", "a\\x1B[2Jb"},                                   // a terminal's escape
      {"a\x7f\x1f\n", "a\\x7F\\x1F\\x0A"},
      {"p\xff\xe2\x82", "p\\xFF\\xE2\\x82"},  // a stray byte, a sequence cut short
  };
  for (const auto& row : rows)
    EXPECT_EQ(platform::Escaped(row.bytes), row.shown) << row.shown;
}

}  // namespace
