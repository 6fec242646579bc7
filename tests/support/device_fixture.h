// Folders of the tests' own, and what a file holds.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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

}  // namespace e2e
