// A backend as the contract suite meets it: its seams (null where it has none), holding a file
// of kContractContent at path, a key kContractKey with "Number", a DWORD of 60, and the power
// manager's reload event.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/devices.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/kernel.h"
#include "platform/registry.h"

namespace e2e {

const std::vector<platform::BYTE> kContractContent = {'0', '1', '2', '3', '4',
                                                      '5', '6', '7', '8', '9'};
const std::wstring kContractKey = L"Software\\Contract";

struct Backend {
  platform::Files* files = nullptr;
  std::wstring path;
  platform::Registry* registry = nullptr;
  platform::Events* events = nullptr;
  platform::Devices* devices = nullptr;
  platform::Kernel* kernel = nullptr;
  std::shared_ptr<void> keep;
};

// The device's own services over the system's calls, the CE-only ones served by the stand-in
// (tests/standin): files in dir, Wine's registry and events.
Backend MakeDeviceServices(const std::filesystem::path& dir);

}  // namespace e2e
