#include <gtest/gtest.h>

#include <vector>

#include "package/crc16.h"

namespace {

using package::Crc16;

TEST(Crc16, MatchesTheCatalogueOfCrc16Xmodem) {
  const char digits[] = "123456789";
  EXPECT_EQ(Crc16(reinterpret_cast<const platform::BYTE*>(digits), 9), 0x31C3);
  EXPECT_EQ(Crc16(nullptr, 0), 0x0000);
  const std::vector<platform::BYTE> zeros(16384, 0);
  EXPECT_EQ(Crc16(zeros.data(), 16384), 0x0000);
  const platform::BYTE one[] = {0x01};
  EXPECT_EQ(Crc16(one, 1), 0x1021);  // the polynomial, fed most significant bit first
  const platform::BYTE ff[] = {0xFF, 0xFF};
  EXPECT_EQ(Crc16(ff, 2), 0x1D0F);
}

}  // namespace
