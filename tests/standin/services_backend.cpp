// The contract suite's "device" backend under Wine: the device's own services over the system's
// files, registry and events, and the stand-in's simulated device for the driver and the HAL.
#include <cstdlib>
#include <fstream>

#include "platform/device/device_calls.h"
#include "platform/device/device_services.h"
#include "tests/contract/contract_backend.h"
#include "tests/support/device_fixture.h"

namespace e2e {

Backend MakeDeviceServices(const std::filesystem::path& dir) {
  // The stand-in opens its simulated device at its first call, so one serves the whole run.
  static const bool made = [] {
    const std::filesystem::path device =
        std::filesystem::temp_directory_path() / "tessaron-contract-standin";
    std::filesystem::remove_all(device);
    std::string error;
    const bool created = tools::CreateDevice(device, {}, error);
    EXPECT_TRUE(created) << error;
    _putenv_s("TESSARON_STANDIN_DEVICE", device.string().c_str());
    return created;
  }();
  EXPECT_TRUE(made);
  std::ofstream(dir / "contract.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(kContractContent.data()),
             static_cast<std::streamsize>(kContractContent.size()));
  const DWORD sixty = 60;
  EXPECT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kContractKey.c_str(), L"Number", REG_DWORD,
                              &sixty, sizeof sixty),
            ERROR_SUCCESS);
  struct Held {
    platform::device::DeviceServices services{platform::device::OwnCalls()};
    // The power manager's event, while the backend lives.
    std::shared_ptr<void> event{
        ::CreateEventW(nullptr, FALSE, FALSE, L"PowerManager/ReloadActivityTimeouts"),
        ::CloseHandle};
  };
  auto held = std::make_shared<Held>();
  platform::device::DeviceServices& s = held->services;
  return {&s.files, (dir / "contract.bin").wstring(), &s.registry, &s.events, &s.devices, &s.kernel,
          held};
}

}  // namespace e2e
