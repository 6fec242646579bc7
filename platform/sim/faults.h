// Fault injection: any platform call of the simulated device can be told to fail, or to cut the
// power, at a chosen occurrence. Armed faults are kept in the device directory, so a fault armed
// from outside is obeyed by the next program that opens the device; each fault fires once.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/device_paths.h"
#include "platform/types.h"

namespace platform::sim {

struct Fault {
  std::string call;           // as the device names it: "KernelIoControl", "WriteFile", ...
  std::optional<DWORD> code;  // the request, for calls that serve several
  unsigned nth = 1;           // which of the matching calls, counted from 1 in each run
  DWORD error = kErrorGenFailure;
  bool powerCut = false;  // the process dies at that call instead of failing it

  bool operator==(const Fault& other) const {
    return call == other.call && code == other.code && nth == other.nth && error == other.error &&
           powerCut == other.powerCut;
  }
};

// The calls that can be named, in the device's spelling.
const std::vector<std::string_view>& FaultableCalls();

// "CALL" or "CALL:CODE", CODE being a number (decimal or 0x hex) or a request's name such as
// IOCTL_HAL_WRITE_BOOTLOADER. False with a message when the text names no call.
bool ParseFaultTarget(std::string_view text, Fault& fault, std::string& error);

// "KernelIoControl:0x01010428", "DeviceIoControl:3", "ReadFile".
std::string DescribeCall(std::string_view call, std::optional<DWORD> code);
std::string DescribeFault(const Fault& fault);

// The armed faults are changed under the device's lock, on the list as it stands, so that a fault
// armed from outside while a program runs is kept.
class FaultInjector {
 public:
  explicit FaultInjector(const DevicePaths& paths);

  // Reads the armed faults from the device directory; false when the file is unreadable.
  bool Load(std::string& error);
  // True when saved.
  bool Arm(const Fault& fault);
  bool Clear();
  const std::vector<Fault>& armed() const { return armed_; }

  // Every call of the device goes through here first. Returns the error the call must fail
  // with, or nothing; a power cut ends the process here, before the call has any effect.
  std::optional<DWORD> Enter(std::string_view call, std::optional<DWORD> code = {});

  // While recording, every call entered is kept, described as DescribeCall does, in order.
  // Off by default: a long write makes many calls.
  void RecordCalls(bool on) { recording_ = on; }
  const std::vector<std::string>& trace() const { return trace_; }

 private:
  // Rereads the list under the device's lock, keeping this run's counts of the faults it knew,
  // applies change and saves the list.
  bool Change(const std::function<void()>& change);

  const DevicePaths& paths_;
  std::vector<Fault> armed_;
  std::vector<unsigned> seen_;
  bool recording_ = false;
  std::vector<std::string> trace_;
};

}  // namespace platform::sim
