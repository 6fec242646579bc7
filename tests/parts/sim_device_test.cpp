// What the simulated device does beyond the calls' contract (backend_contract_test): it keeps
// every change across reopening and across processes, knows its bounds to the byte, and never
// lets a link or a full disk tear its folder. Its faults: the fault suite and devsim's tests.
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
#include "tests/support/core_fixture.h"
#include "tools/common/sha256.h"

namespace {

using namespace platform;
namespace sim = platform::sim;
using SimDevice = e2e::CoreTest;

const wchar_t kDriver[] = L"\\Drivers\\BINDRV";

// Runs body in another process, on the device opened there afresh, and meanwhile here; what body
// returned.
int InOtherProcess(
    const std::filesystem::path& dir, const std::function<int(sim::Device&)>& body,
    const std::function<void()>& meanwhile = [] {}) {
  const pid_t child = ::fork();
  if (child == 0) {
    std::string error;
    const auto device = sim::Device::Open(dir, error);
    std::_Exit(device ? body(*device) : 100);
  }
  meanwhile();
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(SimDevice, TheRegistryIgnoresCaseAndKeepsChangesAcrossReopening) {
  Registry& registry = device_->registry();
  HKEY key = kNullHandle;
  ASSERT_EQ(registry.RegOpenKeyEx(kHkeyLocalMachine, L"system\\storagemanager\\profiles\\USER", 0,
                                  0, &key),
            0);
  wchar_t folder[260] = {};
  DWORD size = sizeof folder;
  ASSERT_EQ(
      registry.RegQueryValueEx(key, L"folder", nullptr, reinterpret_cast<BYTE*>(folder), &size), 0);
  EXPECT_EQ(std::wstring(folder), L"Flash");
  EXPECT_EQ(size, 6 * sizeof(wchar_t));  // bytes, the NUL included
  EXPECT_EQ(registry.RegCloseKey(key), 0);
  ASSERT_EQ(registry.RegOpenKeyEx(kHkeyLocalMachine, sim::kPowerTimeoutsKey, 0, 0, &key), 0);
  const BYTE zero[4] = {};
  ASSERT_EQ(registry.RegSetValueEx(key, L"ACUserIdle", 0, kRegDword, zero, 4), 0);
  EXPECT_EQ(registry.RegDeleteValue(key, L"acsystemidle"), 0);
  EXPECT_EQ(registry.RegCloseKey(key), 0);
  Reopen();
  EXPECT_EQ(State()["timeouts"],
            (nlohmann::json{{"ACUserIdle", 0}, {"ACSystemIdle", nullptr}, {"ACSuspend", 600}}));
}

TEST_F(SimDevice, KeepsItsGuaranteesAcrossProcesses) {
  // Another process asks for a file held without sharing, the BINFS driver and files of its own:
  // a bit for each refused with its own error, 4 for any other failure. A named mutex:
  // tessaron's second instance.
  const auto elsewhere = [this] {
    return InOtherProcess(dir_, [](sim::Device& device) {
      int refused = 0;
      const auto note = [&refused](bool granted, DWORD error, int bit) {
        refused |= granted ? 0 : GetLastError() == error ? bit : 4;
      };
      note(device.files().CreateFile(L"\\Storage\\EbootMain.nbX", kGenericRead, kFileShareRead,
                                     kOpenExisting, 0) != kInvalidHandle,
           kErrorSharingViolation, 1);
      note(device.devices().ActivateDevice(kDriver, 0) != kNullHandle, kErrorDeviceInUse, 2);
      // Shared twice: both granted (4 when not). Without sharing: a second open is refused,
      // shared or not.
      Files& files = device.files();
      const auto open = [&files](const wchar_t* path, DWORD share) {
        return files.CreateFile(path, kGenericRead, share, kOpenExisting, 0);
      };
      const wchar_t *shared = L"\\Storage\\EbootRescue.nbX", *kept = L"\\Storage\\EbootLoader.nbX";
      if (open(shared, kFileShareRead) == kInvalidHandle ||
          open(shared, kFileShareRead) == kInvalidHandle || open(kept, 0) == kInvalidHandle) {
        refused |= 4;
      }
      note(open(kept, 0) != kInvalidHandle, kErrorSharingViolation, 8);
      note(open(kept, kFileShareRead) != kInvalidHandle, kErrorSharingViolation, 16);
      return refused;
    });
  };
  {
    ScopedFile file(device_->files(),
                    device_->files().CreateFile(L"\\Storage\\EbootMain.nbX", kGenericRead, 0,
                                                kOpenExisting, 0));
    ScopedDriver driver(device_->devices(), device_->devices().ActivateDevice(kDriver, 0));
    EXPECT_EQ(elsewhere(), 1 | 2 | 8 | 16);
  }
  EXPECT_EQ(elsewhere(), 8 | 16);
  EXPECT_TRUE(device_->Unreleased().empty());

  // Changes made at the same time by two processes are all kept.
  const auto setValues = [](sim::Device& device, const std::wstring& prefix) {
    for (int i = 0; i < 50; ++i) {
      if (!device.simRegistry().Put(L"Test", prefix + std::to_wstring(i), sim::DwordValue(i)))
        return 1;
    }
    return 0;
  };
  EXPECT_EQ(InOtherProcess(
                dir_, [&](sim::Device& other) { return setValues(other, L"b"); },
                [&] { EXPECT_EQ(setValues(*device_, L"a"), 0); }),
            0);
  for (int i = 0; i < 50; ++i) {
    EXPECT_TRUE(device_->simRegistry().Get(L"Test", L"a" + std::to_wstring(i)));
    EXPECT_TRUE(device_->simRegistry().Get(L"Test", L"b" + std::to_wstring(i)));
  }

  // A fault armed from outside while a program runs outlives one of the program's that fires.
  std::string error;
  const auto outside = sim::Device::Open(dir_, error);
  sim::Fault readFails, writeFails;
  ASSERT_TRUE(sim::ParseFaultTarget("ReadFile", readFails, error));
  ASSERT_TRUE(sim::ParseFaultTarget("WriteFile", writeFails, error));
  ASSERT_TRUE(device_->faults().Arm(readFails));
  ASSERT_TRUE(outside->faults().Arm(writeFails));
  DWORD read = 0;
  EXPECT_FALSE(device_->files().ReadFile(kInvalidHandle, nullptr, 0, &read));
  Reopen();
  EXPECT_EQ(device_->faults().armed(), std::vector<sim::Fault>{writeFails});
}

// A device that another program is still making is neither opened nor made again, and the
// maker is named; what a maker that is gone left is made afresh.
TEST_F(SimDevice, ADeviceBeingMadeIsNeitherOpenedNorMadeAgain) {
  const std::filesystem::path made = e2e::NewFolder("made", base_);
  std::filesystem::create_directories(made);
  const std::string busy = made.string() + " is being made by another program";
  std::string error;
  {
    const auto maker = host::LockFile(sim::DevicePaths(made).creationLock(), true, false);
    ASSERT_TRUE(maker);
    EXPECT_FALSE(sim::Device::Open(made, error));
    EXPECT_EQ(GetLastError(), kErrorDeviceInUse);
    EXPECT_EQ(error, busy);
    EXPECT_FALSE(tools::CreateDevice(made, options_, error));
    EXPECT_EQ(GetLastError(), kErrorDeviceInUse);
    EXPECT_EQ(error, busy);
  }
  ASSERT_TRUE(tools::CreateDevice(made, options_, error)) << error;
  EXPECT_TRUE(sim::Device::Open(made, error)) << error;
  std::filesystem::remove_all(made);
}

// The named objects' bounds, and the power manager's record of reloads, whichever process made
// them.
TEST_F(SimDevice, TheEventsKeepTheirBoundsAndTheirRecordAcrossProcesses) {
  Events& events = device_->events();
  const Handle longest = events.CreateMutex(false, std::wstring(260, L'm'));
  EXPECT_NE(longest, kNullHandle);
  EXPECT_EQ(events.CreateMutex(false, std::wstring(261, L'm')), kNullHandle);
  EXPECT_EQ(GetLastError(), kErrorInvalidName);
  EXPECT_FALSE(events.EventModify(longest, kEventSet));  // a mutex is no event
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  EXPECT_TRUE(events.CloseHandle(longest));
  // The power manager takes ACUserIdle as it stands at each reload.
  const auto reload = [](sim::Device& device, DWORD userIdle) {
    device.simRegistry().Put(sim::kPowerTimeoutsKey, L"ACUserIdle", sim::DwordValue(userIdle));
    Events& on = device.events();
    const ScopedEvent event(
        on, on.OpenEvent(kEventAllAccess, false, L"PowerManager/ReloadActivityTimeouts"));
    return on.EventModify(event.get(), kEventSet) ? 0 : 1;
  };
  const std::size_t made = device_->powerManager()->reloads().size();
  EXPECT_EQ(InOtherProcess(dir_, [&](sim::Device& other) { return reload(other, 1); }), 0);
  EXPECT_EQ(reload(*device_, 2), 0);  // on a device opened before the other's reload
  Reopen();
  const auto& reloads = device_->powerManager()->reloads();
  ASSERT_EQ(reloads.size(), made + 2);
  EXPECT_EQ(reloads[made].values[0], 1u);
  EXPECT_EQ(reloads[made + 1].values[0], 2u);
  // The most recent 64 are kept.
  for (DWORD i = 0; i < 70; ++i)
    EXPECT_EQ(reload(*device_, 100 + i), 0);
  Reopen();
  EXPECT_EQ(device_->powerManager()->reloads().size(), 64u);
  EXPECT_EQ(device_->powerManager()->reloads().front().values[0], 106u);
}

// Each bound met exactly passes; one byte more is refused.
TEST_F(SimDevice, BoundsHoldToTheByteAndWhatPassesIsKept) {
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
  const std::vector<BYTE> constants(540, 0x33);
  ASSERT_TRUE(
      kernel.KernelIoControl(IOCTL_HAL_SET_CONSTANTS, constants.data(), 540, nullptr, 0, nullptr));
  const DWORD region = device_->binfsLayout().regionSize[1];
  ASSERT_EQ(region, 4u * 16384);
  {
    Devices& devices = device_->devices();
    ScopedDriver driver(devices, devices.ActivateDevice(kDriver, 0));
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
  Reopen();
  const nlohmann::json state = State();
  EXPECT_EQ(state["rescue"]["length"], region);
  EXPECT_EQ(state["rescue"]["written"], region);
  EXPECT_EQ(state["bootloader"]["sha256"], tools::Sha256Hex(std::string(loader.size() - 1, 'E')));
  EXPECT_EQ(state["constants_hex"], std::string(1080, '3'));  // 540 bytes of 0x33
}

TEST_F(SimDevice, FileSystemMapsDevicePathsAndNothingElse) {
  Files& files = device_->files();
  const auto open = [&files](const std::wstring& path) {
    return files.CreateFile(path, kGenericRead, 0, kOpenExisting, kFileAttributeNormal);
  };
  const Handle sample = open(L"\\storage\\EBOOTMAIN.NBX");
  ASSERT_NE(sample, kInvalidHandle);
  EXPECT_TRUE(files.CloseHandle(sample));
  std::filesystem::create_directory_symlink(dir_, dir_ / "fs" / "escape");
  std::ofstream(dir_ / "outside.txt") << "secret";
  ASSERT_EQ(::mkfifo((dir_ / "fs" / "Storage" / "EbootPipe.nbX").c_str(), 0600), 0);
  // Each refused with the device's own error.
  const std::pair<std::wstring, DWORD> refused[] = {
      {L"\\Storage\\EbootPipe.nbX", kErrorAccessDenied},
      {L"\\..\\device.json", kErrorInvalidName},
      {L"\\Storage\\..\\..\\device.json", kErrorInvalidName},
      {L"Storage\\EbootMain.nbX", kErrorInvalidName},
      {L"\\escape\\outside.txt", kErrorAccessDenied},
      {L"\\Storage", kErrorAccessDenied},
      {L"\\Storage\\Missing.nbX", kErrorFileNotFound},
      {L"\\Missing\\EbootMain.nbX", kErrorPathNotFound},
      {L"\\Sto:rage\\x", kErrorInvalidName},
      {L"\\Storage\\a\x1f", kErrorInvalidName},
      {L"", kErrorInvalidName}};
  for (const auto& [path, error] : refused) {
    SetLastError(0);
    EXPECT_EQ(open(path), kInvalidHandle) << ToUtf8(path);
    EXPECT_EQ(GetLastError(), error) << ToUtf8(path);
  }
  EXPECT_TRUE(device_->Unreleased().empty());
}

TEST_F(SimDevice, AChangeIsNeverRedirectedAndLeavesNothingBehind) {
  const std::filesystem::path victim = dir_.parent_path() / (dir_.filename().string() + "-victim");
  std::ofstream(victim) << "the user's own file";
  const std::filesystem::path nor = device_->paths().settings().path().parent_path();
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
  std::filesystem::remove(device_->paths().settings().path());
  std::filesystem::create_symlink(victim, device_->paths().settings().path());
  EXPECT_FALSE(setSettings(*device_));
  EXPECT_EQ(GetLastError(), kErrorWriteFault);
  EXPECT_FALSE(host::OpenForReading(device_->paths().settings()));
  EXPECT_EQ(host::LastErrorText(), "a link");
  std::filesystem::remove(device_->paths().settings().path());
  // A refused link tells nothing of the next file: one missing is missing.
  EXPECT_FALSE(host::OpenForReading(device_->paths().settings()));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  // A full disk: the write fails and its temporary file is gone.
  const auto onAFullDisk = [&](sim::Device& other) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{100, 100};
    ::setrlimit(RLIMIT_FSIZE, &small);
    return setSettings(other) ? 1 : 0;
  };
  EXPECT_EQ(InOtherProcess(dir_, onAFullDisk), 0);
  std::set<std::string> after = before;
  after.erase("settings.bin");
  EXPECT_EQ(listing(), after);
  std::string text;
  ASSERT_TRUE(host::ReadWholeFile(victim, text));
  EXPECT_EQ(text, "the user's own file");
  std::filesystem::remove(victim);
}

}  // namespace
