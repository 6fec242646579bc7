// The device's debug output, kept in the device directory as one JSON string per call, so that
// every call's text stands exactly as formatted, line ends included or not.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/debuglog.h"
#include "platform/host/host.h"

namespace platform::sim {

class SimDebugLog final : public DebugLog {
 public:
  explicit SimDebugLog(host::Below file) : file_(std::move(file)) {}

  void Print(std::wstring_view text) override;

 private:
  host::Below file_;
};

// Every text written to a device's debug log, oldest first; false when unreadable.
bool ReadDebugLog(const host::Below& file, std::vector<std::wstring>& texts);

}  // namespace platform::sim
