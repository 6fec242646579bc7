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

using SimRegistryTest = DeviceTest;

TEST_F(SimRegistryTest, AnswersQueriesAsTheDeviceDoes) {
  Registry& registry = device_->registry();
  HKEY key = kNullHandle;
  ASSERT_EQ(registry.RegOpenKeyEx(kHkeyLocalMachine, L"system\\storagemanager\\profiles\\USER", 0,
                                  0, &key),
            0);
  wchar_t folder[260] = {};
  DWORD size = sizeof folder;
  DWORD type = 0;
  ASSERT_EQ(registry.RegQueryValueEx(key, L"Folder", &type, reinterpret_cast<BYTE*>(folder), &size),
            0);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(std::wstring(folder), L"Flash");
  EXPECT_EQ(size, 6 * sizeof(wchar_t));
  EXPECT_EQ(
      registry.RegQueryValueEx(key, L"Nothing", &type, reinterpret_cast<BYTE*>(folder), &size),
      static_cast<LONG>(kErrorFileNotFound));
  EXPECT_EQ(registry.RegCloseKey(key), 0);
  EXPECT_EQ(registry.RegCloseKey(key), static_cast<LONG>(kErrorInvalidHandle));
  EXPECT_EQ(registry.RegOpenKeyEx(kHkeyLocalMachine, L"System\\Missing", 0, 0, &key),
            static_cast<LONG>(kErrorFileNotFound));

  // A value longer than four bytes does not fit a DWORD buffer.
  ASSERT_TRUE(device_->simRegistry().Put(sim::kPowerTimeoutsKey, L"ACSuspend",
                                         {kRegBinary, std::vector<BYTE>(8, 7)}));
  ASSERT_EQ(registry.RegOpenKeyEx(kHkeyLocalMachine, sim::kPowerTimeoutsKey, 0, 0, &key), 0);
  BYTE four[4] = {};
  size = 4;
  EXPECT_EQ(registry.RegQueryValueEx(key, L"ACSuspend", &type, four, &size),
            static_cast<LONG>(kErrorMoreData));
  EXPECT_EQ(size, 8u);
  size = 4;
  ASSERT_EQ(registry.RegQueryValueEx(key, L"ACUserIdle", &type, four, &size), 0);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(four[0], 60);

  const BYTE zero[4] = {};
  ASSERT_EQ(registry.RegSetValueEx(key, L"ACUserIdle", 0, kRegDword, zero, 4), 0);
  EXPECT_EQ(registry.RegDeleteValue(key, L"acsystemidle"), 0);
  EXPECT_EQ(registry.RegDeleteValue(key, L"ACSystemIdle"), static_cast<LONG>(kErrorFileNotFound));
  EXPECT_EQ(registry.RegCloseKey(key), 0);
  Reopen();
  EXPECT_EQ(sim::ValueDword(*device_->simRegistry().Get(sim::kPowerTimeoutsKey, L"acuseridle")),
            0u);
  EXPECT_EQ(device_->simRegistry().Get(sim::kPowerTimeoutsKey, L"ACSuspend")->data.size(), 8u);
  EXPECT_FALSE(device_->simRegistry().Get(sim::kPowerTimeoutsKey, L"ACSystemIdle"));
}

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

TEST_F(DeviceTest, KeepsItsGuaranteesAcrossProcesses) {
  struct Case {
    const char* name;
    // Takes something in this process; returns how to let it go.
    std::function<std::function<void()>(sim::Device&)> take;
    // Tries the same in the other process: the last error it met, or 0.
    std::function<DWORD(sim::Device&)> tryAgain;
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
         const Handle file = openPackage(device, kFileShareRead);
         return file == kInvalidHandle ? GetLastError() : 0;
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
  for (const Case& c : cases) {
    const std::function<void()> release = c.take(*device_);
    EXPECT_EQ(
        InOtherProcess(
            dir_, [&c](sim::Device& other) { return static_cast<int>(c.tryAgain(other) & 0xFF); }),
        static_cast<int>(c.refused & 0xFF))
        << c.name;
    release();
    EXPECT_EQ(
        InOtherProcess(
            dir_, [&c](sim::Device& other) { return static_cast<int>(c.tryAgain(other) & 0xFF); }),
        0)
        << c.name;
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
    std::_Exit(InOtherProcess(dir_, [&](sim::Device& other) { return setValues(other, L"b"); }));
  EXPECT_EQ(setValues(*device_, L"a"), 0);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int i = 0; i < 50; ++i) {
    EXPECT_TRUE(device_->simRegistry().Get(L"Test", L"a" + std::to_wstring(i)));
    EXPECT_TRUE(device_->simRegistry().Get(L"Test", L"b" + std::to_wstring(i)));
  }
}

TEST_F(DeviceTest, PowerManagerReloadsWhenItsEventIsSet) {
  Events& events = device_->events();
  EXPECT_EQ(events.OpenEvent(kEventAllAccess, false, L"PowerManager/Other"), kNullHandle);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  const Handle event =
      events.OpenEvent(kEventAllAccess, false, L"PowerManager/ReloadActivityTimeouts");
  ASSERT_NE(event, kNullHandle);
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

TEST_F(DeviceTest, HalServesFiveRequestsWithExactSizes) {
  Kernel& kernel = device_->kernel();
  BYTE settings[112];
  BYTE big[200];
  BYTE constants[540];
  DWORD returned = 0;
  EXPECT_TRUE(
      kernel.KernelIoControl(IOCTL_HAL_GET_BOOT_SETTINGS, nullptr, 0, settings, 112, &returned));
  EXPECT_EQ(returned, 112u);
  struct Refused {
    DWORD code;
    const void* in;
    DWORD inSize;
    void* out;
    DWORD outSize;
  };
  for (const Refused& r : {Refused{IOCTL_HAL_GET_BOOT_SETTINGS, nullptr, 0, big, 200},
                           Refused{IOCTL_HAL_GET_BOOT_SETTINGS, nullptr, 0, settings, 111},
                           Refused{IOCTL_HAL_SET_BOOT_SETTINGS, big, 113, nullptr, 0},
                           Refused{IOCTL_HAL_GET_CONSTANTS, nullptr, 0, settings, 112},
                           Refused{IOCTL_HAL_SET_CONSTANTS, constants, 539, nullptr, 0},
                           Refused{IOCTL_HAL_WRITE_BOOTLOADER, nullptr, 0, nullptr, 0},
                           Refused{0x0101042C, nullptr, 0, nullptr, 0}}) {
    SetLastError(0);
    EXPECT_FALSE(kernel.KernelIoControl(r.code, r.in, r.inSize, r.out, r.outSize, nullptr))
        << r.code;
    EXPECT_NE(GetLastError(), 0u) << r.code;
  }
  std::vector<BYTE> tooBig(device_->bootLoaderCapacity() + 1, 1);
  EXPECT_FALSE(kernel.KernelIoControl(IOCTL_HAL_WRITE_BOOTLOADER, tooBig.data(),
                                      static_cast<DWORD>(tooBig.size()), nullptr, 0, nullptr));
  EXPECT_EQ(GetLastError(), kErrorDiskFull);

  for (std::size_t i = 0; i < 540; ++i)
    constants[i] = static_cast<BYTE>(i * 7);
  ASSERT_TRUE(kernel.KernelIoControl(IOCTL_HAL_SET_CONSTANTS, constants, 540, nullptr, 0, nullptr));
  const BYTE loader[5] = {'E', 'B', 'O', 'O', 'T'};
  ASSERT_TRUE(kernel.KernelIoControl(IOCTL_HAL_WRITE_BOOTLOADER, loader, 5, nullptr, 0, nullptr));
  Reopen();
  BYTE back[540] = {};
  ASSERT_TRUE(
      device_->kernel().KernelIoControl(IOCTL_HAL_GET_CONSTANTS, nullptr, 0, back, 540, nullptr));
  EXPECT_TRUE(std::equal(back, back + 540, constants));
  std::string stored;
  ASSERT_TRUE(host::ReadWholeFile(device_->paths().bootLoader(), stored));
  EXPECT_EQ(stored, "EBOOT");
}

struct Binfs {
  Devices& devices;
  ScopedDriver driver;
  ScopedStream stream;

  explicit Binfs(Devices& d) : devices(d) {
    driver = ScopedDriver(d, d.ActivateDevice(L"\\Drivers\\BINDRV", 0));
    stream = ScopedStream(d, d.CreateFile(L"BIN1:", kGenericRead | kGenericWrite, 0, kOpenExisting,
                                          kFileAttributeNormal));
  }
  bool Request(DWORD code, const void* in, DWORD inSize, void* out = nullptr, DWORD outSize = 0) {
    return devices.DeviceIoControl(stream.get(), code, in, inSize, out, outSize, nullptr);
  }
  bool Write(const std::vector<BYTE>& bytes) {
    DWORD written = 0;
    return devices.WriteFile(stream.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                             &written);
  }
};

TEST_F(DeviceTest, BinfsDriverTakesAnImageInChunksAndRecordsItsLength) {
  Devices& devices = device_->devices();
  EXPECT_EQ(devices.CreateFile(L"BIN1:", kGenericRead, 0, kOpenExisting, 0), kInvalidHandle);
  {
    Binfs binfs(devices);
    ASSERT_TRUE(binfs.driver.valid());
    ASSERT_TRUE(binfs.stream.valid());
    EXPECT_EQ(devices.ActivateDevice(L"\\Drivers\\BINDRV", 0), kNullHandle);
    EXPECT_EQ(devices.CreateFile(L"BIN1:", kGenericRead, 0, kOpenExisting, 0), kInvalidHandle);
    EXPECT_EQ(GetLastError(), kErrorSharingViolation);

    DWORD sector = 0;
    DWORD wide[2];
    EXPECT_TRUE(binfs.Request(BIN_IOCTL_GET_SECTOR_SIZE, nullptr, 0, &sector, 4));
    EXPECT_EQ(sector, 512u);
    EXPECT_FALSE(binfs.Request(BIN_IOCTL_GET_SECTOR_SIZE, nullptr, 0, wide, 8));
    EXPECT_FALSE(binfs.Write({1, 2, 3}));
    EXPECT_EQ(GetLastError(), kErrorNotReady);
    const BYTE bad = 2;
    const BYTE main = 0;
    const DWORD length = 3;
    EXPECT_FALSE(binfs.Request(BIN_IOCTL_SELECT_IMAGE, &bad, 1));
    EXPECT_FALSE(binfs.Request(BIN_IOCTL_SELECT_IMAGE, &length, 4));
    EXPECT_FALSE(binfs.Request(BIN_IOCTL_UPDATE_HEADER, &length, 4));
    ASSERT_TRUE(binfs.Request(BIN_IOCTL_SELECT_IMAGE, &main, 1));
    sim::BinfsHeader header;
    ASSERT_TRUE(sim::LoadBinfsHeader(device_->paths(), header));
    EXPECT_FALSE(header.length[0].has_value());
    ASSERT_TRUE(binfs.Write({1, 2}));
    ASSERT_TRUE(binfs.Write({3}));
    const DWORD tooLong = device_->binfsLayout().regionSize[0] + 1;
    EXPECT_FALSE(binfs.Request(BIN_IOCTL_UPDATE_HEADER, &tooLong, 4));
    ASSERT_TRUE(binfs.Request(BIN_IOCTL_UPDATE_HEADER, &length, 4));
    std::vector<BYTE> rest(device_->binfsLayout().regionSize[0] - 2, 0);
    EXPECT_FALSE(binfs.Write(rest));
    EXPECT_EQ(GetLastError(), kErrorDiskFull);
    EXPECT_EQ(device_->Unreleased().size(), 2u);
  }
  EXPECT_TRUE(device_->Unreleased().empty());
  sim::BinfsHeader header;
  ASSERT_TRUE(sim::LoadBinfsHeader(device_->paths(), header));
  EXPECT_EQ(header.length[0], 3u);
  std::string image;
  ASSERT_TRUE(host::ReadWholeFile(device_->paths().image(0), image));
  EXPECT_EQ(image, std::string("\x01\x02\x03", 3));
}

TEST_F(DeviceTest, FileSystemMapsDevicePathsAndNothingElse) {
  Files& files = device_->files();
  const auto open = [&files](const std::wstring& path) {
    return files.CreateFile(path, kGenericRead, 0, kOpenExisting, kFileAttributeNormal);
  };
  const Handle sample = open(L"\\storage\\EBOOTMAIN.NBX");
  ASSERT_NE(sample, kInvalidHandle);
  EXPECT_EQ(open(L"\\Storage\\EbootMain.nbX"), kInvalidHandle);  // opened without sharing
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  const DWORD size = files.GetFileSize(sample, nullptr);
  EXPECT_EQ(size, std::filesystem::file_size(dir_ / "fs" / "Storage" / "EbootMain.nbX"));
  EXPECT_EQ(files.SetFilePointer(sample, -4, kFileEnd), size - 4);
  EXPECT_EQ(files.SetFilePointer(sample, -5, kFileBegin), kInvalidSetFilePointer);
  EXPECT_EQ(GetLastError(), kErrorNegativeSeek);
  BYTE tail[8];
  DWORD read = 0;
  EXPECT_TRUE(files.ReadFile(sample, tail, 8, &read));
  EXPECT_EQ(read, 4u);
  EXPECT_TRUE(files.ReadFile(sample, tail, 8, &read));
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(files.CloseHandle(sample));
  EXPECT_FALSE(files.CloseHandle(sample));

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
  Kernel& kernel = device_->kernel();
  // Another request of the same call does not count towards the fault.
  EXPECT_FALSE(kernel.KernelIoControl(IOCTL_HAL_GET_CONSTANTS, nullptr, 0, nullptr, 0, nullptr));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EXPECT_TRUE(
      kernel.KernelIoControl(IOCTL_HAL_GET_BOOT_SETTINGS, nullptr, 0, settings, 112, nullptr));
  EXPECT_FALSE(
      kernel.KernelIoControl(IOCTL_HAL_GET_BOOT_SETTINGS, nullptr, 0, settings, 112, nullptr));
  EXPECT_EQ(GetLastError(), 1117u);
  EXPECT_TRUE(
      kernel.KernelIoControl(IOCTL_HAL_GET_BOOT_SETTINGS, nullptr, 0, settings, 112, nullptr));
  EXPECT_TRUE(device_->faults().armed().empty());
  EXPECT_EQ(device_->faults().trace(),
            (std::vector<std::string>{"KernelIoControl:0x0101041C", "KernelIoControl:0x01010420",
                                      "KernelIoControl:0x01010420", "KernelIoControl:0x01010420"}));
  Reopen();
  EXPECT_TRUE(device_->faults().armed().empty());

  ASSERT_TRUE(sim::ParseFaultTarget("RegOpenKeyEx", fault, error));
  fault.nth = 1;
  fault.error = 5;
  ASSERT_TRUE(device_->faults().Arm(fault));
  HKEY key = kNullHandle;
  EXPECT_EQ(device_->registry().RegOpenKeyEx(kHkeyLocalMachine, sim::kPowerTimeoutsKey, 0, 0, &key),
            5);

  for (const char* bad : {"Nothing", "KernelIoControl:zz", "DeviceIoControl:0x123456789"})
    EXPECT_FALSE(sim::ParseFaultTarget(bad, fault, error)) << bad;
}

TEST_F(DeviceTest, APowerCutKillsTheProcessAndLeavesTheDirectoryConsistent) {
  sim::Fault fault;
  std::string error;
  ASSERT_TRUE(sim::ParseFaultTarget("WriteFile", fault, error));
  fault.nth = 3;
  fault.powerCut = true;
  ASSERT_TRUE(device_->faults().Arm(fault));
  EXPECT_EXIT(
      {
        Binfs binfs(device_->devices());
        const BYTE rescue = 1;
        binfs.Request(BIN_IOCTL_SELECT_IMAGE, &rescue, 1);
        for (int chunk = 0; chunk < 5; ++chunk)
          binfs.Write(std::vector<BYTE>(16384, 0xA5));
        std::exit(0);
      },
      testing::KilledBySignal(SIGKILL), "");
  Reopen();
  EXPECT_TRUE(device_->faults().armed().empty());
  sim::BinfsHeader header;
  ASSERT_TRUE(sim::LoadBinfsHeader(device_->paths(), header));
  EXPECT_FALSE(header.length[1].has_value());
  EXPECT_EQ(std::filesystem::file_size(device_->paths().image(1)), 2u * 16384);
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
