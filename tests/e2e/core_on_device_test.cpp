// The core's operations against the simulated device, end to end.
#include <gtest/gtest.h>

#include "bootcfg/boot_config.h"
#include "package/image_trailer.h"
#include "platform/sim/boot_loader.h"
#include "platform/sim/device.h"
#include "platform/text/utf8.h"
#include "power/power_timeouts.h"
#include "tests/e2e/device_fixture.h"
#include "tools/devsim/report.h"

namespace {

using namespace platform;
namespace sim = platform::sim;
using e2e::DeviceTest;

std::vector<std::wstring> Log(const sim::Device& device) {
  std::vector<std::wstring> lines;
  EXPECT_TRUE(sim::ReadDebugLog(device.paths().debugLog(), lines));
  return lines;
}

void Arm(sim::Device& device, const std::string& target, DWORD error, unsigned nth = 1) {
  sim::Fault fault;
  std::string message;
  ASSERT_TRUE(sim::ParseFaultTarget(target, fault, message)) << message;
  fault.error = error;
  fault.nth = nth;
  ASSERT_TRUE(device.faults().Arm(fault));
}

TEST_F(DeviceTest, SetBootSelectionOnAZeroBlockLeavesExactlyTheseBytes) {
  const BYTE zeros[112] = {};
  ASSERT_TRUE(device_->kernel().KernelIoControl(IOCTL_HAL_SET_BOOT_SETTINGS, zeros, 112, nullptr, 0,
                                                nullptr));
  bootcfg::BootConfig config(device_->kernel(), device_->log());
  ASSERT_TRUE(config.SetBootSelection(1));
  Reopen();
  const nlohmann::json state = tools::DescribeDevice(*device_);
  std::string expected(224, '0');
  expected.replace(0, 8, "ab5500ff");
  expected.replace(84, 4, "0100");
  EXPECT_EQ(state["settings_hex"], expected);
  EXPECT_EQ(state["boot_image"], 1);
  EXPECT_EQ(state["settings_checksum_ok"], true);
  EXPECT_EQ(platform::sim::DecideBoot(device_->paths()).image, 1);
}

TEST_F(DeviceTest, BootConfigReadsTheDefaultLimitsAndLogsFailures) {
  bootcfg::BootConfig config(device_->kernel(), device_->log());
  DWORD main = 0;
  DWORD rescue = 0;
  EXPECT_EQ(config.GetBootSelection(), 0);
  ASSERT_TRUE(config.GetMainImageMaxSize(&main));
  ASSERT_TRUE(config.GetRescueImageMaxSize(&rescue));
  EXPECT_EQ(main, 64u << 20);
  EXPECT_EQ(rescue, 16u << 20);

  Arm(*device_, "KernelIoControl:IOCTL_HAL_GET_BOOT_SETTINGS", 1117);
  Arm(*device_, "KernelIoControl:IOCTL_HAL_SET_BOOT_SETTINGS", 29);
  EXPECT_EQ(config.GetBootSelection(), -1);
  EXPECT_FALSE(config.SetBootSelection(1));
  EXPECT_EQ(config.GetBootSelection(), 0);
  EXPECT_EQ(Log(*device_), (std::vector<std::wstring>{L"Erreur get settings n\u00b0 1117\r\n",
                                                      L"Error set settings n\u00b0 29\r\n"}));
}

TEST_F(DeviceTest, PowerGuardSwitchesTheTimeoutsOffAndBack) {
  power::PowerTimeouts saved;
  ASSERT_TRUE(power::ReadPowerTimeouts(device_->registry(), saved));
  EXPECT_EQ(saved.dwACUserIdle, 60u);
  EXPECT_EQ(saved.dwACSystemIdle, 300u);
  EXPECT_EQ(saved.dwACSuspend, 600u);
  power::WritePowerTimeouts(device_->registry(), device_->events(), device_->log(),
                            power::g_TimeoutsOff);
  nlohmann::json state = tools::DescribeDevice(*device_);
  EXPECT_EQ(state["timeouts"],
            (nlohmann::json{{"ACUserIdle", 0}, {"ACSystemIdle", 0}, {"ACSuspend", 0}}));
  EXPECT_EQ(state["power_manager"]["enforced"], state["timeouts"]);
  power::WritePowerTimeouts(device_->registry(), device_->events(), device_->log(), saved);
  Reopen();
  state = tools::DescribeDevice(*device_);
  EXPECT_EQ(state["timeouts"],
            (nlohmann::json{{"ACUserIdle", 60}, {"ACSystemIdle", 300}, {"ACSuspend", 600}}));
  EXPECT_EQ(state["power_manager"]["enforced"], state["timeouts"]);
  EXPECT_EQ(Log(*device_),
            (std::vector<std::wstring>{L"restore timeouts in registry: 0 , 0 , 0\r\n",
                                       L"restore timeouts in registry: 600 , 300 , 60\r\n"}));
  EXPECT_TRUE(device_->Unreleased().empty());
}

TEST_F(DeviceTest, PowerGuardWithoutTheKeyOrThePowerManager) {
  ASSERT_TRUE(device_->simRegistry().Delete(sim::kPowerTimeoutsKey, std::nullopt));
  power::PowerTimeouts saved;
  EXPECT_FALSE(power::ReadPowerTimeouts(device_->registry(), saved));
  EXPECT_FALSE(power::WritePowerTimeouts(device_->registry(), device_->events(), device_->log(),
                                         power::g_TimeoutsOff));
  Arm(*device_, "OpenEvent", 2);
  power::WritePowerTimeouts(device_->registry(), device_->events(), device_->log(),
                            power::g_TimeoutsOff);
  EXPECT_EQ(Log(*device_),
            (std::vector<std::wstring>{L"restore timeouts in registry: 0 , 0 , 0\r\n",
                                       L"restore timeouts in registry: 0 , 0 , 0\r\n",
                                       L"Error: Could not open PM reload event\r\n"}));
  EXPECT_TRUE(device_->Unreleased().empty());
}

TEST_F(DeviceTest, SamplePackagesPassOrFailTheirChecks) {
  struct Case {
    const wchar_t* path;
    bool tagFits;
    package::BlockCheck::Status blocks;
    int position;
  };
  const std::vector<Case> cases = {
      {tools::SamplePaths::kBootLoader, true, package::BlockCheck::Status::kPassed, 0},
      {tools::SamplePaths::kMain, true, package::BlockCheck::Status::kPassed, 0},
      {tools::SamplePaths::kRescue, true, package::BlockCheck::Status::kPassed, 0},
      {L"\\Flash\\EbootMain.nbX", true, package::BlockCheck::Status::kPassed, 0},
      {tools::SamplePaths::kBadCrc, true, package::BlockCheck::Status::kCrcMismatch, 3},
      {tools::SamplePaths::kWrongTag, false, package::BlockCheck::Status::kPassed, 0},
  };
  Files& files = device_->files();
  static package::BlockBuffer buffer;
  for (const Case& c : cases) {
    ScopedFile file(files,
                    files.CreateFile(c.path, kGenericRead, 0, kOpenExisting, kFileAttributeNormal));
    ASSERT_TRUE(file.valid()) << ToUtf8(c.path);
    const package::TrailerResult trailer = package::ReadImageTrailer(files, file.get());
    ASSERT_EQ(trailer.status, package::TrailerStatus::kRead);
    EXPECT_EQ(package::CheckProductTag(trailer.trailer), c.tagFits) << ToUtf8(c.path);
    const package::BlockCheck check =
        package::VerifyImageBlocks(files, file.get(), trailer.trailer, buffer);
    EXPECT_EQ(check.status, c.blocks) << ToUtf8(c.path);
    EXPECT_EQ(check.position, c.blocks == package::BlockCheck::Status::kPassed
                                  ? trailer.trailer.wBlockCount - 1
                                  : c.position);
  }
  Arm(*device_, "ReadFile", 30, 7);  // the first read of the block check
  ScopedFile file(files,
                  files.CreateFile(tools::SamplePaths::kMain, kGenericRead, 0, kOpenExisting, 0));
  const package::TrailerResult trailer = package::ReadImageTrailer(files, file.get());
  ASSERT_EQ(trailer.status, package::TrailerStatus::kRead);
  const package::BlockCheck check =
      package::VerifyImageBlocks(files, file.get(), trailer.trailer, buffer);
  EXPECT_EQ(check.status, package::BlockCheck::Status::kUnreadable);
  EXPECT_EQ(check.position, 0);
  EXPECT_EQ(GetLastError(), 30u);
}

}  // namespace
