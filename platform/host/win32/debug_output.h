// The debug log of a program on a Windows host: each line goes to a log of its own (the
// simulated device's) and to the debugger, as the device's NKDbgPrintfW shows it there.
#pragma once

#include "platform/debuglog.h"

namespace platform::host {

class DebugOutput final : public DebugLog {
 public:
  explicit DebugOutput(DebugLog& log) : log_(log) {}
  void Print(std::wstring_view text) override;

 private:
  DebugLog& log_;
};

}  // namespace platform::host
