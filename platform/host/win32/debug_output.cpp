#include "platform/host/win32/debug_output.h"

#include <string>

#include "platform/os/windows_api.h"

namespace platform::host {

void DebugOutput::Print(std::wstring_view text) {
  log_.Print(text);
  ::OutputDebugStringW(std::wstring(text).c_str());
}

}  // namespace platform::host
