// The device's own services for the contract suite, in the Windows build under Wine: the
// files, the registry and the events are the system's; the driver and the HAL are the stand-in's
// simulated device, made once for the whole run.
#include <cstdlib>
#include <fstream>

#include "platform/device/device_services.h"
#include "tests/e2e/contract_backend.h"
#include "tests/e2e/device_fixture.h"

// Last: it defines names that the headers above use.
#include "platform/device/device_calls.h"

namespace e2e {

namespace {

// The stand-in opens its simulated device once, at its first call.
void MakeStandInDevice() {
  static const bool made = [] {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "tessaron-contract-standin";
    std::filesystem::remove_all(dir);
    std::string error;
    const bool created = tools::CreateDevice(dir, {}, error);
    EXPECT_TRUE(created) << error;
    _putenv_s("TESSARON_STANDIN_DEVICE", dir.string().c_str());
    return created;
  }();
  (void)made;
}

}  // namespace

Backend MakeDeviceServices(const std::filesystem::path& dir) {
  MakeStandInDevice();
  std::ofstream(dir / "contract.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(kContractContent.data()),
             static_cast<std::streamsize>(kContractContent.size()));
  HKEY key = nullptr;
  EXPECT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kContractKey.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const DWORD sixty = 60;
  ::RegSetValueExW(key, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&sixty),
                   sizeof sixty);
  ::RegCloseKey(key);
  // The power manager's event, while the backend lives.
  const HANDLE event =
      ::CreateEventW(nullptr, FALSE, FALSE, L"PowerManager/ReloadActivityTimeouts");
  struct Held {
    platform::device::DeviceServices services{platform::device::OwnCalls()};
    HANDLE event;
    ~Held() { ::CloseHandle(event); }
  };
  auto held = std::make_shared<Held>();
  held->event = event;
  platform::device::DeviceServices& s = held->services;
  return {&s.files, (dir / "contract.bin").wstring(), &s.registry, &s.events, &s.devices, &s.kernel,
          held};
}

}  // namespace e2e
