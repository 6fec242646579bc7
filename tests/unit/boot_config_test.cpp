#include <gtest/gtest.h>

#include "bootcfg/boot_config.h"
#include "bootcfg/hal_requests.h"
#include "tests/support/fakes.h"

namespace {

using bootcfg::BootConfig;
using bootcfg::BootSettings;
using platform::DWORD;

struct Fixture {
  fakes::FakeKernel kernel;
  fakes::RecordingLog log;
  BootConfig config{kernel, log};
};

TEST(HalRequests, UseTheDevicesCodesAndBufferSizes) {
  EXPECT_EQ(platform::IOCTL_HAL_SET_CONSTANTS, 0x01010418u);
  EXPECT_EQ(platform::IOCTL_HAL_GET_CONSTANTS, 0x0101041Cu);
  EXPECT_EQ(platform::IOCTL_HAL_GET_BOOT_SETTINGS, 0x01010420u);
  EXPECT_EQ(platform::IOCTL_HAL_SET_BOOT_SETTINGS, 0x01010424u);
  EXPECT_EQ(platform::IOCTL_HAL_WRITE_BOOTLOADER, 0x01010428u);

  fakes::FakeKernel kernel;
  BootSettings settings;
  bootcfg::ConstSettings constants;
  const platform::BYTE image[3] = {1, 2, 3};
  EXPECT_TRUE(bootcfg::HalGetBootSettings(kernel, settings));
  EXPECT_TRUE(bootcfg::HalSetBootSettings(kernel, settings));
  EXPECT_TRUE(bootcfg::HalGetConstants(kernel, constants));
  EXPECT_TRUE(bootcfg::HalSetConstants(kernel, constants));
  EXPECT_TRUE(bootcfg::HalWriteBootLoader(kernel, image, 3));
  const std::vector<fakes::FakeKernel::Request> expected = {{0x01010420, 0, 112, true},
                                                            {0x01010424, 112, 0, true},
                                                            {0x0101041C, 0, 540, true},
                                                            {0x01010418, 540, 0, false},
                                                            {0x01010428, 3, 0, false}};
  ASSERT_EQ(kernel.requests.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(kernel.requests[i].code, expected[i].code) << i;
    EXPECT_EQ(kernel.requests[i].inSize, expected[i].inSize) << i;
    EXPECT_EQ(kernel.requests[i].outSize, expected[i].outSize) << i;
    EXPECT_EQ(kernel.requests[i].hasReturned, expected[i].hasReturned) << i;
  }
  EXPECT_EQ(kernel.bootLoader, std::vector<platform::BYTE>(image, image + 3));
}

TEST(SetBootSelection, WritesTheSelectionWithAFreshChecksum) {
  Fixture f;  // the device returns 112 zero bytes
  ASSERT_TRUE(f.config.SetBootSelection(1));
  std::vector<platform::BYTE> expected(112, 0);
  expected[0] = 0xAB;
  expected[1] = 0x55;
  expected[2] = 0x00;
  expected[3] = 0xFF;
  expected[42] = 1;
  EXPECT_EQ(f.kernel.settings, expected);
  EXPECT_TRUE(f.log.lines.empty());
  ASSERT_EQ(f.kernel.requests.size(), 2u);
  EXPECT_EQ(f.kernel.requests[0].code, platform::IOCTL_HAL_GET_BOOT_SETTINGS);
  EXPECT_EQ(f.kernel.requests[1].code, platform::IOCTL_HAL_SET_BOOT_SETTINGS);
}

TEST(SetBootSelection, CountsOnlyTheNewValuesAndClearsOffset48) {
  struct Case {
    DWORD value;
    platform::BYTE oldChecksumByte;
    platform::BYTE old48;
    platform::WORD oldImage;
  };
  for (const Case& c : {Case{0, 0x00, 0x01, 1}, Case{0, 0x77, 0xEE, 0}, Case{1, 0x12, 0x80, 1},
                        Case{0x10001, 0x00, 0x00, 7}}) {
    Fixture f;
    for (std::size_t i = 0; i < 112; ++i)
      f.kernel.settings[i] = static_cast<platform::BYTE>(i);
    f.kernel.settings[0] = c.oldChecksumByte;
    f.kernel.settings[48] = c.old48;
    f.kernel.settings[42] = static_cast<platform::BYTE>(c.oldImage);
    ASSERT_TRUE(f.config.SetBootSelection(c.value));
    BootSettings written;
    std::copy(f.kernel.settings.begin(), f.kernel.settings.end(), written.bytes.begin());
    EXPECT_EQ(written.get(BootSettings::wBootImage), c.value & 0xFFFF);
    EXPECT_EQ(written.get(BootSettings::bClearedOnSelect), 0);
    DWORD sum = 0;
    for (std::size_t i = 4; i < 112; ++i)
      sum += written.bytes[i];
    EXPECT_EQ(written.get(BootSettings::dwChecksum), sum ^ 0xFF0055AAu);
    EXPECT_TRUE(bootcfg::IsConsistent(written));
  }
}

TEST(BootConfig, ReportsAnUnreadableBlockInItsOwnWords) {
  Fixture f;
  f.kernel.failWith[platform::IOCTL_HAL_GET_BOOT_SETTINGS] = 1117;
  DWORD out = 0xCAFE;
  EXPECT_EQ(f.config.GetBootSelection(), -1);
  EXPECT_FALSE(f.config.SetBootSelection(1));
  EXPECT_FALSE(f.config.GetMainImageMaxSize(&out));
  EXPECT_FALSE(f.config.GetRescueImageMaxSize(&out));
  EXPECT_EQ(out, 0xCAFEu);
  EXPECT_EQ(f.log.lines,
            (std::vector<std::wstring>{
                L"Erreur get settings n\u00b0 1117\r\n", L"Error get settings n\u00b0 1117\r\n",
                L"Error get settings n\u00b0 1117\r\n", L"Error get settings n\u00b0 1117\r\n"}));
  // Nothing was written.
  for (const auto& request : f.kernel.requests)
    EXPECT_EQ(request.code, platform::IOCTL_HAL_GET_BOOT_SETTINGS);

  Fixture g;
  g.kernel.failWith[platform::IOCTL_HAL_SET_BOOT_SETTINGS] = 31;
  EXPECT_FALSE(g.config.SetBootSelection(0));
  EXPECT_EQ(g.log.lines, std::vector<std::wstring>{L"Error set settings n\u00b0 31\r\n"});
}

TEST(GetBootSelection, ReturnsTheStoredValueWidenedWithoutSign) {
  for (const platform::WORD value : {0, 1, 2, 65535}) {
    Fixture f;
    f.kernel.settings[42] = static_cast<platform::BYTE>(value);
    f.kernel.settings[43] = static_cast<platform::BYTE>(value >> 8);
    EXPECT_EQ(f.config.GetBootSelection(), value);
  }
}

TEST(ImageMaxSize, ComesFromTheBlock) {
  Fixture f;
  BootSettings settings;
  settings.set(BootSettings::wMainLimitA, platform::WORD{512});
  settings.set(BootSettings::dwMainLimitB, DWORD{131072});
  settings.set(BootSettings::dwRescueMaxSize, DWORD{16 * 1024 * 1024});
  f.kernel.settings.assign(settings.bytes.begin(), settings.bytes.end());
  DWORD main = 0;
  DWORD rescue = 0;
  ASSERT_TRUE(f.config.GetMainImageMaxSize(&main));
  ASSERT_TRUE(f.config.GetRescueImageMaxSize(&rescue));
  EXPECT_EQ(main, 64u * 1024 * 1024);  // (512 / 0.8) * 128 KiB - 16 MiB
  EXPECT_EQ(rescue, 16u * 1024 * 1024);
}

TEST(MainImageLimit, StaysInsideThirtyTwoBits) {
  struct Case {
    platform::WORD a;
    DWORD b;
    DWORD rescue;
    DWORD limit;
  };
  for (const Case& c :
       {Case{512, 131072, 16777216, 67108864}, Case{4, 100, 0, 500},
        Case{1, 3, 0, 3},  // 3.75 with the fraction discarded
        Case{0, 131072, 1, 0}, Case{8, 100, 2000, 0}, Case{65535, 0xFFFFFFFF, 0, 0xFFFFFFFF},
        Case{4, 1u << 30, 1u << 30, 0xFFFFFFFF}}) {  // exactly 2^32
    EXPECT_EQ(bootcfg::MainImageLimit(c.a, c.b, c.rescue), c.limit) << c.a << " " << c.b;
  }
}

}  // namespace
