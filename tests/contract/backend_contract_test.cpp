// What the core relies on of each device call, checked alike on every backend that serves it:
// the simulated device, the host's files (the tools), the in-memory file of the package tests,
// and, in the Windows build under Wine, the device's own services over real calls.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/host/host_files.h"
#include "platform/sim/device.h"
#include "platform/text/utf8.h"
#include "tests/contract/contract_backend.h"
#include "tests/support/device_fixture.h"
#include "tests/support/fakes.h"

namespace {

using namespace platform;
using e2e::Backend;

const std::vector<BYTE>& kContent = e2e::kContractContent;
const std::vector<BYTE> kSixty = {60, 0, 0, 0};

void WriteContent(const std::filesystem::path& path) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(kContent.data()), kContent.size());
}

// The backend named so, made in dir.
Backend Make(const std::string& name, const std::filesystem::path& dir) {
  if (name == "memory") {
    auto files = std::make_shared<fakes::MemoryFiles>(kContent);
    return {files.get(), L"any", {}, {}, {}, {}, files};
  }
  if (name == "host") {
    WriteContent(dir / "contract.bin");
    auto files = std::make_shared<HostFiles>();
    return {files.get(), FromUtf8((dir / "contract.bin").string()), {}, {}, {}, {}, files};
  }
#ifdef _WIN32
  if (name == "device")
    return e2e::MakeDeviceServices(dir);
#endif
  std::string error;
  EXPECT_TRUE(tools::CreateDevice(dir / "device", {}, error)) << error;
  WriteContent(dir / "device" / "fs" / "Storage" / "contract.bin");
  std::shared_ptr<sim::Device> d = sim::Device::Open(dir / "device", error);
  d->simRegistry().Put(e2e::kContractKey, L"Number", {kRegDword, kSixty});
  const std::wstring path = L"\\Storage\\contract.bin";
  return {&d->files(), path, &d->registry(), &d->events(), &d->devices(), &d->kernel(), d};
}

class Contract : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    dir_ = e2e::NewFolder(GetParam());
    std::filesystem::create_directories(dir_);
    b_ = Make(GetParam(), dir_);
  }
  void TearDown() override {
    b_ = {};
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
  Backend b_;
};

class FilesContract : public Contract {};
class RegistryContract : public Contract {};
class EventsContract : public Contract {};
class DevicesContract : public Contract {};
class KernelContract : public Contract {};

TEST_P(FilesContract, ReadSeekSizeAndClose) {
  Files& files = *b_.files;
  const Handle file =
      files.CreateFile(b_.path, kGenericRead, 0, kOpenExisting, kFileAttributeNormal);
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

// A path through a file names no folder; the files of the host and of the simulated device are
// read only.
TEST_P(FilesContract, RefusesAPathThroughAFileAndWriting) {
  if (GetParam() == "memory")
    GTEST_SKIP() << "the fake serves its one file at any path";
  const auto separator = static_cast<wchar_t>(
      GetParam() == "host" ? std::filesystem::path::preferred_separator : '\\');
  Files& files = *b_.files;
  EXPECT_EQ(files.CreateFile(b_.path + separator + L"x", kGenericRead, 0, kOpenExisting, 0),
            kInvalidHandle);
  EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  if (GetParam() != "device") {
    EXPECT_EQ(files.CreateFile(b_.path, kGenericRead | kGenericWrite, 0, kOpenExisting, 0),
              kInvalidHandle);
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  }
}

TEST_P(RegistryContract, QueriesSetsAndDeletesValuesOfAnOpenKey) {
  Registry& registry = *b_.registry;
  HKEY key = kNullHandle;
  EXPECT_EQ(registry.RegOpenKeyEx(kHkeyLocalMachine, L"Software\\Missing", 0, 0, &key),
            static_cast<LONG>(kErrorFileNotFound));
  ASSERT_EQ(registry.RegOpenKeyEx(kHkeyLocalMachine, e2e::kContractKey, 0, 0, &key), 0);
  BYTE data[8] = {};
  DWORD type = 0;
  DWORD size = 2;  // too small: the size needed comes back
  EXPECT_EQ(registry.RegQueryValueEx(key, L"Number", &type, data, &size),
            static_cast<LONG>(kErrorMoreData));
  EXPECT_EQ(size, 4u);
  ASSERT_EQ(registry.RegQueryValueEx(key, L"Number", &type, data, &size), 0);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(std::vector<BYTE>(data, data + size), kSixty);
  size = 8;
  EXPECT_EQ(registry.RegQueryValueEx(key, L"Missing", &type, data, &size),
            static_cast<LONG>(kErrorFileNotFound));

  const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(registry.RegSetValueEx(key, L"Other", 0, kRegBinary, eight, 8), 0);
  size = 8;
  ASSERT_EQ(registry.RegQueryValueEx(key, L"Other", &type, data, &size), 0);
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(std::vector<BYTE>(data, data + size), std::vector<BYTE>(eight, eight + 8));
  EXPECT_EQ(registry.RegDeleteValue(key, L"Other"), 0);
  EXPECT_EQ(registry.RegDeleteValue(key, L"Other"), static_cast<LONG>(kErrorFileNotFound));
  EXPECT_EQ(registry.RegCloseKey(key), 0);
  EXPECT_EQ(registry.RegCloseKey(key), static_cast<LONG>(kErrorInvalidHandle));

  // A key made when missing, and found again; its changes flushed.
  const std::wstring made = e2e::kContractKey + L"\\Made";
  ASSERT_EQ(registry.RegCreateKeyEx(kHkeyLocalMachine, made, 0, 0, &key), 0);
  ASSERT_EQ(registry.RegSetValueEx(key, L"Kept", 0, kRegDword, kSixty.data(), 4), 0);
  EXPECT_EQ(registry.RegFlushKey(key), 0);
  EXPECT_EQ(registry.RegCloseKey(key), 0);
  ASSERT_EQ(registry.RegCreateKeyEx(kHkeyLocalMachine, made, 0, 0, &key), 0);
  size = 8;
  EXPECT_EQ(registry.RegQueryValueEx(key, L"Kept", &type, data, &size), 0);
  EXPECT_EQ(std::vector<BYTE>(data, data + size), kSixty);
  EXPECT_EQ(registry.RegDeleteValue(key, L"Kept"), 0);
  EXPECT_EQ(registry.RegCloseKey(key), 0);
}

TEST_P(EventsContract, TheReloadEventOpensAndSets) {
  Events& events = *b_.events;
  EXPECT_EQ(events.OpenEvent(kEventAllAccess, false, L"PowerManager/Other"), kNullHandle);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  const Handle event =
      events.OpenEvent(kEventAllAccess, false, L"PowerManager/ReloadActivityTimeouts");
  ASSERT_NE(event, kNullHandle);
  EXPECT_TRUE(events.EventModify(event, kEventSet));
  EXPECT_TRUE(events.CloseHandle(event));
  EXPECT_FALSE(events.CloseHandle(event));
}

TEST_P(EventsContract, AMutexExistsWhileAnyHandleToItIsOpen) {
  Events& events = *b_.events;
  const Handle first = events.CreateMutex(false, L"Contract");
  ASSERT_NE(first, kNullHandle);
  EXPECT_EQ(GetLastError(), kErrorSuccess);
  const Handle second = events.CreateMutex(false, L"Contract");
  ASSERT_NE(second, kNullHandle);  // a handle all the same, to be closed
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  const Handle other = events.CreateMutex(false, L"Another");
  EXPECT_EQ(GetLastError(), kErrorSuccess);
  EXPECT_TRUE(events.CloseHandle(first));
  const Handle third = events.CreateMutex(false, L"Contract");  // the second handle keeps it
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_TRUE(events.CloseHandle(third));
  EXPECT_TRUE(events.CloseHandle(second));
  const Handle again = events.CreateMutex(false, L"Contract");
  EXPECT_EQ(GetLastError(), kErrorSuccess);
  EXPECT_TRUE(events.CloseHandle(again));
  EXPECT_TRUE(events.CloseHandle(other));
}

TEST_P(DevicesContract, TheBinfsStreamTakesAnImageAndItsLength) {
  Devices& devices = *b_.devices;
  EXPECT_EQ(devices.CreateFile(L"BIN1:", kGenericRead, 0, kOpenExisting, 0), kInvalidHandle);
  const Handle driver = devices.ActivateDevice(L"\\Drivers\\BINDRV", 0);
  ASSERT_NE(driver, kNullHandle);
  EXPECT_EQ(devices.ActivateDevice(L"\\Drivers\\BINDRV", 0), kNullHandle);  // one user at a time
  const Handle stream =
      devices.CreateFile(L"BIN1:", kGenericRead | kGenericWrite, 0, kOpenExisting, 0);
  ASSERT_NE(stream, kInvalidHandle);
  EXPECT_EQ(devices.CreateFile(L"BIN1:", kGenericRead, 0, kOpenExisting, 0), kInvalidHandle);
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  const auto request = [&](DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize) {
    return devices.DeviceIoControl(stream, code, in, inSize, out, outSize, nullptr);
  };
  DWORD sector = 0;
  DWORD wide[2];
  EXPECT_TRUE(request(BIN_IOCTL_GET_SECTOR_SIZE, nullptr, 0, &sector, 4));
  EXPECT_GT(sector, 0u);
  EXPECT_FALSE(request(BIN_IOCTL_GET_SECTOR_SIZE, nullptr, 0, wide, 8));
  DWORD written = 0;
  const BYTE bytes[3] = {1, 2, 3};
  EXPECT_FALSE(devices.WriteFile(stream, bytes, 3, &written));  // no image selected
  EXPECT_EQ(GetLastError(), kErrorNotReady);
  const BYTE two = 2;
  const BYTE rescue = 1;
  const DWORD length = 3;
  EXPECT_FALSE(request(BIN_IOCTL_SELECT_IMAGE, &two, 1, nullptr, 0));
  EXPECT_FALSE(request(BIN_IOCTL_SELECT_IMAGE, &length, 4, nullptr, 0));
  EXPECT_FALSE(request(BIN_IOCTL_UPDATE_HEADER, &length, 4, nullptr, 0));
  ASSERT_TRUE(request(BIN_IOCTL_SELECT_IMAGE, &rescue, 1, nullptr, 0));
  ASSERT_TRUE(devices.WriteFile(stream, bytes, 2, &written));
  EXPECT_EQ(written, 2u);
  ASSERT_TRUE(devices.WriteFile(stream, bytes + 2, 1, &written));
  EXPECT_FALSE(request(BIN_IOCTL_UPDATE_HEADER, &length, 2, nullptr, 0));
  EXPECT_TRUE(request(BIN_IOCTL_UPDATE_HEADER, &length, 4, nullptr, 0));
  EXPECT_TRUE(devices.CloseHandle(stream));
  EXPECT_FALSE(devices.CloseHandle(stream));
  EXPECT_TRUE(devices.DeactivateDevice(driver));
  EXPECT_FALSE(devices.DeactivateDevice(driver));
  const Handle next = devices.ActivateDevice(L"\\Drivers\\BINDRV", 0);
  EXPECT_NE(next, kNullHandle);
  EXPECT_TRUE(devices.DeactivateDevice(next));
}

TEST_P(KernelContract, FiveRequestsEachWithItsExactSizes) {
  BYTE settings[112];
  BYTE big[600];
  std::vector<BYTE> constants(540);
  for (std::size_t i = 0; i < constants.size(); ++i)
    constants[i] = static_cast<BYTE>(i * 7);
  DWORD returned = 0;
  const auto io = [&](DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize) {
    return b_.kernel->KernelIoControl(code, in, inSize, out, outSize, out ? &returned : nullptr);
  };
  EXPECT_TRUE(io(IOCTL_HAL_GET_BOOT_SETTINGS, nullptr, 0, settings, 112));
  EXPECT_EQ(returned, 112u);
  EXPECT_TRUE(io(IOCTL_HAL_SET_BOOT_SETTINGS, settings, 112, nullptr, 0));
  ASSERT_TRUE(io(IOCTL_HAL_SET_CONSTANTS, constants.data(), 540, nullptr, 0));
  ASSERT_TRUE(io(IOCTL_HAL_GET_CONSTANTS, nullptr, 0, big, 540));
  EXPECT_EQ(returned, 540u);
  EXPECT_EQ(std::vector<BYTE>(big, big + 540), constants);
  EXPECT_TRUE(io(IOCTL_HAL_WRITE_BOOTLOADER, big, 5, nullptr, 0));
  const std::tuple<DWORD, const void*, DWORD, void*, DWORD> refused[] = {
      {IOCTL_HAL_GET_BOOT_SETTINGS, nullptr, 0, big, 200},
      {IOCTL_HAL_GET_BOOT_SETTINGS, nullptr, 0, settings, 111},
      {IOCTL_HAL_SET_BOOT_SETTINGS, big, 113, nullptr, 0},
      {IOCTL_HAL_GET_CONSTANTS, nullptr, 0, settings, 112},
      {IOCTL_HAL_SET_CONSTANTS, big, 539, nullptr, 0},
      {IOCTL_HAL_WRITE_BOOTLOADER, nullptr, 0, nullptr, 0},
      {0x0101042C, nullptr, 0, nullptr, 0}};
  for (const auto& [code, in, inSize, out, outSize] : refused) {
    SetLastError(0);
    EXPECT_FALSE(io(code, in, inSize, out, outSize))
        << std::hex << code << " " << inSize << " " << outSize;
    EXPECT_NE(GetLastError(), 0u);
  }
}

std::string Name(const testing::TestParamInfo<std::string>& param) {
  return param.param;
}

// Each seam over every backend that serves it.
#ifdef _WIN32
const auto kBackends = testing::Values("simulated", "device");
INSTANTIATE_TEST_SUITE_P(Backends, FilesContract,
                         testing::Values("memory", "host", "simulated", "device"), Name);
#else
const auto kBackends = testing::Values("simulated");
INSTANTIATE_TEST_SUITE_P(Backends, FilesContract, testing::Values("memory", "host", "simulated"),
                         Name);
#endif
INSTANTIATE_TEST_SUITE_P(Backends, RegistryContract, kBackends, Name);
INSTANTIATE_TEST_SUITE_P(Backends, EventsContract, kBackends, Name);
INSTANTIATE_TEST_SUITE_P(Backends, DevicesContract, kBackends, Name);
INSTANTIATE_TEST_SUITE_P(Backends, KernelContract, kBackends, Name);

}  // namespace
