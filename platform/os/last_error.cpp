#include "platform/types.h"

namespace platform {

namespace {
thread_local DWORD t_lastError = kErrorSuccess;
}

DWORD GetLastError() {
  return t_lastError;
}
void SetLastError(DWORD code) {
  t_lastError = code;
}

}  // namespace platform
