// A part of the core over a fresh simulated device: each run begins with an empty debug log and
// an empty call trace, and a fault is armed by the name the trace gives its call.
#pragma once

#include "platform/host/host.h"
#include "tests/e2e/app_fixture.h"

namespace e2e {

// The five HAL requests, as the trace names them.
inline const std::string kGetSettings = "KernelIoControl:0x01010420",
                         kSetSettings = "KernelIoControl:0x01010424",
                         kGetConstants = "KernelIoControl:0x0101041C",
                         kSetConstants = "KernelIoControl:0x01010418",
                         kWriteBootLoader = "KernelIoControl:0x01010428";

class CoreTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    device_->faults().RecordCalls(true);
  }
  // The device as the next program finds it, with a new debug log and a new trace.
  void NewRun() {
    std::filesystem::remove(device_->paths().debugLog());
    Reopen();
    device_->faults().RecordCalls(true);
  }
  // The nth call named target from now on fails with error.
  void Fail(const std::string& target, platform::DWORD error, unsigned nth = 1) {
    platform::sim::Fault fault;
    std::string message;
    ASSERT_TRUE(platform::sim::ParseFaultTarget(target, fault, message)) << message;
    fault.error = error;
    fault.nth = nth;
    ASSERT_TRUE(device_->faults().Arm(fault));
  }
  // The calls of this run whose names begin with prefix.
  std::vector<std::string> Calls(const std::string& prefix = "") const {
    std::vector<std::string> calls;
    for (const std::string& call : device_->faults().trace()) {
      if (call.rfind(prefix, 0) == 0)
        calls.push_back(call);
    }
    return calls;
  }
  static std::vector<platform::BYTE> Bytes(const std::filesystem::path& file) {
    std::string bytes;
    EXPECT_TRUE(platform::host::ReadWholeFile(file, bytes)) << file;
    return {bytes.begin(), bytes.end()};
  }
  std::vector<platform::BYTE> Settings() const { return Bytes(device_->paths().settings()); }
  void PutSettings(const std::vector<platform::BYTE>& bytes) const {
    ASSERT_TRUE(platform::host::ReplaceFile(
        device_->paths().settings(),
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
  }
};

}  // namespace e2e
