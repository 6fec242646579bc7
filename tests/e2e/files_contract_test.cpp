// The file calls behave alike on every backend: the host's, the simulated device's and the
// in-memory fake that the unit tests use.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "platform/host/host_files.h"
#include "platform/sim/device.h"
#include "platform/text/utf8.h"
#include "tests/e2e/device_fixture.h"
#include "tests/support/fakes.h"

namespace {

using namespace platform;

const std::vector<BYTE> kContent = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};

// A backend holding one file with kContent, and the path that names it there.
struct Backend {
  std::function<Files&()> files;
  std::wstring path;
  std::shared_ptr<void> keep;
};

struct Maker {
  const char* name;
  std::function<Backend(const std::filesystem::path& dir)> make;
};

void PrintTo(const Maker& maker, std::ostream* out) {
  *out << maker.name;
}

void WriteContent(const std::filesystem::path& path) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(kContent.data()),
             static_cast<std::streamsize>(kContent.size()));
}

const Maker kMakers[] = {
    {"memory",
     [](const std::filesystem::path&) {
       auto files = std::make_shared<fakes::MemoryFiles>(kContent);
       return Backend{[files]() -> Files& { return *files; }, L"any", files};
     }},
    {"host",
     [](const std::filesystem::path& dir) {
       WriteContent(dir / "contract.bin");
       auto files = std::make_shared<HostFiles>();
       return Backend{[files]() -> Files& { return *files; },
                      FromUtf8((dir / "contract.bin").string()), files};
     }},
    {"device",
     [](const std::filesystem::path& dir) {
       std::string error;
       EXPECT_TRUE(tools::CreateDevice(dir / "device", {}, error)) << error;
       WriteContent(dir / "device" / "fs" / "Storage" / "contract.bin");
       std::shared_ptr<sim::Device> device = sim::Device::Open(dir / "device", error);
       return Backend{[device]() -> Files& { return device->files(); }, L"\\Storage\\contract.bin",
                      device};
     }},
};

class FilesContract : public testing::TestWithParam<Maker> {
 protected:
  void SetUp() override {
    dir_ = e2e::NewFolder(GetParam().name);
    std::filesystem::create_directories(dir_);
    backend_ = GetParam().make(dir_);
  }
  void TearDown() override {
    backend_ = {};
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
  Backend backend_;
};

TEST_P(FilesContract, ReadSeekSizeAndClose) {
  Files& files = backend_.files();
  const Handle file =
      files.CreateFile(backend_.path, kGenericRead, 0, kOpenExisting, kFileAttributeNormal);
  ASSERT_NE(file, kInvalidHandle);
  DWORD high = 7;
  EXPECT_EQ(files.GetFileSize(file, &high), 10u);
  EXPECT_EQ(high, 0u);

  BYTE buffer[8] = {};
  DWORD read = 0;
  ASSERT_TRUE(files.ReadFile(file, buffer, 3, &read));
  EXPECT_EQ(read, 3u);
  EXPECT_EQ(buffer[2], '2');
  EXPECT_EQ(files.SetFilePointer(file, -4, kFileEnd), 6u);
  ASSERT_TRUE(files.ReadFile(file, buffer, 8, &read));
  EXPECT_EQ(read, 4u);  // the rest of the file
  EXPECT_EQ(buffer[0], '6');
  ASSERT_TRUE(files.ReadFile(file, buffer, 8, &read));
  EXPECT_EQ(read, 0u);  // the end

  EXPECT_EQ(files.SetFilePointer(file, 2, kFileBegin), 2u);
  EXPECT_EQ(files.SetFilePointer(file, -3, kFileCurrent), kInvalidSetFilePointer);
  EXPECT_EQ(GetLastError(), kErrorNegativeSeek);
  ASSERT_TRUE(files.ReadFile(file, buffer, 1, &read));  // the failed seek moved nothing
  EXPECT_EQ(buffer[0], '2');
  EXPECT_EQ(files.SetFilePointer(file, 1, kFileCurrent), 4u);

  EXPECT_EQ(files.SetFilePointer(file, 100, kFileBegin), 100u);  // past the end is allowed
  ASSERT_TRUE(files.ReadFile(file, buffer, 8, &read));
  EXPECT_EQ(read, 0u);

  EXPECT_TRUE(files.CloseHandle(file));
  EXPECT_FALSE(files.CloseHandle(file));
  EXPECT_FALSE(files.ReadFile(file, buffer, 1, &read));
}

INSTANTIATE_TEST_SUITE_P(Backends, FilesContract, testing::ValuesIn(kMakers),
                         [](const testing::TestParamInfo<Maker>& param) {
                           return param.param.name;
                         });

}  // namespace
