// The settings block, over the simulated device's kernel. The HAL requests themselves: the
// boot-loader writer's tests.
#include <gtest/gtest.h>

#include "bootcfg/boot_config.h"
#include "tests/e2e/core_fixture.h"

namespace {

using namespace e2e;
using platform::BYTE;
using platform::DWORD;
using Strings = std::vector<std::string>;

class BootConfigTest : public CoreTest {
 protected:
  bootcfg::BootConfig Config() { return {device_->kernel(), device_->log()}; }
};

TEST_F(BootConfigTest, SetBootSelectionStoresTheValueClearsOffset48AndSumsTheNewBytes) {
  // A block of zeros or of counted bytes, its old checksum byte, byte 48 and image; the value.
  for (const auto& [counted, checksum, old48, image, value] :
       {std::tuple<bool, BYTE, BYTE, BYTE, DWORD>{false, 0, 0, 0, 1},
        {true, 0x00, 0x01, 1, 0},
        {true, 0x77, 0xEE, 0, 0},
        {true, 0x12, 0x80, 1, 1},
        {true, 0x00, 0x00, 7, 0x1F234}}) {
    std::vector<BYTE> block(112);
    for (std::size_t i = 0; counted && i < block.size(); ++i)
      block[i] = static_cast<BYTE>(i);
    block[0] = checksum;
    block[48] = old48;
    block[42] = image;
    PutSettings(block);
    NewRun();
    ASSERT_TRUE(Config().SetBootSelection(value));
    // The low 16 bits of the value at 42, 0 at 48, and the sum of bytes 4 on XOR 0xFF0055AA at 0,
    // all little-endian.
    block[42] = static_cast<BYTE>(value);
    block[43] = static_cast<BYTE>(value >> 8);
    block[48] = 0;
    DWORD sum = 0;
    for (std::size_t i = 4; i < 112; ++i)
      sum += block[i];
    for (int i = 0; i < 4; ++i)
      block[i] = static_cast<BYTE>((sum ^ 0xFF0055AAu) >> (8 * i));
    EXPECT_EQ(Settings(), block);
    EXPECT_EQ(Calls(), (Strings{kGetSettings, kSetSettings}));
    EXPECT_TRUE(Log().empty());
    // Read back unsigned: 0xF234 is no error.
    EXPECT_EQ(Config().GetBootSelection(), static_cast<int>(value & 0xFFFF));
  }
}

TEST_F(BootConfigTest, ReadsTheLimitsOrReportsAnUnreadableBlockInItsOwnWords) {
  DWORD main = 0;
  DWORD rescue = 0;
  ASSERT_TRUE(Config().GetMainImageMaxSize(&main));
  ASSERT_TRUE(Config().GetRescueImageMaxSize(&rescue));
  EXPECT_EQ(main, 64u << 20);  // the default device's: (512 / 0.8) * 128 KiB - 16 MiB
  EXPECT_EQ(rescue, 16u << 20);
  NewRun();
  for (unsigned nth = 1; nth <= 4; ++nth)
    Fail(kGetSettings, 1117, nth);
  DWORD out = 0xCAFE;
  EXPECT_EQ(Config().GetBootSelection(), -1);
  EXPECT_FALSE(Config().SetBootSelection(1));
  EXPECT_FALSE(Config().GetMainImageMaxSize(&out));
  EXPECT_FALSE(Config().GetRescueImageMaxSize(&out));
  EXPECT_EQ(out, 0xCAFEu);
  EXPECT_EQ(Calls(), Strings(4, kGetSettings));  // nothing written
  EXPECT_EQ(Log(),
            (std::vector<std::wstring>{
                L"Erreur get settings n\u00b0 1117\r\n", L"Error get settings n\u00b0 1117\r\n",
                L"Error get settings n\u00b0 1117\r\n", L"Error get settings n\u00b0 1117\r\n"}));
}

TEST(MainImageLimit, StaysInsideThirtyTwoBits) {
  for (const auto& [a, b, rescue, limit] :
       {std::tuple<platform::WORD, DWORD, DWORD, DWORD>{512, 131072, 16777216, 67108864},
        {4, 100, 0, 500},
        {1, 3, 0, 3},  // 3.75 with the fraction discarded
        {0, 131072, 1, 0},
        {8, 100, 2000, 0},
        {65535, 0xFFFFFFFF, 0, 0xFFFFFFFF},
        {4, 1u << 30, 1u << 30, 0xFFFFFFFF}}) {  // exactly 2^32
    EXPECT_EQ(bootcfg::MainImageLimit(a, b, rescue), limit) << a << " " << b;
  }
}

}  // namespace
