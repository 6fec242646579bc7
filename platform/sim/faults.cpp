#include "platform/sim/faults.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "platform/devices.h"
#include "platform/host/host.h"
#include "platform/kernel.h"
#include "platform/sim/state_file.h"

namespace platform::sim {

namespace {

struct NamedCode {
  std::string_view name;
  DWORD code;
};

constexpr NamedCode kNamedCodes[] = {
    {"IOCTL_HAL_SET_CONSTANTS", IOCTL_HAL_SET_CONSTANTS},
    {"IOCTL_HAL_GET_CONSTANTS", IOCTL_HAL_GET_CONSTANTS},
    {"IOCTL_HAL_GET_BOOT_SETTINGS", IOCTL_HAL_GET_BOOT_SETTINGS},
    {"IOCTL_HAL_SET_BOOT_SETTINGS", IOCTL_HAL_SET_BOOT_SETTINGS},
    {"IOCTL_HAL_WRITE_BOOTLOADER", IOCTL_HAL_WRITE_BOOTLOADER},
    {"BIN_IOCTL_UPDATE_HEADER", BIN_IOCTL_UPDATE_HEADER},
    {"BIN_IOCTL_SELECT_IMAGE", BIN_IOCTL_SELECT_IMAGE},
    {"BIN_IOCTL_GET_SECTOR_SIZE", BIN_IOCTL_GET_SECTOR_SIZE},
};

// A request code: decimal, or hexadecimal after "0x".
bool ParseNumber(std::string_view text, DWORD& value) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string_view digits = hex ? text.substr(2) : text;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value, hex ? 16 : 10);
  return !digits.empty() && error == std::errc() && stop == end;
}

constexpr std::uint64_t kLargestFaultList = std::uint64_t{1024} * 1024;

}  // namespace

const std::vector<std::string_view>& FaultableCalls() {
  static const std::vector<std::string_view> calls = {
      "CreateFile",     "ReadFile",       "WriteFile",        "SetFilePointer",  "GetFileSize",
      "CloseHandle",    "RegOpenKeyEx",   "RegCreateKeyEx",   "RegQueryValueEx", "RegSetValueEx",
      "RegDeleteValue", "RegFlushKey",    "RegCloseKey",      "OpenEvent",       "EventModify",
      "CreateMutex",    "ActivateDevice", "DeactivateDevice", "DeviceIoControl", "KernelIoControl"};
  return calls;
}

bool ParseFaultTarget(std::string_view text, Fault& fault, std::string& error) {
  const std::size_t colon = text.find(':');
  const std::string_view call = text.substr(0, colon);
  bool known = false;
  for (const std::string_view name : FaultableCalls())
    known = known || name == call;
  if (!known) {
    error = "unknown call '" + std::string(call) + "'; calls are:";
    for (const std::string_view name : FaultableCalls())
      error += " " + std::string(name);
    return false;
  }
  fault.call = std::string(call);
  fault.code.reset();
  if (colon == std::string_view::npos)
    return true;
  const std::string_view codeText = text.substr(colon + 1);
  for (const NamedCode& named : kNamedCodes) {
    if (named.name == codeText) {
      fault.code = named.code;
      return true;
    }
  }
  DWORD code = 0;
  if (!ParseNumber(codeText, code)) {
    error = "bad request code '" + std::string(codeText) +
            "': give a number or a name such as "
            "IOCTL_HAL_WRITE_BOOTLOADER";
    return false;
  }
  fault.code = code;
  return true;
}

std::string DescribeCall(std::string_view call, std::optional<DWORD> code) {
  std::string text(call);
  if (code) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, call == "KernelIoControl" ? ":0x%08X" : ":%u", *code);
    text += buffer;
  }
  return text;
}

std::string DescribeFault(const Fault& fault) {
  std::string text = DescribeCall(fault.call, fault.code) + " #" + std::to_string(fault.nth);
  text += fault.powerCut ? " power-cut" : " error " + std::to_string(fault.error);
  return text;
}

FaultInjector::FaultInjector(const DevicePaths& paths) : paths_(paths) {}

namespace {

// One fault as the device folder keeps it.
bool ReadFault(const nlohmann::json& entry, Fault& fault) {
  std::string ignored;
  if (!entry.is_object() || !entry.contains("call") || !entry["call"].is_string() ||
      !ParseFaultTarget(entry["call"].get<std::string>(), fault, ignored)) {
    return false;
  }
  const auto number = [&entry](const char* key, DWORD fallback) -> std::optional<DWORD> {
    const auto it = entry.find(key);
    if (it == entry.end())
      return fallback;
    if (!it->is_number_unsigned() || it->get<std::uint64_t>() > 0xFFFFFFFFu)
      return std::nullopt;
    return it->get<DWORD>();
  };
  const auto code = number("code", 0);
  const auto nth = number("nth", 1);
  const auto errorCode = number("error", kErrorGenFailure);
  const auto kind = entry.find("kind");
  const bool kindOk =
      kind == entry.end() || (kind->is_string() && (*kind == "fail" || *kind == "power-cut"));
  if (!code || !nth || *nth == 0 || !errorCode || !kindOk)
    return false;
  if (entry.contains("code"))
    fault.code = *code;
  fault.nth = *nth;
  fault.error = *errorCode;
  fault.powerCut = kind != entry.end() && *kind == "power-cut";
  return true;
}

// The faults a device folder holds; false with the message when they cannot be read. A missing
// file holds none.
bool ReadFaults(const host::Below& file, std::vector<Fault>& faults, std::string& error) {
  faults.clear();
  nlohmann::json list;
  std::error_code ec;
  if (!std::filesystem::exists(file.path(), ec) && !ec)
    return true;
  if (!ReadStateFile(file, kLargestFaultList, list, error))
    return false;
  if (!list.is_array()) {
    error = host::Shown(file) + " is not a list of faults";
    return false;
  }
  for (std::size_t at = 0; at < list.size(); ++at) {
    const nlohmann::json& entry = list[at];
    Fault fault;
    if (!ReadFault(entry, fault)) {
      error = host::Shown(file) + ": fault #" + std::to_string(at + 1) + " is not a fault";
      return false;
    }
    faults.push_back(fault);
  }
  return true;
}

}  // namespace

bool FaultInjector::Load(std::string& error) {
  if (!ReadFaults(paths_.faults(), armed_, error))
    return false;
  seen_.assign(armed_.size(), 0);
  return true;
}

bool FaultInjector::Change(const std::function<void()>& change) {
  const auto lock = LockForChange(paths_);
  std::vector<Fault> current;
  std::string error;
  if (!lock || !ReadFaults(paths_.faults(), current, error))
    return false;
  std::vector<unsigned> seen(current.size(), 0);
  std::vector<bool> matched(armed_.size(), false);
  for (std::size_t i = 0; i < current.size(); ++i) {
    for (std::size_t j = 0; j < armed_.size(); ++j) {
      if (!matched[j] && armed_[j] == current[i]) {
        matched[j] = true;
        seen[i] = seen_[j];
        break;
      }
    }
  }
  armed_ = std::move(current);
  seen_ = std::move(seen);
  change();
  nlohmann::json list = nlohmann::json::array();
  for (const Fault& fault : armed_) {
    nlohmann::json entry = {
        {"call", fault.call}, {"nth", fault.nth}, {"kind", fault.powerCut ? "power-cut" : "fail"}};
    if (fault.code)
      entry["code"] = *fault.code;
    if (!fault.powerCut)
      entry["error"] = fault.error;
    list.push_back(entry);
  }
  return WriteStateFile(paths_.faults(), list);
}

bool FaultInjector::Arm(const Fault& fault) {
  return Change([&] {
    armed_.push_back(fault);
    seen_.push_back(0);
  });
}

bool FaultInjector::Clear() {
  return Change([this] {
    armed_.clear();
    seen_.clear();
  });
}

std::optional<DWORD> FaultInjector::Enter(std::string_view call, std::optional<DWORD> code) {
  if (recording_)
    trace_.push_back(DescribeCall(call, code));
  std::optional<std::size_t> firing;
  for (std::size_t i = 0; i < armed_.size(); ++i) {
    const Fault& fault = armed_[i];
    if (fault.call != call || (fault.code && fault.code != code))
      continue;
    if (++seen_[i] == fault.nth && !firing)
      firing = i;
  }
  if (!firing)
    return std::nullopt;
  const Fault fault = armed_[*firing];
  // Fired once: gone from the list as it stands now.
  Change([&] {
    const auto it = std::find(armed_.begin(), armed_.end(), fault);
    if (it != armed_.end()) {
      seen_.erase(seen_.begin() + (it - armed_.begin()));
      armed_.erase(it);
    }
  });
  if (fault.powerCut)
    host::PowerCut();
  return fault.error;
}

}  // namespace platform::sim
