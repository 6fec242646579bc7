// What the simulated device does beyond the calls' contract (backend_contract_test): it keeps
// every change across reopening and across processes, knows its bounds to the byte, obeys
// faults, and never lets a link or a full disk tear its folder.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <set>

#include "platform/sim/device.h"
#include "platform/text/utf8.h"
#include "tests/e2e/device_fixture.h"

namespace {

using namespace platform;
namespace sim = platform::sim;
using e2e::DeviceTest;

// Runs body in another process, on the device opened there afresh; what body returned.
int InOtherProcess(const std::filesystem::path& dir, const std::function<int(sim::Device&)>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    std::string error;
    const auto device = sim::Device::Open(dir, error);
    std::_Exit(device ? body(*device) : 100);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(DeviceTest, TheRegistryIgnoresCaseAndKeepsChangesAcrossReopening) {
  Registry& registry = device_->registry();
  HKEY key = kNullHandle;
  ASSERT_EQ(registry.RegOpenKeyEx(kHkeyLocalMachine, L"system\\storagemanager\\profiles\\USER", 0,
                                  0, &key),
            0);
  wchar_t folder[260] = {};
  DWORD size = sizeof folder;
  DWORD type = 0;
  ASSERT_EQ(registry.RegQueryValueEx(key, L"folder", &type, reinterpret_cast<BYTE*>(folder), &size),
            0);
  EXPECT_EQ(std::wstring(folder), L"Flash");
  EXPECT_EQ(size, 6 * sizeof(wchar_t));  // bytes, the NUL included
  EXPECT_EQ(registry.RegCloseKey(key), 0);
  ASSERT_EQ(registry.RegOpenKeyEx(kHkeyLocalMachine, sim::kPowerTimeoutsKey, 0, 0, &key), 0);
  const BYTE zero[4] = {};
  ASSERT_EQ(registry.RegSetValueEx(key, L"ACUserIdle", 0, kRegDword, zero, 4), 0);
  EXPECT_EQ(registry.RegDeleteValue(key, L"acsystemidle"), 0);
  EXPECT_EQ(registry.RegCloseKey(key), 0);
  Reopen();
  EXPECT_EQ(sim::ValueDword(*device_->simRegistry().Get(sim::kPowerTimeoutsKey, L"acuseridle")),
            0u);
  EXPECT_FALSE(device_->simRegistry().Get(sim::kPowerTimeoutsKey, L"ACSystemIdle"));
}

TEST_F(DeviceTest, KeepsItsGuaranteesAcrossProcesses) {
  struct Case {
    const char* name;
    std::function<std::function<void()>(sim::Device&)> take;  // returns how to let it go
    std::function<DWORD(sim::Device&)> tryAgain;              // the last error met, or 0
    DWORD refused;
  };
  const auto openPackage = [](sim::Device& device, DWORD share) {
    return device.files().CreateFile(L"\\Storage\\EbootMain.nbX", kGenericRead, share,
                                     kOpenExisting, 0);
  };
  const std::vector<Case> cases = {
      {"a file opened without sharing",
       [&](sim::Device& device) -> std::function<void()> {
         const Handle file = openPackage(device, 0);
         return [&device, file] { device.files().CloseHandle(file); };
       },
       [&](sim::Device& device) -> DWORD {
         return openPackage(device, kFileShareRead) == kInvalidHandle ? GetLastError() : 0;
       },
       kErrorSharingViolation},
      {"the BINFS driver",
       [](sim::Device& device) -> std::function<void()> {
         const Handle driver = device.devices().ActivateDevice(L"\\Drivers\\BINDRV", 0);
         return [&device, driver] { device.devices().DeactivateDevice(driver); };
       },
       [](sim::Device& device) -> DWORD {
         return device.devices().ActivateDevice(L"\\Drivers\\BINDRV", 0) == kNullHandle
                    ? GetLastError()
                    : 0;
       },
       kErrorDeviceInUse},
      {"a named mutex",
       [](sim::Device& device) -> std::function<void()> {
         const Handle mutex = device.events().CreateMutex(false, L"Tessaron/Loader");
         return [&device, mutex] { device.events().CloseHandle(mutex); };
       },
       [](sim::Device& device) -> DWORD {
         const Handle mutex = device.events().CreateMutex(false, L"Tessaron/Loader");
         const DWORD error = GetLastError();
         return mutex != kNullHandle && device.events().CloseHandle(mutex) ? error : 1;
       },
       kErrorAlreadyExists},
  };
  const auto other = [this](const Case& c) {
    return InOtherProcess(dir_, [&c](sim::Device& d) { return int(c.tryAgain(d) & 0xFF); });
  };
  for (const Case& c : cases) {
    const std::function<void()> release = c.take(*device_);
    EXPECT_EQ(other(c), static_cast<int>(c.refused & 0xFF)) << c.name;
    release();
    EXPECT_EQ(other(c), 0) << c.name;
  }
  EXPECT_TRUE(device_->Unreleased().empty());

  // Changes made at the same time by two processes are all kept.
  const auto setValues = [](sim::Device& device, const std::wstring& prefix) {
    for (int i = 0; i < 50; ++i) {
      if (!device.simRegistry().Put(L"Test", prefix + std::to_wstring(i), sim::DwordValue(i)))
        return 1;
    }
    return 0;
  };
  const pid_t child = ::fork();
  if (child == 0)
    std::_Exit(InOtherProcess(dir_, [&](sim::Device& d) { return setValues(d, L"b"); }));
  EXPECT_EQ(setValues(*device_, L"a"), 0);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int i = 0; i < 50; ++i) {
    EXPECT_TRUE(device_->simRegistry().Get(L"Test", L"a" + std::to_wstring(i)));
    EXPECT_TRUE(device_->simRegistry().Get(L"Test", L"b" + std::to_wstring(i)));
  }
}

TEST_F(DeviceTest, PowerManagerEnforcesWhatTheKeyHoldsWhenItsEventIsSet) {
  Events& events = device_->events();
  const Handle event =
      events.OpenEvent(kEventAllAccess, false, L"PowerManager/ReloadActivityTimeouts");
  const std::size_t before = device_->powerManager()->reloads().size();
  ASSERT_TRUE(device_->simRegistry().Put(sim::kPowerTimeoutsKey, L"ACSuspend", sim::DwordValue(0)));
  ASSERT_TRUE(device_->simRegistry().Delete(sim::kPowerTimeoutsKey, std::wstring(L"ACUserIdle")));
  EXPECT_TRUE(events.EventModify(event, kEventSet));
  EXPECT_TRUE(events.CloseHandle(event));
  Reopen();
  const sim::EnforcedTimeouts& enforced = device_->powerManager()->enforced();
  EXPECT_FALSE(enforced.values[0].has_value());
  EXPECT_EQ(enforced.values[1], 300u);
  EXPECT_EQ(enforced.values[2], 0u);
  EXPECT_EQ(device_->powerManager()->reloads().size(), before + 1);
}

// Each bound met exactly passes; one byte more is refused.
TEST_F(DeviceTest, BoundsHoldToTheByteAndWhatPassesIsKept) {
  TearDown();
  options_.factoryImages[1] = 16384;
  options_.rescueMax = 4 * 16384;
  SetUp();
  Kernel& kernel = device_->kernel();
  const std::vector<BYTE> loader(device_->bootLoaderCapacity() + 1, 'E');
  EXPECT_FALSE(kernel.KernelIoControl(IOCTL_HAL_WRITE_BOOTLOADER, loader.data(),
                                      static_cast<DWORD>(loader.size()), nullptr, 0, nullptr));
  EXPECT_EQ(GetLastError(), kErrorDiskFull);
  ASSERT_TRUE(kernel.KernelIoControl(IOCTL_HAL_WRITE_BOOTLOADER, loader.data(),
                                     device_->bootLoaderCapacity(), nullptr, 0, nullptr));
  std::vector<BYTE> constants(540);
  for (std::size_t i = 0; i < constants.size(); ++i)
    constants[i] = static_cast<BYTE>(i * 7);
  ASSERT_TRUE(
      kernel.KernelIoControl(IOCTL_HAL_SET_CONSTANTS, constants.data(), 540, nullptr, 0, nullptr));

  const DWORD region = device_->binfsLayout().regionSize[1];
  ASSERT_EQ(region, 4u * 16384);
  {
    Devices& devices = device_->devices();
    ScopedDriver driver(devices, devices.ActivateDevice(L"\\Drivers\\BINDRV", 0));
    ScopedStream stream(devices, devices.CreateFile(L"BIN1:", kGenericWrite, 0, kOpenExisting, 0));
    const BYTE rescue = 1;
    ASSERT_TRUE(devices.DeviceIoControl(stream.get(), BIN_IOCTL_SELECT_IMAGE, &rescue, 1, nullptr,
                                        0, nullptr));
    const std::vector<BYTE> chunk(16384, 0xA5);
    DWORD written = 0;
    for (int k = 0; k < 4; ++k)
      ASSERT_TRUE(devices.WriteFile(stream.get(), chunk.data(), 16384, &written)) << k;
    EXPECT_FALSE(devices.WriteFile(stream.get(), chunk.data(), 1, &written));
    EXPECT_EQ(GetLastError(), kErrorDiskFull);
    const DWORD longer = region + 1;
    EXPECT_FALSE(devices.DeviceIoControl(stream.get(), BIN_IOCTL_UPDATE_HEADER, &longer, 4, nullptr,
                                         0, nullptr));
    ASSERT_TRUE(devices.DeviceIoControl(stream.get(), BIN_IOCTL_UPDATE_HEADER, &region, 4, nullptr,
                                        0, nullptr));
  }
  EXPECT_TRUE(device_->Unreleased().empty());
  Reopen();
  sim::BinfsHeader header;
  ASSERT_TRUE(sim::LoadBinfsHeader(device_->paths(), header));
  EXPECT_EQ(header.length[1], region);
  EXPECT_EQ(std::filesystem::file_size(device_->paths().image(1)), region);
  std::string stored;
  ASSERT_TRUE(host::ReadWholeFile(device_->paths().bootLoader(), stored));
  EXPECT_EQ(stored, std::string(device_->bootLoaderCapacity(), 'E'));
  BYTE back[540] = {};
  ASSERT_TRUE(
      device_->kernel().KernelIoControl(IOCTL_HAL_GET_CONSTANTS, nullptr, 0, back, 540, nullptr));
  EXPECT_EQ(std::vector<BYTE>(back, back + 540), constants);
}

TEST_F(DeviceTest, FileSystemMapsDevicePathsAndNothingElse) {
  Files& files = device_->files();
  const auto open = [&files](const std::wstring& path) {
    return files.CreateFile(path, kGenericRead, 0, kOpenExisting, kFileAttributeNormal);
  };
  const Handle sample = open(L"\\storage\\EBOOTMAIN.NBX");
  ASSERT_NE(sample, kInvalidHandle);
  EXPECT_EQ(files.GetFileSize(sample, nullptr),
            std::filesystem::file_size(dir_ / "fs" / "Storage" / "EbootMain.nbX"));
  EXPECT_TRUE(files.CloseHandle(sample));

  std::filesystem::create_directory_symlink(dir_, dir_ / "fs" / "escape");
  std::ofstream(dir_ / "outside.txt") << "secret";
  ASSERT_EQ(::mkfifo((dir_ / "fs" / "Storage" / "EbootPipe.nbX").c_str(), 0600), 0);
  for (const wchar_t* path :
       {L"\\Storage\\EbootPipe.nbX", L"\\..\\device.json", L"\\Storage\\..\\..\\device.json",
        L"Storage\\EbootMain.nbX", L"\\escape\\outside.txt", L"\\Storage",
        L"\\Storage\\Missing.nbX", L"\\Sto:rage\\x", L""}) {
    EXPECT_EQ(open(path), kInvalidHandle) << ToUtf8(path);
  }
  EXPECT_TRUE(device_->Unreleased().empty());
}

TEST_F(DeviceTest, FaultsFireAtTheirOccurrenceOnceAndSurviveReopening) {
  sim::Fault fault;
  std::string error;
  ASSERT_TRUE(sim::ParseFaultTarget("KernelIoControl:IOCTL_HAL_GET_BOOT_SETTINGS", fault, error));
  fault.nth = 2;
  fault.error = 1117;
  ASSERT_TRUE(device_->faults().Arm(fault));
  Reopen();  // armed from outside: the next program obeys
  device_->faults().RecordCalls(true);
  BYTE settings[112];
  const auto get = [&](DWORD code) {
    return device_->kernel().KernelIoControl(code, nullptr, 0, settings, 112, nullptr);
  };
  // Another request of the same call does not count towards the fault.
  EXPECT_FALSE(get(IOCTL_HAL_GET_CONSTANTS));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EXPECT_TRUE(get(IOCTL_HAL_GET_BOOT_SETTINGS));
  EXPECT_FALSE(get(IOCTL_HAL_GET_BOOT_SETTINGS));
  EXPECT_EQ(GetLastError(), 1117u);
  EXPECT_TRUE(get(IOCTL_HAL_GET_BOOT_SETTINGS));
  EXPECT_TRUE(device_->faults().armed().empty());
  EXPECT_EQ(device_->faults().trace(),
            (std::vector<std::string>{"KernelIoControl:0x0101041C", "KernelIoControl:0x01010420",
                                      "KernelIoControl:0x01010420", "KernelIoControl:0x01010420"}));
  Reopen();
  EXPECT_TRUE(device_->faults().armed().empty());
  for (const char* bad : {"Nothing", "KernelIoControl:zz", "DeviceIoControl:0x123456789"})
    EXPECT_FALSE(sim::ParseFaultTarget(bad, fault, error)) << bad;
}

TEST_F(DeviceTest, AChangeIsNeverRedirectedAndLeavesNothingBehind) {
  const std::filesystem::path victim = dir_.parent_path() / (dir_.filename().string() + "-victim");
  std::ofstream(victim) << "the user's own file";
  const std::filesystem::path nor = device_->paths().settings().parent_path();
  const auto listing = [&nor] {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(nor))
      names.insert(entry.path().filename().string());
    return names;
  };
  const std::vector<BYTE> settings(kBootSettingsSize, 0x5A);
  const auto setSettings = [&settings](sim::Device& device) {
    return device.kernel().KernelIoControl(IOCTL_HAL_SET_BOOT_SETTINGS, settings.data(),
                                           kBootSettingsSize, nullptr, 0, nullptr);
  };
  // A link where a temporary file once had its fixed name is no longer met.
  std::filesystem::create_symlink(victim, nor / "settings.bin.tmp");
  const std::set<std::string> before = listing();
  EXPECT_TRUE(setSettings(*device_));
  EXPECT_EQ(listing(), before);
  // A link in place of the block itself is refused, not followed.
  std::filesystem::remove(device_->paths().settings());
  std::filesystem::create_symlink(victim, device_->paths().settings());
  EXPECT_FALSE(setSettings(*device_));
  EXPECT_EQ(GetLastError(), kErrorWriteFault);
  std::filesystem::remove(device_->paths().settings());
  // A full disk: the write fails and its temporary file is gone.
  EXPECT_EQ(InOtherProcess(dir_,
                           [&](sim::Device& other) {
                             ::signal(SIGXFSZ, SIG_IGN);
                             const rlimit small{100, 100};
                             ::setrlimit(RLIMIT_FSIZE, &small);
                             return setSettings(other) ? 1 : 0;
                           }),
            0);
  std::set<std::string> after = before;
  after.erase("settings.bin");
  EXPECT_EQ(listing(), after);
  std::string text;
  ASSERT_TRUE(host::ReadWholeFile(victim, text));
  EXPECT_EQ(text, "the user's own file");
  std::filesystem::remove(victim);
}

}  // namespace
