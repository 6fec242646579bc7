// A fresh simulated device with the default contents and samples, in a folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/sim/device.h"
#include "tools/common/provision.h"

namespace e2e {

// A file's bytes; none when it cannot be read.
inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A new folder below base: the tests' own, which may be in memory.
inline std::filesystem::path NewFolder(const std::string& name,
                                       const std::filesystem::path& base = testing::TempDir()) {
  static int counter = 0;
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  std::filesystem::path dir =
      base / ("tessaron-" + std::string(info->test_suite_name()) + "." + info->name() + "-" + name +
              "-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
              std::to_string(++counter));
  std::filesystem::remove_all(dir);
  return dir;
}

class DeviceTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = NewFolder("device", base_);
    std::string error;
    ASSERT_TRUE(tools::CreateDevice(dir_, options_, error)) << error;
    Reopen();
  }
  void TearDown() override {
    device_.reset();
    std::filesystem::remove_all(dir_);
  }
  // Opens the device afresh from its directory, as the next program would.
  void Reopen() {
    device_.reset();
    std::string error;
    device_ = platform::sim::Device::Open(dir_, error);
    ASSERT_TRUE(device_) << error;
  }

  tools::DeviceOptions options_;
  std::filesystem::path base_ = testing::TempDir();  // where the device's folder is made
  std::filesystem::path dir_;
  std::unique_ptr<platform::sim::Device> device_;
};

}  // namespace e2e
