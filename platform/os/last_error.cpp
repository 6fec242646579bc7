// The thread's last error code. On Windows it is the system's own, which the device's calls set
// and the host's calls share; elsewhere the simulated device keeps one per thread.
#include "platform/types.h"

#ifdef _WIN32
#include "platform/os/windows_api.h"
#endif

namespace platform {

#ifdef _WIN32
DWORD GetLastError() {
  return ::GetLastError();
}
void SetLastError(DWORD code) {
  ::SetLastError(code);
}
#else
namespace {
thread_local DWORD t_lastError = kErrorSuccess;
}

DWORD GetLastError() {
  return t_lastError;
}
void SetLastError(DWORD code) {
  t_lastError = code;
}
#endif

}  // namespace platform
